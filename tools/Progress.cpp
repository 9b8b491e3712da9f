#include "tools/Progress.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tool {

namespace {

    constexpr int kDefaultColumns = 80;
    constexpr std::chrono::milliseconds kDefaultDelay(1000);
    constexpr std::chrono::milliseconds kRedrawInterval(100); // at most ten redraws a second

    bool IsTerminal(std::FILE* out)
    {
        const char* term = std::getenv("TERM");
        return isatty(fileno(out)) && !(term && std::strcmp(term, "dumb") == 0);
    }

    int TerminalColumns(std::FILE* out)
    {
        winsize size {};
        if (ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col >= 20)
            return size.ws_col;
        return kDefaultColumns;
    }

    std::chrono::milliseconds DelayFromEnvironment()
    {
        const char* text = std::getenv("TESSERA_PROGRESS_DELAY");
        if (!text || !*text)
            return kDefaultDelay;
        char* end = nullptr;
        long ms = std::strtol(text, &end, 10);
        if (*end != '\0' || ms < 0)
            return kDefaultDelay;
        return std::chrono::milliseconds(ms);
    }

} // namespace

Progress::Progress(double total)
    : Progress(total, stderr, IsTerminal(stderr), DelayFromEnvironment(), TerminalColumns(stderr))
{
}

Progress::Progress(double total, std::FILE* out, bool terminal, std::chrono::milliseconds delay, int columns)
    : out_(out)
    , enabled_(terminal && total > 0)
    , total_(total)
    , columns_(std::max(columns, 20))
    , start_(std::chrono::steady_clock::now())
    , delay_(delay)
{
}

Progress::~Progress()
{
    Clear();
}

std::string Progress::Render(double done, double total, std::string const& label, int columns)
{
    const double fraction = total > 0 ? std::clamp(done / total, 0.0, 1.0) : 0.0;
    constexpr int kBarCells = 24;
    const int filled = static_cast<int>(std::floor(fraction * kBarCells));
    std::string line = "[" + std::string(static_cast<size_t>(filled), '#')
        + std::string(static_cast<size_t>(kBarCells - filled), '.') + "]";
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, " %3d%% %ld/%ld ", static_cast<int>(std::floor(fraction * 100)),
        static_cast<long>(std::floor(std::max(done, 0.0))), static_cast<long>(std::ceil(total)));
    line += numbers;
    // One column stays free so the cursor never wraps; a long label keeps its end.
    const size_t room = static_cast<size_t>(columns - 1) > line.size() ? columns - 1 - line.size() : 0;
    if (label.size() <= room)
        line += label;
    else if (room > 3)
        line += "..." + label.substr(label.size() - (room - 3));
    return line;
}

void Progress::Update(double done, std::string const& label)
{
    if (!enabled_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < delay_ || (shown_ && now - lastDraw_ < kRedrawInterval))
        return;
    std::fprintf(out_, "\r\033[K%s", Render(done, total_, label, columns_).c_str());
    std::fflush(out_);
    shown_ = true;
    lastDraw_ = now;
}

void Progress::Clear()
{
    if (!shown_)
        return;
    std::fputs("\r\033[K", out_);
    std::fflush(out_);
    shown_ = false;
}

} // namespace tool
