// What the built-in tests share beyond the mode table, the Defaults pairs
// and the date stamp: colour words and how a colour rises, the line
// markers, the start of the status message, the mode letters' common
// meanings with the disabled/entering/leaving log lines, and the two orders
// in which a finished report is paged, given performance data and sent.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "agent/perfdata/perfdata.h"

namespace tw::platform {
class Clock;
}

namespace tw {

class WmiSession;

// In rising severity; the order of the enumerators is the order of the words.
enum class Colour { Green, Yellow, Red };

// "green", "yellow", "red".
std::string_view colourword(Colour c);

// A test's colour only ever rises during a run: takes the finding's colour
// when it is more severe than the current one.
inline void raise(Colour& colour, Colour finding) {
    if (finding > colour) colour = finding;
}

// A configured colour: the first letter, upper-cased, G green, Y yellow,
// R red; nothing for any other letter or an empty text.
std::optional<Colour> colourletter(std::string_view setting);

// The marker that starts a finding's line: "&green ", "&yellow ", "&red ".
std::string marker(Colour c);

// "status <compName>.<test> <colour>": the start of every status message.
std::string statushead(std::string_view compName, std::string_view test, std::string_view colour);

// "status %s.%s %s %s %s" with compName, the test word, the colour, the date
// stamp and the body: the whole message of the disk, msgs, netdata,
// netprotl, pagefile and WMI-defined tests.
std::string statusmessage(std::string_view compName, std::string_view test, std::string_view colour,
                          std::string_view date, std::string_view body);

// "[%s]\r\n\r\n" with RealcompName: the start of most report bodies.
std::string realnamehead(std::string_view realcompName);

// Mode letters (as testmode answers them, upper-cased).
inline bool evaluates(char mode) {
    return mode == 'P' || mode == 'T';
}  // thresholds apply
inline bool trend(char mode) {
    return mode == 'T';
}  // performance data
inline bool alwaysgreen(char mode) {
    return mode == 'G';
}

// In mode D writes "<word> test disabled.\r\n" and answers true.
bool testdisabled(char mode, std::string_view word);
// "\r\nEntering <what>\r\n" and "Leaving <what>\r\n", e.g. "cpu service".
void logentering(std::string_view what);
void logleaving(std::string_view what);

// Where reports go. The cycle binds these to twsend with the TWDISPLAY list
// and twpage with the TWPAGE list; a test binds them to recorders. An empty
// function is skipped.
struct Delivery {
    std::function<void(const std::string& text)> send;
    std::function<void(const std::string& text)> page;
};

// What every built-in test's settings begin with; each test adds its own.
struct TestSettings {
    char mode = 'P';           // the test's mode letter, as testmode answers it
    std::string compName;      // the host part of every status message
    std::string realcompName;  // the resolver's name, in the report bodies
};

// What a built-in test is handed: its settings, the WMI session it reads,
// the clock of its date stamp, waits and time windows, and where its
// reports go. Nothing else of the agent reaches a test.
template <class S>
struct TestContext {
    const S& settings;
    WmiSession& wmi;
    platform::Clock& clock;
    const Delivery& delivery;
};

// A performance-data builder (perfcpu, perfdisk, perfmem, perfnetdata,
// perfwmitest).
using PerfBuilder = bool (*)(std::string& message, std::size_t capacity);

// cpu, mem, disk, netdata and WMI-defined tests: page the plain report; when
// withPerf and a builder is given, append its document to the report (the
// report keeps it); send.
void pageperfsend(const Delivery& d, std::string& report, bool withPerf, PerfBuilder perf);

// procs, msgs, svcs, pagefile and netprotl: send, then page. These tests
// carry no performance data in any mode.
void sendpage(const Delivery& d, const std::string& report);

}  // namespace tw
