// The plug-in frame reaches the host as AnnotationPlugin::Host.
#pragma once

#include "sdk/ks_host_binding.h"

namespace AnnotationPlugin {
namespace Host = ::ks::host;
}  // namespace AnnotationPlugin
