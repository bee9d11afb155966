// vyrhost driven as a user drives it: as a separate process, reading what it
// prints and decoding the files it writes. The HostProbe test plug-in shows
// exactly which values and frames the host passed on.
#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <lo/lo.h>
#include <png.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "plugin_host.h"

#ifndef VYRHOST_EXE
#error "VYRHOST_EXE must name the built vyrhost"
#endif
#ifndef VYRHOST_PROBE
#error "VYRHOST_PROBE must name the built HostProbe test plug-in"
#endif
#ifndef VYRHOST_NOT_A_PLUGIN
#error "VYRHOST_NOT_A_PLUGIN must name a shared library without plugMain"
#endif
#if !defined(VYRHOST_FFMPEG) || !defined(VYRHOST_FFPROBE)
#error "VYRHOST_FFMPEG and VYRHOST_FFPROBE must name the ffmpeg and ffprobe programs"
#endif

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Runs a program with arguments (no shell) and collects its exit status and
// both output streams.
Result run(const std::vector<std::string>& args) {
    char outPath[] = "/tmp/vyrhost-test-out-XXXXXX";
    char errPath[] = "/tmp/vyrhost-test-err-XXXXXX";
    const int outFd = mkstemp(outPath), errFd = mkstemp(errPath);
    Result r;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    close(outFd);
    close(errFd);
    r.out = slurp(outPath);
    r.err = slurp(errPath);
    unlink(outPath);
    unlink(errPath);
    return r;
}

Result vyrhost(std::vector<std::string> args) {
    args.insert(args.begin(), VYRHOST_EXE);
    return run(args);
}

// vyrhost started in the background, for a test to signal while it runs:
// standard output discarded, standard error into `errFile`, and `env`
// ("NAME=VALUE") added to the environment. Answers the process id.
pid_t startVyrhost(const std::vector<std::string>& args, const std::string& errFile, const std::string& env = "") {
    const pid_t pid = fork();
    if (pid == 0) {
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, STDOUT_FILENO);
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, STDERR_FILENO);
        if (!env.empty()) putenv(const_cast<char*>(env.c_str()));
        std::vector<char*> argv = {const_cast<char*>(VYRHOST_EXE)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(VYRHOST_EXE, argv.data());
        _exit(127);
    }
    return pid;
}

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    uint8_t at(int x, int y, int c) const { return rgba[(size_t(y) * width + x) * 4 + c]; }
};

Picture readPng(const std::string& path) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    Picture p;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
    image.format = PNG_FORMAT_RGBA;
    p.rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, p.rgba.data(), 0, nullptr)) {
        p.rgba.clear();
        return p;
    }
    p.width = int(image.width);
    p.height = int(image.height);
    return p;
}

// PNG colour type: 2 = RGB, 6 = RGBA.
int pngColourType(const std::string& path) {
    const std::string bytes = slurp(path);
    return bytes.size() > 25 ? static_cast<unsigned char>(bytes[25]) : -1;
}

bool anyColour(const Picture& p) {
    for (size_t i = 0; i < p.rgba.size(); i += 4)
        if (p.rgba[i] != 0 || p.rgba[i + 1] != 0 || p.rgba[i + 2] != 0) return true;
    return false;
}

struct VideoFacts {
    int width = 0, height = 0;
    long frames = -1;
    std::string pixelFormat, codec;
};

VideoFacts probeVideo(const std::string& path) {
    const Result r = run({VYRHOST_FFPROBE, "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                          "stream=codec_name,width,height,pix_fmt,nb_read_frames", "-of", "csv=p=0", path});
    VideoFacts f;
    char codec[64] = "", format[64] = "";
    if (r.status == 0)
        std::sscanf(r.out.c_str(), "%63[^,],%d,%d,%63[^,],%ld", codec, &f.width, &f.height, format, &f.frames);
    f.codec = codec;
    f.pixelFormat = format;
    return f;
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Files in a folder, for checking that nothing was left behind.
std::vector<std::string> listing(const std::string& dir) {
    const Result r = run({"ls", "-A", dir});
    std::vector<std::string> names;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) names.push_back(line);
    return names;
}

// Whether a line of `text` starts with these blank-separated words.
bool hasRow(const std::string& text, const std::vector<std::string>& words) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        bool all = true;
        for (const auto& w : words) {
            std::string got;
            if (!(in >> got) || got != w) {
                all = false;
                break;
            }
        }
        if (all) return true;
    }
    return false;
}

class VyrhostTest : public ::testing::Test {
   protected:
    void SetUp() override {
        char dir[] = "/tmp/vyrhost-test-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override { run({"rm", "-rf", dir_}); }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    std::string dir_;
};

// The error path: non-zero status and one line on standard error that says
// what failed.
void expectFailure(const Result& r, const std::string& mentions) {
    EXPECT_NE(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(mentions), std::string::npos) << "message was: " << r.err;
    EXPECT_EQ(r.out, "");
}

const std::string kProbe = VYRHOST_PROBE;

// ---------------------------------------------------------------- list, info

TEST(VyrhostInfo, MatchesWhatEachPluginSaysThroughPlugMain) {
    for (const std::string& name : vyrtest::allPluginNames()) {
        SCOPED_TRACE(name);
        const Result r = vyrhost({"info", name});
        ASSERT_EQ(r.status, 0) << r.err;
        vyrtest::PluginLibrary lib(name);
        const PlugInfoStruct* pi = lib.info();
        EXPECT_NE(r.out.find("Name:           " + name + "\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("ID:             " + std::string(pi->PluginUniqueID, 4) + "\n"), std::string::npos);
        EXPECT_NE(
            r.out.find(pi->PluginType == ff::kTypeSource ? "Type:           source\n" : "Type:           effect\n"),
            std::string::npos);
        const PlugExtendedInfoStruct* ei = lib.extendedInfo();
        EXPECT_NE(r.out.find("Version:        " + std::to_string(ei->PluginMajorVersion) + "." +
                             std::to_string(ei->PluginMinorVersion) + "\n"),
                  std::string::npos);
        EXPECT_NE(r.out.find(std::string("Description:    ") + ei->Description + "\n"), std::string::npos);
        EXPECT_NE(r.out.find(std::string("About:          ") + ei->About + "\n"), std::string::npos);
        EXPECT_NE(r.out.find("32-bit video:      yes"), std::string::npos);
        EXPECT_NE(r.out.find("16-bit video:      no"), std::string::npos);
        EXPECT_NE(r.out.find("Parameters (" + std::to_string(lib.numParameters()) + "):"), std::string::npos);
        // Every parameter row: index, name, default and the instance's display text.
        vyrtest::Instance inst(lib, 64, 64);
        std::istringstream lines(r.out);
        std::string line;
        while (std::getline(lines, line) && line.find("INDEX") == std::string::npos) {
        }
        // The frei0r twin beside the build's FreeFrame folder explains each parameter.
        EXPECT_NE(line.find("DESCRIPTION"), std::string::npos) << line;
        for (uint32_t i = 0; i < lib.numParameters(); ++i) {
            ASSERT_TRUE(std::getline(lines, line));
            const size_t type = line.find("standard  ");
            ASSERT_NE(type, std::string::npos) << line;
            EXPECT_NE(line.find_first_not_of(' ', type + 8), std::string::npos) << "no description: " << line;
            std::istringstream row(line);
            uint32_t index = 99;
            row >> index;
            EXPECT_EQ(index, i) << line;
            EXPECT_NE(line.find("  " + lib.parameterName(i) + "  "), std::string::npos) << line;
            const std::string display = inst.displayText(i);
            EXPECT_NE(line.find(display.substr(0, display.find('\0'))), std::string::npos) << line;
            char def[32];
            std::snprintf(def, sizeof def, "%.6g", double(lib.parameterDefault(i)));
            EXPECT_NE(line.find(std::string("  ") + def + "  "), std::string::npos) << line;
        }
    }
}

TEST(VyrhostInfo, FindsAPluginByPathAndByNameInAnyCase) {
    const Result byPath = vyrhost({"info", vyrtest::pluginPath("VyrGlobHeap1")});
    ASSERT_EQ(byPath.status, 0) << byPath.err;
    const Result byName = vyrhost({"info", "vyrglobheap1"});
    ASSERT_EQ(byName.status, 0) << byName.err;
    EXPECT_EQ(byPath.out, byName.out);
}

TEST_F(VyrhostTest, ListShowsEveryPluginAndSkipsOtherFiles) {
    const Result all = vyrhost({"list"});
    ASSERT_EQ(all.status, 0) << all.err;
    for (const std::string& name : vyrtest::allPluginNames()) {
        vyrtest::PluginLibrary lib(name);
        const std::vector<std::string> row = {name + ".so", name, std::string(lib.info()->PluginUniqueID, 4),
                                              lib.info()->PluginType == ff::kTypeSource ? "source" : "effect"};
        EXPECT_TRUE(hasRow(all.out, row)) << all.out;
        EXPECT_NE(all.out.find(lib.extendedInfo()->Description), std::string::npos);
    }

    // A folder with the probe, a file that is no library and one without plugMain.
    run({"cp", kProbe, path("HostProbe.so")});
    std::ofstream(path("broken.so")) << "not an ELF file";
    run({"cp", VYRHOST_NOT_A_PLUGIN, path("plain.so")});
    std::ofstream(path("notes.txt")) << "ignored";
#ifdef VYRHOST_FREI0R_DIR
    run({"cp", std::string(VYRHOST_FREI0R_DIR) + "/VyrGlobHeap1.so", path("heap_frei0r.so")});
#endif
    const Result some = vyrhost({"list", dir_});
    ASSERT_EQ(some.status, 0) << some.err;
    EXPECT_TRUE(hasRow(some.out, {"HostProbe.so", "HostProbe", "tprb", "effect", "1.2", "Test", "probe"})) << some.out;
#ifdef VYRHOST_FREI0R_DIR
    EXPECT_TRUE(hasRow(some.out, {"heap_frei0r.so", "VyrGlobHeap1", "-", "frei0r-source"})) << some.out;
#endif
    EXPECT_EQ(some.out.find("broken"), std::string::npos);
    // One line for all the files that are no plug-ins, saying why.
    EXPECT_EQ(std::count(some.err.begin(), some.err.end(), '\n'), 1) << some.err;
    EXPECT_EQ(some.err.rfind("vyrhost: skipped 2 files that are no plug-in: cannot load broken.so", 0), 0u) << some.err;
    EXPECT_NE(some.err.find("plain.so is neither a FreeFrame plug-in (no plugMain) nor a frei0r plug-in (no f0r_init)"),
              std::string::npos)
        << some.err;
    EXPECT_EQ(some.err.find("notes.txt"), std::string::npos);
}

// ---------------------------------------------------------------- frei0r

// Debian's frei0r plug-ins, where installed.
const std::string kDebianFrei0r = "/usr/lib/frei0r-1";

TEST_F(VyrhostTest, ListsAndRendersDebiansFrei0rPlugins) {
    if (!exists(kDebianFrei0r + "/glow.so")) GTEST_SKIP() << "Debian's frei0r-plugins are not installed";
    const Result all = vyrhost({"list", kDebianFrei0r});
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.err, "");  // every file there is a plug-in
    const std::vector<std::string> names = listing(kDebianFrei0r);
    const long files = long(std::count_if(names.begin(), names.end(), [](const std::string& f) {
        return f.size() > 3 && f.substr(f.size() - 3) == ".so";
    }));
    EXPECT_EQ(long(std::count(all.out.begin(), all.out.end(), '\n')), files + 1);  // and a heading
    EXPECT_TRUE(hasRow(all.out, {"glow.so", "Glow", "-", "frei0r-filter"})) << all.out;

    // Found by file name in the frei0r folders, with its explanations.
    const Result info = vyrhost({"info", "Glow"});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("Type:         frei0r-filter"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Blur of the glow"), std::string::npos) << info.out;

    // A parameter reaches the plug-in, and an RGBA plug-in sees red as red:
    // "B" keeps the blue of the test picture's blue bar as grey and turns
    // its red bar black.
    ASSERT_EQ(vyrhost({"render", "glow", "--size", "140x60", "-o", path("g0.png")}).status, 0);
    ASSERT_EQ(vyrhost({"render", "glow", "--size", "140x60", "--set", "Blur=0.8", "-o", path("g1.png")}).status, 0);
    EXPECT_NE(readPng(path("g0.png")).rgba, readPng(path("g1.png")).rgba);
    ASSERT_EQ(vyrhost({"render", "B", "--size", "140x60", "-o", path("b.png")}).status, 0);
    const Picture b = readPng(path("b.png"));
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(b.at(130, 5, c), 191);  // blue bar
        EXPECT_EQ(b.at(110, 5, c), 0);    // red bar
    }
    expectFailure(vyrhost({"render", "glow", "--depth", "24", "-o", path("x.png")}), "does not take 24-bit frames");
}

#ifdef VYRHOST_FREI0R_DIR
TEST_F(VyrhostTest, OurFrei0rFacesRenderWhatTheFreeFrameFacesRender) {
    // Same names, same parameter file: the same pictures, where the frei0r
    // face's motion (60 steps a second) meets one step a frame and its
    // "Seed" parameter (N / 1000000) names the FreeFrame face's seed.
    std::ofstream(path("p.json")) << R"({ "size": "96x64", "frames": 4, "fps": 60, "seed": 9,
        "parameters": { "Angle Z": [ {"frame": 0, "value": 0.2}, {"frame": 3, "value": 0.7} ] } })";
    for (const std::string& name : vyrtest::allPluginNames()) {
        SCOPED_TRACE(name);
        const std::string frei0r = std::string(VYRHOST_FREI0R_DIR) + "/" + name + ".so";
        const Result info = vyrhost({"info", frei0r});
        ASSERT_EQ(info.status, 0) << info.err;
        EXPECT_NE(info.out.find("frei0r-"), std::string::npos);
        EXPECT_NE(info.out.find("DESCRIPTION"), std::string::npos);  // explanations for every parameter
        ASSERT_EQ(vyrhost({"render", name, "--params", path("p.json"), "--set", "1=0.6", "-o", path("ff.png")}).status,
                  0);
        const Result r =
            vyrhost({"render", frei0r, "--params", path("p.json"), "--set", "1=0.6", "-o", path("f0r.png")});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(readPng(path("ff.png")).rgba, readPng(path("f0r.png")).rgba);
    }
}
#endif

// ---------------------------------------------------------------- render: files

TEST_F(VyrhostTest, SourcesRenderAPngOfTheAskedSizeThatIsNotBlack) {
    for (const std::string name : {"VyrSnowSpecks1", "VyrGlobHeap1", "VyrGlobSwirl1"}) {
        SCOPED_TRACE(name);
        const std::string out = path(std::string(name) + ".png");
        const Result r = vyrhost({"render", name, "--size", "160x120", "--frames", "3", "-o", out});
        ASSERT_EQ(r.status, 0) << r.err;
        const Picture p = readPng(out);
        EXPECT_EQ(p.width, 160);
        EXPECT_EQ(p.height, 120);
        EXPECT_TRUE(anyColour(p)) << name << " drew a black picture";
    }
}

TEST_F(VyrhostTest, PngKeepsTheByteOrderAndDepth) {
    // The probe passes the test picture through: bars of 75 % white, yellow,
    // cyan, green, magenta, red, blue from the left.
    const Result r = vyrhost({"render", kProbe, "--size", "140x60", "-o", path("bars.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    const Picture p = readPng(path("bars.png"));
    ASSERT_EQ(p.width, 140);
    const int y = 5;
    const uint8_t yellow[3] = {191, 191, 0}, cyan[3] = {0, 191, 191}, red[3] = {191, 0, 0}, blue[3] = {0, 0, 191};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(p.at(30, y, c), yellow[c]);
        EXPECT_EQ(p.at(50, y, c), cyan[c]);
        EXPECT_EQ(p.at(110, y, c), red[c]);
        EXPECT_EQ(p.at(130, y, c), blue[c]);
    }
    EXPECT_EQ(pngColourType(path("bars.png")), 6);  // 32-bit frames keep alpha

    ASSERT_EQ(vyrhost({"render", kProbe, "--size", "140x60", "--depth", "24", "-o", path("bars24.png")}).status, 0);
    EXPECT_EQ(pngColourType(path("bars24.png")), 2);
    EXPECT_EQ(readPng(path("bars24.png")).rgba, p.rgba);
    ASSERT_EQ(vyrhost({"render", kProbe, "--size", "140x60", "--opaque", "-o", path("opaque.png")}).status, 0);
    EXPECT_EQ(pngColourType(path("opaque.png")), 2);
}

TEST_F(VyrhostTest, TenFrameVideosDecodeWithTenFramesOfTheRightSize) {
    for (const std::string file : {"clip.mp4", "clip.mkv", "clip.gif"}) {
        SCOPED_TRACE(file);
        const Result r = vyrhost({"render", "VyrGlobHeap1", "--size", "96x64", "--frames", "10", "-o", path(file)});
        ASSERT_EQ(r.status, 0) << r.err;
        const VideoFacts v = probeVideo(path(file));
        EXPECT_EQ(v.frames, 10);
        EXPECT_EQ(v.width, 96);
        EXPECT_EQ(v.height, 64);
    }
    EXPECT_EQ(listing(dir_).size(), 3u);  // no temporary files left
}

TEST_F(VyrhostTest, OddSizesArePaddedOrScaledToAYuv420pFileThatPlaysEverywhere) {
    // The probe passes the test picture through: its top left stays where
    // it was when padded, and the bottom right gains a black edge.
    Result r = vyrhost({"render", kProbe, "--size", "75x43", "--frames", "4", "--crf", "0", "-o", path("odd.mp4")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("vyrhost: 75x43 is padded to 76x44 for yuv420p, which needs even sizes"), std::string::npos)
        << r.err;
    VideoFacts v = probeVideo(path("odd.mp4"));
    EXPECT_EQ(v.frames, 4);
    EXPECT_EQ(std::to_string(v.width) + "x" + std::to_string(v.height) + " " + v.pixelFormat, "76x44 yuv420p");
    ASSERT_EQ(run({VYRHOST_FFMPEG, "-v", "error", "-i", path("odd.mp4"), "-frames:v", "1", path("odd.png")}).status, 0);
    const Picture p = readPng(path("odd.png"));
    EXPECT_GT(p.at(15, 10, 0), 150);  // yellow bar: red and green, no blue
    EXPECT_LT(p.at(15, 10, 2), 40);
    EXPECT_LT(p.at(75, 20, 0) + p.at(75, 20, 1) + p.at(75, 20, 2), 60);  // the padded column

    r = vyrhost({"render", kProbe, "--size", "75x43", "--frames", "2", "--even", "scale", "-q", "-o", path("s.webm")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    v = probeVideo(path("s.webm"));
    EXPECT_EQ(std::to_string(v.width) + "x" + std::to_string(v.height), "76x44");
    // Formats without chroma pairs keep the size.
    ASSERT_EQ(
        vyrhost({"render", kProbe, "--size", "75x43", "--frames", "2", "--codec", "ffv1", "-o", path("o.mkv")}).status,
        0);
    EXPECT_EQ(probeVideo(path("o.mkv")).width, 75);
}

TEST_F(VyrhostTest, SequencesAndRawFramesCarryTheSamePictures) {
    const std::vector<std::string> common = {"render", "VyrBrushDrift1", "--size", "32x24", "--frames",
                                             "3",      "--seed",         "3"};
    std::vector<std::string> seq = common;
    seq.insert(seq.end(), {"-o", path("f_%03d.png")});
    ASSERT_EQ(vyrhost(seq).status, 0);
    // Raw frames go to standard output: run through a shell to redirect it.
    std::string cmd = std::string(VYRHOST_EXE);
    for (size_t i = 0; i < common.size(); ++i) cmd += " '" + common[i] + "'";
    cmd += " -o - > '" + path("frames.raw") + "'";
    ASSERT_EQ(run({"sh", "-c", cmd}).status, 0);
    const std::string bytes = slurp(path("frames.raw"));
    ASSERT_EQ(bytes.size(), 3u * 32 * 24 * 4);
    for (int f = 0; f < 3; ++f) {
        char name[16];
        std::snprintf(name, sizeof name, "f_%03d.png", f);
        const Picture p = readPng(path(name));
        ASSERT_EQ(p.width, 32) << name;
        const unsigned char* frame = reinterpret_cast<const unsigned char*>(bytes.data()) + f * 32 * 24 * 4;
        for (size_t i = 0; i < size_t(32 * 24); ++i) {
            // BGRA in the pipe, RGBA from the PNG.
            ASSERT_EQ(frame[i * 4 + 0], p.rgba[i * 4 + 2]) << name << " pixel " << i;
            ASSERT_EQ(frame[i * 4 + 1], p.rgba[i * 4 + 1]);
            ASSERT_EQ(frame[i * 4 + 2], p.rgba[i * 4 + 0]);
            ASSERT_EQ(frame[i * 4 + 3], p.rgba[i * 4 + 3]);
        }
    }
    EXPECT_FALSE(exists(path("f_003.png")));
}

TEST_F(VyrhostTest, EffectRendersOverAnInputVideo) {
    const Result made = run({VYRHOST_FFMPEG, "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25",
                             "-frames:v", "12", "-pix_fmt", "yuv420p", path("in.mp4")});
    ASSERT_EQ(made.status, 0) << made.err;

    // Without --frames the clip is as long as the input.
    Result r =
        vyrhost({"render", "VyrBrushDrift1", "--input", path("in.mp4"), "--size", "80x60", "-o", path("out.mp4")});
    ASSERT_EQ(r.status, 0) << r.err;
    VideoFacts v = probeVideo(path("out.mp4"));
    EXPECT_EQ(v.frames, 12);
    EXPECT_EQ(v.width, 80);
    EXPECT_EQ(v.height, 60);

    // A longer clip loops the input.
    r = vyrhost({"render", "VyrBrushDrift1", "--input", path("in.mp4"), "--size", "80x60", "--frames", "30", "-o",
                 path("long.mkv")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(probeVideo(path("long.mkv")).frames, 30);

    // The probe passes its input through: the output follows the input
    // video, and a PNG holds its first frame.
    r = vyrhost({"render", kProbe, "--input", path("in.mp4"), "--size", "64x48", "-o", path("first.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(run({VYRHOST_FFMPEG, "-v", "error", "-i", path("in.mp4"), "-frames:v", "1", path("ref.png")}).status, 0);
    const Picture got = readPng(path("first.png")), ref = readPng(path("ref.png"));
    ASSERT_EQ(got.width, ref.width);
    long diff = 0;
    for (size_t i = 8; i < got.rgba.size(); ++i)  // pixels 0 and 1 carry the probe's marks
        if (i % 4 != 3) diff += std::abs(int(got.rgba[i]) - int(ref.rgba[i]));
    EXPECT_LT(diff / double(got.rgba.size()), 3.0);  // the same picture, up to colour conversion
}

struct AlphaCase {
    std::string file, codec, decoder;
    int tolerance;  // lossless codecs keep alpha exactly
};

TEST_F(VyrhostTest, VideosKeepAlphaWhereTheCodecCarriesIt) {
    // An input whose alpha runs 0, 4, 8... across; the probe passes it on.
    ASSERT_EQ(
        run({VYRHOST_FFMPEG, "-v", "error", "-f", "lavfi", "-i",
             "color=c=red:size=64x48,format=rgba,geq=r='X*4':g='Y*5':b=128:a='X*4'", "-frames:v", "1", path("in.png")})
            .status,
        0);
    const std::vector<AlphaCase> cases = {{"ffv1.mkv", "ffv1", "", 0},
                                          {"qtrle.mov", "qtrle", "", 0},
                                          {"prores.mov", "prores_ks", "", 2},
                                          {"vp9.webm", "", "libvpx-vp9", 3}};
    for (const AlphaCase& c : cases) {
        SCOPED_TRACE(c.file);
        std::vector<std::string> args = {"render", kProbe, "--input", path("in.png"), "--frames", "3"};
        if (!c.codec.empty()) args.insert(args.end(), {"--codec", c.codec});
        for (const bool opaque : {false, true}) {
            std::vector<std::string> a = args;
            if (opaque) a.push_back("--opaque");
            a.insert(a.end(), {"-o", path(c.file)});
            const Result r = vyrhost(a);
            ASSERT_EQ(r.status, 0) << r.err;
            // VP9 keeps alpha beside the picture: only libvpx's decoder reads it.
            std::vector<std::string> dec = {VYRHOST_FFMPEG, "-v", "error"};
            if (!c.decoder.empty()) dec.insert(dec.end(), {"-c:v", c.decoder});
            dec.insert(dec.end(), {"-i", path(c.file), "-frames:v", "1", "-y", path("back.png")});
            ASSERT_EQ(run(dec).status, 0);
            const Picture back = readPng(path("back.png"));
            ASSERT_EQ(back.width, 64);
            int worst = 0;
            for (int y = 0; y < 48; ++y)
                for (int x = 2; x < 64; ++x)  // pixels 0 and 1 carry the probe's marks
                    worst = std::max(worst, std::abs(int(back.at(x, y, 3)) - (opaque ? 255 : x * 4)));
            EXPECT_LE(worst, c.tolerance) << (opaque ? "with --opaque" : "with alpha");
        }
    }
    // A codec without alpha says once that the frames' alpha was dropped.
    const Result mp4 = vyrhost({"render", kProbe, "--input", path("in.png"), "--frames", "2", "-o", path("x.mp4")});
    ASSERT_EQ(mp4.status, 0) << mp4.err;
    EXPECT_NE(mp4.err.find("vyrhost: the frames' alpha is not kept: libx264 has none"), std::string::npos) << mp4.err;
}

TEST_F(VyrhostTest, QualityIsSetPerEncoderAndRefusedWhereItMeansNothing) {
    const auto size = [&](const std::string& crf, const std::string& file) {
        const Result r = vyrhost({"render", "VyrGlobHeap1", "--size", "96x64", "--frames", "5", "--seed", "1", "--crf",
                                  crf, "-o", path(file)});
        EXPECT_EQ(r.status, 0) << r.err;
        return slurp(path(file)).size();
    };
    EXPECT_GT(size("5", "fine.mp4"), size("40", "coarse.mp4"));
    EXPECT_GT(size("10", "fine.webm"), size("60", "coarse.webm"));
    expectFailure(vyrhost({"render", kProbe, "--crf", "60", "-o", path("x.mp4")}), "libx264 takes 0 to 51");
    expectFailure(vyrhost({"render", kProbe, "--crf", "20", "--codec", "ffv1", "-o", path("x.mkv")}),
                  "ffv1 is lossless");
    EXPECT_FALSE(exists(path("x.mp4")));
    EXPECT_FALSE(exists(path("x.mkv")));
}

TEST_F(VyrhostTest, CtrlCFinishesAVideoWithTheFramesSoFar) {
    const std::string out = path("long.mkv");
    const pid_t pid =
        startVyrhost({"render", kProbe, "--size", "64x48", "--frames", "10000000", "-o", out}, path("err.txt"));
    // Wait until frames are being written (the temporary file appears once
    // the output is open), then interrupt.
    bool writing = false;
    for (int i = 0; i < 1000 && !writing; ++i) {
        usleep(10000);
        for (const auto& name : listing(dir_))
            if (name.find(".part") != std::string::npos) writing = true;
    }
    usleep(300000);
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(writing);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    const std::string err = slurp(path("err.txt"));
    long reported = 0;
    const size_t at = err.find("vyrhost: interrupted at frame ");
    ASSERT_NE(at, std::string::npos) << err;
    std::sscanf(err.c_str() + at, "vyrhost: interrupted at frame %ld", &reported);
    EXPECT_GT(reported, 0);
    EXPECT_EQ(probeVideo(out).frames, reported);
    for (const auto& name : listing(dir_)) EXPECT_EQ(name.find(".part"), std::string::npos) << name;
}

// Ctrl-C while the plug-in is busy with the only frame of a PNG stops it
// unwritten; a second one, and any number more, while it is busy with a
// frame of a sequence removes the frames written so far.
TEST_F(VyrhostTest, InterruptedRunsLeaveNothingBehindHoweverManySignalsArrive) {
    struct Case {
        std::string output;
        int frames, stallAt, signals;
        std::string err;
    };
    const std::string out = path("out");
    ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
    const std::vector<Case> cases = {
        {"x.png", 1, 0, 1, "vyrhost: error: interrupted at frame 1; " + out + "/x.png was not written\n"},
        {"s_%02d.png", 10, 3, 7,
         "vyrhost: error: HostProbe was interrupted at frame 3; the frames written before it were removed\n"}};
    for (const Case& c : cases) {
        const std::string stalled = path("stalled"), output = out + "/" + c.output;
        unlink(stalled.c_str());
        const pid_t pid =
            startVyrhost({"render", kProbe, "--size", "16x16", "--frames", std::to_string(c.frames), "-o", output},
                         path("err.txt"), "VYR_PROBE_STALL=" + std::to_string(c.stallAt) + ":" + stalled);
        // The plug-in says when it is busy with the frame; then the signals
        // come, Ctrl-C and termination requests mixed.
        for (int i = 0; i < 1000 && access(stalled.c_str(), F_OK) != 0; ++i) usleep(10000);
        usleep(100000);
        for (int k = 0; k < c.signals; ++k) kill(pid, k % 3 == 2 ? SIGTERM : SIGINT);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status)) << c.output;
        EXPECT_EQ(WEXITSTATUS(status), 130) << c.output;
        EXPECT_EQ(slurp(path("err.txt")), c.err);
        EXPECT_TRUE(listing(out).empty()) << c.output;
    }
}

TEST_F(VyrhostTest, AnotherPluginCanFeedAnEffect) {
    const auto render = [&](const std::string& file) {
        const Result r = vyrhost({"render", "VyrBrushDrift1", "--input", "plugin:VyrGlobSwirl1", "--size", "64x48",
                                  "--frames", "3", "--seed", "4", "-o", path(file)});
        EXPECT_EQ(r.status, 0) << r.err;
        return readPng(path(file));
    };
    const Picture a = render("a.png"), b = render("b.png");
    EXPECT_TRUE(anyColour(a));
    EXPECT_EQ(a.rgba, b.rgba);  // both instances draw from the seed
    // The probe passes its input on: the source's frame, not the test picture.
    ASSERT_EQ(
        vyrhost({"render", kProbe, "--input", "plugin:VyrSnowSpecks1", "--size", "64x48", "-o", path("p.png")}).status,
        0);
    ASSERT_EQ(vyrhost({"render", kProbe, "--size", "64x48", "-o", path("t.png")}).status, 0);
    EXPECT_NE(readPng(path("p.png")).rgba, readPng(path("t.png")).rgba);
    expectFailure(vyrhost({"render", kProbe, "--input", "plugin:NoSuchPlugin", "-o", path("x.png")}),
                  "no plug-in named \"NoSuchPlugin\"");
}

// ---------------------------------------------------------------- parameters, seed

TEST_F(VyrhostTest, RampsRunFromTheFirstValueToTheLast) {
    const Result r =
        vyrhost({"render", kProbe, "--size", "8x8", "--frames", "5", "--ramp", "Level=0:1", "-o", path("r_%d.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    const int expected[5] = {0, 63, 127, 191, 255};  // trunc(255 x (0, .25, .5, .75, 1))
    for (int f = 0; f < 5; ++f) EXPECT_EQ(readPng(path("r_" + std::to_string(f) + ".png")).at(0, 0, 0), expected[f]);

    // --set holds a value; names match without regard to case, indices work too.
    ASSERT_EQ(vyrhost({"render", kProbe, "--size", "8x8", "--set", "level=0.2", "-o", path("s.png")}).status, 0);
    EXPECT_EQ(readPng(path("s.png")).at(0, 0, 0), 51);
    ASSERT_EQ(vyrhost({"render", kProbe, "--size", "8x8", "--set", "0=1", "-o", path("i.png")}).status, 0);
    EXPECT_EQ(readPng(path("i.png")).at(0, 0, 0), 255);
}

TEST_F(VyrhostTest, RampsChangeARealPluginsPictureOverTheClip) {
    // Draw Switch! at 0 draws nothing; at 1 the dots run.
    const Result r = vyrhost({"render", "VyrSnowSpecks1", "--size", "96x64", "--frames", "4", "--ramp",
                              "Draw Switch!=0:1", "-o", path("d_%d.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(anyColour(readPng(path("d_0.png"))));
    EXPECT_TRUE(anyColour(readPng(path("d_3.png"))));
}

TEST_F(VyrhostTest, SeedMakesRunsRepeatable) {
    const auto render = [&](const std::string& plugin, const std::string& seed, const std::string& file) {
        const Result r = vyrhost({"render", plugin, "--size", "96x64", "--frames", "3", "--seed", seed, "-o", file});
        EXPECT_EQ(r.status, 0) << r.err;
        return readPng(file).rgba;
    };
    EXPECT_EQ(render(kProbe, "5", path("a.png")), render(kProbe, "5", path("b.png")));
    EXPECT_NE(render(kProbe, "5", path("a.png")), render(kProbe, "6", path("c.png")));
    for (const std::string& name : vyrtest::allPluginNames()) {
        SCOPED_TRACE(name);
        EXPECT_EQ(render(name, "11", path("x.png")), render(name, "11", path("y.png")));
    }
}

TEST_F(VyrhostTest, CopyAndInPlaceGiveTheSamePictures) {
    for (const std::string& name : vyrtest::allPluginNames()) {
        SCOPED_TRACE(name);
        std::vector<std::string> args = {"render", name, "--size", "64x48", "--frames", "3", "--seed", "2", "-o"};
        std::vector<std::string> copy = args;
        args.push_back(path("inplace.png"));
        copy.push_back(path("copy.png"));
        copy.push_back("--copy");
        ASSERT_EQ(vyrhost(args).status, 0);
        ASSERT_EQ(vyrhost(copy).status, 0);
        EXPECT_EQ(readPng(path("inplace.png")).rgba, readPng(path("copy.png")).rgba);
    }
}

TEST_F(VyrhostTest, ParameterFilesKeyframesReachThePlugin) {
    // 0.5 s is frame 2 at 4 frames per second; the hold keeps 1 until frame 3.
    std::ofstream(path("take.json")) << R"({ "size": "8x6", "frames": 5, "fps": 4, "seed": 3,
        "parameters": { "Level": [ {"frame": 0, "value": 0}, {"time": 0.5, "value": 1, "interpolation": "hold"},
                                   {"frame": 3, "value": 0.2} ] } })";
    Result r = vyrhost({"render", kProbe, "--params", path("take.json"), "-o", path("k_%d.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    const int expected[5] = {0, 127, 255, 51, 51};
    for (int f = 0; f < 5; ++f) {
        const Picture p = readPng(path("k_" + std::to_string(f) + ".png"));
        ASSERT_EQ(p.width, 8);
        ASSERT_EQ(p.height, 6);
        EXPECT_EQ(p.at(0, 0, 0), expected[f]) << "frame " << f;
    }
    EXPECT_FALSE(exists(path("k_5.png")));
    // The file's seed: the probe draws pixel 1 from rand() when instantiated.
    const Result seeded = vyrhost({"render", kProbe, "--size", "8x6", "--seed", "3", "-o", path("s.png")});
    ASSERT_EQ(seeded.status, 0) << seeded.err;
    EXPECT_EQ(readPng(path("k_0.png")).at(1, 0, 0), readPng(path("s.png")).at(1, 0, 0));

    // --set acts on top of the file, and the command line's size and length win.
    r = vyrhost({"render", kProbe, "--params", path("take.json"), "--set", "Level=0.6", "--size", "4x4", "--frames",
                 "2", "-o", path("o_%d.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readPng(path("o_1.png")).at(0, 0, 0), 153);
    EXPECT_EQ(readPng(path("o_1.png")).width, 4);
    EXPECT_FALSE(exists(path("o_2.png")));

    // A re-seed in a take starts a fresh instance from that seed.
    std::ofstream(path("reseed.json"))
        << R"({ "size": "8x6", "frames": 3, "seed": 3, "seeds": [{"frame": 2, "seed": 5}] })";
    ASSERT_EQ(vyrhost({"render", kProbe, "--params", path("reseed.json"), "-o", path("r_%d.png")}).status, 0);
    ASSERT_EQ(vyrhost({"render", kProbe, "--size", "8x6", "--seed", "5", "-o", path("s5.png")}).status, 0);
    EXPECT_EQ(readPng(path("r_1.png")).at(1, 0, 0), readPng(path("s.png")).at(1, 0, 0));
    EXPECT_EQ(readPng(path("r_2.png")).at(1, 0, 0), readPng(path("s5.png")).at(1, 0, 0));

    std::ofstream(path("bad.json")) << R"({ "parameters": { "Levle": 0.5 } })";
    expectFailure(vyrhost({"render", kProbe, "--params", path("bad.json"), "-o", path("x.png")}),
                  "HostProbe has no parameter \"Levle\"");
    std::ofstream(path("order.json"))
        << R"({ "parameters": { "Level": [{"frame": 5, "value": 0}, {"time": 0.1, "value": 1}] } })";
    expectFailure(vyrhost({"render", kProbe, "--params", path("order.json"), "-o", path("x.png")}),
                  "key 1 comes before key 0");
    EXPECT_FALSE(exists(path("x.png")));
}

TEST_F(VyrhostTest, AnInputKeepsItsSizeUnlessOneIsGiven) {
    ASSERT_EQ(run({VYRHOST_FFMPEG, "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=72x40:rate=25", "-frames:v", "1",
                   path("in.png")})
                  .status,
              0);
    ASSERT_EQ(vyrhost({"render", kProbe, "--input", path("in.png"), "-o", path("same.png")}).status, 0);
    EXPECT_EQ(readPng(path("same.png")).width, 72);
    EXPECT_EQ(readPng(path("same.png")).height, 40);
    ASSERT_EQ(vyrhost({"render", kProbe, "--input", path("in.png"), "--size", "30x20", "-o", path("given.png")}).status,
              0);
    EXPECT_EQ(readPng(path("given.png")).width, 30);
}

// ---------------------------------------------------------------- errors

TEST_F(VyrhostTest, UnloadableFilesAndUnknownNamesAreReported) {
    std::ofstream(path("broken.so")) << "not an ELF file";
    expectFailure(vyrhost({"info", path("broken.so")}), "cannot load " + path("broken.so"));
    expectFailure(vyrhost({"info", VYRHOST_NOT_A_PLUGIN}), "no plugMain");
    expectFailure(vyrhost({"info", path("missing.so")}), "no such file");
    expectFailure(vyrhost({"render", "NoSuchPlugin", "-o", path("x.png")}), "no plug-in named \"NoSuchPlugin\"");
    expectFailure(vyrhost({"list", path("nowhere")}), "cannot read plug-in folder");
    EXPECT_FALSE(exists(path("x.png")));
}

TEST_F(VyrhostTest, BadParametersAreReportedBeforeAnythingIsWritten) {
    const std::string out = path("x.mp4");
    Result r = vyrhost({"render", "VyrSnowSpecks1", "--set", "Dot Scael=0.5", "-o", out});
    expectFailure(r, "VyrSnowSpecks1 has no parameter \"Dot Scael\"");
    EXPECT_NE(r.err.find("\"Dot Scale\""), std::string::npos);  // and names the ones it has
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    expectFailure(vyrhost({"render", kProbe, "--set", "Level=1.5", "-o", out}), "not a number from 0 to 1");
    expectFailure(vyrhost({"render", kProbe, "--set", "Level=abc", "-o", out}), "not a number from 0 to 1");
    expectFailure(vyrhost({"render", kProbe, "--set", "Level", "-o", out}), "expected NAME=VALUE");
    expectFailure(vyrhost({"render", kProbe, "--ramp", "Level=0", "-o", out}), "expected NAME=FROM:TO");
    expectFailure(vyrhost({"render", kProbe, "--set", "7=0.5", "-o", out}), "has 3 parameters");
    EXPECT_TRUE(listing(dir_).empty());
}

TEST_F(VyrhostTest, BadSizesAndFormatsAreReported) {
    for (const std::string size : {"0x10", "10x0", "640", "640x", "x480", "-5x5", "20000x10", "640x480x2"})
        expectFailure(vyrhost({"render", kProbe, "--size", size, "-o", path("x.png")}), "bad size");
    EXPECT_NE(vyrhost({"render", kProbe, "--depth", "16", "-o", path("x.png")}).status, 0);
    expectFailure(vyrhost({"render", kProbe, "--frames", "2", "-o", path("x_%d_%d.png")}), "more than one");
    expectFailure(vyrhost({"render", kProbe, "--frames", "2", "-o", path("x_%04d.mp4")}), "end it in .png");
    expectFailure(vyrhost({"render", kProbe, "-o", path("x.unknownext")}), "unknown video format");
    expectFailure(vyrhost({"render", kProbe, "--input", path("none.mp4"), "-o", path("x.png")}),
                  "cannot read input " + path("none.mp4"));
    EXPECT_TRUE(listing(dir_).empty());
}

TEST_F(VyrhostTest, UnwritableOutputsAreReported) {
    for (const std::string out : {"/nonexistent-dir/x.png", "/nonexistent-dir/x.mp4", "/nonexistent-dir/x_%d.png"})
        expectFailure(vyrhost({"render", kProbe, "--size", "8x8", "-o", out}), "cannot write /nonexistent-dir/x");
}

TEST_F(VyrhostTest, PluginFailuresLeaveNothingHalfWritten) {
    // The probe fails its fourth frame (Fail Frame 0.003 names frame 3).
    Result r = vyrhost(
        {"render", kProbe, "--size", "16x16", "--frames", "10", "--set", "Fail Frame=0.003", "-o", path("x.mp4")});
    expectFailure(r, "HostProbe: processFrame failed at frame 3; " + path("x.mp4") + " was not written");
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    r = vyrhost({"render", kProbe, "--size", "16x16", "--frames", "10", "--set", "Fail Frame=0.003", "--copy", "-o",
                 path("x_%02d.png")});
    expectFailure(r, "processFrameCopy failed at frame 3; removed the 3 frames already written");
    EXPECT_TRUE(listing(dir_).empty());

    expectFailure(vyrhost({"render", kProbe, "--size", "7x16", "-o", path("x.png")}),
                  "HostProbe: instantiate failed at 7x16, 32-bit");
    EXPECT_TRUE(listing(dir_).empty());
}

TEST_F(VyrhostTest, PluginCrashesAreReportedAndCleanedUp) {
    for (const std::string out : {"x.mp4", "x.png"}) {
        const Result r = vyrhost(
            {"render", kProbe, "--size", "16x16", "--frames", "10", "--set", "Crash Frame=0.002", "-o", path(out)});
        EXPECT_EQ(r.status, 128 + SIGSEGV);
        EXPECT_EQ(r.err, "vyrhost: error: HostProbe crashed at frame 2; " + path(out) + " was not written\n");
        EXPECT_TRUE(listing(dir_).empty());
    }
}

// Damaged inputs are used as far as they decode, with one warning line: the
// frames lost, or that a video gave only one frame.
TEST_F(VyrhostTest, DamagedInputsAreUsedWithAWarning) {
    const std::vector<std::string> clip = {
        VYRHOST_FFMPEG, "-v", "error", "-f",    "lavfi", "-i", "testsrc=size=64x48:rate=30",
        "-frames:v",    "30", "-c:v",  "mpeg4", "-g",    "5"};
    std::vector<std::string> args = clip;
    args.push_back(path("clip.avi"));
    ASSERT_EQ(run(args).status, 0);
    args = clip;
    args.push_back(path("clip.mkv"));
    ASSERT_EQ(run(args).status, 0);

    std::string bytes = slurp(path("clip.avi"));
    for (size_t i = bytes.size() / 3; i < bytes.size() / 3 + 3000; ++i) bytes[i] = 'Z';
    std::ofstream(path("damaged.avi"), std::ios::binary) << bytes;
    Result r = vyrhost({"render", "VyrBrushDrift1", "--input", path("damaged.avi"), "-o", path("out.mkv")});
    ASSERT_EQ(r.status, 0) << r.err;
    long lost = 0, decoded = 0;
    const std::string head = "vyrhost: warning: input " + path("damaged.avi") + " is damaged: ";
    ASSERT_EQ(r.err.find(head), 0u) << r.err;
    ASSERT_EQ(std::sscanf(r.err.c_str() + head.size(), "%ld frames lost (%ld of 30 decoded)", &lost, &decoded), 2)
        << r.err;
    EXPECT_EQ(lost + decoded, 30);
    EXPECT_GT(lost, 0);
    EXPECT_EQ(probeVideo(path("out.mkv")).frames, decoded);

    // The first cut of the clip that decodes to exactly one frame.
    const std::string whole = slurp(path("clip.mkv"));
    bool found = false;
    for (size_t cut = 500; cut < whole.size() && !found; cut += 50) {
        std::ofstream(path("cut.mkv"), std::ios::binary) << whole.substr(0, cut);
        found = probeVideo(path("cut.mkv")).frames == 1;
    }
    ASSERT_TRUE(found);
    r = vyrhost({"render", "VyrBrushDrift1", "--input", path("cut.mkv"), "--frames", "2", "-q", "-o", path("cut.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("vyrhost: warning: input " + path("cut.mkv") + " is a video that gave only one frame"), 0u)
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

// A small file that decodes to a huge picture is refused before it is
// decoded, in one line that says how to read it anyway.
TEST_F(VyrhostTest, InputsBeyondTheSizeLimitAreRefused) {
    ASSERT_EQ(run({VYRHOST_FFMPEG, "-v", "error", "-f", "lavfi", "-i", "color=c=red:size=12000x12000", "-frames:v", "1",
                   path("big.png")})
                  .status,
              0);
    const Result r = vyrhost({"render", kProbe, "--input", path("big.png"), "--size", "8x8", "-o", path("x.png")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vyrhost: error: input " + path("big.png") +
                         ": its pictures are 12000x12000 (144 megapixels), "
                         "beyond the limit of 50 megapixels for inputs; --large-input reads it anyway\n");
    EXPECT_EQ(listing(dir_), std::vector<std::string>{"big.png"});
}

// A crashed run leaves nothing, not even the frames of a sequence it had
// completed; temporary files of runs that were killed outright are removed
// by the next run that writes to the same place, once their owner is gone.
TEST_F(VyrhostTest, CrashedAndKilledRunsLeaveNothingBehind) {
    const Result r = vyrhost({"render", kProbe, "--size", "16x16", "--frames", "10", "--set", "Crash Frame=0.003", "-o",
                              path("x_%02d.png")});
    EXPECT_EQ(r.status, 128 + SIGSEGV);
    EXPECT_EQ(r.err, "vyrhost: error: HostProbe crashed at frame 3; the frames written before it were removed\n");
    EXPECT_TRUE(listing(dir_).empty());

    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string dead = std::to_string(gone), alive = std::to_string(getpid());
    for (const std::string& name : {".x.png.part-" + dead, ".x.png.part-" + alive, ".y.png.part-" + dead,
                                    ".x.mkv.part-" + dead, ".s_0003.png.part-" + dead, ".s_0003.png.part-" + alive})
        std::ofstream(path(name)) << "left by a killed run";
    ASSERT_EQ(vyrhost({"render", kProbe, "--size", "8x8", "-o", path("x.png")}).status, 0);
    ASSERT_EQ(vyrhost({"render", kProbe, "--size", "16x16", "--frames", "2", "-o", path("x.mkv")}).status, 0);
    ASSERT_EQ(vyrhost({"render", kProbe, "--size", "8x8", "--frames", "1", "-o", path("s_%04d.png")}).status, 0);
    std::vector<std::string> names = listing(dir_);
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected = {
        ".s_0003.png.part-" + alive, ".x.png.part-" + alive, ".y.png.part-" + dead, "s_0000.png", "x.mkv", "x.png"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
}

// Counts that cannot be honoured, and every other refused command line: one
// plain line in the common format, exit status 2.
TEST_F(VyrhostTest, CountsThatCannotBeHonouredAreRefusedInOneLine) {
    const std::vector<std::vector<std::string>> refused = {
        {"bench", kProbe, "--frames", "2000000000000000000"},
        {"bench", kProbe, "--warmup", "9223372036854775806"},
        {"bench", kProbe, "--warmup", "-1"},
        {"render", kProbe, "--frames", "99999999999999999999", "-o", path("x.png")},
        {"render", kProbe, "--frames", "0", "-o", path("x.png")},
        {"render", kProbe, "--frames", "-1", "-o", path("x.png")},
        {"render", kProbe, "--frames", "abc", "-o", path("x.png")},
        {"render", kProbe, "--depth", "16", "-o", path("x.png")},
        {"render", "-o", path("x.png")},
        // Every other number and value the command line carries.
        {"render", kProbe, "--threads", "0", "-o", path("x.png")},
        {"render", kProbe, "--seed", "-1", "-o", path("x.png")},
        {"render", kProbe, "--seed", "4294967296", "-o", path("x.png")},
        {"render", kProbe, "--crf", "64", "-o", path("x.mp4")},
        {"render", kProbe, "--size", "0x10", "-o", path("x.png")},
        {"render", kProbe, "--fps", "0", "-o", path("x.mp4")},
        {"render", kProbe, "--set", "Level=1.5", "-o", path("x.png")},
        {"render", kProbe, "--ramp", "Level=0", "-o", path("x.png")},
        {"play", kProbe, "--osc-port", "65536"},
        {"play", kProbe, "--fps", "-3"},
    };
    for (const auto& args : refused) {
        const Result r = vyrhost(args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(r.err.find("Value "), std::string::npos) << r.err;  // CLI11's own wording
        EXPECT_EQ(r.err.rfind("vyrhost: error: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_LT(r.err.size(), 120u) << r.err;
    }
    EXPECT_TRUE(listing(dir_).empty());
}

TEST_F(VyrhostTest, DoubledPercentSignsInAnOutputNameAreOnePercentSign) {
    ASSERT_EQ(vyrhost({"render", kProbe, "--size", "8x8", "-o", path("100%%.png")}).status, 0);
    ASSERT_EQ(vyrhost({"render", kProbe, "--size", "16x16", "--frames", "2", "-o", path("100%%.mkv")}).status, 0);
    std::vector<std::string> names = listing(dir_);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"100%.mkv", "100%.png"}));
}

// Libraries that crash, exit, throw or answer wild addresses while being
// loaded and described are named on list's one line of skipped files, and
// the listing goes on; the other commands stop with one line.
TEST_F(VyrhostTest, BrokenPluginsCostOneLineAndTheListingGoesOn) {
    const Result r = vyrhost({"list", VYR_BROKEN_DIR});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(hasRow(r.out, {"Broken0.so", "HostProbe"})) << r.out;
    EXPECT_TRUE(hasRow(r.out, {"Broken9.so", "HostProbe"})) << r.out;   // fails only at instantiate
    EXPECT_TRUE(hasRow(r.out, {"Broken10.so", "HostProbe"})) << r.out;  // crashes only at instantiate
    EXPECT_TRUE(hasRow(r.out, {"Broken11.so", "HostProbe"})) << r.out;  // throws only from frames
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    const std::string dir = VYR_BROKEN_DIR;
    for (const char* crashes : {"Broken1.so", "Broken2.so", "Broken3.so", "Broken4.so", "Broken5.so"})
        EXPECT_NE(r.err.find(std::string(crashes) + ": crashed (Segmentation fault)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Broken6.so: exited (status 3)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Broken7.so: plugMain threw a C++ exception"), std::string::npos) << r.err;

    for (const char* command : {"info", "render", "bench"}) {
        std::vector<std::string> args = {command, dir + "/Broken1.so"};
        if (std::string(command) == "render") args.insert(args.end(), {"-o", path("x.png")});
        const Result one = vyrhost(args);
        EXPECT_EQ(one.status, 1) << command;
        EXPECT_EQ(one.err, "vyrhost: error: " + dir +
                               "/Broken1.so: crashed (Segmentation fault) while being loaded and asked about itself\n");
    }
    // A plug-in that described itself well and crashes later, outside a
    // render, is named too.
    for (const char* command : {"info", "bench"}) {
        const Result crash = vyrhost({command, dir + "/Broken10.so"});
        EXPECT_EQ(crash.status, 128 + SIGSEGV) << command;
        EXPECT_EQ(crash.err, "vyrhost: error: " + dir + "/Broken10.so crashed (Segmentation fault)\n") << command;
    }
    // An exception out of plugMain during a render is the plug-in's
    // failure, named as such, and leaves nothing behind.
    const std::vector<std::pair<std::vector<std::string>, std::string>> throwers = {
        {{"Broken11.so"}, "plugMain threw a C++ exception (function code 3)"},
        {{"Broken11.so", "--copy"}, "plugMain threw a C++ exception (function code 14)"},
        {{"Thrower.so"}, "f0r_update threw a C++ exception"}};
    for (const auto& t : throwers) {
        std::vector<std::string> args = {"render", dir + "/" + t.first[0], "--size", "8x8", "--frames", "3"};
        args.insert(args.end(), t.first.begin() + 1, t.first.end());
        args.insert(args.end(), {"-o", path("x.mkv")});
        const Result thrown = vyrhost(args);
        EXPECT_EQ(thrown.status, 1);
        EXPECT_EQ(thrown.err, "vyrhost: error: " + dir + "/" + t.first[0] + ": " + t.second + "; " + path("x.mkv") +
                                  " was not written\n");
    }
    // An instantiate answer whose low 32 bits are the failure word is a
    // failure, whatever its upper half holds.
    const Result r9 = vyrhost({"render", dir + "/Broken9.so", "--size", "8x8", "-o", path("x.png")});
    expectFailure(r9, "HostProbe: instantiate failed at 8x8, 32-bit");
    EXPECT_EQ(r9.status, 1);
    EXPECT_TRUE(listing(dir_).empty());
}

// ---------------------------------------------------------------- play

// vyrhost play in the background, in SDL's window-less video driver, so
// that it runs without a display; driven by OSC and by an input script.
class PlayProcess {
   public:
    PlayProcess(const std::string& dir, std::vector<std::string> args, bool midi = false) : dir_(dir) {
        args.insert(args.begin(), {VYRHOST_EXE, "play"});
        if (!midi) args.push_back("--no-midi");
        args.insert(args.end(), {"--osc-port", "0", "--out-dir", dir});
        pid_ = fork();
        if (pid_ == 0) {
            setenv("SDL_VIDEODRIVER", "dummy", 1);
            const int out = open((dir + "/play.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = open((dir + "/play.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, STDOUT_FILENO);
            dup2(err, STDERR_FILENO);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~PlayProcess() {
        if (pid_ > 0 && !done_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (address_ != nullptr) lo_address_free(address_);
    }

    std::string err() const { return slurp(dir_ + "/play.err"); }
    std::string out() const { return slurp(dir_ + "/play.out"); }

    // Waits (up to 20 s) for a line on standard error; false if it never came.
    bool waitFor(const std::string& text) {
        for (int i = 0; i < 2000; ++i) {
            if (err().find(text) != std::string::npos) return true;
            if (finished()) return err().find(text) != std::string::npos;
            usleep(10000);
        }
        return false;
    }

    void send(const std::string& path, const char* types = "", double number = 0) {
        if (address_ == nullptr) {
            const std::string e = err();
            const size_t at = e.find("OSC on UDP port ");
            ASSERT_NE(at, std::string::npos) << e;
            address_ = lo_address_new("127.0.0.1", std::to_string(std::atoi(e.c_str() + at + 16)).c_str());
        }
        if (std::string(types) == "f")
            lo_send(address_, path.c_str(), "f", float(number));
        else if (std::string(types) == "i")
            lo_send(address_, path.c_str(), "i", int(number));
        else
            lo_send(address_, path.c_str(), "");
    }

    // The exit status, after waiting up to 20 s.
    int wait() {
        for (int i = 0; i < 2000 && !finished(); ++i) usleep(10000);
        return done_ ? status_ : -1;
    }

   private:
    bool finished() {
        if (done_) return true;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
        done_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return true;
    }

    std::string dir_;
    pid_t pid_ = -1;
    bool done_ = false;
    int status_ = -1;
    lo_address address_ = nullptr;
};

TEST_F(VyrhostTest, PlayTakesKeysMouseAndOscToThePicture) {
    // The probe writes Level into pixel 0: each snapshot shows the value
    // the frame was rendered with.
    std::ofstream(path("script.txt")) << "# frame event\n"
                                         "3 key 3\n"
                                         "5 key s\n"
                                         "8 mouse 0.6 0.5\n"
                                         "10 key s\n"
                                         "12 key Down\n"
                                         "12 key End\n"
                                         "14 key BackSpace\n"
                                         "16 key s\n";
    PlayProcess play(dir_, {kProbe, "--size", "64x48", "--fps", "30", "--mouse-x", "Level", "--script",
                            path("script.txt"), "--stats"});
    ASSERT_TRUE(play.waitFor("HostProbe-snap-3.png")) << play.err();
    play.send("/vyr/Level", "f", 0.2);
    play.send("/vyr/snapshot");
    ASSERT_TRUE(play.waitFor("HostProbe-snap-4.png")) << play.err();
    play.send("/vyr/0", "f", 1.0);
    play.send("/vyr/snapshot");
    ASSERT_TRUE(play.waitFor("HostProbe-snap-5.png")) << play.err();
    // Long enough for the frame-rate counter to report.
    ASSERT_TRUE(play.waitFor("vyrhost: snapshot")) << play.err();
    for (int i = 0; i < 300 && play.out().find("fps ") == std::string::npos; ++i) usleep(10000);
    play.send("/vyr/quit");
    ASSERT_EQ(play.wait(), 0) << play.err();

    // 0.3 from the key, 0.6 from the mouse, the default 0.5 after the reset
    // (End moved Fail Frame, which the reset put back, or frame 1000 would fail).
    const int expected[5] = {76, 153, 127, 51, 255};
    for (int i = 0; i < 5; ++i) {
        const Picture p = readPng(path("HostProbe-snap-" + std::to_string(i + 1) + ".png"));
        ASSERT_EQ(p.width, 64) << i;
        EXPECT_EQ(p.at(0, 0, 0), expected[i]) << "snapshot " << i + 1;
    }
    double fps = 0;
    const std::string out = play.out();
    ASSERT_EQ(std::sscanf(out.c_str() + out.find("fps "), "fps %lf", &fps), 1) << out;
    EXPECT_GT(fps, 5.0);
    EXPECT_LT(fps, 40.0);
    EXPECT_NE(play.err().find("vyrhost: played "), std::string::npos);
}

TEST_F(VyrhostTest, PlayStartsFromAParameterFileAndItsKeysPlay) {
    // Level holds 0.2 until frame 40, then 0.6; snapshots asked for at
    // frames 2 and 45 see each (with room for the window to be late).
    std::ofstream(path("start.json")) << R"({ "size": "32x24", "fps": 30, "parameters": { "Level": [
        {"frame": 0, "value": 0.2, "interpolation": "hold"}, {"frame": 40, "value": 0.6} ] } })";
    std::ofstream(path("script.txt")) << "2 key s\n45 key s\n50 quit\n";
    PlayProcess play(dir_, {kProbe, "--params", path("start.json"), "--script", path("script.txt")});
    ASSERT_EQ(play.wait(), 0) << play.err();
    const Picture first = readPng(path("HostProbe-snap-1.png")), second = readPng(path("HostProbe-snap-2.png"));
    ASSERT_EQ(first.width, 32);  // the file's size
    EXPECT_EQ(first.at(0, 0, 0), 51);
    EXPECT_EQ(second.at(0, 0, 0), 153);

    // --set starts a parameter elsewhere, and the file's keys leave it be.
    PlayProcess set(dir_, {kProbe, "--params", path("start.json"), "--set", "Level=1", "--script", path("script.txt")});
    ASSERT_EQ(set.wait(), 0) << set.err();
    EXPECT_EQ(readPng(path("HostProbe-snap-3.png")).at(0, 0, 0), 255);
    EXPECT_EQ(readPng(path("HostProbe-snap-4.png")).at(0, 0, 0), 255);
}

// A take, with a value changed and a re-seed, renders again frame for frame,
// through either face: the frei0r face takes the re-seed as its "Seed".
TEST_F(VyrhostTest, PlayRecordsATakeThatRendersAgainFrameForFrame) {
    std::vector<std::string> faces = {"VyrGlobSwirl1"};
#ifdef VYRHOST_FREI0R_DIR
    faces.push_back(std::string(VYRHOST_FREI0R_DIR) + "/VyrGlobSwirl1.so");
#endif
    for (const std::string& face : faces) {
        SCOPED_TRACE(face);
        const bool frei0r = face.find('/') != std::string::npos;
        const std::string take = frei0r ? "frei0r-take" : "take";
        // A folder per run: its standard error is read while it plays.
        ASSERT_EQ(mkdir(path(take).c_str(), 0755), 0);
        PlayProcess play(path(take), {face, "--size", "64x48", "--fps", "50", "--seed", "3", "--codec", "ffv1",
                                      "--take", path(take + ".mkv")});
        ASSERT_TRUE(play.waitFor("OSC on UDP port")) << play.err();
        play.send("/vyr/record");
        ASSERT_TRUE(play.waitFor("recording")) << play.err();
        usleep(200000);
        play.send("/vyr/Dot_Scale", "f", 0.9);
        usleep(200000);
        play.send("/vyr/seed", "i", 5);
        usleep(200000);
        play.send("/vyr/Mode", "f", 0.5);
        usleep(200000);
        play.send("/vyr/record");
        ASSERT_TRUE(play.waitFor(take + "-1.json")) << play.err();
        play.send("/vyr/quit");
        ASSERT_EQ(play.wait(), 0) << play.err();

        const std::string json = slurp(path(take + "-1.json"));
        EXPECT_NE(json.find("\"seeds\""), std::string::npos) << json;
        EXPECT_NE(json.find("\"Dot Scale\": ["), std::string::npos) << json;
        if (frei0r) {
            // "Seed" starts at seed 3 and steps to seed 5 where the take re-seeds.
            const size_t seed = json.find("\"Seed\": [");
            ASSERT_NE(seed, std::string::npos) << json;
            const std::string keys = json.substr(seed, json.find(']', seed) - seed);
            static const std::regex value(R"re("value":([-+.e0-9]+))re");
            std::vector<long> seeds;
            for (auto it = std::sregex_iterator(keys.begin(), keys.end(), value); it != std::sregex_iterator(); ++it)
                seeds.push_back(std::lround(std::stod((*it)[1]) * 1000000.0));
            EXPECT_EQ(seeds, (std::vector<long>{3, 5})) << keys;
        }
        const Result r = vyrhost(
            {"render", face, "--params", path(take + "-1.json"), "--codec", "ffv1", "-o", path(take + "-again.mkv")});
        ASSERT_EQ(r.status, 0) << r.err;
        const auto frames = [&](const std::string& file) {
            return run({VYRHOST_FFMPEG, "-v", "error", "-i", path(file), "-f", "rawvideo", "-pix_fmt", "bgra", "-"})
                .out;
        };
        const std::string live = frames(take + "-1.mkv"), again = frames(take + "-again.mkv");
        EXPECT_GT(live.size(), size_t(20) * 64 * 48 * 4);
        EXPECT_EQ(live.size(), again.size());
        EXPECT_TRUE(live == again) << "the re-rendered take differs from the recorded one";
    }
}

TEST_F(VyrhostTest, PlayLearnsAMidiControllerThroughTheSequencer) {
    if (access("/dev/snd/seq", R_OK | W_OK) != 0)
        GTEST_SKIP() << "no ALSA sequencer here (/dev/snd/seq): MIDI is tested at unit level only";
    // A virtual controller of the test's own.
    snd_seq_t* seq = nullptr;
    ASSERT_GE(snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, 0), 0);
    snd_seq_set_client_name(seq, "vyrhost-test");
    const int port = snd_seq_create_simple_port(seq, "knobs", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                                SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    ASSERT_GE(port, 0);
    const std::string from = std::to_string(snd_seq_client_id(seq)) + ":" + std::to_string(port);
    const auto knob = [&](int value) {
        snd_seq_event_t ev;
        snd_seq_ev_clear(&ev);
        snd_seq_ev_set_source(&ev, port);
        snd_seq_ev_set_subs(&ev);
        snd_seq_ev_set_direct(&ev);
        snd_seq_ev_set_controller(&ev, 0, 21, value);  // channel 1, CC 21
        snd_seq_event_output_direct(seq, &ev);
    };
    // "l" arms learning for the selected parameter, Level.
    std::ofstream(path("script.txt")) << "2 key l\n";
    PlayProcess play(dir_,
                     {kProbe, "--size", "64x48", "--fps", "30", "--midi-from", from, "--midi-map", path("map.json"),
                      "--script", path("script.txt")},
                     true);
    ASSERT_TRUE(play.waitFor("MIDI on ALSA sequencer port")) << play.err();
    usleep(500000);
    knob(127);
    ASSERT_TRUE(play.waitFor("learned MIDI channel 1 CC 21 for \"Level\"")) << play.err();
    knob(0);
    usleep(200000);
    play.send("/vyr/snapshot");
    ASSERT_TRUE(play.waitFor("HostProbe-snap-1.png")) << play.err();
    play.send("/vyr/quit");
    EXPECT_EQ(play.wait(), 0) << play.err();
    snd_seq_close(seq);
    EXPECT_EQ(readPng(path("HostProbe-snap-1.png")).at(0, 0, 0), 0);
    const std::string map = slurp(path("map.json"));
    EXPECT_NE(map.find("\"cc\":21"), std::string::npos) << map;
    EXPECT_NE(map.find("\"parameter\":\"Level\""), std::string::npos) << map;
}

// ---------------------------------------------------------------- bench

TEST(VyrhostBench, PrintsRateTimesAndThreads) {
    const Result r = vyrhost({"bench", kProbe, "--size", "64x48", "--frames", "20", "--warmup", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("HostProbe at 64x48, 32-bit, processFrame: 20 frames after 2 warm-up frames"),
              std::string::npos)
        << r.out;
    double fps = 0, median = 0, p90 = 0, worst = 0;
    int threads = 0;
    const size_t at = r.out.find("frames per second:");
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(std::sscanf(r.out.c_str() + at,
                          "frames per second: %lf\nms per frame: median %lf, 90th percentile %lf, worst %lf\n"
                          "threads: %d",
                          &fps, &median, &p90, &worst, &threads),
              5)
        << r.out;
    EXPECT_GT(fps, 0.0);
    EXPECT_LE(median, p90);
    EXPECT_LE(p90, worst);
    EXPECT_EQ(threads, 1);  // the probe starts no threads

    const Result omp = vyrhost({"bench", "VyrGlobHeap1", "--size", "64x48", "--frames", "3", "--threads", "2"});
    ASSERT_EQ(omp.status, 0) << omp.err;
    EXPECT_NE(omp.out.find("threads: 2"), std::string::npos) << omp.out;
}

}  // namespace
