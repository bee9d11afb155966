// OSC over UDP for the live window (liblo): /vyr/<parameter name> or
// /vyr/<index> with a number 0..1 sets a parameter, /vyr/seed re-seeds
// (with a whole number, that seed), /vyr/snapshot saves the frame,
// /vyr/record starts or stops a take, /vyr/reset restores the defaults and
// /vyr/quit closes the window. In names, '_' and '-' stand for spaces.
#pragma once

#include <string>

#include "play_controls.h"

namespace vyrhost {

class OscInput {
   public:
    // `port` 0 takes any free port. Throws HostError when the port cannot
    // be opened.
    OscInput(int port, Controls& controls);
    ~OscInput();
    OscInput(const OscInput&) = delete;
    OscInput& operator=(const OscInput&) = delete;

    int port() const { return port_; }

   private:
    void* server_ = nullptr;
    int port_ = 0;
};

// What an OSC message asks for, without the network: false for an address
// that means nothing here. `hasNumber` says whether `number` came with it.
bool oscCommand(Controls& controls, const std::string& address, bool hasNumber, double number);

}  // namespace vyrhost
