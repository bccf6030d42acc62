#include "platform/bridge/remote_wmi_provider.h"

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <mutex>

#include "platform/bridge/bridge_channel.h"
#include "platform/bridge/wmi_bridge.h"
#include "platform/posix/posix_launcher.h"

namespace tw::platform {

namespace {

using bridge::Answer;
using bridge::Channel;
using bridge::duration;
using bridge::excerpt;

// Waits for the one answer of a request within the request limit.
std::optional<Answer> awaitAnswer(Channel& ch, int64_t id, const std::string& what,
                                  std::string* error) {
    std::string line;
    const int limit = ch.limits().requestMs;
    switch (ch.await(id, nowMs() + limit, line)) {
        case Channel::Wait::Line:
            break;
        case Channel::Wait::Timeout:
            ch.fail("no answer within " + duration(limit) + " to " + what);
            *error = ch.error();
            return std::nullopt;
        case Channel::Wait::Broken:
            *error = ch.error();
            return std::nullopt;
    }
    std::string why;
    auto a = ch.reader.read(line, &why);
    if (!a) {
        ch.fail("the answer to " + what + " is not the bridge protocol (" + why + "): \"" +
                excerpt(line) + "\"");
        *error = ch.error();
        return std::nullopt;
    }
    if (!a->ok) *error = a->error.empty() ? "the remote provider refused " + what : a->error;
    return a;
}

class RemoteEnumerator final : public WmiEnumerator {
  public:
    RemoteEnumerator(std::shared_ptr<Channel> ch, int64_t id, std::string wql)
        : ch_(std::move(ch)), id_(id), wql_(std::move(wql)) {
        ch_->openStream(id_);
    }

    ~RemoteEnumerator() override {
        std::lock_guard<std::recursive_mutex> g(ch_->mu);
        if (!done_ && !failed_) ch_->dropStream(id_);
    }

    // The first batch, or the query's refusal; false when the query fails
    // (lastError() says why). Called with the channel's lock held.
    bool first() { return pull(-1) != WmiNext::Failed; }

    WmiNext next(int timeoutMs, std::unique_ptr<WmiObject>& out) override {
        std::lock_guard<std::recursive_mutex> g(ch_->mu);
        while (pending_.empty()) {
            if (failed_) return WmiNext::Failed;
            if (done_) return WmiNext::End;
            WmiNext r = pull(timeoutMs);
            if (r != WmiNext::Object) return r;
        }
        out = std::move(pending_.front());
        pending_.pop_front();
        return WmiNext::Object;
    }

    std::string lastError() const override { return error_; }

  private:
    // Takes the next batch: Object when one arrived (possibly empty).
    WmiNext pull(int timeoutMs) {
        const int limit = ch_->limits().requestMs;
        if (!limitDeadline_) limitDeadline_ = nowMs() + limit;
        int64_t deadline = limitDeadline_;
        if (timeoutMs >= 0) deadline = std::min(deadline, nowMs() + timeoutMs);
        std::string line;
        switch (ch_->await(id_, deadline, line)) {
            case Channel::Wait::Line:
                break;
            case Channel::Wait::Timeout:
                if (nowMs() < limitDeadline_) return WmiNext::Timeout;
                ch_->fail("no objects within " + duration(limit) + " for " + wql_);
                return failWith(ch_->error());
            case Channel::Wait::Broken:
                return failWith(ch_->error());
        }
        limitDeadline_ = 0;
        std::string why;
        auto a = ch_->reader.read(line, &why);
        if (!a) {
            ch_->fail("an answer to " + wql_ + " is not the bridge protocol (" + why + "): \"" +
                      excerpt(line) + "\"");
            return failWith(ch_->error());
        }
        if (!a->ok) {
            ch_->finishStream(id_);
            return failWith(a->error.empty() ? "the query failed" : a->error);
        }
        for (auto& o : a->objects) pending_.push_back(std::move(o));
        if (!a->more) {
            done_ = true;
            ch_->finishStream(id_);
        }
        return WmiNext::Object;
    }

    WmiNext failWith(std::string why) {
        failed_ = true;
        error_ = std::move(why);
        return WmiNext::Failed;
    }

    std::shared_ptr<Channel> ch_;
    int64_t id_;
    std::string wql_;
    std::deque<std::unique_ptr<WmiObject>> pending_;
    bool done_ = false, failed_ = false;
    std::string error_;
    int64_t limitDeadline_ = 0;
};

std::string field(const char* name, std::string_view text) {
    std::string out = ",\"";
    out += name;
    out += "\":";
    bridge::appendText(out, text);
    return out;
}

class RemoteConnection final : public WmiConnection {
  public:
    explicit RemoteConnection(std::shared_ptr<Channel> ch) : ch_(std::move(ch)) {}
    ~RemoteConnection() override {
        std::lock_guard<std::recursive_mutex> g(ch_->mu);
        ch_->close();
    }

    std::unique_ptr<WmiEnumerator> query(std::string_view wql) override {
        std::lock_guard<std::recursive_mutex> g(ch_->mu);
        int64_t id = ch_->send(",\"op\":\"query\"" + field("wql", wql), &error_);
        if (!id) return failed();
        auto e = std::make_unique<RemoteEnumerator>(ch_, id, std::string(wql));
        if (!e->first()) {
            error_ = e->lastError();
            return nullptr;
        }
        return e;
    }

    std::unique_ptr<WmiObject> getObject(std::string_view path) override {
        return single(",\"op\":\"getObject\"" + field("path", path), "object " + std::string(path));
    }

    std::unique_ptr<WmiObject> execMethod(std::string_view path, std::string_view method,
                                          const WmiObject* in) override {
        std::string req = ",\"op\":\"execMethod\"" + field("path", path) + field("method", method);
        req += ",\"in\":";
        if (in)
            bridge::appendObject(req, *in);
        else
            req += "null";
        return single(req, std::string(method) + " on " + std::string(path));
    }

    std::string lastError() const override { return error_; }

  private:
    std::nullptr_t failed() {
        if (ch_->broken()) error_ = ch_->error();
        return nullptr;
    }

    std::unique_ptr<WmiObject> single(const std::string& request, const std::string& what) {
        std::lock_guard<std::recursive_mutex> g(ch_->mu);
        int64_t id = ch_->send(request, &error_);
        if (!id) return failed();
        auto a = awaitAnswer(*ch_, id, what, &error_);
        if (!a || !a->ok) return nullptr;
        if (a->objects.size() != 1) {
            ch_->fail("the answer to " + what + " carries no object");
            return failed();
        }
        return std::move(a->objects[0]);
    }

    std::shared_ptr<Channel> ch_;
    std::string error_;
};

class RemoteWmiProvider final : public WmiProvider {
  public:
    RemoteWmiProvider(std::string templ, RemoteWmiLimits limits)
        : template_(std::move(templ)), limits_(limits) {}

    WmiConnectResult connect(const std::string& server, const std::string& ns) override {
        WmiConnectResult r;
        std::string templ = template_;
        if (templ.empty()) {
            const char* env = std::getenv("TWNT_REMOTE_COMMAND");
            templ = env && *env ? env : kDefaultRemoteCommand;
        }
        std::string why;
        auto words = remoteCommandWords(templ, server, &why);
        if (!words) {
            r.error = "remote WMI on " + server + ": " + why;
            return r;
        }
        const std::string host = server.substr(server.find_first_not_of('\\'));
        auto ch = std::make_shared<Channel>(host, limits_);
        std::lock_guard<std::recursive_mutex> g(ch->mu);
        if (!ch->start(*words)) {
            r.error = ch->error();
            return r;
        }
        // Both requests go at once; the hello must come within its limit.
        const int64_t hello = ch->send(
            ",\"op\":\"hello\",\"protocol\":" + std::to_string(bridge::kProtocol), &r.error);
        const int64_t conn =
            hello ? ch->send(",\"op\":\"connect\"" + field("namespace", ns), &r.error) : 0;
        if (!conn) {
            if (r.error.empty()) r.error = ch->error();
            return r;
        }
        std::string line;
        switch (ch->await(hello, nowMs() + limits_.helloMs, line)) {
            case Channel::Wait::Line:
                break;
            case Channel::Wait::Timeout:
                ch->fail("no hello from the bridge command within " + duration(limits_.helloMs));
                [[fallthrough]];
            case Channel::Wait::Broken:
                r.error = ch->error();
                return r;
        }
        auto a = ch->reader.read(line, &why);
        if (!a || !a->ok) {
            ch->fail("the bridge command's hello is not the bridge protocol: \"" + excerpt(line) +
                     "\"");
            r.error = ch->error();
            return r;
        }
        if (a->protocol != bridge::kProtocol) {
            ch->fail("twwmi there speaks bridge protocol " + std::to_string(a->protocol) +
                     ", this program " + std::to_string(bridge::kProtocol));
            r.error = ch->error();
            return r;
        }
        auto c = awaitAnswer(*ch, conn, "the connection to " + ns, &r.error);
        if (!c || !c->ok) return r;
        r.error.clear();
        r.connection = std::make_unique<RemoteConnection>(std::move(ch));
        return r;
    }

  private:
    std::string template_;
    RemoteWmiLimits limits_;
};

class MachineWmiProvider final : public WmiProvider {
  public:
    MachineWmiProvider(std::unique_ptr<WmiProvider> local, std::unique_ptr<WmiProvider> remote,
                       HostInfo& host)
        : local_(std::move(local)), remote_(std::move(remote)), host_(host) {}

    WmiConnectResult connect(const std::string& server, const std::string& ns) override {
        // "\\NAME", as the editor writes this machine's name, is this
        // machine too.
        const size_t name = server.find_first_not_of('\\');
        const std::string bare = name == std::string::npos ? "" : server.substr(name);
        if (isLocalWmiServer(bare, &host_)) return local_->connect(bare, ns);
        return remote_->connect(server, ns);
    }

  private:
    std::unique_ptr<WmiProvider> local_, remote_;
    HostInfo& host_;
};

}  // namespace

std::optional<std::vector<std::string>> remoteCommandWords(std::string_view commandTemplate,
                                                           std::string_view server,
                                                           std::string* error) {
    const size_t start = server.find_first_not_of('\\');
    const std::string_view host =
        start == std::string_view::npos ? std::string_view() : server.substr(start);
    if (host.empty()) {
        *error = "no machine name";
        return std::nullopt;
    }
    if (host.front() == '-') {
        *error = "a machine name may not begin with '-'";
        return std::nullopt;
    }
    for (char c : host)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            *error = "the machine name holds a control character";
            return std::nullopt;
        }
    auto words = splitArguments(commandTemplate);
    if (!words || words->empty()) {
        *error = "the remote command \"" + std::string(commandTemplate) + "\" cannot be used" +
                 (words ? " (it is empty)" : " (a quote is left open)");
        return std::nullopt;
    }
    constexpr std::string_view placeholder = "{host}";
    for (auto& w : *words) {
        for (size_t at = w.find(placeholder); at != std::string::npos;
             at = w.find(placeholder, at + host.size()))
            w.replace(at, placeholder.size(), host);
    }
    return words;
}

std::unique_ptr<WmiProvider> makeRemoteWmiProvider(std::string commandTemplate,
                                                   RemoteWmiLimits limits) {
    return std::make_unique<RemoteWmiProvider>(std::move(commandTemplate), limits);
}

std::unique_ptr<WmiProvider> makeMachineWmiProvider(std::unique_ptr<WmiProvider> local,
                                                    std::unique_ptr<WmiProvider> remote,
                                                    HostInfo& host) {
    return std::make_unique<MachineWmiProvider>(std::move(local), std::move(remote), host);
}

}  // namespace tw::platform
