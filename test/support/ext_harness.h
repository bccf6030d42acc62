// An Agent for the external-program and plugin tests: settings in memory,
// a fixed host WEB1, fake sockets that record what was sent, an in-memory
// work-file directory, a recording launcher, and the cycle mutex created
// and released (as while the cycle sleeps).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "agent/core/agent.h"
#include "test/support/fake_directory.h"
#include "test/support/fake_launcher.h"
#include "test/support/fake_platform.h"
#include "test/support/fake_sockets.h"

namespace tw::testing {

struct ExtHarness {
    explicit ExtHarness(platform::Clock* clockOverride = nullptr) {
        p.settings = &settings;
        p.host = &host;
        p.clock = clockOverride ? clockOverride : &clock;
        p.system = &system;
        p.sockets = &sockets;
        p.directory = &dir;
        p.launcher = &launcher;
        agent = std::make_unique<Agent>(p);
        agent->cfg.host.compName = "WEB1";
        agent->cfg.twdisplay = "127.0.0.1";
        agent->cfg.externalpathAsWritten = dir.root();
        agent->cfg.externalpath = "/SPOOL/WORK";
        sockets.addHost("127.0.0.1", {"127.0.0.1"});
        agent->cycleMutex = system.createCycleMutex("TWNTMutex");
        agent->cycleMutex->unlock();
    }
    Agent& a() { return *agent; }

    // The texts that arrived, in order, without their zero byte.
    std::vector<std::string> sent() const {
        std::vector<std::string> out;
        for (const auto& d : sockets.deliveries) {
            std::string b = d.bytes;
            if (!b.empty() && b.back() == '\0') b.pop_back();
            out.push_back(b);
        }
        return out;
    }

    MemorySettingsStore settings;
    FakeHostInfo host;
    FixedClock clock;
    FakeSystem system;
    FakeSockets sockets;
    FakeDirectory dir;
    FakeLauncher launcher;
    platform::Platform p;
    std::unique_ptr<Agent> agent;
};

}  // namespace tw::testing
