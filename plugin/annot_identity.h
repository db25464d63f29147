// Who made an annotation and how it is told apart from every other: the
// "NM" a new annotation gets and the author ("T") written for the user.
#pragma once

#include <string>

#include "sdk/ks_types.h"

namespace AnnotationPlugin {

// A fresh random (version 4) UUID in its 36-character text form; names
// annotations and the resources a toolset carries.
std::string NewUuidText();

// The user's name as the host knows it; empty when it knows none.
std::u16string CurrentAuthor();

// The time now as a PDF date string ("D:20261207093015+01'00'").
std::string PdfDateNow();

// Gives `annot` a fresh "NM", the time now as "CreationDate" and "M", and,
// when the user's name is known, that name as "T" (a text string). False
// for a null dictionary.
bool StampIdentity(KPD_Dictionary annot);

}  // namespace AnnotationPlugin
