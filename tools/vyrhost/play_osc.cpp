#include "play_osc.h"

#include <lo/lo.h>

#include <cctype>
#include <cmath>
#include <cstdio>

#include "host_error.h"

namespace vyrhost {

namespace {

// OSC addresses have no spaces: "Dot_Scale" and "dot-scale" name "Dot Scale".
std::string spaced(std::string s) {
    for (char& c : s)
        if (c == '_' || c == '-') c = ' ';
    return s;
}

int onMessage(const char* path, const char* types, lo_arg** argv, int argc, lo_message, void* user) {
    Controls& controls = *static_cast<Controls*>(user);
    bool hasNumber = false;
    double number = 0.0;
    if (argc >= 1) {
        switch (types[0]) {
            case LO_FLOAT:
                number = argv[0]->f;
                hasNumber = true;
                break;
            case LO_DOUBLE:
                number = argv[0]->d;
                hasNumber = true;
                break;
            case LO_INT32:
                number = argv[0]->i;
                hasNumber = true;
                break;
            case LO_INT64:
                number = double(argv[0]->h);
                hasNumber = true;
                break;
            default:
                break;
        }
    }
    if (!oscCommand(controls, path, hasNumber, number))
        std::fprintf(stderr, "vyrhost: OSC %s means nothing here (see vyrhost play --help)\n", path);
    return 0;
}

void onError(int num, const char* msg, const char* where) {
    std::fprintf(stderr, "vyrhost: OSC error %d: %s%s%s\n", num, msg ? msg : "", where ? " at " : "",
                 where ? where : "");
}

}  // namespace

bool oscCommand(Controls& controls, const std::string& address, bool hasNumber, double number) {
    const std::string prefix = "/vyr/";
    if (address.compare(0, prefix.size(), prefix) != 0) return false;
    const std::string what = address.substr(prefix.size());
    LiveCommand c{LiveCommand::Quit};
    if (what == "seed") {
        c.kind = LiveCommand::Reseed;
        if (hasNumber && number >= 0.0 && number <= 4294967295.0 && number == std::floor(number)) {
            c.seeded = true;
            c.seed = unsigned(number);
        }
    } else if (what == "snapshot") {
        c.kind = LiveCommand::Snapshot;
    } else if (what == "record") {
        c.kind = LiveCommand::Record;
    } else if (what == "quit") {
        c.kind = LiveCommand::Quit;
    } else if (what == "reset") {
        controls.resetToDefaults();
        return true;
    } else {
        const int index = controls.find(spaced(what));
        if (index < 0 || !hasNumber || !std::isfinite(number)) return false;
        controls.set(index, float(number));
        return true;
    }
    controls.request(c);
    return true;
}

OscInput::OscInput(int port, Controls& controls) {
    const std::string p = std::to_string(port);
    lo_server_thread st = lo_server_thread_new(port == 0 ? nullptr : p.c_str(), onError);
    if (st == nullptr) throw HostError("cannot listen for OSC on UDP port " + p + " (in use? try --osc-port)");
    lo_server_thread_add_method(st, nullptr, nullptr, onMessage, &controls);
    if (lo_server_thread_start(st) != 0) {
        lo_server_thread_free(st);
        throw HostError("cannot start the OSC thread");
    }
    server_ = st;
    port_ = lo_server_thread_get_port(st);
}

OscInput::~OscInput() {
    auto st = static_cast<lo_server_thread>(server_);
    lo_server_thread_stop(st);
    lo_server_thread_free(st);
}

}  // namespace vyrhost
