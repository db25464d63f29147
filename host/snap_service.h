// The host's snapping service behind the snap functions: the snap modes
// (kept in preference section "snap"), one spatial index per page built on
// first use and kept until the page's content changes, and the last snapped
// point with its marker. Internal to host/.
#pragma once

#include <memory>
#include <string>

#include "host/snap_geometry.h"

namespace kshost::snap {

// The preference key of a mode index ("end", "mid", "inter", "near"), or
// null for an index out of range.
const char16_t* ModeKey(int index);
// The kind's word in traces and scripts ("end", ...), or "" for none.
const char* KindName(int kind);

// The modes as the preferences have them.
Modes CurrentModes();
bool SetMode(int index, bool on);

// The index of a page, built on first use and kept while the page's
// /Contents and the streams it read stay as they were. Null for a handle
// that is not a page dictionary.
std::shared_ptr<const Index> PageIndex(QPDFObjectHandle page);

// Tells the service that the data of `stream` changed: a page index built
// from it is dropped.
void NoteStreamChanged(QPDFObjectHandle stream);

// How many page indexes were built so far (for tests of the cache).
size_t BuildCount();

// The search radius in device pixels: preference "snap"/"Radius", 8 when
// unset, kept within 1 to 64.
double Radius();

}  // namespace kshost::snap
