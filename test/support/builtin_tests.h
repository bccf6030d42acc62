// A harness for the built-in tests: an Agent whose WMI is the fixture
// provider over a JSON text, a manual clock (Tue Nov 14 22:13:20 UTC 2023),
// a loaded-looking configuration (compName "web1", RealcompName
// "web1.corp.lan") and a delivery that records every send and page in order.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "agent/core/agent.h"
#include "agent/tests/framework.h"
#include "platform/fixture_wmi_provider.h"
#include "test/support/fake_platform.h"

namespace tw::testing {

inline constexpr const char* kStamp = "Tue Nov 14 22:13:20 UTC 2023";

struct BuiltinHarness {
    explicit BuiltinHarness(const std::string& fixtureJson, const std::string& tests = "") {
        writeFile(dir.file("wmi.json"), fixtureJson);
        provider = platform::makeFixtureWmiProvider(dir.file("wmi.json"), clock, store);
        p.settings = &store;
        p.clock = &clock;
        p.wmi = provider.get();
        agent = std::make_unique<Agent>(p);
        agent->wmi.open();
        cfg().host.compName = "web1";
        cfg().host.realcompName = "web1.corp.lan";
        cfg().modes.parse(tests);
    }
    Config& cfg() { return agent->cfg; }
    Agent& a() { return *agent; }

    // "send:<text>" and "page:<text>" in the order they happened.
    Delivery delivery() {
        return {[this](const std::string& t) { calls.push_back("send:" + t); },
                [this](const std::string& t) { calls.push_back("page:" + t); }};
    }
    // The one text that was sent (empty when none or several were).
    std::string sent() const {
        std::string s;
        int n = 0;
        for (const std::string& c : calls)
            if (c.rfind("send:", 0) == 0) s = c.substr(5), ++n;
        return n == 1 ? s : std::string();
    }

    TempDir dir;
    ManualClock clock;
    MemorySettingsStore store;
    std::unique_ptr<platform::WmiProvider> provider;
    platform::Platform p;
    std::unique_ptr<Agent> agent;
    std::vector<std::string> calls;
};

}  // namespace tw::testing
