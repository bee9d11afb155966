// Writes the files through which video editors present the frei0r
// plug-ins, from what the built libraries themselves report (names,
// defaults, descriptions, source or filter) and the presentation table:
//
//   OUT/kdenlive/effects/frei0r_<Name>.xml       Kdenlive effect (filters)
//   OUT/kdenlive/generators/frei0r_<Name>.xml    Kdenlive generator (sources)
//   OUT/shotcut/filters/<name>/meta.qml, ui.qml  Shotcut filter (filters)
//   OUT/clips/<Name>.mlt                         MLT clip of a source at its
//                                                defaults (melt, Shotcut's
//                                                "Open MLT XML As Clip")
//
//   editor_files OUT LIBRARY.so...
#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
#include <frei0r.h>
}

#include "presentation.h"

namespace {

using editors::Control;
using editors::ControlKind;
using editors::Presentation;

struct Param {
    int index;
    std::string name;
    std::string description;
    double defaultValue;
};

struct Plugin {
    std::string name;
    std::string explanation;
    bool source;
    std::vector<Param> params;
};

template <typename F>
F entry(void* lib, const char* symbol, const std::string& path) {
    void* p = dlsym(lib, symbol);
    if (p == nullptr) throw std::runtime_error(path + " does not export " + symbol);
    return reinterpret_cast<F>(p);
}

// What a frei0r host learns from the library; the defaults are the values
// a fresh instance holds.
Plugin readPlugin(const std::string& path) {
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) throw std::runtime_error("cannot load " + path + ": " + dlerror());
    auto init = entry<int (*)()>(lib, "f0r_init", path);
    auto info = entry<void (*)(f0r_plugin_info_t*)>(lib, "f0r_get_plugin_info", path);
    auto paramInfo = entry<void (*)(f0r_param_info_t*, int)>(lib, "f0r_get_param_info", path);
    auto construct = entry<f0r_instance_t (*)(unsigned, unsigned)>(lib, "f0r_construct", path);
    auto destruct = entry<void (*)(f0r_instance_t)>(lib, "f0r_destruct", path);
    auto getValue = entry<void (*)(f0r_instance_t, f0r_param_t, int)>(lib, "f0r_get_param_value", path);
    init();
    f0r_plugin_info_t pi{};
    info(&pi);
    Plugin p{pi.name, pi.explanation != nullptr ? pi.explanation : "", pi.plugin_type == F0R_PLUGIN_TYPE_SOURCE, {}};
    f0r_instance_t instance = construct(64, 48);
    if (instance == nullptr) throw std::runtime_error("cannot instantiate " + path);
    for (int i = 0; i < pi.num_params; ++i) {
        f0r_param_info_t info{};
        paramInfo(&info, i);
        if (info.type != F0R_PARAM_DOUBLE)
            throw std::runtime_error(p.name + ": parameter " + info.name + " is not a double");
        double value = 0.0;
        getValue(instance, &value, i);
        p.params.push_back({i, info.name, info.explanation != nullptr ? info.explanation : "", value});
    }
    destruct(instance);
    // Left loaded: the plug-ins are linked not to be unloaded.
    return p;
}

std::string xmlText(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string qmlString(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'' || c == '\\') out += '\\';
        out += c;
    }
    return out + "'";
}

// The shortest text that reads back as the same single-precision value:
// every parameter is a float in the plug-ins, so 0.32 rather than the
// double 0.3199999928474426.
std::string number(double v) {
    if (v == std::floor(v) && std::fabs(v) < 1e9) return std::to_string(static_cast<long long>(v));
    char buf[32];
    const auto result = std::to_chars(buf, buf + sizeof buf, static_cast<float>(v));
    return std::string(buf, result.ptr);
}

void makeDirs(const std::string& path) {
    for (size_t pos = path.find('/', 1);; pos = path.find('/', pos + 1)) {
        const std::string part = path.substr(0, pos);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) throw std::runtime_error("cannot create " + part);
        if (pos == std::string::npos) break;
    }
}

void writeFile(const std::string& dir, const std::string& name, const std::string& text) {
    makeDirs(dir);
    const std::string path = dir + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

// Kdenlive's effect and generator format: min and max in displayed units,
// the value sent to MLT is the displayed one divided by the factor, the
// default is given in MLT's units.
std::string kdenliveXml(const Plugin& p, const Presentation& look) {
    std::ostringstream x;
    const char* element = p.source ? "generator" : "effect";
    x << "<?xml version=\"1.0\"?>\n<!DOCTYPE kpartgui>\n";
    x << "<" << element << " tag=\"frei0r." << p.name << "\" id=\"frei0r." << p.name << "\"";
    if (!p.source) x << " type=\"video\"";
    x << ">\n";
    x << "    <name>" << xmlText(look.title) << "</name>\n";
    x << "    <description>" << xmlText(p.explanation) << "</description>\n";
    x << "    <author>the Vyr authors</author>\n";
    for (const Param& param : p.params) {
        const Control c = editors::controlOf(look, param.name);
        x << "    <parameter";
        switch (c.kind) {
            case ControlKind::Percent:
            case ControlKind::Scaled:
                x << " type=\"animated\" name=\"" << xmlText(param.name) << "\" default=\""
                  << number(param.defaultValue) << "\" min=\"0\" max=\"" << number(c.factor) << "\" factor=\""
                  << number(c.factor) << "\" decimals=\"" << c.decimals << "\"";
                if (!c.suffix.empty()) x << " suffix=\"" << xmlText(c.suffix) << "\"";
                x << ">\n";
                break;
            case ControlKind::Switch:
                x << " type=\"switch\" name=\"" << xmlText(param.name) << "\" default=\""
                  << number(param.defaultValue > c.off ? c.on : c.off) << "\" min=\"" << number(c.off) << "\" max=\""
                  << number(c.on) << "\">\n";
                break;
            case ControlKind::List: {
                x << " type=\"list\" name=\"" << xmlText(param.name) << "\" default=\"" << number(param.defaultValue)
                  << "\" paramlist=\"";
                std::string labels;
                for (size_t i = 0; i < c.entries.size(); ++i) {
                    x << (i ? ";" : "") << number(c.entries[i].value);
                    labels += (i ? "," : "") + c.entries[i].label;
                }
                x << "\">\n        <paramlistdisplay>" << xmlText(labels) << "</paramlistdisplay>\n";
                break;
            }
        }
        x << "        <name>" << xmlText(param.name) << "</name>\n";
        x << "        <comment>" << xmlText(param.description) << "</comment>\n";
        x << "    </parameter>\n";
    }
    x << "</" << element << ">\n";
    return x.str();
}

std::string shotcutMeta(const Plugin& p, const Presentation& look) {
    std::ostringstream q;
    q << "import QtQuick 2.0\nimport org.shotcut.qml 1.0\n\n";
    q << "Metadata {\n";
    q << "    type: Metadata.Filter\n";
    q << "    name: " << qmlString(look.title) << "\n";
    q << "    keywords: " << qmlString(look.keywords) << "\n";
    q << "    objectName: " << qmlString("vyr_" + p.name) << "\n";
    q << "    mlt_service: " << qmlString("frei0r." + p.name) << "\n";
    q << "    qml: 'ui.qml'\n";
    q << "}\n";
    return q.str();
}

// Shotcut's filter panel: a row per parameter (label with the description
// as its tip, the control, a button back to the default); MLT's frei0r
// filter takes the parameters by index.
std::string shotcutUi(const Plugin& p, const Presentation& look) {
    std::ostringstream q;
    std::ostringstream setControls, defaults, rows, keys;
    for (const Param& param : p.params) {
        const Control c = editors::controlOf(look, param.name);
        const std::string key = "'" + std::to_string(param.index) + "'";
        const std::string id = "control" + std::to_string(param.index);
        keys << (param.index ? ", " : "") << key;
        double initial = param.defaultValue;
        if (c.kind == ControlKind::Switch) initial = param.defaultValue > c.off ? c.on : c.off;
        defaults << "            filter.set(" << key << ", " << number(initial) << ");\n";
        rows
            << "        Label {\n            text: " << qmlString(param.name)
            << "\n            Layout.alignment: Qt.AlignRight\n\n            Shotcut.HoverTip {\n                text: "
            << qmlString(param.description) << "\n            }\n        }\n\n";
        switch (c.kind) {
            case ControlKind::Percent:
            case ControlKind::Scaled:
                setControls << "        " << id << ".value = filter.getDouble(" << key << ") * " << number(c.factor)
                            << ";\n";
                rows << "        Shotcut.SliderSpinner {\n            id: " << id
                     << "\n\n            minimumValue: 0\n            maximumValue: " << number(c.factor)
                     << "\n            decimals: " << c.decimals
                     << "\n            stepSize: " << (c.decimals == 0 ? "1" : "0.1")
                     << "\n            suffix: " << qmlString(c.suffix.empty() ? "" : " " + c.suffix)
                     << "\n            onValueChanged: filter.set(" << key << ", value / " << number(c.factor)
                     << ")\n        }\n\n";
                rows << "        Shotcut.UndoButton {\n            onClicked: " << id
                     << ".value = " << number(param.defaultValue * c.factor) << "\n        }\n\n";
                break;
            case ControlKind::Switch:
                setControls << "        " << id << ".checked = filter.getDouble(" << key << ") > " << number(c.off)
                            << ";\n";
                rows << "        CheckBox {\n            id: " << id << "\n\n            onClicked: filter.set(" << key
                     << ", checked ? " << number(c.on) << " : " << number(c.off) << ")\n        }\n\n";
                rows << "        Shotcut.UndoButton {\n            onClicked: {\n                filter.set(" << key
                     << ", " << number(initial) << ");\n                setControls();\n            }\n        }\n\n";
                break;
            case ControlKind::List: {
                std::ostringstream labels, values;
                int defaultEntry = 0;
                for (size_t i = 0; i < c.entries.size(); ++i) {
                    labels << (i ? ", " : "") << qmlString(c.entries[i].label);
                    values << (i ? ", " : "") << number(c.entries[i].value);
                    if (c.entries[i].value <= param.defaultValue) defaultEntry = int(i);
                }
                // The entry whose range holds the value: the last one not above it.
                setControls << "        " << id << ".currentIndex = " << id
                            << ".values.filter(function(v) { return v <= "
                            << "filter.getDouble(" << key << ") + 1e-9; }).length - 1;\n";
                rows << "        Shotcut.ComboBox {\n            id: " << id << "\n\n            property var values: ["
                     << values.str() << "]\n\n            implicitWidth: 180\n            model: [" << labels.str()
                     << "]\n            onActivated: filter.set(" << key << ", values[index])\n        }\n\n";
                rows << "        Shotcut.UndoButton {\n            onClicked: {\n                filter.set(" << key
                     << ", " << number(c.entries[defaultEntry].value)
                     << ");\n                setControls();\n            }\n        }\n\n";
                break;
            }
        }
    }
    q << "import QtQuick 2.12\nimport QtQuick.Controls 2.12\nimport QtQuick.Layouts 1.12\n"
         "import Shotcut.Controls 1.0 as Shotcut\n\n";
    q << "Item {\n";
    q << "    function setControls() {\n" << setControls.str() << "    }\n\n";
    q << "    width: 350\n    height: " << 40 + 34 * (p.params.size() + 1) << "\n";
    q << "    Component.onCompleted: {\n        if (filter.isNew) {\n"
      << defaults.str()
      << "            filter.savePreset(preset.parameters);\n        }\n        setControls();\n    }\n\n";
    q << "    GridLayout {\n        anchors.fill: parent\n        anchors.margins: 8\n        columns: 3\n\n";
    q << "        Label {\n            text: qsTr('Preset')\n            Layout.alignment: Qt.AlignRight\n        "
         "}\n\n";
    q << "        Shotcut.Preset {\n            id: preset\n\n            parameters: [" << keys.str()
      << "]\n            Layout.columnSpan: 2\n            onPresetSelected: setControls()\n        }\n\n";
    q << rows.str();
    q << "        Item {\n            Layout.fillHeight: true\n        }\n    }\n";
    q << "}\n";
    return q.str();
}

// A clip of the source at its defaults, each parameter with its
// description, for melt and for Shotcut's "Open MLT XML As Clip": ten
// seconds, at the profile of whatever opens it. The producer sits in a
// tractor of its own: MLT hands a frei0r producer the position of the frame
// in the nearest tractor's timeline, so wrapped the clip runs on its own
// time and a trim (in=40) shows frames 40.. of the whole clip, wherever the
// clip lies; bare on a track it would show the track's time.
std::string mltClip(const Plugin& p) {
    std::ostringstream x;
    x << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    x << "<!-- " << xmlText(p.name) << ": " << xmlText(p.explanation)
      << ".\n     Change a value below and open the file again to see it. -->\n";
    x << "<mlt LC_NUMERIC=\"C\" title=\"" << xmlText(p.name) << "\">\n";
    x << "  <producer id=\"" << xmlText(p.name) << "\" in=\"0\" out=\"249\">\n";
    x << "    <property name=\"length\">250</property>\n";
    x << "    <property name=\"mlt_service\">frei0r." << xmlText(p.name) << "</property>\n";
    for (const Param& param : p.params) {
        x << "    <!-- " << xmlText(param.description) << " -->\n";
        x << "    <property name=\"" << xmlText(param.name) << "\">" << number(param.defaultValue) << "</property>\n";
    }
    x << "  </producer>\n";
    x << "  <tractor id=\"clip\" in=\"0\" out=\"249\">\n    <track producer=\"" << xmlText(p.name)
      << "\"/>\n  </tractor>\n</mlt>\n";
    return x.str();
}

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUT_DIR FREI0R_LIBRARY.so...\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    try {
        for (int i = 2; i < argc; ++i) {
            const Plugin p = readPlugin(argv[i]);
            const Presentation& look = editors::presentationOf(p.name);
            for (const Control& c : look.controls) {
                bool found = false;
                for (const Param& param : p.params) found = found || param.name == c.param;
                if (!found) throw std::runtime_error(p.name + " has no parameter \"" + c.param + "\" to present");
            }
            const std::string file = "frei0r_" + p.name + ".xml";
            if (p.source) {
                writeFile(out + "/kdenlive/generators", file, kdenliveXml(p, look));
                writeFile(out + "/clips", p.name + ".mlt", mltClip(p));
            } else {
                writeFile(out + "/kdenlive/effects", file, kdenliveXml(p, look));
                const std::string dir = out + "/shotcut/filters/" + lower(p.name);
                writeFile(dir, "meta.qml", shotcutMeta(p, look));
                writeFile(dir, "ui.qml", shotcutUi(p, look));
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "editor_files: %s\n", e.what());
        return 1;
    }
    return 0;
}
