// The WMI provider: what the agent and the editor see of Windows Management
// Instrumentation. A connection to a namespace runs WQL queries that yield
// objects one at a time, reads properties as typed values, gets objects by
// path and executes methods. Nothing here throws; every failure is a return
// value (nullptr, nullopt, WmiNext::Failed) with a reason in lastError().
//
// Typed values follow WMI's VARIANT mapping: uint64, sint64 and datetime
// properties arrive as strings; uint8/16/32 and sint32 as 32-bit integers;
// booleans as booleans; anything else (arrays, other widths) as Other.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/host_info.h"

namespace tw::platform {

enum class WmiType { Null, Int32, String, Bool, Other };

struct WmiValue {
    WmiType type = WmiType::Null;
    int32_t i = 0;   // Int32
    bool b = false;  // Bool
    std::string s;   // String (narrow text); Other: a description, for diagnostics only

    static WmiValue null() { return {}; }
    static WmiValue int32(int32_t v) { return {WmiType::Int32, v, false, {}}; }
    static WmiValue string(std::string v) { return {WmiType::String, 0, false, std::move(v)}; }
    static WmiValue boolean(bool v) { return {WmiType::Bool, 0, v, {}}; }
    static WmiValue other(std::string what = {}) {
        return {WmiType::Other, 0, false, std::move(what)};
    }

    bool operator==(const WmiValue&) const = default;
};

// One object of a query result, a class object or a method's parameters.
class WmiObject {
  public:
    virtual ~WmiObject() = default;
    // The property's value; nullopt when the object has no such property
    // (names match without regard to case). A property that exists but was
    // not selected by the query reads as Null, as in WMI.
    virtual std::optional<WmiValue> get(std::string_view name) const = 0;
    // The non-system property names in the class's order.
    virtual std::vector<std::string> propertyNames() const = 0;
};

// A plain object built by the caller: the input parameters of a method.
class WmiPropertyBag final : public WmiObject {
  public:
    void set(std::string name, WmiValue value);
    std::optional<WmiValue> get(std::string_view name) const override;
    std::vector<std::string> propertyNames() const override;

  private:
    std::vector<std::pair<std::string, WmiValue>> props_;
};

enum class WmiNext {
    Object,   // out holds the next object
    End,      // no more objects
    Timeout,  // nothing arrived within the wait; the enumeration may go on
    Failed,   // the enumeration broke (lastError names why)
};

// The result of a query, walked forward once.
class WmiEnumerator {
  public:
    virtual ~WmiEnumerator() = default;
    // Waits at most timeoutMs for the next object (negative: without limit).
    // Providers that have every object at hand answer at once.
    virtual WmiNext next(int timeoutMs, std::unique_ptr<WmiObject>& out) = 0;
    virtual std::string lastError() const = 0;
};

// A connection to one namespace (ROOT\CIMV2, ROOT\DEFAULT).
class WmiConnection {
  public:
    virtual ~WmiConnection() = default;
    // Runs a WQL query; nullptr when it cannot run (syntax, unknown class,
    // source unavailable).
    virtual std::unique_ptr<WmiEnumerator> query(std::string_view wql) = 0;
    // An object by path: a class ("StdRegProv") or a keyed instance
    // ("Win32_Service.Name='Spooler'"); nullptr when it does not exist.
    virtual std::unique_ptr<WmiObject> getObject(std::string_view path) = 0;
    // Executes a method; answers its output parameters (ReturnValue and
    // the method's out values), nullptr when the call could not be executed.
    virtual std::unique_ptr<WmiObject> execMethod(std::string_view path, std::string_view method,
                                                  const WmiObject* in) = 0;
    virtual std::string lastError() const = 0;
};

struct WmiConnectResult {
    std::unique_ptr<WmiConnection> connection;  // nullptr on failure
    std::string error;                          // why it failed
    // Information the platform wants recorded in the application event log,
    // also when the connection then fails (on Windows: which provider
    // architecture is used); empty when there is nothing to record.
    std::vector<std::string> notices;
};

class WmiProvider {
  public:
    virtual ~WmiProvider() = default;
    // Opens a connection. server: "" (or ".", "localhost", this host's name)
    // for this machine; ns: the namespace path, e.g. "ROOT\\CIMV2". The
    // platform's own preparations (privileges, COM, the 64-bit provider
    // context on Windows) happen here.
    virtual WmiConnectResult connect(const std::string& server, const std::string& ns) = 0;
};

// Whether a connect() server names this machine: "", ".", "localhost", the
// computer name or the host name (either also as the first label of a
// qualified name), in any letter case. host: nullptr knows only the first
// three.
bool isLocalWmiServer(const std::string& server, HostInfo* host);

inline constexpr const char* kCimv2 = "ROOT\\CIMV2";
inline constexpr const char* kDefaultNamespace = "ROOT\\DEFAULT";

}  // namespace tw::platform
