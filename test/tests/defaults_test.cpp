#include "agent/tests/defaults.h"

#include <gtest/gtest.h>

#include "test/support/log_capture.h"

namespace tw {
namespace {

using testing::LogCapture;

struct Pairs {
    int cy, cr, dy, dr, py, pr;
};

Pairs pairsOf(const std::string& text) {
    Thresholds t = parsedefaults(text);
    return {t.cpuYellow, t.cpuRed, t.diskYellow, t.diskRed, t.pagefileYellow, t.pagefileRed};
}

void expectPairs(const std::string& text, Pairs want) {
    Pairs got = pairsOf(text);
    EXPECT_EQ(got.cy, want.cy) << text;
    EXPECT_EQ(got.cr, want.cr) << text;
    EXPECT_EQ(got.dy, want.dy) << text;
    EXPECT_EQ(got.dr, want.dr) << text;
    EXPECT_EQ(got.py, want.py) << text;
    EXPECT_EQ(got.pr, want.pr) << text;
}

TEST(Defaults, ProgramDefaultsAndTheInstallText) {
    expectPairs("", {80, 95, 90, 95, 85, 95});
    expectPairs("CPU:80:95 DISK:90:95 PAGEFILE:80:90", {80, 95, 90, 95, 80, 90});
}

TEST(Defaults, ZeroIsTakenForCpuOnlyAndLowerCaseIsAccepted) {
    expectPairs("CPU:0:0", {0, 0, 90, 95, 85, 95});
    expectPairs("DISK:0:0", {80, 95, 90, 95, 85, 95});
    expectPairs("cpu:70:90 pagefile:60:70", {70, 90, 90, 95, 60, 70});
}

TEST(Defaults, SecondColonIsSearchedBeyondTheItem) {
    // CPU has no red figure of its own: the next colon is DISK's.
    expectPairs("CPU:70 DISK:90:95", {70, 90, 90, 95, 85, 95});
}

TEST(Defaults, MalformedFiguresKeepOrZeroAsTheRulesSay) {
    // An unreadable CPU figure reads as 0, which CPU accepts; a negative one
    // is refused. For DISK neither is above 0, so its defaults stay.
    expectPairs("CPU:abc:-5 DISK:x:-1", {0, 95, 90, 95, 85, 95});
    expectPairs("PAGEFILE", {80, 95, 90, 95, 85, 95});
    expectPairs("DISK:", {80, 95, 90, 95, 85, 95});
}

TEST(Defaults, LogLines) {
    LogCapture log;
    parsedefaults("cpu:70:90");
    EXPECT_EQ(log.text(),
              "\r\nSet CPU/DISK defaults values with <cpu:70:90>\r\n"
              "Program default CPU values -  yellow: <80> red: <95>\r\n"
              "Program default DISK values -  yellow: <90> red: <95>\r\n"
              "Program default PAGEFILE values -  yellow: <85> red: <95>\r\n"
              "Setting CPU values -  yellow: <70> red: <90>\r\n"
              "Setting DISK values -  yellow: <90> red: <95>\r\n"
              "Setting PAGEFILE values -  yellow: <85> red: <95>\r\n");
}

}  // namespace
}  // namespace tw
