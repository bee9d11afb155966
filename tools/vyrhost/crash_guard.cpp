#include "crash_guard.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <vector>

namespace vyrhost {

namespace {

// Everything the handlers touch is fixed-size and prepared in advance: a
// signal handler may only call async-signal-safe functions.
char pluginName[256];
char lost[1024];      // "; out.mp4 was not written\n"
char tempPath[4096];  // removed, when not empty
// Completed files to remove, NUL-separated; grown only while signals are
// blocked, so a handler always sees a whole list.
std::vector<char> written;
volatile sig_atomic_t currentFrame = 0;
volatile sig_atomic_t insidePlugin = 0;
volatile sig_atomic_t stopRequests = 0;
bool clearLine = false;  // a progress bar may be on the terminal

const int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
const int kStopSignals[] = {SIGINT, SIGTERM};
struct sigaction savedCrash[5], savedStop[2];

void copyText(char* dst, size_t size, const std::string& src) {
    const size_t n = std::min(size - 1, src.size());
    std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

void put(const char* s) {
    const ssize_t ignored = write(STDERR_FILENO, s, std::strlen(s));
    (void)ignored;
}

void putNumber(long v) {
    char buf[24];
    char* p = buf + sizeof buf;
    *--p = '\0';
    do {
        *--p = char('0' + v % 10);
        v /= 10;
    } while (v > 0 && p > buf);
    put(p);
}

void report(const char* what) {
    if (tempPath[0] != '\0') unlink(tempPath);
    for (size_t at = 0; at < written.size(); at += std::strlen(written.data() + at) + 1) unlink(written.data() + at);
    if (clearLine) put("\r\033[K");
    put("vyrhost: error: ");
    put(insidePlugin ? pluginName : "vyrhost");
    put(" ");
    put(what);
    put(" at frame ");
    putNumber(currentFrame);
    put(lost);
}

void onCrash(int sig) {
    report(sig == SIGABRT ? "aborted" : sig == SIGFPE ? "crashed (arithmetic fault)" : "crashed");
    // Die of the same signal, so that the exit status tells what happened.
    signal(sig, SIG_DFL);
    raise(sig);
}

char culpritName[4096] = "vyrhost";

const char* signalName(int sig) {
    switch (sig) {
        case SIGSEGV:
            return "Segmentation fault";
        case SIGBUS:
            return "Bus error";
        case SIGFPE:
            return "Floating point exception";
        case SIGILL:
            return "Illegal instruction";
        default:
            return "Aborted";
    }
}

void onCrashOutsideRender(int sig) {
    if (clearLine) put("\r\033[K");
    put("vyrhost: error: ");
    put(culpritName);
    put(" crashed (");
    put(signalName(sig));
    put(")\n");
    signal(sig, SIG_DFL);
    raise(sig);
}

void onStop(int) {
    // The first request ends the render after the current frame; a second
    // one while the plug-in is still busy ends it now.
    if (stopRequests++ == 0) return;
    report("was interrupted");
    _exit(130);
}

}  // namespace

void reportCrashesAs(const std::string& culprit) {
    sigset_t all, old;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old);
    copyText(culpritName, sizeof culpritName, culprit);
    clearLine = isatty(STDERR_FILENO) != 0;
    struct sigaction sa {};
    sigfillset(&sa.sa_mask);
    sa.sa_handler = onCrashOutsideRender;
    for (int sig : kCrashSignals) sigaction(sig, &sa, nullptr);
    sigprocmask(SIG_SETMASK, &old, nullptr);
}

CrashGuard::CrashGuard(const std::string& name) {
    copyText(pluginName, sizeof pluginName, name);
    setOutput(std::string(), "nothing was written");
    clearLine = isatty(STDERR_FILENO) != 0;
    written.clear();
    currentFrame = 0;
    insidePlugin = 0;
    stopRequests = 0;
    struct sigaction sa {};
    // Every other signal waits while a handler runs: however many arrive,
    // the clean-up runs once and to its end.
    sigfillset(&sa.sa_mask);
    sa.sa_handler = onCrash;
    for (size_t i = 0; i < 5; ++i) sigaction(kCrashSignals[i], &sa, &savedCrash[i]);
    sa.sa_handler = onStop;
    for (size_t i = 0; i < 2; ++i) sigaction(kStopSignals[i], &sa, &savedStop[i]);
}

CrashGuard::~CrashGuard() { disarm(); }

void CrashGuard::disarm() {
    if (!armed_) return;
    armed_ = false;
    for (size_t i = 0; i < 5; ++i) sigaction(kCrashSignals[i], &savedCrash[i], nullptr);
    for (size_t i = 0; i < 2; ++i) sigaction(kStopSignals[i], &savedStop[i], nullptr);
    tempPath[0] = '\0';
    written.clear();
}

void CrashGuard::setOutput(const std::string& temporaryPath, const std::string& lostOutput) {
    // Blocked while the texts change, so that no handler sees half of them.
    sigset_t all, old;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old);
    copyText(lost, sizeof lost, "; " + lostOutput + "\n");
    copyText(tempPath, sizeof tempPath, temporaryPath);
    sigprocmask(SIG_SETMASK, &old, nullptr);
}

void CrashGuard::addWritten(const std::string& path) {
    sigset_t all, old;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old);
    written.insert(written.end(), path.begin(), path.end());
    written.push_back('\0');
    sigprocmask(SIG_SETMASK, &old, nullptr);
}

void CrashGuard::setFrame(long frame) { currentFrame = sig_atomic_t(frame); }

void CrashGuard::setInPlugin(bool inPlugin) { insidePlugin = inPlugin ? 1 : 0; }

bool CrashGuard::interrupted() const { return stopRequests != 0; }

}  // namespace vyrhost
