// The frei0r plug-ins in the hosts editors and pipelines use: ffmpeg, melt
// (MLT, under Kdenlive and Shotcut) and GStreamer. Each host's pictures must
// be the ones an instance renders here for the same seed, parameter values
// and time, whatever the host's frame rate, threads, trims or other clips.
// Each host passes its own kind of time: ffmpeg milliseconds, melt the
// position in its timeline in seconds, GStreamer the buffer time in seconds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "frei0r_host.h"
#include "plugin_host.h"

using vyrtest::Frei0rInstance;
using vyrtest::Frei0rLibrary;
using vyrtest::samePicture;

namespace {

// ffmpeg pads rows of widths that are not multiples of 16.
constexpr unsigned kW = 64, kH = 48;
constexpr size_t kFrameBytes = size_t(kW) * kH * 4;
using Frames = std::vector<std::vector<uint8_t>>;

#ifdef VYR_HOST_PRELOAD
// The hosts are not instrumented: the sanitizer runtime goes first, and the
// hosts' own leaks are theirs.
const std::string kPreload = "ASAN_OPTIONS=detect_leaks=0 LD_PRELOAD='" VYR_HOST_PRELOAD "' ";
#else
const std::string kPreload;
#endif

std::string hostEnvironment() { return kPreload + "FREI0R_PATH='" + vyrtest::frei0rDir() + "' "; }

// A folder for one test's files, removed with the object.
class TempDir {
   public:
    TempDir() {
        char path[] = "/tmp/vyr-hosts-XXXXXX";
        if (mkdtemp(path) != nullptr) path_ = path;
    }
    ~TempDir() {
        if (!path_.empty()) vyrtest::commandOutput("rm -rf '" + path_ + "'");
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

   private:
    std::string path_;
};

Frames splitFrames(const std::vector<uint8_t>& raw) {
    Frames frames;
    for (size_t at = 0; at + kFrameBytes <= raw.size(); at += kFrameBytes)
        frames.emplace_back(raw.begin() + long(at), raw.begin() + long(at + kFrameBytes));
    return frames;
}

Frames readFrames(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return splitFrames(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
}

// What an instance renders here for frames first..first+count-1 at `rate`,
// in order, with the values set as "name=value" pairs by parameter index.
Frames reference(const std::string& name, const std::vector<std::pair<int, double>>& values, unsigned rate,
                 unsigned first, unsigned count, const std::vector<std::vector<uint8_t>>* inputs = nullptr) {
    Frei0rLibrary lib(name);
    Frei0rInstance f(lib, kW, kH);
    for (const auto& v : values) f.set(v.first, v.second);
    Frames frames;
    for (unsigned k = 0; k < count; ++k)
        frames.push_back(f.render(inputs != nullptr ? &(*inputs)[k] : nullptr, double(first + k) / rate));
    return frames;
}

::testing::AssertionResult sameFrames(const Frames& host, const Frames& expected) {
    if (host.size() != expected.size())
        return ::testing::AssertionFailure() << host.size() << " frames, " << expected.size() << " expected";
    for (size_t k = 0; k < host.size(); ++k) {
        ::testing::AssertionResult same = samePicture(host[k], expected[k]);
        if (!same) return ::testing::AssertionFailure() << "frame " << k << ": " << same.message();
    }
    return ::testing::AssertionSuccess();
}

int paramIndex(const std::string& plugin, const std::string& param) {
    const Frei0rLibrary lib(plugin);
    for (int i = 0; i < lib.info().num_params; ++i)
        if (param == lib.paramInfo(i).name) return i;
    ADD_FAILURE() << plugin << " has no parameter " << param;
    return -1;
}

int seedParamIndex(const std::string& name) { return paramIndex(name, "Seed"); }

// --- melt -----------------------------------------------------------------

bool have(const char* program) { return program[0] != '\0'; }

#ifndef VYR_MELT
#define VYR_MELT ""
#endif
#ifndef VYR_GST_LAUNCH
#define VYR_GST_LAUNCH ""
#endif
#ifndef VYR_FFMPEG
#define VYR_FFMPEG ""
#endif

// melt renders `arguments` in a kW x kH progressive project at `rate` into
// raw bgra frames, with `threads` rendering threads and no frame dropped
// (real_time -threads).
Frames runMelt(const std::string& arguments, unsigned rate, int threads = 1) {
    TempDir dir;
    {
        std::ofstream profile(dir.file("profile"));
        profile << "description=vyr test\nframe_rate_num=" << rate << "\nframe_rate_den=1\nwidth=" << kW
                << "\nheight=" << kH << "\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\n"
                << "display_aspect_num=" << kW << "\ndisplay_aspect_den=" << kH << "\ncolorspace=709\n";
    }
    // melt 7.12 with a frei0r producer now and then ends at once without a
    // frame, or never ends, more often on a busy machine (Debian's own frei0r
    // plug-ins do the same): such a run is cut off and repeated.
    const std::string command = hostEnvironment() + "timeout 15 '" VYR_MELT "' -silent " + arguments + " -profile '" +
                                dir.file("profile") + "' -consumer 'avformat:" + dir.file("out.raw") +
                                "' f=rawvideo pix_fmt=bgra terminate_on_pause=1 real_time=" + std::to_string(-threads) +
                                " 2>&1 </dev/null";
    std::string log;
    for (int attempt = 0; attempt < 4; ++attempt) {
        int status = -1;
        const std::vector<uint8_t> out = vyrtest::commandOutput(command, &status);
        log = std::string(out.begin(), out.end());
        Frames frames = readFrames(dir.file("out.raw"));
        if (status == 0 && !frames.empty()) return frames;
    }
    ADD_FAILURE() << "no frames from " << command << "\n" << log;
    return {};
}

class MeltTest : public ::testing::Test {
   protected:
    void SetUp() override {
        if (!have(VYR_MELT)) GTEST_SKIP() << "melt is not installed (Debian package melt)";
#ifdef VYR_HOST_PRELOAD
        // Under the preloaded sanitizer runtime melt 7.12 ends without a
        // frame or hangs, with or without our plug-ins; the plain builds run
        // these tests.
        GTEST_SKIP() << "melt does not run under the sanitizer runtime; tested in the other builds";
#endif
    }
};

}  // namespace

// MLT 7.12 hands a frei0r producer the position of its frame in the nearest
// tractor's timeline (a track, a project), whatever the clip's in point: a
// bare generator on a track is a window onto one long scene. The shipped
// clip file wraps the generator in a tractor of its own, so it runs on its
// own time and trims like a film.
TEST_F(MeltTest, AGeneratorShowsItsTimelinesTimeAndAClipFileItsOwn) {
    const Frames whole = runMelt("frei0r.VyrGlobSwirl1 out=47", 30);
    ASSERT_TRUE(sameFrames(whole, reference("VyrGlobSwirl1", {}, 30, 0, 48)));
    const auto wholeFrom = [&](unsigned first, unsigned count) {
        return Frames(whole.begin() + first, whole.begin() + first + count);
    };
    // in= does not move the time of a bare generator: at the timeline's
    // start it shows time 0 on...
    EXPECT_TRUE(sameFrames(runMelt("frei0r.VyrGlobSwirl1 in=40 out=47", 30), wholeFrom(0, 8)));
    // ...and trimmed where it lies (40 frames in) it shows frames 40.., as
    // do the halves of a split.
    const Frames inPlace = runMelt("-blank 39 frei0r.VyrGlobSwirl1 in=40 out=47", 30);
    ASSERT_EQ(inPlace.size(), 48u);
    EXPECT_TRUE(sameFrames(Frames(inPlace.begin() + 40, inPlace.end()), wholeFrom(40, 8)));
    EXPECT_TRUE(sameFrames(runMelt("frei0r.VyrGlobSwirl1 in=0 out=19 frei0r.VyrGlobSwirl1 in=20 out=47", 30), whole));
#ifdef VYR_EDITOR_DIR
    // The clip file trimmed to in=40 shows frames 40.. of the whole clip,
    // at the timeline's start or 10 frames in.
    const std::string clip = std::string(VYR_EDITOR_DIR) + "/clips/VyrGlobSwirl1.mlt";
    EXPECT_TRUE(sameFrames(runMelt("'" + clip + "' in=40 out=47", 30), wholeFrom(40, 8)));
    const Frames later = runMelt("-blank 9 '" + clip + "' in=40 out=47", 30);
    ASSERT_EQ(later.size(), 18u);
    EXPECT_TRUE(sameFrames(Frames(later.begin() + 10, later.end()), wholeFrom(40, 8)));
#endif
}

// An effect attached to a clip gets the time since the clip's first frame
// on the timeline (in= again does not count); on the track it gets the
// track's time. "Feedback" at 0 makes each picture its frame's alone.
TEST_F(MeltTest, AnEffectShowsItsClipsTimeOrItsTracks) {
    const std::vector<uint8_t> red = [] {
        std::vector<uint8_t> bytes(kFrameBytes);
        for (size_t at = 0; at < bytes.size(); at += 4) bytes[at] = bytes[at + 3] = 255;
        return bytes;
    }();
    const std::vector<std::vector<uint8_t>> reds(8, red);
    const std::vector<std::pair<int, double>> noTrail = {{paramIndex("VyrBrushDrift1", "Feedback"), 0.0}};
    for (const char* attach : {"-attach", "-filter"}) {
        const Frames frames =
            runMelt(std::string("-blank 9 color:red in=40 out=47 ") + attach + " frei0r.VyrBrushDrift1 Feedback=0", 30);
        ASSERT_EQ(frames.size(), 18u) << attach;
        const unsigned first = std::string(attach) == "-attach" ? 0 : 10;
        EXPECT_TRUE(sameFrames(Frames(frames.begin() + 10, frames.end()),
                               reference("VyrBrushDrift1", noTrail, 30, first, 8, &reds)))
            << attach;
    }
}

// A project as Kdenlive 22.12 saves it (a .kdenlive file is MLT XML): the
// bin, a video track of two playlists in a tractor of its own over the
// black track, composited by Kdenlive's track transition, with the
// generator on the timeline carrying its values and the effect on the clip
// painting over it ("Blend Input" 1/255 keeps the generator's picture under
// the dots).
TEST_F(MeltTest, AKdenliveProjectWithTheGeneratorAndTheEffectRenders) {
    TempDir dir;
    const std::string project = dir.file("vyr.kdenlive");
    std::ofstream(project) << R"(<?xml version='1.0' encoding='utf-8'?>
<mlt LC_NUMERIC="C" producer="main_bin" version="7.12.0">
 <producer id="producer0" in="0" out="9">
  <property name="length">10</property>
  <property name="eof">pause</property>
  <property name="mlt_service">frei0r.VyrGlobSwirl1</property>
  <property name="kdenlive:clipname">Vyr Glob Swirl</property>
  <property name="kdenlive:id">2</property>
  <property name="Mode">0.8</property>
  <property name="Seed">0.000042</property>
 </producer>
 <playlist id="main_bin">
  <property name="kdenlive:docproperties.version">1.04</property>
  <property name="xml_retain">1</property>
  <entry producer="producer0" in="0" out="9"/>
 </playlist>
 <producer id="black_track" in="0" out="9">
  <property name="length">10</property>
  <property name="eof">continue</property>
  <property name="resource">black</property>
  <property name="aspect_ratio">1</property>
  <property name="mlt_service">color</property>
  <property name="mlt_image_format">rgba</property>
 </producer>
 <playlist id="playlist0">
  <property name="kdenlive:audio_track">0</property>
  <entry producer="producer0" in="0" out="9">
   <property name="kdenlive:id">2</property>
   <filter id="filter0">
    <property name="mlt_service">frei0r.VyrBrushDrift1</property>
    <property name="kdenlive_id">frei0r.VyrBrushDrift1</property>
    <property name="Feedback">0</property>
    <property name="Alpha Mode">0</property>
    <property name="Blend Input">0.004</property>
    <property name="kdenlive:collapsed">0</property>
   </filter>
  </entry>
 </playlist>
 <playlist id="playlist1"/>
 <tractor id="tractor0" in="0" out="9">
  <property name="kdenlive:trackheight">69</property>
  <track hide="audio" producer="playlist0"/>
  <track hide="audio" producer="playlist1"/>
 </tractor>
 <tractor id="tractor1" global_feed="1" in="0" out="9">
  <track producer="black_track"/>
  <track producer="tractor0"/>
  <transition id="transition0">
   <property name="a_track">0</property>
   <property name="b_track">1</property>
   <property name="compositing">0</property>
   <property name="mlt_service">qtblend</property>
   <property name="kdenlive_id">qtblend</property>
   <property name="internal_added">237</property>
   <property name="always_active">1</property>
  </transition>
 </tractor>
</mlt>
)";
    const Frames frames = runMelt("'" + project + "'", 25);
    ASSERT_EQ(frames.size(), 10u);
    const Frames swirl =
        reference("VyrGlobSwirl1",
                  {{paramIndex("VyrGlobSwirl1", "Mode"), 0.8}, {seedParamIndex("VyrGlobSwirl1"), 0.000042}}, 25, 0, 10);
    const Frames painted = reference("VyrBrushDrift1",
                                     {{paramIndex("VyrBrushDrift1", "Feedback"), 0.0},
                                      {paramIndex("VyrBrushDrift1", "Alpha Mode"), 0.0},
                                      {paramIndex("VyrBrushDrift1", "Blend Input"), 0.004}},
                                     25, 0, 10, &swirl);
    EXPECT_TRUE(sameFrames(frames, painted));
}

TEST_F(MeltTest, ParallelRenderingGivesTheFramesOfOneThread) {
    const std::string clips = "frei0r.VyrGlobHeap1 out=23 Seed=0.000007 -attach frei0r.VyrBrushDrift1 Feedback=0";
    const Frames oneThread = runMelt(clips, 25);
    ASSERT_EQ(oneThread.size(), 24u);
    EXPECT_TRUE(sameFrames(runMelt(clips, 25, 2), oneThread));
    EXPECT_TRUE(sameFrames(runMelt(clips, 25, 3), oneThread));
}

TEST_F(MeltTest, ClipsInOneProjectEachShowTheirOwnScene) {
    // Three clips one after the other, two of the same plug-in with other
    // seeds: each shows what it shows alone at its times.
    const Frames project =
        runMelt("frei0r.VyrGlobSwirl1 out=9 frei0r.VyrSnowSpecks1 out=9 frei0r.VyrGlobSwirl1 out=9 Seed=0.5", 30);
    ASSERT_EQ(project.size(), 30u);
    const Frames swirl = reference("VyrGlobSwirl1", {}, 30, 0, 10);
    const Frames specks = reference("VyrSnowSpecks1", {}, 30, 10, 10);
    const Frames otherSwirl = reference("VyrGlobSwirl1", {{seedParamIndex("VyrGlobSwirl1"), 0.5}}, 30, 20, 10);
    for (unsigned k = 0; k < 10; ++k) {
        EXPECT_TRUE(samePicture(project[k], swirl[k])) << "frame " << k;
        EXPECT_TRUE(samePicture(project[10 + k], specks[k])) << "frame " << 10 + k;
        EXPECT_TRUE(samePicture(project[20 + k], otherSwirl[k])) << "frame " << 20 + k;
    }
}

TEST_F(MeltTest, ProjectsAtAnyFrameRateShowTheSamePictureAtTheSameSecond) {
    Frames atSeconds;
    for (unsigned rate : {25u, 30u, 50u, 60u}) {
        const Frames frames = runMelt("frei0r.VyrGlobHeap1 out=" + std::to_string(2 * rate), rate);
        ASSERT_EQ(frames.size(), size_t(2 * rate + 1)) << rate << " fps";
        for (unsigned second = 1; second <= 2; ++second) {
            if (atSeconds.size() < second) atSeconds.push_back(frames[second * rate]);
            EXPECT_TRUE(samePicture(frames[second * rate], atSeconds[second - 1])) << rate << " fps, second " << second;
        }
    }
    EXPECT_TRUE(samePicture(atSeconds[1], reference("VyrGlobHeap1", {}, 1, 2, 1)[0]));
}

// --- GStreamer and ffmpeg against melt's times -------------------------------

TEST(GStreamerTest, FramesEqualTheInstanceAtTheSameSeedAndTime) {
    if (!have(VYR_GST_LAUNCH)) GTEST_SKIP() << "gst-launch-1.0 is not installed (Debian package gstreamer1.0-tools)";
    for (unsigned rate : {25u, 60u}) {
        TempDir dir;
        const std::string command = hostEnvironment() +
                                    "'" VYR_GST_LAUNCH
                                    "' -q frei0r-src-vyrglobswirl1 seed=0.000042 "
                                    "speed=0.6 num-buffers=8 ! video/x-raw,format=BGRA,width=" +
                                    std::to_string(kW) + ",height=" + std::to_string(kH) +
                                    ",framerate=" + std::to_string(rate) + "/1 ! filesink location='" +
                                    dir.file("out.raw") + "' 2>&1";
        int status = -1;
        const std::vector<uint8_t> log = vyrtest::commandOutput(command, &status);
        if (status != 0 && std::string(log.begin(), log.end()).find("no element") != std::string::npos)
            GTEST_SKIP() << "GStreamer has no frei0r elements (Debian package gstreamer1.0-plugins-bad)";
        ASSERT_EQ(status, 0) << command << "\n" << std::string(log.begin(), log.end());
        const int speed = 2;  // "Speed"
        EXPECT_TRUE(sameFrames(
            readFrames(dir.file("out.raw")),
            reference("VyrGlobSwirl1", {{seedParamIndex("VyrGlobSwirl1"), 0.000042}, {speed, 0.6}}, rate, 0, 8)))
            << rate << " fps";
    }
}

TEST(FfmpegTest, MillisecondsAtEveryFrameRateGiveTheInstancesPictures) {
    if (!have(VYR_FFMPEG)) GTEST_SKIP() << "ffmpeg is not installed (Debian package ffmpeg)";
    for (unsigned rate : {25u, 30u, 50u}) {
        const std::string command = hostEnvironment() + "'" VYR_FFMPEG "' -nostdin -hide_banner -loglevel error " +
                                    "-f lavfi -i 'frei0r_src=size=" + std::to_string(kW) + "x" + std::to_string(kH) +
                                    ":framerate=" + std::to_string(rate) +
                                    ":filter_name=VyrSnowSpecks1:filter_params=" +
                                    "0.9|0.05|0.5|0.5|0.5|0.5|1|0.000042' -frames:v 9 -f rawvideo -pix_fmt bgra -";
        int status = -1;
        const Frames frames = splitFrames(vyrtest::commandOutput(command, &status));
        ASSERT_EQ(status, 0) << command;
        const std::vector<std::pair<int, double>> values = {{0, 0.9}, {1, 0.05}, {2, 0.5}, {3, 0.5},
                                                            {4, 0.5}, {5, 0.5},  {6, 1.0}, {7, 0.000042}};
        EXPECT_TRUE(sameFrames(frames, reference("VyrSnowSpecks1", values, rate, 0, 9))) << rate << " fps";
    }
}
