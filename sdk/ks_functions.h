// Every host function, once: X(selector, index, name, return type, (parameters)).
//
// The host builds its tables from this list and the plug-in's binding calls
// through it, so a row is the whole contract of a function. Conventions:
// - booleans are int32_t 0 or 1; a failed call answers 0, null or false;
// - text results are written into a KS_ByteString or KS_WideString that the
//   caller created and passed in;
// - PDF names are given with their leading slash ("/Annots"); dictionary keys
//   likewise;
// - handles from getters are borrowed, handles from "New", "Parse" and
//   "Clone" functions are the caller's and go back through ObjectRelease.
#pragma once

#include "ks_records.h"
#include "ks_types.h"

// Selectors of the host's tables.
#define KS_SEL_EXTHFT 0
#define KS_SEL_MATRIX 1
#define KS_SEL_DRAWING 2
#define KS_SEL_WIDESTRINGARRAY 9
#define KS_SEL_PDFTEXT 10
#define KS_SEL_BYTESTRING 17
#define KS_SEL_WIDESTRING 18
#define KS_SEL_TOOL 19
#define KS_SEL_APP 20
#define KS_SEL_MODULERECORD 21
#define KS_SEL_APPDOCUMENT 26
#define KS_SEL_FRAME 31
#define KS_SEL_PAGEVIEW 32
#define KS_SEL_PDFDOCUMENT 34
#define KS_SEL_PAGE 53
#define KS_SEL_OBJECT 61
#define KS_SEL_BOOLEAN 62
#define KS_SEL_NAME 65
#define KS_SEL_ARRAY 66
#define KS_SEL_DICTIONARY 67
#define KS_SEL_STREAM 68
#define KS_SEL_REFERENCE 72
#define KS_SEL_MESSAGEBOX 30
#define KS_SEL_APPSERVICES 149
#define KS_SEL_FILE 125
#define KS_SEL_RIBBONCATEGORY 151
#define KS_SEL_RIBBONPANEL 152
#define KS_SEL_RIBBONCONTROL 164
#define KS_SEL_RIBBONELEMENT 167
#define KS_SEL_DATE 178
#define KS_SEL_PREFERENCES 265
#define KS_SEL_RECT 266
#define KS_SEL_ANNOTHANDLER 268
#define KS_SEL_ANNOTOBJECT 296
#define KS_SEL_PAGEANNOT 303
#define KS_SEL_PROPERTYPANEL 339
#define KS_SEL_COLOR 445
#define KS_SEL_SNAP 732
// Snap modes by index, and the kinds of a snapped point.
#define KS_SNAP_MODE_END 0
#define KS_SNAP_MODE_MID 1
#define KS_SNAP_MODE_INTER 2
#define KS_SNAP_MODE_NEAR 3
#define KS_SNAP_NONE 0
#define KS_SNAP_END 1
#define KS_SNAP_MID 2
#define KS_SNAP_INTER 3
#define KS_SNAP_NEAR 4
#define KS_SEL_FONTSERVICE 331
#define KS_SEL_TEXTLAYOUT 653
#define KS_SEL_CONTENT 436
#define KS_SEL_INTERFORM 56
#define KS_SEL_FONTMAP 584
#define KS_SEL_XML 740
#define KS_SEL_PANEL 342
#define KS_SEL_INNERPLUGIN 481

// clang-format off
#define KS_HOST_FUNCTIONS(X)                                                                       \
  /* 0: extension function tables of plug-ins */                                                   \
  X(0, 0, ExtHFTNew, KS_ExtHFT, (int32_t entryCount))                                              \
  X(0, 1, ExtHFTSetEntry, int32_t, (KS_ExtHFT hft, int32_t index, void* fn))                       \
  X(0, 2, ExtHFTPublish, int32_t, (const char* name, int32_t version, KS_ExtHFT hft))              \
  X(0, 3, ExtHFTFind, KS_ExtHFT, (const char* name, int32_t version))                              \
  X(0, 4, ExtHFTGetEntry, void*, (KS_ExtHFT hft, int32_t index))                                   \
  X(0, 5, ExtHFTEntryCount, int32_t, (KS_ExtHFT hft))                                              \
  /* 1: matrices */                                                                                \
  X(1, 0, MatrixFromObject, int32_t, (KPD_Object array, KS_Matrix* out))                           \
  X(1, 1, MatrixToObject, KPD_Object, (const KS_Matrix* m))                                        \
  X(1, 2, MatrixConcat, void, (const KS_Matrix* first, const KS_Matrix* then, KS_Matrix* out))     \
  X(1, 3, MatrixInvert, int32_t, (const KS_Matrix* m, KS_Matrix* out))                             \
  X(1, 4, MatrixTransformPoint, void, (const KS_Matrix* m, KS_FloatPoint* pt))                     \
  X(1, 5, MatrixTransformRect, void, (const KS_Matrix* m, KS_FloatRect* rect))                     \
  /* 2: drawing on a device; pens and brushes are the caller's */                                  \
  X(2, 0, PenNew, KA_Pen, (KS_ColorRef color, int32_t width, int32_t style))                       \
  X(2, 1, PenRelease, void, (KA_Pen pen))                                                          \
  X(2, 2, BrushNew, KA_Brush, (KS_ColorRef color, int32_t hollow))                                 \
  X(2, 3, BrushRelease, void, (KA_Brush brush))                                                    \
  /* select answers the device's previous pen or brush */                                          \
  X(2, 4, DeviceSelectPen, KA_Pen, (KA_Device device, KA_Pen pen))                                 \
  X(2, 5, DeviceSelectBrush, KA_Brush, (KA_Device device, KA_Brush brush))                         \
  X(2, 6, DeviceRectangle, int32_t, (KA_Device device, const KS_DeviceRect* rect))                 \
  X(2, 7, DeviceLine, int32_t, (KA_Device device, KS_DevicePoint from, KS_DevicePoint to))         \
  X(2, 8, DevicePolyline, int32_t, (KA_Device device, const KS_DevicePoint* points, int32_t count, int32_t closed))\
  /* 9: wide-string arrays */                                                                      \
  X(9, 0, WideStringArrayNew, KS_WideStringArray, (void))                                          \
  X(9, 1, WideStringArrayDestroy, void, (KS_WideStringArray arr))                                  \
  X(9, 2, WideStringArrayCount, int32_t, (KS_WideStringArray arr))                                 \
  X(9, 3, WideStringArrayGet, int32_t, (KS_WideStringArray arr, int32_t index, KS_WideString out)) \
  X(9, 4, WideStringArrayAppend, int32_t, (KS_WideStringArray arr, KS_WideString str))             \
  X(9, 5, WideStringArrayClear, void, (KS_WideStringArray arr))                                    \
  /* 10: PDF text strings (PDFDocEncoding or UTF-16BE with BOM) */                                 \
  X(10, 0, PdfTextToWide, int32_t, (const char* bytes, size_t length, KS_WideString out))          \
  X(10, 1, WideToPdfText, int32_t, (const char16_t* text, size_t length, KS_ByteString out))       \
  X(10, 2, StringObjectGetText, int32_t, (KPD_Object str, KS_WideString out))                      \
  X(10, 3, StringObjectNewFromText, KPD_Object, (const char16_t* text, size_t length))             \
  /* 17: 8-bit strings */                                                                          \
  X(17, 0, ByteStringNew, KS_ByteString, (const char* bytes, size_t length))                       \
  X(17, 1, ByteStringDestroy, void, (KS_ByteString str))                                           \
  X(17, 2, ByteStringData, const char*, (KS_ByteString str))                                       \
  X(17, 3, ByteStringLength, size_t, (KS_ByteString str))                                          \
  X(17, 4, ByteStringSet, void, (KS_ByteString str, const char* bytes, size_t length))             \
  /* 18: wide (UTF-16) strings */                                                                  \
  X(18, 0, WideStringNew, KS_WideString, (const char16_t* text, size_t length))                    \
  X(18, 1, WideStringDestroy, void, (KS_WideString str))                                           \
  X(18, 2, WideStringData, const char16_t*, (KS_WideString str))                                   \
  X(18, 3, WideStringLength, size_t, (KS_WideString str))                                          \
  X(18, 4, WideStringSet, void, (KS_WideString str, const char16_t* text, size_t length))          \
  /* the host's text service: line breaks to LF, control characters dropped */                    \
  X(18, 5, WideStringForDisplay, int32_t, (const char16_t* text, size_t length, KS_WideString out)) \
  /* 19: tools */                                                                                  \
  X(19, 0, ToolNew, KA_Tool, (const char* name, const KS_ToolCallbacks* callbacks))                \
  X(19, 1, ToolRelease, void, (KA_Tool tool))                                                      \
  X(19, 2, ToolGetName, int32_t, (KA_Tool tool, KS_ByteString out))                                \
  X(19, 3, ToolSetCategory, void, (KA_Tool tool, const char16_t* category))                        \
  X(19, 4, ToolSetGroup, void, (KA_Tool tool, const char16_t* group))                              \
  /* 20: application */                                                                            \
  X(20, 0, AppGetUILanguage, int32_t, (KS_WideString out))                                         \
  X(20, 1, AppGetAppFolder, int32_t, (KS_WideString out))                                          \
  X(20, 2, AppGetAppDataFolder, int32_t, (KS_WideString out))                                      \
  X(20, 3, AppGetUserFolder, int32_t, (KS_WideString out))                                         \
  X(20, 4, AppGetHostNumber, int32_t, (void))                                                      \
  X(20, 5, AppGetUiFolder, int32_t, (KS_WideString out))                                           \
  X(20, 6, AppRegisterTool, int32_t, (KA_Tool tool))                                               \
  X(20, 7, AppUnregisterTool, int32_t, (KA_Tool tool))                                             \
  X(20, 8, AppGetToolByName, KA_Tool, (const char* name))                                          \
  X(20, 9, AppGetCurrentTool, KA_Tool, (void))                                                     \
  X(20, 10, AppSetCurrentTool, int32_t, (KA_Tool tool, int32_t persistent))                        \
  X(20, 11, AppGetCurrentDocument, KA_Document, (void))                                            \
  X(20, 12, AppAnnounceModule, int32_t, (const char* name, int32_t enabled))                       \
  /* the user's name for the author of what they make: the preference "Identity" "Name", else  */ \
  /* the login name; 0 when neither is known                                                    */ \
  X(20, 13, AppGetUserName, int32_t, (KS_WideString out))                                          \
  /* 21: module records of loaded libraries */                                                     \
  X(21, 0, ModuleRecordGet, KA_ModuleRecord, (void* instance))                                     \
  X(21, 1, ModuleRecordApplyNumber, void, (KA_ModuleRecord record, int32_t value))                 \
  X(21, 2, ModuleRecordRelease, void, (KA_ModuleRecord record))                                    \
  /* 26: documents open in the editor */                                                          \
  X(26, 0, AppDocGetPdfDocument, KPD_Document, (KA_Document doc))                                  \
  X(26, 1, AppDocIsReadOnly, int32_t, (KA_Document doc))                                           \
  X(26, 2, AppDocGetPermissions, uint32_t, (KA_Document doc))                                      \
  X(26, 3, AppDocUndoCount, int32_t, (KA_Document doc))                                            \
  X(26, 4, AppDocRedoCount, int32_t, (KA_Document doc))                                            \
  X(26, 5, AppDocRegisterEvents, int32_t, (const KS_DocEventCallbacks* record))                    \
  X(26, 6, AppDocUnregisterEvents, int32_t, (const KS_DocEventCallbacks* record))                  \
  X(26, 7, AppDocFromPdfDocument, KA_Document, (KPD_Document pdf))                                 \
  /* selection and focus: the focused annotation is one of the selected */                         \
  X(26, 8, AppDocSelectionCount, int32_t, (KA_Document doc))                                       \
  X(26, 9, AppDocGetSelected, KA_Annot, (KA_Document doc, int32_t index))                          \
  X(26, 10, AppDocIsSelected, int32_t, (KA_Document doc, KA_Annot annot))                          \
  X(26, 11, AppDocSelect, int32_t, (KA_Document doc, KA_Annot annot, int32_t add))                 \
  X(26, 12, AppDocDeselectAll, int32_t, (KA_Document doc))                                         \
  X(26, 13, AppDocGetFocusedAnnot, KA_Annot, (KA_Document doc))                                    \
  X(26, 14, AppDocSetFocusedAnnot, int32_t, (KA_Document doc, KA_Annot annot))                     \
  X(26, 15, AppDocInvalidateRect, int32_t, (KA_Document doc, int32_t pageIndex, const KS_FloatRect* pageRect))\
  /* the file the document was opened from (absolute); false for a document that has none */    \
  X(26, 16, AppDocGetFilePath, int32_t, (KA_Document doc, KS_WideString out))                      \
  /* 56: interactive forms (borrowed from the document, or new and released) */                    \
  X(56, 0, DocGetInterForm, KPD_InterForm, (KPD_Document doc))                                     \
  X(56, 1, InterFormNew, KPD_InterForm, (KPD_Document doc))                                        \
  X(56, 2, InterFormRelease, void, (KPD_InterForm form))                                           \
  X(56, 3, InterFormGetDict, KPD_Dictionary, (KPD_InterForm form))                                 \
  /* 30: message boxes */                                                                          \
  X(30, 0, MessageBox, int32_t, (const char16_t* text, const char16_t* title, uint32_t buttons))   \
  /* a popup menu of `count` item texts: the 1-based item chosen, 0 for none */                    \
  X(30, 1, PopupMenu, int32_t, (const char16_t* const* items, int32_t count))                       \
  /* 31: a progress indicator over 0..range; one at a time. SetValue answers 0 once the user */  \
  /* has cancelled, as IsCancelled does from then on; End takes it away */                        \
  X(31, 0, ProgressBegin, KA_Progress, (const char16_t* title, int32_t range))                     \
  X(31, 1, ProgressSetValue, int32_t, (KA_Progress progress, int32_t value))                       \
  X(31, 2, ProgressIsCancelled, int32_t, (KA_Progress progress))                                   \
  X(31, 3, ProgressEnd, void, (KA_Progress progress))                                              \
  /* 32: page views */                                                                             \
  X(32, 0, PageViewGetDocument, KA_Document, (KA_PageView view))                                   \
  X(32, 1, PageViewGetPageIndex, int32_t, (KA_PageView view))                                      \
  X(32, 2, PageViewGetPage, KPD_Page, (KA_PageView view))                                          \
  X(32, 3, PageViewDeviceToPage, int32_t, (KA_PageView view, KS_DevicePoint device, KS_FloatPoint* out)) \
  X(32, 4, PageViewPageToDevice, int32_t, (KA_PageView view, KS_FloatPoint point, KS_DevicePoint* out)) \
  X(32, 5, PageViewGetMatrix, int32_t, (KA_PageView view, KS_Matrix* pageToDevice))                \
  X(32, 6, PageViewGetZoom, float, (KA_PageView view))                                             \
  X(32, 7, PageViewPageRectToDevice, int32_t, (KA_PageView view, const KS_FloatRect* rect, KS_DeviceRect* out))\
  X(32, 8, PageViewDeviceRectToPage, int32_t, (KA_PageView view, const KS_DeviceRect* rect, KS_FloatRect* out))\
  /* 34: PDF documents */                                                                          \
  X(34, 0, DocOpenFile, KPD_Document, (const char* path, KS_ByteString error))                     \
  X(34, 1, DocOpenMemory, KPD_Document, (const char* data, size_t length, KS_ByteString error))    \
  X(34, 2, DocNew, KPD_Document, (void))                                                           \
  X(34, 3, DocSave, int32_t, (KPD_Document doc, const char* path, KS_ByteString error))            \
  X(34, 4, DocClose, void, (KPD_Document doc))                                                     \
  X(34, 5, DocPageCount, int32_t, (KPD_Document doc))                                              \
  X(34, 6, DocGetPage, KPD_Page, (KPD_Document doc, int32_t index))                                \
  X(34, 7, DocGetPageIndex, int32_t, (KPD_Document doc, KPD_Page page))                            \
  X(34, 8, DocGetRoot, KPD_Dictionary, (KPD_Document doc))                                         \
  X(34, 9, DocGetTrailer, KPD_Dictionary, (KPD_Document doc))                                      \
  X(34, 10, DocGetObject, KPD_Object, (KPD_Document doc, int32_t objNum, int32_t genNum))          \
  X(34, 11, DocMakeIndirect, KPD_Object, (KPD_Document doc, KPD_Object obj))                       \
  X(34, 12, DocGetPermissions, uint32_t, (KPD_Document doc))                                       \
  X(34, 13, DocIsEncrypted, int32_t, (KPD_Document doc))                                           \
  X(34, 14, DocWarningCount, int32_t, (KPD_Document doc))                                          \
  X(34, 15, DocGetWarning, int32_t, (KPD_Document doc, int32_t index, KS_ByteString out))          \
  X(34, 16, DocOfObject, KPD_Document, (KPD_Object obj))                                           \
  X(34, 17, DocAddPage, KPD_Page, (KPD_Document doc, const KS_FloatRect* mediaBox))                \
  X(34, 18, DocNewStream, KPD_Stream, (KPD_Document doc, const char* data, size_t length))         \
  X(34, 19, DocCountReferences, int32_t, (KPD_Document doc, const KPD_Object* objects, int32_t count, int32_t* counts)) \
  /* 53: pages */                                                                                  \
  X(53, 0, PageGetRotation, int32_t, (KPD_Page page))                                              \
  X(53, 1, PageGetBox, int32_t, (KPD_Page page, const char* boxName, KS_FloatRect* out))           \
  X(53, 2, PageAnnotCount, int32_t, (KPD_Page page))                                               \
  X(53, 3, PageGetAnnot, KPD_Dictionary, (KPD_Page page, int32_t index))                           \
  X(53, 4, PageInsertAnnot, KPD_Dictionary, (KPD_Page page, int32_t index, KPD_Dictionary annot))  \
  X(53, 5, PageRemoveAnnot, int32_t, (KPD_Page page, int32_t index))                               \
  X(53, 6, PageFindAnnot, int32_t, (KPD_Page page, KPD_Dictionary annot))                          \
  X(53, 7, PageSetRotation, int32_t, (KPD_Page page, int32_t degrees))                             \
  X(53, 8, PageAppendContent, int32_t, (KPD_Page page, const char* content, size_t length))        \
  /* 61: any PDF object */                                                                         \
  X(61, 0, ObjectGetType, int32_t, (KPD_Object obj))                                               \
  X(61, 1, ObjectRelease, void, (KPD_Object obj))                                                  \
  X(61, 2, ObjectIsIdentical, int32_t, (KPD_Object a, KPD_Object b))                               \
  X(61, 3, ObjectClone, KPD_Object, (KPD_Object obj))                                              \
  X(61, 4, ObjectParse, KPD_Object, (const char* text, size_t length))                             \
  X(61, 5, ObjectWrite, int32_t, (KPD_Object obj, KS_ByteString out))                              \
  X(61, 6, ObjectGetNumber, double, (KPD_Object obj))                                              \
  X(61, 7, ObjectGetInteger, int64_t, (KPD_Object obj))                                            \
  X(61, 8, ObjectIsInteger, int32_t, (KPD_Object obj))                                             \
  X(61, 9, NumberNew, KPD_Object, (double value))                                                  \
  X(61, 10, IntegerNew, KPD_Object, (int64_t value))                                               \
  X(61, 11, StringNew, KPD_Object, (const char* bytes, size_t length))                             \
  X(61, 12, StringGetBytes, int32_t, (KPD_Object str, KS_ByteString out))                          \
  X(61, 13, NullNew, KPD_Object, (void))                                                           \
  X(61, 14, ObjectIsEqual, int32_t, (KPD_Object a, KPD_Object b))                                  \
  /* 62: booleans */                                                                               \
  X(62, 0, BooleanNew, KPD_Object, (int32_t value))                                                \
  X(62, 1, BooleanGet, int32_t, (KPD_Object obj))                                                  \
  /* 65: names */                                                                                  \
  X(65, 0, NameNew, KPD_Object, (const char* name))                                                \
  X(65, 1, NameGet, int32_t, (KPD_Object obj, KS_ByteString out))                                  \
  X(65, 2, NameIs, int32_t, (KPD_Object obj, const char* name))                                    \
  /* 66: arrays */                                                                                 \
  X(66, 0, ArrayNew, KPD_Array, (void))                                                            \
  X(66, 1, ArrayCount, int32_t, (KPD_Array arr))                                                   \
  X(66, 2, ArrayGet, KPD_Object, (KPD_Array arr, int32_t index))                                   \
  X(66, 3, ArrayInsert, int32_t, (KPD_Array arr, int32_t index, KPD_Object item))                  \
  X(66, 4, ArrayAppend, int32_t, (KPD_Array arr, KPD_Object item))                                 \
  X(66, 5, ArraySet, int32_t, (KPD_Array arr, int32_t index, KPD_Object item))                     \
  X(66, 6, ArrayRemove, int32_t, (KPD_Array arr, int32_t index))                                   \
  X(66, 7, ArrayGetNumbers, int32_t, (KPD_Array arr, float* out, int32_t capacity))                \
  /* 67: dictionaries */                                                                           \
  X(67, 0, DictNew, KPD_Dictionary, (void))                                                        \
  X(67, 1, DictHasKey, int32_t, (KPD_Dictionary dict, const char* key))                            \
  X(67, 2, DictGet, KPD_Object, (KPD_Dictionary dict, const char* key))                            \
  X(67, 3, DictSet, int32_t, (KPD_Dictionary dict, const char* key, KPD_Object value))             \
  X(67, 4, DictRemove, int32_t, (KPD_Dictionary dict, const char* key))                            \
  X(67, 5, DictKeyCount, int32_t, (KPD_Dictionary dict))                                           \
  X(67, 6, DictKeyAt, int32_t, (KPD_Dictionary dict, int32_t index, KS_ByteString out))            \
  /* 68: streams */                                                                                \
  X(68, 0, StreamGetDict, KPD_Dictionary, (KPD_Stream stream))                                     \
  X(68, 1, StreamGetData, int32_t, (KPD_Stream stream, int32_t decoded, KS_ByteString out))        \
  X(68, 2, StreamSetData, int32_t, (KPD_Stream stream, const char* data, size_t length))           \
  /* 72: references */                                                                             \
  X(72, 0, ObjectIsIndirect, int32_t, (KPD_Object obj))                                            \
  X(72, 1, ObjectGetObjNum, int32_t, (KPD_Object obj))                                             \
  X(72, 2, ObjectGetGenNum, int32_t, (KPD_Object obj))                                             \
  /* 125: files */                                                                                 \
  X(125, 0, FileExists, int32_t, (const char16_t* path))                                           \
  X(125, 1, DirectoryExists, int32_t, (const char16_t* path))                                      \
  X(125, 2, DirectoryList, int32_t, (const char16_t* path, int32_t folders, KS_WideStringArray out)) \
  X(125, 3, FileRead, int32_t, (const char16_t* path, KS_ByteString out))                          \
  X(125, 4, FileWrite, int32_t, (const char16_t* path, const char* data, size_t length))           \
  X(125, 5, FileRemove, int32_t, (const char16_t* path))                                           \
  X(125, 6, DirectoryCreate, int32_t, (const char16_t* path))                                      \
  /* a new file written beside `path` that takes its place only on commit; until then, and */   \
  /* after a discard or a failure, the file at `path` stays as it was. Begin gives null with */    \
  /* *status KS_FILE_IN_USE when `path` exists but cannot be written, KS_FILE_CANNOT_CREATE */     \
  /* when nothing can be written beside it, and the system's reason. Commit and Discard end */     \
  /* the handle */                                                                                 \
  X(125, 7, FileReplaceBegin, KA_FileReplacement, (const char16_t* path, int32_t* status, KS_ByteString reason)) \
  X(125, 8, FileReplaceWrite, int32_t, (KA_FileReplacement file, const char* data, size_t length)) \
  X(125, 9, FileReplaceCommit, int32_t, (KA_FileReplacement file, KS_ByteString reason))         \
  X(125, 10, FileReplaceDiscard, void, (KA_FileReplacement file))                                  \
  /* 149: application services */                                                                  \
  X(149, 0, UndoAddItem, int32_t, (const char16_t* caption, KA_Document doc, int32_t flags, const KS_UndoRecord* record)) \
  /* items added between begin and end undo and redo as one step */                                \
  X(149, 1, UndoBeginGroup, int32_t, (KA_Document doc, const char16_t* caption))                   \
  X(149, 2, UndoEndGroup, int32_t, (KA_Document doc))                                              \
  /* 151, 152, 164, 167: the ribbon of a frame: categories, panels, controls */                    \
  X(151, 0, RibbonGetCategory, KA_RibbonElement, (KA_Frame frame, const char* name))               \
  X(152, 0, RibbonFindPanel, KA_RibbonElement, (KA_RibbonElement category, const char* name))      \
  X(152, 1, RibbonAddPanel, KA_RibbonElement, (KA_RibbonElement category, const char* name, const char16_t* title, int32_t position)) \
  X(164, 0, RibbonAddControl, KA_RibbonElement, (KA_RibbonElement parent, int32_t kind, const char* id, const char16_t* title, const char16_t* tooltip)) \
  X(164, 1, RibbonSetIcons, int32_t, (KA_RibbonElement control, const char* icon32, const char* icon16)) \
  X(164, 2, RibbonSetPressProc, int32_t, (KA_RibbonElement control, KS_RibbonPressProc proc, void* clientData)) \
  X(164, 3, RibbonFindControl, KA_RibbonElement, (KA_Frame frame, const char* id))                 \
  X(167, 0, RibbonSetEnabled, int32_t, (KA_RibbonElement element, int32_t enabled))                \
  X(167, 1, RibbonSetChecked, int32_t, (KA_RibbonElement element, int32_t checked))                \
  X(167, 2, RibbonIsEnabled, int32_t, (KA_RibbonElement element))                                  \
  X(167, 3, RibbonIsChecked, int32_t, (KA_RibbonElement element))                                  \
  X(167, 4, RibbonRemove, int32_t, (KA_RibbonElement element))                                     \
  /* sliders: the range and the value; setting the value runs no procedure */                   \
  X(167, 5, RibbonSetSliderRange, int32_t, (KA_RibbonElement slider, int32_t min, int32_t max))    \
  X(167, 6, RibbonSetSliderValue, int32_t, (KA_RibbonElement slider, int32_t value))               \
  X(167, 7, RibbonGetSliderValue, int32_t, (KA_RibbonElement slider))                              \
  /* 178: date and time */                                                                         \
  X(178, 0, DateNow, void, (KS_DateTime* out))                                                     \
  X(178, 1, DateToPdfString, int32_t, (const KS_DateTime* dt, KS_ByteString out))                  \
  X(178, 2, DateFromPdfString, int32_t, (const char* text, size_t length, KS_DateTime* out))       \
  /* 268: annotation handlers registered by plug-ins */                                             \
  X(268, 0, AnnotHandlerRegister, KA_AnnotHandler, (const char* type, const KS_AnnotHandlerCallbacks* record)) \
  X(268, 1, AnnotHandlerUnregister, int32_t, (KA_AnnotHandler handler))                           \
  /* the editor's own handling of an annotation, by index (KS_AHD_*) */                            \
  X(268, 2, AnnotHandlerDefault, intptr_t, (KA_AnnotHandler handler, int32_t index, const KS_AnnotCallArgs* args))\
  /* 296: behaviour objects of annotations */                                                      \
  X(296, 0, AnnotObjectNew, KA_AnnotObject, (KA_AnnotHandler handler, const KS_AnnotObjectCallbacks* record, KA_Annot annot, intptr_t value))\
  X(296, 1, AnnotObjectGetAnnot, KA_Annot, (KA_AnnotObject obj))                                   \
  X(296, 2, AnnotObjectAppearanceChanged, int32_t, (KA_AnnotObject obj))                           \
  X(296, 3, AnnotObjectForward, intptr_t, (KA_AnnotObject obj, intptr_t a, intptr_t b))            \
  /* 303: annotations on pages of open documents; a handle stays valid while */                    \
  /* its document is open and answers -1 / null once the annotation is gone */                     \
  X(303, 0, AnnotFromDict, KA_Annot, (KA_Document doc, KPD_Dictionary dict))                       \
  X(303, 1, AnnotGetDict, KPD_Dictionary, (KA_Annot annot))                                        \
  X(303, 2, AnnotGetDocument, KA_Document, (KA_Annot annot))                                       \
  X(303, 3, AnnotGetPageIndex, int32_t, (KA_Annot annot))                                          \
  X(303, 4, AnnotGetRect, int32_t, (KA_Annot annot, KS_FloatRect* out))                            \
  X(303, 5, AnnotGetFlags, uint32_t, (KA_Annot annot))                                             \
  X(303, 6, AnnotGetObject, KA_AnnotObject, (KA_Annot annot))                                      \
  X(303, 7, AnnotGetTypeName, int32_t, (KA_Annot annot, KS_ByteString out))                        \
  X(303, 8, AnnotDrawAppearance, int32_t, (KA_Annot annot, KA_PageView view, KA_Device device))    \
  /* opens the annotation's pop-up note ("/Popup" with "/Open" true), making one beside it, */    \
  /* within its page, when it has none; 1 when the pop-up is open */                              \
  X(303, 9, AnnotOpenPopup, int32_t, (KA_Annot annot))                                             \
  /* 339: the property panel of the current selection */                                           \
  X(339, 0, PropertyPanelRefresh, int32_t, (void))                                                 \
  /* contextual tabs: a category of the frame's ribbon that a plug-in shows while something */  \
  /* is active. Made hidden; its panels and controls are added as to any category. Showing */    \
  /* names the context the tab is shown for ("Format_Measure_Line"); a null or empty context */  \
  /* hides it. Names are unique among contextual tabs; RibbonRemove takes the tab away */        \
  X(339, 1, RibbonAddContextCategory, KA_RibbonElement, (KA_Frame frame, const char* name, const char16_t* title)) \
  X(339, 2, RibbonFindContextCategory, KA_RibbonElement, (KA_Frame frame, const char* name))       \
  X(339, 3, RibbonShowContextCategory, int32_t, (KA_RibbonElement category, const char* context)) \
  /* 1 and the context it is shown for, or 0 (and `context` untouched) while it is hidden */      \
  X(339, 4, RibbonGetContextCategoryShown, int32_t, (KA_RibbonElement category, KS_ByteString context)) \
  /* 445: colours: a Windows colour with alpha as 0xAARRGGBB, and its parts */                     \
  X(445, 0, ColorFromRef, uint32_t, (KS_ColorRef color, int32_t alpha))                            \
  X(445, 1, ColorSplit, int32_t, (uint32_t argb, int32_t* a, int32_t* r, int32_t* g, int32_t* b))  \
  /* 732: object snapping */                                                                       \
  X(732, 0, SnapIsEnabled, int32_t, (void))                                                        \
  /* the snap modes of group 1 by index (KS_SNAP_MODE_*): kept in preference section "snap" */    \
  X(732, 1, SnapGetMode, int32_t, (int32_t group, int32_t index))                                  \
  X(732, 2, SnapSetMode, int32_t, (int32_t group, int32_t index, int32_t on))                      \
  /* looks for page geometry near a device point of the view (the gesture's start point given */ \
  /* once it started); 1 when the point snapped. The result stays until the next update */         \
  X(732, 3, SnapUpdate, int32_t, (KA_PageView view, KS_DevicePoint pt, int32_t started, KS_FloatPoint start)) \
  /* the last update's point in page space and its kind (KS_SNAP_*); 0 when it did not snap */     \
  X(732, 4, SnapGetResult, int32_t, (KS_FloatPoint* pt, int32_t* kind))                            \
  /* draws the marker of the last snapped point of the view onto the device; 0 when none */       \
  X(732, 5, SnapDrawMarker, int32_t, (KA_PageView view, KA_Device device))                         \
  /* forgets the last result, so no marker is drawn */                                             \
  X(732, 6, SnapClear, void, (void))                                                               \
  /* 331: the application's font service (standard 14 fonts, metrics in 1/1000 em) */               \
  X(331, 0, AppGetFontService, KA_FontService, (void))                                             \
  X(331, 1, FontIsStandard14, int32_t, (KA_FontService svc, const char* baseFont))                 \
  X(331, 2, FontStandardName, int32_t, (KA_FontService svc, const char* family, int32_t bold, int32_t italic, KS_ByteString out)) \
  X(331, 3, FontGetMetrics, int32_t, (KA_FontService svc, const char* baseFont, KS_FontMetrics* out)) \
  X(331, 4, FontCharWidth, float, (KA_FontService svc, const char* baseFont, uint32_t unicode))    \
  X(331, 5, FontTextWidth, float, (KA_FontService svc, const char* baseFont, const char16_t* text, size_t length, float size)) \
  X(331, 6, FontHasGlyph, int32_t, (KA_FontService svc, const char* baseFont, uint32_t unicode))   \
  X(331, 7, FontFindSystemFont, int32_t, (KA_FontService svc, const char16_t* name, int32_t charset, KS_ByteString out)) \
  X(331, 8, FontAddToResources, int32_t, (KA_FontService svc, KPD_Document doc, KPD_Dictionary fontDict, const char* resName, const char* baseFont)) \
  X(331, 9, FontEncodeText, int32_t, (KA_FontService svc, const char* baseFont, const char16_t* text, size_t length, KS_ByteString out)) \
  /* 653: text layout: runs of text with font family, size, bold, italic; lines broken within a  \
     width at spaces (and inside too long words), aligned 0 left, 1 centre, 2 right; the box has \
     its top left at (0, 0); content is text operators for inside BT ... ET */                     \
  X(653, 0, TextLayoutNew, KA_TextLayout, (void))                                                  \
  X(653, 1, TextLayoutRelease, void, (KA_TextLayout layout))                                       \
  X(653, 2, TextLayoutAddRun, int32_t, (KA_TextLayout layout, const char* family, int32_t bold, int32_t italic, float size, const char16_t* text, size_t length)) \
  X(653, 3, TextLayoutArrange, int32_t, (KA_TextLayout layout, float maxWidth, int32_t align, float spacing)) \
  X(653, 4, TextLayoutGetBox, int32_t, (KA_TextLayout layout, KS_FloatRect* out))                  \
  X(653, 5, TextLayoutGetContent, int32_t, (KA_TextLayout layout, KS_ByteString out))              \
  X(653, 6, TextLayoutAddResources, int32_t, (KA_TextLayout layout, KPD_Document doc, KPD_Dictionary fontDict)) \
  /* a run with its full style (record copied; text UTF-16); TextLayoutArrange also takes align \
     3, justify: every line but a paragraph's last is stretched to the width at its spaces */    \
  X(653, 7, TextLayoutAddStyledRun, int32_t, (KA_TextLayout layout, const KS_TextRunStyle* style, const char16_t* text, size_t length)) \
  /* where typing goes on: after the last line's last character, no wider than 0, from that    \
     line's descent to its ascent, in the box's coordinates; 0 before the text is arranged */    \
  X(653, 8, TextLayoutGetCaret, int32_t, (KA_TextLayout layout, KS_FloatRect* out))              \
  /* 436: content tokenizer over a fragment of content-stream text */                               \
  X(436, 0, ContentParse, KPD_Content, (const char* data, size_t length))                          \
  X(436, 1, ContentRelease, void, (KPD_Content content))                                           \
  X(436, 2, ContentCount, int32_t, (KPD_Content content))                                          \
  X(436, 3, ContentGetOperator, int32_t, (KPD_Content content, int32_t index, KS_ByteString out))  \
  X(436, 4, ContentOperandCount, int32_t, (KPD_Content content, int32_t index))                    \
  X(436, 5, ContentGetOperand, KPD_Object, (KPD_Content content, int32_t index, int32_t operand))  \
  X(436, 6, ContentFindLast, int32_t, (KPD_Content content, const char* op, int32_t operandCount)) \
  X(436, 7, ContentGetSpan, int32_t, (KPD_Content content, int32_t index, size_t* start, size_t* end)) \
  /* 584: editing font maps of documents */                                                        \
  X(584, 0, DocGetFontMap, KPD_FontMap, (KPD_Document doc))                                        \
  X(584, 1, FontMapNew, KPD_FontMap, (KPD_Document doc))                                           \
  X(584, 2, FontMapRelease, void, (KPD_FontMap map))                                               \
  X(584, 3, FontMapGetResourceName, int32_t, (KPD_FontMap map, const char* baseFont, KS_ByteString out)) \
  /* 740: XML documents and elements (UTF-8 text) */                                               \
  X(740, 0, XmlNew, KX_Document, (const char* rootName))                                           \
  X(740, 1, XmlParse, KX_Document, (const char* data, size_t length, KS_ByteString error))         \
  X(740, 2, XmlParseFile, KX_Document, (const char16_t* path, KS_ByteString error))                \
  X(740, 3, XmlRelease, void, (KX_Document doc))                                                   \
  X(740, 4, XmlSaveFile, int32_t, (KX_Document doc, const char16_t* path))                         \
  X(740, 5, XmlSerialize, int32_t, (KX_Element element, int32_t declaration, int32_t indent, KS_ByteString out)) \
  X(740, 6, XmlGetRoot, KX_Element, (KX_Document doc))                                             \
  X(740, 7, XmlElementName, int32_t, (KX_Element element, KS_ByteString out))                      \
  X(740, 8, XmlFirstChild, KX_Element, (KX_Element element, const char* name))                     \
  X(740, 9, XmlNextSibling, KX_Element, (KX_Element element, const char* name))                    \
  X(740, 10, XmlParent, KX_Element, (KX_Element element))                                          \
  X(740, 11, XmlAppendChild, KX_Element, (KX_Element parent, const char* name))                    \
  X(740, 12, XmlAppendCopy, KX_Element, (KX_Element parent, KX_Element source))                    \
  X(740, 13, XmlRemoveChild, int32_t, (KX_Element parent, KX_Element child))                       \
  X(740, 14, XmlGetAttribute, int32_t, (KX_Element element, const char* name, KS_ByteString out))  \
  X(740, 15, XmlSetAttribute, int32_t, (KX_Element element, const char* name, const char* value))  \
  X(740, 16, XmlRemoveAttribute, int32_t, (KX_Element element, const char* name))                  \
  X(740, 17, XmlAttributeCount, int32_t, (KX_Element element))                                     \
  X(740, 18, XmlAttributeAt, int32_t, (KX_Element element, int32_t index, KS_ByteString name, KS_ByteString value)) \
  X(740, 19, XmlGetText, int32_t, (KX_Element element, KS_ByteString out))                         \
  X(740, 20, XmlSetText, int32_t, (KX_Element element, const char* text))                          \
  X(740, 21, XmlAppendText, int32_t, (KX_Element parent, const char* text))                        \
  X(740, 22, XmlChildCount, int32_t, (KX_Element element))                                         \
  /* mixed content: the element and text children of an element in document order. A text   \
     node's handle is accepted only by XmlNextNode and XmlNodeText */                             \
  X(740, 23, XmlFirstNode, KX_Element, (KX_Element element))                                       \
  X(740, 24, XmlNextNode, KX_Element, (KX_Element node))                                           \
  /* 1 for an element, 2 for a text node (its text into out), 0 for null */                      \
  X(740, 25, XmlNodeText, int32_t, (KX_Element node, KS_ByteString out))                           \
  /* 265: preferences */                                                                           \
  X(265, 0, PrefGetInt, int32_t, (const char16_t* section, const char16_t* key, int32_t fallback)) \
  X(265, 1, PrefSetInt, int32_t, (const char16_t* section, const char16_t* key, int32_t value))    \
  X(265, 2, PrefGetText, int32_t, (const char16_t* section, const char16_t* key, KS_WideString out)) \
  X(265, 3, PrefSetText, int32_t, (const char16_t* section, const char16_t* key, const char16_t* value)) \
  X(265, 4, PrefRemove, int32_t, (const char16_t* section, const char16_t* key))                   \
  /* 266: rectangles */                                                                            \
  X(266, 0, RectFromObject, int32_t, (KPD_Object array, KS_FloatRect* out))                        \
  X(266, 1, RectToObject, KPD_Array, (const KS_FloatRect* rect))                                   \
  X(266, 2, RectNormalize, void, (KS_FloatRect* rect))                                             \
  X(266, 3, RectUnion, void, (const KS_FloatRect* a, const KS_FloatRect* b, KS_FloatRect* out))    \
  X(266, 4, RectContainsPoint, int32_t, (const KS_FloatRect* rect, float x, float y))            \
  /* 812: what the ink eraser asks of the editor */                                               \
  /* the cursor shown over page views: a name ("circle", "resource:4948") and a size in pixels */ \
  X(812, 0, AppSetCursor, int32_t, (const char* name, int32_t size))                              \
  /* a device that draws straight onto the page view's window, over what was painted; the */       \
  /* next paint of the page wipes it. Borrowed, valid until the event returns */                   \
  X(812, 1, PageViewGetWindowDevice, KA_Device, (KA_PageView view))                               \
  /* a short message over the main window that hides itself; empty text hides it at once */       \
  X(812, 2, AppShowMessageTip, int32_t, (const char16_t* text))                                   \
  /* the topmost annotation of a subtype under a device point of the view, or null */            \
  X(812, 3, PageViewHitTestAnnot, KA_Annot, (KA_PageView view, KS_DevicePoint pt, const char* subtype)) \
  /* whether the annotation is locked (/F bit 8) and whether its document is read only */         \
  X(812, 4, AnnotIsLocked, int32_t, (KA_Annot annot))                                             \
  X(812, 5, AnnotIsReadOnly, int32_t, (KA_Annot annot))                                           \
  /* whether the document's permissions allow changing the annotation (flags 0: content) */      \
  X(812, 6, AnnotIsModifiable, int32_t, (KA_Annot annot, int32_t flags))                           \
  /* 813: the strokes of ink annotations as flat buffers, and the open documents */            \
  /* what /InkList (and "PSI") hold: counts and the first problem found; 1 when readable */      \
  X(813, 0, InkGetInfo, int32_t, (KPD_Dictionary ink, KS_InkInfo* out))                            \
  /* the strokes: coordinates per stroke into `coordCounts` (strokes entries), x y pairs into */  \
  /* `xy` (coordCount floats), the pressure of every point into `pressure` (coordCount / 2, */    \
  /* may be null); sizes as InkGetInfo gave them. 1 on success, `out` untouched otherwise */      \
  X(813, 1, InkGetStrokes, int32_t, (KPD_Dictionary ink, int32_t* coordCounts, int32_t strokes, float* xy, int64_t coordCount, float* pressure)) \
  /* replaces /InkList with the strokes (and "PSI" with one pressure array per stroke when */    \
  /* `pressure` is given). 0, writing nothing, for an odd or negative count, a number that is */ \
  /* not finite, or a document that refuses the change */                                       \
  X(813, 2, InkSetStrokes, int32_t, (KPD_Dictionary ink, const int32_t* coordCounts, int32_t strokes, const float* xy, const float* pressure)) \
  X(813, 3, AppDocumentCount, int32_t, (void))                                                     \
  X(813, 4, AppGetDocument, KA_Document, (int32_t index))                                          \
  /* the plug-in changed a page's content or annotations: the document is modified and */       \
  /* document listeners hear of the page */                                                      \
  X(813, 5, AppDocNotifyPageChanged, int32_t, (KA_Document doc, int32_t pageIndex))               \
  /* keeps pieces of the present strokes: `runs` holds triples (stroke, first point, points); */ \
  /* /InkList (and a per-point "PSI") become those pieces in order, their numbers shared. 0, */  \
  /* changing nothing, for a piece outside its stroke or of no points */                         \
  X(813, 6, InkKeepRuns, int32_t, (KPD_Dictionary ink, const int32_t* runs, int32_t runCount))     \
  /* 903: stream data written in place. A buffer is memory the host lends for the data of a */  \
  /* stream: the caller writes into it and hands it over whole, so that megabytes of content */   \
  /* are not copied again. `capacity` bytes, not initialised; null when they cannot be had */     \
  X(903, 0, StreamBufferNew, char*, (size_t capacity))                                            \
  /* the buffer at a new capacity, its first bytes kept (it may move); null, the old buffer */    \
  /* still valid, when that cannot be or `buffer` is not one the host lent */                      \
  X(903, 1, StreamBufferResize, char*, (char* buffer, size_t capacity))                           \
  /* gives back a buffer that was not handed over */                                               \
  X(903, 2, StreamBufferFree, void, (char* buffer))                                               \
  /* a new stream of the document whose data are the first `length` bytes of `buffer`, taken */   \
  /* over without a copy (unfiltered; compressed on save). The buffer is the host's from then */   \
  /* on, also when the call fails */                                                               \
  X(903, 3, DocNewStreamFromBuffer, KPD_Stream, (KPD_Document doc, char* buffer, size_t length))  \
  /* the same as the new data of an existing stream; 1 on success */                              \
  X(903, 4, StreamSetDataFromBuffer, int32_t, (KPD_Stream stream, char* buffer, size_t length))   \
  /* 342: side panels of plug-ins, by name; the record is copied */                               \
  X(342, 0, PanelRegister, int32_t, (const char* name, const KS_PanelCallbacks* record))           \
  X(342, 1, PanelUnregister, int32_t, (const char* name))                                          \
  X(342, 2, PanelShow, int32_t, (const char* name))                                               \
  /* 904: an annotation's own appearance drawn anywhere, and what side panels paint */          \
  /* draws the normal appearance of an annotation dictionary (the state /AS names when /N holds */ \
  /* several) onto the device: its form fitted to /Rect as on a page, then `pageToDevice`; */   \
  /* paths in their stroke and fill colours, images as their outline, text not at all. 1 when */ \
  /* the form was drawn, 0 when there is none (no /AP, a name where the stream should be, no */  \
  /* usable /BBox or /Rect) */                                                                   \
  X(904, 0, DeviceDrawAppearance, int32_t, (KA_Device device, KPD_Dictionary annot, const KS_Matrix* pageToDevice)) \
  /* the device a side panel paints itself on (panel pixels); its items go to the trace as */  \
  /* the panel's "draw:" rows after the panel's command and are then dropped. Borrowed; null */ \
  /* for a panel that is not registered */                                                      \
  X(904, 1, PanelGetDevice, KA_Device, (const char* name))                                         \
  /* 481: the host's own plug-ins ("VenkoInnerPluginDocProcess", "VenkoInnerPluginSignature"): */ \
  /* registering one publishes its function table (ks_records.h) */                                \
  X(481, 0, AppIsInnerPluginRegistered, int32_t, (const char* name))                               \
  X(481, 1, AppRegisterInnerPlugin, int32_t, (const char* name))                                   \
  /* the 0-based page the document's view shows; -1 without a document */                         \
  X(481, 2, AppDocGetActivePage, int32_t, (KA_Document doc))                                      \
  /* 902: the context menu of a selected annotation, which its handler fills (KS_AH_MENU_ITEMS). */ \
  /* Adds an item: `itemId` names it to the handler and scripts, `text` is what the user reads. */ \
  /* 0, adding nothing, for a null menu, an empty id or an id the menu already has */             \
  X(902, 0, MenuAddItem, int32_t, (KA_Menu menu, const char* itemId, const char16_t* text))         \
  X(902, 1, MenuItemCount, int32_t, (KA_Menu menu))                                                  \
  /* 905: the system's shell. Shows the folder or file `path` in the system's file browser; */    \
  /* a headless host opens nothing and notes "shell open: PATH" in the trace. 0 when nothing */  \
  /* is at `path` */                                                                               \
  X(905, 0, AppShellOpen, int32_t, (const char16_t* path))                                          \
  /* 910: the text of a page as the host reads it, glyph by glyph in reading order (a space */    \
  /* between words is no glyph). Returns how many glyphs the page has and writes the first */    \
  /* `capacity` of them to `out` (null with 0 counts them only); -1 when the page cannot be */   \
  /* read */                                                                                       \
  X(910, 0, PageGetTextGlyphs, int32_t, (KPD_Document doc, int32_t pageIndex, KS_TextGlyph* out, int32_t capacity))
// clang-format on
