#include "agent/core/dryreport.h"

#include <nlohmann/json.hpp>

#include "agent/core/drycycle.h"
#include "agent/transport/twsend.h"

namespace tw {

namespace {

std::string joined(const std::vector<std::string>& items, const char* separator) {
    std::string out;
    for (const std::string& item : items) {
        if (!out.empty()) out += separator;
        out += item;
    }
    return out;
}

// CR LF as LF, so that a console shows each line once, and an ending line break.
std::string lines(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 1);
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    if (out.empty() || out.back() != '\n') out += '\n';
    return out;
}

std::string plural(int n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

std::string dump(const nlohmann::json& j) {
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string drytext(const DryRun& run) {
    std::string out;
    int pages = 0;
    for (const DryMessage& m : run.messages) {
        if (m.kind == "page") ++pages;
        out += m.kind + " -> " + joined(m.destinations, ", ") + "\n";
        for (const std::string& note : m.notes) out += "(" + note + ")\n";
        out += lines(m.text) + "\n";
    }
    if (!run.externals.empty()) {
        out += "External programs (the agent starts them; none is run now):\n";
        for (const DryExternal& e : run.externals) {
            if (!e.program) {
                out +=
                    "  " + e.entry + ": not found or not a program; the agent would not run it\n";
                continue;
            }
            out += "  " + e.program->program;
            if (!e.program->args.empty()) out += " " + e.program->args;
            out += ", every " + std::to_string(e.program->interval) + " s\n";
        }
        out += "\n";
    }
    if (!run.externalpath.empty()) {
        out += "Work files in " + run.externalpath +
               " (the agent forwards them; none is forwarded or deleted now):\n";
        if (!run.externalpathReadable)
            out += "  the folder cannot be read\n";
        else if (run.workfiles.empty())
            out += "  none\n";
        for (const DryWorkFile& w : run.workfiles)
            out += "  " + w.path + ": " + plural(w.messages, "message") +
                   (w.deleted ? ", then deleted\n" : ", kept\n");
        out += "\n";
    }
    if (run.loaded || !run.messages.empty())
        out += "twnt -test: " + plural(static_cast<int>(run.messages.size()), "message") + " (" +
               plural(static_cast<int>(run.messages.size()) - pages, "status message") + ", " +
               plural(pages, "page") + "), nothing sent\n";
    return out;
}

std::string dryjson(const DryRun& run) {
    std::string out;
    for (const DryMessage& m : run.messages)
        out += dump({{"kind", m.kind},
                     {"destinations", m.destinations},
                     {"colour", messagecolour(m.text)},
                     {"text", m.text},
                     {"notes", m.notes}});
    for (const DryExternal& e : run.externals) {
        nlohmann::json j = {
            {"kind", "external"}, {"entry", e.entry}, {"runs", e.program.has_value()}};
        if (e.program) {
            j["program"] = e.program->program;
            j["arguments"] = e.program->args;
            j["interval"] = e.program->interval;
        }
        out += dump(j);
    }
    for (const DryWorkFile& w : run.workfiles)
        out += dump({{"kind", "workfile"},
                     {"path", w.path},
                     {"messages", w.messages},
                     {"deleted", w.deleted}});
    return out;
}

}  // namespace tw
