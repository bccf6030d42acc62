// A program launcher that records what it was asked to start and answers
// a chosen result code. Thread-safe.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/launcher.h"

namespace tw::testing {

class FakeLauncher : public platform::Launcher {
  public:
    struct Start {
        std::string program, args;
        bool operator==(const Start&) const = default;
    };

    int launch(const std::string& program, const std::string& arguments) override {
        std::lock_guard<std::mutex> g(mu_);
        starts_.push_back({program, arguments});
        return result;
    }
    void reap() override {
        std::lock_guard<std::mutex> g(mu_);
        ++reaps_;
    }

    std::vector<Start> starts() {
        std::lock_guard<std::mutex> g(mu_);
        return starts_;
    }
    size_t startCount() {
        std::lock_guard<std::mutex> g(mu_);
        return starts_.size();
    }
    int reaps() {
        std::lock_guard<std::mutex> g(mu_);
        return reaps_;
    }

    int result = platform::kLaunchStarted;  // set before any thread runs

  private:
    std::mutex mu_;
    std::vector<Start> starts_;
    int reaps_ = 0;
};

}  // namespace tw::testing
