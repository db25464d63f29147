// One loaded translation file kept as a message map: context name -> numeric
// message id -> text. A plain value; copies are independent. The file form
// is
//
//   <translations>
//     <context name="Dialog"><message id="101">Text</message></context>
//   </translations>
#pragma once

#include <map>
#include <string>
#include <unordered_map>

#include "tessel/tessel_export.h"

namespace Tessel {

class TESSEL_API TSTranslationUnit {
 public:
  using MessageMap = std::unordered_map<std::u16string, std::map<int, std::u16string>>;

  TSTranslationUnit() = default;
  explicit TSTranslationUnit(MessageMap messages) : messages_(std::move(messages)) {}
  TSTranslationUnit(const TSTranslationUnit&) = default;
  TSTranslationUnit(TSTranslationUnit&&) noexcept = default;
  TSTranslationUnit& operator=(const TSTranslationUnit&) = default;
  TSTranslationUnit& operator=(TSTranslationUnit&&) noexcept = default;
  ~TSTranslationUnit() = default;

  // Replaces the content with the messages of the file at `path` (UTF-16,
  // absolute or relative to the working folder). On a missing or malformed
  // file the unit is left empty and false is returned. Messages without a
  // numeric id are skipped.
  bool LoadFile(const std::u16string& path);

  // Adds or replaces one message.
  void SetMessage(const std::u16string& context, int id, std::u16string text);

  // The message, or `fallback` when the unit has none for (context, id).
  std::u16string Find(const std::u16string& context, int id, const std::u16string& fallback = {}) const;

  const MessageMap& GetMessageMap() const { return messages_; }
  bool IsEmpty() const { return messages_.empty(); }
  void Clear() { messages_.clear(); }

 private:
  MessageMap messages_;
};

}  // namespace Tessel
