// The implementation tree of the annotation model: one class per wrapper
// class, each reading and writing the annotation dictionary through the host
// on every request. The dictionary is the only state; nothing is cached.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kwannotation/kw_annot_types.h"
#include "sdk/ks_types.h"

namespace kwannotation {

class CKW_PageAnnotListImpl;

class CKW_AnnotImpl {
 public:
  // `annot` is kept only when it lies on the page of `list` (or when there
  // is no list to check against); otherwise every operation fails softly.
  CKW_AnnotImpl(KPD_Annot annot, int32_t subtypeCode, const std::shared_ptr<CKW_PageAnnotListImpl>& list);
  CKW_AnnotImpl(const CKW_AnnotImpl&) = delete;
  CKW_AnnotImpl& operator=(const CKW_AnnotImpl&) = delete;

  virtual ~CKW_AnnotImpl();                                    // 0
  // The annotation dictionary; null when the handle is null.
  virtual KPD_Dictionary GetDict() const;                      // 1
  virtual bool SetRect(const KS_FloatRect& rect);              // 2
  // /C as a colour; false and kind 0 when absent or malformed.
  virtual bool GetColor(KPD_ColorF* color) const;              // 3
  virtual bool GetBorderColor(KPD_ColorF* color) const;        // 4
  // Kind 0 removes /C. A /DS default style gets the same colour.
  virtual bool SetColor(const KPD_ColorF& color);              // 5
  virtual bool SetBorderColor(const KPD_ColorF& color);        // 6
  // Rebuilds the normal appearance; false when this kind draws nothing.
  virtual bool ResetAppearance();                              // 7
  // The common XFDF-style attributes of an element, read or written.
  virtual bool ImportFromXFDF(KX_Element element);             // 8
  virtual bool ExportToXFDF(KX_Element element);               // 9
  // /Font of /Resources of the normal appearance; with `create` the stream,
  // /Resources and /Font are made where missing.
  virtual KPD_Dictionary GetAPFontDict(bool create);           // 10
  // ResetAppearance, then /AS made to name a state of /AP /N ("Off" when
  // there is no other).
  virtual bool ResetAppearanceAndState();                      // 11
  // Whether the appearance needs a transparency state (/CA, /ca, /BM).
  virtual bool GetOpacityState() const;                        // 12
  // The rectangle a cloudy border of an ellipse or rectangle is laid out
  // on: a kind that draws its cloud around more than its figure grows
  // `rect` and answers true; the base leaves it and answers false.
  virtual bool InflateCloudRect(KS_FloatRect* rect) const;    // 13
  // /BS /W, else element 2 of /Border. False without either, and false
  // when /BS exists without /W.
  virtual bool GetBorderWidth(float* width) const;             // 14

  KPD_Annot GetAnnot() const { return annot_; }
  int32_t GetSubtypeCode() const { return subtype_; }
  std::shared_ptr<CKW_PageAnnotListImpl> GetPageList() const { return list_.lock(); }
  KPD_Document GetDocument() const;
  int32_t GetPageIndex() const;  // -1 without a list

  std::string GetSubtype() const;  // /Subtype without the slash
  std::string GetIntent() const;   // /IT without the slash
  bool GetRect(KS_FloatRect* rect) const;  // normalised; false unless four numbers

  bool GetContents(std::u16string* text) const;
  // An empty text removes /Contents and /RC. A changed text rewrites an
  // /RC the annotation has: one paragraph a line in the style of its first
  // run, or none when the old one does not parse.
  bool SetContents(const std::u16string& text);
  bool GetRichContents(std::u16string* xhtml) const;
  bool SetRichContents(const std::u16string& xhtml);  // empty removes /RC
  bool GetDefaultStyle(std::u16string* ds) const;
  bool SetDefaultStyle(const std::u16string& ds);
  bool GetDefaultAppearance(std::string* da) const;
  bool SetDefaultAppearance(const std::string& da);

  bool GetName(std::u16string* name) const;  // /NM
  bool SetName(const std::u16string& name);
  bool GetModifiedDate(std::u16string* date) const;  // /M
  bool SetModifiedDate(const std::u16string& date);

  bool GetFlags(uint32_t* flags) const;
  bool SetFlags(uint32_t flags);

  // /CA: 1.0 when absent or malformed. A value outside [0, 1] (with float
  // slack) leaves /CA unchanged and answers false.
  float GetOpacity() const;
  bool SetOpacity(float opacity);
  // /ca, the opacity of fills; without it /CA rules the fills too, as files
  // made before /ca existed mean it.
  float GetFillOpacity() const;
  // /BM without the slash; empty when absent.
  std::string GetBlendMode() const;
  // The three transparency keys read at once, as the getters above and
  // GetOpacityState read them.
  struct Transparency {
    float stroke = 1.0f;  // GetOpacity
    float fill = 1.0f;    // GetFillOpacity
    std::string blendMode;
    bool needsState = false;  // GetOpacityState
  };
  Transparency GetTransparency() const;

  // The border record (/BS, /Border, /BE), read by the one reader of it.
  // False when the annotation has none; `info` then holds the defaults.
  bool GetBorderInfo(KwBorderInfo* info) const;
  // Writes /BS, and /BE for a cloudy border (removing it otherwise).
  bool SetBorderInfo(const KwBorderInfo& info);
  // One entry of /BS, the rest of /BS and the cloud of /BE kept as they
  // are: a cloudy border stays cloudy. Without a /BS dictionary a new one
  // holds just that entry. The width (/W) must be finite and not negative;
  // the style (/S) is a code from 0 (solid) to 4 (underline), cloudy being
  // no /BS style. False, with nothing written, otherwise.
  bool SetBorderWidth(double width);
  bool SetBorderStyle(int32_t style);

  // Whether the dictionary has `key` (with its slash), of any type.
  bool HasKey(const char* key) const;

  // /RD as left, top, right, bottom insets; negative ones are refused.
  bool GetRectDifferences(float insets[4]) const;
  bool SetRectDifferences(const float insets[4]);

  bool GetRotate(int32_t* degrees) const;  // /Rotate
  bool SetRotate(int32_t degrees);
  bool GetRotation(int32_t* degrees) const;  // /Rotation
  bool SetRotation(int32_t degrees);

 protected:
  // Base bodies of slots 3 and 5, for overrides that fall back to them.
  bool ReadColorKey(const char* key, KPD_ColorF* color) const;
  bool WriteColorKey(const char* key, const KPD_ColorF& color);

  // The one write path: every change the model makes to its dictionary
  // passes through WriteKey (store `value`, which the caller still owns, or
  // remove `key` when it is null). A value that reads back as exactly what
  // is stored is not written again. The typed writers below build the
  // value and hand it to WriteKey.
  bool WriteKey(const char* key, KPD_Object value);
  bool RemoveKey(const char* key) { return WriteKey(key, nullptr); }
  bool WriteOwned(const char* key, KPD_Object owned);
  bool WriteName(const char* key, std::string_view name);  // empty refused
  bool WriteText(const char* key, std::u16string_view text);
  bool WriteTextOrRemove(const char* key, const std::u16string& text);  // empty removes
  bool WriteInteger(const char* key, int64_t value);
  bool WriteBool(const char* key, bool value);
  bool WriteNumbers(const char* key, const float* values, size_t count);  // finite only
  bool WriteLineEndings(int32_t start, int32_t end);
  // Text attribute -> text key, when the attribute is present.
  void ImportText(KX_Element element, const char* attr, const char* key);

 private:
  friend class CKW_AnnotWriter;
  // The one reading of /CA, /ca and /BM: each number as stored (absent
  // when missing or not a finite number).
  struct StoredTransparency {
    bool hasStroke = false, hasFill = false;
    double stroke = 1.0, fill = 1.0;
    std::string blendMode;
  };
  StoredTransparency ReadTransparency() const;
  // /BS with `entry` set to `owned` (taken over), written whole.
  bool WriteBorderEntry(const char* entry, KPD_Object owned);

  KPD_Annot annot_;
  KPD_Dictionary dict_ = nullptr;  // annot_ when it is a dictionary
  int32_t subtype_;
  std::weak_ptr<CKW_PageAnnotListImpl> list_;
};

class CKW_MarkupAnnotImpl : public CKW_AnnotImpl {
 public:
  using CKW_AnnotImpl::CKW_AnnotImpl;

  bool ImportFromXFDF(KX_Element element) override;
  bool ExportToXFDF(KX_Element element) override;

  // Empty removes /IT.
  virtual bool SetIntent(const std::string& intent);                 // 15
  virtual std::vector<KS_FloatPoint> GetVertices() const;            // 16
  virtual bool SetVertices(const std::vector<KS_FloatPoint>& points);  // 17

  bool GetTitle(std::u16string* title) const;  // /T
  bool SetTitle(const std::u16string& title);
  bool GetSubject(std::u16string* subject) const;  // /Subj
  bool SetSubject(const std::u16string& subject);
  bool GetCreationDate(std::u16string* date) const;
  bool SetCreationDate(const std::u16string& date);

  // The annotation replied to (/IRT), and the reply type: "Group" for a
  // grouped annotation, "R" for a plain reply, empty when /RT is absent.
  KPD_Dictionary GetInReplyTo() const;
  bool SetInReplyTo(KPD_Dictionary annot);  // null removes /IRT
  std::string GetReplyType() const;
  bool SetReplyType(const std::string& type);  // empty removes /RT
  bool GetState(std::u16string* state) const;
  bool SetState(const std::u16string& state);
  bool GetStateModel(std::u16string* model) const;
  bool SetStateModel(const std::u16string& model);

  // /Popup, a "Popup" annotation whose /Parent refers back here.
  KPD_Dictionary GetPopup() const;
  bool GetPopupOpen(bool* open) const;
  // The existing popup gets `rect` and `open`; without one a new popup is
  // made, inserted into the page after this annotation and linked both ways.
  KPD_Dictionary SetPopup(const KS_FloatRect& rect, bool open);

  // /IC, same rules as /C.
  bool GetInteriorColor(KPD_ColorF* color) const;
  bool SetInteriorColor(const KPD_ColorF& color);
};

class CKW_Viewport;
class CKW_MeasureDict;
struct KwMeasureTexts;

// The second base of the measurement implementations: the annotation's
// measure dictionary, the viewport of its page at it, and its value texts.
class CKW_MeasureAnnotImpl {
 public:
  virtual ~CKW_MeasureAnnotImpl() = default;                        // 0
  // The last viewport of the annotation's page that holds its first point
  // (the centre of a circle); empty without a page or such a viewport.
  virtual CKW_Viewport GetViewportAt() const;                        // 1
  // The dictionary under "Measure"; empty when there is none.
  virtual CKW_MeasureDict GetMeasureDict() const;                    // 2
  // The quantities and caption texts (see kw_measure_appearance.h).
  virtual KwMeasureTexts GetMeasureTexts() const;                    // 3

 protected:
  virtual const CKW_MarkupAnnotImpl& MeasuredAnnot() const = 0;
};

// Direct children of the root.
class CKW_LinkAnnotImpl : public CKW_AnnotImpl { public: using CKW_AnnotImpl::CKW_AnnotImpl; };
class CKW_MovieAnnotImpl : public CKW_AnnotImpl { public: using CKW_AnnotImpl::CKW_AnnotImpl; };
class CKW_WidgetImpl : public CKW_AnnotImpl { public: using CKW_AnnotImpl::CKW_AnnotImpl; };
class CKW_ScreenAnnotImpl : public CKW_AnnotImpl { public: using CKW_AnnotImpl::CKW_AnnotImpl; };
class CKW_PrinterMarkAnnotImpl : public CKW_AnnotImpl { public: using CKW_AnnotImpl::CKW_AnnotImpl; };
class CKW_TrapNetAnnotImpl : public CKW_AnnotImpl { public: using CKW_AnnotImpl::CKW_AnnotImpl; };
class CKW_WatermarkAnnotImpl : public CKW_AnnotImpl { public: using CKW_AnnotImpl::CKW_AnnotImpl; };
class CKW_3dAnnotImpl : public CKW_AnnotImpl { public: using CKW_AnnotImpl::CKW_AnnotImpl; };
class CKW_PopupAnnotImpl : public CKW_AnnotImpl {
 public:
  using CKW_AnnotImpl::CKW_AnnotImpl;
  KPD_Dictionary GetParent() const;
  bool GetOpen(bool* open) const;
  bool SetOpen(bool open);
};

// Markup kinds.
class CKW_NoteAnnotImpl : public CKW_MarkupAnnotImpl {
 public:
  using CKW_MarkupAnnotImpl::CKW_MarkupAnnotImpl;
  std::string GetIconName() const;  // /Name
  bool SetIconName(const std::string& name);
};
class CKW_FreeTextImpl : public CKW_MarkupAnnotImpl {
 public:
  using CKW_MarkupAnnotImpl::CKW_MarkupAnnotImpl;
  // Text box, typewriter or callout (kw_free_text_appearance.h).
  bool ResetAppearance() override;
};
class CKW_TextMarkupAnnotImpl : public CKW_MarkupAnnotImpl {
 public:
  using CKW_MarkupAnnotImpl::CKW_MarkupAnnotImpl;
  bool GetQuadPoints(std::vector<float>* values) const;
  bool SetQuadPoints(const std::vector<float>& values);
};
class CKW_StampAnnotImpl : public CKW_MarkupAnnotImpl {
 public:
  using CKW_MarkupAnnotImpl::CKW_MarkupAnnotImpl;
  // The whole /AP travels as a child "appearance" holding its tagged text.
  // An appearance that cannot be read is skipped and the old one stays.
  bool ImportFromXFDF(KX_Element element) override;
  bool ExportToXFDF(KX_Element element) override;
};
class CKW_CaretAnnotImpl : public CKW_MarkupAnnotImpl {
 public:
  using CKW_MarkupAnnotImpl::CKW_MarkupAnnotImpl;
  // "symbol": "paragraph" for /Sy /P; on import anything else is "None".
  bool ImportFromXFDF(KX_Element element) override;
  bool ExportToXFDF(KX_Element element) override;
};
class CKW_FileAttachmentAnnotImpl : public CKW_MarkupAnnotImpl {
 public:
  using CKW_MarkupAnnotImpl::CKW_MarkupAnnotImpl;
  // "file" carries the file's name. The file itself goes along as a child
  // "data" (base64 of its bytes, with "mimetype", "length", "encoding",
  // "MODE" and the parameters "size", "creation", "modification",
  // "checksum") only for files of at most the limit set here, in both
  // directions; the limit is 0, carrying no file, until it is set. An
  // element that brings no file (none carried, or one over the limit)
  // leaves the annotation's /FS dictionary, and its embedded
  // file, as they are; it names the file only for an annotation without one.
  bool ImportFromXFDF(KX_Element element) override;
  bool ExportToXFDF(KX_Element element) override;
  static void SetXFDFFileLimit(size_t bytes);
  static size_t GetXFDFFileLimit();
  // Where an export notes each file it left out for being over the limit,
  // by name and size; null (the default) notes nothing.
  static void SetXFDFLeftOutList(std::vector<std::pair<std::string, size_t>>* list);
  // The file an element carries: none (no "data", or the limit is 0),
  // carried (`bytes` gets it), data that is not base64, or a file over the
  // limit (`size` gets its size).
  enum class Carried { kNone, kFile, kNotBase64, kNotHex, kUnknownEncoding, kTooLarge };
  static Carried CarriedFile(KX_Element element, std::string* bytes, size_t* size);
};
class CKW_SoundAnnotImpl : public CKW_MarkupAnnotImpl { public: using CKW_MarkupAnnotImpl::CKW_MarkupAnnotImpl; };
class CKW_RedactImpl : public CKW_MarkupAnnotImpl { public: using CKW_MarkupAnnotImpl::CKW_MarkupAnnotImpl; };
class CKW_ProjectionAnnotImpl : public CKW_MarkupAnnotImpl { public: using CKW_MarkupAnnotImpl::CKW_MarkupAnnotImpl; };

// Shapes.
class CKW_SquareImpl : public CKW_MarkupAnnotImpl {
 public:
  using CKW_MarkupAnnotImpl::CKW_MarkupAnnotImpl;
};

class CKW_CircleImpl : public CKW_MarkupAnnotImpl {
 public:
  using CKW_MarkupAnnotImpl::CKW_MarkupAnnotImpl;
};

// The leader lines of a line: length "LL" (its sign picks the side),
// extension "LLE" beyond the line and offset "LLO" from the end points.
struct KwLineLeader {
  double length = 0;
  double extension = 0;
  double offset = 0;
};
// The one reader of the leader keys of a line dictionary: each one 0 where
// absent or not a finite number; false when one is there but not a finite
// number (or without a dictionary), the others read all the same.
bool KW_ReadLineLeader(KPD_Dictionary annot, KwLineLeader* out);

// The one reader of a line's caption offset /CO: along the line, then
// across it. False, the outputs untouched, unless it is two finite
// numbers within the coordinate range; the caption then stays where it
// would be without one.
bool KW_ReadCaptionOffset(KPD_Dictionary annot, double* along, double* across);

class CKW_LineImpl : public CKW_MarkupAnnotImpl {
 public:
  using CKW_MarkupAnnotImpl::CKW_MarkupAnnotImpl;
  // "LineArrow" also sets the endings to "None" and "OpenArrow".
  bool SetIntent(const std::string& intent) override;

  // /L as start and end points.
  bool GetLinePoints(KS_FloatPoint* start, KS_FloatPoint* end) const;
  bool SetLinePoints(const KS_FloatPoint& start, const KS_FloatPoint& end);
  // /LE codes; "None" for missing entries.
  bool GetLineEndings(int32_t* start, int32_t* end) const;
  bool SetLineEndings(int32_t start, int32_t end);
  // /CC, the caption colour; same rules as /C.
  bool GetCaptionColor(KPD_ColorF* color) const;
  // /CO, the caption's offset along and across the line; false when it is
  // not two finite numbers.
  bool GetCaptionOffset(float* along, float* across) const;
  // Writes /CO; false for a value that is not finite.
  bool SetCaptionOffset(float along, float across);
  bool RemoveCaptionOffset();

  // "LL", "LLE" and "LLO", 0 where absent; false when one is there but not
  // a finite number.
  virtual bool GetLeader(KwLineLeader* out) const;             // 18
  // Writes "LL" and "LLE"; "LLO" only when it is not 0 (removed then).
  virtual bool SetLeader(const KwLineLeader& leader);          // 19
  // Swaps the two ends of /L, so the line runs the other way; its
  // leaders, which lie on one side of that direction, turn with it.
  virtual bool Flip();                                         // 20
};

class CKW_PolygonImpl : public CKW_MarkupAnnotImpl {
 public:
  using CKW_MarkupAnnotImpl::CKW_MarkupAnnotImpl;
  // "PolygonCloud" also makes the border cloudy with intensity 2.
  bool SetIntent(const std::string& intent) override;
  std::vector<KS_FloatPoint> GetVertices() const override;
  bool SetVertices(const std::vector<KS_FloatPoint>& points) override;
};

class CKW_PolyLineImpl : public CKW_MarkupAnnotImpl {
 public:
  using CKW_MarkupAnnotImpl::CKW_MarkupAnnotImpl;
  std::vector<KS_FloatPoint> GetVertices() const override;
  bool SetVertices(const std::vector<KS_FloatPoint>& points) override;
  bool GetLineEndings(int32_t* start, int32_t* end) const;
  bool SetLineEndings(int32_t start, int32_t end);
};

class CKW_InkImpl : public CKW_MarkupAnnotImpl {
 public:
  using CKW_MarkupAnnotImpl::CKW_MarkupAnnotImpl;
  // /InkList: one point list per stroke; a stroke of odd length drops its
  // last number, a stroke that is not numbers is skipped.
  std::vector<std::vector<KS_FloatPoint>> GetInkList() const;
  bool SetInkList(const std::vector<std::vector<KS_FloatPoint>>& strokes);
};

// Measurement implementations: the shape's appearance with the
// measurement's parts, and the measurement keys in the exchange form.
#define KW_MEASURE_IMPL(Name, Base, ...)                                    \
  class Name : public Base, public CKW_MeasureAnnotImpl {                   \
   public:                                                                  \
    using Base::Base;                                                       \
    bool ImportFromXFDF(KX_Element element) override;                       \
    bool ExportToXFDF(KX_Element element) override;                         \
    __VA_ARGS__                                                             \
                                                                            \
   protected:                                                               \
    const CKW_MarkupAnnotImpl& MeasuredAnnot() const override { return *this; } \
  };
// A distance flips by negating "LL": its dimension line, leaders and
// caption go over to the other side of the measured points, which keep
// their order. Without a leader it swaps its ends like any line.
KW_MEASURE_IMPL(CKW_MeasureLineImpl, CKW_LineImpl, bool Flip() override;)
// A measured circle's cloud is laid out on its rectangle grown by 5
// across and 4.5 up and down, clear of the caption and centre mark.
KW_MEASURE_IMPL(CKW_MeasureCircleImpl, CKW_CircleImpl, bool InflateCloudRect(KS_FloatRect* rect) const override;)
KW_MEASURE_IMPL(CKW_MeasurePolygonImpl, CKW_PolygonImpl)
KW_MEASURE_IMPL(CKW_MeasurePolygonRadiusImpl, CKW_PolygonImpl)
KW_MEASURE_IMPL(CKW_MeasurePolyLineImpl, CKW_PolyLineImpl)
KW_MEASURE_IMPL(CKW_MeasurePolyLineAngleImpl, CKW_PolyLineImpl)
#undef KW_MEASURE_IMPL

// The write path of one annotation, for the library's own modules that set
// keys the model has no setter for (the appearance applier, XFDF import).
// Every write lands in the annotation's one write path.
class CKW_AnnotWriter {
 public:
  explicit CKW_AnnotWriter(CKW_AnnotImpl& annot) : annot_(annot) {}
  // `value` stays the caller's; null removes `key`.
  bool Set(const char* key, KPD_Object value) { return annot_.WriteKey(key, value); }
  // Takes over `owned`, a value made by a "New" function.
  bool SetOwned(const char* key, KPD_Object owned) { return annot_.WriteOwned(key, owned); }
  bool Remove(const char* key) { return annot_.RemoveKey(key); }
  bool SetName(const char* key, std::string_view name) { return annot_.WriteName(key, name); }
  bool SetNumber(const char* key, double value);  // finite only
  bool SetInteger(const char* key, int64_t value) { return annot_.WriteInteger(key, value); }
  bool SetBool(const char* key, bool value) { return annot_.WriteBool(key, value); }
  bool SetNumbers(const char* key, const float* values, size_t count) {
    return annot_.WriteNumbers(key, values, count);
  }

 private:
  CKW_AnnotImpl& annot_;
};

// Reads a colour array (0, 1, 3 or 4 numbers) into `color`; false and kind 0
// for anything else. Components are clamped to [0, 1].
bool KW_ColorFromArray(KPD_Object array, KPD_ColorF* color);

}  // namespace kwannotation
