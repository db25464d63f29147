// Records exchanged between the host and a plug-in. Each starts with a size
// word; their sizes are part of the host ABI and are checked below.
#pragma once

#include "ks_types.h"

#ifdef __cplusplus
extern "C" {
#endif

// The core table manager: the one operation a plug-in uses is GetEntry, which
// maps (selector, index, plug-in id) to a host function, or null.
typedef void* (*KS_GetEntryProc)(KS_CoreHFT core, int32_t selector, int32_t index, KS_PluginID id);
struct KS_CoreHFTRec {
  uint32_t size;
  KS_GetEntryProc GetEntry;
};

typedef int32_t (*KS_BoolProc)(void);

// ---- start-up records ------------------------------------------------------

typedef struct KS_HandshakeRecord KS_HandshakeRecord;
typedef struct KS_RegistrationRecord KS_RegistrationRecord;
typedef struct KS_FrameEventRecord KS_FrameEventRecord;

typedef int32_t (*KS_HandshakeProc)(uint32_t version, KS_HandshakeRecord* record);
typedef int32_t (*KS_RegistrationProc)(uint32_t version, KS_RegistrationRecord* record);

// Operations are used by position; 0 and 1 are the size word and the host's
// own data, 6 is reserved.
struct KS_HandshakeRecord {
  uint64_t size;
  void* hostData;
  void (*SetRegistrationProc)(KS_HandshakeRecord* self, KS_RegistrationProc proc);  // 2
  KS_CoreHFT (*GetCoreHFT)(KS_HandshakeRecord* self);                              // 3
  KS_PluginID (*GetPluginID)(KS_HandshakeRecord* self);                            // 4
  void (*SetValue32)(KS_HandshakeRecord* self, uint32_t value);                     // 5
  void* reserved6;                                                                  // 6
  void (*SetVersionString)(KS_HandshakeRecord* self, const char* version);          // 7
};

struct KS_RegistrationRecord {
  uint64_t size;
  void* hostData;
  void* reserved2;
  void (*SetNames)(KS_RegistrationRecord* self, const char* internalName,
                   const char16_t* displayName);                               // 3
  void (*SetExportProc)(KS_RegistrationRecord* self, KS_BoolProc proc);         // 4
  void (*SetImportProc)(KS_RegistrationRecord* self, KS_BoolProc proc);         // 5
  void (*SetInitProc)(KS_RegistrationRecord* self, KS_BoolProc proc);           // 6
  void (*SetFrameEvents)(KS_RegistrationRecord* self, const KS_FrameEventRecord* events);  // 7
  void (*SetUnloadProc)(KS_RegistrationRecord* self, KS_BoolProc proc);         // 8
};

typedef void (*KS_FrameEventProc)(KA_Frame frame);

// Positions 1 to 9 of the record are the nine callbacks; 5 is "main frame
// created" and 8 "main frame closing". The host copies the record.
struct KS_FrameEventRecord {
  uint64_t size;
  KS_FrameEventProc callbacks[9];
};
#define KS_FRAME_EVENT_CREATED 5
#define KS_FRAME_EVENT_CLOSING 8

// Exported by every plug-in: fills the interface version and the handshake
// function, returns 1.
typedef int32_t (*KS_PlugInMainProc)(uint32_t* version, KS_HandshakeProc* handshake);
typedef const char* (*KS_SDKVersionProc)(void);

// ---- tool callbacks ----------------------------------------------------------

// Positions 2 to 31 after the size word and the client data; the host calls
// each with the client data first. Position 19 is unused.
typedef struct KS_ToolCallbacks {
  uint64_t size;
  void* clientData;
  int32_t (*IsEnabled)(void* cd);                                                  // 2
  int32_t (*Notify)(void* cd);                                                     // 3
  void (*Activate)(void* cd, int32_t persistent);                                  // 4
  void (*Deactivate)(void* cd);                                                    // 5
  int32_t (*KeyDown)(void* cd, int32_t key, uint32_t flags);                       // 6
  int32_t (*KeyUp)(void* cd, int32_t key, uint32_t flags);                         // 7
  int32_t (*Char)(void* cd, int32_t key, uint32_t flags);                          // 8
  int32_t (*Query9)(void* cd, intptr_t a, intptr_t b);                             // 9
  int32_t (*IsUsable)(void* cd);                                                   // 10
  int32_t (*LButtonDown)(void* cd, KA_PageView view, uint32_t flags, KS_DevicePoint pt);  // 11
  int32_t (*LButtonUp)(void* cd, KA_PageView view, uint32_t flags, KS_DevicePoint pt);    // 12
  int32_t (*LButtonDblClk)(void* cd, KA_PageView view, uint32_t flags, KS_DevicePoint pt);  // 13
  int32_t (*MouseMove)(void* cd, KA_PageView view, uint32_t flags, KS_DevicePoint pt);    // 14
  int32_t (*RButtonDown)(void* cd, KA_PageView view, uint32_t flags, KS_DevicePoint pt);  // 15
  int32_t (*RButtonUp)(void* cd, KA_PageView view, uint32_t flags, KS_DevicePoint pt);    // 16
  int32_t (*RButtonDblClk)(void* cd, KA_PageView view, uint32_t flags, KS_DevicePoint pt);  // 17
  int32_t (*MouseWheel)(void* cd, KA_PageView view, uint32_t flags, int16_t delta,
                        KS_DevicePoint pt);                                        // 18
  void* unused19;                                                                  // 19
  int32_t (*IsBusy)(void* cd);                                                     // 20
  int32_t (*PointerEvent)(void* cd, intptr_t value, KS_DevicePoint pt);            // 21
  int32_t (*Query22)(void* cd);                                                    // 22
  void (*Paint)(void* cd, KA_PageView view, KA_Device device, intptr_t value,
                uint32_t flags);                                                   // 23
  int32_t (*Query24)(void* cd, intptr_t a, intptr_t b);                            // 24
  int32_t (*Query25)(void* cd, intptr_t a, intptr_t b);                            // 25
  int32_t (*Query26)(void* cd, intptr_t a, intptr_t b);                            // 26
  void (*Notify27)(void* cd, intptr_t a, intptr_t b);                              // 27
  void (*Notify28)(void* cd, intptr_t a, intptr_t b);                              // 28
  int32_t (*Query29)(void* cd, intptr_t a, intptr_t b);                            // 29
  int32_t (*Query30)(void* cd, intptr_t a, intptr_t b);                            // 30
  int32_t (*GetAnchor)(void* cd, KS_DevicePoint* out);                             // 31
} KS_ToolCallbacks;

// Modifier flags of mouse and key events.
#define KS_FLAG_SHIFT 0x4u
#define KS_FLAG_CTRL 0x8u

// ---- ribbon -------------------------------------------------------------------

enum KS_RibbonControlKind {
  KS_RIBBON_BUTTON = 0,         // presses run its procedure
  KS_RIBBON_MENU_BUTTON = 1,    // holds item controls
  KS_RIBBON_PARENT_BUTTON = 2,  // holds buttons shown under it
  KS_RIBBON_CHECK_BUTTON = 3,
  KS_RIBBON_SLIDER = 4          // an integer in a range; presses run its procedure
};

typedef void (*KS_RibbonPressProc)(void* clientData, KA_RibbonElement control);

// ---- records whose callback positions later parts of the plug-in fill ------

// Annotation handler: size word 560, client data, then 68 callback positions;
// position N (counted in 8-byte words from the start) is positions[N - 2].
// The editor asks the handler registered for an annotation's type about that
// annotation through the positions below, always with the client data first;
// a null position means the editor's own default.
typedef struct KS_AnnotHandlerCallbacks {
  uint64_t size;
  void* clientData;
  void* positions[68];
} KS_AnnotHandlerCallbacks;
// Position `n` of a record whose callbacks follow the size word and the
// client data (annotation handler, annotation object, document events).
#define KS_RECORD_POSITION(record, n) ((record).positions[(n) - 2])

#define KS_AH_IS_SELECTABLE 4     // KS_AHObjectProc: may the annotation be selected now
#define KS_AH_ACCEPTS_TOOL 5      // KS_AHTextProc: whether the handler edits for the named tool
#define KS_AH_TEXT_QUERY 6        // KS_AHTextProc: the editor's own questions about a
#define KS_AH_TEXT_QUERY_NEXT 7   //   text, at two positions
#define KS_AH_TEXT_OUT 8          // KS_AHTextOutProc: texts the editor asks the handler
#define KS_AH_TEXT_OUT_NEXT 9     //   for, at two positions
#define KS_AH_CREATE_OBJECT 10    // KS_AHCreateObjectProc
#define KS_AH_BBOX 12             // KS_AHBBoxProc
#define KS_AH_HIT_TEST 13         // KS_AHHitTestProc
#define KS_AH_DRAW 14             // KS_AHDrawProc
#define KS_AH_MOVE 37             // KS_AHRectsProc: whole annotation dragged
#define KS_AH_HANDLE_AT 39        // KS_AHHandleAtProc
#define KS_AH_RESIZE 40           // KS_AHRectsProc: a frame handle dragged
#define KS_AH_MOVE_POINT 41       // KS_AHMovePointProc: a vertex handle dragged
#define KS_AH_OBJECT_NOTICE 42    // KS_AHObjectProc: a notice about the annotation; answer 0
#define KS_AH_ROTATE 43           // KS_AHRotateProc
#define KS_AH_COMMAND_ENABLED 44  // KS_AHCommandProc
#define KS_AH_DEFAULT_RECT 51     // KS_AHValuesRectProc: two editor values and a rectangle
#define KS_AH_WIDE_TEXT_OUT 53    // KS_AHWideTextOutProc: a text the editor asks for
#define KS_AH_OBJECT_NOTICE_NEXT 60  // KS_AHObjectProc: as KS_AH_OBJECT_NOTICE
#define KS_AH_VALUES_NOTICE 62    // KS_AHValuesProc: two editor values; answer 0
#define KS_AH_VALUES_QUERY 63     // KS_AHValuesProc: two editor values; 1 for yes
#define KS_AH_EMPTY_RECT 65       // KS_AHRectOutProc: a rectangle the editor asks for
#define KS_AH_SET_POINT 69        // KS_AHSetPointProc
// Positions 11, 16, 17 and 20 to 36 carry the editor's own questions and
// notices about one annotation (a behaviour object, after an editor value
// at 20 and 21, before further values elsewhere); a handler that keeps
// them answers each as the editor's default handling does.

typedef int32_t (*KS_AHObjectProc)(void* cd, KA_AnnotObject obj);
typedef int32_t (*KS_AHTextProc)(void* cd, KS_ByteString text);
typedef void (*KS_AHTextOutProc)(void* cd, KS_ByteString out);
typedef int32_t (*KS_AHWideTextOutProc)(void* cd, KS_WideString out);
typedef intptr_t (*KS_AHValuesRectProc)(void* cd, intptr_t a, intptr_t b, const KS_FloatRect* rect);
typedef int32_t (*KS_AHValuesProc)(void* cd, intptr_t a, intptr_t b);
typedef int32_t (*KS_AHRectOutProc)(void* cd, KS_FloatRect* out);

// Makes the behaviour object of an annotation the editor meets for the first
// time (null: the editor manages the annotation itself).
typedef KA_AnnotObject (*KS_AHCreateObjectProc)(void* cd, KA_Annot annot, intptr_t value);
// The annotation's box in device pixels of the view; 0 when there is none.
typedef int32_t (*KS_AHBBoxProc)(void* cd, KA_PageView view, KA_AnnotObject obj, KS_DeviceRect* out);
typedef int32_t (*KS_AHHitTestProc)(void* cd, KA_PageView view, KA_AnnotObject obj, KS_DevicePoint pt);
typedef void (*KS_AHDrawProc)(void* cd, KA_PageView view, KA_Device device, KA_AnnotObject obj, intptr_t flags);
// A drag from the old to the new device rectangle; 1 when the annotation changed.
typedef int32_t (*KS_AHRectsProc)(void* cd, KA_PageView view, KA_AnnotObject obj, const KS_DeviceRect* oldRect,
                                  const KS_DeviceRect* newRect);
// Which handle of the selected annotation lies under the device point (see
// KS_HANDLE_*), given the annotation's device rectangle.
typedef int32_t (*KS_AHHandleAtProc)(void* cd, KA_PageView view, KA_AnnotObject obj, const KS_DeviceRect* rect,
                                     KS_DevicePoint pt, int32_t flags);
// Vertex `index` (end points of a line: 0 and 1) dragged to a device point.
typedef int32_t (*KS_AHMovePointProc)(void* cd, KA_PageView view, KA_AnnotObject obj, int32_t index,
                                      KS_DevicePoint pt);
// Turns the annotation by `degrees` (counter-clockwise on the page) about the
// centre of its rectangle.
typedef int32_t (*KS_AHRotateProc)(void* cd, KA_PageView view, KA_AnnotObject obj, int32_t degrees);
typedef int32_t (*KS_AHCommandProc)(void* cd, KA_Document doc, int32_t command);
// Moves the geometry point nearest to a page point onto it.
typedef int32_t (*KS_AHSetPointProc)(void* cd, KA_AnnotObject obj, KS_FloatPoint pt);

// Answers of KS_AH_HANDLE_AT and the handle argument of the default editing.
#define KS_HANDLE_NONE (-1)  // outside the annotation
#define KS_HANDLE_BODY 0     // inside: the drag moves the whole annotation
// 1 to 8: frame handles, clockwise from the top-left corner (1 top-left,
// 2 top, 3 top-right, 4 right, 5 bottom-right, 6 bottom, 7 bottom-left,
// 8 left); the drag resizes.
#define KS_HANDLE_VERTEX 100  // 100 + i: vertex i; the drag moves that point

// Host commands on the selection, asked of KS_AH_COMMAND_ENABLED first.
#define KS_COMMAND_DELETE 1
#define KS_COMMAND_ROTATE_LEFT 4   // 90 degrees counter-clockwise
#define KS_COMMAND_ROTATE_RIGHT 5  // 90 degrees clockwise
#define KS_COMMAND_SET_DEFAULT 8   // make the properties the kind's default
#define KS_COMMAND_FLATTEN 10      // draw into the page content and remove

// Arguments of the editor's default annotation handling
// (AnnotHandlerDefault); which fields an index reads is given beside it.
typedef struct KS_AnnotCallArgs {
  uint64_t size;  // sizeof(KS_AnnotCallArgs)
  KA_PageView view;
  KA_Device device;
  KA_AnnotObject object;
  KA_Document document;
  KS_DeviceRect rect1;
  KS_DeviceRect rect2;
  KS_DevicePoint point;
  KS_FloatPoint pagePoint;
  intptr_t values[4];
  KS_DeviceRect* outRect;
} KS_AnnotCallArgs;

#define KS_AHD_MOVE 23        // view, object, rect1 old, rect2 new; with values[1] set,
                              // pagePoint is the displacement in page space (a snapped
                              // drag), which the rectangles' rounding would lose
#define KS_AHD_MOVE_POINT 25  // view, object, values[0] vertex index, point; with
                              // values[1] set, pagePoint is where the vertex goes
#define KS_AHD_ROTATE 26      // view, object, values[0] degrees
#define KS_AHD_HANDLE_AT 27   // view, object, rect1, point, values[0] flags
#define KS_AHD_RESIZE 28      // view, object, rect1 old, rect2 new, values[0] handle

// Annotation behaviour object: size word 464, client data, 56 positions
// (position N is positions[N - 2]). The editor calls them with the client
// data first.
typedef struct KS_AnnotObjectCallbacks {
  uint64_t size;
  void* clientData;
  void* positions[56];
} KS_AnnotObjectCallbacks;

#define KS_AO_RELEASE 4           // void (*)(void* cd): the editor drops the object
#define KS_AO_TYPE_NAME 6         // void (*)(void* cd, KS_ByteString out)
#define KS_AO_TYPE_NAME2 7        // void (*)(void* cd, KS_ByteString out)
#define KS_AO_CENTER 16           // void (*)(void* cd, KS_FloatPoint* out)
#define KS_AO_QUERY 17            // int32_t (*)(void* cd): the editor's own question; 1 for yes
#define KS_AO_BOX_CENTER 18       // void (*)(void* cd, KS_FloatPoint* out): from the box's size
#define KS_AO_RECT 19             // int32_t (*)(void* cd, int32_t rotatedFrame, KS_FloatRect* out)
#define KS_AO_REGENERATE 34       // int32_t (*)(void* cd): rebuild the appearance
#define KS_AO_SHAPE_ID 35         // int32_t (*)(void* cd)
#define KS_AO_SHAPE_GROUP 36      // int32_t (*)(void* cd)
#define KS_AO_SHAPE_QUERY 37      // int32_t (*)(void* cd): the editor's own question; 0 for none
#define KS_AO_ANCHOR 38           // int32_t (*)(void* cd, KS_FloatPoint* out)
#define KS_AO_NOTICE 39           // void (*)(void* cd): the editor's own notice
#define KS_AO_QUERY_NEXT 40       // int32_t (*)(void* cd): as KS_AO_QUERY
#define KS_AO_PREF_SECTION 41     // int32_t (*)(void* cd, KS_WideString out): section of the kind's defaults
#define KS_AO_SET_LINE_ENDINGS 42 // int32_t (*)(void* cd, int32_t start, int32_t end)
#define KS_AO_SET_OPACITY 43      // int32_t (*)(void* cd, float opacity)
#define KS_AO_WRITE_DEFAULTS 44   // int32_t (*)(void* cd): the kind's defaults from this annotation
#define KS_AO_READ_DEFAULTS 45    // int32_t (*)(void* cd): the kind's defaults given to it
#define KS_AO_SET_INTERIOR 53     // void (*)(void* cd, KS_ColorRef color, int32_t none)
#define KS_AO_SET_BOOL 54         // void (*)(void* cd, int32_t value)
#define KS_AO_GET_BOOL 55         // int32_t (*)(void* cd, int32_t* out)
#define KS_AO_SET_COLOR 57        // void (*)(void* cd, KS_ColorRef color)

// Document events: size word 784, client data, 96 positions; positions[i]
// is position i + 2. The host calls the positions below; the rest are null.
#define KS_DOCEVENT_OPENED 2        // void (*)(void* cd, KA_Document doc)
#define KS_DOCEVENT_WILL_CLOSE 3    // void (*)(void* cd, KA_Document doc)
#define KS_DOCEVENT_CLOSED 4        // void (*)(void* cd, KA_Document doc), doc no longer valid
#define KS_DOCEVENT_WILL_SAVE 5     // void (*)(void* cd, KA_Document doc)
#define KS_DOCEVENT_SAVED 6         // void (*)(void* cd, KA_Document doc)
#define KS_DOCEVENT_ACTIVATED 7     // void (*)(void* cd, KA_Document doc)
#define KS_DOCEVENT_PAGE_CHANGED 8  // void (*)(void* cd, KA_Document doc, int32_t page)
#define KS_DOCEVENT_CAN_CLOSE 9     // int32_t (*)(void* cd, KA_Document doc)
typedef void (*KS_DocEventProc)(void* cd, KA_Document doc);
typedef void (*KS_DocPageEventProc)(void* cd, KA_Document doc, int32_t page);
typedef int32_t (*KS_DocQueryProc)(void* cd, KA_Document doc);
typedef struct KS_DocEventCallbacks {
  uint64_t size;
  void* clientData;
  void* positions[96];
} KS_DocEventCallbacks;

// What the strokes of an ink annotation hold, and the first thing wrong
// with them. `problemStroke` is the stroke at fault (-1 for none).
enum KS_InkProblem {
  KS_INK_OK = 0,
  KS_INK_NO_LIST = 1,           // /InkList is missing or not an array
  KS_INK_STROKE_NOT_ARRAY = 2,
  KS_INK_NOT_A_NUMBER = 3,
  KS_INK_ODD_COUNT = 4,
  KS_INK_NOT_FINITE = 5,
  KS_INK_PRESSURE_STROKES = 6,  // "PSI" has another number of strokes
  KS_INK_PRESSURE_POINTS = 7,   // a "PSI" stroke does not match its points
  KS_INK_TOO_LONG = 8           // more points than a buffer can hold
};
typedef struct KS_InkInfo {
  uint64_t size;
  int32_t strokes;
  int32_t pressure;  // 0 no "PSI", 1 "PSI" but not per point, 2 a pressure per point
  int64_t coords;    // numbers of all strokes together (two per point)
  int32_t problem;   // a KS_InkProblem
  int32_t problemStroke;
} KS_InkInfo;

// Undo item handed to the host's undo stack of a document.
typedef struct KS_UndoRecord {
  uint64_t size;
  void* clientData;
  void (*Undo)(void* cd);
  void (*Redo)(void* cd);
  void (*Release)(void* cd);
} KS_UndoRecord;

// A side panel of the host that scripts drive by name: `Command` gets the
// words after the panel's name, `Describe` writes one line a panel row
// (lines separated by '\n') for traces. Both answer 1 on success.
typedef struct KS_PanelCallbacks {
  uint64_t size;
  void* clientData;
  int32_t (*Command)(void* cd, int32_t argc, const char* const* argv, KS_ByteString error);
  int32_t (*Describe)(void* cd, KS_ByteString out);
} KS_PanelCallbacks;

// The style of one run of laid-out text. `family` is a font family
// ("Helvetica", "Times", "Courier", "Arial", a system family name); a
// character the family cannot draw is drawn with a font that can.
// Decorations are drawn in the run's colour; `baselineShift` raises the
// run (superscript > 0, subscript < 0) in points; `hasColor` 0 keeps the
// fill colour the caller set before the text.
typedef struct KS_TextRunStyle {
  uint64_t size;
  const char* family;
  float fontSize;
  int32_t bold;
  int32_t italic;
  int32_t underline;
  int32_t strike;
  float baselineShift;
  int32_t hasColor;
  float color[3];
  float charSpacing;
  /* the alignment of a paragraph that starts in this run: 0 the one
     TextLayoutArrange is given, 1 left, 2 centre, 3 right, 4 justify. Read
     only when `size` reaches it. */
  int32_t paragraphAlign;
} KS_TextRunStyle;

// The document-processing table the host publishes once
// "VenkoInnerPluginDocProcess" is registered (AppRegisterInnerPlugin):
// page-range text such as "1,5-9,12" checked and read for a document.
// Page numbers count from 1; blanks around numbers are allowed; a range is
// "A-B" with A <= B; one trailing comma is allowed.
#define KS_DOCPROCESS_HFT_NAME "VenkoDocProcess extension HFT"
#define KS_DOCPROCESS_HFT_VERSION 1
#define KS_DOCPROCESS_INNER_PLUGIN "VenkoInnerPluginDocProcess"
// Page-range errors, as entry 8 answers them.
#define KS_PAGERANGE_OK 0
#define KS_PAGERANGE_EMPTY 1      /* nothing but blanks */
#define KS_PAGERANGE_INPUT 2      /* not numbers and ranges separated by commas */
#define KS_PAGERANGE_NOPAGE 3     /* a page below 1 or above the page count */
#define KS_PAGERANGE_SAMEPAGE 4   /* a page named twice */
// Entry 8: the error of `text` for a document of `pageCount` pages.
typedef int32_t (*KS_DocProcessCheckRangeProc)(KA_Document doc, KS_WideString text, int32_t pageCount);
// Entry 1: the translation key (table "Globalwnd" or "PageOrganizer") of
// the message for an error; false for KS_PAGERANGE_OK or an unknown code.
typedef int32_t (*KS_DocProcessRangeMessageProc)(KA_Document doc, int32_t error, KS_WideString out);
// Entry 2: how many pages of `doc` the text names; -1 when it is not valid.
typedef int32_t (*KS_DocProcessRangeCountProc)(KA_Document doc, KS_WideString text);
// Entry 3: the 0-based index of the page at `position` (0-based, in the
// order the text names them) of a valid text; -1 beyond the last.
typedef int32_t (*KS_DocProcessRangePageProc)(KA_Document doc, KS_WideString text, int32_t position);

// The signature table the host publishes once "VenkoInnerPluginSignature"
// is registered. Entry 0: whether any signature field of the document
// holds a signature value.
#define KS_SIGNATURE_HFT_NAME "VenkoSignature extension HFT"
#define KS_SIGNATURE_HFT_VERSION 1
#define KS_SIGNATURE_INNER_PLUGIN "VenkoInnerPluginSignature"
typedef int32_t (*KS_SignatureIsSignedProc)(KA_Document doc);

// Document events of the contextual tabs: the selection of the document
// changed (selected, deselected, or the focused annotation moved), at
// position 10 of KS_DocEventCallbacks.
#define KS_DOCEVENT_SELECTION_CHANGED 10  // void (*)(void* cd, KA_Document doc)

// ---- context menus of annotations -------------------------------------------

// The menu the editor shows for a selected annotation; the handler adds its
// items to it (MenuAddItem) while the editor asks, and never keeps it.
KS_DECLARE_HANDLE(KA_Menu);
// Annotation handler positions of the menu: the handler adds its items for
// the annotation, then runs the item the user chose (1 when it did).
#define KS_AH_MENU_ITEMS 45  // KS_AHMenuItemsProc
#define KS_AH_MENU_RUN 46    // KS_AHMenuRunProc
typedef void (*KS_AHMenuItemsProc)(void* cd, KA_PageView view, KA_AnnotObject obj, KA_Menu menu);
typedef int32_t (*KS_AHMenuRunProc)(void* cd, KA_PageView view, KA_AnnotObject obj, const char* itemId);

// ---- moving to another page and setting properties ---------------------------

// Moves the annotation from its page to page `pageIndex` (0-based), at the
// end of that page's /Annots, with its pop-up; it keeps its coordinates.
// The handler records the move for undo; 1 when it moved. The editor then
// keeps it on a smaller page through KS_AH_MOVE, or KS_AH_RESIZE when it
// is larger than the page, in the same undo step.
#define KS_AH_MOVE_TO_PAGE 47  // KS_AHMoveToPageProc
typedef int32_t (*KS_AHMoveToPageProc)(void* cd, KA_AnnotObject obj, int32_t pageIndex);

// Properties of an annotation a person sets in a properties panel, each
// written through the annotation's own setters as one undo item.
enum KS_AnnotProperty {
  KS_PROP_COLOR = 1,        // rgb, or none
  KS_PROP_FILL = 2,         // rgb, or none (the interior colour)
  KS_PROP_WIDTH = 3,        // number: the border width in points, 0 to 100
  KS_PROP_DASH = 4,         // number: 0 solid, else dashes and gaps of that length
  KS_PROP_OPACITY = 5,      // number: 0 to 1
  KS_PROP_LINE_START = 6,   // number: a line ending code, 0 "None" to 9 "Slash"
  KS_PROP_LINE_END = 7,     // number: as KS_PROP_LINE_START
  KS_PROP_SUBJECT = 8,      // text
  KS_PROP_LABEL = 9,        // text: a measurement's label
  KS_PROP_CONTENTS = 10,    // text: a comment's own text (/Contents)
  KS_PROP_FONT_SIZE = 11,   // number: the size of a text's letters in points, 1 to 100
  KS_PROP_FONT_COLOR = 12   // rgb: the colour of a text's letters
};
typedef struct KS_AnnotPropertyValue {
  uint64_t size;  // sizeof(KS_AnnotPropertyValue)
  int32_t property;
  int32_t none;
  float rgb[3];
  float number;
  const char16_t* text;  // zero-terminated; null reads as empty
} KS_AnnotPropertyValue;
// Sets one property; 1 when the annotation changed.
#define KS_AH_SET_PROPERTY 48  // KS_AHSetPropertyProc
typedef int32_t (*KS_AHSetPropertyProc)(void* cd, KA_AnnotObject obj, const KS_AnnotPropertyValue* value);
// Reads the property `value->property` as a panel shows it: 1 when the
// annotation's kind offers it, with `rgb`, `none` and `number` filled in
// (a text property's value is read from the dictionary where `text` stays
// null; a handler may give the text shown instead, valid until its next
// read); 0 when the kind has no such property. Without this position the
// panel reads the dictionary and offers every property.
#define KS_AH_GET_PROPERTY 50  // KS_AHGetPropertyProc
typedef int32_t (*KS_AHGetPropertyProc)(void* cd, KA_AnnotObject obj, KS_AnnotPropertyValue* value);

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(KS_FrameEventRecord) == 80, "frame event record is 80 bytes");
static_assert(sizeof(KS_ToolCallbacks) == 256, "tool callback record is 256 bytes");
static_assert(sizeof(KS_AnnotHandlerCallbacks) == 560, "annotation handler record is 560 bytes");
static_assert(sizeof(KS_AnnotObjectCallbacks) == 464, "annotation object record is 464 bytes");
static_assert(sizeof(KS_DocEventCallbacks) == 784, "document event record is 784 bytes");
static_assert(sizeof(KS_UndoRecord) == 40, "undo record is 40 bytes");
#endif
