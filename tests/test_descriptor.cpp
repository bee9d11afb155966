// What each plug-in tells a host before any instance exists.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plugin_host.h"

using vyrtest::Instance;
using vyrtest::PluginLibrary;

namespace {

struct Param {
    const char* name;
    uint32_t defaultBits;
};

struct Expected {
    const char* name;
    const char* id;
    uint32_t type;
    uint32_t minor;
    const char* description;
    const char* about;
    std::vector<Param> params;
};

uint32_t bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

const std::vector<Expected>& expectations() {
    // clang-format off
    static const std::vector<Expected> all = {
        {"VyrSnowSpecks1", "vr46", 1, 906,
         "Source plugin: creating what it says: white dots (of different size), 3D rotatable around center",
         "VyrSnowSpecks1 - Version 3.x - (c) the Vyr authors",
         {{"Draw Switch!", bits(0.5f)}, {"Dot Scale", 0x3F400000}, {"Angle X", bits(0.5f)}, {"Angle Y", bits(0.5f)},
          {"Angle Z", bits(0.5f)}, {"Brightness", bits(0.5f)}, {"Num Particles", bits(0.5f)}}},
        {"VyrGlobHeap1", "vr47", 1, 894, "Source plugin: A mass of blobs adjustable in size and number",
         "VyrGlobHeap1 - Version 3.x - (c) the Vyr authors",
         {{"Dot Scale", bits(0.8f)}, {"Speed", bits(0.5f)}, {"Num Particles", 0x3DA3D70A}, {"NoiseLevel", 0},
          {"Angle Anim", bits(0.5f)}, {"Angle X", bits(0.5f)}, {"Angle Y", bits(0.5f)}, {"Angle Z", bits(0.5f)},
          {"Origin X", bits(0.5f)}, {"Origin Y", bits(0.5f)}, {"Origin Z", bits(0.5f)}, {"Trans X", bits(0.5f)},
          {"Trans Y", bits(0.5f)}, {"Trans Z", bits(0.5f)}}},
        {"VyrGlobSwirl1", "vr48", 1, 876, "Source plugin: many many blobs? rotate in 3D!",
         "VyrGlobSwirl1 - Version 3.x - (c) the Vyr authors",
         {{"Draw Switch!", bits(0.5f)}, {"Dot Scale", bits(0.32f)}, {"Speed", bits(0.3f)}, {"Mode", 0},
          {"Angle X", bits(0.5f)}, {"Angle Y", bits(0.5f)}, {"Angle Z", bits(0.5f)}, {"Num Particles", bits(0.2f)},
          {"Origin X", bits(0.5f)}, {"Origin Y", bits(0.5f)}, {"Origin Z", bits(0.5f)},
          {"Translate X", bits(0.5f)}, {"Translate Y", bits(0.5f)}, {"Translate Z", bits(0.5f)},
          {"Alpha Switch", 0}, {"NoiseLevel", 0}}},
        {"VyrBrushDrift1", "vr4f", 0, 936, "Painterly style processing of input, highres version (slower)",
         "VyrBrushDrift1- Version 3.x - (c) the Vyr authors",
         {{"Dot Scale", bits(0.5f)}, {"Num Particles", bits(0.08f)}, {"Speed", bits(0.5f)},
          {"Source Zoom", bits(0.1f)}, {"Source Val", bits(0.5f)}, {"Source Range", bits(0.5f)},
          {"Displacement", bits(1.0f)}, {"Source Rotation", 0}, {"Angle X", bits(0.5f)}, {"Angle Y", bits(0.5f)},
          {"Angle Z", bits(0.5f)}, {"Alpha Mode", bits(0.75f)}, {"Feedback", bits(0.5f)}, {"Blend Input", 0}}},
    };
    // clang-format on
    return all;
}

class Descriptor : public ::testing::TestWithParam<Expected> {};

}  // namespace

TEST_P(Descriptor, InfoRecordHoldsTheExactBytes) {
    const Expected& e = GetParam();
    PluginLibrary lib(e.name);
    const PlugInfoStruct* info = lib.info();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info, lib.info()) << "getInfo answers one static record";
    EXPECT_EQ(info->APIMajorVersion, 1u);
    EXPECT_EQ(info->APIMinorVersion, 0u);
    EXPECT_EQ(std::string(info->PluginUniqueID, 4), e.id);
    char name[16] = {};
    std::strncpy(name, e.name, sizeof name - 1);
    EXPECT_EQ(std::memcmp(info->PluginName, name, 16), 0) << "name is NUL-padded to 16 bytes";
    EXPECT_EQ(info->PluginType, e.type);
}

TEST_P(Descriptor, ExtendedInfoHoldsVersionAndTexts) {
    const Expected& e = GetParam();
    PluginLibrary lib(e.name);
    const PlugExtendedInfoStruct* ext = lib.extendedInfo();
    ASSERT_NE(ext, nullptr);
    EXPECT_EQ(ext, lib.extendedInfo());
    EXPECT_EQ(ext->PluginMajorVersion, 3u);
    EXPECT_EQ(ext->PluginMinorVersion, e.minor);
    EXPECT_STREQ(ext->Description, e.description);
    EXPECT_STREQ(ext->About, e.about);
    EXPECT_EQ(ext->FreeFrameExtendedDataSize, 0u);
    EXPECT_EQ(ext->FreeFrameExtendedDataBlock, nullptr);
}

TEST_P(Descriptor, ParameterTableHasExactNamesAndDefaults) {
    const Expected& e = GetParam();
    PluginLibrary lib(e.name);
    ASSERT_EQ(lib.numParameters(), e.params.size());
    for (uint32_t i = 0; i < e.params.size(); ++i) {
        const char* raw = static_cast<const char*>(lib.callValue(ff::kGetParameterName, i).PointerValue);
        char padded[16] = {};
        std::strncpy(padded, e.params[i].name, sizeof padded - 1);
        EXPECT_EQ(std::memcmp(raw, padded, 16), 0) << "parameter " << i;
        EXPECT_EQ(lib.call(ff::kGetParameterDefault, i), e.params[i].defaultBits) << e.params[i].name;
        EXPECT_EQ(lib.call(ff::kGetParameterType, i), ff::kParamTypeStandard);
    }
}

TEST_P(Descriptor, CapabilitiesAreTheSameForEveryPlugin) {
    PluginLibrary lib(GetParam().name);
    const uint32_t expected[] = {0, 1, 1, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 3, 1, 2, 65535, 65535, 65535, 65535, 0};
    for (uint32_t c = 0; c < sizeof expected / sizeof expected[0]; ++c)
        EXPECT_EQ(lib.call(ff::kGetPluginCaps, c), expected[c]) << "capability " << c;
    EXPECT_EQ(lib.call(ff::kGetPluginCaps, 0xFFFFFFFFu), 0u);
}

TEST_P(Descriptor, DisplayTextsAfterInstantiationShowTheDefaults) {
    const Expected& e = GetParam();
    PluginLibrary lib(e.name);
    Instance inst(lib, 32, 24);
    for (uint32_t i = 0; i < e.params.size(); ++i) {
        float def;
        std::memcpy(&def, &e.params[i].defaultBits, sizeof def);
        char text[32];
        int n = std::snprintf(text, sizeof text, "%f", double(def));
        std::string expected(text, size_t(n));
        expected += '\0';
        expected += std::string(15 - size_t(n), ' ');
        EXPECT_EQ(inst.displayText(i), expected) << e.params[i].name;
    }
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, Descriptor, ::testing::ValuesIn(expectations()),
                         [](const ::testing::TestParamInfo<Expected>& info) { return std::string(info.param.name); });

TEST(DescriptorDisplay, SnowSpecksDotScaleReadsAsEightCharacters) {
    PluginLibrary lib("VyrSnowSpecks1");
    Instance inst(lib, 32, 24);
    EXPECT_EQ(inst.displayText(1), std::string("0.750000\0       ", 16));
    inst.setParameter(1, 123456789.0f);  // longer than the field: cut, never past it
    const std::string t = inst.displayText(1);
    EXPECT_EQ(t.size(), 16u);
    EXPECT_EQ(t[15], '\0');
    EXPECT_EQ(t.substr(0, 15), "123456792.00000");
}
