// A redaction's own keys in the XFDF exchange: "coords" (/QuadPoints),
// "overlay-text" (/OverlayText), "repeat" (/Repeat), "justification" (/Q),
// a "defaultappearance" child (/DA) and an "overlay-appearance" child with
// /RO as tagged data (base64, as a stamp's picture travels). Private to the
// library.
#pragma once

#include "sdk/ks_types.h"

namespace kwannotation {

class CKW_AnnotImpl;

void KW_ExportRedactToXFDF(KPD_Dictionary redact, KX_Element element);
// Sets what the element carries; what is missing or unreadable leaves the
// redaction's own key as it is.
void KW_ImportRedactFromXFDF(KPD_Document doc, CKW_AnnotImpl& redact, KX_Element element);

}  // namespace kwannotation
