// The frei0r face of every deliverable, loaded as a frei0r host loads it,
// against the FreeFrame face of the same deliverable.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "frei0r_host.h"
#include "plugin_host.h"

using vyrtest::Frei0rInstance;
using vyrtest::Frei0rLibrary;
using vyrtest::Instance;
using vyrtest::PluginLibrary;
using vyrtest::samePicture;
using vyrtest::someValues;

namespace {

class Frei0rFace : public ::testing::TestWithParam<std::string> {};

// A frei0r instance shows step n of its motion at n / 60 seconds; at seed 0
// its steps are the frames of a FreeFrame instance created after srand(1).
double stepTime(unsigned step) { return step / 60.0; }

// Non-default values for every parameter, away from the switches' edges.
// Comparisons set every parameter on both faces: a mode preset publishes
// new defaults into its own library's table, and the frei0r library stays
// loaded, so defaults may differ between the two faces after earlier tests.
void setAll(Frei0rInstance& f, const std::vector<float>& values) {
    for (size_t i = 0; i < values.size(); ++i) f.set(int(i), values[i]);
}

std::vector<uint8_t> freeFrameCopy(Instance& ff, const std::vector<uint8_t>& in) {
    std::vector<uint8_t> out(ff.frameBytes(), 0);
    EXPECT_EQ(ff.processFrameCopy({in.data()}, out), 0u);
    return out;
}

std::vector<std::string> definedDynamicSymbols(const std::string& path) {
    int status = 0;
    const std::vector<uint8_t> raw = vyrtest::commandOutput("nm -D --defined-only '" + path + "'", &status);
    EXPECT_EQ(status, 0) << "nm failed on " << path;
    std::vector<std::string> symbols;
    const std::string text(raw.begin(), raw.end());
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        char addr[64], type[8], sym[256];
        if (std::sscanf(text.substr(pos, end - pos).c_str(), "%63s %7s %255s", addr, type, sym) == 3)
            symbols.push_back(sym);
        pos = end + 1;
    }
    return symbols;
}

// The values of a process's first frei0r instance of each plug-in and the
// FreeFrame defaults, both taken before any test renders: once a library
// has rendered it stays loaded, and a mode preset's published defaults
// reach every later instance.
struct FirstValues {
    std::vector<double> frei0rInstance;
    std::vector<float> freeFrameDefaults;
};

std::map<std::string, FirstValues>& firstValues() {
    static std::map<std::string, FirstValues> values;
    return values;
}

class FirstInstances : public ::testing::Environment {
   public:
    void SetUp() override {
        for (const std::string& name : vyrtest::allPluginNames()) {
            FirstValues& v = firstValues()[name];
            PluginLibrary ff(name);
            for (uint32_t i = 0; i < ff.numParameters(); ++i) v.freeFrameDefaults.push_back(ff.parameterDefault(i));
            Frei0rLibrary lib(name);
            Frei0rInstance f(lib, 64, 48);
            for (int i = 0; i < lib.info().num_params; ++i) v.frei0rInstance.push_back(f.get(i));
        }
    }
};

const ::testing::Environment* const kFirstInstances = ::testing::AddGlobalTestEnvironment(new FirstInstances);

}  // namespace

TEST_P(Frei0rFace, ExportsOnlyTheFrei0rEntryPoints) {
    EXPECT_EQ(definedDynamicSymbols(vyrtest::frei0rPath(GetParam())), vyrtest::frei0rEntryPoints());
    Frei0rLibrary lib(GetParam());
    EXPECT_EQ(lib.symbol("plugMain"), nullptr);
}

TEST_P(Frei0rFace, PluginInfoMatchesTheFreeFrameFace) {
    Frei0rLibrary lib(GetParam());
    PluginLibrary ff(GetParam());
    const f0r_plugin_info_t info = lib.info();
    ASSERT_NE(info.name, nullptr);
    EXPECT_STREQ(info.name, GetParam().c_str());
    EXPECT_EQ(std::string(info.name), std::string(ff.info()->PluginName, strnlen(ff.info()->PluginName, 16)));
    ASSERT_NE(info.author, nullptr);
    EXPECT_STREQ(info.author, "the Vyr authors");
    EXPECT_EQ(info.plugin_type,
              ff.info()->PluginType == ff::kTypeSource ? F0R_PLUGIN_TYPE_SOURCE : F0R_PLUGIN_TYPE_FILTER);
    EXPECT_EQ(info.plugin_type == F0R_PLUGIN_TYPE_FILTER, GetParam() == "VyrBrushDrift1");
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_BGRA8888);
    EXPECT_EQ(info.frei0r_version, 1);
    EXPECT_EQ(info.major_version, int(ff.extendedInfo()->PluginMajorVersion));
    EXPECT_EQ(info.minor_version, int(ff.extendedInfo()->PluginMinorVersion));
    EXPECT_EQ(info.num_params, int(ff.numParameters()) + 1);  // and "Seed"
    ASSERT_NE(info.explanation, nullptr);
    EXPECT_STREQ(info.explanation, ff.extendedInfo()->Description);
}

TEST_P(Frei0rFace, EveryParameterIsADoubleNamedAsInTheFreeFrameFaceAndExplained) {
    Frei0rLibrary lib(GetParam());
    PluginLibrary ff(GetParam());
    const int n = int(ff.numParameters());
    for (int i = 0; i < n; ++i) {
        const f0r_param_info_t p = lib.paramInfo(i);
        ASSERT_NE(p.name, nullptr) << i;
        EXPECT_EQ(std::string(p.name), ff.parameterName(uint32_t(i))) << i;
        EXPECT_EQ(p.type, F0R_PARAM_DOUBLE) << i;
        ASSERT_NE(p.explanation, nullptr) << i;
        // What the value does, for the host's tooltip: more than the name again.
        EXPECT_GT(std::strlen(p.explanation), std::strlen(p.name)) << i;
    }
    const f0r_param_info_t seed = lib.paramInfo(n);
    ASSERT_NE(seed.name, nullptr);
    EXPECT_STREQ(seed.name, "Seed");
    EXPECT_EQ(seed.type, F0R_PARAM_DOUBLE);
    ASSERT_NE(seed.explanation, nullptr);
    EXPECT_NE(std::string(seed.explanation).find("1000000"), std::string::npos) << "the mapping is explained";
    for (int i : {-1, n + 1, n + 100}) {
        f0r_param_info_t p = {"untouched", 77, nullptr};
        lib.getParamInfo(&p, i);
        EXPECT_STREQ(p.name, "untouched") << i;
        EXPECT_EQ(p.type, 77) << i;
    }
    lib.getParamInfo(nullptr, 0);
    lib.getPluginInfo(nullptr);
}

TEST_P(Frei0rFace, InstancesStartAtTheDefaultsAndReadBackWhatWasSet) {
    Frei0rLibrary lib(GetParam());
    PluginLibrary ff(GetParam());
    const int n = int(ff.numParameters());
    const FirstValues& first = firstValues()[GetParam()];
    ASSERT_EQ(first.frei0rInstance.size(), size_t(n) + 1);
    ASSERT_EQ(first.freeFrameDefaults.size(), size_t(n));
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(first.frei0rInstance[size_t(i)], double(first.freeFrameDefaults[size_t(i)])) << i;
    EXPECT_EQ(first.frei0rInstance[size_t(n)], 0.0) << "Seed";

    {
        // Whatever look an instance shows (VyrGlobSwirl1's publish their
        // defaults), the next instance starts at the same values.
        Frei0rInstance busy(lib, 32, 24);
        for (int i = 0; i < n; ++i) busy.set(i, 1.0);
        busy.render(nullptr, stepTime(0));
        busy.render(nullptr, stepTime(1));
        Frei0rInstance next(lib, 32, 24);
        for (int i = 0; i <= n; ++i) EXPECT_EQ(next.get(i), first.frei0rInstance[size_t(i)]) << i;
    }

    Frei0rInstance f(lib, 64, 48);
    ASSERT_TRUE(f.ok());

    // A frei0r host reads back what it wrote, whatever frames ran since:
    // the frame operations clamp only the values they render with.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> written = {0.25, 1.5, -0.25, 1e9, 0.1234567890123, nan};
    for (int i = 0; i <= n; ++i) f.set(i, written[size_t(i) % written.size()]);
    f.render();
    f.render(nullptr, 1.0);
    for (int i = 0; i <= n; ++i) {
        const double w = written[size_t(i) % written.size()];
        if (std::isnan(w))
            EXPECT_TRUE(std::isnan(f.get(i))) << i;
        else
            EXPECT_EQ(f.get(i), w) << i;
    }

    // Indices outside the table and null values are ignored.
    for (int i : {-1, n + 1, 1 << 30}) {
        f.set(i, 0.5);
        EXPECT_EQ(f.get(i), -12345.0) << i;
    }
    lib.setParamValue(f.id(), nullptr, 0);
    lib.getParamValue(f.id(), nullptr, 0);
    EXPECT_EQ(f.get(0), written[0]);
}

TEST_P(Frei0rFace, UnusableSizesAreRefused) {
    Frei0rLibrary lib(GetParam());
    EXPECT_EQ(lib.construct(0, 48), nullptr);
    EXPECT_EQ(lib.construct(64, 0), nullptr);
    EXPECT_EQ(lib.construct(65536, 65536), nullptr);  // more bytes than a frame may have
    lib.destruct(nullptr);
    Frei0rInstance f(lib, 8, 8);
    EXPECT_TRUE(f.ok());
}

TEST_P(Frei0rFace, UpdateWithoutInputRendersLikeAFreeFrameHostFromABlackFrame) {
    Frei0rLibrary lib(GetParam());
    PluginLibrary ff(GetParam());
    const std::vector<float> values = someValues(ff.numParameters());
    std::vector<std::vector<uint8_t>> frei0rFrames, freeFrameFrames;
    {
        std::srand(12345);  // the frei0r face never draws from rand()
        Frei0rInstance f(lib, 64, 48);
        setAll(f, values);
        std::vector<uint8_t> out(f.frameBytes(), 0xA5);  // stale host memory must not show
        for (unsigned k = 0; k < 3; ++k) {
            f.update(nullptr, out, stepTime(k));
            frei0rFrames.push_back(out);
        }
    }
    {
        std::srand(1);
        Instance inst(ff, 64, 48);
        inst.setAll(values);
        for (int k = 0; k < 3; ++k) freeFrameFrames.push_back(inst.renderFrame());
    }
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(samePicture(frei0rFrames[k], freeFrameFrames[k])) << "frame " << k;
}

TEST_P(Frei0rFace, UpdateWithInputRendersLikeAFreeFrameCopy) {
    Frei0rLibrary lib(GetParam());
    PluginLibrary ff(GetParam());
    const std::vector<float> values = someValues(ff.numParameters());
    std::vector<std::vector<uint8_t>> frei0rFrames, freeFrameFrames;
    {
        std::srand(1);
        Frei0rInstance f(lib, 64, 48);
        setAll(f, values);
        std::vector<uint8_t> out(f.frameBytes(), 0x5A);
        for (unsigned k = 0; k < 3; ++k) {
            const std::vector<uint8_t> in = vyrtest::texturedPicture(64, 48, 4, k);
            f.update(&in, out, stepTime(k));
            frei0rFrames.push_back(out);
        }
    }
    {
        std::srand(1);
        Instance inst(ff, 64, 48);
        inst.setAll(values);
        for (unsigned k = 0; k < 3; ++k)
            freeFrameFrames.push_back(freeFrameCopy(inst, vyrtest::texturedPicture(64, 48, 4, k)));
    }
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(samePicture(frei0rFrames[k], freeFrameFrames[k])) << "frame " << k;
}

TEST_P(Frei0rFace, InPlaceUpdateRendersLikeAFreeFrameInPlaceFrame) {
    Frei0rLibrary lib(GetParam());
    PluginLibrary ff(GetParam());
    const std::vector<float> values = someValues(ff.numParameters(), 1);
    std::vector<std::vector<uint8_t>> frei0rFrames, freeFrameFrames;
    {
        std::srand(1);
        Frei0rInstance f(lib, 48, 32);
        setAll(f, values);
        for (unsigned k = 0; k < 2; ++k) {
            std::vector<uint8_t> frame = vyrtest::texturedPicture(48, 32, 4, k);
            lib.update(f.id(), stepTime(k), reinterpret_cast<const uint32_t*>(frame.data()),
                       reinterpret_cast<uint32_t*>(frame.data()));
            frei0rFrames.push_back(frame);
        }
    }
    {
        std::srand(1);
        Instance inst(ff, 48, 32);
        inst.setAll(values);
        for (unsigned k = 0; k < 2; ++k) {
            std::vector<uint8_t> frame = vyrtest::texturedPicture(48, 32, 4, k);
            EXPECT_EQ(inst.processFrame(frame), 0u);
            freeFrameFrames.push_back(frame);
        }
    }
    for (int k = 0; k < 2; ++k) EXPECT_TRUE(samePicture(frei0rFrames[k], freeFrameFrames[k])) << "frame " << k;
}

TEST_P(Frei0rFace, ParametersSetBetweenFramesActOnTheNextFrame) {
    Frei0rLibrary lib(GetParam());
    PluginLibrary ff(GetParam());
    const int n = int(ff.numParameters());
    const int last = n - 1;
    // Out-of-range doubles reach the frames as a FreeFrame host's clamped
    // values would; NaN counts as 0.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<float> values = someValues(ff.numParameters(), 2);
    std::vector<std::vector<uint8_t>> frei0rFrames, freeFrameFrames;
    {
        std::srand(1);
        Frei0rInstance f(lib, 64, 48);
        setAll(f, values);
        for (unsigned k = 0; k < 4; ++k) {
            if (k == 1) f.set(1, 0.9);
            if (k == 2) f.set(last, 1.75);
            if (k == 3) {
                f.set(1, nan);
                f.set(0, -3.0);
            }
            const std::vector<uint8_t> in = vyrtest::texturedPicture(64, 48, 4, k);
            frei0rFrames.push_back(f.render(&in, stepTime(k)));
        }
    }
    {
        std::srand(1);
        Instance inst(ff, 64, 48);
        inst.setAll(values);
        for (unsigned k = 0; k < 4; ++k) {
            if (k == 1) inst.setParameter(1, 0.9f);
            if (k == 2) inst.setParameter(uint32_t(last), 1.0f);
            if (k == 3) {
                inst.setParameter(1, 0.0f);
                inst.setParameter(0u, 0.0f);
            }
            freeFrameFrames.push_back(freeFrameCopy(inst, vyrtest::texturedPicture(64, 48, 4, k)));
        }
    }
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(samePicture(frei0rFrames[k], freeFrameFrames[k])) << "frame " << k;
}

TEST_P(Frei0rFace, AnInstanceConstructedAgainAtAnotherSizeRendersThatSize) {
    Frei0rLibrary lib(GetParam());
    PluginLibrary ff(GetParam());
    const unsigned sizes[][2] = {{64, 48}, {96, 32}, {16, 16}, {64, 48}};
    const std::vector<float> values = someValues(ff.numParameters(), 3);
    std::vector<std::vector<uint8_t>> frei0rFrames, freeFrameFrames;
    std::srand(1);
    for (const auto& s : sizes) {
        Frei0rInstance f(lib, s[0], s[1]);
        ASSERT_TRUE(f.ok());
        setAll(f, values);
        for (unsigned k = 0; k < 2; ++k) {
            const std::vector<uint8_t> in = vyrtest::texturedPicture(s[0], s[1], 4, k);
            frei0rFrames.push_back(f.render(&in, stepTime(k)));
            ASSERT_EQ(frei0rFrames.back().size(), size_t(s[0]) * s[1] * 4);
        }
    }
    for (const auto& s : sizes) {
        std::srand(1);
        Instance inst(ff, s[0], s[1]);
        inst.setAll(values);
        for (unsigned k = 0; k < 2; ++k)
            freeFrameFrames.push_back(freeFrameCopy(inst, vyrtest::texturedPicture(s[0], s[1], 4, k)));
    }
    for (size_t k = 0; k < frei0rFrames.size(); ++k)
        EXPECT_TRUE(samePicture(frei0rFrames[k], freeFrameFrames[k])) << "frame " << k;
}

TEST_P(Frei0rFace, InstancesDoNotShareRandomNumbersWithEachOtherOrTheProcess) {
    Frei0rLibrary lib(GetParam());
    PluginLibrary ff(GetParam());
    const std::vector<float> values = someValues(ff.numParameters());
    const std::vector<float> otherValues = someValues(ff.numParameters(), 4);
    // Interleaved, and with the process drawing from rand() in between,
    // each instance shows what it shows alone: a FreeFrame instance's frames
    // after srand(1), the sequence of the default seed.
    const int order[] = {0, 1, 1, 0, 0, 1};
    const unsigned w[] = {64, 32}, h[] = {48, 32};
    std::vector<std::vector<uint8_t>> frei0rFrames[2], freeFrameFrames[2];
    {
        Frei0rInstance a(lib, w[0], h[0]);
        Frei0rInstance b(lib, w[1], h[1]);
        setAll(a, otherValues);
        setAll(b, values);
        Frei0rInstance* both[] = {&a, &b};
        for (int i : order) {
            const unsigned k = unsigned(frei0rFrames[i].size());
            std::rand();
            const std::vector<uint8_t> in = vyrtest::texturedPicture(w[i], h[i], 4, k);
            frei0rFrames[i].push_back(both[i]->render(&in, stepTime(k)));
        }
    }
    for (int i = 0; i < 2; ++i) {
        std::srand(1);
        Instance solo(ff, w[i], h[i]);
        solo.setAll(i == 0 ? otherValues : values);
        for (unsigned k = 0; k < frei0rFrames[i].size(); ++k)
            freeFrameFrames[i].push_back(freeFrameCopy(solo, vyrtest::texturedPicture(w[i], h[i], 4, k)));
        for (size_t k = 0; k < frei0rFrames[i].size(); ++k)
            EXPECT_TRUE(samePicture(frei0rFrames[i][k], freeFrameFrames[i][k])) << "instance " << i << " frame " << k;
    }
}

TEST_P(Frei0rFace, TheSeedChoosesTheSceneAsSrandDoes) {
    Frei0rLibrary lib(GetParam());
    PluginLibrary ff(GetParam());
    const int seedIndex = int(ff.numParameters());
    const std::vector<uint8_t> in = vyrtest::texturedPicture(48, 32, 4, 0);
    std::vector<float> values = someValues(ff.numParameters());
    values[0] = 0.9f;  // switches on, where the first parameter is one
    auto frei0rAt = [&](double seed, unsigned step) {
        Frei0rInstance f(lib, 48, 32);
        setAll(f, values);
        f.set(seedIndex, seed);
        std::vector<uint8_t> out;
        for (unsigned k = 0; k <= step; ++k) out = f.render(&in, stepTime(k));
        return out;
    };
    auto freeFrameAfterSrand = [&](unsigned seed, unsigned frames) {
        std::srand(seed);
        Instance inst(ff, 48, 32);
        inst.setAll(values);
        std::vector<uint8_t> out;
        for (unsigned k = 0; k < frames; ++k) out = freeFrameCopy(inst, in);
        return out;
    };
    // Seed = round(value x 1000000); the C library takes seed 0 as 1.
    EXPECT_TRUE(samePicture(frei0rAt(0.000042, 3), freeFrameAfterSrand(42, 4)));
    EXPECT_TRUE(samePicture(frei0rAt(0.00004249, 3), freeFrameAfterSrand(42, 4)));
    EXPECT_TRUE(samePicture(frei0rAt(0.000001, 2), freeFrameAfterSrand(1, 3)));
    EXPECT_TRUE(samePicture(frei0rAt(-5.0, 2), freeFrameAfterSrand(1, 3)));
    EXPECT_TRUE(samePicture(frei0rAt(1.0, 1), freeFrameAfterSrand(1000000, 2)));
    EXPECT_TRUE(samePicture(frei0rAt(7.0, 1), freeFrameAfterSrand(1000000, 2)));
    EXPECT_FALSE(samePicture(frei0rAt(0.000042, 3), frei0rAt(0.000043, 3)));

    // A new seed set on a running instance takes effect at the next frame.
    Frei0rInstance f(lib, 48, 32);
    setAll(f, values);
    f.render(&in, stepTime(0));
    f.set(seedIndex, 0.000042);
    std::vector<uint8_t> out;
    for (unsigned k = 0; k <= 3; ++k) out = f.render(&in, stepTime(k));
    EXPECT_TRUE(samePicture(out, freeFrameAfterSrand(42, 4)));
}

TEST_P(Frei0rFace, Update2RendersTheSameFramesAsUpdate) {
    Frei0rLibrary lib(GetParam());
    std::vector<std::vector<uint8_t>> viaUpdate, viaUpdate2;
    const std::vector<uint8_t> other(64 * 48 * 4, 0x77);
    const double times[] = {0.0, 0.5, 0.25};
    {
        Frei0rInstance f(lib, 64, 48);
        for (unsigned k = 0; k < 3; ++k) {
            const std::vector<uint8_t> in = vyrtest::texturedPicture(64, 48, 4, k);
            viaUpdate.push_back(f.render(&in, times[k]));
        }
    }
    {
        Frei0rInstance f(lib, 64, 48);
        for (unsigned k = 0; k < 3; ++k) {
            const std::vector<uint8_t> in = vyrtest::texturedPicture(64, 48, 4, k);
            std::vector<uint8_t> out(f.frameBytes(), 0);
            lib.update2(f.id(), times[k], reinterpret_cast<const uint32_t*>(in.data()),
                        reinterpret_cast<const uint32_t*>(other.data()), nullptr,
                        reinterpret_cast<uint32_t*>(out.data()));
            viaUpdate2.push_back(out);
        }
    }
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(samePicture(viaUpdate[k], viaUpdate2[k])) << "frame " << k;
}

TEST_P(Frei0rFace, NullInstancesAndFramesAreIgnored) {
    Frei0rLibrary lib(GetParam());
    std::vector<uint8_t> frame(64 * 48 * 4, 0x33);
    double v = 0.5;
    lib.update(nullptr, 0.0, nullptr, reinterpret_cast<uint32_t*>(frame.data()));
    lib.update2(nullptr, 0.0, nullptr, nullptr, nullptr, reinterpret_cast<uint32_t*>(frame.data()));
    lib.setParamValue(nullptr, &v, 0);
    lib.getParamValue(nullptr, &v, 0);
    EXPECT_EQ(v, 0.5);
    Frei0rInstance f(lib, 64, 48);
    lib.update(f.id(), 0.0, reinterpret_cast<const uint32_t*>(frame.data()), nullptr);
    EXPECT_EQ(frame, std::vector<uint8_t>(64 * 48 * 4, 0x33));
}

TEST_P(Frei0rFace, UnloadingRightAfterAFrameIsSafe) {
    // The OpenMP runtime's worker threads outlive a frame; unloading the
    // plug-in must not unmap the code they wait in.
    for (int round = 0; round < 3; ++round) {
        Frei0rLibrary lib(GetParam());
        Frei0rInstance f(lib, 64, 48);
        const std::vector<uint8_t> in = vyrtest::texturedPicture(64, 48, 4, 0);
        f.render(&in);
    }
    void* stillLoaded = dlopen(vyrtest::frei0rPath(GetParam()).c_str(), RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(stillLoaded, nullptr);
    if (stillLoaded != nullptr) dlclose(stillLoaded);
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, Frei0rFace, ::testing::ValuesIn(vyrtest::allPluginNames()),
                         [](const ::testing::TestParamInfo<std::string>& p) { return p.param; });
