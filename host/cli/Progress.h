// A progress bar on standard error, shown only when standard error is a
// terminal and the user did not ask for quiet; otherwise it writes nothing.
#pragma once

#include <cstdint>
#include <string>

namespace morvane_cli {

class Progress {
  public:
    // `total` units of work (frames), described by `label`.
    Progress(std::string label, uint64_t total, double unitsPerSecond, bool quiet);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Redraws when the shown percentage changes. `total` replaces the total
    // given at construction (a tail that ends when the sound does).
    void update(uint64_t done);
    void update(uint64_t done, uint64_t total);
    // Completes the line (nothing when not shown).
    void finish();
    bool shown() const { return enabled_; }

  private:
    void draw(uint64_t done);

    std::string label_;
    uint64_t total_;
    double unitsPerSecond_;
    bool enabled_;
    int lastPermille_ = -1;
    bool finished_ = false;
};

} // namespace morvane_cli
