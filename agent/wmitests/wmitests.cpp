#include "agent/wmitests/wmitests.h"

#include "agent/wmitests/definitions.h"
#include "agent/wmitests/threshold.h"
#include "base/twlog.h"
#include "platform/ascii.h"

namespace tw {

namespace {

constexpr size_t kMessageMax = kMessageCapacity - 1;

// The page format with its placeholders filled, in this order, each over
// what the previous ones produced.
std::string expandpageformat(const WmiTestDefinition& def, const std::string& valueName,
                             const std::string& result, const char* colour,
                             const Threshold& threshold) {
    std::string body = def.pageformat.substr(0, kMessageMax);
    replacetext(body, kMessageCapacity, "&query", def.query);
    replacetext(body, kMessageCapacity, "&value", valueName);
    replacetext(body, kMessageCapacity, "%value%", result);
    replacetext(body, kMessageCapacity, "%color%", colour);
    replacetext(body, kMessageCapacity, "%thresholds%", def.threshold);
    replacetext(body, kMessageCapacity, "%warningthreshold%", warningdisplay(threshold));
    replacetext(body, kMessageCapacity, "%panicthreshold%", panicdisplay(threshold));
    return body;
}

}  // namespace

void wmitests(std::string_view setting, const WmiTestEnv& env) {
    twlog("\r\nEntering wmitests service\r\n");
    if (env.mode == 'D') {
        twlog("wmi test disabled.\r\n");
        return;
    }
    for (const std::string& definition : splitdefinitions(setting)) runwmitest(definition, env);
    twlog("Leaving wmitests service\r\n");
}

WmiTestOutcome runwmitest(std::string_view definition, const WmiTestEnv& env) {
    if (definition.empty()) return WmiTestOutcome::Empty;
    const WmiTestDefinition def = readdefinition(definition);
    twlog("process WMI test: %s\r\n", def.text.c_str());
    if (def.comment()) return WmiTestOutcome::Comment;

    const std::optional<DataType> type = parsedatatype(def.datatype);
    if (!type) {
        twlog("unknown data type: %s\r\n", def.datatype.c_str());
        return WmiTestOutcome::UnknownDataType;
    }
    const ThresholdCheck check = parsethreshold(*type, def.threshold);
    if (!check.valid) {
        twlog("threshold not correct: %s\r\n", def.threshold.c_str());
        return WmiTestOutcome::BadThreshold;
    }
    const bool perfWanted = env.mode == 'T' && equalsNoCase(def.perf, "perf");
    const std::string valueName = valuename(def.query);

    WmiQueryAnswer answer;
    if (env.query) answer = env.query(def.query, kQueryResultCapacity);
    if (!answer.ok) return WmiTestOutcome::QueryFailed;
    // The query layer keeps to the capacity; a longer answer is cut rather
    // than trusted.
    if (answer.text.size() >= kQueryResultCapacity) answer.text.resize(kQueryResultCapacity - 1);
    const std::string& result = answer.text;

    const bool evaluate =
        (env.mode == 'P' || env.mode == 'T') && check.threshold.form != Threshold::Form::NA;
    const char* colour = evaluate ? thresholdcolor(check.threshold, result) : "green";

    std::string report = "[" + env.realcompName + "]\r\n\r\n";
    if (std::string_view(colour) == "red")
        report += strformat("&red %s has reached the PANIC level ( %s )\r\n\r\n", valueName.c_str(),
                            panicdisplay(check.threshold).c_str());
    else if (std::string_view(colour) == "yellow")
        report += strformat("&yellow %s has reached the WARNING level ( %s )\r\n\r\n",
                            valueName.c_str(), warningdisplay(check.threshold).c_str());

    if (!def.pageformat.empty()) {
        report += expandpageformat(def, valueName, result, colour, check.threshold);
    } else {
        report += "\r\nQuery: " + def.query + "\r\n";
        report += valueName + ": " + result + "\r\n";
    }

    // Header, level line and a body near its own limit may together pass the
    // message capacity: the body's tail is cut, the first line and the level
    // line always go out whole.
    std::string message = "status " + env.compName + "." + def.name + " " + colour + " " +
                          (env.datestamp ? env.datestamp() : std::string()) + " " + report;
    if (message.size() > kMessageMax) message.resize(kMessageMax);

    if (env.page) env.page(message);
    if (perfWanted && env.perf) {
        // The document goes out whole or not at all: a message cut inside it
        // would reach the display server as broken data.
        std::string withPerf = message;
        env.perf(withPerf);
        if (withPerf.size() <= kMessageMax)
            message = std::move(withPerf);
        else
            twlog("performance data left out: the status message would pass %zu characters\r\n",
                  kMessageMax);
    }
    if (env.send) env.send(message);
    return WmiTestOutcome::Sent;
}

}  // namespace tw
