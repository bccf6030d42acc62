// twnt -test: one monitoring cycle run dry, for an administrator who asks
// "what would the agent send with these settings, now". The settings are
// loaded as a cycle loads them and every enabled test runs once through the
// cycle's own code; each status and page message is kept with its
// destinations instead of being sent. The svcs test's actions, the external
// programs and the work files the plugin reader would forward are noted,
// not carried out. Nothing connects to a server, TW.LOG is not touched, and
// the only event entries are those of a settings load that fails.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "agent/ext/externals.h"
#include "platform/platform.h"

namespace tw {

struct DryMessage {
    std::string kind;                       // "status" or "page"
    std::vector<std::string> destinations;  // in send order, "host:port"
    std::string text;                       // as sent, before any encryption
    std::vector<std::string> notes;         // what the text does not tell
};

struct DryExternal {
    std::string entry;                       // as written in Externals
    std::optional<ExternalProgram> program;  // nullopt: the agent would not run it
};

struct DryWorkFile {
    std::string path;
    int messages = 0;      // status messages it gives
    bool deleted = false;  // false: kept (its name begins with "-")
};

struct DryRun {
    bool loaded = false;  // false: nothing ran; failure says why
    std::string failure;
    std::vector<DryMessage> messages;  // in the order the cycle sends them
    std::vector<DryExternal> externals;
    std::string externalpath;  // as written; empty: no work files are read
    bool externalpathReadable = false;
    std::vector<DryWorkFile> workfiles;
};

// The note on the cpu and netdata messages: their first sample was taken
// just before the run.
inline constexpr const char* kSecondSampleNote = "second sample taken 1 s after the first";

// Runs the cycle dry on this platform: its sockets and its directory are
// wrapped so that nothing is sent or deleted; the svcs test's actions and
// the external programs are noted, not carried out.
DryRun drycycle(platform::Platform& platform);

// 1 when the settings did not load, 2 when a message is yellow or red, else 0.
int drystatus(const DryRun& run);

}  // namespace tw
