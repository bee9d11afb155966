#include "ffhost.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
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

namespace {

// What a probing child tells its parent, as messages of a kind byte, the
// file's index and the text's length (4 bytes each, this machine's order)
// and the text: 'S' before it loads a file, then 'I' with the answer or 'E'
// with the error that `work` threw.
constexpr size_t kHeadBytes = 9;
// Far beyond any plug-in's description: a longer one is garbage.
constexpr uint32_t kMaxAnswerBytes = 64u << 20;

void sendMessage(int fd, char kind, uint32_t index, const std::string& text) {
    std::string m(kHeadBytes, '\0');
    const uint32_t length = uint32_t(text.size());
    m[0] = kind;
    std::memcpy(&m[1], &index, 4);
    std::memcpy(&m[5], &length, 4);
    writeAll(fd, m + text);
}

// The child: files [first, end) in turn, each reported as it finishes. It
// ends with _exit, so that nothing of the parent's (buffered output, exit
// handlers) runs.
[[noreturn]] void probeFiles(int fd, const std::vector<std::string>& paths, size_t first, size_t end,
                             const std::function<std::string(const std::string&)>& work) {
    // The parent's crash reports are not the child's: a crash here is told
    // through the exit status alone.
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) signal(sig, SIG_DFL);
    for (size_t k = first; k < end; ++k) {
        sendMessage(fd, 'S', uint32_t(k), std::string());
        char kind = 'I';
        std::string text;
        try {
            text = work(paths[k]);
        } catch (const Error& e) {
            kind = 'E';
            text = e.what();
        } catch (...) {
            kind = 'E';
            text = paths[k] + ": threw a C++ exception while being loaded";
        }
        sendMessage(fd, kind, uint32_t(k), text);
    }
    _exit(0);
}

// A child probing the files [first, end) and what its parent knows of it.
struct ProbeChild {
    pid_t pid = -1;
    int fd = -1;
    size_t first = 0, end = 0;
    size_t next = 0;       // the file it is on, or will start next
    bool started = false;  // `next` is loaded and being described
    bool garbled = false;
    long deadline = 0;
    std::string buffer;
};

ProbeChild startChild(const std::vector<std::string>& paths, size_t first, size_t end, int timeoutMs,
                      const std::function<std::string(const std::string&)>& work) {
    int fds[2];
    // Close-on-exec: a plug-in that starts a program must not keep the
    // pipe open, or the parent would wait for its end.
    if (pipe2(fds, O_CLOEXEC) != 0) throw Error("cannot probe " + paths[first] + ": " + std::strerror(errno));
    // Nothing buffered is left to the child, where a plug-in's exit() would
    // write it a second time.
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        throw Error("cannot probe " + paths[first] + ": " + std::strerror(errno));
    }
    if (pid == 0) {
        close(fds[0]);
        probeFiles(fds[1], paths, first, end, work);
    }
    close(fds[1]);
    ProbeChild c;
    c.pid = pid;
    c.fd = fds[0];
    c.first = c.next = first;
    c.end = end;
    c.deadline = millisecondsNow() + timeoutMs;
    return c;
}

// Takes the complete messages out of the child's buffer into `answers`.
void takeMessages(ProbeChild& c, int timeoutMs, std::vector<ChildAnswer>& answers) {
    while (c.buffer.size() >= kHeadBytes && c.next < c.end) {
        uint32_t index, length;
        std::memcpy(&index, &c.buffer[1], 4);
        std::memcpy(&length, &c.buffer[5], 4);
        const char kind = c.buffer[0];
        if (index != c.next || (kind == 'S') == c.started || (kind != 'S' && kind != 'I' && kind != 'E') ||
            length > kMaxAnswerBytes) {
            c.garbled = true;
            return;
        }
        if (c.buffer.size() - kHeadBytes < length) return;
        if (kind == 'S') {
            c.started = true;
            c.deadline = millisecondsNow() + timeoutMs;  // each file has the whole time
        } else {
            answers[c.next] = {kind == 'I', c.buffer.substr(kHeadBytes, length)};
            c.started = false;
            ++c.next;
        }
        c.buffer.erase(0, kHeadBytes + length);
    }
}

// Ends the child, which answered for every file, died, hung or garbled
// its messages. In the last three cases the file it was on gets the error
// (unless it died between two files, when nothing is to blame); answers
// that file's index then, else `end`.
size_t endChild(ProbeChild& c, bool timedOut, int timeoutMs, const std::vector<std::string>& paths,
                std::vector<ChildAnswer>& answers) {
    close(c.fd);
    if (c.next < c.end) kill(c.pid, SIGKILL);
    int status = 0;
    while (waitpid(c.pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (c.next == c.end || (!c.started && !timedOut && !c.garbled && c.next > c.first)) return c.end;
    const std::string& path = paths[c.next];
    const std::string during = " while being loaded and asked about itself";
    std::string why;
    if (timedOut)
        why = path + ": hung" + during + " (no answer in " + std::to_string(timeoutMs / 1000.0).substr(0, 4) + " s)";
    else if (c.garbled)
        why = path + ": garbled the host's probe" + during;
    else if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL)
        why = path + ": crashed (" + strsignal(WTERMSIG(status)) + ")" + during;
    else if (WIFSIGNALED(status))
        why = path + ": was killed" + during;
    else
        why = path + ": exited (status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")" + during;
    answers[c.next] = {false, why};
    return c.next;
}

}  // namespace

std::vector<ChildAnswer> runEachInChild(const std::vector<std::string>& paths, int timeoutMs,
                                        const std::function<std::string(const std::string&)>& work) {
    std::vector<ChildAnswer> answers(paths.size());
    // Children at once: the files are split into as many runs, and a file
    // asked again alone, or the rest of a run after it, need not wait for
    // the others (a hang costs its timeout once).
    const size_t slots = 2;
    std::deque<std::pair<size_t, size_t>> runs;
    const size_t share = (paths.size() + slots - 1) / slots;
    for (size_t first = 0; first < paths.size(); first += share)
        runs.emplace_back(first, std::min(paths.size(), first + share));
    std::vector<ProbeChild> children;
    try {
        while (!runs.empty() || !children.empty()) {
            while (children.size() < slots && !runs.empty()) {
                children.push_back(startChild(paths, runs.front().first, runs.front().second, timeoutMs, work));
                runs.pop_front();
            }
            std::vector<pollfd> polled;
            long wait = timeoutMs;
            const long now = millisecondsNow();
            for (const ProbeChild& c : children) {
                polled.push_back({c.fd, POLLIN, 0});
                wait = std::min(wait, std::max(0L, c.deadline - now));
            }
            if (poll(polled.data(), polled.size(), int(wait)) < 0 && errno != EINTR)
                throw Error("cannot probe " + paths[children.front().next] + ": " + std::strerror(errno));
            for (size_t k = children.size(); k-- > 0;) {
                ProbeChild& c = children[k];
                bool closed = false;
                if (polled[k].revents != 0) {
                    char buf[4096];
                    const ssize_t n = read(c.fd, buf, sizeof buf);
                    if (n > 0)
                        c.buffer.append(buf, size_t(n));
                    else if (n == 0 || errno != EINTR)
                        closed = true;  // the child closed its end: done or dead
                    takeMessages(c, timeoutMs, answers);
                }
                const bool timedOut = c.next < c.end && !closed && !c.garbled && millisecondsNow() >= c.deadline;
                if (c.next < c.end && !closed && !c.garbled && !timedOut) continue;
                const size_t first = c.first, end = c.end;
                const bool startedBlamed = c.started;
                const size_t blamed = endChild(c, timedOut, timeoutMs, paths, answers);
                const size_t resume = blamed == end ? c.next : blamed + 1;
                children.erase(children.begin() + long(k));
                if (resume < end) runs.emplace_front(resume, end);
                // A file that brought a child down after other files had
                // been loaded there may have been brought down by them: it
                // is asked again in a child of its own, which tells. A file
                // that hung once it had begun is not: asking again would
                // cost the whole timeout twice.
                if (blamed < end && blamed > first && !(timedOut && startedBlamed))
                    runs.emplace_front(blamed, blamed + 1);
            }
        }
    } catch (...) {
        for (ProbeChild& c : children) {
            close(c.fd);
            kill(c.pid, SIGKILL);
            waitpid(c.pid, nullptr, 0);
        }
        throw;
    }
    return answers;
}

std::string runInChild(const std::string& path, int timeoutMs, const std::function<std::string()>& work) {
    const ChildAnswer answer = runEachInChild({path}, timeoutMs, [&work](const std::string&) { return work(); })[0];
    if (!answer.ok) throw Error(answer.text);
    return answer.text;
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
