// The Kdenlive, Shotcut and MLT files written for the editors, read back as
// the editors read them and checked against what the frei0r libraries
// report: every parameter by name and index, in order, with its default,
// its description as the tooltip, a range that spans exactly 0..1, switches
// whose two values act differently (and "on" as the default does), and
// list entries that each give their own look.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "frei0r_host.h"
#include "plugin_host.h"

namespace {

using vyrtest::Frei0rInstance;
using vyrtest::Frei0rLibrary;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string unescapeXml(std::string s) {
    const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&amp;", "&"}};
    for (const auto& [from, to] : entities)
        for (size_t pos = 0; (pos = s.find(from, pos)) != std::string::npos; pos += std::strlen(to))
            s.replace(pos, std::strlen(from), to);
    return s;
}

std::map<std::string, std::string> attributes(const std::string& tag) {
    std::map<std::string, std::string> out;
    static const std::regex attr(R"re(([a-z]+)="([^"]*)")re");
    for (auto it = std::sregex_iterator(tag.begin(), tag.end(), attr); it != std::sregex_iterator(); ++it)
        out[(*it)[1]] = unescapeXml((*it)[2]);
    return out;
}

struct XmlParam {
    std::map<std::string, std::string> attr;
    std::string label, comment, listDisplay;
};

std::vector<XmlParam> kdenliveParams(const std::string& xml) {
    std::vector<XmlParam> out;
    static const std::regex block(R"re(<parameter ([^>]*)>([\s\S]*?)</parameter>)re");
    static const std::regex name(R"re(<name>([^<]*)</name>)re"), comment(R"re(<comment>([^<]*)</comment>)re"),
        display(R"re(<paramlistdisplay>([^<]*)</paramlistdisplay>)re");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), block); it != std::sregex_iterator(); ++it) {
        XmlParam p;
        p.attr = attributes((*it)[1]);
        const std::string body = (*it)[2];
        std::smatch m;
        if (std::regex_search(body, m, name)) p.label = unescapeXml(m[1]);
        if (std::regex_search(body, m, comment)) p.comment = unescapeXml(m[1]);
        if (std::regex_search(body, m, display)) p.listDisplay = unescapeXml(m[1]);
        out.push_back(p);
    }
    return out;
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::stringstream in(s);
    for (std::string item; std::getline(in, item, sep);) out.push_back(item);
    return out;
}

double number(const std::string& s) {
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    EXPECT_TRUE(!s.empty() && *end == '\0') << "not a number: \"" << s << "\"";
    return v;
}

// The fourth frame with one parameter at `value` and the others at their
// defaults: sources from black, the effect over a test pattern; the scene
// seeded alike every time.
std::vector<uint8_t> frameWith(const Frei0rLibrary& lib, int index, double value) {
    std::srand(1);
    Frei0rInstance inst(lib, 64, 48);
    inst.set(index, value);
    const bool source = lib.info().plugin_type == F0R_PLUGIN_TYPE_SOURCE;
    std::vector<uint8_t> out;
    for (unsigned f = 0; f < 4; ++f) {
        const std::vector<uint8_t> in = vyrtest::texturedPicture(64, 48, 4, f);
        out = inst.render(source ? nullptr : &in);
    }
    return out;
}

class EditorFiles : public ::testing::TestWithParam<std::string> {
   protected:
    void SetUp() override {
        lib_ = std::make_unique<Frei0rLibrary>(GetParam());
        source_ = lib_->info().plugin_type == F0R_PLUGIN_TYPE_SOURCE;
        Frei0rInstance inst(*lib_, 64, 48);
        for (int i = 0; i < lib_->info().num_params; ++i) {
            const f0r_param_info_t info = lib_->paramInfo(i);
            names_.push_back(info.name);
            descriptions_.push_back(info.explanation);
            defaults_.push_back(inst.get(i));
        }
    }
    std::string file(const std::string& relative) const { return std::string(VYR_EDITOR_DIR) + "/" + relative; }
    static bool sameFloat(double a, double b) { return float(a) == float(b); }

    std::unique_ptr<Frei0rLibrary> lib_;
    bool source_ = false;
    std::vector<std::string> names_, descriptions_;
    std::vector<double> defaults_;
};

TEST_P(EditorFiles, KdenliveListsEveryParameterWithItsDefaultRangeAndDescription) {
    const std::string name = GetParam();
    const std::string xml =
        readFile(file(std::string("kdenlive/") + (source_ ? "generators" : "effects") + "/frei0r_" + name + ".xml"));
    ASSERT_FALSE(xml.empty()) << "no Kdenlive file for " << name;
    const std::string root = source_ ? "<generator " : "<effect ";
    ASSERT_NE(xml.find(root + "tag=\"frei0r." + name + "\" id=\"frei0r." + name + "\""), std::string::npos);
    EXPECT_NE(xml.find("<description>" + std::string(lib_->info().explanation) + "</description>"), std::string::npos);

    const std::vector<XmlParam> params = kdenliveParams(xml);
    ASSERT_EQ(params.size(), names_.size());
    for (size_t i = 0; i < params.size(); ++i) {
        const XmlParam& p = params[i];
        const std::string type = p.attr.at("type");
        SCOPED_TRACE(names_[i] + " (" + type + ")");
        const int index = static_cast<int>(i);
        EXPECT_EQ(p.attr.at("name"), names_[i]);
        EXPECT_EQ(p.label, names_[i]);
        EXPECT_EQ(p.comment, descriptions_[i]);
        if (type == "animated") {
            // Displayed from min to max, sent divided by the factor: 0..1.
            EXPECT_EQ(number(p.attr.at("min")), 0.0);
            EXPECT_EQ(number(p.attr.at("max")), number(p.attr.at("factor")));
            EXPECT_TRUE(sameFloat(number(p.attr.at("default")), defaults_[i]));
        } else if (type == "switch") {
            const double off = number(p.attr.at("min")), on = number(p.attr.at("max"));
            EXPECT_NE(frameWith(*lib_, index, off), frameWith(*lib_, index, on)) << "the switch changes nothing";
            EXPECT_EQ(frameWith(*lib_, index, number(p.attr.at("default"))), frameWith(*lib_, index, defaults_[i]))
                << "the switch's default acts differently from the plug-in's";
        } else if (type == "list") {
            const std::vector<std::string> values = split(p.attr.at("paramlist"), ';');
            const std::vector<std::string> labels = split(p.listDisplay, ',');
            ASSERT_EQ(values.size(), labels.size());
            EXPECT_TRUE(sameFloat(number(p.attr.at("default")), defaults_[i]));
            std::vector<std::vector<uint8_t>> looks;
            for (size_t e = 0; e < values.size(); ++e) {
                EXPECT_NE(descriptions_[i].find(labels[e]), std::string::npos)
                    << "\"" << labels[e] << "\" is not a look the description names";
                looks.push_back(frameWith(*lib_, index, number(values[e])));
                for (size_t before = 0; before < e; ++before)
                    EXPECT_NE(looks[before], looks[e]) << labels[before] << " and " << labels[e] << " look the same";
            }
        } else {
            ADD_FAILURE() << "unexpected Kdenlive parameter type";
        }
    }
}

// Shotcut takes the effect as a filter; its panel sets every parameter by
// index, starting at the defaults, with sliders that span 0..1.
TEST_P(EditorFiles, ShotcutPanelSetsEveryParameterByIndexFromItsDefault) {
    const std::string name = GetParam();
    std::string folder = name;
    for (char& c : folder) c = char(std::tolower(static_cast<unsigned char>(c)));
    const std::string meta = readFile(file("shotcut/filters/" + folder + "/meta.qml"));
    const std::string ui = readFile(file("shotcut/filters/" + folder + "/ui.qml"));
    if (source_) {
        EXPECT_TRUE(meta.empty()) << "Shotcut has no way to add a source through a filter";
        return;
    }
    ASSERT_FALSE(meta.empty());
    EXPECT_NE(meta.find("mlt_service: 'frei0r." + name + "'"), std::string::npos);
    EXPECT_NE(meta.find("type: Metadata.Filter"), std::string::npos);

    static const std::regex initial(R"re(filter\.set\('(\d+)', ([-0-9.e]+)\);)re");
    std::vector<std::pair<int, double>> starts;
    for (auto it = std::sregex_iterator(ui.begin(), ui.end(), initial); it != std::sregex_iterator(); ++it)
        starts.push_back({std::stoi((*it)[1]), number((*it)[2])});
    ASSERT_GE(starts.size(), names_.size());
    for (size_t i = 0; i < names_.size(); ++i) {
        SCOPED_TRACE(names_[i]);
        EXPECT_EQ(starts[i].first, int(i));
        EXPECT_EQ(frameWith(*lib_, int(i), starts[i].second), frameWith(*lib_, int(i), defaults_[i]))
            << "a new filter does not start as the plug-in's default";
    }
    static const std::regex slider(R"re(maximumValue: ([0-9.]+)[\s\S]*?filter\.set\('(\d+)', value / ([0-9.]+)\))re");
    int sliders = 0;
    for (auto it = std::sregex_iterator(ui.begin(), ui.end(), slider); it != std::sregex_iterator(); ++it, ++sliders)
        EXPECT_EQ(number((*it)[1]), number((*it)[3])) << "slider of parameter " << (*it)[2] << " does not reach 1";
    EXPECT_GT(sliders, 0);
    static const std::regex tip(R"re(HoverTip \{\s*text: '((?:[^'\\]|\\.)*)')re");
    std::vector<std::string> tips;
    for (auto it = std::sregex_iterator(ui.begin(), ui.end(), tip); it != std::sregex_iterator(); ++it)
        tips.push_back((*it)[1]);
    EXPECT_EQ(tips, descriptions_);
}

// The sources' MLT clips hold every parameter at its default.
TEST_P(EditorFiles, SourceClipsHoldEveryParameterAtItsDefault) {
    const std::string clip = readFile(file("clips/" + GetParam() + ".mlt"));
    if (!source_) {
        EXPECT_TRUE(clip.empty());
        return;
    }
    ASSERT_NE(clip.find("<property name=\"mlt_service\">frei0r." + GetParam() + "</property>"), std::string::npos);
    static const std::regex property(R"re(<property name="([^"]+)">([^<]*)</property>)re");
    std::vector<std::pair<std::string, double>> values;
    for (auto it = std::sregex_iterator(clip.begin(), clip.end(), property); it != std::sregex_iterator(); ++it)
        if ((*it)[1] != "length" && (*it)[1] != "mlt_service")
            values.push_back({unescapeXml((*it)[1]), number((*it)[2])});
    ASSERT_EQ(values.size(), names_.size());
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(values[i].first, names_[i]);
        EXPECT_TRUE(sameFloat(values[i].second, defaults_[i])) << names_[i];
    }
}

// The plug-in page in docs/ (written by ./vyr.sh docs) still lists every
// parameter with the description the library gives, and its pictures.
TEST_P(EditorFiles, PluginPageListsEveryParameterAsTheLibraryDescribesIt) {
    const std::string page = readFile(std::string(VYR_DOCS_DIR) + "/" + GetParam() + ".md");
    ASSERT_FALSE(page.empty()) << "no docs/" << GetParam() << ".md: run ./vyr.sh docs";
    for (size_t i = 0; i < names_.size(); ++i) {
        std::ostringstream row;
        row << "| " << i << " | " << names_[i] << " | ";
        const size_t at = page.find(row.str());
        ASSERT_NE(at, std::string::npos) << names_[i] << " is not in the table: run ./vyr.sh docs";
        EXPECT_EQ(page.substr(page.find(" | ", at + row.str().size()) + 3, descriptions_[i].size()), descriptions_[i])
            << names_[i] << "'s description changed since the page was written: run ./vyr.sh docs";
        const std::string picture = "images/" + GetParam() + "-" + std::to_string(i) + ".png";
        EXPECT_NE(page.find(picture), std::string::npos);
        EXPECT_FALSE(readFile(std::string(VYR_DOCS_DIR) + "/" + picture).empty()) << picture;
    }
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, EditorFiles, ::testing::ValuesIn(vyrtest::allPluginNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
