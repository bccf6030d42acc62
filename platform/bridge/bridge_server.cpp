#include "platform/bridge/bridge_server.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/posix/monotonic.h"
#include "platform/wmi/json_depth.h"

namespace tw::platform::bridge {

namespace {

using platform::nowMs;
using platform::WmiNext;
using platform::WmiObject;

class Server {
  public:
    Server(int in, int out, platform::WmiProvider& provider, std::string machine,
           const ServeLimits& limits)
        : in_(in), out_(out), provider_(provider), machine_(std::move(machine)), limits_(limits) {}

    int run() {
        std::string line;
        bool tooLong = false;
        std::string chunk(64 * 1024, '\0');
        while (!writeFailed_) {
            ssize_t n = ::read(in_, chunk.data(), chunk.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                // A last request without its line end still counts.
                if (!tooLong && !line.empty()) handle(line);
                return writeFailed_ ? 1 : 0;
            }
            size_t pos = 0;
            const size_t got = static_cast<size_t>(n);
            while (pos < got) {
                const void* nl = std::memchr(chunk.data() + pos, '\n', got - pos);
                const size_t end =
                    nl ? static_cast<size_t>(static_cast<const char*>(nl) - chunk.data()) : got;
                if (!tooLong) {
                    line.append(chunk, pos, end - pos);
                    if (line.size() > limits_.maxLine + 1) {
                        tooLong = true;
                        std::string().swap(line);
                    }
                }
                if (!nl) break;
                if (tooLong) {
                    fail("null", "the request line is longer than " +
                                     std::to_string(limits_.maxLine) + " bytes");
                    tooLong = false;
                } else {
                    handle(line);
                }
                line.clear();
                pos = end + 1;
            }
        }
        return 1;
    }

  private:
    void handle(std::string& line) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > limits_.maxLine) {
            fail("null",
                 "the request line is longer than " + std::to_string(limits_.maxLine) + " bytes");
            return;
        }
        if (line.find_first_not_of(" \t") == std::string::npos) return;
        if (platform::nestedTooDeep(line)) {
            fail("null", "malformed request: nested deeper than " +
                             std::to_string(platform::kMaxJsonDepth) + " levels");
            return;
        }
        Json req;
        try {
            req = Json::parse(line);
        } catch (const std::exception& e) {
            fail("null", std::string("malformed request: ") + e.what());
            return;
        }
        if (!req.is_object()) {
            fail("null", "malformed request: not a JSON object");
            return;
        }
        std::string id = "null";
        if (auto it = req.find("id"); it != req.end())
            id = it->dump(-1, ' ', false, Json::error_handler_t::replace);
        auto op = req.find("op");
        if (op == req.end() || !op->is_string()) {
            fail(id, "the request names no operation (\"op\")");
            return;
        }
        const std::string name = op->get<std::string>();
        if (name == "hello")
            hello(id);
        else if (name == "connect")
            connect(id, req);
        else if (name == "query")
            query(id, req);
        else if (name == "getObject")
            getObject(id, req);
        else if (name == "execMethod")
            execMethod(id, req);
        else
            fail(id, "unknown operation \"" + name + "\"");
    }

    // A text field of the request; nullopt (after an error answer) when
    // it is missing or not a text.
    std::optional<std::string> text(const std::string& id, const Json& req, const char* field) {
        auto it = req.find(field);
        if (it != req.end())
            if (auto t = bridge::textOf(*it)) return t;
        fail(id, std::string("the request needs a text \"") + field + "\"");
        return std::nullopt;
    }

    bool connected(const std::string& id) {
        if (conn_) return true;
        fail(id, "not connected to a namespace (send connect first)");
        return false;
    }

    void hello(const std::string& id) {
        std::string a = head(id, true);
        a += "\"protocol\":" + std::to_string(bridge::kProtocol) + ",\"program\":\"twwmi\"";
        a += ",\"machine\":";
        bridge::appendString(a, machine_);
        send(a += "}\n");
    }

    void connect(const std::string& id, const Json& req) {
        auto ns = text(id, req, "namespace");
        if (!ns) return;
        // A failed connect leaves none: later calls must not quietly go to
        // the namespace of before.
        conn_.reset();
        auto r = provider_.connect("", *ns);
        if (!r.connection) {
            fail(id, r.error.empty() ? "cannot connect to " + *ns : r.error);
            return;
        }
        conn_ = std::move(r.connection);
        std::string a = head(id, true);
        a += "\"namespace\":";
        bridge::appendText(a, *ns);
        send(a += "}\n");
    }

    void query(const std::string& id, const Json& req) {
        auto wql = text(id, req, "wql");
        if (!wql || !connected(id)) return;
        auto e = conn_->query(*wql);
        if (!e) {
            fail(id, orReason(conn_->lastError(), "the query cannot run"));
            return;
        }
        bridge::BatchWriter batch;
        int64_t since = 0;
        auto flush = [&](bool more) {
            line_.clear();  // keeps its capacity for the next batch
            line_ += head(id, true);
            line_ += more ? "\"more\":true," : "\"more\":false,";
            batch.take(line_);
            send(line_ += "}\n");
        };
        const size_t room = limits_.maxLine - 64 - id.size();
        while (!writeFailed_) {
            std::unique_ptr<WmiObject> o;
            switch (e->next(1000, o)) {
                case WmiNext::Object:
                    if (!batch.add(*o, room)) {
                        if (batch.count()) flush(true);
                        if (!batch.add(*o, room)) {
                            fail(id, "an object of the answer is longer than the bridge allows (" +
                                         std::to_string(limits_.maxLine) + " bytes)");
                            return;
                        }
                    }
                    if (batch.count() == 1) since = nowMs();
                    if (batch.count() >= limits_.batchObjects ||
                        batch.bytes() >= limits_.batchBytes || nowMs() - since >= limits_.batchMs)
                        flush(true);
                    break;
                case WmiNext::Timeout:
                    if (batch.count()) flush(true);
                    break;
                case WmiNext::End:
                    flush(false);
                    return;
                case WmiNext::Failed:
                    if (batch.count()) flush(true);
                    fail(id, orReason(e->lastError(), "the enumeration failed"));
                    return;
            }
        }
    }

    void getObject(const std::string& id, const Json& req) {
        auto path = text(id, req, "path");
        if (!path || !connected(id)) return;
        auto o = conn_->getObject(*path);
        if (!o) {
            fail(id, orReason(conn_->lastError(), "no object " + *path));
            return;
        }
        sendObject(id, "object", *o);
    }

    void execMethod(const std::string& id, const Json& req) {
        auto path = text(id, req, "path");
        if (!path) return;
        auto method = text(id, req, "method");
        if (!method || !connected(id)) return;
        std::unique_ptr<platform::WmiPropertyBag> in;
        if (auto it = req.find("in"); it != req.end() && !it->is_null()) {
            std::string why;
            in = bridge::bagOf(*it, &why);
            if (!in) {
                fail(id, "the input parameters cannot be used: " + why);
                return;
            }
        }
        auto out = conn_->execMethod(*path, *method, in.get());
        if (!out) {
            fail(id, orReason(conn_->lastError(), *method + " on " + *path + " failed"));
            return;
        }
        sendObject(id, "out", *out);
    }

    void sendObject(const std::string& id, const char* field, const WmiObject& o) {
        std::string a = head(id, true);
        a += '"';
        a += field;
        a += "\":";
        bridge::appendObject(a, o);
        if (a.size() + 2 > limits_.maxLine) {
            fail(id, "the answer is longer than the bridge allows (" +
                         std::to_string(limits_.maxLine) + " bytes)");
            return;
        }
        send(a += "}\n");
    }

    static std::string orReason(const std::string& reason, const std::string& otherwise) {
        return reason.empty() ? otherwise : reason;
    }

    static std::string head(const std::string& id, bool ok) {
        return "{\"id\":" + id + (ok ? ",\"ok\":true," : ",\"ok\":false,");
    }

    void fail(const std::string& id, const std::string& why) {
        std::string a = head(id, false);
        a += "\"error\":";
        bridge::appendString(a, why);
        send(a += "}\n");
    }

    void send(const std::string& answer) {
        size_t done = 0;
        while (!writeFailed_ && done < answer.size()) {
            ssize_t n = ::write(out_, answer.data() + done, answer.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                writeFailed_ = true;
                break;
            }
            done += static_cast<size_t>(n);
        }
    }

    int in_, out_;
    platform::WmiProvider& provider_;
    std::string machine_;
    ServeLimits limits_;
    std::unique_ptr<platform::WmiConnection> conn_;
    std::string line_;  // a batch's answer line, kept for its capacity
    bool writeFailed_ = false;
};

}  // namespace

int serveBridge(int in, int out, platform::WmiProvider& provider, const std::string& machine,
                const ServeLimits& limits) {
    return Server(in, out, provider, machine, limits).run();
}

}  // namespace tw::platform::bridge
