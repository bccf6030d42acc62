// The agent's one WMI session (ROOT\CIMV2) and the operations on it:
// opening and closing, the single-property query `wmiquery`, and the
// service methods `wmiservicecontrol`. The agent keeps one session for the
// whole process; a closed session makes every query, fetch and method call
// fail cleanly.
// Record fetches are built on it in agent/wmi/fetch.h.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace tw {

class WmiSession {
  public:
    explicit WmiSession(platform::Platform& p) : p_(p) {}

    // Opens the connection to ROOT\CIMV2; answers whether it is open. The
    // provider's notices go to the application event log (information,
    // identifier 1). Opening an open session keeps it.
    bool open();
    void close();
    bool isOpen() const { return conn_ != nullptr; }

    // Runs a query; nullptr when the session is closed or the query cannot
    // run (the reason is logged as one line).
    std::unique_ptr<platform::WmiEnumerator> execquery(std::string_view wql);
    std::unique_ptr<platform::WmiObject> getobject(std::string_view path);
    std::unique_ptr<platform::WmiObject> execmethod(std::string_view path, std::string_view method,
                                                    const platform::WmiObject* in);

    platform::Clock& clock() { return p_.clock; }

  private:
    platform::Platform& p_;
    std::unique_ptr<platform::WmiConnection> conn_;
};

// Opens the agent's session (once, before the first cycle).
bool wmiinit(WmiSession& session);
// Closes it (after the last cycle).
void wmiclose(WmiSession& session);

// The single-property query of the WMI-defined tests: the property named
// after "select " gathered from every object, joined with ";". Answers
// success; result holds the text, or on failure one of "format error",
// "Can't run ExecQuery", "Can't get the object: <property>", "Can't handle
// the query: define one query object only.". capacity is the caller's
// buffer size in bytes: the result holds at most capacity - 1 characters.
bool wmiquery(WmiSession& session, std::string_view query, std::string& result, size_t capacity);

// "Start" or "Stop" (any case) the service by its Name: 0 on success, -1
// for another action, an unknown service or a failed call.
int wmiservicecontrol(WmiSession& session, std::string_view action, std::string_view service);

}  // namespace tw
