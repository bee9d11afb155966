// A minimal FreeFrame 1.0 effect that vyrhost's tests load in place of a
// real plug-in, to watch what the host does: it passes its input through,
// writes the "Level" parameter into pixel 0 and a number drawn from rand()
// at instantiation into pixel 1, refuses frames 7 pixels wide, fails the
// frame that "Fail Frame" names and crashes at the one "Crash Frame" names.
// With VYR_PROBE_STALL=N:FILE in its environment it creates FILE at frame N
// and then takes two seconds over that frame, whatever signals arrive, so
// that a test can interrupt a render while the plug-in is busy.
//
// Built again with VYR_MISBEHAVE set, it is one of the broken plug-ins a
// host must outlive: 1 crashes in getInfo, 2 crashes while the library
// loads, 3 answers a wild getInfo address, 4 a wild parameter name
// address, 5 a wild description address, 6 calls exit() in getInfo, 7 lets
// a C++ exception out of plugMain, 8 hangs in getInfo, 9 answers
// instantiate with the failure word in the low half and garbage above it,
// 10 crashes in instantiate (after it described itself well), 11 lets a C++
// exception out of processFrame and processFrameCopy.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include <unistd.h>

#include "ffapi.h"

namespace {

struct ParamDef {
    const char* name;
    float defaultValue;
};
const ParamDef kParams[] = {{"Level", 0.5f}, {"Fail Frame", 0.0f}, {"Crash Frame", 0.0f}};
constexpr uint32_t kNumParams = 3;

struct Probe {
    uint32_t width, height, bpp;
    float values[kNumParams];
    char display[kNumParams][16];
    long frame = 0;
    uint8_t drawn;
};

PlugInfoStruct info;
PlugExtendedInfoStruct extInfo;
char names[kNumParams][16];

FFMixed word(uint32_t v) {
    FFMixed r;
    r.PointerValue = nullptr;
    r.UIntValue = v;
    return r;
}

FFMixed address(const void* p) {
    FFMixed r;
    r.PointerValue = const_cast<void*>(p);
    return r;
}

uint32_t floatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// A frame parameter v > 0 names frame round(v x 1000), counted from 0.
bool isFrame(const Probe& p, uint32_t param) {
    const float v = p.values[param];
    return v > 0.0f && p.frame == long(v * 1000.0f + 0.5f);
}

void stallIfAsked(const Probe& p) {
    const char* stall = std::getenv("VYR_PROBE_STALL");
    char* file = nullptr;
    if (stall == nullptr || std::strtol(stall, &file, 10) != p.frame || *file != ':') return;
    if (FILE* f = std::fopen(file + 1, "w")) std::fclose(f);
    for (int k = 0; k < 20; ++k) usleep(100000);
}

bool shouldFail(const Probe& p) {
    if (isFrame(p, 2)) std::raise(SIGSEGV);
    stallIfAsked(p);
    return isFrame(p, 1);
}

void mark(const Probe& p, uint8_t* frame) {
    float level = p.values[0];
    if (!(level > 0.0f)) level = 0.0f;
    if (level > 1.0f) level = 1.0f;
    const uint8_t v = uint8_t(level * 255.0f);
    std::memset(frame, v, 3);
    if (p.width * p.height > 1) std::memset(frame + p.bpp, p.drawn, 3);
}

uint32_t processFrame(Probe& p, uint8_t* frame) {
    if (frame == nullptr || shouldFail(p)) return ff::kFail;
    ++p.frame;
    mark(p, frame);
    return 0;
}

uint32_t processFrameCopy(Probe& p, const ProcessFrameCopyStruct* pfc) {
    if (pfc == nullptr || pfc->numInputFrames == 0 || shouldFail(p)) return ff::kFail;
    auto* out = static_cast<uint8_t*>(pfc->pOutputFrame);
    std::memcpy(out, pfc->ppInputFrames[0], size_t(p.width) * p.height * p.bpp);
    ++p.frame;
    mark(p, out);
    return 0;
}

#ifndef VYR_MISBEHAVE
#define VYR_MISBEHAVE 0
#endif

#if VYR_MISBEHAVE == 2
const int kCrashAtLoad = [] {
    std::raise(SIGSEGV);
    return 0;
}();
#endif

const void* const kWild = reinterpret_cast<const void*>(uintptr_t(0x10));

// The broken answer of this build for `code`, if it has one.
bool misbehave(uint32_t code, FFMixed& answer) {
    switch (VYR_MISBEHAVE) {
        case 1:
            if (code == ff::kGetInfo) std::raise(SIGSEGV);
            break;
        case 3:
            if (code == ff::kGetInfo) return answer = address(kWild), true;
            break;
        case 4:
            if (code == ff::kGetParameterName) return answer = address(kWild), true;
            break;
        case 5:
            if (code == ff::kGetExtendedInfo) {
                extInfo.Description = static_cast<const char*>(kWild);
                return answer = address(&extInfo), true;
            }
            break;
        case 6:
            if (code == ff::kGetInfo) std::exit(3);
            break;
        case 7:
            if (code == ff::kGetInfo) throw std::runtime_error("thrown out of plugMain");
            break;
        case 8:
            if (code == ff::kGetInfo)
                for (;;) pause();
            break;
        case 9:
            if (code == ff::kInstantiate && sizeof(void*) == 8) {
                answer.PointerValue = reinterpret_cast<void*>(uintptr_t(0xDEADBEEF00000000ull));
                answer.UIntValue = ff::kFail;
                return true;
            }
            break;
        case 10:
            if (code == ff::kInstantiate) std::raise(SIGSEGV);
            break;
        case 11:
            if (code == ff::kProcessFrame || code == ff::kProcessFrameCopy)
                throw std::runtime_error("thrown out of a frame");
            break;
        default:
            break;
    }
    return false;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) FFMixed plugMain(uint32_t code, FFMixed in, FFInstanceID id) {
    Probe* p = static_cast<Probe*>(id);
    FFMixed broken;
    if (misbehave(code, broken)) return broken;
    switch (code) {
        case ff::kGetInfo:
            info.APIMajorVersion = 1;
            info.APIMinorVersion = 0;
            std::memcpy(info.PluginUniqueID, "tprb", 4);
            std::memset(info.PluginName, 0, 16);
            std::strcpy(info.PluginName, "HostProbe");
            info.PluginType = ff::kTypeEffect;
            return address(&info);
        case ff::kInitialise:
        case ff::kDeInitialise:
            return word(0);
        case ff::kGetNumParameters:
            return word(kNumParams);
        case ff::kGetParameterName:
            if (in.UIntValue >= kNumParams) return word(ff::kFail);
            std::memset(names[in.UIntValue], 0, 16);
            std::strcpy(names[in.UIntValue], kParams[in.UIntValue].name);
            return address(names[in.UIntValue]);
        case ff::kGetParameterDefault:
            if (in.UIntValue >= kNumParams) return word(ff::kFail);
            return word(floatBits(kParams[in.UIntValue].defaultValue));
        case ff::kGetParameterType:
            return word(ff::kParamTypeStandard);
        case ff::kGetPluginCaps:
            switch (in.UIntValue) {
                case 1:
                case 2:
                case 3:
                case 10:
                case 11:
                    return word(1);
                case 15:
                    return word(3);
                default:
                    return word(0);
            }
        case ff::kGetExtendedInfo:
            extInfo.PluginMajorVersion = 1;
            extInfo.PluginMinorVersion = 2;
            extInfo.Description = "Test probe for vyrhost";
            extInfo.About = "HostProbe - test only";
            extInfo.FreeFrameExtendedDataSize = 0;
            extInfo.FreeFrameExtendedDataBlock = nullptr;
            return address(&extInfo);
        case ff::kInstantiate: {
            const auto* vi = static_cast<const VideoInfoStruct*>(in.PointerValue);
            if (vi == nullptr || vi->FrameWidth == 7 || (vi->BitDepth != 1 && vi->BitDepth != 2))
                return word(ff::kFail);
            Probe* np = new (std::nothrow) Probe;
            if (np == nullptr) return word(ff::kFail);
            np->width = vi->FrameWidth;
            np->height = vi->FrameHeight;
            np->bpp = vi->BitDepth == 2 ? 4 : 3;
            for (uint32_t i = 0; i < kNumParams; ++i) np->values[i] = kParams[i].defaultValue;
            np->drawn = uint8_t(std::rand() % 256);
            return address(np);
        }
        default:
            break;
    }
    if (p == nullptr) return word(ff::kFail);
    switch (code) {
        case ff::kDeInstantiate:
            delete p;
            return word(0);
        case ff::kProcessFrame:
            return word(processFrame(*p, static_cast<uint8_t*>(in.PointerValue)));
        case ff::kProcessFrameCopy:
            return word(processFrameCopy(*p, static_cast<const ProcessFrameCopyStruct*>(in.PointerValue)));
        case ff::kSetParameter: {
            const auto* sp = static_cast<const SetParameterStruct*>(in.PointerValue);
            if (sp == nullptr || sp->ParameterNumber >= kNumParams) return word(ff::kFail);
            p->values[sp->ParameterNumber] = sp->NewParameterValue.FloatValue;
            return word(0);
        }
        case ff::kGetParameter:
            if (in.UIntValue >= kNumParams) return word(ff::kFail);
            return word(floatBits(p->values[in.UIntValue]));
        case ff::kGetParameterDisplay:
            if (in.UIntValue >= kNumParams) return word(ff::kFail);
            std::memset(p->display[in.UIntValue], 0, 16);
            std::snprintf(p->display[in.UIntValue], 16, "%.2f", double(p->values[in.UIntValue]));
            return address(p->display[in.UIntValue]);
        default:
            return word(ff::kFail);
    }
}
