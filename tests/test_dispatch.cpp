// plugMain's routing, as every host sees it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "plugin_host.h"

using vyrtest::Instance;
using vyrtest::PluginLibrary;
using vyrtest::StderrCapture;

namespace {

class Dispatch : public ::testing::TestWithParam<std::string> {};

std::string runCommand(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return out;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p) != nullptr) out += buf;
    pclose(p);
    return out;
}

}  // namespace

TEST_P(Dispatch, UnknownCodesAnswerFailure) {
    PluginLibrary lib(GetParam());
    Instance inst(lib, 16, 16);
    for (uint32_t code : {17u, 18u, 100u, 0xFFFFFFFFu}) {
        FFMixed in;
        in.PointerValue = nullptr;
        FFMixed r = lib.callMixed(code, in, inst.id());
        EXPECT_EQ(r.UIntValue, ff::kFail) << code;
        EXPECT_EQ(r.PointerValue, reinterpret_cast<void*>(uintptr_t(ff::kFail))) << "upper half stays zero";
    }
}

TEST_P(Dispatch, InstanceCodesWithoutInstanceFailSilently) {
    PluginLibrary lib(GetParam());
    std::vector<uint8_t> frame(16 * 16 * 4);
    SetParameterStruct sp = {0, {}};
    StderrCapture notices;
    EXPECT_EQ(lib.callPtr(ff::kProcessFrame, frame.data(), nullptr).UIntValue, ff::kFail);
    EXPECT_EQ(lib.call(ff::kGetParameterDisplay, 0, nullptr), ff::kFail);
    EXPECT_EQ(lib.callPtr(ff::kSetParameter, &sp, nullptr).UIntValue, ff::kFail);
    EXPECT_EQ(lib.call(ff::kGetParameter, 0, nullptr), ff::kFail);
    EXPECT_EQ(lib.callPtr(ff::kProcessFrameCopy, frame.data(), nullptr).UIntValue, ff::kFail);
    EXPECT_EQ(lib.callPtr(ff::kProcessFrameMulti, frame.data(), nullptr).UIntValue, ff::kFail);
    EXPECT_EQ(lib.call(ff::kDeInstantiate, 0, nullptr), ff::kFail);
    EXPECT_EQ(notices.text(), "");
}

TEST_P(Dispatch, InitialiseAndDeInitialiseAlwaysSucceed) {
    PluginLibrary lib(GetParam());
    EXPECT_EQ(lib.call(ff::kDeInitialise, 0), 0u);
    EXPECT_EQ(lib.call(ff::kInitialise, 0), 0u);
    EXPECT_EQ(lib.call(ff::kInitialise, 0), 0u);
    EXPECT_EQ(lib.call(ff::kDeInitialise, 0), 0u);
    EXPECT_EQ(lib.call(ff::kDeInitialise, 0), 0u);
}

TEST_P(Dispatch, ParameterTypeIsStandardForAnyInput) {
    PluginLibrary lib(GetParam());
    const uint32_t n = lib.numParameters();
    for (uint32_t v : {0u, n - 1, n, 12345u, 0xFFFFFFFFu}) EXPECT_EQ(lib.call(ff::kGetParameterType, v), 10u);
}

TEST_P(Dispatch, IndicesOutOfRangeAreRefusedWithoutTouchingAnything) {
    PluginLibrary lib(GetParam());
    Instance inst(lib, 16, 16);
    const uint32_t n = lib.numParameters();
    for (uint32_t i : {n, n + 1, 0xFFFFFFFFu}) {
        EXPECT_EQ(lib.call(ff::kGetParameterName, i), ff::kFail);
        EXPECT_EQ(lib.call(ff::kGetParameterDefault, i), ff::kFail);
        EXPECT_EQ(lib.call(ff::kGetParameterDisplay, i, inst.id()), ff::kFail);
        EXPECT_EQ(lib.call(ff::kGetParameter, i, inst.id()), ff::kFail);
        EXPECT_EQ(inst.setParameter(i, 0.3f), ff::kFail);
    }
    EXPECT_EQ(lib.callPtr(ff::kSetParameter, nullptr, inst.id()).UIntValue, ff::kFail);
    for (uint32_t i = 0; i < n; ++i) EXPECT_EQ(inst.getParameter(i), lib.parameterDefault(i));
}

TEST_P(Dispatch, IndicesIgnoreTheUpperHalfOfTheInputWord) {
    if (sizeof(void*) != 8) GTEST_SKIP() << "only a 64-bit input word has an upper half";
    PluginLibrary lib(GetParam());
    Instance inst(lib, 16, 16);
    FFMixed in;
    in.PointerValue = reinterpret_cast<void*>(uintptr_t(0xDEADBEEF00000001ull));
    EXPECT_EQ(lib.callMixed(ff::kGetParameterDefault, in, nullptr).UIntValue, lib.call(ff::kGetParameterDefault, 1));
    EXPECT_EQ(lib.callMixed(ff::kGetParameter, in, inst.id()).UIntValue, lib.call(ff::kGetParameter, 1, inst.id()));
    in.PointerValue = reinterpret_cast<void*>(uintptr_t(0xDEADBEEF00000002ull));
    EXPECT_EQ(lib.callMixed(ff::kGetPluginCaps, in, nullptr).UIntValue, 1u);
}

TEST_P(Dispatch, SetParameterStoresAnyValueAndAnswersZero) {
    PluginLibrary lib(GetParam());
    Instance inst(lib, 16, 16);
    EXPECT_EQ(inst.setParameter(0, 1.5f), 0u);
    EXPECT_EQ(inst.getParameter(0), 1.5f);
    EXPECT_EQ(inst.setParameter(0, -0.25f), 0u);
    EXPECT_EQ(inst.getParameter(0), -0.25f);
    EXPECT_EQ(inst.setParameter(0, 0.125f), 0u);
    EXPECT_EQ(inst.getParameter(0), 0.125f);
}

TEST_P(Dispatch, MultiFrameEntryRefusesChannelNumbers) {
    PluginLibrary lib(GetParam());
    Instance inst(lib, 16, 16);
    {
        StderrCapture notices;
        EXPECT_EQ(lib.call(ff::kProcessFrameMulti, 0, inst.id()), ff::kFail);
        EXPECT_EQ(notices.text(), "Vyr_Multi: Error: pFrameData == NULL\n");
    }
    StderrCapture notices;
    for (uint32_t channel : {1u, 2u, 255u, 65535u})
        EXPECT_EQ(lib.call(ff::kProcessFrameMulti, channel, inst.id()), ff::kFail);
    EXPECT_EQ(notices.text(), "");
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, Dispatch, ::testing::ValuesIn(vyrtest::allPluginNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

TEST(DispatchCounts, NumberOfParametersPerPlugin) {
    EXPECT_EQ(PluginLibrary("VyrSnowSpecks1").numParameters(), 7u);
    EXPECT_EQ(PluginLibrary("VyrGlobHeap1").numParameters(), 14u);
    EXPECT_EQ(PluginLibrary("VyrGlobSwirl1").numParameters(), 16u);
    EXPECT_EQ(PluginLibrary("VyrBrushDrift1").numParameters(), 14u);
}

TEST(DispatchCounts, DefaultBitsOfSnowSpecksDotScale) {
    PluginLibrary lib("VyrSnowSpecks1");
    EXPECT_EQ(lib.call(ff::kGetParameterDefault, 1), 0x3F400000u);
    Instance inst(lib, 16, 16);
    EXPECT_EQ(lib.call(ff::kGetParameter, 1, inst.id()), 0x3F400000u);
}

TEST(Exports, PlugMainIsTheOnlyExportedFunction) {
    for (const std::string& name : vyrtest::allPluginNames()) {
        const std::string out = runCommand("nm -D --defined-only '" + vyrtest::pluginPath(name) + "'");
        ASSERT_FALSE(out.empty()) << "nm gave nothing for " << name;
        std::vector<std::string> functions;
        size_t pos = 0;
        while (pos < out.size()) {
            size_t end = out.find('\n', pos);
            if (end == std::string::npos) end = out.size();
            const std::string line = out.substr(pos, end - pos);
            pos = end + 1;
            char addr[64], type[8], sym[256];
            if (std::sscanf(line.c_str(), "%63s %7s %255s", addr, type, sym) != 3) continue;
            // Every defined dynamic symbol counts, functions and data alike.
            functions.push_back(sym);
        }
        EXPECT_EQ(functions, std::vector<std::string>{"plugMain"}) << name << ":\n" << out;
    }
}

TEST(Exports, AllFourLibrariesWorkSideBySideInOneProcess) {
    std::vector<std::unique_ptr<PluginLibrary>> libs;
    for (const std::string& name : vyrtest::allPluginNames()) libs.emplace_back(new PluginLibrary(name));
    for (const auto& lib : libs) {
        EXPECT_EQ(std::string(lib->info()->PluginName), lib->name()) << "each library answers with its own data";
        Instance inst(*lib, 32, 16);
        std::vector<uint8_t> frame(inst.frameBytes(), 0);
        EXPECT_EQ(inst.processFrame(frame), 0u);
    }
}
