// The vocabulary of the ten measuring tools: one row per measurement type
// with its tool name, ribbon button, annotation kind, preference sections,
// capability bits and the defaults of its settings.
#pragma once

#include <string>
#include <string_view>

#include "sdk/ks_types.h"

namespace AnnotationPlugin {

enum MeasureType : int {
  kMeasureNone = 0,
  kMeasureDistance = 1,
  kMeasurePerimeter = 2,
  kMeasureArea = 3,
  kMeasureCircleArea = 4,
  kMeasurePolylength = 5,
  kMeasureDiameter = 6,
  kMeasureCenterRadius = 7,
  kMeasure3PointRadius = 8,
  kMeasureVolume = 9,
  kMeasureAngle = 10,
};

// Capability bits that decide which settings a type reads.
inline constexpr int kCapSlope = 16;
inline constexpr int kCapVolumeUnit = 128;
inline constexpr int kCapSegments = 256;

struct MeasureTypeInfo {
  MeasureType type;
  const char* toolName;
  const char* button;
  const char* labelKey;
  const char* subtype;
  const char* intent;
  const char16_t* keepSelectedKey;  // section "KeepToolSelected"
  const char16_t* styleSection;
  const char16_t* settingsSection;
  const char* layout;
  const char* subjectKey;
  const char* icon32;
  const char* icon16;
  // The kind column of the measurement export.
  const char* exportKindKey;
  // Of types that share an intent, the key whose presence marks this one
  // (a polylength's "/RiseDrop", a diameter's "/MeasurementTypes").
  const char* markerKey;
};

// The measurement type of an annotation, from its /IT and the keys that
// tell types of one intent apart; kMeasureNone for anything else.
int MeasureTypeOfAnnot(KPD_Dictionary annot);

// The row of a type; null for kMeasureNone or an unknown code.
const MeasureTypeInfo* MeasureTypeRow(int type);
// The type whose tool name is exactly `name`; kMeasureNone when none is.
MeasureType MeasureTypeFromToolName(std::string_view name);
// The ten types in the ribbon's order (polylength right after perimeter).
const MeasureType* RibbonOrder(int* count);

int MeasureCapabilities(int type);
// The "ShowCaption" bits a type starts with (stored as "MeasurementTypes").
int DefaultShowCaption(int type);
// Whether the type draws a line-like figure (the "Format_Measure_Line" group)
// rather than a shape.
bool IsLineMeasure(int type);

}  // namespace AnnotationPlugin
