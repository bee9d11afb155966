#include "params_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "host_error.h"

namespace vyrhost {

namespace {

// The file's own order is kept, so that a file written and read again looks
// the same and later parameters override earlier ones as written.
using Json = nlohmann::ordered_json;

struct Checker {
    std::string what;

    [[noreturn]] void fail(const std::string& message) const { throw HostError(what + ": " + message); }

    double number(const Json& v, const std::string& where) const {
        if (!v.is_number()) fail(where + " must be a number");
        const double d = v.get<double>();
        if (!std::isfinite(d)) fail(where + " must be a finite number");
        return d;
    }

    float paramValue(const Json& v, const std::string& where) const {
        const double d = number(v, where);
        if (d < 0.0 || d > 1.0) fail(where + " is " + v.dump() + ", not a value from 0 to 1");
        return float(d);
    }

    long count(const Json& v, const std::string& where, long least) const {
        if (!v.is_number_integer() || v.get<long long>() < least ||
            v.get<long long>() > std::numeric_limits<int>::max())
            fail(where + " must be a whole number from " + std::to_string(least));
        return long(v.get<long long>());
    }

    unsigned seed(const Json& v, const std::string& where) const {
        if (!v.is_number_integer() || v.get<long long>() < 0 ||
            v.get<long long>() > std::numeric_limits<unsigned>::max())
            fail(where + " must be a whole number from 0 to " + std::to_string(std::numeric_limits<unsigned>::max()));
        return unsigned(v.get<long long>());
    }

    void onlyKeys(const Json& obj, const std::vector<std::string>& allowed, const std::string& where) const {
        for (auto it = obj.begin(); it != obj.end(); ++it)
            if (std::find(allowed.begin(), allowed.end(), it.key()) == allowed.end()) {
                std::string list;
                for (const auto& a : allowed) list += (list.empty() ? "\"" : ", \"") + a + "\"";
                fail(where + " has an unknown entry \"" + it.key() + "\" (known: " + list + ")");
            }
    }

    Keyframe keyframe(const Json& k, const std::string& where) const {
        if (!k.is_object()) fail(where + " must be an object such as { \"time\": 1.5, \"value\": 0.2 }");
        onlyKeys(k, {"time", "frame", "value", "interpolation"}, where);
        Keyframe key;
        const bool hasTime = k.contains("time"), hasFrame = k.contains("frame");
        if (hasTime == hasFrame) fail(where + " needs either \"time\" (seconds) or \"frame\"");
        key.seconds = hasTime;
        key.at = number(hasTime ? k["time"] : k["frame"], where + (hasTime ? " time" : " frame"));
        if (key.at < 0.0) fail(where + (hasTime ? " time" : " frame") + " must not be negative");
        if (!k.contains("value")) fail(where + " needs a \"value\"");
        key.value = paramValue(k["value"], where + " value");
        if (k.contains("interpolation")) {
            const Json& i = k["interpolation"];
            if (i == "hold")
                key.hold = true;
            else if (i != "linear")
                fail(where + " interpolation must be \"linear\" or \"hold\"");
        }
        return key;
    }
};

// Keys in seconds and in frames may be mixed: they are compared at the
// rate the clip runs at.
double keyFrame(const Keyframe& k, Rate rate) { return k.seconds ? k.at * rate.num / rate.den : k.at; }

Json keyJson(const Keyframe& k) {
    Json j = Json::object();
    if (k.seconds)
        j["time"] = k.at;
    else if (k.at == std::floor(k.at))
        j["frame"] = (long long)(k.at);
    else
        j["frame"] = k.at;
    j["value"] = double(k.value);
    if (k.hold) j["interpolation"] = "hold";
    return j;
}

}  // namespace

ParamsFile parseParamsText(const std::string& text, const std::string& what) {
    const Checker c{what};
    Json doc;
    try {
        doc = Json::parse(text);
    } catch (const Json::parse_error& e) {
        // nlohmann's text reads "[json.exception.parse_error.101] parse error at line 3, column 5: ...".
        std::string msg = e.what();
        const size_t at = msg.find("] ");
        c.fail("not valid JSON: " + (at == std::string::npos ? msg : msg.substr(at + 2)));
    }
    if (!doc.is_object()) c.fail("must hold one JSON object, such as { \"parameters\": { \"Level\": 0.5 } }");
    c.onlyKeys(doc, {"plugin", "size", "fps", "frames", "seed", "seeds", "parameters"}, "the file");

    ParamsFile f;
    if (doc.contains("plugin")) {
        if (!doc["plugin"].is_string()) c.fail("\"plugin\" must be a text");
        f.plugin = doc["plugin"].get<std::string>();
    }
    if (doc.contains("size")) {
        if (!doc["size"].is_string()) c.fail("\"size\" must be a text such as \"1280x720\"");
        f.size = doc["size"].get<std::string>();
        try {
            parseSize(f.size);
        } catch (const HostError& e) {
            c.fail(e.what());
        }
    }
    if (doc.contains("fps")) {
        const Json& v = doc["fps"];
        if (v.is_string())
            f.fps = v.get<std::string>();
        else if (v.is_number())
            f.fps = v.is_number_integer() ? std::to_string(v.get<long long>()) : v.dump();
        else
            c.fail("\"fps\" must be a number such as 30 or a text such as \"30000/1001\"");
        try {
            parseRate(f.fps);
        } catch (const HostError& e) {
            c.fail(e.what());
        }
    }
    if (doc.contains("frames")) f.frames = c.count(doc["frames"], "\"frames\"", 1);
    if (doc.contains("seed")) {
        f.seeded = true;
        f.seed = c.seed(doc["seed"], "\"seed\"");
    }
    if (doc.contains("seeds")) {
        const Json& list = doc["seeds"];
        if (!list.is_array()) c.fail("\"seeds\" must be a list such as [ { \"frame\": 120, \"seed\": 9 } ]");
        for (size_t i = 0; i < list.size(); ++i) {
            const std::string where = "seeds[" + std::to_string(i) + "]";
            if (!list[i].is_object()) c.fail(where + " must be an object such as { \"frame\": 120, \"seed\": 9 }");
            c.onlyKeys(list[i], {"frame", "seed"}, where);
            if (!list[i].contains("frame") || !list[i].contains("seed"))
                c.fail(where + " needs \"frame\" and \"seed\"");
            SeedChange s;
            s.frame = c.count(list[i]["frame"], where + " frame", 1);
            s.seed = c.seed(list[i]["seed"], where + " seed");
            f.reseeds.push_back(s);
        }
        std::stable_sort(f.reseeds.begin(), f.reseeds.end(),
                         [](const SeedChange& a, const SeedChange& b) { return a.frame < b.frame; });
    }
    if (doc.contains("parameters")) {
        const Json& params = doc["parameters"];
        if (!params.is_object()) c.fail("\"parameters\" must be an object of NAME: value or NAME: [keys]");
        for (auto it = params.begin(); it != params.end(); ++it) {
            ParamTrack track;
            track.key = it.key();
            const std::string where = "parameter \"" + it.key() + "\"";
            if (it.value().is_array()) {
                if (it.value().empty()) c.fail(where + " has no keys");
                for (size_t i = 0; i < it.value().size(); ++i)
                    track.keys.push_back(c.keyframe(it.value()[i], where + " key " + std::to_string(i)));
            } else {
                Keyframe k;
                k.value = c.paramValue(it.value(), where);
                track.keys.push_back(k);
            }
            f.params.push_back(std::move(track));
        }
    }
    return f;
}

ParamsFile loadParamsFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw HostError("cannot read parameter file " + path + ": " + std::strerror(errno));
    std::stringstream ss;
    ss << in.rdbuf();
    if (in.bad()) throw HostError("cannot read parameter file " + path);
    return parseParamsText(ss.str(), path);
}

std::string paramsText(const ParamsFile& f) {
    Json doc = Json::object();
    if (!f.plugin.empty()) doc["plugin"] = f.plugin;
    if (!f.size.empty()) doc["size"] = f.size;
    if (!f.fps.empty()) {
        const Rate r = parseRate(f.fps);
        if (r.den == 1)
            doc["fps"] = r.num;
        else
            doc["fps"] = f.fps;
    }
    if (f.frames > 0) doc["frames"] = f.frames;
    if (f.seeded) doc["seed"] = f.seed;
    if (!f.reseeds.empty()) {
        Json list = Json::array();
        for (const auto& s : f.reseeds) list.push_back(Json{{"frame", s.frame}, {"seed", s.seed}});
        doc["seeds"] = list;
    }
    Json params = Json::object();
    for (const auto& t : f.params) {
        // A constant is written as a plain value.
        if (t.keys.size() == 1 && t.keys[0].at == 0.0 && !t.keys[0].hold) {
            params[t.key] = double(t.keys[0].value);
            continue;
        }
        Json keys = Json::array();
        for (const auto& k : t.keys) keys.push_back(keyJson(k));
        params[t.key] = keys;
    }
    doc["parameters"] = params;
    // One key per line keeps a recorded take readable and diffable.
    std::string text = "{\n";
    bool first = true;
    for (auto it = doc.begin(); it != doc.end(); ++it) {
        text += first ? "  " : ",\n  ";
        first = false;
        text += Json(it.key()).dump() + ": ";
        if (it.key() == "parameters" || it.key() == "seeds") {
            const bool isObject = it.value().is_object();
            text += isObject ? "{" : "[";
            bool firstEntry = true;
            for (auto e = it.value().begin(); e != it.value().end(); ++e) {
                text += firstEntry ? "\n    " : ",\n    ";
                firstEntry = false;
                if (isObject) text += Json(e.key()).dump() + ": ";
                if (e.value().is_array()) {
                    text += "[";
                    for (size_t i = 0; i < e.value().size(); ++i)
                        text += (i == 0 ? "\n      " : ",\n      ") + e.value()[i].dump();
                    text += "\n    ]";
                } else {
                    text += e.value().dump();
                }
            }
            text += firstEntry ? (isObject ? "}" : "]") : (isObject ? "\n  }" : "\n  ]");
        } else {
            text += it.value().dump();
        }
    }
    text += "\n}\n";
    return text;
}

void writeWholeFile(const std::string& path, const std::string& text) {
    const std::string temp = path + ".part-" + std::to_string(getpid());
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out || std::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        unlink(temp.c_str());
        throw HostError("cannot write " + path + (err != 0 ? std::string(": ") + std::strerror(err) : std::string()));
    }
}

void saveParamsFile(const std::string& path, const ParamsFile& file) { writeWholeFile(path, paramsText(file)); }

float trackValue(const ParamTrack& track, double frame, Rate rate) {
    const auto& keys = track.keys;
    // Keys are in the file's order; the one in force is the last whose time
    // has come (so two keys at one time make a jump).
    size_t i = 0;
    while (i + 1 < keys.size() && keyFrame(keys[i + 1], rate) <= frame) ++i;
    const Keyframe& k = keys[i];
    const double at = keyFrame(k, rate);
    if (frame <= at || i + 1 == keys.size() || k.hold) return k.value;
    const Keyframe& next = keys[i + 1];
    const double t = (frame - at) / (keyFrame(next, rate) - at);
    return float(double(k.value) + (double(next.value) - double(k.value)) * t);
}

}  // namespace vyrhost
