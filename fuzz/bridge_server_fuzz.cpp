// The bridge server's request handling, as another machine reaches it: the
// input is the request lines, answered over the fixture provider and a
// scratch settings file. Every answer is one JSON object line that begins
// with the request's id and "ok"; every request is answered, and the
// server reads to the end of its input.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>

#include "fuzz/fuzz.h"
#include "platform/bridge/bridge_server.h"
#include "platform/posix/file_settings_store.h"
#include "platform/posix/posix.h"
#include "platform/wmi/fixture_wmi_provider.h"

namespace {

const char* const kFixture = R"({
  "Win32_Service": [
    {"Name": "Spooler", "State": "Stopped", "ProcessId": 0, "AcceptStop": true},
    {"Name": "Stuck", "State": "Running", "Odd": {"$type": "other", "value": "x"},
     "$fail": ["StopService"]}
  ],
  "Win32_ComputerSystem": [{"Name": "FUZZ", "SystemType": "x64-based PC"}]
})";

const char* const kSettings =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\Timer]\n"
    "@=\"300\"\n";

struct Scratch {
    std::string dir;
    std::unique_ptr<tw::platform::Clock> clock = tw::platform::posix::makeClock();

    Scratch() {
        char tmpl[] = "/tmp/bridge_server_fuzz.XXXXXX";
        if (!mkdtemp(tmpl)) tw::fuzz::broken("no scratch folder");
        dir = tmpl;
        std::ofstream(dir + "/wmi.json") << kFixture;
    }
    ~Scratch() { std::system(("rm -rf '" + dir + "'").c_str()); }
};

int memoryFile(std::string_view content) {
    int fd = memfd_create("bridge", MFD_CLOEXEC);
    if (fd < 0) tw::fuzz::broken("memfd_create");
    for (size_t done = 0; done < content.size();) {
        ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n <= 0) tw::fuzz::broken("write");
        done += static_cast<size_t>(n);
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
}

std::string contentOf(int fd) {
    std::string out;
    lseek(fd, 0, SEEK_SET);
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Scratch scratch;
    const std::string_view input = tw::fuzz::text(data, size);
    // Every run starts from the same machine.
    std::ofstream(scratch.dir + "/registry.reg", std::ios::trunc) << kSettings;
    auto store = tw::platform::makeFileSettingsStore(scratch.dir + "/registry.reg");
    auto provider =
        tw::platform::makeFixtureWmiProvider(scratch.dir + "/wmi.json", *scratch.clock, *store);

    int in = memoryFile(input), out = memoryFile({});
    tw::platform::bridge::ServeLimits limits;
    limits.maxLine = 1 << 20;
    TW_FUZZ_CHECK(tw::platform::bridge::serveBridge(in, out, *provider, "FUZZ", limits) == 0);
    const std::string answers = contentOf(out);
    close(in);
    close(out);

    size_t requests = 0;
    for (size_t pos = 0; pos < input.size();) {
        size_t end = input.find('\n', pos);
        if (end == std::string_view::npos) end = input.size();
        std::string_view line = input.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find_first_not_of(" \t") != std::string_view::npos) ++requests;
        pos = end + 1;
    }
    size_t lines = 0;
    for (size_t pos = 0; pos < answers.size(); ++lines) {
        const size_t end = answers.find('\n', pos);
        TW_FUZZ_CHECK(end != std::string::npos);
        auto a = nlohmann::ordered_json::parse(answers.substr(pos, end - pos), nullptr, false);
        TW_FUZZ_CHECK(a.is_object() && a.size() >= 2);
        TW_FUZZ_CHECK(a.begin().key() == "id");
        TW_FUZZ_CHECK(std::next(a.begin()).key() == "ok" && std::next(a.begin())->is_boolean());
        pos = end + 1;
    }
    TW_FUZZ_CHECK(lines >= requests);
    return 0;
}
