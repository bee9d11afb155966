// Instruction-set paths. The hot loops (blob stamping, cones, brush dots)
// are compiled once per path (vyr_isa_kernels in cmake/VyrPlugin.cmake):
// portable (any x86 the build targets), AVX2, and AVX-512 (F, BW, VL, DQ).
// Every path computes exactly the portable path's integers, so the pictures
// are the same on every path; only the speed differs.
//
// Each new instance takes the best path this CPU offers, or the one the
// environment variable VYR_ISA names ("portable", "avx2", "avx512"); a
// named path the CPU lacks gives the best one below it, any other value the
// best one there is.
#pragma once

enum class Isa : int {
    Portable = 0,
    Avx2 = 1,
    Avx512 = 2
};

// The best path this CPU offers.
Isa bestIsa();
// What VYR_ISA asks for on this CPU; called as each instance is created.
void chooseIsa();
// The path the kernels take now.
Isa activeIsa();

// The kernel of the active path among one kernel's three builds.
template <class Fn>
Fn isaKernel(Fn portable, Fn avx2, Fn avx512) {
    switch (activeIsa()) {
        case Isa::Avx512:
            return avx512;
        case Isa::Avx2:
            return avx2;
        default:
            return portable;
    }
}

// Declares the three builds of a kernel: name_portable, name_avx2, name_avx512.
#define VYR_DECLARE_ISA_KERNEL(ret, name, params) \
    ret name##_portable params;                   \
    ret name##_avx2 params;                       \
    ret name##_avx512 params;
#define VYR_PICK_ISA_KERNEL(name) isaKernel(&name##_portable, &name##_avx2, &name##_avx512)

// In a kernel source: the name of this build's copy of a kernel. Kernel
// sources use no inline functions or templates from headers, whose one
// shared copy could otherwise be a build the CPU cannot run.
#define VYR_ISA_CONCAT2(a, b) a##b
#define VYR_ISA_CONCAT(a, b) VYR_ISA_CONCAT2(a, b)
#define VYR_ISA_NAME(name) VYR_ISA_CONCAT(name, VYR_ISA_SUFFIX)
