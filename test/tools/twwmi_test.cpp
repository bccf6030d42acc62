// twwmi as administrators and the bridge use it: the real program on a WMI
// fixture and a settings file.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "test/support/fake_platform.h"
#include "test/support/process.h"

namespace tw::testing {
namespace {

const char* kFixture = R"({
  "Win32_Service": [
    {"Name": "Spooler", "DisplayName": "Print \"Spooler\"\tQueue", "State": "Stopped",
     "ProcessId": 0, "AcceptStop": true, "InstallDate": null},
    {"Name": "Stuck", "State": "Running", "Odd": {"$type": "other", "value": [1, 2]},
     "$fail": ["StopService"]}
  ],
  "Win32_Battery": []
})";

struct Twwmi {
    TempDir dir;
    std::map<std::string, std::string> env;

    explicit Twwmi(const std::string& fixture = kFixture) {
        writeFile(dir.file("wmi.json"), fixture);
        env = {{"TWNT_WMI_FIXTURE", dir.file("wmi.json")},
               {"TWNT_REGISTRY", dir.file("registry.reg")}};
    }
    RunResult run(const std::vector<std::string>& args, const std::string& input = {}) {
        return runProgram(binaryPath("twwmi"), args, env, 20000, input);
    }
    // The answers of --serve to the request lines, one JSON value each.
    std::vector<nlohmann::json> serve(const std::vector<std::string>& requests, int* status) {
        std::string input;
        for (const auto& r : requests) input += r + "\n";
        auto r = run({"--serve"}, input);
        *status = r.status;
        std::vector<nlohmann::json> answers;
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);)
            answers.push_back(nlohmann::json::parse(line));
        return answers;
    }
};

TEST(Twwmi, PrintsEachObjectWithItsValuesTypes) {
    Twwmi t;
    auto r = t.run({"SELECT * FROM Win32_Service"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Win32_Service\n"
              "  Name = \"Spooler\"\n"
              "  DisplayName = \"Print \\\"Spooler\\\"\\tQueue\"\n"
              "  State = \"Stopped\"\n"
              "  ProcessId = 0\n"
              "  AcceptStop = true\n"
              "  InstallDate = null\n"
              "\n"
              "Win32_Service\n"
              "  Name = \"Stuck\"\n"
              "  State = \"Running\"\n"
              "  Odd = <other: [1,2]>\n"
              "\n");
    r = t.run({"--json", "select name, STATE from Win32_Service where State = 'Running'"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"__CLASS\":\"Win32_Service\",\"Name\":\"Stuck\",\"State\":\"Running\"}\n")
        << "only the selected properties, in the class's order and spelling";
    r = t.run({"SELECT * FROM Win32_Battery"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST(Twwmi, QueryThatCannotRunPrintsTheProvidersReasonAndExits1) {
    Twwmi t;
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    } cases[] = {
        {{"SELECT * FROM Win32_Fan"}, 1, "class Win32_Fan is not in WMI fixture"},
        {{"SELEKT * FROM Win32_Service"}, 1, "invalid query at position 0"},
        {{"--namespace", "ROOT\\DEFAULT", "SELECT * FROM StdRegProv"},
         1,
         "queries are not served in ROOT\\DEFAULT"},
        {{"--namespace", "ROOT\\SECURITY", "SELECT * FROM X"},
         1,
         "namespace ROOT\\SECURITY is not served"},
        {{}, 2, "usage: twwmi"},
        {{"--serve", "SELECT * FROM X"}, 2, "usage: twwmi"},
        {{"--frobnicate", "SELECT * FROM X"}, 2, "unknown option --frobnicate"},
    };
    for (const auto& c : cases) {
        auto r = t.run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.back();
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST(Twwmi, ServeAnswersEveryBadRequestWithAnErrorAndGoesOn) {
    Twwmi t;
    int status = -1;
    const std::string huge =
        "{\"id\":99,\"op\":\"hello\",\"pad\":\"" + std::string(16 * 1024 * 1024, 'x') + "\"}";
    // Nesting this deep once overflowed the server's stack.
    const std::string deep = std::string(200000, '[') + std::string(200000, ']');
    struct Case {
        std::string request;
        std::string answer;  // the answer's "error", or "" for success
    } cases[] = {
        {R"({"id":1,"op":"query","wql":"SELECT * FROM Win32_Service"})",
         "not connected to a namespace"},
        {"this is not json", "malformed request"},
        {R"([1,2])", "not a JSON object"},
        {R"({"id":2})", "names no operation"},
        {R"({"id":3,"op":"format c:"})", "unknown operation \"format c:\""},
        {R"({"id":4,"op":"connect","namespace":"ROOT\\CIMV2"})", ""},
        {R"({"id":5,"op":"query"})", "needs a text \"wql\""},
        {R"({"id":6,"op":"query","wql":"SELECT * FROM Win32_Fan"})", "Win32_Fan"},
        {huge, "longer than 16777216 bytes"},
        {R"({"id":7,"op":"getObject","path":"Win32_Service.Name='Nope'"})", "no object"},
        {R"({"id":8,"op":"execMethod","path":"Win32_Service.Name='Stuck'","method":"StopService"})",
         "StopService fails"},
        {R"({"id":9,"op":"execMethod","path":"Win32_Service.Name='Stuck'","method":"X","in":[1]})",
         "input parameters cannot be used"},
        {R"({"id":10,"op":"connect","namespace":"ROOT\\NOPE"})", "not served"},
        {R"({"id":11,"op":"getObject","path":"Win32_Service.Name='Stuck'"})", "not connected"},
        {"{\"id\":" + deep + ",\"op\":\"hello\"}", "nested deeper than 64 levels"},
        {R"({"id":12,"op":"execMethod","path":"StdRegProv","method":"X","in":{"a":{"$type":"other","value":)" +
             deep + "}}}",
         "nested deeper than 64 levels"},
        {R"({"id":"last","op":"hello"})", ""},
    };
    std::vector<std::string> requests;
    for (const auto& c : cases) requests.push_back(c.request);
    requests.push_back("");  // a blank line is no request
    auto answers = t.serve(requests, &status);
    EXPECT_EQ(status, 0) << "the end of input ends the server normally";
    ASSERT_EQ(answers.size(), std::size(cases));
    for (size_t i = 0; i < answers.size(); ++i) {
        const auto& a = answers[i];
        SCOPED_TRACE(cases[i].request.substr(0, 80));
        if (cases[i].answer.empty()) {
            EXPECT_EQ(a["ok"], true) << a.dump();
        } else {
            EXPECT_EQ(a["ok"], false);
            EXPECT_NE(a["error"].get<std::string>().find(cases[i].answer), std::string::npos)
                << a.dump();
        }
    }
    EXPECT_EQ(answers[0]["id"], 1);
    EXPECT_TRUE(answers[1]["id"].is_null()) << "an unreadable request has no id to echo";
    EXPECT_EQ(answers.back()["id"], "last");
    EXPECT_EQ(answers.back()["protocol"], 1);
    EXPECT_EQ(answers.back()["program"], "twwmi");
}

TEST(Twwmi, ServeStreamsALargeQueryInBoundedBatches) {
    std::string fixture = "{\"Win32_Process\": [";
    for (int i = 0; i < 1200; ++i)
        fixture += (i ? "," : "") + std::string("{\"Name\": \"p") + std::to_string(i) +
                   "\", \"ProcessId\": " + std::to_string(i) + "}";
    Twwmi t(fixture + "]}");
    int status = -1;
    auto answers = t.serve({R"({"id":1,"op":"connect","namespace":"ROOT\\CIMV2"})",
                            R"({"id":2,"op":"query","wql":"SELECT * FROM Win32_Process"})",
                            R"({"id":3,"op":"query","wql":"SELECT * FROM Win32_Process )"
                            R"(WHERE ProcessId < 0"})"},
                           &status);
    EXPECT_EQ(status, 0);
    ASSERT_GE(answers.size(), 4u);
    size_t objects = 0, batches = 0;
    for (const auto& a : answers) {
        if (a["id"] != 2) continue;
        ++batches;
        // Each batch names the class once; each row is its index and the values.
        EXPECT_EQ(a["classes"], nlohmann::json::parse(R"([["Win32_Process","Name","ProcessId"]])"));
        EXPECT_LE(a["rows"].size(), 500u);
        EXPECT_EQ(a["more"], objects + a["rows"].size() < 1200) << "more until the last";
        for (const auto& row : a["rows"]) {
            EXPECT_EQ(row, nlohmann::json::array({0, "p" + std::to_string(objects), objects}));
            ++objects;
        }
    }
    EXPECT_EQ(objects, 1200u);
    EXPECT_GE(batches, 3u);
    EXPECT_EQ(answers.back()["id"], 3);
    EXPECT_EQ(answers.back()["rows"].size(), 0u) << "no match is one empty last batch";
    EXPECT_EQ(answers.back()["more"], false);
}

TEST(Twwmi, HostOptionReachesAnotherMachineThroughTheBridge) {
    Twwmi t;
    auto local = t.run({"SELECT * FROM Win32_Service"});
    t.env["TWNT_REMOTE_COMMAND"] =
        "env TWNT_WMI_FIXTURE=" + t.dir.file("wmi.json") + " " + binaryPath("twwmi") + " --serve";
    auto remote = t.run({"--host", "\\\\FARAWAY", "SELECT * FROM Win32_Service"});
    EXPECT_EQ(remote.status, 0) << remote.err;
    EXPECT_EQ(remote.out, local.out);
    t.env["TWNT_REMOTE_COMMAND"] = "/nonexistent/bridge {host}";
    remote = t.run({"--host", "FARAWAY", "SELECT * FROM Win32_Service"});
    EXPECT_EQ(remote.status, 1);
    EXPECT_NE(remote.err.find("remote WMI on FARAWAY: cannot start /nonexistent/bridge"),
              std::string::npos)
        << remote.err;
}

}  // namespace
}  // namespace tw::testing
