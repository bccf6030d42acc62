// A harness for the built-in tests: a WMI session on the fixture provider
// over a JSON text, a manual clock (Tue Nov 14 22:13:20 UTC 2023), a
// loaded-looking configuration (compName "web1", RealcompName
// "web1.corp.lan") from which each test's settings are taken as the cycle
// takes them, and a recorder of every send and page in order.
#pragma once

#include <string>

#include "agent/core/builtins.h"
#include "agent/core/config.h"
#include "agent/wmi/wmi.h"
#include "test/support/fake_platform.h"
#include "test/support/report_recorder.h"

namespace tw::testing {

inline constexpr const char* kStamp = "Tue Nov 14 22:13:20 UTC 2023";

struct BuiltinHarness : ReportRecorder {
    explicit BuiltinHarness(const std::string& fixtureJson, const std::string& tests = "")
        : fp(fixtureJson), wmi(fp.p), d(delivery()) {
        wmi.open();
        cfg.host.compName = "web1";
        cfg.host.realcompName = "web1.corp.lan";
        cfg.modes.parse(tests);
    }
    // A test's context with the given settings, which must outlive it.
    template <class S>
    TestContext<S> context(const S& settings) {
        return {settings, wmi, clock, d};
    }

    FakePlatform fp;
    ManualClock& clock = fp.clock;
    WmiSession wmi;
    Config cfg;
    NetdataState netdata;
    Delivery d;
};

}  // namespace tw::testing
