// Child processes on Linux, all started one way: posix_spawn with a plan
// for the three standard descriptors and no other descriptor of ours,
// ordinary signal handling (the agent ignores SIGPIPE, which a child would
// otherwise inherit), and a process group of its own, so that ending a
// child ends whatever it started. Their output is read, their end awaited,
// and they are killed and reaped within limits on the one monotonic clock
// (nowMs, platform/posix/monotonic.h).
#pragma once

#include <sys/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/monotonic.h"

namespace tw::platform {

// Where a child's standard descriptor leads, besides a descriptor of ours.
inline constexpr int kStdNull = -1;     // /dev/null
inline constexpr int kStdInherit = -2;  // ours, as it is

struct SpawnPlan {
    std::vector<std::string> argv;  // argv[0] names the program
    bool searchPath = false;        // a name without '/' is looked up in PATH
    // Standard input, output and error: kStdNull, kStdInherit or a
    // descriptor of ours to put there. The child keeps no other descriptor.
    std::array<int, 3> stdio{kStdNull, kStdNull, kStdNull};
    // The environment, "NAME=value" each; nullopt: ours.
    std::optional<std::vector<std::string>> env;
};

// A wait status for a child that was no longer ours to wait for.
inline constexpr int kNoStatus = -1;

// One started child. Dropped while it runs, it is killed with its process
// group and reaped, so that no child is left running or a zombie;
// release() hands it over instead.
class Child {
  public:
    Child() = default;
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Starts the plan's program: 0, or the error number that says why not.
    int start(const SpawnPlan& plan);

    pid_t pid() const { return pid_; }
    // Started and not yet reaped.
    bool running() const { return pid_ > 0; }

    // Sends sig to the child alone.
    void signal(int sig);
    // Waits until the child ends or the deadline (nowMs) passes: its wait
    // status once it has ended and is reaped, nullopt while it still runs.
    std::optional<int> wait(int64_t deadline);
    // Whether it has ended by the deadline; it is left unreaped, so its
    // process group id stays ours for kill().
    bool ended(int64_t deadline);
    // Kills the child's process group and reaps the child: its wait status.
    int kill();
    // Stops owning the child: it is neither killed nor reaped here.
    pid_t release();

  private:
    pid_t pid_ = -1;
};

enum class ReadState {
    Data,     // something was read
    End,      // end of file
    Timeout,  // nothing by the deadline
    Failed,   // a read error
};

// Reads what fd has, waiting for it until the deadline (nowMs). Keeps what
// fits below maxBytes in out and drops the rest.
ReadState readSome(int fd, int64_t deadline, std::string& out, size_t maxBytes);
// Reads until end of file, an error or the deadline, the same way, so that
// a chatty writer never blocks on a full pipe: End, Failed or Timeout.
ReadState readAll(int fd, int64_t deadline, std::string& out, size_t maxBytes);

struct CommandResult {
    int exitStatus = -1;  // -1: killed by a signal or the time bound
    bool timedOut = false;
    std::string out;
};

// Runs a program (no shell; looked up in PATH) with its standard input and
// error on /dev/null and collects its standard output, within a time bound:
// a program that does not finish in time is killed with its process group.
// nullopt when the program cannot be started. Output beyond maxBytes is
// read and dropped.
std::optional<CommandResult> runCommand(const std::vector<std::string>& argv, int timeoutMs,
                                        size_t maxBytes = 16 << 20);

}  // namespace tw::platform
