// twwmi: the objects of a WQL query as this machine's WMI providers answer
// them (what the agent sees), and with --serve the bridge through which the
// editor on another machine reaches this one.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "platform/ascii.h"
#include "platform/bridge/bridge_server.h"
#include "platform/bridge/wmi_bridge.h"
#include "platform/platform.h"
#include "platform/wmi/wql.h"

namespace {

using tw::platform::WmiNext;
using tw::platform::WmiObject;
using tw::platform::WmiType;
using tw::platform::WmiValue;

const char* const kUsage =
    "usage: twwmi [--namespace NAMESPACE] [--host MACHINE] [--json] \"WQL\"\n"
    "       twwmi --serve\n"
    "Prints the objects of a WQL query as this machine's WMI providers answer it\n"
    "(TWNT_WMI_FIXTURE: from that file), one block per object, or with --json one\n"
    "JSON object per line. --namespace defaults to ROOT\\CIMV2; --host reaches another\n"
    "machine through TWNT_REMOTE_COMMAND. --serve answers the bridge protocol on\n"
    "standard input and output.\n";

// A value as the administrator reads it: texts quoted with C escapes, so
// that every property stays on its line.
std::string shown(const WmiValue& v) {
    switch (v.type) {
        case WmiType::Null:
            return "null";
        case WmiType::Int32:
            return std::to_string(v.i);
        case WmiType::Bool:
            return v.b ? "true" : "false";
        case WmiType::Other:
            return v.s.empty() ? "<other>" : "<other: " + v.s + ">";
        case WmiType::String:
            break;
    }
    std::string out = "\"";
    for (char ch : v.s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

// The properties the query selected, in the class's order; all of them for
// SELECT * (and for a query our parser does not read, left to the provider).
std::vector<std::string> selected(const WmiObject& o, const std::set<std::string>& wanted) {
    std::vector<std::string> names;
    for (auto& n : o.propertyNames())
        if (wanted.empty() || wanted.count(tw::toUpper(n))) names.push_back(std::move(n));
    return names;
}

int query(tw::platform::WmiProvider& provider, const std::string& host, const std::string& ns,
          const std::string& wql, bool json) {
    auto r = provider.connect(host, ns);
    if (!r.connection) {
        std::fprintf(stderr, "twwmi: %s\n", r.error.c_str());
        return 1;
    }
    std::set<std::string> wanted;
    if (auto q = tw::platform::parseWql(wql))
        for (const auto& p : q->properties) wanted.insert(tw::toUpper(p));
    auto e = r.connection->query(wql);
    if (!e) {
        std::fprintf(stderr, "twwmi: %s\n", r.connection->lastError().c_str());
        return 1;
    }
    std::unique_ptr<WmiObject> o;
    while (true) {
        WmiNext n = e->next(30000, o);
        if (n == WmiNext::End) break;
        if (n != WmiNext::Object) {
            std::string why = n == WmiNext::Timeout ? "no object within 30 s" : e->lastError();
            std::fprintf(stderr, "twwmi: %s\n", why.c_str());
            return 1;
        }
        auto cls = o->get("__CLASS");
        const std::string className = cls && cls->type == WmiType::String ? cls->s : "";
        std::string text;
        if (json) {
            text = "{\"__CLASS\":";
            tw::platform::bridge::appendText(text, className);
            for (const auto& name : selected(*o, wanted)) {
                auto v = o->get(name);
                if (!v) continue;
                text += ',';
                tw::platform::bridge::appendString(text, name);
                text += ':';
                tw::platform::bridge::appendValue(text, *v);
            }
            text += "}\n";
        } else {
            text = className + "\n";
            for (const auto& name : selected(*o, wanted))
                if (auto v = o->get(name)) text += "  " + name + " = " + shown(*v) + "\n";
            text += "\n";
        }
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    bool serve = false, json = false;
    std::string ns = tw::platform::kCimv2, host, wql;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--serve") {
            serve = true;
        } else if (a == "--json") {
            json = true;
        } else if ((a == "--namespace" || a == "--host") && i + 1 < argc) {
            (a == "--host" ? host : ns) = argv[++i];
        } else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "twwmi: unknown option %s\n%s", a.c_str(), kUsage);
            return 2;
        } else {
            wql = a;
            ++positional;
        }
    }
    if (serve ? positional != 0 || json || !host.empty() : positional != 1) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    auto platform = tw::platform::makeHostPlatform();
    // The host platform turns SIGINT and SIGTERM into a stop request for the
    // agent's loop; this program has none, so they end it as usual.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    auto& p = platform->get();
    if (serve) {
        // A vanished client shows as a failed write (SIGPIPE stays ignored).
        const std::string machine = p.host.computerName().value_or("");
        return tw::platform::bridge::serveBridge(0, 1, p.wmi, machine);
    }
    signal(SIGPIPE, SIG_DFL);
    return query(p.wmi, host, ns, wql, json);
}
