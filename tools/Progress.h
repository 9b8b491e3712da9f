// A one-line progress bar for the tool's longer commands, drawn on stderr.
//
// The bar appears only when its stream is a terminal (and TERM is not "dumb") and
// the work has lasted about a second, so quick runs and redirected output stay
// clean. Work is counted in units (a batch counts one per file; fractions show how
// far the current file is). Anything else printed while a bar is up must call
// Clear() first; the next Update() draws the bar again.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace tool {

class Progress {
public:
    // On stderr; the delay comes from TESSERA_PROGRESS_DELAY (milliseconds) when set.
    explicit Progress(double total);
    // For tests: any stream, told whether it is a terminal, its width in columns.
    Progress(double total, std::FILE* out, bool terminal, std::chrono::milliseconds delay, int columns);
    ~Progress();
    Progress(Progress const&) = delete;
    Progress& operator=(Progress const&) = delete;

    // `done` units of the total are finished; `label` names the current piece.
    void Update(double done, std::string const& label);
    // Erases the bar from the line when it is shown.
    void Clear();

    // The bar as drawn for `done` of `total` in `columns` columns (no control characters).
    static std::string Render(double done, double total, std::string const& label, int columns);

private:
    std::FILE* out_;
    bool enabled_;
    double total_;
    int columns_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
    std::chrono::milliseconds delay_;
};

} // namespace tool
