// How video editors present each plug-in's parameters: a readable title,
// and for the parameters that are not plain amounts, the control that fits
// (a unit scale, a switch, a list of looks). The names, defaults and
// descriptions are not repeated here: they come from the libraries.
#pragma once

#include <string>
#include <vector>

namespace editors {

enum class ControlKind {
    Percent,  // an amount: 0..100 %
    Scaled,   // a linear quantity: value x factor, in `suffix` units
    Switch,   // a checkbox sending `off` or `on`
    List,     // a choice among `entries`
};

struct ListEntry {
    double value;
    std::string label;
};

struct Control {
    std::string param;
    ControlKind kind = ControlKind::Percent;
    double factor = 100.0;
    int decimals = 1;
    std::string suffix = "%";
    double off = 0.0, on = 1.0;
    std::vector<ListEntry> entries;
};

struct Presentation {
    std::string plugin;
    std::string title;              // what editors show in their lists
    std::string keywords;           // for editors that search by word
    std::vector<Control> controls;  // parameters not listed here are amounts
};

// The presentation of a plug-in by its frei0r name; throws std::out_of_range
// for an unknown one.
const Presentation& presentationOf(const std::string& plugin);

// The control of a parameter: the listed one, or an amount in percent.
Control controlOf(const Presentation& p, const std::string& param);

}  // namespace editors
