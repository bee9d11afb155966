// The one kind of failure vyrhost reports: a one-line message naming what
// failed. main() prints it and exits non-zero. vyrhost drives FreeFrame
// plug-ins through the host library, whose failures are of the same kind,
// and frei0r plug-ins beside it (any_plugin.h).
#pragma once

#include "any_plugin.h"
#include "ffhost.h"

namespace vyrhost {

using HostError = ffhost::Error;
using ffhost::ParamInfo;
using ffhost::PluginInfo;

}  // namespace vyrhost
