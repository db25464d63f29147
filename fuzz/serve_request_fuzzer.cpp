// What a browser sends annot serve: the bytes of a request as they arrive,
// the name of a file sent to attach,
// query parameters of input events and view changes, and the
// Accept-Language header, properties set from the panel; and the JSON
// strings the answers quote them in.
#include <cmath>

#include "fuzz/fuzz_support.h"
#include "serve/serve_request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto extent = annotserve::MeasureRequest(text, 256, 64, "/up", 128);
  if (extent.state == annotserve::RequestExtent::State::Whole)
    FUZZ_CHECK(extent.size > 0 && extent.size <= text.size() && extent.size <= 256 + 128);
  if (extent.state == annotserve::RequestExtent::State::Refused)
    FUZZ_CHECK(extent.status == 400 || extent.status == 411 || extent.status == 413 || extent.status == 431);
  annotserve::Params params;
  size_t start = 0;
  while (start <= text.size()) {
    size_t amp = text.find('&', start);
    if (amp == std::string::npos) amp = text.size();
    const std::string pair = text.substr(start, amp - start);
    const size_t eq = pair.find('=');
    params.emplace(pair.substr(0, eq), eq == std::string::npos ? std::string() : pair.substr(eq + 1));
    start = amp + 1;
  }
  // The name a file sent to attach is kept under: one part of a path, no
  // control characters, UTF-8 throughout.
  const std::string name = annotserve::UploadFileName(text);
  FUZZ_CHECK(!name.empty() && name.size() <= 200 && name != "." && name != "..");
  for (char c : name) FUZZ_CHECK(c != '/' && c != '\\' && static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
  // Nothing in it is replaced when it is quoted: it is UTF-8 already.
  const auto replacements = [](const std::string& s) {
    size_t n = 0;
    for (size_t at = s.find("\xEF\xBF\xBD"); at != std::string::npos; at = s.find("\xEF\xBF\xBD", at + 3)) ++n;
    return n;
  };
  FUZZ_CHECK(replacements(annotserve::JsonString(name)) == replacements(name));
  annotserve::InputEvent event;
  std::string why;
  if (annotserve::ParseEvent(params, &event, &why)) {
    FUZZ_CHECK(std::isfinite(event.x) && std::isfinite(event.y) && std::fabs(event.x) <= 1e6 && event.page >= 0);
  } else {
    FUZZ_CHECK(!why.empty());
  }
  annotserve::PropertyRequest property;
  if (annotserve::ParseProperty(params, &property, &why)) {
    FUZZ_CHECK(property.value.property >= KS_PROP_COLOR && property.value.property <= KS_PROP_FONT_COLOR);
    FUZZ_CHECK(std::isfinite(property.value.number) && property.value.number >= 0 && property.value.number <= 100);
    FUZZ_CHECK(property.text.size() <= 1000);
  } else {
    FUZZ_CHECK(!why.empty());
  }
  annotserve::ViewRequest view;
  if (annotserve::ParseView(params, annotserve::ViewRequest{}, &view, &why))
    FUZZ_CHECK(view.zoom >= 0.05f && view.zoom <= 16 && view.rotation % 90 == 0 && view.rotation >= 0 &&
               view.rotation < 360);
  const std::string lang = annotserve::PickLanguage(text, {"de-DE", "en-US", "fr-FR"});
  FUZZ_CHECK(lang.empty() || lang == "de-DE" || lang == "en-US" || lang == "fr-FR");
  const std::string json = annotserve::JsonString(text);
  FUZZ_CHECK(json.size() >= 2 && json.front() == '"' && json.back() == '"');
  for (char c : json) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20);
  return 0;
}
