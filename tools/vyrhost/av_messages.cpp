#include "av_messages.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

#include <cstdio>
#include <mutex>

namespace vyrhost {

namespace {

std::mutex logMutex;
std::string lastError;  // guarded by logMutex: encoder threads log too

void storeLog(void* avcl, int level, const char* fmt, va_list args) {
    if (level > AV_LOG_ERROR) return;
    char line[512];
    int prefix = 1;
    av_log_format_line2(avcl, level, fmt, args, line, sizeof line, &prefix);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    // Drop the "[codec @ 0x...] " context that names an address.
    const size_t ctx = text.find("] ");
    if (!text.empty() && text[0] == '[' && ctx != std::string::npos) text.erase(0, ctx + 2);
    std::lock_guard<std::mutex> lock(logMutex);
    lastError = text;
}

}  // namespace

void captureLibraryLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_ERROR);
        av_log_set_callback(storeLog);
    });
}

std::string describeAvFailure(const std::string& what, int code) {
    std::string text = what;
    if (code < 0) {
        char buf[AV_ERROR_MAX_STRING_SIZE] = {0};
        av_strerror(code, buf, sizeof buf);
        text += std::string(": ") + buf;
    }
    std::lock_guard<std::mutex> lock(logMutex);
    if (!lastError.empty()) text += " (" + lastError + ")";
    lastError.clear();
    return text;
}

}  // namespace vyrhost
