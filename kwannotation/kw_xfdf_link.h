// A link's border, highlight mode and action in the XFDF exchange: the
// URI, GoTo and Named actions as an "OnActivation" child (Action, then URI
// Name=..., GoTo with a Dest, or Named Name=...), a /Dest of its own as a
// "Dest" child; destinations name their page by index. Private to the
// library.
#pragma once

#include "sdk/ks_types.h"

namespace kwannotation {

class CKW_AnnotImpl;

void KW_ExportLinkToXFDF(KPD_Document doc, KPD_Dictionary link, KX_Element element);
// Sets what the element carries; an action or destination that names no
// page of `doc` is left out and the link's own stays.
void KW_ImportLinkFromXFDF(KPD_Document doc, CKW_AnnotImpl& link, KX_Element element);

}  // namespace kwannotation
