// Page scales: the record the page-scale dialog edits, the presets (built
// in, and the user's own in "ScaleCustomPresets.xml"), the page scope, and
// applying a scale to pages. A page's scale is viewport 0 of its "VP"
// array; applying a scale creates that viewport or replaces its measure
// dictionary, then brings every measurement of the page to the new scale
// (measure dictionary, contents, caption and appearance). Each page's
// change is one undo item.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "measure/cma_units.h"
#include "plugin/annot_undo.h"
#include "sdk/ks_types.h"

namespace kwannotation {
class CKW_AnnotChange;
class CKW_MeasureDictImpl;
}

namespace AnnotationPlugin {

enum class PageScope { kAllPages = 0, kCurrentPage = 1, kCustomRange = 2 };

struct ScalePreset {
  std::u16string name;  // "1:100" for a built-in one, else the ratio text
  MeasureRatioPair ratio;
  bool custom = false;
};

// "1:1" to "1:1000", paper and real units as keys.
const std::vector<ScalePreset>& BuiltInScalePresets();
// The index of "1:100" among the built-in presets.
int DefaultScalePresetIndex();

// The most custom presets a file is read with; entries after them are
// ignored.
constexpr size_t kMostCustomPresets = 1000;

// Reads a preset file leniently: a "Scale" element whose values are not
// positive finite decimals or whose units are missing is skipped, and
// text that is not XML with the root "CustomScales" gives no presets.
// `skipped` (optional) counts what was left out.
std::vector<MeasureRatioPair> ParseScalePresets(std::string_view xml, int* skipped = nullptr);
// The file text: declaration, "CustomScales", one "Scale" per preset.
std::string WriteScalePresets(const std::vector<MeasureRatioPair>& presets);

// "<user data folder>/measure/ScaleCustomPresets.xml"; empty when the host
// has no user data folder.
std::u16string ScalePresetPath();
// The presets of the file; none when it is missing or unreadable.
std::vector<MeasureRatioPair> LoadCustomPresets();
// Rewrites the whole file (the host writes a temporary and renames it
// over); false when it cannot be written, the old file then left as it was.
bool SaveCustomPresets(const std::vector<MeasureRatioPair>& presets);

// A preset's list text: "10 cm = 5 m".
std::u16string PresetText(const MeasureRatioPair& ratio);

// A message for the user: a translation key and its table.
struct ScaleMessage {
  std::string table;
  std::string key;
  bool empty() const { return key.empty(); }
};

// What the page-scale dialog edits.
struct ScaleDataModel {
  PageScale scale;
  PageScope scope = PageScope::kCurrentPage;
  std::u16string rangeText;
  int currentPage = 0;  // 0-based

  // The built-in "1:100", precision 2, current page.
  static ScaleDataModel Default();
  // Empty when the ratios and the precision can be applied, else
  // "IDS_PAGESCALE_INVALID_ERR".
  ScaleMessage ValidateScale() const;
};

// The 0-based pages of the model's scope in `doc`, through the host's
// document-processing table for a custom range. False with the message
// ("IDS_WARN_NOPAGE", "IDS_STRING_INPUTERROR", "IDS_STR_ERRORTIP_NOPAGE",
// "IDS_STR_WARNINGTIP_SAMEPAGE") when the range cannot be used.
bool ResolveScopePages(KA_Document doc, const ScaleDataModel& model, std::vector<int>* pages, ScaleMessage* error);

// Whether every value that measuring on `pages` of `doc` shows can be shown
// under `scale` too: a figure the size of the page (its outline's length
// and its area), and each value the page's measurements show now. Empty
// when they can, else "IDS_PAGESCALE_VALUES_TOO_LARGE" (a ratio so large
// that the numbers no longer fit), or "IDS_PAGESCALE_INVALID_ERR" when
// the scale cannot be written at all.
ScaleMessage CheckScaleShowsValues(KA_Document doc, const std::vector<int>& pages, const PageScale& scale);

// Whether the host's signature table says that `doc` is signed.
bool DocumentIsSigned(KA_Document doc);

// The undo item of one page's new scale.
class CMSA_UndoCalibratePage final : public CAnnot_BaseUndo {
 public:
  CMSA_UndoCalibratePage(KA_Document doc, int pageIndex);
  ~CMSA_UndoCalibratePage() override;
  void Undo() override;
  void Redo() override;

  // Applies `scale` to the page and records what it changed; false (and
  // the page as it was) when there is no such page or the scale cannot be
  // written.
  bool Apply(const PageScale& scale);
  bool CreatedViewport() const { return created_; }
  int MeasurementCount() const { return static_cast<int>(measurements_.size()); }

 private:
  KPD_Page Page() const;
  void SetViewportMeasure(KPD_Object measure);

  KA_Document doc_;
  int pageIndex_;
  bool created_ = false;
  KS_FloatRect box_{};
  KPD_Dictionary viewport_ = nullptr;  // borrowed: the created viewport
  KPD_Object oldMeasure_ = nullptr;    // owned clones
  KPD_Object newMeasure_ = nullptr;
  std::optional<PageScale> oldRecord_;
  PageScale newRecord_;
  std::vector<std::unique_ptr<kwannotation::CKW_AnnotChange>> measurements_;
};

// The scale record last applied to a page of a document, kept in step
// with undo and redo; null when the page has none from this session.
const PageScale* RecordedPageScale(KA_Document doc, int pageIndex);
// Forgets a closed document.
void ForgetPageScales(KA_Document doc);

// Applies `scale` to `pages` of `doc`: one undo item per page, grouped by
// the caller. A signed document is left alone: false with the message
// "IDS_STR_SCALE_SIGNED"; so is one where the scale would leave values
// that cannot be shown (CheckScaleShowsValues). `changed` (optional)
// counts the measurements brought to the new scale.
bool ApplyPageScale(KA_Document doc, const std::vector<int>& pages, const PageScale& scale, ScaleMessage* error,
                    int* changed = nullptr);

// Brings the measurements of a page to its viewport 0's scale (measure
// dictionary, contents, appearance). A unit a measurement shows that the
// page's `previous` scale (null: none) did not show was picked for it and
// is kept, converted to the new scale. Each change is recorded in `changes`
// when it is given. Returns how many measurements changed.
int RederivePageMeasurements(KPD_Document pdf, KPD_Page page, const kwannotation::CKW_MeasureDictImpl* previous,
                             std::vector<std::unique_ptr<kwannotation::CKW_AnnotChange>>* changes);

}  // namespace AnnotationPlugin
