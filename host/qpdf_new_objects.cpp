#include "host/qpdf_new_objects.h"

#include <qpdf/DLL.h>
#include <qpdf/QPDF.hh>

#include <memory>

namespace kshost::pdf {

namespace {

#if QPDF_MAJOR_VERSION == 11 && QPDF_MINOR_VERSION == 3
// The flag that records the full read is a private member. An explicit
// instantiation may name private members, so the pointers to them are
// taken there and handed out through friend functions of these tags.
template <typename Tag, auto Member>
struct Expose {
  friend auto PointerTo(Tag) { return Member; }
};
struct MembersTag {
  friend auto PointerTo(MembersTag);
};
struct FixedTag {
  friend auto PointerTo(FixedTag);
};
template struct Expose<MembersTag, &QPDF::m>;
template struct Expose<FixedTag, &QPDF::Members::fixed_dangling_refs>;
#endif

}  // namespace

bool LetNewObjectsSkipTheFullRead(QPDF& qpdf) {
#if QPDF_MAJOR_VERSION == 11 && QPDF_MINOR_VERSION == 3
  // The highest number among the file's objects goes into qpdf's table of
  // objects unread, so that new ones are numbered above it.
  QPDFObjGen highest;
  for (auto const& [og, entry] : qpdf.getXRefTable())
    if (og.getObj() > highest.getObj()) highest = og;
  if (highest.getObj() > 0) qpdf.getObject(highest);
  auto& members = qpdf.*PointerTo(MembersTag{});
  if (!members) return false;
  (*members).*PointerTo(FixedTag{}) = true;
  return true;
#else
  (void)qpdf;
  return false;
#endif
}

}  // namespace kshost::pdf
