#include <cstdint>
#include <cstdlib>
#include <new>

#include "isa.h"
#include "plug_obj.h"

int PlugObj::bytesPerPixel() const {
    switch (videoInfo.BitDepth) {
        case ff::kDepth32:
            return 4;
        case ff::kDepth24:
            return 3;
        default:
            return 2;
    }
}

size_t PlugObj::frameBytes() const {
    return static_cast<size_t>(width()) * static_cast<size_t>(height()) * static_cast<size_t>(bytesPerPixel());
}

void PlugObj::clampParams() {
    for (ParamValueStruct& p : paramValues) p.value = clampParam(p.value);
}

const char* PlugObj::getParameterDisplay(uint32_t index) {
    ParamValueStruct& p = paramValues[index];
    formatDisplayValue(p.value, p.displayValue);
    return p.displayValue;
}

void releaseSlot(FrameImageStruct* slot) {
    slot->formatCode = ff::kFormatPlain;
    if (slot->pixels != nullptr) {
        if (slot->pixels2 != nullptr && slot->pixels2 != slot->pixels) std::free(slot->pixels2);
        std::free(slot->pixels);
    }
    slot->pixels = nullptr;
    slot->pixels2 = nullptr;
    slot->width = 0;
    slot->height = 0;
    slot->reserved1 = 0;
    slot->reserved2 = 0;
    slot->bytesPerPixel = 0;
}

namespace {

// The instance's own record and its 32 slots live in one block.
struct OwnedMulti {
    FrameMultiStruct record;
    FrameImageStruct slots[2 * kMaxSlots];
};

FrameMultiStruct* createMulti() {
    OwnedMulti* owned = new (std::nothrow) OwnedMulti();
    if (owned == nullptr) return nullptr;
    owned->record.numInputs = 0;
    owned->record.numOutputs = 0;
    for (int i = 0; i < kMaxSlots; ++i) {
        owned->record.inputs[i] = &owned->slots[i];
        owned->record.outputs[i] = &owned->slots[kMaxSlots + i];
    }
    for (FrameImageStruct& s : owned->slots) s.formatCode = ff::kFormatPlain;
    return &owned->record;
}

void releaseMulti(FrameMultiStruct* record) {
    if (record == nullptr) return;
    OwnedMulti* owned = reinterpret_cast<OwnedMulti*>(record);
    for (FrameImageStruct& s : owned->slots) releaseSlot(&s);
    delete owned;
}

// A frame must fit in a signed 32-bit byte count, the size every buffer
// computation of the generators assumes.
bool frameSizeIsUsable(const VideoInfoStruct& info) {
    if (info.FrameWidth == 0 || info.FrameHeight == 0) return false;
    const uint64_t bytesPerPixel = info.BitDepth == ff::kDepth32 ? 4 : 3;
    const uint64_t bytes = uint64_t(info.FrameWidth) * uint64_t(info.FrameHeight) * bytesPerPixel;
    return bytes <= uint64_t(INT32_MAX);
}

}  // namespace

PlugObj* instantiate(const VideoInfoStruct* pVideoInfo, const RandomSource& randomSource) {
    if (pVideoInfo == nullptr) return nullptr;
    const VideoInfoStruct info = *pVideoInfo;
    if (info.BitDepth != ff::kDepth24 && info.BitDepth != ff::kDepth32) return nullptr;
    if (!frameSizeIsUsable(info)) return nullptr;

    chooseIsa();
    PlugObj* obj = new (std::nothrow) PlugObj();
    if (obj == nullptr) return nullptr;
    obj->fMultiReady = false;
    obj->videoInfo = info;
    obj->randomSource = randomSource;
    float defaults[kNumParams];
    readDefaults(paramTable, kNumParams, defaults);
    for (uint32_t i = 0; i < kNumParams; ++i) obj->paramValues[i].value = defaults[i];
    obj->fMulti = createMulti();
    if (obj->fMulti == nullptr) {
        delete obj;
        return nullptr;
    }
    obj->fMultiReady = true;
    try {
        createScene(*obj);
    } catch (...) {
        deInstantiate(obj);
        return nullptr;
    }
    return obj;
}

int deInstantiate(PlugObj* pPlugObj) {
    if (pPlugObj == nullptr) return -1;
    pPlugObj->fMultiReady = false;
    releaseMulti(pPlugObj->fMulti);
    pPlugObj->fMulti = nullptr;
    delete pPlugObj;  // the scene members release their own buffers
    return 0;
}
