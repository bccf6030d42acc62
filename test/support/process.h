// Starts a built program for end-to-end tests, with its own environment
// additions, its output captured to files, and bounded waits.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tw::platform {
class Child;  // platform/posix/subprocess.h
}  // namespace tw::platform

namespace tw::testing {

std::string binaryPath(const std::string& name);  // a program of this build

class Process {
  public:
    // Standard input is inputPath (default: nothing to read).
    Process(const std::string& program, const std::vector<std::string>& args,
            const std::map<std::string, std::string>& env, const std::string& outputDir,
            const std::string& inputPath = "/dev/null");
    ~Process();  // kills the process (its group) if it still runs

    pid_t pid() const;
    void signal(int sig);
    // The exit status, or nullopt when it did not end within the time.
    std::optional<int> wait(int timeoutMs);
    std::string out() const;
    std::string err() const;

  private:
    std::unique_ptr<platform::Child> child_;
    std::string outPath_, errPath_;
    std::optional<int> status_;
};

// Polls until pred() holds or the time is up; answers pred()'s last value.
template <typename Pred>
bool waitFor(Pred pred, int timeoutMs);

// Runs a program to its end (at most timeoutMs) with input on its standard
// input, and answers status and output.
struct RunResult {
    int status = -1;
    std::string out, err;
};
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env, int timeoutMs = 20000,
                     const std::string& input = {});

inline void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

template <typename Pred>
bool waitFor(Pred pred, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        if (pred()) return true;
        sleepMs(20);
    }
    return pred();
}

}  // namespace tw::testing
