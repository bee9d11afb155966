#include "ffhost.h"

#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>

namespace ffhost {

namespace {

// A plug-in's parameter tables beyond this size are taken as garbage rather
// than as thousands of sliders.
constexpr uint32_t kMaxParams = 1024;

std::string fixedText(const char* p, size_t maxLen) { return std::string(p, strnlen(p, maxLen)); }

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

float floatFromWord(uint32_t word) {
    float f;
    std::memcpy(&f, &word, sizeof f);
    return f;
}

Library::Library(const std::string& path, Unload unload) : path_(path), unload_(unload) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = dlerror();
        throw Error("cannot load " + path + ": " + (why ? why : "unknown reason"));
    }
    plugMain_ = reinterpret_cast<FFPlugMain>(dlsym(handle_, "plugMain"));
    if (plugMain_ == nullptr) {
        dlclose(handle_);
        throw Error(path + " is not a FreeFrame plug-in (no plugMain)");
    }
}

Library::~Library() {
    if (unload_ == Unload::onDestruction) dlclose(handle_);
}

FFMixed Library::callMixed(uint32_t code, FFMixed value, void* instance) const {
    // A C++ exception must not cross plugMain; one that does is the
    // plug-in's failure, reported like any other.
    try {
        return plugMain_(code, value, instance);
    } catch (...) {
        throw Error(path_ + ": plugMain threw a C++ exception (function code " + std::to_string(code) + ")");
    }
}

FFMixed Library::callValue(uint32_t code, uint32_t value, void* instance) const {
    FFMixed in;
    in.PointerValue = nullptr;
    in.UIntValue = value;
    return callMixed(code, in, instance);
}

FFMixed Library::callPtr(uint32_t code, const void* value, void* instance) const {
    FFMixed in;
    in.PointerValue = const_cast<void*>(value);
    return callMixed(code, in, instance);
}

std::string PluginInfo::typeName() const {
    if (type == ff::kTypeEffect) return "effect";
    if (type == ff::kTypeSource) return "source";
    return "type " + std::to_string(type);
}

std::string PluginInfo::version() const {
    if (!hasExtendedInfo) return "-";
    return std::to_string(versionMajor) + "." + std::to_string(versionMinor);
}

PluginInfo describe(const Library& library) {
    PluginInfo info;
    const std::string& path = library.path();
    info.path = path;
    FFMixed r = library.callPtr(ff::kGetInfo, nullptr);
    if (!isAddress(r)) throw Error(path + ": getInfo answered no record");
    const auto* pi = static_cast<const PlugInfoStruct*>(r.PointerValue);
    info.apiMajor = pi->APIMajorVersion;
    info.apiMinor = pi->APIMinorVersion;
    if (info.apiMajor != 1)
        throw Error(path + ": FreeFrame API version " + std::to_string(info.apiMajor) + "." +
                    std::to_string(info.apiMinor) + ", only 1.x is supported");
    info.id = fixedText(pi->PluginUniqueID, sizeof pi->PluginUniqueID);
    info.name = fixedText(pi->PluginName, sizeof pi->PluginName);
    info.type = pi->PluginType;
    if (info.name.empty()) throw Error(path + ": the plug-in has no name");

    // getExtendedInfo is optional in FreeFrame 1.0.
    r = library.callPtr(ff::kGetExtendedInfo, nullptr);
    if (isAddress(r)) {
        const auto* ei = static_cast<const PlugExtendedInfoStruct*>(r.PointerValue);
        info.hasExtendedInfo = true;
        info.versionMajor = ei->PluginMajorVersion;
        info.versionMinor = ei->PluginMinorVersion;
        if (ei->Description != nullptr) info.description = ei->Description;
        if (ei->About != nullptr) info.about = ei->About;
    }

    const uint32_t n = library.call(ff::kGetNumParameters, 0);
    if (n > kMaxParams) throw Error(path + ": getNumParameters answered " + std::to_string(int32_t(n)));
    for (uint32_t i = 0; i < n; ++i) {
        ParamInfo p;
        r = library.callValue(ff::kGetParameterName, i);
        if (!isAddress(r)) throw Error(path + ": no name for parameter " + std::to_string(i));
        p.name = fixedText(static_cast<const char*>(r.PointerValue), 16);
        p.defaultValue = floatFromWord(library.call(ff::kGetParameterDefault, i));
        p.type = library.call(ff::kGetParameterType, i);
        info.params.push_back(p);
    }
    return info;
}

namespace {

// A described plug-in as the probing child sends it back: each field as a
// length and its bytes.
void putText(std::string& out, const std::string& text) { out += std::to_string(text.size()) + ':' + text; }

void putNumber(std::string& out, uint64_t v) { putText(out, std::to_string(v)); }

std::string encode(const PluginInfo& i) {
    std::string out;
    putText(out, i.name);
    putText(out, i.id);
    putNumber(out, i.apiMajor);
    putNumber(out, i.apiMinor);
    putNumber(out, i.type);
    putNumber(out, i.hasExtendedInfo ? 1 : 0);
    putNumber(out, i.versionMajor);
    putNumber(out, i.versionMinor);
    putText(out, i.description);
    putText(out, i.about);
    putNumber(out, i.params.size());
    for (const ParamInfo& p : i.params) {
        putText(out, p.name);
        uint32_t bits;
        std::memcpy(&bits, &p.defaultValue, sizeof bits);
        putNumber(out, bits);
        putNumber(out, p.type);
    }
    return out;
}

struct Reader {
    const std::string& in;
    size_t at = 0;
    bool ok = true;
    std::string text() {
        const size_t colon = in.find(':', at);
        if (!ok || colon == std::string::npos || colon == at || colon - at > 9) return fail();
        const unsigned long n = std::stoul(in.substr(at, colon - at));
        if (n > in.size() - colon - 1) return fail();
        at = colon + 1 + n;
        return in.substr(colon + 1, n);
    }
    uint64_t number() {
        const std::string t = text();
        if (t.empty() || t.size() > 19 || t.find_first_not_of("0123456789") != std::string::npos) {
            fail();
            return 0;
        }
        return std::stoull(t);
    }
    std::string fail() {
        ok = false;
        return std::string();
    }
};

bool decode(const std::string& in, PluginInfo& i) {
    Reader r{in};
    i.name = r.text();
    i.id = r.text();
    i.apiMajor = uint32_t(r.number());
    i.apiMinor = uint32_t(r.number());
    i.type = uint32_t(r.number());
    i.hasExtendedInfo = r.number() != 0;
    i.versionMajor = uint32_t(r.number());
    i.versionMinor = uint32_t(r.number());
    i.description = r.text();
    i.about = r.text();
    const uint64_t n = r.number();
    if (n > kMaxParams) return false;
    for (uint64_t k = 0; k < n && r.ok; ++k) {
        ParamInfo p;
        p.name = r.text();
        p.defaultValue = floatFromWord(uint32_t(r.number()));
        p.type = uint32_t(r.number());
        i.params.push_back(p);
    }
    return r.ok && r.at == in.size();
}

void writeAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n <= 0) return;
        done += size_t(n);
    }
}

long millisecondsNow() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return long(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

}  // namespace

std::string runInChild(const std::string& path, int timeoutMs, const std::function<std::string()>& work) {
    int fds[2];
    if (pipe(fds) != 0) throw Error("cannot probe " + path + ": " + std::strerror(errno));
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        throw Error("cannot probe " + path + ": " + std::strerror(errno));
    }
    if (pid == 0) {
        // The child: its answer goes into the pipe, and it ends with _exit so
        // that nothing of the parent's (buffered output, exit handlers) runs.
        close(fds[0]);
        // The parent's crash reports are not the child's: a crash here is
        // told through the exit status alone.
        for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) signal(sig, SIG_DFL);
        std::string answer;
        try {
            answer = "I" + work();
        } catch (const Error& e) {
            answer = std::string("E") + e.what();
        } catch (...) {
            answer = "E" + path + ": threw a C++ exception while being loaded";
        }
        writeAll(fds[1], answer);
        _exit(0);
    }
    close(fds[1]);
    std::string answer;
    bool timedOut = false;
    const long deadline = millisecondsNow() + timeoutMs;
    for (;;) {
        const long left = deadline - millisecondsNow();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd p = {fds[0], POLLIN, 0};
        const int ready = poll(&p, 1, int(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            timedOut = ready == 0;
            break;
        }
        char buf[4096];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // the child closed its end: done or dead
        answer.append(buf, size_t(n));
    }
    close(fds[0]);
    if (timedOut) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut)
        throw Error(path + ": hung while being loaded and asked about itself (no answer in " +
                    std::to_string(timeoutMs / 1000.0).substr(0, 4) + " s)");
    if (WIFSIGNALED(status))
        throw Error(path + ": crashed (" + strsignal(WTERMSIG(status)) + ") while being loaded and asked about itself");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || answer.empty())
        throw Error(path + ": exited (status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) +
                    ") while being loaded and asked about itself");
    if (answer[0] == 'E') throw Error(answer.substr(1));
    return answer.substr(1);
}

PluginInfo probe(const std::string& path, int timeoutMs) {
    const std::string answer = runInChild(path, timeoutMs, [&path] { return encode(Plugin(path).info()); });
    PluginInfo info;
    info.path = path;
    if (!decode(answer, info)) throw Error(path + ": answered garbage while being described");
    return info;
}

Plugin::Plugin(const std::string& path) : Library(path) {
    try {
        if (call(ff::kInitialise, 0) != 0) throw Error(path + ": initialise failed");
        info_ = describe(*this);
    } catch (...) {
        call(ff::kDeInitialise, 0);
        throw;
    }
}

Plugin::~Plugin() {
    // A plug-in's C entry does not throw; nothing may leave a destructor.
    try {
        call(ff::kDeInitialise, 0);
    } catch (...) {
    }
}

uint32_t Plugin::parameterIndex(const std::string& key) const {
    const auto& params = info_.params;
    for (size_t i = 0; i < params.size(); ++i)
        if (params[i].name == key) return uint32_t(i);
    int found = -1;
    for (size_t i = 0; i < params.size(); ++i) {
        if (lower(params[i].name) != lower(key)) continue;
        if (found >= 0) throw Error(name() + ": parameter name \"" + key + "\" is ambiguous");
        found = int(i);
    }
    if (found >= 0) return uint32_t(found);
    if (!key.empty() && key.size() <= 4 && key.find_first_not_of("0123456789") == std::string::npos) {
        const unsigned long i = std::stoul(key);
        if (i < params.size()) return uint32_t(i);
        throw Error(name() + " has " + std::to_string(params.size()) + " parameters (0 to " +
                    std::to_string(int(params.size()) - 1) + "), not " + key);
    }
    std::string known;
    for (const auto& p : params) known += (known.empty() ? "\"" : ", \"") + p.name + "\"";
    throw Error(name() + " has no parameter \"" + key + "\" (it has " + (known.empty() ? "none" : known) + ")");
}

Instance::Instance(const Plugin& plugin, int width, int height, int depthBits)
    : Instance(plugin, plugin.name(), width, height, depthBits) {}

Instance::Instance(const Library& library, int width, int height, int depthBits)
    : Instance(library, library.path(), width, height, depthBits) {}

Instance::Instance(const Library& library, const std::string& label, int width, int height, int depthBits)
    : library_(library), label_(label), width_(width), height_(height), bytesPerPixel_(depthBits == 24 ? 3 : 4) {
    VideoInfoStruct vi = {uint32_t(width), uint32_t(height), depthBits == 24 ? ff::kDepth24 : ff::kDepth32, 0};
    FFMixed r = library_.callPtr(ff::kInstantiate, &vi);
    if (!isAddress(r))
        throw Error(label_ + ": instantiate failed at " + std::to_string(width) + "x" + std::to_string(height) + ", " +
                    std::to_string(depthBits) + "-bit");
    id_ = r.PointerValue;
}

Instance::~Instance() {
    try {
        library_.call(ff::kDeInstantiate, 0, id_);
    } catch (...) {
    }
}

void Instance::setParameter(uint32_t index, float value) {
    SetParameterStruct sp;
    std::memset(&sp, 0, sizeof sp);
    sp.ParameterNumber = index;
    sp.NewParameterValue.FloatValue = value;
    if (isFailure(library_.callPtr(ff::kSetParameter, &sp, id_)))
        throw Error(label_ + ": setParameter failed for parameter " + std::to_string(index));
}

float Instance::parameter(uint32_t index) const { return floatFromWord(library_.call(ff::kGetParameter, index, id_)); }

std::string Instance::displayText(uint32_t index) const {
    FFMixed r = library_.callValue(ff::kGetParameterDisplay, index, id_);
    if (!isAddress(r)) return std::string();
    return fixedText(static_cast<const char*>(r.PointerValue), 16);
}

bool Instance::processFrame(uint8_t* frame) { return library_.callPtr(ff::kProcessFrame, frame, id_).UIntValue == 0; }

bool Instance::processFrameCopy(const uint8_t* input, uint8_t* output) {
    void* inputs[1] = {const_cast<uint8_t*>(input)};
    ProcessFrameCopyStruct pfc;
    pfc.numInputFrames = 1;
    pfc.ppInputFrames = inputs;
    pfc.pOutputFrame = output;
    return library_.callPtr(ff::kProcessFrameCopy, &pfc, id_).UIntValue == 0;
}

}  // namespace ffhost
