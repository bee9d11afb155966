#include "progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace vyrhost {

namespace {

constexpr double kQuietSeconds = 1.0;   // renders shorter than this show no bar
constexpr double kRedrawSeconds = 0.1;  // at most ten redraws a second

int terminalColumns() {
    winsize ws{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 20) return ws.ws_col;
    return 80;
}

}  // namespace

Progress::Progress(const std::string& label, long total)
    : label_(label), total_(total), enabled_(isatty(STDERR_FILENO) != 0), start_(Clock::now()), lastDraw_(start_) {}

Progress::~Progress() { clear(); }

void Progress::update(long done) {
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    if (elapsed < kQuietSeconds) return;
    if (shown_ && std::chrono::duration<double>(now - lastDraw_).count() < kRedrawSeconds) return;
    lastDraw_ = now;
    shown_ = true;

    const double fps = double(done) / elapsed;
    char tail[96];
    if (total_ > 0) {
        const double left = fps > 0.0 ? double(std::max(0L, total_ - done)) / fps : 0.0;
        std::snprintf(tail, sizeof tail, " %ld/%ld  %.1f fps  %.0f s left", done, total_, fps, left);
    } else {
        std::snprintf(tail, sizeof tail, " %ld frames  %.1f fps", done, fps);
    }
    const int columns = terminalColumns() - 1;
    std::string line = label_ + " ";
    const int barWidth = columns - int(line.size()) - int(std::string(tail).size()) - 2;
    if (barWidth >= 10 && total_ > 0) {
        const int filled = int(double(barWidth) * std::min(1.0, double(done) / double(total_)));
        line += "[" + std::string(size_t(filled), '#') + std::string(size_t(barWidth - filled), '.') + "]";
    }
    line += tail;
    if (int(line.size()) > columns) line.resize(size_t(std::max(0, columns)));
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
}

void Progress::clear() {
    if (!shown_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    shown_ = false;
}

}  // namespace vyrhost
