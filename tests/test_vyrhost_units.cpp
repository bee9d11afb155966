// vyrhost's command-line pieces and its test picture, tested directly.
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "frame_source.h"
#include "host_error.h"
#include "options.h"

using namespace vyrhost;

TEST(VyrhostSize, AcceptsWidthByHeightWithinLimits) {
    const FrameSize s = parseSize("1280x720");
    EXPECT_EQ(s.width, 1280);
    EXPECT_EQ(s.height, 720);
    EXPECT_EQ(parseSize("1X1").width, 1);
    EXPECT_EQ(parseSize("16384x16384").height, 16384);
    for (const char* bad : {"", "x", "0x1", "1x0", "16385x1", "1x16385", "12x", "x12", "+3x4", "3x-4", "3x4 ", " 3x4",
                            "3.5x4", "3x4x5", "99999999999999999999x1"})
        EXPECT_THROW(parseSize(bad), HostError) << bad;
}

TEST(VyrhostSettings, ParsesSetsAndRamps) {
    ParamSetting s = parseSet("Dot Scale=0.9");
    EXPECT_EQ(s.key, "Dot Scale");
    EXPECT_FLOAT_EQ(s.from, 0.9f);
    EXPECT_FALSE(s.ramp);
    s = parseSet("a=b=1");  // the value follows the last '='
    EXPECT_EQ(s.key, "a=b");
    s = parseRamp("Angle Z=0:1");
    EXPECT_EQ(s.key, "Angle Z");
    EXPECT_EQ(s.from, 0.0f);
    EXPECT_EQ(s.to, 1.0f);
    EXPECT_TRUE(s.ramp);
    s = parseRamp("x=1:0.25");
    EXPECT_EQ(s.from, 1.0f);
    EXPECT_EQ(s.to, 0.25f);
    for (const char* bad : {"", "=1", "x", "x=", "x=1.01", "x=-0.1", "x=nan", "x=inf", "x=0.5x", "x= 0.5"})
        EXPECT_THROW(parseSet(bad), HostError) << bad;
    for (const char* bad : {"x=0", "x=0:", "x=:1", "x=0:2", "x:0=1", "=0:1"})
        EXPECT_THROW(parseRamp(bad), HostError) << bad;
}

TEST(VyrhostSettings, RampsHitBothEndsExactlyAndMoveEvenly) {
    const ParamSetting r = parseRamp("x=0.1:0.7");
    EXPECT_EQ(settingValue(r, 0, 7), 0.1f);
    EXPECT_EQ(settingValue(r, 6, 7), 0.7f);
    EXPECT_FLOAT_EQ(settingValue(r, 3, 7), 0.4f);
    for (long i = 1; i < 7; ++i) EXPECT_GT(settingValue(r, i, 7), settingValue(r, i - 1, 7));
    EXPECT_EQ(settingValue(r, 0, 1), 0.1f);  // a one-frame clip stays at the start
    EXPECT_EQ(settingValue(r, 9, 7), 0.7f);  // frames past the end hold the last value
    const ParamSetting held = parseSet("x=0.3");
    EXPECT_EQ(settingValue(held, 0, 5), 0.3f);
    EXPECT_EQ(settingValue(held, 4, 5), 0.3f);
}

TEST(VyrhostOutput, ClassifiesNamesAndNumbersSequences) {
    EXPECT_EQ(classifyOutput("-"), OutputKind::RawStdout);
    EXPECT_EQ(classifyOutput("a.png"), OutputKind::Png);
    EXPECT_EQ(classifyOutput("dir/A.PNG"), OutputKind::Png);
    EXPECT_EQ(classifyOutput("out_%04d.png"), OutputKind::PngSequence);
    EXPECT_EQ(classifyOutput("100%%_%d.png"), OutputKind::PngSequence);
    EXPECT_EQ(classifyOutput("100%%.png"), OutputKind::Png);
    EXPECT_EQ(classifyOutput("clip.mp4"), OutputKind::Video);
    EXPECT_EQ(classifyOutput("clip.gif"), OutputKind::Video);
    for (const char* bad : {"", "a_%d_%d.png", "a_%s.png", "a_%.png", "a_%d.mp4", "a_%1234d.png"})
        EXPECT_THROW(classifyOutput(bad), HostError) << bad;

    EXPECT_EQ(sequenceFileName("out_%04d.png", 7), "out_0007.png");
    EXPECT_EQ(sequenceFileName("out_%d.png", 12345), "out_12345.png");
    EXPECT_EQ(sequenceFileName("100%%/f%3d.png", 5), "100%/f  5.png");
}

TEST(VyrhostOutput, ClipLengthFollowsTheAskedFramesTheOutputAndTheInput) {
    const auto length = [](long asked, long file, OutputKind kind, bool clipInput, long inputFrames = 90,
                           bool ramps = false) {
        const ClipLength c = clipLength(asked, file, kind, clipInput, inputFrames, ramps, "in.mp4");
        return std::make_pair(c.frames, c.rampFrames);
    };
    using P = std::pair<long, long>;
    // --frames first, then the parameter file's, whatever the output and input.
    EXPECT_EQ(length(5, 7, OutputKind::Video, true), P(5, 5));
    EXPECT_EQ(length(0, 7, OutputKind::Png, true), P(7, 7));
    // A single PNG is one frame, even from a clip; other outputs a short clip.
    EXPECT_EQ(length(0, 0, OutputKind::Png, true), P(1, 1));
    EXPECT_EQ(length(0, 0, OutputKind::Video, false), P(60, 60));
    EXPECT_EQ(length(0, 0, OutputKind::PngSequence, false), P(60, 60));
    // An input clip runs to its end; ramps span its length, when it is known.
    EXPECT_EQ(length(0, 0, OutputKind::Video, true), P(-1, 90));
    EXPECT_EQ(length(0, 0, OutputKind::RawStdout, true, 0), P(-1, 0));
    EXPECT_EQ(length(0, 0, OutputKind::Video, true, 90, true), P(-1, 90));
    EXPECT_THROW(length(0, 0, OutputKind::Video, true, 0, true), HostError);
    EXPECT_EQ(length(12, 0, OutputKind::Video, true, 0, true), P(12, 12));
}

TEST(VyrhostOutput, ParsesFrameRates) {
    EXPECT_EQ(parseRate("30").num, 30);
    EXPECT_EQ(parseRate("30").den, 1);
    const Rate ntsc = parseRate("30000/1001");
    EXPECT_EQ(ntsc.num, 30000);
    EXPECT_EQ(ntsc.den, 1001);
    const Rate film = parseRate("23.976");
    EXPECT_EQ(film.num, 23976);
    EXPECT_EQ(film.den, 1000);
    for (const char* bad : {"", "0", "-5", "abc", "1/0", "0/1", "30/", "5000"})
        EXPECT_THROW(parseRate(bad), HostError) << bad;
}

TEST(VyrhostCounts, AcceptsDigitsWithinTheRangeOnly) {
    EXPECT_EQ(parseCount("1", "--frames", 1, 10), 1);
    EXPECT_EQ(parseCount("10", "--frames", 1, 10), 10);
    EXPECT_EQ(parseCount("0", "--warmup", 0, 10), 0);
    for (const char* bad :
         {"", "0", "11", "-1", "+1", "1.5", "abc", " 1", "1 ", "99999999999999999999", "9223372036854775808", "0x10"})
        EXPECT_THROW(parseCount(bad, "--frames", 1, 10), HostError) << bad;
    try {
        parseCount("0", "--frames", 1, 10);
    } catch (const HostError& e) {
        EXPECT_STREQ(e.what(), "--frames \"0\": expected a whole number from 1 to 10");
    }
}

TEST(VyrhostOutput, DoubledPercentSignsNameOnePercentSign) {
    EXPECT_EQ(plainOutputName("100%%.mp4"), "100%.mp4");
    EXPECT_EQ(plainOutputName("a%%b%%.png"), "a%b%.png");
    EXPECT_EQ(plainOutputName("plain.mkv"), "plain.mkv");
}

// A library that hangs while being described is given up after the time
// asked for, and only the child waits for it.
TEST(VyrhostProbe, AHangingPluginIsGivenUpAfterTheTimeout) {
    try {
        ffhost::probe(VYR_HANGING_PLUGIN, 300);
        ADD_FAILURE() << "the probe returned";
    } catch (const HostError& e) {
        EXPECT_EQ(std::string(e.what()), std::string(VYR_HANGING_PLUGIN) +
                                             ": hung while being loaded and asked about itself (no answer in 0.30 s)");
    }
    const ffhost::PluginInfo good = ffhost::probe(std::string(VYR_BROKEN_DIR) + "/Broken0.so");
    EXPECT_EQ(good.name, "HostProbe");
    EXPECT_EQ(good.about, "HostProbe - test only");
    ASSERT_EQ(good.params.size(), 3u);
    EXPECT_EQ(good.params[2].name, "Crash Frame");
    EXPECT_EQ(good.params[0].defaultValue, 0.5f);
}

// Many files through few children: each file's fault is its own line, in
// the order of the files, and the files after it are still asked. What
// each "file" does is named by its path.
TEST(VyrhostProbe, EachFileOfABatchIsAnsweredForAloneWhateverTheOthersDo) {
    static bool poisoned = false;  // in the child that asked "poison"
    const auto work = [](const std::string& path) -> std::string {
        if (path == "crash") std::raise(SIGSEGV);
        if (path == "exit") std::exit(3);
        if (path == "hang") pause();
        if (path == "error") throw HostError("error: not a plug-in");
        if (path == "throw") throw 42;
        if (path == "poison") poisoned = true;
        // Crashes only where "poison" was asked before it.
        if (path == "victim" && poisoned) std::raise(SIGSEGV);
        return "answer of " + path;
    };
    const std::vector<std::string> paths = {"a",    "poison", "victim", "crash", "b",     "exit", "c",
                                            "hang", "d",      "error",  "throw", "crash", "e"};
    const auto answers = ffhost::runEachInChild(paths, 300, work);
    ASSERT_EQ(answers.size(), paths.size());
    const std::string during = " while being loaded and asked about itself";
    const std::map<std::string, std::string> failures = {{"crash", "crash: crashed (Segmentation fault)" + during},
                                                         {"exit", "exit: exited (status 3)" + during},
                                                         {"hang", "hang: hung" + during + " (no answer in 0.30 s)"},
                                                         {"error", "error: not a plug-in"},
                                                         {"throw", "throw: threw a C++ exception while being loaded"}};
    for (size_t k = 0; k < paths.size(); ++k) {
        const auto failure = failures.find(paths[k]);
        EXPECT_EQ(answers[k].ok, failure == failures.end()) << paths[k];
        EXPECT_EQ(answers[k].text, failure == failures.end() ? "answer of " + paths[k] : failure->second) << paths[k];
    }
    EXPECT_FALSE(poisoned);  // nothing ran in this process
}

TEST(VyrhostTestPicture, IsOpaqueAndMovesFromFrameToFrame) {
    const int w = 70, h = 30;
    std::vector<uint8_t> a(size_t(w) * h * 4), b(a.size()), c24(size_t(w) * h * 3);
    drawTestPicture(a.data(), w, h, 4, 0);
    drawTestPicture(b.data(), w, h, 4, 10);
    drawTestPicture(c24.data(), w, h, 3, 0);
    EXPECT_NE(a, b);
    for (size_t i = 0; i < size_t(w) * h; ++i) {
        ASSERT_EQ(a[i * 4 + 3], 255);
        for (int k = 0; k < 3; ++k) ASSERT_EQ(a[i * 4 + k], c24[i * 3 + k]);
    }
    std::vector<uint8_t> again(a.size());
    drawTestPicture(again.data(), w, h, 4, 120);  // one period later
    EXPECT_EQ(again, a);
    // A one-pixel picture is drawn without reading or writing past it.
    std::vector<uint8_t> one(4);
    drawTestPicture(one.data(), 1, 1, 4, 33);
    EXPECT_EQ(one[3], 255);
}
