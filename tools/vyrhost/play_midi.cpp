#include "play_midi.h"

#include <alsa/asoundlib.h>
#include <poll.h>

#include <cstdio>
#include <vector>

#include "host_error.h"

namespace vyrhost {

namespace {

// ALSA prints its own complaints on standard error; vyrhost says what
// failed in one line of its own instead.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

MidiInput::MidiInput(const std::string& from, const std::string& mapPath, Controls& controls)
    : controls_(controls), mapPath_(mapPath) {
    snd_lib_error_set_handler(quietAlsa);
    snd_seq_t* seq = nullptr;
    int r = snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK);
    if (r < 0) throw HostError(std::string("no ALSA sequencer: ") + snd_strerror(r));
    seq_ = seq;
    snd_seq_set_client_name(seq, "vyrhost");
    const int port = snd_seq_create_simple_port(seq, "in", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                                SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0) {
        snd_seq_close(seq);
        throw HostError(std::string("cannot open an ALSA sequencer port: ") + snd_strerror(port));
    }
    const int self = snd_seq_client_id(seq);
    address_ = std::to_string(self) + ":" + std::to_string(port);

    if (!from.empty()) {
        snd_seq_addr_t addr;
        if (snd_seq_parse_address(seq, &addr, from.c_str()) < 0 ||
            snd_seq_connect_from(seq, port, addr.client, addr.port) < 0) {
            snd_seq_close(seq);
            throw HostError("cannot connect MIDI from \"" + from + "\" (see aconnect -i)");
        }
        connections_ = 1;
    } else {
        // Every port another client lets us read from: controllers, and
        // virtual ports of other programs. Client 0 is the system's own.
        snd_seq_client_info_t* ci;
        snd_seq_port_info_t* pi;
        snd_seq_client_info_alloca(&ci);
        snd_seq_port_info_alloca(&pi);
        snd_seq_client_info_set_client(ci, -1);
        while (snd_seq_query_next_client(seq, ci) >= 0) {
            const int client = snd_seq_client_info_get_client(ci);
            if (client == 0 || client == self) continue;
            snd_seq_port_info_set_client(pi, client);
            snd_seq_port_info_set_port(pi, -1);
            while (snd_seq_query_next_port(seq, pi) >= 0) {
                const unsigned caps = snd_seq_port_info_get_capability(pi);
                const unsigned want = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
                if ((caps & want) != want || (caps & SND_SEQ_PORT_CAP_NO_EXPORT)) continue;
                if (snd_seq_connect_from(seq, port, client, snd_seq_port_info_get_port(pi)) >= 0) ++connections_;
            }
        }
    }
    thread_ = std::thread([this] { run(); });
}

MidiInput::~MidiInput() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    snd_seq_close(static_cast<snd_seq_t*>(seq_));
}

void MidiInput::run() {
    auto* seq = static_cast<snd_seq_t*>(seq_);
    std::vector<pollfd> fds(size_t(snd_seq_poll_descriptors_count(seq, POLLIN)));
    snd_seq_poll_descriptors(seq, fds.data(), unsigned(fds.size()), POLLIN);
    while (!stop_) {
        // A short wait, so that closing the window is never held up.
        if (poll(fds.data(), fds.size(), 100) <= 0) continue;
        snd_seq_event_t* ev = nullptr;
        while (snd_seq_event_input(seq, &ev) >= 0 && ev != nullptr) {
            if (ev->type == SND_SEQ_EVENT_CONTROLLER) {
                const int channel = ev->data.control.channel + 1;
                const int controller = int(ev->data.control.param);
                if (controls_.midi(channel, controller, ev->data.control.value)) {
                    std::fprintf(stderr, "vyrhost: learned MIDI channel %d CC %d for \"%s\"\n", channel, controller,
                                 controls_.name(controls_.selected()).c_str());
                    if (!mapPath_.empty()) {
                        try {
                            saveMidiMap(mapPath_, controls_.midiMappings());
                        } catch (const HostError& e) {
                            std::fprintf(stderr, "vyrhost: %s\n", e.what());
                        }
                    }
                }
            }
        }
    }
}

}  // namespace vyrhost
