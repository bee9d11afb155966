#include "isa.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

std::atomic<int> gActive{-1};

bool cpuHas(Isa isa) {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    switch (isa) {
        case Isa::Avx512:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                   __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq");
        case Isa::Avx2:
            return __builtin_cpu_supports("avx2");
        default:
            return true;
    }
#else
    return isa == Isa::Portable;
#endif
}

}  // namespace

Isa bestIsa() {
    for (Isa isa : {Isa::Avx512, Isa::Avx2})
        if (cpuHas(isa)) return isa;
    return Isa::Portable;
}

void chooseIsa() {
    const char* wanted = std::getenv("VYR_ISA");
    Isa isa = bestIsa();
    if (wanted != nullptr) {
        Isa asked = isa;
        if (std::strcmp(wanted, "portable") == 0) asked = Isa::Portable;
        if (std::strcmp(wanted, "avx2") == 0) asked = Isa::Avx2;
        if (std::strcmp(wanted, "avx512") == 0) asked = Isa::Avx512;
        if (static_cast<int>(asked) < static_cast<int>(isa)) isa = asked;
    }
    gActive.store(static_cast<int>(isa), std::memory_order_relaxed);
}

Isa activeIsa() {
    int isa = gActive.load(std::memory_order_relaxed);
    if (isa < 0) {
        chooseIsa();
        isa = gActive.load(std::memory_order_relaxed);
    }
    return static_cast<Isa>(isa);
}
