// FFmpeg's error texts for vyrhost's one-line messages. The libraries'
// own log lines are kept from the terminal; the last error they logged is
// added to the message that reports the failure instead.
#pragma once

#include <string>

namespace vyrhost {

// Routes FFmpeg's log into a store (idempotent).
void captureLibraryLog();

// "what: <error text of code>[ (<last logged error>)]"; a code of 0 or
// more adds no error text.
std::string describeAvFailure(const std::string& what, int code);

}  // namespace vyrhost
