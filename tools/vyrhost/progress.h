// A one-line progress bar on standard error for renders that take longer
// than a second; silent when standard error is not a terminal.
#pragma once

#include <chrono>
#include <string>

namespace vyrhost {

class Progress {
   public:
    // total -1 when the clip's length is not known in advance.
    Progress(const std::string& label, long total);
    ~Progress();
    void update(long done);
    // Removes the bar from the terminal.
    void clear();

   private:
    using Clock = std::chrono::steady_clock;
    std::string label_;
    long total_;
    bool enabled_;
    bool shown_ = false;
    Clock::time_point start_, lastDraw_;
};

}  // namespace vyrhost
