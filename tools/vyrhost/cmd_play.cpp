// vyrhost play: one plug-in live in a window, played from the keyboard,
// the mouse, OSC and MIDI. The plug-in renders on a thread of its own at
// the asked frame rate; the window's thread only shows the newest frame,
// draws the overlay and reads input, so that it stays responsive whatever
// the plug-in costs.
#include <SDL.h>
#include <SDL_ttf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "commands.h"
#include "frame_sink.h"
#include "frame_source.h"
#include "host_error.h"
#include "play_controls.h"
#include "play_midi.h"
#include "play_osc.h"
#include "png_io.h"
#include "session.h"

namespace vyrhost {

namespace {

using Clock = std::chrono::steady_clock;

// What the render thread hands the window: the newest frame and counters.
struct Shared {
    std::mutex mutex;
    std::vector<uint8_t> frame;
    uint64_t sequence = 0;
    std::atomic<bool> quit{false};
    std::atomic<long> rendered{0};  // frames since the window opened
    std::atomic<long> dropped{0};   // frame times missed because a frame came late
    std::atomic<bool> recording{false};
    std::string error;                 // why the render thread stopped, if it failed
    std::vector<std::string> display;  // the plug-in's text for each value
};

std::string numbered(const std::string& pattern) {
    // The first free name: pattern has one %d.
    for (int i = 1;; ++i) {
        char name[4096];
        std::snprintf(name, sizeof name, pattern.c_str(), i);
        struct stat st;
        if (stat(name, &st) != 0) return name;
    }
}

std::string withoutExtension(const std::string& path) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(0, dot);
}

unsigned freshSeed() {
    std::random_device rd;
    return rd() % 1000000u;
}

// Encodes a take's frames on a thread of its own, so that on a machine with
// cores to spare the encoder's time does not come out of the plug-in's
// frame time. A few frames may wait; beyond that the render thread waits
// too, so that a take never loses a frame.
class TakeWriter {
   public:
    explicit TakeWriter(std::unique_ptr<FrameSink> sink) : sink_(std::move(sink)), thread_([this] { run(); }) {}
    ~TakeWriter() {
        try {
            drain();
        } catch (const HostError&) {
            // Reported by whoever drained it first.
        }
    }

    void write(const std::vector<uint8_t>& frame) {
        std::unique_lock<std::mutex> lock(mutex_);
        roomLeft_.wait(lock, [&] { return queue_.size() < kWaiting || !error_.empty(); });
        if (!error_.empty()) throw HostError(error_);
        queue_.push_back(frame);
        work_.notify_one();
    }

    // Waits until every frame is encoded; the sink, to finish or abandon.
    // Throws HostError when encoding failed.
    FrameSink& drain() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closing_ = true;
        }
        work_.notify_one();
        if (thread_.joinable()) thread_.join();
        if (!error_.empty()) throw HostError(error_);
        return *sink_;
    }
    FrameSink& sink() { return *sink_; }

   private:
    static constexpr size_t kWaiting = 8;

    void run() {
        for (;;) {
            std::vector<uint8_t> frame;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                work_.wait(lock, [&] { return !queue_.empty() || closing_; });
                if (queue_.empty()) return;
                frame = std::move(queue_.front());
                queue_.pop_front();
            }
            roomLeft_.notify_one();
            try {
                sink_->write(frame.data());
            } catch (const std::exception& e) {
                std::lock_guard<std::mutex> lock(mutex_);
                error_ = e.what();
                roomLeft_.notify_all();
                return;
            }
        }
    }

    std::unique_ptr<FrameSink> sink_;
    std::mutex mutex_;
    std::condition_variable work_, roomLeft_;
    std::deque<std::vector<uint8_t>> queue_;
    bool closing_ = false;
    std::string error_;
    std::thread thread_;
};

// The plug-in's side: one instance, its input, the parameter values it has,
// and the take being recorded.
class Renderer {
   public:
    Renderer(const PlayOptions& o, Session& session, Controls& controls, Shared& shared, Rate rate)
        : o_(o),
          session_(session),
          plugin_(*session.plugin),
          controls_(controls),
          shared_(shared),
          rate_(rate),
          width_(session.size.width),
          height_(session.size.height),
          bytesPerPixel_(session.bytesPerPixel),
          source_(o.input, !plugin_.info().isSource(), width_, height_, bytesPerPixel_, o.pluginDir) {
        values_ = controls.values();
        touched_.assign(values_.size(), false);
        // A frei0r plug-in keeps the "Seed" it was given unless a seed was
        // asked for (and the settings leave "Seed" be); FreeFrame plug-ins
        // start from a fresh seed.
        seedIndex_ = plugin_.seedParameter();
        const bool seedSet = seedIndex_ >= 0 && session.setsParameter(uint32_t(seedIndex_));
        if (session.seeded && !seedSet)
            seed_ = session.seed;
        else if (seedIndex_ >= 0)
            seed_ = seedOfParameterValue(values_[size_t(seedIndex_)]);
        else
            seed_ = freshSeed();
        if (session.seeded && seedIndex_ >= 0 && !seedSet) {
            values_[size_t(seedIndex_)] = seedParameterValue(seed_);
            controls_.show(seedIndex_, values_[size_t(seedIndex_)]);
        }
        frame_.resize(size_t(width_) * size_t(height_) * size_t(bytesPerPixel_));
        newInstance(seed_);
        // A parameter file's keys start where the file says.
        applyTracks();
    }

    void run() {
        const auto period = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(double(rate_.den) / double(rate_.num)));
        auto due = Clock::now();
        try {
            while (!shared_.quit) {
                for (const LiveCommand& c : controls_.drain()) carryOut(c);
                if (shared_.quit) break;
                applyTracks();
                source_.next(frame_.data(), take_, true);
                if (!instance_->processFrame(frame_.data()))
                    throw HostError(plugin_.name() + ": processFrame failed at frame " + std::to_string(take_));
                {
                    std::lock_guard<std::mutex> lock(shared_.mutex);
                    shared_.frame = frame_;
                    ++shared_.sequence;
                }
                if (writer_) {
                    writer_->write(frame_);
                    ++takeFrames_;
                }
                if (snapshot_) {
                    snapshot_ = false;
                    const std::string name = numbered(o_.outDir + "/" + plugin_.name() + "-snap-%d.png");
                    writePng(name, frame_.data(), width_, height_, bytesPerPixel_, true);
                    std::fprintf(stderr, "vyrhost: snapshot %s (frame %ld)\n", name.c_str(), take_);
                }
                ++take_;
                const long total = ++shared_.rendered;
                if (o_.frames > 0 && total >= o_.frames) break;
                // Frames come at the rate; a late frame is shown late and
                // the times it missed count as dropped.
                due += period;
                const auto now = Clock::now();
                if (now > due + period) {
                    shared_.dropped += long((now - due) / period);
                    due = now;
                } else {
                    std::this_thread::sleep_until(due);
                }
            }
            if (writer_) stopTake();
        } catch (const std::exception& e) {
            if (writer_) {
                try {
                    writer_->drain();
                } catch (const HostError&) {
                    // The failure that counts is the one being reported.
                }
                writer_->sink().abandon();
                writer_.reset();
            }
            std::lock_guard<std::mutex> lock(shared_.mutex);
            shared_.error = e.what();
        }
        shared_.quit = true;
    }

   private:
    void newInstance(unsigned seed) {
        instance_.reset();
        std::srand(seed);
        instance_.reset(new Instance(plugin_, width_, height_, bytesPerPixel_ * 8));
        instance_->setFrameRate(double(rate_.num) / rate_.den);
        for (size_t i = 0; i < values_.size(); ++i) {
            instance_->setParameter(uint32_t(i), values_[i]);
            publishDisplay(int(i));
        }
    }

    // The plug-in's own text for a value, for the overlay.
    void publishDisplay(int index) {
        const std::string text = instance_->displayText(uint32_t(index));
        std::lock_guard<std::mutex> lock(shared_.mutex);
        if (shared_.display.size() != values_.size()) shared_.display.resize(values_.size());
        shared_.display[size_t(index)] = text;
    }

    void setValue(int index, float value) {
        if (values_[size_t(index)] == value) return;
        values_[size_t(index)] = value;
        instance_->setParameter(uint32_t(index), value);
        if (writer_) take_log_.set(take_, index, value);
        publishDisplay(index);
    }

    // Parameters the performer has not touched follow the parameter file.
    void applyTracks() {
        for (const auto& t : session_.tracks) {
            if (touched_[t.index]) continue;
            const float v = trackValue(t.track, double(take_), rate_);
            setValue(int(t.index), v);
            controls_.show(int(t.index), v);
        }
    }

    void carryOut(const LiveCommand& c) {
        switch (c.kind) {
            case LiveCommand::SetParameter:
                touched_[size_t(c.index)] = true;
                setValue(c.index, c.value);
                break;
            case LiveCommand::Reseed:
                seed_ = c.seeded ? c.seed : freshSeed();
                // A frei0r plug-in's seed is its parameter "Seed": set like
                // any value (the controls show it, a take records it), and
                // kept over the parameter file's.
                if (seedIndex_ >= 0) {
                    const float value = seedParameterValue(seed_);
                    touched_[size_t(seedIndex_)] = true;
                    setValue(seedIndex_, value);
                    controls_.show(seedIndex_, value);
                }
                newInstance(seed_);
                if (writer_) take_log_.reseed(take_, seed_);
                std::fprintf(stderr, "vyrhost: seed %u\n", seed_);
                break;
            case LiveCommand::Snapshot:
                snapshot_ = true;
                break;
            case LiveCommand::Record:
                if (writer_)
                    stopTake();
                else
                    startTake();
                break;
            case LiveCommand::Quit:
                shared_.quit = true;
                break;
            case LiveCommand::WindowShot:
                break;
        }
    }

    // A take starts the plug-in afresh from the current seed with the
    // current values, so that `render --params` can play it again from its
    // first frame.
    void startTake() {
        SinkSettings ss;
        // Takes are numbered: NAME-1.mkv, NAME-2.mkv, ... unless the name
        // has a %d of its own.
        const std::string take = o_.take.empty() ? o_.outDir + "/" + plugin_.name() + "-take.mkv" : o_.take;
        const std::string base = withoutExtension(take);
        ss.output = numbered(take.find('%') == std::string::npos ? base + "-%d" + take.substr(base.size()) : take);
        ss.width = width_;
        ss.height = height_;
        ss.bytesPerPixel = bytesPerPixel_;
        ss.rate = rate_;
        ss.codec = o_.codec;
        ss.crf = o_.crf;
        ss.realtime = true;
        writer_.reset(new TakeWriter(openSink(ss)));
        takePath_ = ss.output;
        if (seedIndex_ >= 0) seed_ = seedOfParameterValue(values_[size_t(seedIndex_)]);
        newInstance(seed_);
        source_.restart();
        take_ = 0;
        takeFrames_ = 0;
        std::vector<std::string> names;
        names.reserve(size_t(controls_.count()));
        for (int i = 0; i < controls_.count(); ++i) names.push_back(controls_.name(i));
        take_log_.start(names, values_, seed_);
        shared_.recording = true;
        std::fprintf(stderr, "vyrhost: recording %s\n", takePath_.c_str());
    }

    void stopTake() {
        shared_.recording = false;
        FrameSink& sink = writer_->drain();
        if (takeFrames_ == 0) {
            sink.abandon();
            writer_.reset();
            std::fprintf(stderr, "vyrhost: take %s had no frames, not written\n", takePath_.c_str());
            return;
        }
        sink.finish();
        const std::string json = withoutExtension(takePath_) + ".json";
        saveParamsFile(json,
                       take_log_.file(plugin_.name(), std::to_string(width_) + "x" + std::to_string(height_),
                                      rate_.den == 1 ? std::to_string(rate_.num)
                                                     : std::to_string(rate_.num) + "/" + std::to_string(rate_.den),
                                      takeFrames_));
        std::fprintf(stderr, "vyrhost: wrote %s (%ld frames) and %s\n", sink.describe().c_str(), takeFrames_,
                     json.c_str());
        writer_.reset();
    }

    const PlayOptions& o_;
    Session& session_;
    const Plugin& plugin_;
    Controls& controls_;
    Shared& shared_;
    Rate rate_;
    int width_, height_, bytesPerPixel_;
    FrameSource source_;
    std::unique_ptr<Instance> instance_;
    std::vector<float> values_;
    std::vector<bool> touched_;
    std::vector<uint8_t> frame_;
    unsigned seed_ = 0;
    int seedIndex_ = -1;  // a frei0r plug-in's "Seed", else -1
    long take_ = 0;       // frames since the window opened or the take started
    bool snapshot_ = false;
    std::unique_ptr<TakeWriter> writer_;
    std::string takePath_;
    long takeFrames_ = 0;
    TakeLog take_log_;
};

// A scripted input event: at a frame, a key (with modifiers), a mouse
// position as fractions of the picture, or closing the window.
struct ScriptEvent {
    long frame = 0;
    enum {
        Key,
        Mouse,
        Quit
    } kind = Key;
    SDL_Keycode key = SDLK_UNKNOWN;
    Uint16 mod = KMOD_NONE;
    float x = 0, y = 0;
};

std::vector<ScriptEvent> loadScript(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw HostError("cannot read input script " + path);
    std::vector<ScriptEvent> events;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string kind;
        ScriptEvent e;
        if (!(words >> e.frame)) {
            if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
            throw HostError(path + " line " + std::to_string(number) +
                            ": expected FRAME key NAME, FRAME mouse X Y "
                            "or FRAME quit");
        }
        words >> kind;
        const std::string where = path + " line " + std::to_string(number);
        if (kind == "key") {
            std::string name;
            words >> name;
            // "shift+Up", "ctrl+s": modifiers before the key's SDL name.
            for (size_t plus; (plus = name.find('+')) != std::string::npos && plus + 1 < name.size();) {
                const std::string m = name.substr(0, plus);
                if (m == "shift")
                    e.mod |= KMOD_LSHIFT;
                else if (m == "ctrl")
                    e.mod |= KMOD_LCTRL;
                else if (m == "alt")
                    e.mod |= KMOD_LALT;
                else
                    throw HostError(where + ": unknown modifier \"" + m + "\"");
                name.erase(0, plus + 1);
            }
            e.key = SDL_GetKeyFromName(name.c_str());
            if (e.key == SDLK_UNKNOWN) throw HostError(where + ": unknown key \"" + name + "\"");
        } else if (kind == "mouse") {
            e.kind = ScriptEvent::Mouse;
            if (!(words >> e.x >> e.y)) throw HostError(where + ": expected FRAME mouse X Y, X and Y from 0 to 1");
        } else if (kind == "quit") {
            e.kind = ScriptEvent::Quit;
        } else {
            throw HostError(where + ": unknown event \"" + kind + "\"");
        }
        events.push_back(e);
    }
    return events;
}

const char* const kFontPaths[] = {"/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
                                  "/usr/share/fonts/TTF/DejaVuSansMono.ttf",
                                  "/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf"};

// The window: picture, overlay, input.
class Window {
   public:
    Window(const PlayOptions& o, Session& session, Controls& controls, Shared& shared, Rate rate)
        : o_(o), session_(session), controls_(controls), shared_(shared), rate_(rate) {
        const int w = session.size.width, h = session.size.height;
        if (SDL_Init(SDL_INIT_VIDEO) != 0) throw HostError(std::string("cannot open a window: ") + SDL_GetError());
        window_ = SDL_CreateWindow(("vyrhost play " + session.plugin->name()).c_str(), SDL_WINDOWPOS_CENTERED,
                                   SDL_WINDOWPOS_CENTERED, w, h,
                                   SDL_WINDOW_RESIZABLE | (o.fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0));
        if (window_ == nullptr) throw HostError(std::string("cannot open a window: ") + SDL_GetError());
        renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED);
        if (renderer_ == nullptr) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
        if (renderer_ == nullptr) throw HostError(std::string("cannot draw in the window: ") + SDL_GetError());
        // ARGB8888 is B, G, R, A in memory on little-endian machines, the
        // plug-ins' own order; BGR24 is B, G, R.
        texture_ =
            SDL_CreateTexture(renderer_, session.bytesPerPixel == 4 ? SDL_PIXELFORMAT_ARGB8888 : SDL_PIXELFORMAT_BGR24,
                              SDL_TEXTUREACCESS_STREAMING, w, h);
        if (texture_ == nullptr) throw HostError(std::string("cannot make a texture: ") + SDL_GetError());
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
        if (TTF_Init() == 0)
            for (const char* path : kFontPaths)
                if ((font_ = TTF_OpenFont(path, 15)) != nullptr) break;
        overlay_ = o.overlay;
    }

    ~Window() {
        if (font_ != nullptr) TTF_CloseFont(font_);
        if (TTF_WasInit()) TTF_Quit();
        if (texture_ != nullptr) SDL_DestroyTexture(texture_);
        if (renderer_ != nullptr) SDL_DestroyRenderer(renderer_);
        if (window_ != nullptr) SDL_DestroyWindow(window_);
        SDL_Quit();
    }

    void run(std::vector<ScriptEvent> script) {
        size_t nextEvent = 0;
        uint64_t shown = 0;
        auto lastTitle = Clock::now();
        long lastRendered = 0, lastDropped = 0;
        const auto started = Clock::now();
        while (!shared_.quit) {
            // Scripted events go in the window's own queue, handled as real ones.
            while (nextEvent < script.size() && script[nextEvent].frame <= shared_.rendered) push(script[nextEvent++]);
            SDL_Event e;
            if (SDL_WaitEventTimeout(&e, 4)) {
                do handle(e);
                while (SDL_PollEvent(&e));
            }
            {
                std::lock_guard<std::mutex> lock(shared_.mutex);
                if (shared_.sequence != shown) {
                    shown = shared_.sequence;
                    SDL_UpdateTexture(texture_, nullptr, shared_.frame.data(),
                                      session_.size.width * session_.bytesPerPixel);
                }
            }
            draw();
            const auto now = Clock::now();
            const double seconds = std::chrono::duration<double>(now - lastTitle).count();
            if (seconds >= 1.0) {
                const long rendered = shared_.rendered, dropped = shared_.dropped;
                fps_ = double(rendered - lastRendered) / seconds;
                char title[512];
                std::snprintf(title, sizeof title, "vyrhost play %s  %.1f fps  %ld dropped%s",
                              session_.plugin->name().c_str(), fps_, dropped, shared_.recording ? "  REC" : "");
                SDL_SetWindowTitle(window_, title);
                if (o_.stats)
                    std::printf("fps %.1f dropped %ld frames %ld\n", fps_, dropped - lastDropped, rendered),
                        std::fflush(stdout);
                lastRendered = rendered;
                lastDropped = dropped;
                lastTitle = now;
            }
        }
        const double total = std::chrono::duration<double>(Clock::now() - started).count();
        std::fprintf(stderr, "vyrhost: played %ld frames in %.1f s (%.1f fps, %ld dropped)\n", long(shared_.rendered),
                     total, total > 0 ? double(shared_.rendered) / total : 0.0, long(shared_.dropped));
    }

   private:
    // Where the picture goes in the window: as large as fits, aspect kept.
    SDL_Rect pictureRect() const {
        int ww = 0, wh = 0;
        SDL_GetRendererOutputSize(renderer_, &ww, &wh);
        const double sx = double(ww) / session_.size.width, sy = double(wh) / session_.size.height;
        const double s = sx < sy ? sx : sy;
        SDL_Rect r;
        r.w = int(session_.size.width * s + 0.5);
        r.h = int(session_.size.height * s + 0.5);
        r.x = (ww - r.w) / 2;
        r.y = (wh - r.h) / 2;
        return r;
    }

    void push(const ScriptEvent& s) {
        SDL_Event e;
        std::memset(&e, 0, sizeof e);
        if (s.kind == ScriptEvent::Quit) {
            e.type = SDL_QUIT;
        } else if (s.kind == ScriptEvent::Key) {
            e.type = SDL_KEYDOWN;
            e.key.state = SDL_PRESSED;
            e.key.keysym.sym = s.key;
            e.key.keysym.mod = s.mod;
        } else {
            const SDL_Rect r = pictureRect();
            e.type = SDL_MOUSEMOTION;
            e.motion.x = r.x + int(s.x * float(r.w - 1) + 0.5f);
            e.motion.y = r.y + int((1.0f - s.y) * float(r.h - 1) + 0.5f);
        }
        SDL_PushEvent(&e);
    }

    void handle(const SDL_Event& e) {
        switch (e.type) {
            case SDL_QUIT:
                shared_.quit = true;
                break;
            case SDL_KEYDOWN:
                key(e.key.keysym.sym, e.key.keysym.mod);
                break;
            case SDL_MOUSEMOTION: {
                const SDL_Rect r = pictureRect();
                if (r.w < 2 || r.h < 2) break;
                controls_.mouse(float(e.motion.x - r.x) / float(r.w - 1),
                                1.0f - float(e.motion.y - r.y) / float(r.h - 1));
                break;
            }
            default:
                break;
        }
    }

    void key(SDL_Keycode k, Uint16 mod) {
        const bool shift = (mod & KMOD_SHIFT) != 0;
        const float step = shift ? 0.1f : 0.01f;
        if (k >= SDLK_0 && k <= SDLK_9) {
            controls_.jump(float(k - SDLK_0) / 10.0f);
            return;
        }
        LiveCommand c{LiveCommand::Quit};
        switch (k) {
            case SDLK_ESCAPE:
            case SDLK_q:
                shared_.quit = true;
                return;
            case SDLK_h:
            case SDLK_F1:
                overlay_ = !overlay_;
                return;
            case SDLK_UP:
                controls_.select(-1);
                return;
            case SDLK_DOWN:
                controls_.select(1);
                return;
            case SDLK_TAB:
                controls_.select(shift ? -1 : 1);
                return;
            case SDLK_RIGHT:
                controls_.nudge(step);
                return;
            case SDLK_LEFT:
                controls_.nudge(-step);
                return;
            case SDLK_END:
                controls_.jump(1.0f);
                return;
            case SDLK_HOME:
                controls_.jump(0.0f);
                return;
            case SDLK_x:
                controls_.bindMouseX(controls_.mouseX() == controls_.selected() ? -1 : controls_.selected());
                return;
            case SDLK_y:
                controls_.bindMouseY(controls_.mouseY() == controls_.selected() ? -1 : controls_.selected());
                return;
            case SDLK_l:
                controls_.learn(!controls_.learning());
                return;
            case SDLK_BACKSPACE:
                controls_.resetToDefaults();
                return;
            case SDLK_f:
                SDL_SetWindowFullscreen(window_, (SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN_DESKTOP)
                                                     ? 0
                                                     : SDL_WINDOW_FULLSCREEN_DESKTOP);
                return;
            case SDLK_w:
                windowShot_ = true;
                return;
            case SDLK_n:
                c.kind = LiveCommand::Reseed;
                break;
            case SDLK_s:
                c.kind = LiveCommand::Snapshot;
                break;
            case SDLK_r:
                c.kind = LiveCommand::Record;
                break;
            default:
                return;
        }
        controls_.request(c);
    }

    void text(const std::string& s, int x, int y, SDL_Color colour) {
        SDL_Surface* surface = TTF_RenderUTF8_Blended(font_, s.c_str(), colour);
        if (surface == nullptr) return;
        SDL_Texture* t = SDL_CreateTextureFromSurface(renderer_, surface);
        const SDL_Rect r{x, y, surface->w, surface->h};
        SDL_FreeSurface(surface);
        if (t == nullptr) return;
        SDL_RenderCopy(renderer_, t, nullptr, &r);
        SDL_DestroyTexture(t);
    }

    int textWidth(const std::string& s) const {
        int w = 0;
        TTF_SizeUTF8(font_, s.c_str(), &w, nullptr);
        return w;
    }

    // Every parameter: its index, name and value, the plug-in's text for the
    // value and, where the plug-in explains it, what the parameter does.
    void drawOverlay() {
        if (font_ == nullptr) return;
        const std::vector<float> values = controls_.values();
        const int selected = controls_.selected();
        const int line = TTF_FontLineSkip(font_);
        const auto& params = session_.plugin->info().params;
        const auto& about = session_.plugin->descriptions();
        std::vector<std::string> display;
        {
            std::lock_guard<std::mutex> lock(shared_.mutex);
            display = shared_.display;
        }
        const char* const help[] = {
            "up/down select  left/right nudge  0-9 jump  x/y mouse  n seed  bksp reset",
            "s snapshot  w window shot  r record  l MIDI learn  f fullscreen  h overlay  q quit"};
        const int valueColumn = textWidth("> 00  MMMMMMMMMMMMMMMM 0.000 [mouse x] ");
        int width = std::max(textWidth(help[0]), textWidth(help[1]));
        for (size_t i = 0; i < about.size(); ++i)
            width = std::max(
                width, valueColumn + textWidth(about[i]) + (i < display.size() ? textWidth(display[i] + "  ") : 0));
        int ww = 0, wh = 0;
        SDL_GetRendererOutputSize(renderer_, &ww, &wh);
        SDL_SetRenderDrawBlendMode(renderer_, SDL_BLENDMODE_BLEND);
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 170);
        const SDL_Rect back{8, 8, std::min(width + 16, ww - 16), int(values.size() + 3) * line + 12};
        SDL_RenderFillRect(renderer_, &back);
        const SDL_Color white{255, 255, 255, 255}, yellow{255, 220, 80, 255}, grey{170, 170, 170, 255};
        char buf[256];
        std::snprintf(buf, sizeof buf, "%s  %.1f fps  %ld dropped%s%s", session_.plugin->name().c_str(), fps_,
                      long(shared_.dropped), shared_.recording ? "  REC" : "",
                      controls_.learning() ? "  MIDI learn: move a knob" : "");
        text(buf, 16, 14, shared_.recording ? SDL_Color{255, 90, 90, 255} : white);
        const int mx = controls_.mouseX(), my = controls_.mouseY();
        for (size_t i = 0; i < values.size(); ++i) {
            const int y = 14 + int(i + 1) * line;
            const std::string bind = int(i) == mx ? " [mouse x]" : int(i) == my ? " [mouse y]" : "";
            std::snprintf(buf, sizeof buf, "%s%2zu  %-16s %5.3f%s", int(i) == selected ? ">" : " ", i,
                          params[i].name.c_str(), double(values[i]), bind.c_str());
            text(buf, 16, y, int(i) == selected ? yellow : white);
            // A display text that only repeats the value says nothing more.
            std::string shown = i < display.size() ? display[i] : std::string();
            char* end = nullptr;
            std::strtod(shown.c_str(), &end);
            if (!shown.empty() && end != nullptr && *end == '\0') shown.clear();
            if (i < about.size() && !about[i].empty()) shown += (shown.empty() ? "" : "  ") + about[i];
            if (!shown.empty()) text(shown, 16 + valueColumn, y, grey);
        }
        text(help[0], 16, 14 + int(values.size() + 1) * line, grey);
        text(help[1], 16, 14 + int(values.size() + 2) * line, grey);
    }

    void draw() {
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        SDL_RenderClear(renderer_);
        const SDL_Rect r = pictureRect();
        SDL_RenderCopy(renderer_, texture_, nullptr, &r);
        if (overlay_) drawOverlay();
        if (windowShot_) {
            windowShot_ = false;
            saveWindow();
        }
        SDL_RenderPresent(renderer_);
    }

    // The window as it looks, overlay included.
    void saveWindow() {
        int ww = 0, wh = 0;
        SDL_GetRendererOutputSize(renderer_, &ww, &wh);
        std::vector<uint8_t> pixels(size_t(ww) * size_t(wh) * 4);
        if (SDL_RenderReadPixels(renderer_, nullptr, SDL_PIXELFORMAT_ARGB8888, pixels.data(), ww * 4) != 0) {
            std::fprintf(stderr, "vyrhost: cannot read the window: %s\n", SDL_GetError());
            return;
        }
        const std::string name = numbered(o_.outDir + "/" + session_.plugin->name() + "-window-%d.png");
        writePng(name, pixels.data(), ww, wh, 4, false);
        std::fprintf(stderr, "vyrhost: window shot %s\n", name.c_str());
    }

    const PlayOptions& o_;
    Session& session_;
    Controls& controls_;
    Shared& shared_;
    Rate rate_;
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    TTF_Font* font_ = nullptr;
    bool overlay_ = false;
    bool windowShot_ = false;
    double fps_ = 0.0;
};

}  // namespace

int runPlay(const PlayOptions& o) {
    if (o.frames < 0) throw HostError("--frames must not be negative");
    applyThreadSettings(o, false);
    Session session = openSession(o);
    const Plugin& plugin = *session.plugin;
    // Without a size, an input keeps its own, else 1280x720.
    const std::string ownSize = session.sizeGiven ? std::string() : inputSize(o.input);
    if (!ownSize.empty()) session.size = parseSize(ownSize);
    const Rate rate = parseRate(!o.fps.empty() ? o.fps : !session.file.fps.empty() ? session.file.fps : "60");
    session.setRate(rate);
    if (session.hasRamps())
        throw HostError("--ramp needs a clip's length; in play, give keyframes in a parameter file (--params)");

    std::vector<std::string> names;
    std::vector<float> defaults;
    for (const auto& p : plugin.info().params) {
        names.push_back(p.name);
        defaults.push_back(p.defaultValue);
    }
    Controls controls(names, defaults);
    const auto index = [&](const std::string& key) {
        const int i = key.empty() ? -1 : int(plugin.parameterIndex(key));
        return i;
    };
    controls.bindMouse(index(o.mouseX), index(o.mouseY));
    // --set values are where the performer starts, on top of the file's.
    for (const auto& r : session.settings) controls.set(int(r.index), r.setting.from);
    std::vector<ScriptEvent> script;
    if (!o.script.empty()) script = loadScript(o.script);
    if (!o.midiMap.empty() && access(o.midiMap.c_str(), F_OK) == 0) {
        std::vector<MidiMapping> mappings = loadMidiMap(o.midiMap);
        for (const auto& m : mappings) plugin.parameterIndex(m.parameter);  // names it cannot find are errors
        controls.setMidiMappings(mappings);
    }
    struct stat st;
    if (stat(o.outDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || access(o.outDir.c_str(), W_OK) != 0)
        throw HostError("cannot write to folder " + o.outDir);

    Shared shared;
    Window window(o, session, controls, shared, rate);
    std::unique_ptr<OscInput> osc;
    if (o.oscPort >= 0) {
        osc.reset(new OscInput(o.oscPort, controls));
        std::fprintf(stderr,
                     "vyrhost: OSC on UDP port %d: /vyr/<name> or /vyr/<index> 0..1, /vyr/seed, /vyr/snapshot\n",
                     osc->port());
    }
    std::unique_ptr<MidiInput> midi;
    if (!o.noMidi) {
        try {
            midi.reset(new MidiInput(o.midiFrom, o.midiMap, controls));
            std::fprintf(stderr, "vyrhost: MIDI on ALSA sequencer port %s (%d connected)\n", midi->address().c_str(),
                         midi->connections());
        } catch (const HostError& e) {
            // A machine without MIDI still plays; one asked-for connection must work.
            if (!o.midiFrom.empty()) throw;
            std::fprintf(stderr, "vyrhost: no MIDI: %s\n", e.what());
        }
    }
    std::fflush(stderr);

    Renderer renderer(o, session, controls, shared, rate);
    std::thread thread([&renderer] { renderer.run(); });
    window.run(std::move(script));
    shared.quit = true;
    thread.join();
    if (!shared.error.empty()) throw HostError(shared.error);
    return 0;
}

}  // namespace vyrhost
