#include "agent/wmi/fetch.h"

#include <gtest/gtest.h>

#include "wmi_test_support.h"

namespace tw {
namespace {

using tw::testing::FixturePlatform;

struct Rec {
    std::string name, flag;
    double size = 0, strict = 0;
    int type = -1;
    int64_t when = -1;
};

const FetchDef kDef{"SELECT * FROM Win32_Thing", 10, "in wmithing\n", "size=%d leave wmithing\n"};

void readRec(const WmiRow& row, Rec& r) {
    r.name = row.text("Name");
    r.size = row.number("Size");
    r.strict = row.stringNumber("Size");
    if (row.value("DriveType")) r.type = row.int32("DriveType");
    r.flag = row.boolText("Flag");
    if (row.value("When")) r.when = row.datetime("When");
}

TEST(FetchRecords, TypedReadsTruncationAndUntouchedFields) {
    const std::string longName(150, 'n');
    FixturePlatform f(R"({"Win32_Thing": [
        {"Name": ")" + longName +
                      R"(", "Size": "107374182400.5", "DriveType": 3, "Flag": true,
         "When": "20121005163000.000000+120"},
        {"Name": 7, "Size": 42, "DriveType": "3", "Flag": false, "When": "garbage"},
        {"Flag": 1}
    ]})");
    WmiSession s(f.p);
    ASSERT_TRUE(s.open());
    auto recs = fetchrecords<Rec>(s, kDef, readRec);
    ASSERT_TRUE(recs);
    ASSERT_EQ(recs->size(), 3u);
    const Rec& a = (*recs)[0];
    EXPECT_EQ(a.name, std::string(99, 'n')) << "a 100-byte field keeps 99 characters";
    EXPECT_DOUBLE_EQ(a.size, 107374182400.5);
    EXPECT_EQ(a.type, 3);
    EXPECT_EQ(a.flag, "true");
    EXPECT_EQ(a.when, 1349447400);
    const Rec& b = (*recs)[1];
    EXPECT_EQ(b.name, "") << "an integer is not taken as text";
    EXPECT_EQ(b.size, 42) << "a 32-bit integer is read directly";
    EXPECT_EQ(b.strict, 0) << "stringNumber takes strings only";
    EXPECT_EQ(b.type, 0) << "a text is not taken as a 32-bit integer";
    EXPECT_EQ(b.flag, "false");
    EXPECT_EQ(b.when, 0);
    const Rec& c = (*recs)[2];
    EXPECT_EQ(c.type, -1) << "a property that cannot be read keeps the initial value";
    EXPECT_EQ(c.when, -1);
    EXPECT_EQ(c.flag, "");
    platform::WmiPropertyBag bag;
    bag.set("Name", platform::WmiValue::string("abc"));
    EXPECT_EQ(WmiRow(bag).text("Name", 1), "") << "a 1-byte field holds only its terminator";
    EXPECT_EQ(WmiRow(bag).text("Name", 3), "ab");
}

TEST(FetchRecords, CapacityLogLinesAndFailures) {
    tw::testing::TempDir dir;
    const std::string log = dir.file("TW.LOG");
    ASSERT_TRUE(DiagLog::instance().open(log));
    FixturePlatform f(R"({"Win32_Thing": [{"Name": "a"}, {"Name": "b"}, {"Name": "c"}]})");
    WmiSession s(f.p);
    ASSERT_TRUE(s.open());
    FetchDef two = kDef;
    two.maxRecords = 2;
    auto recs = fetchrecords<Rec>(s, two, readRec);
    ASSERT_TRUE(recs);
    EXPECT_EQ(recs->size(), 2u);
    FetchDef bad = kDef;
    bad.query = "SELECT * FROM Win32_Other";
    EXPECT_FALSE(fetchrecords<Rec>(s, bad, readRec));
    DiagLog::instance().close();
    const std::string text = tw::testing::readAll(log);
    EXPECT_EQ(text.substr(0, text.find("WMI query failed")),
              "in wmithing\r\nsize=2 leave wmithing\r\nin wmithing\r\n");
    s.close();
    EXPECT_FALSE(fetchrecords<Rec>(s, kDef, readRec)) << "closed session";
}

// Objects, then a source that stops answering.
class StallingEnumerator final : public platform::WmiEnumerator {
  public:
    std::vector<int>* waits;
    int given = 0;
    explicit StallingEnumerator(std::vector<int>* w) : waits(w) {}
    platform::WmiNext next(int timeoutMs, std::unique_ptr<platform::WmiObject>& out) override {
        waits->push_back(timeoutMs);
        if (given == 2) return platform::WmiNext::Timeout;
        auto o = std::make_unique<platform::WmiPropertyBag>();
        o->set("Name", platform::WmiValue::string("r" + std::to_string(given++)));
        out = std::move(o);
        return platform::WmiNext::Object;
    }
    std::string lastError() const override { return {}; }
};

class StallingProvider final : public platform::WmiProvider, public platform::WmiConnection {
  public:
    std::vector<int> waits;
    platform::WmiConnectResult connect(const std::string&, const std::string&) override {
        platform::WmiConnectResult r;
        r.connection = std::unique_ptr<platform::WmiConnection>(new Forward(*this));
        return r;
    }
    std::unique_ptr<platform::WmiEnumerator> query(std::string_view) override {
        return std::make_unique<StallingEnumerator>(&waits);
    }
    std::unique_ptr<platform::WmiObject> getObject(std::string_view) override { return nullptr; }
    std::unique_ptr<platform::WmiObject> execMethod(std::string_view, std::string_view,
                                                    const platform::WmiObject*) override {
        return nullptr;
    }
    std::string lastError() const override { return {}; }

  private:
    struct Forward final : platform::WmiConnection {
        StallingProvider& p;
        explicit Forward(StallingProvider& s) : p(s) {}
        std::unique_ptr<platform::WmiEnumerator> query(std::string_view q) override {
            return p.query(q);
        }
        std::unique_ptr<platform::WmiObject> getObject(std::string_view x) override {
            return p.getObject(x);
        }
        std::unique_ptr<platform::WmiObject> execMethod(std::string_view a, std::string_view b,
                                                        const platform::WmiObject* c) override {
            return p.execMethod(a, b, c);
        }
        std::string lastError() const override { return {}; }
    };
};

TEST(FetchRecords, WaitsThirtySecondsPerObjectAndKeepsWhatCameBeforeATimeout) {
    StallingProvider provider;
    tw::testing::FakePlatform fp({.wmi = &provider});
    WmiSession s(fp.p);
    ASSERT_TRUE(s.open());
    auto recs = fetchrecords<Rec>(s, kDef, readRec);
    ASSERT_TRUE(recs);
    ASSERT_EQ(recs->size(), 2u);
    EXPECT_EQ((*recs)[1].name, "r1");
    EXPECT_EQ(provider.waits, (std::vector<int>{30000, 30000, 30000}));
}

TEST(FetchWithRetry, SleepsFiveSecondsBetweenEmptyAnswersUpToOneHundredAttempts) {
    FixturePlatform f("{}");
    WmiSession s(f.p);
    ASSERT_TRUE(s.open());
    int calls = 0;
    auto third = fetchwithretry<int>(s, [&]() -> std::optional<std::vector<int>> {
        ++calls;
        if (calls == 1) return std::nullopt;
        if (calls == 2) return std::vector<int>{};
        return std::vector<int>{7};
    });
    ASSERT_TRUE(third);
    EXPECT_EQ(*third, std::vector<int>{7});
    EXPECT_EQ(f.clock.sleptMs(), (std::vector<int64_t>{5000, 5000}));

    calls = 0;
    const size_t before = f.clock.sleptMs().size();
    auto never = fetchwithretry<int>(s, [&] {
        ++calls;
        return std::optional<std::vector<int>>(std::vector<int>{});
    });
    EXPECT_FALSE(never);
    EXPECT_EQ(calls, 100);
    EXPECT_EQ(f.clock.sleptMs().size() - before, 99u);

    calls = 0;
    f.clock.stopOnSleep = true;
    EXPECT_FALSE(fetchwithretry<int>(s, [&] {
        ++calls;
        return std::optional<std::vector<int>>();
    }));
    EXPECT_EQ(calls, 1) << "a stop during the sleep ends the retries";
}

TEST(FetchWithRetry, ClosedSessionDoesNotHoldTheCycleForMinutes) {
    FixturePlatform f("{}");
    WmiSession s(f.p);
    int calls = 0;
    EXPECT_FALSE(fetchwithretry<int>(s, [&] {
        ++calls;
        return std::optional<std::vector<int>>();
    }));
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(f.clock.sleptMs().empty());
}

}  // namespace
}  // namespace tw
