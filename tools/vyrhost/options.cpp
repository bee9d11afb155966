#include "options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "host_error.h"

namespace vyrhost {

namespace {

constexpr long kMaxSide = 16384;
// FreeFrame frame sizes are signed 32-bit byte counts.
static_assert(kMaxSide * kMaxSide * 4 <= INT32_MAX, "a largest 32-bit frame must fit");

bool parseLong(const std::string& text, long& out) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    out = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

bool parseDouble(const std::string& text, double& out) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return errno == 0 && end != text.c_str() && *end == '\0' && std::isfinite(out);
}

bool endsWithPng(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".png";
}

// Position of the one %d-style field ("%d", "%4d", "%04d") of a pattern, or
// npos when there is none; throws when there are several or a stray '%'.
size_t sequenceField(const std::string& pattern, size_t& fieldEnd) {
    size_t field = std::string::npos;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') continue;
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[j]))) ++j;
        if (j >= pattern.size() || pattern[j] != 'd' || j - i > 3)
            throw HostError("output name \"" + pattern +
                            "\": only one %d-style field (such as %04d) may appear; "
                            "write %% for a percent sign");
        if (field != std::string::npos) throw HostError("output name \"" + pattern + "\" has more than one %d field");
        field = i;
        fieldEnd = j + 1;
        i = j;
    }
    return field;
}

}  // namespace

long parseCount(const std::string& text, const std::string& option, long min, long max) {
    long v = 0;
    // A minus sign only where the range has room for it (-1 for "none").
    const size_t sign = min < 0 && !text.empty() && text[0] == '-' ? 1 : 0;
    bool ok = text.size() > sign && text.size() <= 19;
    for (size_t k = sign; k < text.size(); ++k) ok = ok && std::isdigit(static_cast<unsigned char>(text[k]));
    if (ok) ok = parseLong(text.substr(sign), v);
    if (sign != 0) v = -v;
    ok = ok && v >= min && v <= max;
    if (!ok)
        throw HostError(option + " \"" + text + "\": expected a whole number from " + std::to_string(min) + " to " +
                        std::to_string(max));
    return v;
}

FrameSize parseSize(const std::string& text) {
    const size_t x = text.find_first_of("xX");
    long w = 0, h = 0;
    if (x == std::string::npos || !parseLong(text.substr(0, x), w) || !parseLong(text.substr(x + 1), h))
        throw HostError("bad size \"" + text + "\": expected WIDTHxHEIGHT, such as 1280x720");
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide)
        throw HostError("bad size \"" + text + "\": width and height run from 1 to " + std::to_string(kMaxSide));
    return {int(w), int(h)};
}

float parseParamValue(const std::string& text, const std::string& what) {
    double v = 0.0;
    if (!parseDouble(text, v) || v < 0.0 || v > 1.0)
        throw HostError(what + ": \"" + text + "\" is not a number from 0 to 1");
    return float(v);
}

ParamSetting parseSet(const std::string& text) {
    const size_t eq = text.rfind('=');
    if (eq == std::string::npos || eq == 0)
        throw HostError("--set \"" + text + "\": expected NAME=VALUE, such as \"Dot Scale=0.9\"");
    ParamSetting s;
    s.key = text.substr(0, eq);
    s.from = s.to = parseParamValue(text.substr(eq + 1), "--set " + s.key);
    return s;
}

ParamSetting parseRamp(const std::string& text) {
    const size_t eq = text.rfind('=');
    const size_t colon = text.rfind(':');
    if (eq == std::string::npos || eq == 0 || colon == std::string::npos || colon < eq)
        throw HostError("--ramp \"" + text + "\": expected NAME=FROM:TO, such as \"Angle Z=0:1\"");
    ParamSetting s;
    s.key = text.substr(0, eq);
    s.from = parseParamValue(text.substr(eq + 1, colon - eq - 1), "--ramp " + s.key);
    s.to = parseParamValue(text.substr(colon + 1), "--ramp " + s.key);
    s.ramp = true;
    return s;
}

float settingValue(const ParamSetting& s, long frame, long frames) {
    if (!s.ramp || frames <= 1 || frame <= 0) return s.from;
    if (frame >= frames - 1) return s.to;
    const double t = double(frame) / double(frames - 1);
    return float(double(s.from) * (1.0 - t) + double(s.to) * t);
}

OutputKind classifyOutput(const std::string& path) {
    if (path == "-") return OutputKind::RawStdout;
    if (path.empty()) throw HostError("empty output name");
    size_t fieldEnd = 0;
    if (sequenceField(path, fieldEnd) != std::string::npos) {
        if (!endsWithPng(path))
            throw HostError("output name \"" + path + "\": numbered sequences are written as PNG, end it in .png");
        return OutputKind::PngSequence;
    }
    return endsWithPng(path) ? OutputKind::Png : OutputKind::Video;
}

std::string sequenceFileName(const std::string& pattern, long index) {
    size_t fieldEnd = 0;
    const size_t field = sequenceField(pattern, fieldEnd);
    std::string out;
    // Only the field is formatted; everything else is copied with %% undone.
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (i == field) {
            char buf[32];
            std::snprintf(buf, sizeof buf, ("%" + pattern.substr(field + 1, fieldEnd - field - 2) + "ld").c_str(),
                          index);
            out += buf;
            i = fieldEnd - 1;
        } else if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == '%') {
            out += '%';
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::string plainOutputName(const std::string& path) {
    // Without a field, the sequence formatter only undoes the doubled signs.
    return sequenceFileName(path, 0);
}

ClipLength clipLength(long askedFrames, long fileFrames, OutputKind kind, bool inputIsClip, long inputFrames,
                      bool hasRamps, const std::string& input) {
    // A clip of two seconds at the usual 30 frames per second.
    constexpr long kDefaultClipFrames = 60;
    ClipLength c;
    c.frames = askedFrames > 0 ? askedFrames : fileFrames;
    if (c.frames == 0 && kind != OutputKind::Png && inputIsClip) {
        c.frames = -1;
        c.rampFrames = inputFrames;
        if (inputFrames < 1 && hasRamps)
            throw HostError("the length of " + input + " is not known; give --frames to ramp over it");
        return c;
    }
    if (c.frames == 0) c.frames = kind == OutputKind::Png ? 1 : kDefaultClipFrames;
    c.rampFrames = c.frames;
    return c;
}

Rate parseRate(const std::string& text) {
    const size_t slash = text.find('/');
    if (slash != std::string::npos) {
        long num = 0, den = 0;
        if (parseLong(text.substr(0, slash), num) && parseLong(text.substr(slash + 1), den) && num > 0 && den > 0 &&
            num <= 1000000 && den <= 1000000)
            return {int(num), int(den)};
    } else {
        double v = 0.0;
        if (parseDouble(text, v) && v >= 0.01 && v <= 1000.0) {
            // Whole rates stay exact; others keep three decimals.
            if (v == std::floor(v)) return {int(v), 1};
            return {int(std::lround(v * 1000.0)), 1000};
        }
    }
    throw HostError("bad frame rate \"" + text + "\": expected a number such as 30 or a fraction such as 30000/1001");
}

}  // namespace vyrhost
