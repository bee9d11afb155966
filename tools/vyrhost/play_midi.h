// MIDI control changes from the ALSA sequencer for the live window. The
// window opens a sequencer port of its own ("vyrhost:in") that any client
// can be connected to, and connects the controllers it finds (or the one
// asked for) itself.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "play_controls.h"

namespace vyrhost {

class MidiInput {
   public:
    // `from`: "CLIENT:PORT" (or a client name) to connect; empty connects
    // every readable port of the other clients. A learned mapping is saved
    // to `mapPath` (when not empty). Throws HostError when the sequencer
    // cannot be opened.
    MidiInput(const std::string& from, const std::string& mapPath, Controls& controls);
    ~MidiInput();
    MidiInput(const MidiInput&) = delete;
    MidiInput& operator=(const MidiInput&) = delete;

    // "128:0", the port's sequencer address.
    std::string address() const { return address_; }
    int connections() const { return connections_; }

   private:
    void run();

    void* seq_ = nullptr;
    Controls& controls_;
    std::string mapPath_;
    std::string address_;
    int connections_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace vyrhost
