// vyrhost list and vyrhost info: what plug-ins say about themselves.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "crash_guard.h"
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
        case 0:
            return "boolean";
        case 1:
            return "event";
        case 2:
            return "red";
        case 3:
            return "green";
        case 4:
            return "blue";
        case 5:
            return "x position";
        case 6:
            return "y position";
        case 10:
            return "standard";
        case 100:
            return "text";
        default:
            return "type " + std::to_string(type);
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

// Plug-ins' texts on one line: some frei0r explanations hold line breaks.
std::string oneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        const bool blank = std::isspace(static_cast<unsigned char>(c)) || std::iscntrl(static_cast<unsigned char>(c));
        if (!blank)
            out += c;
        else if (!out.empty() && out.back() != ' ')
            out += ' ';
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string formatFloat(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", double(v));
    return buf;
}

}  // namespace

int runList(const std::string& dir) {
    std::vector<std::vector<std::string>> rows = {{"FILE", "NAME", "ID", "TYPE", "VERSION", "DESCRIPTION"}};
    std::vector<std::string> skipped;
    // Described in child processes: a plug-in that crashes or hangs there
    // costs one line, and the listing goes on.
    const std::vector<std::string> files = pluginFiles(dir);
    const std::vector<ffhost::ChildAnswer> answers = describeEachInChild(files, [](const Plugin& p) {
        const PluginInfo& i = p.info();
        const char sep = '\x1f';
        return fileName(i.path) + sep + oneLine(i.name) + sep + i.id + sep + p.typeName() + sep + i.version() + sep +
               oneLine(i.description);
    });
    for (size_t k = 0; k < files.size(); ++k) {
        const std::string& file = files[k];
        if (!answers[k].ok) {
            // The reason without the path, which the line names once.
            std::string why = answers[k].text;
            for (size_t at; (at = why.find(file)) != std::string::npos;) why.replace(at, file.size(), fileName(file));
            skipped.push_back(why);
            continue;
        }
        const std::string& fields = answers[k].text;
        std::vector<std::string> row;
        for (size_t start = 0;;) {
            const size_t end = fields.find('\x1f', start);
            row.push_back(fields.substr(start, end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        rows.push_back(row);
    }
    // One line for everything that is not a plug-in, however many files.
    if (!skipped.empty()) {
        std::string line = "vyrhost: skipped " + std::to_string(skipped.size()) + " file" +
                           (skipped.size() == 1 ? "" : "s") + " that " + (skipped.size() == 1 ? "is" : "are") +
                           " no plug-in: ";
        for (size_t k = 0; k < skipped.size(); ++k) line += (k == 0 ? "" : "; ") + skipped[k];
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    std::fflush(stderr);
    if (rows.size() == 1) {
        std::printf("no FreeFrame or frei0r plug-ins in %s\n", dir.c_str());
        return 0;
    }
    printRows(rows, "");
    return 0;
}

int runInfo(const std::string& pluginArg, const std::string& pluginDir) {
    const std::string path = resolvePlugin(pluginArg, pluginDir);
    // Loaded here only once it behaved in a child process.
    describeInChild(path, [](const Plugin&) { return std::string(); });
    reportCrashesAs(path);
    Plugin plugin(path);
    const PluginInfo& i = plugin.info();
    std::vector<std::vector<std::string>> head = {
        {"File:", i.path},
        {"Name:", i.name},
        {"ID:", i.id},
        {"Type:", plugin.typeName()},
        plugin.isFrei0r()
            ? std::vector<std::string>{"frei0r API:", std::to_string(i.apiMajor)}
            : std::vector<std::string>{"FreeFrame API:", std::to_string(i.apiMajor) + "." + std::to_string(i.apiMinor)},
        {"Version:", i.version()},
        {"Description:", oneLine(i.description)},
        {"About:", oneLine(i.about)},
    };
    printRows(head, "");

    // FreeFrame 1.0 capability codes and how to read their answers.
    const auto yesNo = [&](uint32_t code) { return plugin.capability(code) != 0 ? "yes" : "no"; };
    const uint32_t inPlace = plugin.capability(15);
    static const char* const kPrefer[] = {"no preference", "in place", "copy", "both"};
    std::printf("\nCapabilities:\n");
    printRows(
        {{"16-bit video:", yesNo(0)},
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
    std::vector<std::vector<std::string>> rows = {{"INDEX", "NAME", "DEFAULT", "DISPLAY", "TYPE"}};
    bool described = false;
    for (const auto& d : plugin.descriptions()) described = described || !d.empty();
    if (described) rows[0].push_back("DESCRIPTION");
    for (size_t k = 0; k < i.params.size(); ++k) {
        const ParamInfo& p = i.params[k];
        rows.push_back({std::to_string(k), p.name, formatFloat(p.defaultValue),
                        inst ? inst->displayText(uint32_t(k)) : "-", paramTypeName(p.type)});
        if (described) rows.back().push_back(oneLine(plugin.descriptions()[k]));
    }
    printRows(rows, "  ");
    if (!whyNoDisplay.empty()) std::printf("(no display texts: %s)\n", whyNoDisplay.c_str());
    return 0;
}

}  // namespace vyrhost
