#include "tools/twsetting/twsetting.h"

#include <cstdio>

#include "agent/core/base/settings.h"
#include "platform/settings_store.h"

namespace tw::setting {

const char* const kUsage =
    "usage: twsetting [--file FILE] NAME             print a setting\n"
    "       twsetting [--file FILE] NAME=VALUE ...   set settings\n"
    "Reads and changes the agent's settings (HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\\n"
    "Tallwatch\\twnt\\NAME) in the settings file FILE, else TWNT_REGISTRY, else the\n"
    "default file, under the file's lock. The agent uses a change at its next cycle.\n";

std::string storepath(std::vector<std::string>& args) {
    std::string path;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--file" && i + 1 < args.size()) {
            path = args[i + 1];
            args.erase(args.begin() + static_cast<long>(i),
                       args.begin() + static_cast<long>(i) + 2);
            break;
        }
        if (args[i].rfind("--file=", 0) == 0) {
            path = args[i].substr(7);
            args.erase(args.begin() + static_cast<long>(i));
            break;
        }
    }
    return path;
}

namespace {

bool hascontrol(const std::string& name) {
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7f) return true;
    return false;
}

// The name with its control characters as C escapes, one line to show.
std::string escaped(const std::string& name) {
    std::string out;
    for (unsigned char c : name) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// A setting name is one registry key name: no backslash, no '=', not empty.
bool validname(const std::string& name) {
    return !name.empty() && name.size() <= 255 && name.find_first_of("\\=") == std::string::npos &&
           name.rfind("--", 0) != 0;
}

}  // namespace

int twsetting(const std::vector<std::string>& args, platform::SettingsStore& store,
              std::ostream& out, std::ostream& err) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        (args.empty() ? err : out) << kUsage;
        return args.empty() ? 2 : 0;
    }
    const bool setting = args[0].find('=') != std::string::npos;
    for (const std::string& a : args) {
        std::string name = a.substr(0, a.find('='));
        // The settings file holds a key name on one line of its own.
        if (hascontrol(name)) {
            err << "twsetting: a setting name holds no control character: \"" << escaped(name)
                << "\"\n";
            return 2;
        }
        if (!validname(name) || (a.find('=') != std::string::npos) != setting ||
            (!setting && args.size() > 1)) {
            err << "twsetting: wrong argument \"" << a << "\"\n" << kUsage;
            return 2;
        }
    }
    if (!store.healthy()) {
        err << "twsetting: " << store.lastError() << "\n";
        return 1;
    }
    const std::string key = std::string(kHklm) + kSettingsKey;
    if (!setting) {
        auto v = store.getValue(key + args[0], "");
        if (!v) {
            err << "twsetting: no setting " << args[0] << "\n";
            return 1;
        }
        out << (v->type == platform::RegType::Dword ? std::to_string(v->dword) : v->data) << "\n";
        return 0;
    }
    for (const std::string& a : args) {
        const size_t eq = a.find('=');
        const std::string name = a.substr(0, eq);
        if (!store.setValue(key + name, "", platform::RegValue::sz(a.substr(eq + 1)))) {
            err << "twsetting: " << name << " not set: " << store.lastError() << "\n";
            return 1;
        }
    }
    return 0;
}

}  // namespace tw::setting
