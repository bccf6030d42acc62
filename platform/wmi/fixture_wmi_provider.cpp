// The fixture provider: answers ROOT\CIMV2 from the JSON file named by
// TWNT_WMI_FIXTURE (format: one key per class, an array of objects). The
// file is re-read when its modification time or size changes; a file that
// cannot be read or parsed makes every query fail with a reason that names
// the file and the position. Per-process state (query counts for $seq,
// service states set by StartService/StopService) survives re-reads.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>

#include "platform/ascii.h"
#include "platform/wmi/fixture_wmi_provider.h"
#include "platform/wmi/json_depth.h"
#include "platform/wmi/stdregprov.h"
#include "platform/wmi/wmi_datetime.h"
#include "platform/wmi/wmi_table.h"
#include "platform/wmi/wql.h"

namespace tw::platform {

namespace {

using Json = nlohmann::ordered_json;

bool readWhole(const std::string& path, std::string& out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// A property value as written in the file; $ago and $seq are resolved at
// query time.
struct Cell {
    enum Kind { Plain, Ago, Seq } kind = Plain;
    WmiValue value;
    int64_t ago = 0;
    std::vector<Cell> seq;
};

struct FixtureClass {
    std::shared_ptr<WmiClassShape> shape;
    std::vector<std::vector<std::optional<Cell>>> rows;
    std::vector<std::vector<std::string>> fails;  // per row: methods that fail
};

struct FixtureData {
    std::vector<FixtureClass> classes;
    std::map<std::string, size_t> byName;  // upper-cased class name
};

struct Malformed {
    std::string where, what;
};

std::optional<Cell> readCell(const Json& v, const std::string& where, Malformed& bad,
                             bool inSeq = false) {
    Cell c;
    switch (v.type()) {
        case Json::value_t::string:
            c.value = WmiValue::string(v.get<std::string>());
            return c;
        case Json::value_t::boolean:
            c.value = WmiValue::boolean(v.get<bool>());
            return c;
        case Json::value_t::null:
            return c;
        case Json::value_t::number_integer: {
            int64_t n = v.get<int64_t>();
            if (n < INT32_MIN || n > UINT32_MAX) break;
            // uint32 values travel as 32-bit integers, as WMI delivers them.
            c.value = WmiValue::int32(static_cast<int32_t>(static_cast<uint32_t>(n)));
            return c;
        }
        case Json::value_t::number_unsigned: {
            uint64_t n = v.get<uint64_t>();
            if (n > UINT32_MAX) break;
            c.value = WmiValue::int32(static_cast<int32_t>(static_cast<uint32_t>(n)));
            return c;
        }
        case Json::value_t::array:
            c.value = WmiValue::other(v.dump());
            return c;
        case Json::value_t::object: {
            if (v.size() == 1 && v.contains("$ago")) {
                const Json& n = v["$ago"];
                if (!n.is_number_integer()) {
                    bad = {where, "\"$ago\" needs a whole number of seconds"};
                    return std::nullopt;
                }
                c.kind = Cell::Ago;
                c.ago = n.get<int64_t>();
                return c;
            }
            if (v.size() == 1 && v.contains("$seq") && !inSeq) {
                const Json& a = v["$seq"];
                if (!a.is_array() || a.empty()) {
                    bad = {where, "\"$seq\" needs a non-empty array"};
                    return std::nullopt;
                }
                c.kind = Cell::Seq;
                for (size_t i = 0; i < a.size(); ++i) {
                    auto e = readCell(a[i], where + ".$seq[" + std::to_string(i) + "]", bad, true);
                    if (!e) return std::nullopt;
                    c.seq.push_back(std::move(*e));
                }
                return c;
            }
            if (v.contains("$type") && v["$type"] == "other" && v.size() <= 2) {
                c.value = WmiValue::other(v.contains("value") ? v["value"].dump() : "");
                return c;
            }
            bad = {where,
                   "an object value must be {\"$ago\": N}, {\"$seq\": [...]} or "
                   "{\"$type\": \"other\", \"value\": ...}"};
            return std::nullopt;
        }
        default:
            break;
    }
    bad = {where,
           "a number must be a 32-bit integer (write larger or fractional numbers as "
           "strings, as WMI delivers them)"};
    return std::nullopt;
}

std::optional<FixtureData> readFixture(const Json& doc, Malformed& bad) {
    if (!doc.is_object()) {
        bad = {"top level", "the file must hold one object with a key per class"};
        return std::nullopt;
    }
    FixtureData data;
    for (auto it = doc.begin(); it != doc.end(); ++it) {
        const std::string& cls = it.key();
        if (!it.value().is_array()) {
            bad = {cls, "a class must be an array of objects"};
            return std::nullopt;
        }
        FixtureClass fc;
        fc.shape = std::make_shared<WmiClassShape>(cls);
        const Json& objs = it.value();
        for (size_t r = 0; r < objs.size(); ++r) {
            const std::string where = cls + "[" + std::to_string(r) + "]";
            if (!objs[r].is_object()) {
                bad = {where, "an object expected"};
                return std::nullopt;
            }
            std::vector<std::optional<Cell>> row;
            std::vector<std::string> fails;
            for (auto p = objs[r].begin(); p != objs[r].end(); ++p) {
                if (p.key() == "$fail") {
                    if (!p.value().is_array()) {
                        bad = {where + ".$fail", "an array of method names expected"};
                        return std::nullopt;
                    }
                    for (const auto& m : p.value()) {
                        if (!m.is_string()) {
                            bad = {where + ".$fail", "an array of method names expected"};
                            return std::nullopt;
                        }
                        fails.push_back(toUpper(m.get<std::string>()));
                    }
                    continue;
                }
                auto cell = readCell(p.value(), where + "." + p.key(), bad);
                if (!cell) return std::nullopt;
                size_t col = fc.shape->add(p.key());
                if (row.size() <= col) row.resize(col + 1);
                row[col] = std::move(*cell);
            }
            fc.rows.push_back(std::move(row));
            fc.fails.push_back(std::move(fails));
        }
        const std::string key = toUpper(cls);
        if (data.byName.count(key)) {
            bad = {cls, "the class is given twice"};
            return std::nullopt;
        }
        data.byName[key] = data.classes.size();
        data.classes.push_back(std::move(fc));
    }
    return data;
}

std::string lineAndColumn(const std::string& text, size_t byte) {
    size_t line = 1, col = 1;
    for (size_t i = 0; i + 1 < byte && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            col = 1;
        } else {
            ++col;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(col);
}

// The fixture's data, or nullopt with where and why in error.
std::optional<FixtureData> parseFixtureText(const std::string& text, std::string& error) {
    if (nestedTooDeep(text)) {
        error = "(nested deeper than " + std::to_string(kMaxJsonDepth) + " levels)";
        return std::nullopt;
    }
    Json doc;
    try {
        doc = Json::parse(text);
    } catch (const Json::parse_error& e) {
        error = "at " + lineAndColumn(text, e.byte) + " (byte " + std::to_string(e.byte) +
                "): " + e.what();
        return std::nullopt;
    } catch (const std::exception& e) {
        error = std::string("(") + e.what() + ")";
        return std::nullopt;
    }
    Malformed bad;
    auto parsed = readFixture(doc, bad);
    if (!parsed) {
        error = "at " + bad.where + ": " + bad.what;
        return std::nullopt;
    }
    error.clear();
    return parsed;
}

}  // namespace

std::string fixtureTextError(const std::string& text) {
    std::string error;
    parseFixtureText(text, error);
    return error;
}

namespace {

// The parts of an object path Class.Key='value' (or "value").
struct ObjectPath {
    std::string cls, key, value;
};

std::optional<ObjectPath> parsePath(std::string_view path) {
    size_t dot = path.find('.');
    size_t eq = path.find('=');
    if (dot == std::string_view::npos || eq == std::string_view::npos || eq < dot)
        return std::nullopt;
    ObjectPath p;
    p.cls = std::string(path.substr(0, dot));
    p.key = std::string(path.substr(dot + 1, eq - dot - 1));
    std::string_view v = path.substr(eq + 1);
    if (v.size() >= 2 && (v.front() == '\'' || v.front() == '"') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    p.value = std::string(v);
    return p;
}

struct FixtureState {
    std::string path;
    Clock& clock;
    std::mutex mu;
    std::shared_ptr<const FixtureData> data;
    std::string loadError;
    bool stamped = false;
    int64_t mtimeNs = 0;
    int64_t size = -1;
    std::map<std::string, int> queried;               // upper class -> queries so far
    std::map<std::string, std::string> serviceState;  // upper service name -> State

    FixtureState(std::string p, Clock& c) : path(std::move(p)), clock(c) {}

    // Brings the parse up to date with the file; answers the data or
    // nullptr with loadError set. Called with mu held.
    std::shared_ptr<const FixtureData> current() {
        // std::filesystem rather than stat(): the Windows test build uses
        // this provider too.
        std::error_code ec;
        const auto when = std::filesystem::last_write_time(path, ec);
        const auto bytes = ec ? 0 : std::filesystem::file_size(path, ec);
        if (ec) {
            data.reset();
            stamped = false;
            loadError = "WMI fixture " + path + " cannot be read";
            return nullptr;
        }
        const int64_t mt =
            std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
        const int64_t sz = static_cast<int64_t>(bytes);
        if (stamped && mt == mtimeNs && sz == size) return data;
        stamped = true;
        mtimeNs = mt;
        size = sz;
        data.reset();
        // C stdio rather than streams: the streams would bring the whole
        // locale machinery into the program.
        std::string text;
        if (!readWhole(path, text)) {
            loadError = "WMI fixture " + path + " cannot be read";
            return nullptr;
        }
        auto parsed = parseFixtureText(text, loadError);
        if (!parsed) {
            loadError = "WMI fixture " + path + " is malformed " + loadError;
            return nullptr;
        }
        loadError.clear();
        data = std::make_shared<const FixtureData>(std::move(*parsed));
        return data;
    }

    WmiValue resolve(const Cell& c, int k, int64_t now) {
        switch (c.kind) {
            case Cell::Plain:
                return c.value;
            case Cell::Ago: {
                const int64_t t = now - c.ago;
                const long off = clock.localTime(t).utcOffsetSeconds;
                return WmiValue::string(
                    formatWmiDateTime(wmiDateTimeAt(t, static_cast<int>(off / 60))));
            }
            case Cell::Seq: {
                size_t i = static_cast<size_t>(k) < c.seq.size() ? static_cast<size_t>(k)
                                                                 : c.seq.size() - 1;
                return resolve(c.seq[i], k, now);
            }
        }
        return {};
    }

    WmiTable resolveTable(const FixtureClass& fc, int k) {
        WmiTable t;
        t.shape = fc.shape;
        const int64_t now = clock.now();
        const bool services = toUpper(fc.shape->name()) == "WIN32_SERVICE";
        auto nameCol = fc.shape->find("Name");
        t.rows.reserve(fc.rows.size());
        for (const auto& row : fc.rows) {
            WmiRowValues vals(fc.shape->columns().size());
            for (size_t i = 0; i < row.size(); ++i)
                if (row[i]) vals[i] = resolve(*row[i], k, now);
            if (services && nameCol && vals[*nameCol] && vals[*nameCol]->type == WmiType::String) {
                auto it = serviceState.find(toUpper(vals[*nameCol]->s));
                if (it != serviceState.end()) t.set(vals, "State", WmiValue::string(it->second));
            }
            t.rows.push_back(std::move(vals));
        }
        return t;
    }

    // The row of a keyed path, or -1.
    int findRow(const FixtureData& d, const ObjectPath& p, const FixtureClass** fcOut) {
        auto it = d.byName.find(toUpper(p.cls));
        if (it == d.byName.end()) return -1;
        const FixtureClass& fc = d.classes[it->second];
        *fcOut = &fc;
        auto col = fc.shape->find(p.key);
        if (!col) return -1;
        for (size_t r = 0; r < fc.rows.size(); ++r) {
            const auto& row = fc.rows[r];
            if (*col < row.size() && row[*col] && row[*col]->kind == Cell::Plain) {
                const WmiValue& v = row[*col]->value;
                if (v.type == WmiType::String && toUpper(v.s) == toUpper(p.value))
                    return static_cast<int>(r);
                if (v.type == WmiType::Int32 && std::to_string(v.i) == p.value)
                    return static_cast<int>(r);
            }
        }
        return -1;
    }
};

class FixtureConnection final : public WmiConnection {
  public:
    explicit FixtureConnection(std::shared_ptr<FixtureState> st) : st_(std::move(st)) {}

    std::unique_ptr<WmiEnumerator> query(std::string_view wql) override {
        WqlError perr;
        auto q = parseWql(wql, &perr);
        if (!q) {
            error_ =
                "invalid query at position " + std::to_string(perr.position) + ": " + perr.what;
            return nullptr;
        }
        std::lock_guard<std::mutex> g(st_->mu);
        auto data = st_->current();
        if (!data) {
            error_ = st_->loadError;
            return nullptr;
        }
        if (isMetaClass(q->className)) {
            std::vector<std::shared_ptr<const WmiClassShape>> shapes;
            for (const auto& c : data->classes) shapes.push_back(c.shape);
            return selectMetaClass(*q, shapes);
        }
        auto it = data->byName.find(toUpper(q->className));
        if (it == data->byName.end()) {
            error_ = "class " + q->className + " is not in WMI fixture " + st_->path;
            return nullptr;
        }
        int k = st_->queried[it->first]++;
        return selectFromTable(*q, st_->resolveTable(data->classes[it->second], k));
    }

    std::unique_ptr<WmiObject> getObject(std::string_view path) override {
        std::lock_guard<std::mutex> g(st_->mu);
        auto data = st_->current();
        if (!data) {
            error_ = st_->loadError;
            return nullptr;
        }
        auto p = parsePath(path);
        if (!p) {
            // A class object by its name.
            auto it = data->byName.find(toUpper(path));
            if (it == data->byName.end()) {
                error_ = "no object " + std::string(path) + " in WMI fixture " + st_->path;
                return nullptr;
            }
            return makeClassObject(data->classes[it->second].shape);
        }
        const FixtureClass* fc = nullptr;
        int r = st_->findRow(*data, *p, &fc);
        if (r < 0) {
            error_ = "no object " + std::string(path) + " in WMI fixture " + st_->path;
            return nullptr;
        }
        const int k = st_->queried[toUpper(fc->shape->name())];
        FixtureClass single{fc->shape, {fc->rows[static_cast<size_t>(r)]}, {}};
        WmiTable t = st_->resolveTable(single, k);
        return makeTableObject(t.shape, std::move(t.rows[0]));
    }

    std::unique_ptr<WmiObject> execMethod(std::string_view path, std::string_view method,
                                          const WmiObject*) override {
        std::lock_guard<std::mutex> g(st_->mu);
        auto data = st_->current();
        if (!data) {
            error_ = st_->loadError;
            return nullptr;
        }
        auto p = parsePath(path);
        const std::string m = toUpper(method);
        if (!p || toUpper(p->cls) != "WIN32_SERVICE" ||
            (m != "STARTSERVICE" && m != "STOPSERVICE")) {
            error_ = "no method " + std::string(method) + " on " + std::string(path);
            return nullptr;
        }
        const FixtureClass* fc = nullptr;
        int r = st_->findRow(*data, *p, &fc);
        if (r < 0) {
            error_ = "no object " + std::string(path) + " in WMI fixture " + st_->path;
            return nullptr;
        }
        for (const auto& f : fc->fails[static_cast<size_t>(r)])
            if (f == m) {
                error_ = std::string(method) + " fails on " + std::string(path) + " by the fixture";
                return nullptr;
            }
        st_->serviceState[toUpper(p->value)] = m == "STARTSERVICE" ? "Running" : "Stopped";
        auto out = std::make_unique<WmiPropertyBag>();
        out->set("ReturnValue", WmiValue::int32(0));
        return out;
    }

    std::string lastError() const override { return error_; }

  private:
    std::shared_ptr<FixtureState> st_;
    std::string error_;
};

class FixtureWmiProvider final : public WmiProvider {
  public:
    FixtureWmiProvider(std::string path, Clock& clock, SettingsStore& store, HostInfo* host)
        : st_(std::make_shared<FixtureState>(std::move(path), clock)), store_(store), host_(host) {}

    WmiConnectResult connect(const std::string& server, const std::string& ns) override {
        WmiConnectResult r;
        if (!isLocalWmiServer(server, host_)) {
            r.error = "no WMI connection to " + server + " from this host";
            return r;
        }
        const std::string n = toUpper(ns);
        if (n == "ROOT\\CIMV2")
            r.connection = std::make_unique<FixtureConnection>(st_);
        else if (n == "ROOT\\DEFAULT")
            r.connection = makeStdRegProvConnection(store_);
        else
            r.error = "namespace " + ns + " is not served";
        return r;
    }

  private:
    std::shared_ptr<FixtureState> st_;
    SettingsStore& store_;
    HostInfo* host_;
};

}  // namespace

std::unique_ptr<WmiProvider> makeFixtureWmiProvider(std::string path, Clock& clock,
                                                    SettingsStore& store, HostInfo* host) {
    return std::make_unique<FixtureWmiProvider>(std::move(path), clock, store, host);
}

}  // namespace tw::platform
