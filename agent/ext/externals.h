// External programs: the entries of the Externals setting, each started
// on its own interval by a thread of its own. A thread locates its program
// once (the longest run of leading words that names an existing file, so a
// path with blanks needs no quotes) and then starts it, hidden and without
// waiting, every interval while it holds the cycle mutex.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::platform {
class Directory;
}

namespace tw {

struct ExtContext;

// Longest entry accepted; a longer one is refused rather than cut, since a
// cut command line could run something other than what was configured.
inline constexpr size_t kExternalEntryLimit = 2048;
inline constexpr int kDefaultExternalInterval = 300;

// The pieces of an Externals text that end at a ";", trimmed of blanks,
// empty ones left out.
std::vector<std::string> externalentries(std::string_view text);

struct ExternalCommand {
    std::string text;  // the entry without its interval suffix and trailing blanks
    int interval = kDefaultExternalInterval;
};

// Splits off the interval suffix: "/" then "int=" in any letter case after
// the entry's last "/"; the number after it (0 or none: 300) is the interval.
ExternalCommand parseexternal(std::string_view entry);

struct ProgramCall {
    std::string program;
    std::string args;  // the rest after the program, leading blanks skipped
};

// The longest run of leading blank-separated words of text that names an
// existing file or directory; nullopt when none does.
std::optional<ProgramCall> locateprogram(const std::string& text, platform::Directory& dir);

// A located and accepted external program.
struct ExternalProgram {
    std::string entry;  // as written in Externals, for the log
    std::string program;
    std::string args;
    int interval = kDefaultExternalInterval;
};

// The thread's preparation with its log lines; nullopt when the thread must
// end (nothing specified, too long, not found, not a regular file).
std::optional<ExternalProgram> prepareexternal(const ExtContext& x, const std::string& entry);

// One round of the thread's loop: wait for the cycle mutex, start the
// program, release the mutex, sleep out the interval. False once the agent
// is stopping.
bool externalpass(const ExtContext& x, const ExternalProgram& program);

// The thread for one entry: prepares, then runs rounds until a stop.
void externalthread(const ExtContext& x, const std::string& entry);

// The copy of the Externals text that the threads' entries are cut from:
// at most the setting's 7999 characters, then ";".
std::string externalsbuffer(const std::string& externals);

// Starts one thread per entry of the Externals text; called in the first
// cycle only, so a changed Externals takes effect at the next start.
void startexternals(const ExtContext& x, const std::string& externals);

}  // namespace tw
