#include "host/cli/Progress.h"

#include <unistd.h>

#include <cstdio>

namespace morvane_cli {

namespace {
constexpr int kBarWidth = 30;
}

Progress::Progress(std::string label, uint64_t total, double unitsPerSecond, bool quiet)
    : label_(std::move(label)), total_(total), unitsPerSecond_(unitsPerSecond),
      enabled_(!quiet && ::isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() {
    finish();
}

void Progress::update(uint64_t done) {
    if (!enabled_ || finished_) return;
    const int permille = total_ == 0 ? 1000 : static_cast<int>(done * 1000 / total_);
    if (permille / 10 == lastPermille_ / 10 && lastPermille_ >= 0) return;
    lastPermille_ = permille;
    draw(done);
}

void Progress::update(uint64_t done, uint64_t total) {
    total_ = total;
    update(done);
}

void Progress::draw(uint64_t done) {
    const int permille = total_ == 0 ? 1000 : static_cast<int>(done * 1000 / total_);
    const int filled = permille * kBarWidth / 1000;
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i)
        bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = '\0';
    const double seconds = unitsPerSecond_ > 0 ? done / unitsPerSecond_ : 0.0;
    const double totalSeconds = unitsPerSecond_ > 0 ? total_ / unitsPerSecond_ : 0.0;
    std::fprintf(stderr, "\r%s [%s] %3d%%  %.1f / %.1f s", label_.c_str(), bar, permille / 10, seconds,
                 totalSeconds);
    std::fflush(stderr);
}

void Progress::finish() {
    if (!enabled_ || finished_) return;
    finished_ = true;
    if (lastPermille_ < 0) return;
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

} // namespace morvane_cli
