// A WMI provider with failure switches around another one: refuse the
// connections to a machine or a namespace, fail a query, answer it with no object or
// break its enumeration, fail the execution of a method, or answer a method
// with a chosen ReturnValue; it records the queries, counts the method calls
// by name and records the servers asked for. Servers named in `reachable`
// are answered by the inner provider as its own machine (a "remote" machine
// in tests); servers named in `machines` by a provider of their own.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/ascii.h"
#include "platform/wmi/wmi_table.h"
#include "platform/wmi_provider.h"

namespace tw::testing {

class SwitchWmiProvider : public platform::WmiProvider {
  public:
    explicit SwitchWmiProvider(platform::WmiProvider& inner) : inner_(inner) {}

    platform::WmiConnectResult connect(const std::string& server, const std::string& ns) override {
        servers.push_back(server);
        if (refuse.count(toUpper(ns)) || refuseServers.count(server))
            return {nullptr, "refused by the test", {}};
        auto other = machines.find(server);
        auto r = other != machines.end()
                     ? other->second->connect(std::string(), ns)
                     : inner_.connect(reachable.count(server) ? std::string() : server, ns);
        if (r.connection) r.connection = std::make_unique<Conn>(*this, std::move(r.connection));
        return r;
    }

    // Namespaces (upper case, "ROOT\\DEFAULT") whose connections fail.
    std::set<std::string> refuse;
    // Machines (named without their leading backslashes) that refuse every
    // connection.
    std::set<std::string> refuseServers;
    // Queries (their exact text) that cannot run, that yield no object, or
    // whose first object cannot be fetched.
    std::set<std::string> failQueries, emptyQueries, brokenQueries;
    std::vector<std::string> queries;
    // Methods whose execution fails; methods that fail once they have run
    // this many times (a channel that breaks midway).
    std::set<std::string> failMethods;
    std::map<std::string, int> failAfter;
    // Methods that answer this ReturnValue without doing anything.
    std::map<std::string, int> returnValues;
    std::set<std::string> reachable;
    // Other machines (named without their leading backslashes), each its
    // provider's own machine.
    std::map<std::string, platform::WmiProvider*> machines;
    std::map<std::string, int> calls;
    std::vector<std::string> servers;

  private:
    class Broken : public platform::WmiEnumerator {
      public:
        platform::WmiNext next(int, std::unique_ptr<platform::WmiObject>&) override {
            return platform::WmiNext::Failed;
        }
        std::string lastError() const override { return "broken by the test"; }
    };

    class Conn : public platform::WmiConnection {
      public:
        Conn(SwitchWmiProvider& p, std::unique_ptr<platform::WmiConnection> c)
            : p_(p), c_(std::move(c)) {}
        std::unique_ptr<platform::WmiEnumerator> query(std::string_view wql) override {
            const std::string q(wql);
            p_.queries.push_back(q);
            if (p_.failQueries.count(q)) return nullptr;
            if (p_.emptyQueries.count(q))
                return std::make_unique<platform::WmiListEnumerator>(
                    std::vector<std::unique_ptr<platform::WmiObject>>{});
            if (p_.brokenQueries.count(q)) return std::make_unique<Broken>();
            return c_->query(wql);
        }
        std::unique_ptr<platform::WmiObject> getObject(std::string_view path) override {
            return c_->getObject(path);
        }
        std::unique_ptr<platform::WmiObject> execMethod(std::string_view path,
                                                        std::string_view method,
                                                        const platform::WmiObject* in) override {
            const std::string m(method);
            ++p_.calls[m];
            if (p_.failMethods.count(m)) return nullptr;
            if (auto f = p_.failAfter.find(m); f != p_.failAfter.end() && p_.calls[m] > f->second)
                return nullptr;
            if (auto it = p_.returnValues.find(m); it != p_.returnValues.end()) {
                auto out = std::make_unique<platform::WmiPropertyBag>();
                out->set("ReturnValue", platform::WmiValue::int32(it->second));
                return out;
            }
            return c_->execMethod(path, method, in);
        }
        std::string lastError() const override { return c_->lastError(); }

      private:
        SwitchWmiProvider& p_;
        std::unique_ptr<platform::WmiConnection> c_;
    };

    platform::WmiProvider& inner_;
};

}  // namespace tw::testing
