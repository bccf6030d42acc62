// Process services on Windows: error texts, the environment, the program's
// path, the named mutex and the stop event that ends sleeps.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "platform/win32/win32.h"

namespace tw::platform::win32 {
namespace {

TEST(Win32System, ErrorTextsComeWithoutTheirLineEnd) {
    auto sys = makeSystem();
    std::string text = sys->errorText(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_NE(text.back(), '\r');
    EXPECT_EQ(sys->errorText(0x7fffffff), "");
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(sys->lastErrorCode(), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
}

TEST(Win32System, EnvironmentProgramPathAndFallbackFolders) {
    auto sys = makeSystem();
    SetEnvironmentVariableA("TW_TEST_EMPTY", "");
    SetEnvironmentVariableA("TW_TEST_LONG", std::string(1000, 'v').c_str());
    SetEnvironmentVariableA("TW_TEST_MISSING", nullptr);
    EXPECT_EQ(sys->getenv("TW_TEST_EMPTY"), std::string());
    EXPECT_EQ(sys->getenv("TW_TEST_LONG"), std::string(1000, 'v'));
    EXPECT_FALSE(sys->getenv("TW_TEST_MISSING"));
    auto path = sys->programPath();
    ASSERT_TRUE(path);
    EXPECT_EQ(path->substr(path->size() - 15), "\\twnt_tests.exe") << *path;
    EXPECT_EQ(sys->tempFallback(0), "C:\\TEMP");
    EXPECT_EQ(sys->tempFallback(1), "D:\\TEMP");
    EXPECT_EQ(sys->pathSeparator(), '\\');
}

TEST(Win32System, CycleMutexIsOwnedByItsCreatorUntilReleased) {
    auto sys = makeSystem();
    auto m = sys->createCycleMutex("TWNTMutexTest");
    HANDLE other = OpenMutexA(SYNCHRONIZE, FALSE, "TWNTMutexTest");
    ASSERT_NE(other, nullptr);
    std::atomic<DWORD> got{0};
    auto tryTake = [&] {
        std::thread t([&] {
            got = WaitForSingleObject(other, 0);
            if (got == WAIT_OBJECT_0) ReleaseMutex(other);
        });
        t.join();
    };
    tryTake();
    EXPECT_EQ(got.load(), static_cast<DWORD>(WAIT_TIMEOUT));  // held since creation
    m->unlock();
    tryTake();
    EXPECT_EQ(got.load(), static_cast<DWORD>(WAIT_OBJECT_0));
    m->lock();
    tryTake();
    EXPECT_EQ(got.load(), static_cast<DWORD>(WAIT_TIMEOUT));
    m->unlock();
    CloseHandle(other);
}

TEST(Win32System, StopRequestEndsASleepAtOnce) {
    auto sys = makeSystem();
    auto clock = makeClock();
    ResetEvent(stopEvent());
    EXPECT_FALSE(sys->stopRequested());
    EXPECT_TRUE(clock->sleepMs(10));
    std::thread stopper([&] {
        Sleep(100);
        sys->requestStop();
    });
    int64_t t0 = clock->monotonicMs();
    EXPECT_FALSE(clock->sleepSeconds(60));
    EXPECT_LT(clock->monotonicMs() - t0, 30000);
    stopper.join();
    EXPECT_TRUE(sys->stopRequested());
    EXPECT_FALSE(clock->sleepMs(0));
    ResetEvent(stopEvent());  // later tests sleep normally
}

std::string scratchPath(const char* name) {
    char dir[MAX_PATH] = {};
    GetTempPathA(sizeof dir, dir);
    return std::string(dir) + "twtest_" + std::to_string(GetCurrentProcessId()) + "_" + name;
}

std::string contentOf(const std::string& path) {
    std::string out;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[256];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
        std::fclose(f);
    }
    return out;
}

TEST(Win32System, PrivateFileIsEmptiedAndALinkAtItsNameIsRefused) {
    auto sys = makeSystem();
    const std::string log = scratchPath("TW.LOG"), target = scratchPath("target.txt"),
                      link = scratchPath("LINK.LOG");
    FILE* f = std::fopen(log.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs("yesterday", f);
    std::fclose(f);
    std::string why;
    f = sys->createPrivateFile(log, why);
    ASSERT_TRUE(f) << why;
    std::fputs("today", f);
    std::fclose(f);
    EXPECT_EQ(contentOf(log), "today");

    f = std::fopen(target.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs("precious", f);
    std::fclose(f);
    // Wine answers success without making a link: only a real one is tried.
    CreateSymbolicLinkA(link.c_str(), target.c_str(), 0);
    const DWORD attrs = GetFileAttributesA(link.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT)) {
        EXPECT_EQ(sys->createPrivateFile(link, why), nullptr);
        EXPECT_EQ(why, "a symbolic link or reparse point, not followed");
        EXPECT_EQ(contentOf(target), "precious");
        DeleteFileA(link.c_str());
    } else {
        std::printf("(no symbolic links can be made here)\n");
    }
    DeleteFileA(log.c_str());
    DeleteFileA(target.c_str());
}

TEST(Win32Clock, LocalTimeCarriesItsOffsetAndConvertsBack) {
    auto clock = makeClock();
    const int64_t t = 1349447400;  // 2012-10-05 14:30:00 UTC
    LocalTime lt = clock->localTime(t);
    EXPECT_EQ(lt.tm.tm_year, 112);
    // The wall clock minus the offset is the instant.
    int64_t wall =
        ((lt.tm.tm_mday - 5) * 24 + lt.tm.tm_hour) * 3600 + lt.tm.tm_min * 60 + lt.tm.tm_sec;
    EXPECT_EQ(wall - lt.utcOffsetSeconds, 14 * 3600 + 30 * 60);
    EXPECT_FALSE(lt.zoneName.empty());
    std::tm copy = lt.tm;
    copy.tm_isdst = -1;
    EXPECT_EQ(clock->fromLocalTime(copy), t);
    EXPECT_NEAR(static_cast<double>(clock->now()), static_cast<double>(_time64(nullptr)), 2.0);
}

}  // namespace
}  // namespace tw::platform::win32
