#include "tessel/button_box.h"

namespace Tessel {
namespace {

struct KindInfo {
  StandardButton kind;
  const char16_t* word;
  const char16_t* caption;
};

constexpr KindInfo kKinds[] = {
    {StandardButton::Ok, u"ok", u"OK"},          {StandardButton::Cancel, u"cancel", u"Cancel"},
    {StandardButton::Yes, u"yes", u"Yes"},       {StandardButton::No, u"no", u"No"},
    {StandardButton::Apply, u"apply", u"Apply"}, {StandardButton::Close, u"close", u"Close"},
    {StandardButton::Help, u"help", u"Help"},
};

const KindInfo& InfoOf(StandardButton kind) {
  for (const auto& info : kKinds)
    if (info.kind == kind) return info;
  return kKinds[0];
}

}  // namespace

std::shared_ptr<Button> ButtonBox::AddButton(StandardButton kind) {
  auto& slot = buttons_[kind];
  if (!slot) {
    const KindInfo& info = InfoOf(kind);
    slot = std::make_shared<Button>(GetName() + u"." + info.word);
    slot->SetText(info.caption);
  }
  return slot;
}

std::shared_ptr<Button> ButtonBox::GetButton(StandardButton kind) const {
  const auto it = buttons_.find(kind);
  return it == buttons_.end() ? nullptr : it->second;
}

const char16_t* ButtonBox::KindWord(StandardButton kind) { return InfoOf(kind).word; }

bool ButtonBox::ParseKind(const std::u16string& word, StandardButton& kind) {
  for (const auto& info : kKinds) {
    if (word == info.word) {
      kind = info.kind;
      return true;
    }
  }
  return false;
}

}  // namespace Tessel
