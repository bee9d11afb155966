// The one kind of failure vyrhost reports: a one-line message naming what
// failed. main() prints it and exits non-zero.
#pragma once

#include <stdexcept>
#include <string>

namespace vyrhost {

struct HostError : std::runtime_error {
    explicit HostError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace vyrhost
