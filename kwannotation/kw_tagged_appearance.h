// The appearance tree of an annotation (its /AP dictionary, the form
// streams, their resources and nested forms) as a small tagged text, one
// element per PDF object, and that text read back into new PDF objects.
// Stamps carry their pictures through the XFDF exchange this way.
//
//   <DICT KEY="AP">
//   <STREAM KEY="N" DEFINE="XFDFINDIRECTREF_1">
//   <NAME KEY="Subtype" VAL="Form"/>
//   <ARRAY KEY="BBox">
//   <FIXED KEY="" VAL="0"/> ...
//   </ARRAY>
//   <DATA MODE="FILTERED" ENCODING="ASCII">0 0 1 rg 0 0 20 20 re f</DATA>
//   </STREAM>
//   </DICT>
#pragma once

#include <string>
#include <string_view>

#include "sdk/ks_types.h"

namespace kwannotation {

// Whether a text is written as hexadecimal: a byte below 32 or at or above
// 128, or 4096 bytes or more.
bool KW_TaggedNeedsHex(std::string_view text);
// Two upper-case hex digits per byte.
std::string KW_TaggedHex(std::string_view bytes);
// "&", "<", ">", "'" and '"' as entities, in that order.
std::string KW_TaggedEscape(std::string_view text);

// The tagged text of `ap`. An object reached through a reference is written
// in place, marked DEFINE="XFDFINDIRECTREF_<n>" (n counting such objects
// in the order they are met, so one picture gives one text in any
// document); a later reference to
// the same object (a shared font, a form that draws itself) is written as a
// NAME whose value is that marker, so cycles end and sharing survives. A
// reference that leads nowhere writes nothing. Stream data whose decoded
// bytes are plain short text is written FILTERED (decoded, escaped), other
// data RAW as hexadecimal of the stored bytes with the stream's filters.
// Empty when `ap` is null.
std::string KW_WriteTaggedAppearance(KPD_Dictionary ap);

// Reads a tagged text into a new dictionary (the caller's, to release
// through the host) whose streams live in `doc`. Tags "ARRAY", "STREAM",
// "NAME", "STRING", "DICT", "FIXED", "INT" (a number), "BOOL", "KW_BOOL"
// (true when VAL is "1" or "true" in any case), "DATA", "NULL"; names
// beginning "XFDFINDIRECTREF_" become references to the object that
// DEFINE names so. Null with the reason for a text that is not well formed,
// nested deeper than 256 levels, holds more than 32 MB of stream data, a number that cannot be read, or a
// FILTERED stream whose filter is not "FlateDecode", or whose root is not a
// dictionary; `doc` then keeps at most unreferenced new streams.
KPD_Dictionary KW_ReadTaggedAppearance(KPD_Document doc, std::string_view text, std::string* reason);

// The byte-to-text encoding of a tagged text inside an XFDF element
// (base64), and its reverse; false for text that is not base64.
std::string KW_EncodeTaggedText(std::string_view bytes);
bool KW_DecodeTaggedText(std::string_view text, std::string* bytes);

}  // namespace kwannotation
