// A stand-in for the editor's interactive side in the drawing tests: host
// annotations, selection and focus, page-to-device rectangles, a recording
// device, behaviour objects, undo groups and a default move. Every other
// host function is the real host's.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/core_hft.h"
#include "host/editor.h"
#include "host/host_functions.h"

namespace AnnotationPlugin::edittest {

struct FakeAnnot {
  KA_Document doc = nullptr;
  KPD_Dictionary dict = nullptr;
  int page = 0;
  KA_AnnotObject object = nullptr;
  bool gone = false;
};

struct FakeObject {
  KS_AnnotObjectCallbacks record{};
  KA_Annot annot = nullptr;
  int appearanceChanged = 0;
};

struct FakePen {
  KS_ColorRef color;
  int32_t width, style;
};

// What was drawn on the device, in order.
struct DrawOp {
  std::string what;  // "appearance", "rect"
  KS_DeviceRect rect{};
  KS_ColorRef pen = 0;
  int32_t penWidth = 0;
  bool hollowBrush = false;
};

struct FakeDevice {
  FakePen* pen = nullptr;
  std::pair<KS_ColorRef, int32_t>* brush = nullptr;  // colour, hollow
  std::vector<DrawOp> ops;
};

struct FakeState {
  std::vector<std::unique_ptr<FakeAnnot>> annots;
  std::vector<std::unique_ptr<FakeObject>> objects;
  std::map<KA_Document, std::vector<KA_Annot>> selection;
  std::map<KA_Document, KA_Annot> focus;
  int pensMade = 0, pensReleased = 0, brushesMade = 0, brushesReleased = 0;
  bool snap = false;
  std::vector<std::string> groups;  // "begin CAPTION", "end"
  std::vector<int32_t> defaultsCalled;
};

FakeState& State();
// Binds the plug-in side to the real host with the stand-ins above.
void BindFakeHost();
KA_Annot NewAnnot(KA_Document doc, KPD_Dictionary dict, int page);
KA_Device AsDevice(FakeDevice* device);

}  // namespace AnnotationPlugin::edittest
