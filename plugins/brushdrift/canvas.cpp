// The first stage of a frame: the input picture on the paint canvas.
#include <cstring>

#include "brush_kernels.h"
#include "brush_stages.h"

namespace {

// The gain k is an 8-bit product kept to its low byte (not divided by 255):
// k = 1 copies, k = 255 gives the colour negative 256 - v, others wrap; m
// is the alpha mode.
template <int kBytesPerPixel>
void fillFromInput(uint8_t* canvas, const uint8_t* input, int begin, int end, int k, int m) {
    for (int p = begin; p < end; ++p) {
        const uint8_t* in = input + static_cast<size_t>(p) * kBytesPerPixel;
        uint8_t* cv = canvas + static_cast<size_t>(p) * 4;
        cv[0] = static_cast<uint8_t>(in[0] * k);
        cv[1] = static_cast<uint8_t>(in[1] * k);
        cv[2] = static_cast<uint8_t>(in[2] * k);
        if constexpr (kBytesPerPixel == 4)
            cv[3] = m == 0 ? 255 : m == 1 ? static_cast<uint8_t>(in[3] * k) : in[3];
        else
            cv[3] = 0;
    }
}

}  // namespace

void fillCanvasFromInput(SceneMembers& scene, const FrameShape& shape, const uint8_t* input, int inputGain,
                         int alphaMode, int rowBegin, int rowEnd) {
    uint8_t* canvas = scene.canvas.data();
    const int begin = rowBegin * shape.width;
    const int end = (rowEnd < 0 ? shape.height : rowEnd) * shape.width;
    if (inputGain == 0) {
        // Without input gain the canvas is black, opaque for 4-byte pixels,
        // whatever the input holds.
        const uint8_t black[4] = {0, 0, 0, static_cast<uint8_t>(shape.bytesPerPixel == 4 ? 255 : 0)};
        uint32_t cell;
        std::memcpy(&cell, black, 4);
        VYR_PICK_ISA_KERNEL(fillCells)(canvas + static_cast<size_t>(begin) * 4, end - begin, cell);
        return;
    }
    if (shape.bytesPerPixel == 4)
        fillFromInput<4>(canvas, input, begin, end, inputGain, alphaMode);
    else
        fillFromInput<3>(canvas, input, begin, end, inputGain, alphaMode);
}
