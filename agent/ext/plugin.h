// Plugin work files: the plugin thread scans the ExternalPath directory
// every PluginTimer seconds while it holds the cycle mutex, turns each work
// file into status messages (the file's name is the test column, its
// content gives colour, text, optionally another host and a validity
// delay), sends them to the display servers and through the page check, and
// deletes the file unless its name begins with "-".
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

struct ExtContext;
struct PluginView;

inline constexpr size_t kSectionLimit = 20219;   // characters of a section used
inline constexpr size_t kFirstWordLimit = 255;   // the host:level or level word
inline constexpr size_t kLevelWordLimit = 15;    // the level with its delay
inline constexpr int kDefaultPluginPeriod = 60;  // seconds between scans
// Work files are small; a larger one is left alone rather than read, so
// one stray file cannot exhaust the agent's memory.
inline constexpr size_t kWorkFileLimit = 64 * 1024 * 1024;

// A file's bytes as the text the sections are cut from: it ends at the
// first zero byte (the messages are zero-terminated on the wire) and CR LF
// reads as LF, as a text-mode read gives it.
std::string worktext(std::string_view raw);

// The sections of a work file's text. A section begins at the start of a
// line holding a colour marker (":green", ":yellow", ":red", ":clear") and
// ends before the next such line; text before the first one is ignored; a
// text without markers is one section. Further markers on a marker's own
// line do not begin a section: that line ends with the section it opened.
std::vector<std::string_view> worksections(std::string_view text);

// The status message of one section for the test name, with its log lines;
// nullopt (after "invalid status level") when the level is not one of the
// four.
std::optional<std::string> statusmessage(std::string section, const std::string& test,
                                         const std::string& compName);

// The scan period from the PluginTimer text: 60 when empty or below 1.
int pluginperiod(const std::string& setting);

enum class WorkFileResult {
    Done,        // sections sent; deleted unless persistent
    CannotOpen,  // left alone
    TooLarge,    // over kWorkFileLimit; left alone
    NoMemory,    // no buffer for it; left alone, the scan ends
    Stopped,     // the agent is stopping; what is left of it stays for the next start
};

// Reads the work file at path (entry name name), sends its messages with
// twsend to TWDISPLAY and then twpage to TWPAGE, one section after another,
// and deletes it unless the name begins with "-".
WorkFileResult readworkfile(const ExtContext& x, const PluginView& v, const std::string& path,
                            const std::string& name);

// One scan of the external path; the caller holds the cycle mutex. False
// when the scan ended early (no memory, or a stop).
bool pluginscan(const ExtContext& x, const PluginView& v);

// One round of the plugin thread: wait for the mutex, take the pass's view
// of the configuration, scan, read the period, release, sleep. False once
// the agent is stopping.
bool pluginpass(const ExtContext& x);

void pluginthread(const ExtContext& x);

// Starts the plugin thread (end of start-up). A platform without a
// directory service has nothing to scan and gets no thread.
void startpluginthread(const ExtContext& x);

}  // namespace tw
