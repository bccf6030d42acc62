// The agent's auxiliary threads: the plugin reader and one thread per
// external program. The cycle starts them; when the cycle ends they are told
// to stop and joined, so that none outlives the Agent or the log it writes
// to. Their sleeps run on the agent's clock in short steps and end early
// once a stop is due.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tw {

struct Agent;

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

// How long one step of an auxiliary sleep lasts at most: the longest a
// thread takes to notice that it was told to stop (a stop of the process
// ends the step at once). Each step wakes the thread, so steps are not
// shorter than needed: an idle agent should cost its host nothing.
inline constexpr int64_t kAuxStepMs = 1000;

// True once an auxiliary thread must end: told to, or the process is stopping.
bool auxstopping(Agent& a);
// Sleeps the seconds; false (possibly early) once auxstopping holds.
bool auxsleep(Agent& a, int64_t seconds);

// Holds the cycle mutex (TWNTMutex) for an auxiliary thread and releases it
// on every way out.
class CycleLock {
  public:
    explicit CycleLock(Agent& a);
    ~CycleLock() { unlock(); }
    CycleLock(const CycleLock&) = delete;
    CycleLock& operator=(const CycleLock&) = delete;
    void unlock();

  private:
    Agent& a_;
    bool held_ = false;
};

}  // namespace tw
