#include "agent/wmi/wmi.h"

#include "base/events.h"
#include "base/twlog.h"
#include "platform/ascii.h"

namespace tw {

namespace {

// The query text's limit: what a 4096-character wide buffer holds.
constexpr size_t kMaxQuery = 4095;
// The property name must end in a blank within this many characters.
constexpr size_t kMaxProperty = 1023;
// Object path limit of the service methods ("Win32_Service.Name='...'").
constexpr size_t kMaxPath = 99;
constexpr size_t kMaxAction = 99;

void setResult(std::string& result, std::string text, size_t capacity) {
    if (capacity == 0) {
        result.clear();
        return;
    }
    if (text.size() > capacity - 1) text.resize(capacity - 1);
    result = std::move(text);
}

}  // namespace

bool WmiSession::open() {
    if (conn_) return true;
    platform::WmiConnectResult r = p_.wmi.connect("", platform::kCimv2);
    // The provider choice is made before the connection is tried, and is
    // told whether or not the connection then succeeds.
    for (const auto& notice : r.notices)
        logevent(p_.events, platform::EventType::Information, notice, 1);
    if (!r.connection) {
        twlog("WMI session cannot be opened: %s\r\n", r.error.c_str());
        return false;
    }
    conn_ = std::move(r.connection);
    return true;
}

void WmiSession::close() {
    conn_.reset();
}

std::unique_ptr<platform::WmiEnumerator> WmiSession::execquery(std::string_view wql) {
    if (!conn_) return nullptr;
    auto e = conn_->query(wql);
    if (!e) twlog("WMI query failed: %s\r\n", conn_->lastError().c_str());
    return e;
}

std::unique_ptr<platform::WmiObject> WmiSession::getobject(std::string_view path) {
    if (!conn_) return nullptr;
    return conn_->getObject(path);
}

std::unique_ptr<platform::WmiObject> WmiSession::execmethod(std::string_view path,
                                                            std::string_view method,
                                                            const platform::WmiObject* in) {
    if (!conn_) return nullptr;
    return conn_->execMethod(path, method, in);
}

bool wmiinit(WmiSession& session) {
    return session.open();
}

void wmiclose(WmiSession& session) {
    session.close();
}

bool wmiquery(WmiSession& session, std::string_view query, std::string& result, size_t capacity) {
    using platform::WmiNext;
    using platform::WmiType;
    // The property: after the first seven characters ("select "), past
    // further blanks, up to the next blank.
    size_t i = 7;
    while (i < query.size() && query[i] == ' ') ++i;
    const size_t start = i;
    const size_t blank = query.size() > 7 ? query.find(' ', start) : std::string_view::npos;
    if (query.size() <= 7 || blank == std::string_view::npos || blank - start > kMaxProperty ||
        query.size() > kMaxQuery) {
        setResult(result, "format error", capacity);
        return false;
    }
    const std::string property(query.substr(start, blank - start));

    auto e = session.execquery(query);
    if (!e) {
        setResult(result, "Can't run ExecQuery", capacity);
        return false;
    }
    std::string text;
    bool full = false;
    while (true) {
        std::unique_ptr<platform::WmiObject> obj;
        WmiNext n = e->next(-1, obj);
        if (n == WmiNext::End) break;
        if (n != WmiNext::Object) {
            setResult(result, "Can't get the object: " + property, capacity);
            return false;
        }
        auto v = obj->get(property);
        if (!v) {
            setResult(result, "Can't handle the query: define one query object only.", capacity);
            return false;
        }
        if (full) continue;  // the buffer is full: the rest is dropped
        std::string piece = text.empty() ? "" : ";";
        if (v->type == WmiType::Int32)
            piece += strformat("%d", v->i);
        else if (v->type == WmiType::String)
            piece += v->s;
        if (capacity == 0 || text.size() + piece.size() > capacity - 1) {
            if (capacity > 0) text += piece.substr(0, capacity - 1 - text.size());
            full = true;
            continue;
        }
        text += piece;
    }
    result = std::move(text);
    return true;
}

int wmiservicecontrol(WmiSession& session, std::string_view action, std::string_view service) {
    if (action.size() > kMaxAction) return -1;
    const std::string word = toUpper(action);
    const char* method = word == "START"  ? "StartService"
                         : word == "STOP" ? "StopService"
                                          : nullptr;
    if (!method) return -1;
    const std::string path = "Win32_Service.Name='" + std::string(service) + "'";
    if (path.size() > kMaxPath) return -1;
    auto obj = session.getobject(path);
    if (!obj) return -1;
    auto out = session.execmethod(path, method, obj.get());
    if (!out) return -1;
    // A call that ran but that the service manager refused (access denied,
    // a service that cannot accept the control) is a failure too: the svcs
    // report must not claim a restart that did not happen.
    auto rv = out->get("ReturnValue");
    if (rv && rv->type == platform::WmiType::Int32 && rv->i != 0) return -1;
    return 0;
}

}  // namespace tw
