#include "cli/commands.h"
#include "host/core_hft.h"
#include "host/session.h"
#include "plugin/kw_provider_impl.h"
#include "sdk/ks_host_binding.h"

namespace annot {

CommandDocument::CommandDocument() : session_(std::make_unique<kshost::Session>()) {}

CommandDocument::~CommandDocument() = default;

bool CommandDocument::Open(const std::string& path, const std::string& password, bool forChange,
                           std::string* error) {
  if (!session_) return false;
  ks::host::Bind(kshost::CoreHFT(), nullptr);
  // Appearances the command makes say their words in the user's language.
  AnnotationPlugin::RegisterTextProvider();
  session_->SetPassword(password);
  return session_->Open(path, error, !forChange);
}

KPD_Document CommandDocument::Get() const { return session_ ? session_->Document() : nullptr; }

bool CommandDocument::Save(const std::string& path, bool full, std::string* error) {
  if (!session_) return false;
  session_->SetFullSave(full);
  return session_->Save(path, error);
}

bool CommandDocument::BeginSave(const std::string& path, bool full) {
  if (!session_) return false;
  session_->SetFullSave(full);
  return session_->BeginSave(path);
}

void CommandDocument::Release(const std::vector<KPD_Object>& objects) {
  if (session_) kshost::ReleaseObjects(session_->Document(), objects);
}

void CommandDocument::ReleaseAnnotation(KPD_Object annot) {
  if (session_) kshost::ReleaseAnnotation(session_->Document(), annot);
}

const std::vector<std::string>& CommandDocument::SaveNotices() const {
  static const std::vector<std::string> kNone;
  return session_ ? session_->SaveNotices() : kNone;
}

void CommandDocument::Abandon() {
  // Deliberately never freed; see the declaration.
  static_cast<void>(session_.release());
}

}  // namespace annot
