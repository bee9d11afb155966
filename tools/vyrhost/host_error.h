// The one kind of failure vyrhost reports: a one-line message naming what
// failed. main() prints it and exits non-zero. vyrhost drives plug-ins
// through the host library, whose failures are of the same kind.
#pragma once

#include "ffhost.h"

namespace vyrhost {

using HostError = ffhost::Error;
using ffhost::Instance;
using ffhost::ParamInfo;
using ffhost::Plugin;
using ffhost::PluginInfo;

}  // namespace vyrhost
