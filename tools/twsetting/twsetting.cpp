#include "tools/twsetting/twsetting.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>

#include "base/settings.h"
#include "base/text.h"
#include "platform/files.h"
#include "platform/settings_store.h"
#include "tools/twsetting/settingscopy.h"

namespace tw::setting {

const char* const kUsage =
    "usage: twsetting [--file FILE] NAME             print a setting\n"
    "       twsetting [--file FILE] NAME=VALUE ...   set settings\n"
    "       twsetting [--file FILE] --export OUT     write every setting to OUT\n"
    "       twsetting [--file FILE] --import IN [--dry-run]\n"
    "                                                set the settings of IN, print the changes\n"
    "Reads and changes the agent's settings (HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\\n"
    "Tallwatch\\twnt\\NAME) in the settings file FILE, else TWNT_REGISTRY, else the\n"
    "default file, under the file's lock. The agent uses a change at its next cycle.\n"
    "OUT and IN are export files (TWNT.cfg lines, \"[NAME]text\"); - is standard output\n"
    "or input: twsetting --export - | ssh HOST twsetting --import -\n";

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

// A setting name is one registry key name: no backslash, no '=', not empty.
bool validname(const std::string& name) {
    return !name.empty() && name.size() <= 255 && name.find_first_of("\\=") == std::string::npos &&
           name.rfind("--", 0) != 0;
}

}  // namespace

namespace {

// An import file is no larger than a settings file may be.
constexpr size_t kMaxImport = 16 * 1024 * 1024;

// Reads the whole stream, at most kMaxImport bytes.
bool readBounded(std::istream& in, std::string& text, std::string& why) {
    text.clear();
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        text.append(buf, static_cast<size_t>(in.gcount()));
        if (text.size() > kMaxImport) {
            why = "larger than " + std::to_string(kMaxImport) + " bytes";
            return false;
        }
    }
    // Only the end of the file ends the reading well (a folder, say, fails).
    if (in.bad() || !in.eof()) {
        why = "cannot be read";
        return false;
    }
    return true;
}

int exportCommand(const std::string& path, platform::SettingsStore& store, Io io) {
    std::string why;
    auto text = exportSettings(store, why, io.err);
    if (!text) {
        io.err << "twsetting: nothing exported: " << why << "\n";
        return 1;
    }
    if (path == "-") {
        io.out << *text << std::flush;
        return io.out ? 0 : 1;
    }
    // It holds the KeyCode in clear: the owner's only, and never half written.
    if (!io.files.writePrivate(path, *text)) {
        io.err << "twsetting: " << path << ": cannot be written\n";
        return 1;
    }
    return 0;
}

int importCommand(const std::string& path, bool dryRun, platform::SettingsStore& store, Io io) {
    std::string text, why;
    bool read = false;
    if (path == "-") {
        read = readBounded(io.in, text, why);
    } else {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            why = std::strerror(errno);
        } else {
            read = readBounded(file, text, why);
        }
    }
    const std::string source = path == "-" ? "standard input" : path;
    if (!read) {
        io.err << "twsetting: " << source << ": " << why << " (nothing imported)\n";
        return 1;
    }
    return importSettings(text, source, dryRun, store, io.out, io.err);
}

// --export FILE, --import FILE [--dry-run]: answers the exit status, or
// nullopt when args are not such a command.
std::optional<int> copyCommand(const std::vector<std::string>& args, platform::SettingsStore& store,
                               Io io) {
    if (args[0] != "--export" && args[0] != "--import" && args[0] != "--dry-run")
        return std::nullopt;
    std::vector<std::string> rest(args.begin(), args.end());
    bool dryRun = false;
    for (auto it = rest.begin(); it != rest.end();) {
        if (*it == "--dry-run") {
            dryRun = true;
            it = rest.erase(it);
        } else {
            ++it;
        }
    }
    const bool ok = rest.size() == 2 && !rest[1].empty() &&
                    (rest[0] == "--import" || (rest[0] == "--export" && !dryRun));
    if (!ok) {
        io.err << "twsetting: wrong arguments for " << (rest.empty() ? "--dry-run" : rest[0])
               << "\n"
               << kUsage;
        return 2;
    }
    return rest[0] == "--export" ? exportCommand(rest[1], store, io)
                                 : importCommand(rest[1], dryRun, store, io);
}

}  // namespace

int twsetting(const std::vector<std::string>& args, platform::SettingsStore& store, Io io) {
    std::ostream& out = io.out;
    std::ostream& err = io.err;
    if (!args.empty()) {
        if (auto status = copyCommand(args, store, io)) return *status;
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        (args.empty() ? err : out) << kUsage;
        return args.empty() ? 2 : 0;
    }
    const bool setting = args[0].find('=') != std::string::npos;
    for (const std::string& a : args) {
        std::string name = a.substr(0, a.find('='));
        // The settings file holds a key name on one line of its own.
        if (hascontrol(name)) {
            err << "twsetting: a setting name holds no control character: \"" << visibleText(name)
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
