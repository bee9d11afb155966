// FreeFrame 1.0 records and codes as a Linux host sees them.
//
// The layouts follow natural alignment, so a 64-bit build gets the 64-bit
// FreeFrame binding that Linux hosts load, and a 32-bit build gets the
// classic 32-bit layouts byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

typedef union FFMixed {
    uint32_t UIntValue;
    float FloatValue;
    void* PointerValue;
} FFMixed;

typedef void* FFInstanceID;

typedef FFMixed (*FFPlugMain)(uint32_t functionCode, FFMixed inputValue, FFInstanceID instanceID);

struct PlugInfoStruct {
    uint32_t APIMajorVersion;
    uint32_t APIMinorVersion;
    char PluginUniqueID[4];  // no terminator
    char PluginName[16];     // NUL-padded
    uint32_t PluginType;     // 0 = effect, 1 = source
};

struct PlugExtendedInfoStruct {
    uint32_t PluginMajorVersion;
    uint32_t PluginMinorVersion;
    const char* Description;
    const char* About;
    uint32_t FreeFrameExtendedDataSize;
    void* FreeFrameExtendedDataBlock;
};

struct VideoInfoStruct {
    uint32_t FrameWidth;
    uint32_t FrameHeight;
    uint32_t BitDepth;     // 0 = 16 bits, 1 = 24 bits, 2 = 32 bits
    uint32_t Orientation;  // stored, never read
};

struct SetParameterStruct {
    uint32_t ParameterNumber;
    FFMixed NewParameterValue;  // the float sits in FloatValue
};

struct ProcessFrameCopyStruct {
    uint32_t numInputFrames;
    void** ppInputFrames;
    void* pOutputFrame;
};

struct FrameImageStruct {
    int32_t formatCode;
    int32_t bytesPerPixel;
    void* pixels;
    int32_t width;
    int32_t height;
    void* pixels2;
    int32_t reserved1;
    int32_t reserved2;
};

enum {
    kMaxSlots = 16
};

struct FrameMultiStruct {
    uint32_t numInputs;
    FrameImageStruct* inputs[kMaxSlots];
    uint32_t numOutputs;
    FrameImageStruct* outputs[kMaxSlots];
};

}  // extern "C"

#if defined(__x86_64__)
static_assert(sizeof(PlugInfoStruct) == 32, "PlugInfoStruct layout");
static_assert(sizeof(PlugExtendedInfoStruct) == 40, "PlugExtendedInfoStruct layout");
static_assert(sizeof(SetParameterStruct) == 16 && offsetof(SetParameterStruct, NewParameterValue) == 8,
              "SetParameterStruct layout");
static_assert(sizeof(ProcessFrameCopyStruct) == 24, "ProcessFrameCopyStruct layout");
static_assert(sizeof(FrameImageStruct) == 40 && offsetof(FrameImageStruct, pixels2) == 24, "FrameImageStruct layout");
static_assert(sizeof(FrameMultiStruct) == 272 && offsetof(FrameMultiStruct, numOutputs) == 136,
              "FrameMultiStruct layout");
#elif defined(__i386__)
static_assert(sizeof(PlugInfoStruct) == 32, "PlugInfoStruct layout");
static_assert(sizeof(PlugExtendedInfoStruct) == 24, "PlugExtendedInfoStruct layout");
static_assert(sizeof(SetParameterStruct) == 8, "SetParameterStruct layout");
static_assert(sizeof(ProcessFrameCopyStruct) == 12, "ProcessFrameCopyStruct layout");
static_assert(sizeof(FrameImageStruct) == 32 && offsetof(FrameImageStruct, pixels2) == 20, "FrameImageStruct layout");
static_assert(sizeof(FrameMultiStruct) == 136 && offsetof(FrameMultiStruct, numOutputs) == 68,
              "FrameMultiStruct layout");
#endif

namespace ff {

// Function codes of plugMain.
enum FunctionCode : uint32_t {
    kGetInfo = 0,
    kInitialise = 1,
    kDeInitialise = 2,
    kProcessFrame = 3,
    kGetNumParameters = 4,
    kGetParameterName = 5,
    kGetParameterDefault = 6,
    kGetParameterDisplay = 7,
    kSetParameter = 8,
    kGetParameter = 9,
    kGetPluginCaps = 10,
    kInstantiate = 11,
    kDeInstantiate = 12,
    kGetExtendedInfo = 13,
    kProcessFrameCopy = 14,
    kGetParameterType = 15,
    kProcessFrameMulti = 16,  // the code FreeFrame 1.0 calls getInputStatus
};

constexpr uint32_t kFail = 0xFFFFFFFFu;
constexpr uint32_t kTypeEffect = 0;
constexpr uint32_t kTypeSource = 1;
constexpr uint32_t kParamTypeStandard = 10;
constexpr int32_t kFormatPlain = 1;
constexpr int32_t kFormatPacked8 = 1001;
constexpr uint32_t kDepth16 = 0;
constexpr uint32_t kDepth24 = 1;
constexpr uint32_t kDepth32 = 2;

}  // namespace ff
