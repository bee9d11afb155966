// vyrhost list and vyrhost info: what plug-ins say about themselves.
#include <dlfcn.h>

extern "C" {
#include <frei0r.h>
}

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "host_error.h"
#include "plugin_folder.h"

namespace vyrhost {

namespace {

std::string fileName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// FreeFrame 1.0 parameter type codes.
std::string paramTypeName(uint32_t type) {
    switch (type) {
        case 0: return "boolean";
        case 1: return "event";
        case 2: return "red";
        case 3: return "green";
        case 4: return "blue";
        case 5: return "x position";
        case 6: return "y position";
        case 10: return "standard";
        case 100: return "text";
        default: return "type " + std::to_string(type);
    }
}

void printRows(const std::vector<std::vector<std::string>>& rows, const std::string& indent) {
    std::vector<size_t> widths;
    for (const auto& row : rows)
        for (size_t c = 0; c < row.size(); ++c) {
            if (widths.size() <= c) widths.push_back(0);
            widths[c] = std::max(widths[c], row[c].size());
        }
    for (const auto& row : rows) {
        std::string line = indent;
        for (size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) line += std::string(widths[c] - row[c].size() + 2, ' ');
        }
        std::printf("%s\n", line.c_str());
    }
}

std::string formatFloat(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", double(v));
    return buf;
}

}  // namespace

int runList(const std::string& dir) {
    std::vector<std::vector<std::string>> rows = {{"FILE", "NAME", "ID", "TYPE", "VERSION", "DESCRIPTION"}};
    for (const std::string& file : pluginFiles(dir)) {
        try {
            Plugin p(file);
            const PluginInfo& i = p.info();
            rows.push_back({fileName(file), i.name, i.id, i.typeName(), i.version(), i.description});
        } catch (const HostError& e) {
            std::fprintf(stderr, "vyrhost: skipped %s: %s\n", fileName(file).c_str(), e.what());
        }
    }
    std::fflush(stderr);
    if (rows.size() == 1) {
        std::printf("no FreeFrame plug-ins in %s\n", dir.c_str());
        return 0;
    }
    printRows(rows, "");
    return 0;
}

// FreeFrame 1.0 has no place for a parameter's description; a plug-in that
// also comes as a frei0r library (Vyr's do, beside the FreeFrame folder:
// build/frei0r next to build/plugins, lib/frei0r-1 next to lib/freeframe)
// explains each parameter there. Empty when there is no such library.
static std::vector<std::string> frei0rDescriptions(const std::string& freeframePath, size_t count) {
    const size_t slash = freeframePath.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : freeframePath.substr(0, slash);
    const std::string file = freeframePath.substr(slash == std::string::npos ? 0 : slash + 1);
    for (const char* sibling : {"/../frei0r/", "/../frei0r-1/"}) {
        void* lib = dlopen((dir + sibling + file).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (lib == nullptr) continue;
        using ParamInfoFn = void (*)(f0r_param_info_t*, int);
        using PluginInfoFn = void (*)(f0r_plugin_info_t*);
        auto paramInfo = reinterpret_cast<ParamInfoFn>(dlsym(lib, "f0r_get_param_info"));
        auto pluginInfo = reinterpret_cast<PluginInfoFn>(dlsym(lib, "f0r_get_plugin_info"));
        if (paramInfo == nullptr || pluginInfo == nullptr) continue;
        f0r_plugin_info_t pi{};
        pluginInfo(&pi);
        if (pi.num_params < 0 || size_t(pi.num_params) < count) continue;
        std::vector<std::string> out;
        for (size_t k = 0; k < count; ++k) {
            f0r_param_info_t info{};
            paramInfo(&info, int(k));
            out.push_back(info.explanation != nullptr ? info.explanation : "");
        }
        // Left loaded: Vyr's libraries are linked never to be unloaded.
        return out;
    }
    return {};
}

int runInfo(const std::string& pluginArg, const std::string& pluginDir) {
    Plugin plugin(resolvePlugin(pluginArg, pluginDir));
    const PluginInfo& i = plugin.info();
    std::vector<std::vector<std::string>> head = {
        {"File:", i.path},
        {"Name:", i.name},
        {"ID:", i.id},
        {"Type:", i.typeName()},
        {"FreeFrame API:", std::to_string(i.apiMajor) + "." + std::to_string(i.apiMinor)},
        {"Version:", i.version()},
        {"Description:", i.description},
        {"About:", i.about},
    };
    printRows(head, "");

    // FreeFrame 1.0 capability codes and how to read their answers.
    const auto yesNo = [&](uint32_t code) { return plugin.capability(code) != 0 ? "yes" : "no"; };
    const uint32_t inPlace = plugin.capability(15);
    static const char* const kPrefer[] = {"no preference", "in place", "copy", "both"};
    std::printf("\nCapabilities:\n");
    printRows({{"16-bit video:", yesNo(0)},
               {"24-bit video:", yesNo(1)},
               {"32-bit video:", yesNo(2)},
               {"processFrameCopy:", yesNo(3)},
               {"input frames:", std::to_string(plugin.capability(10)) + " to " + std::to_string(plugin.capability(11))},
               {"copy or in place:", inPlace < 4 ? kPrefer[inPlace] : std::to_string(inPlace)}},
              "  ");

    // Display texts come from an instance; a small one is enough.
    std::unique_ptr<Instance> inst;
    std::string whyNoDisplay;
    try {
        inst.reset(new Instance(plugin, 64, 64, plugin.capability(2) != 0 ? 32 : 24));
    } catch (const HostError& e) {
        whyNoDisplay = e.what();
    }
    std::printf("\nParameters (%zu):\n", i.params.size());
    if (i.params.empty()) return 0;
    const std::vector<std::string> descriptions = frei0rDescriptions(i.path, i.params.size());
    std::vector<std::vector<std::string>> rows = {{"INDEX", "NAME", "DEFAULT", "DISPLAY", "TYPE"}};
    if (!descriptions.empty()) rows[0].push_back("DESCRIPTION");
    for (size_t k = 0; k < i.params.size(); ++k) {
        const ParamInfo& p = i.params[k];
        rows.push_back({std::to_string(k), p.name, formatFloat(p.defaultValue),
                        inst ? inst->displayText(uint32_t(k)) : "-", paramTypeName(p.type)});
        if (!descriptions.empty()) rows.back().push_back(descriptions[k]);
    }
    printRows(rows, "  ");
    if (!whyNoDisplay.empty()) std::printf("(no display texts: %s)\n", whyNoDisplay.c_str());
    return 0;
}

}  // namespace vyrhost
