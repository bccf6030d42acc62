// The runner of the administrator's WMI tests: once per cycle, after the
// built-in tests, every active definition of WMITests is queried, judged
// against its threshold and reported as one status message under its own
// test name.
//
// The runner reaches WMI, the status channel and the performance-data
// builder only through the functions in WmiTestEnv, so the cycle decides
// what answers a query and where a message goes.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace tw {

// Capacities of the runner's texts in bytes (each holds one character less).
inline constexpr size_t kQueryResultCapacity = 20480;
inline constexpr size_t kMessageCapacity = 51200;  // body, report and status message

struct WmiQueryAnswer {
    bool ok = false;
    std::string text;  // the values, ";" between objects; a failure text when !ok
};

struct WmiTestEnv {
    char mode = 'P';           // the upper-cased mode letter of "wmitest"
    std::string compName;      // host part of every status message
    std::string realcompName;  // shown in square brackets in the report

    // The single-property query: query text and result capacity in bytes.
    std::function<WmiQueryAnswer(const std::string& query, size_t capacity)> query;
    std::function<std::string()> datestamp;
    // Pages the status message when paging rules select its colour.
    std::function<void(const std::string& message)> page;
    // Appends the performance-data document to the status message.
    std::function<void(std::string& message)> perf;
    // Delivers the status message to the display servers.
    std::function<void(const std::string& message)> send;
};

// How one definition ended; the log says the same in the agent's words.
enum class WmiTestOutcome {
    Empty,            // nothing to run
    Comment,          // name begins with "#"
    UnknownDataType,  // "unknown data type: %s\r\n"
    BadThreshold,     // the threshold's message, then "threshold not correct: %s\r\n"
    QueryFailed,      // nothing sent this cycle
    Sent,
};

// Runs every definition of a WMITests text in order, unless the mode is D.
void wmitests(std::string_view setting, const WmiTestEnv& env);

// Runs one definition: page, performance data (mode T and "perf"), send.
WmiTestOutcome runwmitest(std::string_view definition, const WmiTestEnv& env);

}  // namespace tw
