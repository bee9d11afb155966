#include "session.h"

#include "crash_guard.h"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "host_error.h"
#include "plugin_folder.h"

namespace vyrhost {

namespace {

char** programArgv = nullptr;

const char* const kDefaultSize = "1280x720";

}  // namespace

void keepProgramArguments(char** argv) { programArgv = argv; }

void applyThreadSettings(const RunOptions& options, bool passiveWait) {
    std::vector<std::pair<std::string, std::string>> wanted;
    if (options.threads > 0) wanted.push_back({"OMP_NUM_THREADS", std::to_string(options.threads)});
    // Worker threads that spin between frames would take the CPU from the
    // encoder; a user's own choice stands.
    if (passiveWait && std::getenv("OMP_WAIT_POLICY") == nullptr) wanted.push_back({"OMP_WAIT_POLICY", "passive"});
    bool changed = false;
    for (const auto& kv : wanted) {
        const char* have = std::getenv(kv.first.c_str());
        if (have != nullptr && kv.second == have) continue;
        setenv(kv.first.c_str(), kv.second.c_str(), 1);
        changed = true;
    }
    if (!changed) return;
    if (programArgv != nullptr) execv("/proc/self/exe", programArgv);
    throw HostError(std::string("cannot restart vyrhost with its OpenMP settings: ") + std::strerror(errno));
}

bool Session::hasRamps() const {
    for (const auto& r : settings)
        if (r.setting.ramp) return true;
    return false;
}

bool Session::setsParameter(uint32_t index) const {
    for (const auto& t : tracks)
        if (t.index == index) return true;
    for (const auto& r : settings)
        if (r.index == index) return true;
    return false;
}

void Session::setRate(Rate rate) {
    rate_ = rate;
    for (const auto& t : tracks) {
        const auto& keys = t.track.keys;
        for (size_t i = 1; i < keys.size(); ++i) {
            const auto frameOf = [&](const Keyframe& k) { return k.seconds ? k.at * rate.num / rate.den : k.at; };
            if (frameOf(keys[i]) < frameOf(keys[i - 1]))
                throw HostError(paramsPath + ": parameter \"" + t.track.key + "\": key " + std::to_string(i) +
                                " comes before key " + std::to_string(i - 1) + "; list keys in time order");
        }
    }
}

void Session::apply(Instance& inst, long frame, long frames) {
    // Later settings of one parameter win: the values are gathered first.
    std::vector<std::pair<uint32_t, float>> values;
    const auto put = [&](uint32_t index, float v) {
        for (auto& iv : values)
            if (iv.first == index) {
                iv.second = v;
                return;
            }
        values.push_back({index, v});
    };
    if (seedSet_) put(uint32_t(plugin->seedParameter()), seedParameterValue(seedNow_));
    for (const auto& t : tracks) put(t.index, trackValue(t.track, double(frame), rate_));
    for (const auto& r : settings) put(r.index, settingValue(r.setting, frame, frames));
    const bool fresh = applied_.empty();
    for (size_t i = 0; i < values.size(); ++i)
        if (fresh || applied_[i].second != values[i].second) inst.setParameter(values[i].first, values[i].second);
    applied_ = values;
}

Session openSession(const RunOptions& options) {
    Session s;
    s.paramsPath = options.params;
    if (!options.params.empty()) s.file = loadParamsFile(options.params);
    const std::string& size = !options.size.empty() ? options.size : s.file.size;
    s.sizeGiven = !size.empty();
    s.size = parseSize(s.sizeGiven ? size : kDefaultSize);
    s.seeded = options.seeded || s.file.seeded;
    s.seed = options.seeded ? options.seed : s.file.seed;
    if (options.depth != 24 && options.depth != 32)
        throw HostError("bad depth " + std::to_string(options.depth) + ": use 24 or 32");
    s.bytesPerPixel = options.depth == 24 ? 3 : 4;
    std::vector<ParamSetting> parsed;
    for (const auto& text : options.sets) parsed.push_back(parseSet(text));
    for (const auto& text : options.ramps) parsed.push_back(parseRamp(text));

    const std::string path = resolvePlugin(options.plugin, options.pluginDir);
    // Loaded into this process only once it behaved in a child process.
    describeInChild(path, [](const Plugin&) { return std::string(); });
    reportCrashesAs(path);
    s.plugin.reset(new Plugin(path));
    const Plugin& p = *s.plugin;
    if (p.capability(options.depth == 24 ? 1 : 2) == 0)
        throw HostError(p.name() + " does not take " + std::to_string(options.depth) + "-bit frames");
    if (options.copy && p.capability(3) == 0) throw HostError(p.name() + " does not support processFrameCopy");
    for (const auto& track : s.file.params) s.tracks.push_back({p.parameterIndex(track.key), track});
    for (const auto& setting : parsed) s.settings.push_back({p.parameterIndex(setting.key), setting});
    return s;
}

void Session::seedNextInstance(unsigned value) {
    std::srand(value);
    seedSet_ = plugin->seedParameter() >= 0;
    seedNow_ = value;
}

void Session::seedIfAsked() {
    if (seeded) seedNextInstance(seed);
}

bool Session::reseedAt(long frame, unsigned& value) const {
    bool found = false;
    for (const auto& r : file.reseeds)
        if (r.frame == frame) {
            value = r.seed;
            found = true;
        }
    return found;
}

int processThreadCount() {
    DIR* d = opendir("/proc/self/task");
    if (d == nullptr) return 1;
    int n = 0;
    while (const dirent* e = readdir(d))
        if (e->d_name[0] != '.') ++n;
    closedir(d);
    return n;
}

}  // namespace vyrhost
