// plugMain: the library's only exported symbol.
#include <cstring>

#include "plug_obj.h"

namespace {

// A FreeFrame 1.0 host may pass an input-channel number to code 16; no
// record can live in the first 64 KiB of an address space.
constexpr uintptr_t kLowestRecordAddress = 65536;

FFMixed answer(uint32_t value) {
    FFMixed r;
    r.PointerValue = nullptr;
    r.UIntValue = value;
    return r;
}

FFMixed answerFloat(float value) {
    FFMixed r;
    r.PointerValue = nullptr;
    r.FloatValue = value;
    return r;
}

FFMixed answerPointer(const void* address) {
    FFMixed r;
    r.PointerValue = const_cast<void*>(address);
    return r;
}

FFMixed answerStatus(int status) { return answer(status == 0 ? 0u : ff::kFail); }

PlugInfoStruct makeInfo() {
    PlugInfoStruct info = {};
    info.APIMajorVersion = 1;
    info.APIMinorVersion = 0;
    std::memcpy(info.PluginUniqueID, pluginDescriptor.uniqueId, 4);
    std::memcpy(info.PluginName, pluginDescriptor.name, strnlen(pluginDescriptor.name, sizeof info.PluginName));
    info.PluginType = pluginDescriptor.type;
    return info;
}

PlugExtendedInfoStruct makeExtendedInfo() {
    PlugExtendedInfoStruct info = {};
    info.PluginMajorVersion = pluginDescriptor.majorVersion;
    info.PluginMinorVersion = pluginDescriptor.minorVersion;
    info.Description = pluginDescriptor.description;
    info.About = pluginDescriptor.about;
    info.FreeFrameExtendedDataSize = 0;
    info.FreeFrameExtendedDataBlock = nullptr;
    return info;
}

// Filled once, on the first call, under the initialisation guard of a
// function-local static: a UI thread and a render thread asking at the same
// time both get the complete record, and no call ever rewrites it.
const PlugInfoStruct* getInfo() {
    static const PlugInfoStruct info = makeInfo();
    return &info;
}

const PlugExtendedInfoStruct* getExtendedInfo() {
    static const PlugExtendedInfoStruct info = makeExtendedInfo();
    return &info;
}

bool indexIsValid(uint32_t index) { return index < pluginDescriptor.numParams; }

bool needsInstance(uint32_t code) {
    switch (code) {
        case ff::kProcessFrame:
        case ff::kGetParameterDisplay:
        case ff::kSetParameter:
        case ff::kGetParameter:
        case ff::kProcessFrameCopy:
        case ff::kProcessFrameMulti:
            return true;
        default:
            return false;
    }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) FFMixed plugMain(uint32_t functionCode, FFMixed inputValue,
                                                                   FFInstanceID instanceID) {
    PlugObj* obj = static_cast<PlugObj*>(instanceID);
    if (needsInstance(functionCode) && obj == nullptr) return answer(ff::kFail);
    // Indices and codes live in the low 32 bits; hosts may leave the upper
    // half of a 64-bit FFMixed uninitialised.
    const uint32_t index = inputValue.UIntValue;

    switch (functionCode) {
        case ff::kGetInfo:
            return answerPointer(getInfo());
        case ff::kInitialise:
        case ff::kDeInitialise:
            return answer(0);
        case ff::kProcessFrame:
            return answerStatus(obj->processFrame(inputValue.PointerValue));
        case ff::kGetNumParameters:
            return answer(pluginDescriptor.numParams);
        case ff::kGetParameterName:
            if (!indexIsValid(index)) return answer(ff::kFail);
            return answerPointer(paramTable[index].name);
        case ff::kGetParameterDefault:
            if (!indexIsValid(index)) return answer(ff::kFail);
            return answerFloat(readDefault(paramTable, index));
        case ff::kGetParameterDisplay:
            if (!indexIsValid(index)) return answer(ff::kFail);
            return answerPointer(obj->getParameterDisplay(index));
        case ff::kSetParameter: {
            const SetParameterStruct* p = static_cast<const SetParameterStruct*>(inputValue.PointerValue);
            if (p == nullptr || !indexIsValid(p->ParameterNumber)) return answer(ff::kFail);
            obj->setParameter(p->ParameterNumber, p->NewParameterValue.FloatValue);
            return answer(0);
        }
        case ff::kGetParameter:
            if (!indexIsValid(index)) return answer(ff::kFail);
            return answerFloat(obj->getParameter(index));
        case ff::kGetPluginCaps:
            return answer(pluginCaps(index));
        case ff::kInstantiate: {
            PlugObj* created = instantiate(static_cast<const VideoInfoStruct*>(inputValue.PointerValue));
            if (created == nullptr) return answer(ff::kFail);
            return answerPointer(created);
        }
        case ff::kDeInstantiate:
            return answerStatus(deInstantiate(obj));
        case ff::kGetExtendedInfo:
            return answerPointer(getExtendedInfo());
        case ff::kProcessFrameCopy:
            return answerStatus(
                obj->processFrameCopy(static_cast<const ProcessFrameCopyStruct*>(inputValue.PointerValue)));
        case ff::kGetParameterType:
            return answer(ff::kParamTypeStandard);
        case ff::kProcessFrameMulti: {
            const uintptr_t address = reinterpret_cast<uintptr_t>(inputValue.PointerValue);
            // Channel 0 meets the null check with its notice; other channel
            // numbers are refused silently, without reading memory there.
            if (address != 0 && address < kLowestRecordAddress) return answer(ff::kFail);
            return answerStatus(obj->processFrameMulti(static_cast<FrameMultiStruct*>(inputValue.PointerValue)));
        }
        default:
            return answer(ff::kFail);
    }
}
