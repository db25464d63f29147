// Writes the benchmark input: 200 pages of 50 annotations each, without
// appearances, all at opacity 0.5: the shapes (lines with arrows, squares,
// circles, six-vertex polygons, polylines and 50-point ink strokes), text
// markup over three lines of text each (highlight, underline, squiggly,
// strike-out), carets, notes, file attachments and stamps, in turn.
//
//   make_bench_input OUT.pdf [PAGES]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/host_functions.h"
#include "sdk/ks_number.h"

namespace direct = kshost::direct;

namespace {

constexpr int kKinds = 14;

void Num(std::string& s, double v) {
  ks::AppendFixed(s, v, 2);
  s += ' ';
}

std::string Annotation(int kind, double x, double y, double w, double h) {
  std::string s = "<< /Type /Annot /F 4 /CA 0.5 /BS << /W 1.5 >> /C [0.1 0.3 0.8] ";
  auto rect = [&] {
    s += "/Rect [";
    Num(s, x);
    Num(s, y);
    Num(s, x + w);
    Num(s, y + h);
    s += "] ";
  };
  switch (kind) {
    case 0:
      s += "/Subtype /Line /LE [/OpenArrow /ClosedArrow] /IC [1 0.5 0] /L [";
      Num(s, x + 8);
      Num(s, y + 8);
      Num(s, x + w - 8);
      Num(s, y + h - 8);
      s += "] ";
      rect();
      break;
    case 1:
      s += "/Subtype /Square /IC [1 1 0.6] ";
      rect();
      break;
    case 2:
      s += "/Subtype /Circle /IC [0.6 1 0.6] ";
      rect();
      break;
    case 3:
      s += "/Subtype /Polygon /IC [1 0.8 0.8] /Vertices [";
      for (int i = 0; i < 6; ++i) {
        double a = i * M_PI / 3;
        Num(s, x + w / 2 + (w / 2 - 3) * std::cos(a));
        Num(s, y + h / 2 + (h / 2 - 3) * std::sin(a));
      }
      s += "] ";
      rect();
      break;
    case 4:
      s += "/Subtype /PolyLine /LE [/Circle /OpenArrow] /Vertices [";
      for (int i = 0; i < 5; ++i) {
        Num(s, x + 6 + i * (w - 12) / 4);
        Num(s, y + (i % 2 ? h - 6 : 6));
      }
      s += "] ";
      rect();
      break;
    case 6:
    case 7:
    case 8:
    case 9: {
      static const char* const kMarkup[] = {"Highlight", "Underline", "Squiggly", "StrikeOut"};
      s += std::string("/Subtype /") + kMarkup[kind - 6] + " /QuadPoints [";
      for (int line = 0; line < 3; ++line) {
        double top = y + h - 4 - line * 20, bottom = top - 16;
        for (double v : {x + 4, top, x + w - 4, top, x + 4, bottom, x + w - 4, bottom}) Num(s, v);
      }
      s += "] ";
      rect();
      break;
    }
    case 10:
      s += "/Subtype /Caret /Sy /P ";
      rect();
      break;
    case 11: {
      static const char* const kIcons[] = {"Note", "Comment", "Help", "Star", "Check", "Paragraph"};
      s += std::string("/Subtype /Text /Name /") + kIcons[int(x + y) % 6] + " ";
      rect();
      break;
    }
    case 12:
      s += "/Subtype /FileAttachment /Name /Paperclip /FS << /Type /Filespec /F (plan.txt) >> ";
      rect();
      break;
    case 13:
      s += "/Subtype /Stamp /Name /Approved ";
      rect();
      break;
    case 5:
      s += "/Subtype /Ink /InkList [[";
      for (int i = 0; i < 50; ++i) {
        Num(s, x + 4 + i * (w - 8) / 49);
        Num(s, y + h / 2 + (h / 2 - 6) * std::sin(i * 0.3));
      }
      s += "]] ";
      rect();
      break;
  }
  return s + ">>";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_bench_input OUT.pdf [PAGES]\n");
    return 2;
  }
  int pages = argc > 2 ? std::atoi(argv[2]) : 200;
  KPD_Document doc = direct::DocNew();
  KS_FloatRect box{0, 0, 612, 792};
  int kind = 0;
  for (int p = 0; p < pages; ++p) {
    KPD_Page page = direct::DocAddPage(doc, &box);
    for (int i = 0; i < 50; ++i) {
      double x = 20 + (i % 5) * 116, y = 20 + (i / 5) * 76;
      std::string text = Annotation(kind++ % kKinds, x, y, 106, 66);
      KPD_Object dict = direct::ObjectParse(text.data(), text.size());
      if (!dict || !direct::PageInsertAnnot(page, -1, dict)) {
        std::fprintf(stderr, "make_bench_input: cannot add %s\n", text.c_str());
        return 1;
      }
      direct::ObjectRelease(dict);
    }
  }
  KS_ByteString error = direct::ByteStringNew(nullptr, 0);
  int ok = direct::DocSave(doc, argv[1], error);
  if (!ok)
    std::fprintf(stderr, "make_bench_input: %.*s\n", int(direct::ByteStringLength(error)), direct::ByteStringData(error));
  direct::ByteStringDestroy(error);
  direct::DocClose(doc);
  return ok ? 0 : 1;
}
