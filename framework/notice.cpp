#include "notice.h"

#include <unistd.h>

#include <cstring>
#include <string>

void showNotice(const char* caption, const char* text) {
    std::string line;
    line.reserve(std::strlen(caption) + std::strlen(text) + 3);
    line += caption;
    line += ": ";
    line += text;
    line += '\n';
    // One write, so that notices of several instances never interleave
    // within a line.
    const char* p = line.data();
    size_t left = line.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n <= 0) break;
        p += n;
        left -= static_cast<size_t>(n);
    }
}
