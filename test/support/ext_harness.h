// What the external-program and plugin tests work with: the threads' context
// on the platform of fakes (settings in memory, a manual clock, fake sockets
// that record what was sent, an in-memory work-file directory, a recording
// launcher; any of them replaced by the test's own), and the
// cycle mutex created and released (as while the cycle sleeps). The plugin's
// view of the configuration is taken from cfg (host WEB1, TWDISPLAY
// 127.0.0.1, the directory's root as ExternalPath) as the cycle takes it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "agent/core/config.h"
#include "agent/ext/auxthreads.h"
#include "base/settings.h"
#include "platform/crypto_library.h"
#include "test/support/fake_platform.h"

namespace tw::testing {

struct ExtHarness {
    explicit ExtHarness(const Replacements& r = {})
        : fp(r),
          mutex(fp.system.createCycleMutex("TWNTMutex")),
          x{.threads = threads,
            .mutex = *mutex,
            .clock = fp.p.clock,
            .system = fp.p.system,
            .directory = fp.p.directory,
            .launcher = fp.p.launcher,
            .settings = settings,
            .view = [this] { return view(); }} {
        mutex->unlock();
        clock.set(kFixedNow);
        cfg.host.compName = "WEB1";
        cfg.twdisplay = "127.0.0.1";
        cfg.externalpathAsWritten = dir.root();
        cfg.externalpath = "/SPOOL/WORK";
        sockets.addHost("127.0.0.1", {"127.0.0.1"});
    }
    PluginView view() {
        StatusChannel ch = statuschannel(cfg, &sockets, &x.clock);
        ch.crypto = &platform::cryptoLibrary;
        return pluginview(cfg, std::move(ch));
    }

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

    FakePlatform fp;
    MemorySettingsStore& store = fp.settings;
    Settings settings{store};
    ManualClock& clock = fp.clock;
    FakeSystem& system = fp.system;
    FakeSockets& sockets = fp.sockets;
    FakeDirectory& dir = fp.directory;
    FakeLauncher& launcher = fp.launcher;
    Config cfg;
    std::unique_ptr<platform::CycleMutex> mutex;
    AuxThreads threads;  // after the mutex: its threads end before the mutex goes
    ExtContext x;
};

}  // namespace tw::testing
