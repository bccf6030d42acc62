#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/posix/posix.h"

namespace tw::platform::posix {
namespace {

// A stop wakes every thread asleep on the clock at once: the cycle and the
// plugin and external-program threads all sleep for minutes at a time.
// Runs in a child process, since a stop is for the life of the process.
TEST(PosixStop, WakesEverySleeperAtOnce) {
    pid_t kid = fork();
    ASSERT_GE(kid, 0);
    if (kid == 0) {
        alarm(20);  // a sleeper that stays asleep ends the child, not the suite
        auto clock = makeClock();
        std::atomic<int> woke{0}, early{0};
        std::vector<std::thread> sleepers;
        for (int i = 0; i < 3; ++i)
            sleepers.emplace_back([&] {
                if (!clock->sleepSeconds(600)) ++early;
                ++woke;
            });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const int64_t raised = clock->monotonicMs();
        raiseStop();
        for (auto& t : sleepers) t.join();
        const bool prompt = clock->monotonicMs() - raised < 10000;
        _exit(woke == 3 && early == 3 && prompt && !clock->sleepMs(1000) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(kid, &status, 0), kid);
    ASSERT_TRUE(WIFEXITED(status)) << "a sleeper did not wake within 20 s";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace tw::platform::posix
