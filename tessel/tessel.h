// Everything the widget library offers, for callers that want one include.
#pragma once

#include "tessel/dialog.h"
#include "tessel/file_dialog.h"
#include "tessel/headless.h"
#include "tessel/language.h"
#include "tessel/tessel_utils.h"
#include "tessel/translator.h"
#include "tessel/ts_translation_unit.h"
