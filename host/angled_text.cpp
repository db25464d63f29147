#include "host/angled_text.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

#include "host/content_reading.h"
#include "host/font_cmap.h"
#include "host/font_service.h"
#include "host/page_tree.h"
#include "host/pdf_handles.h"

namespace kshost {
namespace {

using content::Apply;
using content::Concat;
using content::Matrix;
using content::Pt;

// What a composite (Type0) font needs beyond a simple one: how its strings
// split into codes, the CID of each code, the widths by CID and the text
// each code stands for.
struct CompositeFont {
  FontCMap encoding;
  CidWidths widths{{}, 1000};
  std::optional<FontCMap> toUnicode;
};

// Widths (thousandths of the em) and the vertical extent of one font.
struct FontInfo {
  bool usable = false;
  int firstChar = 0;
  std::vector<double> widths;
  const AfmFont* afm = nullptr;
  double missingWidth = 0;
  double ascent = 718, descent = -207;
  std::shared_ptr<const CompositeFont> composite;

  double Width(unsigned char code) const {
    const int i = code - firstChar;
    if (i >= 0 && i < static_cast<int>(widths.size())) return widths[size_t(i)];
    if (afm) {
      const std::string_view name = WinAnsiGlyphName(code);
      auto it = afm->widthByName.find(std::string(name));
      if (it != afm->widthByName.end()) return it->second;
      if (afm->widthByCode[code] >= 0) return afm->widthByCode[code];
    }
    return missingWidth;
  }
};

// The ascent, descent and missing width a font descriptor states.
void ReadDescriptor(QPDFObjectHandle fd, FontInfo* info) {
  if (!fd.isDictionary()) return;
  QPDFObjectHandle a = fd.getKey("/Ascent"), d = fd.getKey("/Descent"), m = fd.getKey("/MissingWidth");
  if (a.isNumber() && a.getNumericValue() > 0) info->ascent = a.getNumericValue();
  if (d.isNumber() && d.getNumericValue() < 0) info->descent = d.getNumericValue();
  if (m.isNumber()) info->missingWidth = m.getNumericValue();
}

// A Type0 font written horizontally: Identity-H or a CMap of its own (not
// one of the predefined CMaps named, whose codes this reader cannot map),
// and its one descendant CIDFont.
FontInfo ReadCompositeFont(QPDFObjectHandle font) {
  FontInfo info;
  auto composite = std::make_shared<CompositeFont>();
  QPDFObjectHandle encoding = font.getKey("/Encoding");
  if (encoding.isNameAndEquals("/Identity-H")) {
    composite->encoding = FontCMap::Identity();
  } else if (encoding.isStream()) {
    QPDFObjectHandle mode = encoding.getDict().getKey("/WMode");
    if (mode.isInteger() && mode.getIntValue() != 0) return info;  // written vertically
    composite->encoding = FontCMap::Parse(content::PageContent(encoding));
  } else {
    return info;
  }
  QPDFObjectHandle descendants = font.getKey("/DescendantFonts");
  QPDFObjectHandle cidFont = descendants.isArray() && descendants.getArrayNItems() > 0
                                 ? descendants.getArrayItem(0)
                                 : QPDFObjectHandle();
  if (!cidFont.isDictionary()) return info;
  std::vector<CidWidths::Item> items;
  QPDFObjectHandle w = cidFont.getKey("/W");
  for (int i = 0; w.isArray() && i < w.getArrayNItems() && items.size() < 200000; ++i) {
    QPDFObjectHandle item = w.getArrayItem(i);
    CidWidths::Item it;
    if (item.isArray()) {
      it.isArray = true;
      for (int k = 0; k < item.getArrayNItems() && k < 65536; ++k) {
        QPDFObjectHandle v = item.getArrayItem(k);
        it.array.push_back(v.isNumber() ? v.getNumericValue() : 0);
      }
    } else if (item.isNumber()) {
      it.number = item.getNumericValue();
    } else {
      break;
    }
    items.push_back(std::move(it));
  }
  QPDFObjectHandle dw = cidFont.getKey("/DW");
  composite->widths = CidWidths(items, dw.isNumber() ? dw.getNumericValue() : 1000);
  QPDFObjectHandle toUnicode = font.getKey("/ToUnicode");
  if (toUnicode.isStream()) composite->toUnicode = FontCMap::Parse(content::PageContent(toUnicode));
  ReadDescriptor(cidFont.getKey("/FontDescriptor"), &info);
  info.composite = std::move(composite);
  info.usable = true;
  return info;
}

FontInfo ReadFont(QPDFObjectHandle font) {
  FontInfo info;
  if (!font.isDictionary()) return info;
  if (font.getKey("/Subtype").isNameAndEquals("/Type0")) return ReadCompositeFont(font);
  QPDFObjectHandle base = font.getKey("/BaseFont");
  if (base.isName()) info.afm = FontService::Application().Font(FontService::Resolve(base.getName()));
  QPDFObjectHandle widths = font.getKey("/Widths");
  if (widths.isArray()) {
    QPDFObjectHandle first = font.getKey("/FirstChar");
    info.firstChar = first.isInteger() ? static_cast<int>(first.getIntValue()) : 0;
    for (int i = 0; i < widths.getArrayNItems() && i < 256; ++i) {
      QPDFObjectHandle w = widths.getArrayItem(i);
      info.widths.push_back(w.isNumber() ? w.getNumericValue() : 0);
    }
  }
  if (info.afm) info.ascent = info.afm->metrics.ascent, info.descent = info.afm->metrics.descent;
  ReadDescriptor(font.getKey("/FontDescriptor"), &info);
  info.usable = info.afm || !info.widths.empty();
  return info;
}

struct TextState {
  FontInfo font;
  double size = 0, charSpacing = 0, wordSpacing = 0, scale = 1, leading = 0, rise = 0;
};

struct GraphicsState {
  Matrix ctm;
  TextState text;
};

class Reader {
 public:
  explicit Reader(std::vector<KS_TextGlyph>& out) : out_(out) {}

  void Run(const std::string& data, QPDFObjectHandle resources, const Matrix& ctm, int depth) {
    GraphicsState gs{ctm, {}};
    std::vector<GraphicsState> stack;
    Matrix tm, tlm;
    // Operators with their string operands too (OperatorReader keeps
    // numbers and names only).
    StringTokens strings(data);
    for (;;) {
      content::Operation op;
      std::vector<std::string> shown;
      std::vector<double> kerns;  // TJ: numbers between the strings, in order with them
      std::vector<bool> isString;
      if (!strings.Next(&op, &shown, &kerns, &isString)) break;
      const std::string& o = op.op;
      const auto& n = op.numbers;
      if (o == "q") {
        stack.push_back(gs);
      } else if (o == "Q") {
        if (!stack.empty()) gs = stack.back(), stack.pop_back();
      } else if (o == "cm" && op.Take(6)) {
        gs.ctm = Concat(Matrix{n[0], n[1], n[2], n[3], n[4], n[5]}, gs.ctm);
      } else if (o == "BT") {
        tm = tlm = Matrix{};
        ++line_;
      } else if (o == "Tf" && op.operandCount == 2 && n.size() == 1) {
        QPDFObjectHandle fonts = resources.isDictionary() ? resources.getKey("/Font") : QPDFObjectHandle();
        gs.text.font = FontOf(fonts.isDictionary() ? fonts.getKey(op.lastName) : QPDFObjectHandle());
        gs.text.size = n[0];
      } else if (o == "Tc" && op.Take(1)) {
        gs.text.charSpacing = n[0];
      } else if (o == "Tw" && op.Take(1)) {
        gs.text.wordSpacing = n[0];
      } else if (o == "Tz" && op.Take(1)) {
        gs.text.scale = n[0] / 100;
      } else if (o == "TL" && op.Take(1)) {
        gs.text.leading = n[0];
      } else if (o == "Ts" && op.Take(1)) {
        gs.text.rise = n[0];
      } else if ((o == "Td" || o == "TD") && op.Take(2)) {
        if (o == "TD") gs.text.leading = -n[1];
        tm = tlm = Concat(Matrix{1, 0, 0, 1, n[0], n[1]}, tlm);
        ++line_;
      } else if (o == "Tm" && op.Take(6)) {
        tm = tlm = Matrix{n[0], n[1], n[2], n[3], n[4], n[5]};
        ++line_;
      } else if (o == "T*" || o == "'" || o == "\"") {
        if (o == "\"" && n.size() >= 2) gs.text.wordSpacing = n[0], gs.text.charSpacing = n[1];
        tm = tlm = Concat(Matrix{1, 0, 0, 1, 0, -gs.text.leading}, tlm);
        ++line_;
        if (o != "T*")
          for (const std::string& s : shown) Show(s, gs, &tm);
      } else if (o == "Tj") {
        for (const std::string& s : shown) Show(s, gs, &tm);
      } else if (o == "TJ") {
        size_t si = 0, ki = 0;
        for (bool str : isString) {
          if (str && si < shown.size()) {
            Show(shown[si++], gs, &tm);
          } else if (!str && ki < kerns.size()) {
            const double tx = -kerns[ki++] / 1000 * gs.text.size * gs.text.scale;
            tm = Concat(Matrix{1, 0, 0, 1, tx, 0}, tm);
          }
        }
      } else if (o == "Do" && depth < 8 && formsRead_ < kMaxForms) {
        // A form drawn from inside itself is not read again.
        content::Form form;
        if (content::ReadForm(content::XObject(resources, op.lastName), resources, &form) &&
            std::find(chain_.begin(), chain_.end(), form.og) == chain_.end()) {
          ++formsRead_;
          chain_.push_back(form.og);
          Run(form.data, form.resources, Concat(form.matrix, gs.ctm), depth + 1);
          chain_.pop_back();
        }
      }
      if (out_.size() >= kMaxGlyphs) return;
    }
  }

 private:
  // The operators of a content stream with their string operands too.
  class StringTokens {
   public:
    explicit StringTokens(const std::string& data)
        : input_(std::make_shared<BufferInputSource>("content", data)) {}
    bool Next(content::Operation* op, std::vector<std::string>* strings, std::vector<double>* numbers,
              std::vector<bool>* order) {
      int nesting = 0;
      for (;;) {
        QPDFTokenizer::Token t = tokenizer_.readToken(input_, "content", true);
        const auto type = t.getType();
        if (type == QPDFTokenizer::tt_eof || type == QPDFTokenizer::tt_bad) return false;
        if (type == QPDFTokenizer::tt_array_open || type == QPDFTokenizer::tt_dict_open) {
          ++nesting;
          continue;
        }
        if (type == QPDFTokenizer::tt_array_close || type == QPDFTokenizer::tt_dict_close) {
          if (nesting > 0 && --nesting == 0) ++op->operandCount;
          continue;
        }
        const bool number = type == QPDFTokenizer::tt_integer || type == QPDFTokenizer::tt_real;
        if (type == QPDFTokenizer::tt_string) {
          strings->push_back(t.getValue());
          order->push_back(true);
          if (nesting == 0) ++op->operandCount;
          continue;
        }
        if (number) {
          double v = 0;
          if (!content::ParseNumber(t.getValue(), &v)) v = std::nan("");
          if (nesting > 0) {
            numbers->push_back(v);
            order->push_back(false);
          } else {
            op->numbers.push_back(v);
            ++op->operandCount;
          }
          continue;
        }
        if (type == QPDFTokenizer::tt_name) {
          if (nesting == 0) op->lastName = t.getValue(), ++op->operandCount;
          continue;
        }
        if (type != QPDFTokenizer::tt_word) {
          if (nesting == 0) ++op->operandCount;
          continue;
        }
        op->op = t.getValue();
        if (op->op == "BI") {
          // Step over the image data up to "EI" between white space.
          for (;;) {
            QPDFTokenizer::Token d = tokenizer_.readToken(input_, "content", true);
            if (d.getType() == QPDFTokenizer::tt_eof) return false;
            if (d.getType() == QPDFTokenizer::tt_word && d.getValue() == "ID") {
              tokenizer_.expectInlineImage(input_);
              tokenizer_.readToken(input_, "content", true);
              break;
            }
          }
        }
        return true;
      }
    }

   private:
    std::shared_ptr<InputSource> input_;
    QPDFTokenizer tokenizer_;
  };

  // A font is read once however often it is chosen (its CMaps may be long).
  FontInfo FontOf(QPDFObjectHandle font) {
    if (!font.isIndirect()) return ReadFont(font);
    auto it = fonts_.find(font.getObjGen());
    if (it == fonts_.end()) {
      if (fonts_.size() >= kMaxFonts) return ReadFont(font);
      it = fonts_.emplace(font.getObjGen(), ReadFont(font)).first;
    }
    return it->second;
  }

  void Show(const std::string& bytes, const GraphicsState& gs, Matrix* tm) {
    const TextState& ts = gs.text;
    const CompositeFont* composite = ts.font.composite.get();
    size_t at = 0;
    while (at < bytes.size()) {
      // A simple font's codes are single bytes; a composite font's as its
      // CMap splits them, one to four bytes, widths by their CIDs. Word
      // spacing applies to the single-byte code 32 only.
      uint32_t code = static_cast<unsigned char>(bytes[at]), codepoint = code;
      int length = 1;
      double width = 0;
      if (composite) {
        if (!composite->encoding.NextCode(bytes, &at, &code, &length)) break;
        width = composite->widths.Width(composite->encoding.Map(code).value_or(0));
        codepoint = composite->toUnicode ? composite->toUnicode->Map(code).value_or(0xFFFD) : code;
      } else {
        ++at;
        width = ts.font.usable ? ts.font.Width(static_cast<unsigned char>(code)) : 0;
      }
      const bool space = (length == 1 && code == ' ') || (composite && composite->toUnicode && codepoint == ' ');
      const double w0 = ts.font.usable ? width / 1000 : 0;
      if (ts.font.usable && !space && ts.size != 0) {
        // Glyph space to user space: size and horizontal scale, rise, the
        // text matrix, then the current transformation.
        const Matrix trm = Concat(Concat(Matrix{ts.size * ts.scale, 0, 0, ts.size, 0, ts.rise}, *tm), gs.ctm);
        const Pt o = Apply(trm, 0, 0), x = Apply(trm, 1, 0);
        const double angle = std::atan2(x.y - o.y, x.x - o.x) * 180 / std::acos(-1.0);
        const double off = std::fabs(std::remainder(angle, 90.0));
        if (off > 0.5 && content::Finite(trm)) {
          const double a = ts.font.ascent / 1000, d = ts.font.descent / 1000;
          const Pt corners[4] = {Apply(trm, 0, a), Apply(trm, w0, a), Apply(trm, 0, d), Apply(trm, w0, d)};
          KS_TextGlyph g{};
          for (int k = 0; k < 4; ++k)
            g.quad[k] = KS_FloatPoint{static_cast<float>(corners[k].x), static_cast<float>(corners[k].y)};
          g.line = line_;
          g.codepoint = codepoint;
          out_.push_back(g);
        }
      }
      const double tx = (w0 * ts.size + ts.charSpacing + (length == 1 && code == ' ' ? ts.wordSpacing : 0)) * ts.scale;
      *tm = Concat(Matrix{1, 0, 0, 1, tx, 0}, *tm);
    }
  }

  // Bounds on what damaged or hostile content can make the reader do.
  static constexpr size_t kMaxGlyphs = 200000;
  static constexpr int kMaxForms = 10000;
  static constexpr size_t kMaxFonts = 1000;

  std::vector<KS_TextGlyph>& out_;
  std::vector<QPDFObjGen> chain_;
  std::map<QPDFObjGen, FontInfo> fonts_;
  int formsRead_ = 0;
  int line_ = -1;
};

}  // namespace

std::vector<KS_TextGlyph> ReadAngledGlyphs(QPDFObjectHandle page) {
  std::vector<KS_TextGlyph> out;
  try {
    if (!page.isDictionary()) return out;
    const std::string data = content::PageContent(page.getKey("/Contents"));
    Reader(out).Run(data, pdf::Inherited(page, "/Resources"), Matrix{}, 0);
  } catch (...) {
    // What was read before the damage stays.
  }
  // Lines counted from 0 in the order met.
  int next = 0, last = -2;
  for (KS_TextGlyph& g : out) {
    if (g.line != last) last = g.line, g.line = next++;
    else g.line = next - 1;
  }
  return out;
}

}  // namespace kshost
