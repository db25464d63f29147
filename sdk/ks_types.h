// Types shared by the host and its plug-ins: opaque handles, geometry and
// colour values. Plain C layout so that either side can be built by any
// compiler that follows the platform ABI.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define KS_INTERFACE_VERSION 0x10000u

#define KS_DECLARE_HANDLE(name) typedef struct name##__* name

// Core table manager and the id the host gives a plug-in at handshake.
typedef struct KS_CoreHFTRec* KS_CoreHFT;
KS_DECLARE_HANDLE(KS_PluginID);

// Host strings. A string the plug-in creates is destroyed by the plug-in.
KS_DECLARE_HANDLE(KS_ByteString);
KS_DECLARE_HANDLE(KS_WideString);
KS_DECLARE_HANDLE(KS_WideStringArray);

// Extension function tables published by plug-ins.
KS_DECLARE_HANDLE(KS_ExtHFT);

// PDF level. Every PDF object is a KPD_Object; the other names document which
// kind a function expects. A handle returned by a getter is borrowed: it stays
// valid, and is the same handle, for the life of its document. A handle from a
// "New" function belongs to the caller, who releases it with ObjectRelease.
KS_DECLARE_HANDLE(KPD_Document);
KS_DECLARE_HANDLE(KPD_Object);
typedef KPD_Object KPD_Dictionary;
typedef KPD_Object KPD_Array;
typedef KPD_Object KPD_Stream;
typedef KPD_Object KPD_Page;
// An annotation is reached through its dictionary.
typedef KPD_Object KPD_Annot;

// A parsed content-stream fragment: instructions of operands and an operator.
KS_DECLARE_HANDLE(KPD_Content);
// Per-document helpers of the editor: interactive form, editing font map.
KS_DECLARE_HANDLE(KPD_InterForm);
KS_DECLARE_HANDLE(KPD_FontMap);

// Application level.
KS_DECLARE_HANDLE(KA_Document);
KS_DECLARE_HANDLE(KA_Frame);
KS_DECLARE_HANDLE(KA_PageView);
KS_DECLARE_HANDLE(KA_Device);
KS_DECLARE_HANDLE(KA_Tool);
KS_DECLARE_HANDLE(KA_AnnotHandler);
KS_DECLARE_HANDLE(KA_Annot);
// The editor's behaviour object of an annotation, made from a plug-in's
// annotation object record.
KS_DECLARE_HANDLE(KA_AnnotObject);
// Drawing tools of a device: pens and brushes are made by the caller,
// selected into a device and released by the caller.
KS_DECLARE_HANDLE(KA_Pen);
KS_DECLARE_HANDLE(KA_Brush);
KS_DECLARE_HANDLE(KA_ModuleRecord);
KS_DECLARE_HANDLE(KA_RibbonElement);
KS_DECLARE_HANDLE(KA_FontService);
// A text layout of the host's layout engine: made, filled, arranged and
// written by the caller, then released by it.
KS_DECLARE_HANDLE(KA_TextLayout);

// A file being written in place of another (see FileReplaceBegin), and a
// progress indicator; both ended by the caller.
KS_DECLARE_HANDLE(KA_FileReplacement);
KS_DECLARE_HANDLE(KA_Progress);
// Why FileReplaceBegin gave no file.
#define KS_FILE_IN_USE 1
#define KS_FILE_CANNOT_CREATE 2

// XML level.
KS_DECLARE_HANDLE(KX_Document);
KS_DECLARE_HANDLE(KX_Element);

typedef struct KS_FloatPoint {
  float x;
  float y;
} KS_FloatPoint;

// left <= right and bottom <= top once normalised; PDF user space.
typedef struct KS_FloatRect {
  float left;
  float bottom;
  float right;
  float top;
} KS_FloatRect;

// [a b c d e f] as a PDF /Matrix: x' = a*x + c*y + e, y' = b*x + d*y + f.
typedef struct KS_Matrix {
  float a, b, c, d, e, f;
} KS_Matrix;

// One glyph of a page's text as the host reads it: its box as a quadrilateral
// in PDF user space, corners upper-left, upper-right, lower-left,
// lower-right as the glyph stands (so that a run of glyphs at an angle or on
// a turned page keeps its own up and along), the line of the page's text it
// belongs to (counted in reading order from 0) and its character.
typedef struct KS_TextGlyph {
  KS_FloatPoint quad[4];
  int32_t line;
  uint32_t codepoint;
} KS_TextGlyph;

typedef struct KS_DevicePoint {
  int32_t x;
  int32_t y;
} KS_DevicePoint;

// Device pixels of a page view, y downwards: left <= right, top <= bottom.
typedef struct KS_DeviceRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
} KS_DeviceRect;

// Windows colour values are 0x00BBGGRR.
typedef uint32_t KS_ColorRef;

enum KPD_ColorKind { KPD_COLOR_NONE = 0, KPD_COLOR_GRAY = 1, KPD_COLOR_RGB = 2, KPD_COLOR_CMYK = 3 };

typedef struct KPD_ColorF {
  int32_t kind;
  float c[4];
} KPD_ColorF;

enum KPD_ObjectType {
  KPD_OBJ_INVALID = 0,
  KPD_OBJ_BOOLEAN = 1,
  KPD_OBJ_NUMBER = 2,
  KPD_OBJ_STRING = 3,
  KPD_OBJ_NAME = 4,
  KPD_OBJ_ARRAY = 5,
  KPD_OBJ_DICTIONARY = 6,
  KPD_OBJ_STREAM = 7,
  KPD_OBJ_NULL = 8,
  KPD_OBJ_REFERENCE = 9
};

// Broken-down time of a PDF date string; tzMinutes is the offset from UT.
typedef struct KS_DateTime {
  int32_t year, month, day, hour, minute, second;
  int32_t tzMinutes;
} KS_DateTime;

// Metrics of a font in text space units (1000 per em).
typedef struct KS_FontMetrics {
  float ascent;
  float descent;  // negative below the baseline
  float capHeight;
  float xHeight;
  float italicAngle;
  KS_FloatRect bbox;
  int32_t flags;  // the PDF font descriptor's /Flags
} KS_FontMetrics;

// Kinds of content tokens and operands.
enum KPD_ContentTokenKind {
  KPD_TOKEN_OPERATOR = 0,
  KPD_TOKEN_OPERAND = 1
};

// Document permission bits as in the PDF standard's /P value.
#define KPD_PERM_MODIFY_ANNOTS 32u

// Results of a document save or open.
enum KS_FileError {
  KS_FILE_OK = 0,
  KS_FILE_NOT_FOUND = 1,
  KS_FILE_ACCESS = 2,
  KS_FILE_FORMAT = 3,
  KS_FILE_PASSWORD = 4,
  KS_FILE_WRITE = 5,
  KS_FILE_BAD_ARGUMENT = 6
};
