// The live provider: answers ROOT\CIMV2 from this Linux host, with WMI's
// class and property names and its type mapping (uint64 and datetime as
// strings, 32-bit integers, booleans). Each class is read afresh on every
// query; a class whose source is missing on the host fails its queries or
// answers no object. The classes live in live_wmi_<group>.cpp; this file
// holds what they share and the connection that dispatches to them.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/posix/live_wmi.h"
#include "platform/wmi/fixture_wmi_provider.h"
#include "platform/wmi/stdregprov.h"

namespace tw::platform {

namespace livewmi {

std::optional<std::string> readFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string out;
    char buf[8192];
    while (true) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
        if (out.size() > (64u << 20)) break;
    }
    ::close(fd);
    return out;
}

std::string firstLine(const std::optional<std::string>& s) {
    if (!s) return {};
    std::string l = s->substr(0, s->find('\n'));
    while (!l.empty() && (l.back() == '\r' || l.back() == ' ')) l.pop_back();
    return l;
}

LiveClass liveClass(const char* name, std::initializer_list<const char*> columns, Builder build) {
    auto shape = std::make_shared<WmiClassShape>(name);
    for (const char* col : columns) shape->add(col);
    return LiveClass{std::move(shape), std::move(build), {}, {}};
}

}  // namespace livewmi

namespace {

using namespace livewmi;

std::vector<LiveClass> liveClasses() {
    return {perfProcessClass(),      processClass(),         processorClass(),
            computerSystemClass(),   operatingSystemClass(), perfMemoryClass(),
            perfSystemClass(),       logicalDiskClass(),     serviceClass(),
            ntLogEventClass(),       pageFileUsageClass(),   networkProtocolClass(),
            networkInterfaceClass(), baseBoardClass(),       batteryClass(),
            motherboardClass(),      dataFileClass(),        directoryClass()};
}

class LiveConnection final : public WmiConnection {
  public:
    LiveConnection(Clock& clock, HostInfo& host, LiveWmiRoots roots)
        : ctx_{std::move(roots), clock, host}, classes_(liveClasses()) {}

    std::unique_ptr<WmiEnumerator> query(std::string_view wql) override {
        WqlError perr;
        auto q = parseWql(wql, &perr);
        if (!q) {
            error_ =
                "invalid query at position " + std::to_string(perr.position) + ": " + perr.what;
            return nullptr;
        }
        if (isMetaClass(q->className)) {
            std::vector<std::shared_ptr<const WmiClassShape>> shapes;
            for (const auto& c : classes_) shapes.push_back(c.shape);
            return selectMetaClass(*q, shapes);
        }
        const LiveClass* cls = find(q->className);
        if (!cls) {
            error_ = "class " + q->className + " is not served on this host";
            return nullptr;
        }
        std::string err;
        auto table = cls->build(*cls, ctx_, *q, err);
        if (!table) {
            error_ = q->className + ": " + err;
            return nullptr;
        }
        return selectFromTable(*q, std::move(*table));
    }

    std::unique_ptr<WmiObject> getObject(std::string_view path) override {
        if (const LiveClass* cls = find(path)) return makeClassObject(cls->shape);
        const LiveClass* cls = find(path.substr(0, path.find('.')));
        if (!cls || !cls->object) {
            error_ = "no object " + std::string(path);
            return nullptr;
        }
        return cls->object(*cls, ctx_, path, error_);
    }

    std::unique_ptr<WmiObject> execMethod(std::string_view path, std::string_view method,
                                          const WmiObject*) override {
        const LiveClass* cls = find(path.substr(0, path.find('.')));
        if (!cls || !cls->method) {
            error_ = "no method " + std::string(method) + " on " + std::string(path);
            return nullptr;
        }
        return cls->method(*cls, ctx_, path, method, error_);
    }

    std::string lastError() const override { return error_; }

  private:
    const LiveClass* find(std::string_view name) const {
        const std::string u = toUpper(name);
        for (const auto& c : classes_)
            if (toUpper(c.shape->name()) == u) return &c;
        return nullptr;
    }

    Context ctx_;
    std::vector<LiveClass> classes_;
    std::string error_;
};

class LiveWmiProvider final : public WmiProvider {
  public:
    LiveWmiProvider(Clock& clock, SettingsStore& store, HostInfo& host, LiveWmiRoots roots)
        : clock_(clock), store_(store), host_(host), roots_(std::move(roots)) {}

    WmiConnectResult connect(const std::string& server, const std::string& ns) override {
        WmiConnectResult r;
        if (!isLocalWmiServer(server, &host_)) {
            r.error = "no WMI connection to " + server + " from this host";
            return r;
        }
        const std::string n = toUpper(ns);
        if (n == "ROOT\\CIMV2")
            r.connection = std::make_unique<LiveConnection>(clock_, host_, roots_);
        else if (n == "ROOT\\DEFAULT")
            r.connection = makeStdRegProvConnection(store_);
        else
            r.error = "namespace " + ns + " is not served";
        return r;
    }

  private:
    Clock& clock_;
    SettingsStore& store_;
    HostInfo& host_;
    LiveWmiRoots roots_;
};

}  // namespace

std::unique_ptr<WmiProvider> makeLiveWmiProvider(Clock& clock, SettingsStore& store, HostInfo& host,
                                                 LiveWmiRoots roots) {
    return std::make_unique<LiveWmiProvider>(clock, store, host, std::move(roots));
}

std::unique_ptr<WmiProvider> makeHostWmiProvider(Clock& clock, SettingsStore& store,
                                                 HostInfo& host) {
    const char* fixture = std::getenv("TWNT_WMI_FIXTURE");
    if (fixture && *fixture) return makeFixtureWmiProvider(fixture, clock, store, &host);
    return makeLiveWmiProvider(clock, store, host);
}

}  // namespace tw::platform
