#include "kwannotation/kw_default_appearance.h"

namespace kwannotation {

CDS_DefaultAppearance::CDS_DefaultAppearance(std::u16string) {}
CDS_DefaultAppearance::~CDS_DefaultAppearance() = default;
void CDS_DefaultAppearance::SetColor(const KPD_ColorF&) {}
std::u16string CDS_DefaultAppearance::GetText() const { return {}; }

}  // namespace kwannotation
