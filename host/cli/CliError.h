// The one kind of failure the command-line program reports: a single line for
// standard error, and the exit status that goes with it.
#pragma once

#include <stdexcept>
#include <string>

namespace morvane_cli {

// Exit statuses of the program.
enum ExitStatus : int {
    kExitOk = 0,
    kExitFailure = 1, // the command could not be done (bad file, refused state ...)
    kExitUsage = 2,   // the command line itself is wrong
};

class CliError : public std::runtime_error {
  public:
    explicit CliError(const std::string& message, int status = kExitFailure)
        : std::runtime_error(message), status_(status) {}
    int status() const { return status_; }

  private:
    int status_;
};

// A command-line mistake (unknown name, malformed value, conflicting options).
inline CliError UsageError(const std::string& message) {
    return CliError(message, kExitUsage);
}

} // namespace morvane_cli
