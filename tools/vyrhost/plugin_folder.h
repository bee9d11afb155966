// Finding plug-ins: the default folder, the libraries in a folder, and a
// command-line PLUGIN argument that is either a path or a plug-in's name.
#pragma once

#include <string>
#include <vector>

namespace vyrhost {

// $VYR_PLUGIN_DIR when set; else, for an installed vyrhost, the FreeFrame
// folder installed beside it (<prefix>/lib/freeframe); else the folder the
// build put the plug-ins in.
std::string defaultPluginDir();

// The shared libraries (*.so) in `dir`, sorted by name; throws HostError
// when the folder cannot be read.
std::vector<std::string> pluginFiles(const std::string& dir);

// A path (anything with a '/', or an existing file) is taken as it is; a
// name is looked up in `dir` as <name>.so, then as a plug-in whose own
// name matches without regard to case, then as a file <name>.so (any
// case) in the frei0r folders.
std::string resolvePlugin(const std::string& arg, const std::string& dir);

// Where frei0r hosts look for plug-ins: $FREI0R_PATH (folders separated by
// ':') when set, else ~/.frei0r-1/lib, /usr/local/lib/frei0r-1 and
// /usr/lib/frei0r-1.
std::vector<std::string> frei0rFolders();

}  // namespace vyrhost
