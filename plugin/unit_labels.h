// Unit labels typed or stored in any installed language, mapped back to the
// English label that the measuring code works with.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

namespace AnnotationPlugin {

// The English label of `label` in any installed language: the label is
// trimmed of blanks (space, tab, CR, LF) and looked up by its normalised key.
// An empty or blank label gives empty text; a label of no installed language
// comes back trimmed. The first call reads every translation file under the
// host's application folder; the table is kept for the life of the process.
std::u16string NormalizeUnitLabel(const std::u16string& label);

// Normalised key -> English label.
using UnitLabelTable = std::unordered_map<std::u16string, std::u16string>;

// The table of every language folder under `appFolder` + "/lang". The texts
// of "IDS_STRINGUNITI", "IDS_MA_AREA_UNIT" and "IDS_MA_VOLUME_UNIT" are lists
// of labels separated by the two characters backslash and n; each label maps
// to the English label at the same place of the same list, and the whole text
// to the whole English text. Missing folders, files and keys add nothing.
UnitLabelTable BuildUnitLabelTable(const std::u16string& appFolder);

// NormalizeUnitLabel over a given table.
std::u16string NormalizeUnitLabel(const UnitLabelTable& table, const std::u16string& label);

// The key a label is looked up by: trimmed, the five XML entities replaced,
// every UTF-16 code unit lower-cased without regard to the locale.
std::u16string UnitLabelKey(std::u16string_view text);

// The text of `key` in the raw text of a translation file: after the first
// id="KEY", from the next '>' to the next "</string>", trimmed, entities
// replaced. Empty when any of these is missing.
std::u16string ReadTranslationText(std::u16string_view file, std::u16string_view key);

}  // namespace AnnotationPlugin
