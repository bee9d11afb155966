#include "plugin_folder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host_error.h"

#ifndef VYRHOST_PLUGIN_DIR
#define VYRHOST_PLUGIN_DIR "."
#endif
// Where an installed vyrhost finds the installed FreeFrame plug-ins,
// relative to its own folder (bin/ -> lib/freeframe under the same prefix),
// so that the same binary works under /usr, /usr/local or a prefix of one's own.
#ifndef VYRHOST_INSTALLED_PLUGIN_DIR
#define VYRHOST_INSTALLED_PLUGIN_DIR "../lib/freeframe"
#endif

namespace vyrhost {

namespace {

bool isRegularFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder this program was started from, or "" when it cannot be told.
std::string ownFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    path[n] = '\0';
    char* slash = std::strrchr(path, '/');
    if (slash == nullptr) return "";
    *slash = '\0';
    return path;
}

bool sameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string defaultPluginDir() {
    const char* env = std::getenv("VYR_PLUGIN_DIR");
    if (env != nullptr && *env != '\0') return env;
    // An installed vyrhost uses the plug-ins installed beside it, even when
    // the build tree it came from still exists; a vyrhost in the build tree
    // has no such folder beside it and uses the build's plug-ins.
    const std::string own = ownFolder();
    if (!own.empty()) {
        const std::string installed = own + "/" + VYRHOST_INSTALLED_PLUGIN_DIR;
        if (isDirectory(installed)) {
            char* resolved = realpath(installed.c_str(), nullptr);
            std::string folder = resolved != nullptr ? resolved : installed;
            std::free(resolved);
            return folder;
        }
    }
    return VYRHOST_PLUGIN_DIR;
}

std::vector<std::string> pluginFiles(const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) throw HostError("cannot read plug-in folder " + dir + ": " + std::strerror(errno));
    std::vector<std::string> files;
    while (const dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0 && isRegularFile(dir + "/" + name))
            files.push_back(dir + "/" + name);
    }
    closedir(d);
    std::sort(files.begin(), files.end());
    return files;
}

std::string resolvePlugin(const std::string& arg, const std::string& dir) {
    if (arg.empty()) throw HostError("no plug-in given");
    if (arg.find('/') != std::string::npos) {
        if (!isRegularFile(arg)) throw HostError("cannot load " + arg + ": no such file");
        return arg;
    }
    if (isRegularFile(arg)) return "./" + arg;
    if (isRegularFile(dir + "/" + arg + ".so")) return dir + "/" + arg + ".so";
    // Files that are no plug-in answer errors here; `vyrhost list` reports them.
    const std::vector<std::string> files = pluginFiles(dir);
    const auto names = describeEachInChild(files, [](const Plugin& p) { return p.name(); });
    for (size_t k = 0; k < files.size(); ++k)
        if (names[k].ok && sameText(names[k].text, arg)) return files[k];
    // Then the frei0r plug-ins, by file name in any case ("glow", "Glow").
    for (const std::string& folder : frei0rFolders()) {
        if (!isDirectory(folder)) continue;
        for (const std::string& file : pluginFiles(folder)) {
            const std::string base = file.substr(folder.size() + 1, file.size() - folder.size() - 4);
            if (sameText(base, arg)) return file;
        }
    }
    throw HostError("no plug-in named \"" + arg + "\" in " + dir +
                    " or the frei0r folders (vyrhost list shows the plug-ins there)");
}

std::vector<std::string> frei0rFolders() {
    std::vector<std::string> folders;
    const char* env = std::getenv("FREI0R_PATH");
    if (env != nullptr && *env != '\0') {
        std::string rest = env;
        for (size_t colon; !rest.empty(); rest = colon == std::string::npos ? "" : rest.substr(colon + 1)) {
            colon = rest.find(':');
            if (colon != 0) folders.push_back(rest.substr(0, colon));
        }
        return folders;
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') folders.push_back(std::string(home) + "/.frei0r-1/lib");
    folders.push_back("/usr/local/lib/frei0r-1");
    folders.push_back("/usr/lib/frei0r-1");
    return folders;
}

}  // namespace vyrhost
