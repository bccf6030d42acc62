// The agent's auxiliary threads: the plugin reader and one thread per
// external program. The cycle starts them; when the cycle ends they are told
// to stop and joined, so that none outlives the agent or the log it writes
// to. Their sleeps run on the agent's clock in short steps and end early
// once a stop is due.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "agent/transport/twsend.h"

namespace tw::platform {
class Clock;
class CycleMutex;
class Directory;
class Launcher;
class System;
}  // namespace tw::platform

namespace tw {

class Settings;

class AuxThreads {
  public:
    AuxThreads() = default;
    AuxThreads(const AuxThreads&) = delete;
    AuxThreads& operator=(const AuxThreads&) = delete;
    ~AuxThreads() { stopAll(); }

    // Runs fn on a thread of its own; false when no thread could be had or
    // the threads were already told to stop.
    bool start(std::function<void()> fn);
    // Tells every thread to stop and waits until each has ended.
    void stopAll();
    bool stopRequested() const { return stop_.load(); }
    // Threads started and not yet joined (ended ones included).
    size_t count() const;

  private:
    mutable std::mutex mu_;
    std::vector<std::thread> threads_;
    std::atomic<bool> stop_{false};
};

// What the plugin reader takes from the cycle's configuration for one pass.
struct PluginView {
    std::string compName;               // the agent's own host in the messages
    std::string externalpath;           // ExternalPath upper-cased, for the log
    std::string externalpathAsWritten;  // the directory itself: file names keep their case
    std::string twdisplay;              // where the messages go
    StatusChannel channel;              // and how (paging to TWPAGE included)
};

// What the auxiliary threads work with; the cycle fills it in once the cycle
// mutex exists, and each thread keeps a copy. `view` is called only while
// the calling thread holds the cycle mutex, under which the cycle reloads
// its configuration.
struct ExtContext {
    AuxThreads& threads;
    platform::CycleMutex& mutex;  // TWNTMutex
    platform::Clock& clock;
    platform::System& system;  // its stop request ends the threads too
    platform::Directory& directory;
    platform::Launcher& launcher;
    Settings& settings;  // PluginTimer is read at every pass
    std::function<PluginView()> view;
};

// How long one step of an auxiliary sleep lasts at most: the longest a
// thread takes to notice that it was told to stop while the process goes on
// (the agent ending after a fatal cycle); a stop of the process ends the
// step at once. Each step wakes the thread, so steps are not shorter than
// needed: an idle agent should cost its host nothing.
inline constexpr int64_t kAuxStepMs = 5000;

// True once an auxiliary thread must end: told to, or the process is stopping.
bool auxstopping(const ExtContext& x);
// Sleeps the seconds; false (possibly early) once auxstopping holds.
bool auxsleep(const ExtContext& x, int64_t seconds);

// Holds the cycle mutex (TWNTMutex) for an auxiliary thread and releases it
// on every way out.
class CycleLock {
  public:
    explicit CycleLock(platform::CycleMutex& mutex);
    ~CycleLock() { unlock(); }
    CycleLock(const CycleLock&) = delete;
    CycleLock& operator=(const CycleLock&) = delete;
    void unlock();

  private:
    platform::CycleMutex& mutex_;
    bool held_ = false;
};

}  // namespace tw
