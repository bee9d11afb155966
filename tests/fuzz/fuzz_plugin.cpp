// libFuzzer target: one plug-in, both faces, linked in directly. Each input
// is a sequence of host calls - plugMain with any code, index, float bits
// and geometry, and the frei0r entry points - on up to three FreeFrame and
// two frei0r instances at once. Every answer is checked against what the
// README promises, every buffer is allocated to its exact size so that any
// overrun is caught by AddressSanitizer, and input frames are compared
// before and after every call that must leave them alone.
#include <fuzzer/FuzzedDataProvider.h>
#include <omp.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "descriptor.h"
#include "ffapi.h"
#include "plugin_members.h"

extern "C" {
#include <frei0r.h>
FFMixed plugMain(uint32_t functionCode, FFMixed inputValue, FFInstanceID instanceID);
}

namespace {

// Host calls made, for the calls-per-second figure printed at exit.
uint64_t gCalls = 0;

FFMixed call(uint32_t code, FFMixed value, void* instance) {
    ++gCalls;
    return plugMain(code, value, instance);
}

template <typename Entry, typename... Args>
auto counted(Entry entry, Args... args) {
    ++gCalls;
    return entry(args...);
}

// A broken promise: print what and where, then stop as a crash would, so
// that libFuzzer keeps the input.
#define PROMISE(cond)                                                                        \
    do {                                                                                     \
        if (!(cond)) {                                                                       \
            std::fprintf(stderr, "broken promise: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            std::abort();                                                                    \
        }                                                                                    \
    } while (0)

uint32_t floatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

float bitsFloat(uint32_t u) {
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

// The value a frame leaves in a parameter: the nearest value in 0..1, NaN
// and -0 as +0.
float clampedValue(float v) {
    if (!(v > 0.0f)) return 0.0f;
    return v > 1.0f ? 1.0f : v;
}

FFMixed word(uint32_t v) {
    FFMixed m;
    m.PointerValue = nullptr;
    m.UIntValue = v;
    return m;
}

FFMixed address(const void* p) {
    FFMixed m;
    m.PointerValue = const_cast<void*>(p);
    return m;
}

bool failed(FFMixed answer) { return answer.UIntValue == ff::kFail; }

// A buffer of exactly n bytes, filled from the input.
struct Buffer {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
    Buffer(FuzzedDataProvider& in, size_t n) : bytes(new uint8_t[n]), size(n) {
        const uint8_t fill = in.ConsumeIntegral<uint8_t>();
        for (size_t i = 0; i < n; ++i) bytes[i] = uint8_t(fill + i * 7);
    }
    std::vector<uint8_t> copy() const { return std::vector<uint8_t>(bytes.get(), bytes.get() + size); }
    bool equals(const std::vector<uint8_t>& v) const {
        return v.size() == size && std::memcmp(v.data(), bytes.get(), size) == 0;
    }
};

// Sizes: mostly tiny (1x1, 1xN, Nx1, odd), sometimes a little larger.
uint32_t pickSide(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            return 1;
        case 1:
            return in.ConsumeIntegralInRange<uint32_t>(1, 9);
        case 2:
            return in.ConsumeIntegralInRange<uint32_t>(1, 40);
        default:
            return in.ConsumeIntegralInRange<uint32_t>(1, 130);
    }
}

// Geometry the plug-ins must refuse without allocating: a zero side, or a
// frame beyond a signed 32-bit byte count.
void pickRefusedGeometry(FuzzedDataProvider& in, uint32_t& w, uint32_t& h) {
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            w = 0;
            h = pickSide(in);
            break;
        case 1:
            w = pickSide(in);
            h = 0;
            break;
        case 2:
            w = 0x80000000u;
            h = 1;
            break;
        default:
            w = in.ConsumeIntegralInRange<uint32_t>(65536, 0xFFFFFFFFu);
            h = in.ConsumeIntegralInRange<uint32_t>(65536, 0xFFFFFFFFu);
            break;
    }
}

// Float bits: values in range, the edges, NaNs, infinities, denormals,
// negative zero, or anything.
float pickFloat(FuzzedDataProvider& in) {
    static const uint32_t kSpecial[] = {0x00000000, 0x80000000, 0x3F800000, 0x3F000000, 0x7FC00000,
                                        0xFFC00001, 0x7FA00000, 0x7F800000, 0xFF800000, 0x00000001,
                                        0x807FFFFF, 0x3F800001, 0xBF800000, 0x4F000000, 0xCF000000};
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
        case 0:
            return in.ConsumeFloatingPointInRange<float>(0.0f, 1.0f);
        case 1:
            return bitsFloat(kSpecial[in.ConsumeIntegralInRange<size_t>(0, std::size(kSpecial) - 1)]);
        default:
            return bitsFloat(in.ConsumeIntegral<uint32_t>());
    }
}

double pickDouble(FuzzedDataProvider& in) {
    if (in.ConsumeBool()) return double(pickFloat(in));
    uint64_t bits = in.ConsumeIntegral<uint64_t>();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// Indices: valid ones, the first invalid ones, or anything.
uint32_t pickIndex(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
        case 0:
            return in.ConsumeIntegralInRange<uint32_t>(0, kNumParams - 1);
        case 1:
            return in.ConsumeIntegralInRange<uint32_t>(kNumParams, kNumParams + 2);
        default:
            return in.ConsumeIntegral<uint32_t>();
    }
}

struct FFInst {
    void* id;
    uint32_t width, height, bpp;
    // What getParameter must answer, bit for bit: the value as set until a
    // frame runs, then the clamped value. A refused frame call may or may
    // not have clamped (`orClamped` allows both).
    uint32_t expected[kNumParams];
    uint32_t orClamped[kNumParams];
    size_t frameBytes() const { return size_t(width) * height * bpp; }
    void frameRan(bool rendered) {
        for (uint32_t i = 0; i < kNumParams; ++i) {
            orClamped[i] = floatBits(clampedValue(bitsFloat(expected[i])));
            if (rendered) expected[i] = orClamped[i];
        }
    }
    void parameterSet(uint32_t i, uint32_t bits) { expected[i] = orClamped[i] = bits; }
};

// The frei0r face's parameters: the plug-in's own, then any the face adds
// (a seed). Read from f0r_get_plugin_info at start.
int gFrei0rParams = kNumParams;
constexpr int kMaxFrei0rParams = kNumParams + 8;

struct F0rInst {
    f0r_instance_t id;
    uint32_t width, height;
    double expected[kMaxFrei0rParams];
    size_t frameBytes() const { return size_t(width) * height * 4; }
};

constexpr size_t kMaxFF = 3;
constexpr size_t kMaxF0r = 2;

void checkInfo() {
    const FFMixed a = call(ff::kGetInfo, word(0), nullptr);
    const auto* info = static_cast<const PlugInfoStruct*>(a.PointerValue);
    PROMISE(info != nullptr);
    PROMISE(info->APIMajorVersion == 1 && info->APIMinorVersion == 0);
    PROMISE(std::memcmp(info->PluginUniqueID, pluginDescriptor.uniqueId, 4) == 0);
    PROMISE(strnlen(info->PluginName, 16) == std::strlen(pluginDescriptor.name));
    PROMISE(std::memcmp(info->PluginName, pluginDescriptor.name, std::strlen(pluginDescriptor.name)) == 0);
    PROMISE(info->PluginType == pluginDescriptor.type);
    const auto* ext =
        static_cast<const PlugExtendedInfoStruct*>(call(ff::kGetExtendedInfo, word(0), nullptr).PointerValue);
    PROMISE(ext != nullptr && ext->Description != nullptr && ext->About != nullptr);
    PROMISE(ext->PluginMajorVersion == pluginDescriptor.majorVersion);
    PROMISE(call(ff::kGetNumParameters, word(0), nullptr).UIntValue == kNumParams);
}

void checkDescriptorCall(FuzzedDataProvider& in) {
    const uint32_t index = pickIndex(in);
    const bool valid = index < kNumParams;
    switch (in.ConsumeIntegralInRange<int>(0, 4)) {
        case 0: {
            const FFMixed a = call(ff::kGetParameterName, word(index), nullptr);
            PROMISE(failed(a) == !valid);
            if (valid) {
                const char* name = static_cast<const char*>(a.PointerValue);
                PROMISE(strnlen(name, 16) < 16 && strnlen(name, 16) > 0);
            }
            break;
        }
        case 1: {
            const FFMixed a = call(ff::kGetParameterDefault, word(index), nullptr);
            if (valid)
                PROMISE(a.FloatValue >= 0.0f && a.FloatValue <= 1.0f);
            else
                PROMISE(failed(a));
            break;
        }
        case 2:
            PROMISE(call(ff::kGetParameterType, word(index), nullptr).UIntValue == ff::kParamTypeStandard);
            break;
        case 3: {
            const uint32_t caps = call(ff::kGetPluginCaps, word(index), nullptr).UIntValue;
            if (index == ff::kDepth16) PROMISE(caps == 0);
            if (index == ff::kDepth24 || index == ff::kDepth32) PROMISE(caps == 1);
            break;
        }
        default: {
            // Unknown codes fail; instance codes fail without an instance.
            static const uint32_t kCodes[] = {ff::kProcessFrame, ff::kGetParameterDisplay, ff::kSetParameter,
                                              ff::kGetParameter, ff::kProcessFrameCopy,    ff::kProcessFrameMulti};
            const uint32_t code = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(17, 0xFFFFFFFFu)
                                                   : kCodes[in.ConsumeIntegralInRange<size_t>(0, 5)];
            PROMISE(failed(plugMain(code, word(index), nullptr)));
            break;
        }
    }
}

void instantiate(FuzzedDataProvider& in, std::vector<FFInst>& insts) {
    VideoInfoStruct vi;
    vi.BitDepth = in.ConsumeIntegralInRange<uint32_t>(0, 4);
    const bool refusedSize = in.ConsumeIntegralInRange<int>(0, 7) == 0;
    if (refusedSize) {
        pickRefusedGeometry(in, vi.FrameWidth, vi.FrameHeight);
    } else {
        vi.FrameWidth = pickSide(in);
        vi.FrameHeight = pickSide(in);
    }
    vi.Orientation = in.ConsumeIntegral<uint32_t>();
    const bool nullRecord = in.ConsumeIntegralInRange<int>(0, 15) == 0;
    const FFMixed a = call(ff::kInstantiate, address(nullRecord ? nullptr : &vi), nullptr);
    const bool acceptable = !nullRecord && (vi.BitDepth == ff::kDepth24 || vi.BitDepth == ff::kDepth32) && !refusedSize;
    PROMISE(failed(a) == !acceptable);
    if (!acceptable) return;
    PROMISE(a.PointerValue != nullptr);
    FFInst inst{a.PointerValue, vi.FrameWidth, vi.FrameHeight, vi.BitDepth == ff::kDepth32 ? 4u : 3u, {}, {}};
    for (uint32_t i = 0; i < kNumParams; ++i)
        inst.parameterSet(i, call(ff::kGetParameterDefault, word(i), nullptr).UIntValue);
    for (uint32_t i = 0; i < kNumParams; ++i)
        PROMISE(call(ff::kGetParameter, word(i), inst.id).UIntValue == inst.expected[i]);
    insts.push_back(inst);
}

// A caller's multi-frame record: its slot 0 images are the instance's
// geometry, or (when the input says so) something else, which must be
// refused without a byte read or written outside the declared buffers.
void processMulti(FuzzedDataProvider& in, FFInst& inst) {
    const int choice = in.ConsumeIntegralInRange<int>(0, 7);
    if (choice <= 1) {
        const uint32_t channel = choice == 0 ? in.ConsumeIntegralInRange<uint32_t>(1, 65535) : 0;
        PROMISE(failed(call(ff::kProcessFrameMulti, word(channel), inst.id)));
        inst.frameRan(false);
        return;
    }
    FrameImageStruct images[2] = {};
    bool usable = true;
    const int depth = in.ConsumeBool() ? int(inst.bpp) : in.ConsumeIntegralInRange<int>(0, 5);
    for (FrameImageStruct& img : images) {
        const bool same = in.ConsumeIntegralInRange<int>(0, 5) != 0;
        img.formatCode = ff::kFormatPacked8;
        img.bytesPerPixel = depth;
        img.width = same ? int32_t(inst.width) : int32_t(pickSide(in));
        img.height = same ? int32_t(inst.height) : int32_t(pickSide(in));
        usable = usable && img.width == int32_t(inst.width) && img.height == int32_t(inst.height);
    }
    usable = usable && (depth == 3 || depth == 4) &&
             (!pluginDescriptor.slotDepthMustMatchInstance || depth == int(inst.bpp));
    std::vector<Buffer> buffers;
    buffers.reserve(2);
    for (FrameImageStruct& img : images) {
        buffers.emplace_back(in, size_t(img.width) * size_t(img.height) * size_t(std::max(depth, 1)));
        img.pixels = buffers.back().bytes.get();
    }
    FrameMultiStruct record = {};
    record.numInputs = 1;
    record.numOutputs = 1;
    record.inputs[0] = &images[0];
    record.outputs[0] = &images[1];
    if (in.ConsumeIntegralInRange<int>(0, 9) == 0) {
        record.numInputs = 0;
        usable = false;
    }
    const FFMixed a = call(ff::kProcessFrameMulti, address(&record), inst.id);
    PROMISE(failed(a) == !usable);
    inst.frameRan(usable);
}

void frameCall(FuzzedDataProvider& in, FFInst& inst) {
    const size_t bytes = inst.frameBytes();
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: {
            if (in.ConsumeIntegralInRange<int>(0, 9) == 0) {
                PROMISE(failed(call(ff::kProcessFrame, address(nullptr), inst.id)));
                inst.frameRan(false);
                return;
            }
            Buffer frame(in, bytes);
            PROMISE(call(ff::kProcessFrame, address(frame.bytes.get()), inst.id).UIntValue == 0);
            break;
        }
        case 1: {
            // Input frames are never written; extra inputs are ignored.
            const uint32_t count = in.ConsumeIntegralInRange<uint32_t>(0, 3);
            std::vector<Buffer> inputs;
            std::vector<void*> pointers;
            for (uint32_t i = 0; i < std::max(count, 1u); ++i) {
                inputs.emplace_back(in, bytes);
                pointers.push_back(inputs.back().bytes.get());
            }
            std::vector<std::vector<uint8_t>> before;
            for (const Buffer& b : inputs) before.push_back(b.copy());
            Buffer output(in, bytes);
            ProcessFrameCopyStruct copy = {count, pointers.data(), output.bytes.get()};
            const bool inPlace = in.ConsumeIntegralInRange<int>(0, 7) == 0;
            if (inPlace) copy.pOutputFrame = pointers[0];
            const FFMixed a = call(ff::kProcessFrameCopy, address(&copy), inst.id);
            PROMISE(failed(a) == (count == 0));
            for (size_t i = inPlace ? 1 : 0; i < inputs.size(); ++i) PROMISE(inputs[i].equals(before[i]));
            inst.frameRan(count != 0);
            return;
        }
        default:
            processMulti(in, inst);
            return;
    }
    inst.frameRan(true);
}

void parameterCall(FuzzedDataProvider& in, FFInst& inst) {
    const uint32_t index = pickIndex(in);
    const bool valid = index < kNumParams;
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
        case 0: {
            SetParameterStruct sp;
            sp.NewParameterValue.PointerValue = reinterpret_cast<void*>(in.ConsumeIntegral<uintptr_t>());
            sp.ParameterNumber = index;
            sp.NewParameterValue.FloatValue = pickFloat(in);
            const bool nullRecord = in.ConsumeIntegralInRange<int>(0, 15) == 0;
            const FFMixed a = call(ff::kSetParameter, address(nullRecord ? nullptr : &sp), inst.id);
            PROMISE(failed(a) == (nullRecord || !valid));
            if (!nullRecord && valid) inst.parameterSet(index, floatBits(sp.NewParameterValue.FloatValue));
            break;
        }
        case 1: {
            const FFMixed a = call(ff::kGetParameter, word(index), inst.id);
            if (valid)
                PROMISE(a.UIntValue == inst.expected[index] || a.UIntValue == inst.orClamped[index]);
            else
                PROMISE(failed(a));
            break;
        }
        default: {
            const FFMixed a = call(ff::kGetParameterDisplay, word(index), inst.id);
            PROMISE(failed(a) == !valid);
            if (valid) PROMISE(strnlen(static_cast<const char*>(a.PointerValue), 16) < 16);
            break;
        }
    }
}

void frei0rConstruct(FuzzedDataProvider& in, std::vector<F0rInst>& insts) {
    const bool refusedSize = in.ConsumeIntegralInRange<int>(0, 7) == 0;
    uint32_t w, h;
    if (refusedSize) {
        pickRefusedGeometry(in, w, h);
    } else {
        w = pickSide(in);
        h = pickSide(in);
    }
    f0r_instance_t id = counted(f0r_construct, w, h);
    PROMISE((id == nullptr) == refusedSize);
    if (id == nullptr) return;
    F0rInst inst{id, w, h, {}};
    for (int i = 0; i < gFrei0rParams; ++i) {
        counted(f0r_get_param_value, id, &inst.expected[i], i);
        PROMISE(inst.expected[i] >= 0.0 && inst.expected[i] <= 1.0);
    }
    insts.push_back(inst);
}

void frei0rCall(FuzzedDataProvider& in, F0rInst& inst) {
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: {
            const int index =
                in.ConsumeBool() ? int(pickIndex(in) % uint32_t(gFrei0rParams + 2)) - 1 : in.ConsumeIntegral<int>();
            double v = pickDouble(in);
            counted(f0r_set_param_value, inst.id, &v, index);
            if (index >= 0 && index < gFrei0rParams) inst.expected[index] = v;
            break;
        }
        case 1: {
            // Exactly what was set, whatever frames ran since.
            const int index = in.ConsumeIntegralInRange<int>(0, gFrei0rParams - 1);
            double v = 0.0;
            counted(f0r_get_param_value, inst.id, &v, index);
            PROMISE(std::memcmp(&v, &inst.expected[index], sizeof v) == 0);
            break;
        }
        default: {
            const bool withInput = in.ConsumeBool();
            Buffer input(in, inst.frameBytes());
            const std::vector<uint8_t> before = input.copy();
            Buffer output(in, inst.frameBytes());
            // Times mostly within ten seconds, rarely within ten minutes
            // (far enough for the motion checkpoints to be thinned), or none
            // at all: the face replays the motion up to the asked time, so
            // far seeks are slow by design (measured in the benchmarks, not
            // here) and would leave the fuzzer a few inputs a second.
            const int pick = in.ConsumeIntegralInRange<int>(0, 63);
            double time = bitsFloat(in.ConsumeBool() ? 0x7FC00000u : 0xBF800000u);
            if (pick == 8)
                time = in.ConsumeFloatingPointInRange<double>(-1.0, 600.0);
            else if (pick > 8)
                time = in.ConsumeFloatingPointInRange<double>(-1.0, 10.0);
            const uint32_t* src = withInput ? reinterpret_cast<const uint32_t*>(input.bytes.get()) : nullptr;
            auto* dst = reinterpret_cast<uint32_t*>(output.bytes.get());
            if (in.ConsumeBool())
                counted(f0r_update, inst.id, time, src, dst);
            else
                counted(f0r_update2, inst.id, time, src, in.ConsumeBool() ? src : nullptr, nullptr, dst);
            PROMISE(input.equals(before));
            break;
        }
    }
}

void frei0rInfo(FuzzedDataProvider& in) {
    f0r_plugin_info_t info;
    counted(f0r_get_plugin_info, &info);
    PROMISE(info.num_params == gFrei0rParams && std::strcmp(info.name, pluginDescriptor.name) == 0);
    PROMISE(info.color_model == F0R_COLOR_MODEL_BGRA8888);
    f0r_param_info_t p = {nullptr, -1, nullptr};
    const int index = in.ConsumeIntegral<int>();
    counted(f0r_get_param_info, &p, index);
    const bool valid = index >= 0 && index < gFrei0rParams;
    PROMISE((p.name != nullptr) == valid);
    if (valid) PROMISE(p.type == F0R_PARAM_DOUBLE && std::strlen(p.name) < 16);
    // The plug-in's own parameters keep their FreeFrame names and order.
    if (index >= 0 && index < kNumParams) PROMISE(std::strcmp(p.name, paramTable[index].name) == 0);
}

void reportCalls() {
    std::printf("%s: %llu host calls\n", pluginDescriptor.name, static_cast<unsigned long long>(gCalls));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::atexit(reportCalls);
    f0r_init();
    f0r_plugin_info_t info;
    f0r_get_plugin_info(&info);
    gFrei0rParams = info.num_params;
    PROMISE(gFrei0rParams >= kNumParams && gFrei0rParams <= kMaxFrei0rParams);
    PROMISE(failed(call(ff::kInitialise, word(0), nullptr)) == false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::srand(in.ConsumeIntegral<unsigned>());
    omp_set_num_threads(in.ConsumeIntegralInRange<int>(0, 7) == 0 ? in.ConsumeIntegralInRange<int>(2, 3) : 1);
    std::vector<FFInst> ff;
    std::vector<F0rInst> f0r;
    for (int step = 0; step < 48 && in.remaining_bytes() > 0; ++step) {
        const int op = in.ConsumeIntegralInRange<int>(0, 11);
        switch (op) {
            case 0:
                checkInfo();
                break;
            case 1:
                checkDescriptorCall(in);
                break;
            case 2:
                if (ff.size() < kMaxFF) instantiate(in, ff);
                break;
            case 3:
            case 4:
                if (!ff.empty()) frameCall(in, ff[in.ConsumeIntegralInRange<size_t>(0, ff.size() - 1)]);
                break;
            case 5:
            case 6:
                if (!ff.empty()) parameterCall(in, ff[in.ConsumeIntegralInRange<size_t>(0, ff.size() - 1)]);
                break;
            case 7:
                if (!ff.empty()) {
                    const size_t k = in.ConsumeIntegralInRange<size_t>(0, ff.size() - 1);
                    PROMISE(call(ff::kDeInstantiate, word(0), ff[k].id).UIntValue == 0);
                    ff.erase(ff.begin() + long(k));
                } else {
                    PROMISE(failed(call(ff::kDeInstantiate, word(0), nullptr)));
                }
                break;
            case 8:
                if (f0r.size() < kMaxF0r) frei0rConstruct(in, f0r);
                break;
            case 9:
            case 10:
                if (!f0r.empty()) frei0rCall(in, f0r[in.ConsumeIntegralInRange<size_t>(0, f0r.size() - 1)]);
                break;
            default:
                if (!f0r.empty() && in.ConsumeBool()) {
                    const size_t k = in.ConsumeIntegralInRange<size_t>(0, f0r.size() - 1);
                    counted(f0r_destruct, f0r[k].id);
                    f0r.erase(f0r.begin() + long(k));
                } else {
                    frei0rInfo(in);
                }
                break;
        }
    }
    for (FFInst& i : ff) PROMISE(call(ff::kDeInstantiate, word(0), i.id).UIntValue == 0);
    for (F0rInst& i : f0r) counted(f0r_destruct, i.id);
    return 0;
}
