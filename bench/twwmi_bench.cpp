// The WMI bridge against the same work done locally: a 10,000-row query
// (every property of every object) and 1,000 StdRegProv reads, once through
// the fixture provider in this process and once through `twwmi --serve` of
// this build behind the remote provider (loopback socket, no ssh). And the
// reading of the query's answer lines alone: the bridge's own reader
// against the same objects built from nlohmann_json's SAX events.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "platform/bridge/remote_wmi_provider.h"
#include "platform/bridge/wmi_bridge.h"
#include "platform/posix/file_settings_store.h"
#include "platform/wmi/fixture_wmi_provider.h"
#include "platform/wmi/wmi_table.h"
#include "test/support/manual_clock.h"

namespace {

using namespace tw::platform;

constexpr int kRows = 10000;
constexpr int kReads = 1000;
const std::string kKey = "SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\";

std::string twwmiPath() {
    return TW_BINARY_DIR "/twwmi";
}

// A process table of kRows objects and a settings file with the agent's 29
// settings, as a machine would have them.
struct Machine {
    std::string fixture = "/tmp/twnt-bench-twwmi-" + std::to_string(getpid()) + ".json";
    std::string registry = "/tmp/twnt-bench-twwmi-" + std::to_string(getpid()) + ".reg";
    tw::testing::ManualClock clock{1349447400};
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<WmiProvider> local, remote;

    Machine() {
        std::ofstream out(fixture, std::ios::trunc);
        out << "{\"Win32_Process\": [";
        for (int i = 0; i < kRows; ++i)
            out << (i ? "," : "") << "{\"Name\": \"process" << i % 300
                << ".exe\", \"ProcessId\": " << i << ", \"ParentProcessId\": " << i / 7
                << ", \"ThreadCount\": " << i % 40 << ", \"WorkingSetSize\": \"" << i * 4096
                << "\", \"CommandLine\": \"/usr/bin/process" << i % 300
                << " --option value\", \"Caption\": \"process" << i % 300
                << "\", \"Responding\": true}";
        out << "]}";
        out.close();
        std::remove(registry.c_str());
        store = makeFileSettingsStore(registry);
        for (int i = 0; i < 29; ++i)
            store->setValue("HKEY_LOCAL_MACHINE\\" + kKey + "Setting" + std::to_string(i), "",
                            RegValue::sz("value of setting " + std::to_string(i)));
        local = makeFixtureWmiProvider(fixture, clock, *store);
        remote =
            makeRemoteWmiProvider("env TWNT_WMI_FIXTURE=" + fixture + " TWNT_REGISTRY=" + registry +
                                  " " + twwmiPath() + " --serve");
    }
    ~Machine() {
        std::remove(fixture.c_str());
        std::remove(registry.c_str());
        std::remove((registry + ".lock").c_str());
    }
};

size_t selectAll(WmiConnection& c) {
    auto e = c.query("SELECT * FROM Win32_Process");
    size_t n = 0;
    std::unique_ptr<WmiObject> o;
    while (e && e->next(30000, o) == WmiNext::Object) {
        for (const auto& name : o->propertyNames()) benchmark::DoNotOptimize(o->get(name));
        ++n;
    }
    return n;
}

// CPU seconds of this process's ended children (twwmi, once its
// connection is closed).
double childCpu() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The bridge's far side works in parallel with this process; its CPU time
// per iteration is reported as "twwmi_cpu_ms" (wall and CPU columns are
// this process's).
void reportServerCpu(benchmark::State& state, double before) {
    if (state.iterations() > 0)
        state.counters["twwmi_cpu_ms"] =
            (childCpu() - before) * 1000 / static_cast<double>(state.iterations());
}

void query(benchmark::State& state, bool remote) {
    Machine m;
    const double before = childCpu();
    auto r = (remote ? m.remote : m.local)->connect(remote ? "BENCHHOST" : "", kCimv2);
    if (!r.connection) {
        state.SkipWithError(r.error.c_str());
        return;
    }
    size_t n = 0;
    for (auto _ : state) n = selectAll(*r.connection);
    state.counters["objects"] = static_cast<double>(n);
    r.connection.reset();
    if (remote) reportServerCpu(state, before);
}

void BM_LocalQuery10000(benchmark::State& state) {
    query(state, false);
}
void BM_BridgeQuery10000(benchmark::State& state) {
    query(state, true);
}
BENCHMARK(BM_LocalQuery10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BridgeQuery10000)->Unit(benchmark::kMillisecond);

void reads(benchmark::State& state, bool remote) {
    Machine m;
    const double before = childCpu();
    auto r = (remote ? m.remote : m.local)->connect(remote ? "BENCHHOST" : "", kDefaultNamespace);
    if (!r.connection) {
        state.SkipWithError(r.error.c_str());
        return;
    }
    WmiPropertyBag in;
    in.set("hDefKey", WmiValue::string("2147483650"));
    size_t found = 0;
    for (auto _ : state) {
        found = 0;
        for (int i = 0; i < kReads; ++i) {
            in.set("sSubKeyName", WmiValue::string(kKey + "Setting" + std::to_string(i % 29)));
            auto out = r.connection->execMethod("StdRegProv", "GetStringValue", &in);
            found += out && out->get("sValue")->type == WmiType::String;
        }
    }
    if (found != kReads) state.SkipWithError("a read failed");
    // Per read: the time per iteration divided by 1,000.
    state.counters["reads"] =
        benchmark::Counter(kReads, benchmark::Counter::kIsIterationInvariantRate);
    r.connection.reset();
    if (remote) reportServerCpu(state, before);
}

void BM_LocalStdRegProvReads1000(benchmark::State& state) {
    reads(state, false);
}
void BM_BridgeStdRegProvReads1000(benchmark::State& state) {
    reads(state, true);
}
BENCHMARK(BM_LocalStdRegProvReads1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BridgeStdRegProvReads1000)->Unit(benchmark::kMillisecond);

// The answer lines of the 10,000-row query as twwmi writes them (batches of
// at most 500 objects or about 64 KiB).
std::vector<std::string> answerLines() {
    Machine m;
    auto r = m.local->connect("", kCimv2);
    std::vector<std::string> lines;
    if (!r.connection) return lines;
    auto e = r.connection->query("SELECT * FROM Win32_Process");
    bridge::BatchWriter batch;
    auto flush = [&](bool more) {
        std::string line = "{\"id\":1,\"ok\":true,";
        line += more ? "\"more\":true," : "\"more\":false,";
        batch.take(line);
        lines.push_back(line + "}");
    };
    std::unique_ptr<WmiObject> o;
    while (e && e->next(30000, o) == WmiNext::Object) {
        batch.add(*o, bridge::kMaxLine);
        if (batch.count() >= 500 || batch.bytes() >= 64 * 1024) flush(true);
    }
    flush(false);
    return lines;
}

// A batch answer read from nlohmann_json's SAX events into the objects that
// the bridge's reader makes: class shapes shared by their rows, values
// typed as the protocol types them. (Only the batch answer: what a switch
// of the reader would have to match first.)
class SaxBatchReader final : public nlohmann::json_sax<nlohmann::json> {
  public:
    std::vector<std::unique_ptr<WmiObject>> objects;

    bool read(const std::string& line) {
        depth_ = 0;
        section_ = Section::None;
        objects.clear();
        return nlohmann::json::sax_parse(line, this);
    }

    bool null() override { return scalar(WmiValue::null()); }
    bool boolean(bool v) override { return scalar(WmiValue::boolean(v)); }
    bool number_integer(number_integer_t v) override { return integer(v); }
    bool number_unsigned(number_unsigned_t v) override {
        return v <= INT64_MAX && integer(static_cast<int64_t>(v));
    }
    bool number_float(number_float_t, const string_t&) override { return false; }
    bool binary(binary_t&) override { return false; }
    bool string(string_t& v) override {
        if (section_ == Section::Classes && depth_ == 3) {
            if (first_) {
                className_ = std::move(v);
                hasClass_ = true;
                first_ = false;
            } else {
                names_.push_back(std::move(v));
            }
            return true;
        }
        if (depth_ == 4 && section_ == Section::Rows) {
            if (typedKey_ == "$type")
                type_ = std::move(v);
            else if (typedKey_ == "value")
                typedValue_ = std::move(v);
            else if (typedKey_ == "bytes")
                bytes_ = std::move(v);
            return true;
        }
        return scalar(WmiValue::string(std::move(v)));
    }
    bool start_object(std::size_t) override {
        ++depth_;
        if (depth_ == 4) {
            type_.clear();
            typedValue_.clear();
            bytes_.clear();
        }
        return depth_ == 1 || (depth_ == 4 && section_ == Section::Rows);
    }
    bool key(string_t& k) override {
        if (depth_ == 1) {
            section_ = k == "classes" ? Section::Classes
                       : k == "rows"  ? Section::Rows
                                      : Section::None;
        } else {
            typedKey_ = std::move(k);
        }
        return true;
    }
    bool end_object() override {
        if (depth_-- == 4) {
            if (type_ == "absent") return value(std::nullopt);
            if (type_ == "other") return value(WmiValue::other(typedValue_));
            if (type_ == "string") {
                auto text = bridge::fromHex(bytes_);
                return text && value(WmiValue::string(std::move(*text)));
            }
            return false;
        }
        return true;
    }
    bool start_array(std::size_t) override {
        ++depth_;
        if (depth_ == 3 && section_ == Section::Classes) {
            first_ = true;
            hasClass_ = false;
            names_.clear();
        }
        if (depth_ == 3 && section_ == Section::Rows) {
            shape_ = nullptr;
            row_.clear();
        }
        if (depth_ == 2 && section_ == Section::Classes) shapes_.clear();
        return true;
    }
    bool end_array() override {
        if (depth_-- != 3) return true;
        if (section_ == Section::Classes) {
            if (!hasClass_) return false;
            bool same =
                last_ && last_->name() == className_ && last_->columns().size() == names_.size();
            for (size_t i = 0; same && i < names_.size(); ++i)
                same = last_->columns()[i] == names_[i];
            if (!same) {
                last_ = std::make_shared<WmiClassShape>(className_);
                for (const auto& n : names_) last_->add(n);
            }
            shapes_.push_back(last_);
            return true;
        }
        if (!shape_ || row_.size() != shape_->columns().size()) return false;
        objects.push_back(makeTableObject(shape_, std::move(row_)));
        row_ = WmiRowValues();
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

  private:
    enum class Section { None, Classes, Rows };

    bool integer(int64_t v) {
        if (section_ == Section::Rows && depth_ == 3 && !shape_) {
            if (v < 0 || static_cast<size_t>(v) >= shapes_.size()) return false;
            shape_ = shapes_[static_cast<size_t>(v)];
            row_.reserve(shape_->columns().size());
            return true;
        }
        auto i = bridge::int32Of(v);
        return i && scalar(WmiValue::int32(*i));
    }
    bool scalar(WmiValue v) {
        return depth_ != 3 || section_ != Section::Rows || value(std::move(v));
    }
    bool value(std::optional<WmiValue> v) {
        if (!shape_) return false;
        row_.push_back(std::move(v));
        return true;
    }

    int depth_ = 0;
    Section section_ = Section::None;
    bool first_ = false, hasClass_ = false;
    std::string className_, typedKey_, type_, typedValue_, bytes_;
    std::vector<std::string> names_;
    std::shared_ptr<WmiClassShape> last_, shape_;
    std::vector<std::shared_ptr<WmiClassShape>> shapes_;
    WmiRowValues row_;
};

void BM_AnswerLinesHandReader(benchmark::State& state) {
    const auto lines = answerLines();
    bridge::AnswerReader reader;
    size_t n = 0;
    for (auto _ : state) {
        n = 0;
        for (const auto& l : lines) {
            std::string why;
            auto a = reader.read(l, &why);
            if (!a) {
                state.SkipWithError(why.c_str());
                return;
            }
            n += a->objects.size();
        }
    }
    state.counters["objects"] = static_cast<double>(n);
}

void BM_AnswerLinesSaxReader(benchmark::State& state) {
    const auto lines = answerLines();
    SaxBatchReader reader;
    size_t n = 0;
    for (auto _ : state) {
        n = 0;
        for (const auto& l : lines) {
            if (!reader.read(l)) {
                state.SkipWithError("a line was not read");
                return;
            }
            n += reader.objects.size();
        }
    }
    state.counters["objects"] = static_cast<double>(n);
}
BENCHMARK(BM_AnswerLinesHandReader)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnswerLinesSaxReader)->Unit(benchmark::kMillisecond);

}  // namespace
