// One frame of a plug-in through plugMain, after the seeding frame, as a
// host sees it: the generator plus the framework's copies in and out.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct BenchSetting {
    const char* label;
    std::vector<std::pair<const char*, float>> params;  // by parameter name
};

// Registers "BM_<plugin>/<label>/<w>x<h>/omp_threads:<n>" for every setting,
// frame size (640x480 and 1920x1080, 32-bit) and OpenMP thread count.
void registerFrameBenchmarks(const std::string& plugin, const std::vector<BenchSetting>& settings,
                             const std::vector<int>& threadCounts);

// Path of a built FreeFrame plug-in, e.g. benchPluginPath("VyrSnowSpecks1").
std::string benchPluginPath(const std::string& name);
