#include "platform/bounded_wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace tw::platform {
namespace {

// Work that blocks until the test releases it (a name service that does not
// answer); every wait on it in the test is bounded.
struct Gate {
    std::promise<void> open;
    std::shared_future<void> opened = open.get_future().share();
    std::function<int()> work(int answer) {
        auto f = opened;
        return [f, answer] {
            f.wait_for(std::chrono::seconds(30));
            return answer;
        };
    }
};

TEST(BoundedWait, AnswerWithinTheBoundIsHandedBackAndTheHelperServesTheNextCall) {
    int result = 0;
    EXPECT_EQ(runbounded<int>([] { return 42; }, {5000, {}}, result), WaitEnd::Done);
    EXPECT_EQ(result, 42);
    // A call every cycle does not start a thread every cycle.
    ASSERT_EQ(runbounded<int>([] { return 1; }, {5000, {}}, result), WaitEnd::Done);
    for (int tries = 0; tries < 100 && detail::waitinghelpers() == 0; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int started = detail::helpersstarted();
    ASSERT_EQ(runbounded<int>([] { return 2; }, {5000, {}}, result), WaitEnd::Done);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(detail::helpersstarted(), started);
}

TEST(BoundedWait, WorkThatDoesNotAnswerEndsTheWaitAtTheTimeOutOrAtAStop) {
    Gate gate;
    int result = 7;
    EXPECT_EQ(runbounded<int>(gate.work(1), {200, {}}, result), WaitEnd::TimedOut);
    EXPECT_EQ(result, 7);
    std::atomic<int> asked{0};
    auto stop = [&asked] { return ++asked > 3; };
    EXPECT_EQ(runbounded<int>(gate.work(2), {0, stop}, result), WaitEnd::Stopped);
    EXPECT_EQ(result, 7);
    gate.open.set_value();
}

// Waits (bounded) until the helpers of earlier calls have ended.
bool helpersIdle() {
    for (int tries = 0; tries < 500 && runninghelpers() > 0; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return runninghelpers() == 0;
}

TEST(BoundedWait, AbandonedWorkHoldsAtMostABoundedNumberOfThreads) {
    ASSERT_TRUE(helpersIdle());
    Gate gate;
    int result = 0;
    // Each abandoned call keeps its helper until the work ends.
    for (int i = 0; i < kMaxHelperThreads; ++i)
        ASSERT_EQ(runbounded<int>(gate.work(i), {20, {}}, result), WaitEnd::TimedOut) << i;
    EXPECT_EQ(runbounded<int>(gate.work(99), {5000, {}}, result), WaitEnd::NoThread);
    gate.open.set_value();
    // The helpers end once their work does; then calls run again.
    ASSERT_TRUE(helpersIdle());
    EXPECT_EQ(runbounded<int>([] { return 5; }, {5000, {}}, result), WaitEnd::Done);
    EXPECT_EQ(result, 5);
}

}  // namespace
}  // namespace tw::platform
