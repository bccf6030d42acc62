#include "agent/core/drycycle.h"

#include "agent/core/agent.h"
#include "base/builtintests.h"
#include "base/events.h"
#include "agent/core/builtins.h"
#include "agent/core/cycle.h"
#include "agent/ext/auxthreads.h"
#include "agent/ext/plugin.h"
#include "agent/transport/twsend.h"
#include "agent/wmi/procinfo.h"
#include "agent/wmi/wmi.h"

namespace tw {

namespace {

// Only the entries of a failed settings load reach the event log: a dry run
// leaves no other trace (the WMI provider's notices among them).
class LoadFailureEvents final : public platform::EventLog {
  public:
    explicit LoadFailureEvents(platform::EventLog& inner) : inner_(inner) {}
    bool report(const std::string& source, platform::EventType type, uint32_t identifier,
                const std::vector<std::string>& texts) override {
        if (identifier != kEventNoDisplay && identifier != kEventHostName &&
            identifier != kEventSettingsUnreadable)
            return true;
        return inner_.report(source, type, identifier, texts);
    }

  private:
    platform::EventLog& inner_;
};

// The socket layer is started and stopped (name resolution needs it on
// Windows), but nothing is looked up, opened or connected: should a message
// ever reach the network in a dry run, it goes nowhere.
class NoTrafficSockets final : public platform::Sockets {
  public:
    explicit NoTrafficSockets(platform::Sockets& inner) : inner_(inner) {}
    bool start() override { return inner_.start(); }
    void stop() override { inner_.stop(); }
    platform::ResolveResult resolve(const std::string&, uint16_t, const platform::ResolveHints&,
                                    const platform::WaitBound&) override {
        platform::ResolveResult r;
        r.error = -1;
        return r;
    }
    std::string resolverErrorText(int) override { return "nothing is sent by twnt -test"; }
    platform::SocketHandle open(platform::AddressFamily, int& error) override {
        error = -1;
        return platform::kInvalidSocket;
    }
    int connect(platform::SocketHandle, const platform::SocketAddress&,
                const platform::WaitBound&) override {
        return -1;
    }
    long send(platform::SocketHandle, std::string_view, const platform::WaitBound&,
              int& error) override {
        error = -1;
        return -1;
    }
    bool isTimeout(int) override { return false; }
    void shutdown(platform::SocketHandle) override {}
    void close(platform::SocketHandle) override {}
    // Nor does it listen.
    platform::SocketHandle listen(const platform::SocketAddress&, uint16_t, int& error) override {
        error = -1;
        return platform::kInvalidSocket;
    }
    uint16_t boundPort(platform::SocketHandle) override { return 0; }
    platform::SocketHandle accept(platform::SocketHandle, platform::SocketAddress&,
                                  int& error) override {
        error = -1;
        return platform::kInvalidSocket;
    }
    int waitReadable(const std::vector<platform::SocketHandle>&, int, std::vector<bool>&,
                     int& error) override {
        error = -1;
        return -1;
    }
    long receive(platform::SocketHandle, char*, size_t, int& error) override {
        error = -1;
        return -1;
    }
    platform::SocketError classify(int) override { return platform::SocketError::Other; }
    std::string errorText(int) override { return "nothing is sent by twnt -test"; }

  private:
    platform::Sockets& inner_;
};

// The directory as it is, never changed: the deletions the plugin reader
// asks for are noted against the work file read last.
class ReadOnlyDirectory final : public platform::Directory {
  public:
    explicit ReadOnlyDirectory(platform::Directory& inner) : inner_(inner) {}

    std::optional<std::vector<platform::DirEntry>> list(const std::string& path) override {
        auto entries = inner_.list(path);
        if (run && entries) run->externalpathReadable = true;
        return entries;
    }
    platform::PathKind kind(const std::string& path) override { return inner_.kind(path); }
    platform::FileRead readFile(const std::string& path, size_t maxBytes) override {
        platform::FileRead r = inner_.readFile(path, maxBytes);
        if (run && r.status == platform::FileRead::Status::Ok) run->workfiles.push_back({path});
        return r;
    }
    bool removeFile(const std::string& path) override {
        if (run && !run->workfiles.empty() && run->workfiles.back().path == path)
            run->workfiles.back().deleted = true;
        return true;
    }

    DryRun* run = nullptr;  // set: work files read and deletions are noted here

  private:
    platform::Directory& inner_;
};

// No other thread runs in a dry run: the cycle mutex guards nothing.
class NoMutex final : public platform::CycleMutex {
  public:
    void lock() override {}
    void unlock() override {}
};

// The test word of a message: what follows the last '.' of its second word.
std::string testword(const std::string& text) {
    size_t b = text.find_first_of(" \t");
    if (b == std::string::npos) return {};
    b = text.find_first_not_of(" \t", b);
    if (b == std::string::npos) return {};
    size_t e = text.find_first_of(" \t\r\n", b);
    std::string host = text.substr(b, e == std::string::npos ? std::string::npos : e - b);
    size_t dot = host.rfind('.');
    return dot == std::string::npos ? std::string() : host.substr(dot + 1);
}

// The svcs test's actions, noted instead of carried out; a stop followed
// by a start of the same service is its restart.
class ServiceNotes {
  public:
    int operator()(std::string_view action, std::string_view name) {
        const std::string service(name);
        if (action == "Start" && last_ == "Stop " + service) {
            notes.back() = "would restart the service " + service + " (not done)";
        } else {
            notes.push_back("would " + std::string(action == "Start" ? "start" : "stop") +
                            " the service " + service + " (not done)");
        }
        last_ = std::string(action) + " " + service;
        return 0;
    }
    std::vector<std::string> notes;

  private:
    std::string last_;
};

void fail(DryRun& run, std::string why) {
    run.loaded = false;
    run.failure = std::move(why);
}

}  // namespace

DryRun drycycle(platform::Platform& host) {
    DryRun run;
    LoadFailureEvents events(host.events);
    NoTrafficSockets sockets(host.sockets);
    ReadOnlyDirectory directory(host.directory);
    // The dry run runs no command, no service and no external program, and
    // writes no file of the editor: the service manager, the dispatcher, the
    // launcher and the file writer are the host's, and stay unused.
    platform::Platform p{.settings = host.settings,
                         .events = events,
                         .host = host.host,
                         .clock = host.clock,
                         .system = host.system,
                         .dispatcher = host.dispatcher,
                         .services = host.services,
                         .sockets = sockets,
                         .wmi = host.wmi,
                         .launcher = host.launcher,
                         .directory = directory,
                         .files = host.files,
                         .crypto = host.crypto};

    if (!sockets.start()) {
        fail(run, "WSAStartup() failed");
        return run;
    }
    Agent a(p);
    a.serviceMode = false;
    wmiinit(a.wmi);
    struct Close {
        Agent& a;
        NoTrafficSockets& sockets;
        ~Close() {
            wmiclose(a.wmi);
            sockets.stop();
        }
    } close{a, sockets};

    std::string externals;
    const SettingsLoad load =
        loadsettings(a, [&externals](const std::string& text) { externals = text; });
    std::string why;
    if (load.step != SettingsStep::Loaded) {
        fail(run, load.why.empty() ? std::string("Stopped") : load.why);
    } else if (a.cfg.keycodeUnusable) {
        fail(run,
             "The KeyCode is longer than 255 characters and cannot be used: no message is "
             "sent, none goes out in clear");
    } else if (!computernameok(a, &why)) {
        fail(run, why);
    } else {
        run.loaded = true;
    }
    if (!run.loaded) return run;

    ServiceNotes services;
    bool secondSample = false;
    a.dryservices = [&services](std::string_view action, std::string_view name) {
        return services(action, name);
    };
    a.drysink = [&](const std::vector<std::string>& where, const std::string& text) {
        DryMessage m;
        m.kind = text.rfind("page", 0) == 0 ? "page" : "status";
        m.destinations = where;
        m.text = text;
        const std::string test = testword(text);
        if (secondSample && (test == kCpuTest.word || test == kNetdataTest.word))
            m.notes.push_back(kSecondSampleNote);
        if (test == kSvcsTest.word)
            m.notes.insert(m.notes.end(), services.notes.begin(), services.notes.end());
        if (!a.cfg.keycode.empty()) m.notes.push_back("sent encrypted with the KeyCode");
        run.messages.push_back(std::move(m));
    };

    a.numcpu = wminumcpu(a.wmi).value_or(0);
    // The tests that compare two samples get their first one now, as from
    // an earlier cycle, and their second a second later.
    if (firstsamples(a)) secondSample = a.p.clock.sleepSeconds(1);
    if (!a.stopping()) runtests(a, a.p.clock.now());
    if (a.stopping()) {
        // Told to stop (SIGINT, SIGTERM): what was gathered is not the whole cycle.
        fail(run, "Stopped before the cycle was done");
        return run;
    }

    // What the agent's auxiliary threads would do, listed only.
    NoMutex mutex;
    const ExtContext x{.threads = a.aux,
                       .mutex = mutex,
                       .clock = a.p.clock,
                       .system = a.p.system,
                       .directory = a.p.directory,
                       .launcher = a.p.launcher,
                       .settings = a.settings,
                       .view = {}};
    for (const std::string& entry : externalentries(externalsbuffer(externals)))
        run.externals.push_back({entry, prepareexternal(x, entry)});
    run.externalpath = a.cfg.externalpathAsWritten;
    if (!run.externalpath.empty()) {
        StatusChannel ch = statuschannel(a);
        ch.dry = [&run](const std::vector<std::string>&, const std::string& text) {
            if (text.rfind("page", 0) != 0 && !run.workfiles.empty())
                ++run.workfiles.back().messages;
        };
        directory.run = &run;
        pluginscan(x, pluginview(a.cfg, ch));
        directory.run = nullptr;
    }
    return run;
}

int drystatus(const DryRun& run) {
    if (!run.loaded) return 1;
    for (const DryMessage& m : run.messages) {
        const std::string colour = messagecolour(m.text);
        if (colour == "yellow" || colour == "red") return 2;
    }
    return 0;
}

}  // namespace tw
