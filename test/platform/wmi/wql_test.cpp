#include "platform/wmi/wql.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/ascii.h"

namespace tw::platform {
namespace {

using Obj = std::map<std::string, WmiValue>;

bool matches(const std::string& wql, const Obj& obj) {
    auto q = parseWql(wql);
    EXPECT_TRUE(q) << wql;
    if (!q) return false;
    return wqlMatches(*q, [&](size_t slot) -> std::optional<WmiValue> {
        for (const auto& [name, value] : obj)
            if (equalsNoCase(name, q->whereNames[slot])) return value;
        return std::nullopt;
    });
}

TEST(Wql, SelectListsClassAndKeywordsInAnyCase) {
    auto q = parseWql("select Name, DisplayName ,State from Win32_Service");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->className, "Win32_Service");
    EXPECT_EQ(q->properties, (std::vector<std::string>{"Name", "DisplayName", "State"}));
    EXPECT_FALSE(q->where);
    auto star = parseWql("SELECT * FROM meta_class WHERE __Class LIKE \"Win32%\"");
    ASSERT_TRUE(star);
    EXPECT_TRUE(star->properties.empty());
    EXPECT_EQ(star->whereNames, std::vector<std::string>{"__Class"});
}

TEST(Wql, ReadsTheSelectedAndTheConditionsPropertiesInAnyCase) {
    auto star = parseWql("SELECT * FROM Win32_Process");
    auto some = parseWql("select Name, workingsetsize FROM Win32_Process WHERE ProcessId > 4");
    ASSERT_TRUE(star && some);
    EXPECT_TRUE(wqlReads(*star, "ThreadCount"));
    EXPECT_TRUE(wqlReads(*some, "NAME"));
    EXPECT_TRUE(wqlReads(*some, "WorkingSetSize"));
    EXPECT_TRUE(wqlReads(*some, "processid"));
    EXPECT_FALSE(wqlReads(*some, "ThreadCount"));
}

TEST(Wql, SyntaxErrorsNameTheirPosition) {
    WqlError e;
    EXPECT_FALSE(parseWql("SELECT FROM x", &e));
    EXPECT_EQ(e.position, 7u);
    EXPECT_FALSE(parseWql("SELECT a FROM b WHERE (a = 1", &e));
    EXPECT_EQ(e.position, 28u);
    EXPECT_FALSE(parseWql("SELECT a FROM b WHERE a = 'open", &e));
    EXPECT_EQ(e.position, 26u);
    EXPECT_FALSE(parseWql("SELECT a FROM b WHERE a 1", &e));
    EXPECT_FALSE(parseWql("SELECT a FROM b trailing", &e));
    EXPECT_FALSE(parseWql("", &e));
    EXPECT_FALSE(parseWql("SELECT a FROM b WHERE a = b", &e))
        << "two properties cannot be compared";
}

TEST(Wql, ComparisonsOfStringsIntegersAndBooleans) {
    Obj o{{"Name", WmiValue::string("Spooler")},
          {"DriveType", WmiValue::int32(3)},
          {"Started", WmiValue::boolean(true)},
          {"Size", WmiValue::string("107374182400")},
          {"Gone", WmiValue::null()}};
    EXPECT_TRUE(matches("SELECT * FROM c WHERE Name = 'spooler'", o)) << "strings ignore case";
    EXPECT_TRUE(matches("SELECT * FROM c WHERE name <> \"Other\"", o))
        << "property names ignore case";
    EXPECT_TRUE(matches("SELECT * FROM c WHERE Name != 'Other'", o));
    EXPECT_TRUE(matches("SELECT * FROM c WHERE Name < 'T' AND Name >= 'SPOOLER'", o));
    EXPECT_TRUE(matches("SELECT * FROM c WHERE DriveType = 3", o));
    EXPECT_TRUE(matches("SELECT * FROM c WHERE DriveType > 2 AND DriveType <= 3", o));
    EXPECT_TRUE(matches("SELECT * FROM c WHERE DriveType = '3'", o));
    EXPECT_TRUE(matches("SELECT * FROM c WHERE 4 > DriveType", o)) << "literal on the left";
    EXPECT_TRUE(matches("SELECT * FROM c WHERE Started = TRUE", o));
    EXPECT_FALSE(matches("SELECT * FROM c WHERE Started = false", o));
    EXPECT_TRUE(matches("SELECT * FROM c WHERE Size > 5000000000", o))
        << "uint64 text read as number";
    EXPECT_TRUE(matches("SELECT * FROM c WHERE Size > '99999999999'", o))
        << "numeric texts compare as numbers";
    EXPECT_FALSE(matches("SELECT * FROM c WHERE Gone = 'x' OR Gone <> 'x'", o))
        << "NULL compares false";
    EXPECT_FALSE(matches("SELECT * FROM c WHERE Missing = 1 OR Missing <> 1", o));
    EXPECT_TRUE(matches("SELECT * FROM c WHERE Gone IS NULL AND Name IS NOT NULL", o));
    EXPECT_TRUE(matches("SELECT * FROM c WHERE Gone = NULL", o));
}

TEST(Wql, AndOrNotAndParenthesesNest) {
    Obj o{{"A", WmiValue::int32(1)}, {"B", WmiValue::int32(2)}};
    EXPECT_TRUE(matches("SELECT * FROM c WHERE A = 1 OR A = 5 AND B = 9", o))
        << "AND binds tighter";
    EXPECT_FALSE(matches("SELECT * FROM c WHERE (A = 1 OR A = 5) AND B = 9", o));
    EXPECT_TRUE(matches("SELECT * FROM c WHERE NOT (A = 2) AND ((B = 2))", o));
    EXPECT_FALSE(matches("SELECT * FROM c WHERE NOT A = 1", o));
}

TEST(Wql, LikeWithPercentAndUnderscore) {
    EXPECT_TRUE(wqlLike("Win32_Service", "win32%"));
    EXPECT_TRUE(wqlLike("Win32_Service", "%serv%"));
    EXPECT_TRUE(wqlLike("C:", "_:"));
    EXPECT_FALSE(wqlLike("CD:", "_:"));
    EXPECT_TRUE(wqlLike("", "%"));
    EXPECT_TRUE(wqlLike("abcabc", "%a%c"));
    EXPECT_FALSE(wqlLike("abcab", "%a%c"));
    Obj o{{"Name", WmiValue::string("sshd")}, {"Id", WmiValue::int32(1234)}};
    EXPECT_TRUE(matches("SELECT * FROM c WHERE Name LIKE 'SSH%'", o));
    EXPECT_TRUE(matches("SELECT * FROM c WHERE Id LIKE '12__'", o));
    EXPECT_TRUE(matches("SELECT * FROM c WHERE Name NOT LIKE 'x%'", o));
}

TEST(Wql, DateTimeTextsCompareAsInstantsAcrossOffsets) {
    // 14:30 at UTC+2 is 12:30 UTC; 13:00 at UTC+0 is later.
    Obj o{{"TimeWritten", WmiValue::string("20121005143000.000000+120")}};
    EXPECT_TRUE(matches("SELECT * FROM c WHERE TimeWritten < '20121005130000.0+000'", o));
    EXPECT_TRUE(matches("SELECT * FROM c WHERE TimeWritten = '20121005083000.000000-240'", o));
    EXPECT_TRUE(matches("SELECT * FROM c WHERE TimeWritten > '20121005122959.0+000'", o));
    auto q = parseWql(
        "SELECT * FROM c WHERE LogFile='System' AND TimeWritten>'20121005120000.0+000' AND "
        "(TimeWritten >= '20121005130000.0+000' OR A = 1)");
    ASSERT_TRUE(q);
    EXPECT_EQ(wqlLowerTimeBound(*q, "timewritten"), int64_t{1349438400});
    auto none = parseWql("SELECT * FROM c WHERE TimeWritten > '2012' OR B = 1");
    EXPECT_FALSE(wqlLowerTimeBound(*none, "TimeWritten")) << "a bound under OR holds for no row";
}

}  // namespace
}  // namespace tw::platform
