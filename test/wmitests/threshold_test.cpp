#include "agent/wmitests/threshold.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "base/twlog.h"
#include "test/support/log_capture.h"
#include "test/wmitests/fuzz_support.h"

namespace tw {
namespace {

const char kFormat[] = "The threshold format is not correct\r\n";

Threshold valid(DataType type, std::string_view field) {
    ThresholdCheck c = parsethreshold(type, field);
    EXPECT_TRUE(c.valid) << field << ": " << c.message;
    return c.threshold;
}

std::string rejection(DataType type, std::string_view field) {
    ThresholdCheck c = parsethreshold(type, field);
    EXPECT_FALSE(c.valid) << field;
    return c.message;
}

// Colours of a series of values under one threshold, as "value=colour" pairs.
std::string colours(const Threshold& t, std::initializer_list<const char*> values) {
    std::string out;
    for (const char* v : values) out += std::string(v) + "=" + thresholdcolor(t, v) + " ";
    return out;
}

TEST(Threshold, PlainNumbersWarnAtTheFirstAndPanicAtTheSecond) {
    Threshold t = valid(DataType::Numerical, "4:5");
    EXPECT_EQ(colours(t, {"3", "4", "4.5", "5", "100"}),
              "3=green 4=yellow 4.5=yellow 5=red 100=red ");
    t = valid(DataType::Numerical, "0:0");
    EXPECT_EQ(colours(t, {"0", "7", "-1"}), "0=red 7=red -1=green ");
}

TEST(Threshold, BandCutsTheNumberLineIntoFiveZones) {
    Threshold t = valid(DataType::Numerical, "10:20::80:90");
    EXPECT_EQ(colours(t, {"5", "10", "20", "50", "80", "90", "95"}),
              "5=red 10=yellow 20=green 50=green 80=yellow 90=red 95=red ");
    EXPECT_EQ(warningdisplay(t), "[10.000000,20.000000] [80.000000,90.000000]");
    EXPECT_EQ(panicdisplay(t), "(,10.000000] [90.000000,)");
    for (const char* bad : {"20:10::80:90", "10:20::90:80", "10:20::20:90", "90:80::20:10",
                            "10:20::80", "10::80:90", "1a:20::80:90", "10:20::80:9-0"})
        EXPECT_EQ(rejection(DataType::Numerical, bad), kFormat) << bad;
}

TEST(Threshold, BangStandsAloneOnItsSide) {
    Threshold t = valid(DataType::Numerical, "!1:");
    EXPECT_EQ(colours(t, {"1", "0", "2"}), "1=green 0=yellow 2=yellow ");
    EXPECT_EQ(warningdisplay(t), "!1");
    EXPECT_EQ(panicdisplay(t), "");
    t = valid(DataType::Numerical, ":!3.5");
    EXPECT_EQ(colours(t, {"3.5", "3"}), "3.5=green 3=red ");
    EXPECT_EQ(rejection(DataType::Numerical, "!1:5"),
              "The Panic threshold should be empty if '!' is defined for Warning\r\n");
    EXPECT_EQ(rejection(DataType::Numerical, "!1:!2"),
              "The Panic threshold should be empty if '!' is defined for Warning\r\n");
    EXPECT_EQ(rejection(DataType::Numerical, "5:!1"),
              "The Warning threshold should be empty if '!' is defined for Panic\r\n");
}

TEST(Threshold, RangesHonourTheirBracketsAndOpenBounds) {
    Threshold t = valid(DataType::Numerical, "[10,20](50,):[90,)");
    EXPECT_EQ(colours(t, {"9.99", "10", "20", "20.5", "50", "50.5", "89", "90"}),
              "9.99=green 10=yellow 20=yellow 20.5=green 50=green 50.5=yellow 89=yellow "
              "90=red ");
    EXPECT_EQ(warningdisplay(t), "[10,20](50,)");
    EXPECT_EQ(panicdisplay(t), "[90,)");

    // A missing bound is ten nines, excluded unless the bracket includes it.
    EXPECT_FALSE(matchexpression("(,5]", -9999999999.0));
    EXPECT_TRUE(matchexpression("(,5]", -9999999998.0));
    EXPECT_TRUE(matchexpression("[,5]", -9999999999.0));
    EXPECT_TRUE(matchexpression("(,5]", 5));
    EXPECT_FALSE(matchexpression("(1,)", 9999999999.0));
    EXPECT_TRUE(matchexpression("(1,]", 9999999999.0));
    EXPECT_FALSE(matchexpression("(1,]", 1e11));
    EXPECT_FALSE(matchexpression("", 0));
    EXPECT_TRUE(matchexpression("!", 1));  // "!" with no number differs from 0
    EXPECT_FALSE(matchexpression("!", 0));
}

TEST(Threshold, ExpressionFaultsAreReportedFirstMetWithTheirOwnMessage) {
    struct Case {
        const char* expr;
        const char* tail;
    } cases[] = {
        {"(10)", "',' is missed.\n"},
        {"5(10,20)", "a number can't be defined alone.\n"},
        {"-5", "'-' is not supported\n"},
        {"1 2", "' ' is not supported\n"},
        {"1!", "check the help document to find how to dfined '!'\n"},
        {"!(1,2)", "check the help document to find how to dfined '!'\n"},
        {"!!1", "check the help document to find how to dfined '!'\n"},
        {",(1,2)", "',' is not in right place.\n"},
        {"(1,2,3)", "',' is defined twice.\n"},
        {"((1,2)", "the range not in pair.\n"},
        {")", "the range not in pair.\n"},
        {"(1,2", "the range not in pair.\n"},
        {"(1,2)x(", "'x' is not supported\n"},  // the character check runs first
    };
    for (const Case& c : cases)
        EXPECT_EQ(checkexpression(c.expr).value_or("valid"),
                  std::string("The threshold ") + c.expr + " is not correct: " + c.tail);
    for (const char* ok : {"", "5", "5.5", "!", "!7", "[1,2]", "(,)", "[1,2](3,4][,9)", ",5"})
        EXPECT_FALSE(checkexpression(ok).has_value()) << ok;
}

TEST(Threshold, FieldLevelFaultsOfNumericalWarningPanic) {
    EXPECT_EQ(rejection(DataType::Numerical, ":"), "The threshold is not defined\r\n");
    EXPECT_EQ(rejection(DataType::Numerical, "5:"), "The Panic threshold is empty.\r\n");
    EXPECT_EQ(rejection(DataType::Numerical, ":5"), "The Warning threshold is empty.\r\n");
    EXPECT_EQ(rejection(DataType::Numerical, "5"), kFormat);
    EXPECT_EQ(rejection(DataType::Numerical, ""), kFormat);
    EXPECT_EQ(rejection(DataType::Numerical, "N/A"), kFormat);
    // Warning is checked before Panic; a second ":" fails Panic's characters.
    EXPECT_EQ(rejection(DataType::Numerical, "a:b"),
              "The threshold a is not correct: 'a' is not supported\n");
    EXPECT_EQ(rejection(DataType::Numerical, "4:5:6"),
              "The threshold 5:6 is not correct: ':' is not supported\n");
}

TEST(Threshold, StringListsPanicFirstAndCaseSensitive) {
    Threshold t = valid(DataType::String, "Unknown;Lost Comm;No Contact:Error;Pred Fail");
    EXPECT_EQ(thresholdcolor(t, "Pred Fail"), std::string("red"));
    EXPECT_EQ(thresholdcolor(t, "OK;Error"), std::string("red"));
    EXPECT_EQ(thresholdcolor(t, "Unknown"), std::string("yellow"));
    EXPECT_EQ(thresholdcolor(t, "Unknown;Pred Fail"), std::string("red"));
    EXPECT_EQ(thresholdcolor(t, "pred fail"), std::string("green"));
    EXPECT_EQ(thresholdcolor(t, "OK"), std::string("green"));
    EXPECT_EQ(thresholdcolor(t, ""), std::string("green"));  // no battery: no object
    EXPECT_EQ(warningdisplay(t), "Unknown;Lost Comm;No Contact");
    EXPECT_EQ(panicdisplay(t), "Error;Pred Fail");
    EXPECT_EQ(rejection(DataType::String, "A:B:C"), kFormat);
    EXPECT_EQ(rejection(DataType::String, "A;B"), kFormat);
    EXPECT_EQ(rejection(DataType::String, "A::B"), kFormat);
}

TEST(Threshold, EmptyListItemDoesNotTurnEveryValueRed) {
    Threshold t = valid(DataType::String, "W;;:A;");
    EXPECT_EQ(thresholdcolor(t, "xyz"), std::string("green"));
    EXPECT_EQ(thresholdcolor(t, "xAx"), std::string("red"));
    EXPECT_EQ(thresholdcolor(t, "W"), std::string("yellow"));
    EXPECT_EQ(thresholdcolor(valid(DataType::String, ":"), "anything"), std::string("green"));
}

TEST(Threshold, NaInAnyCaseForBothTypesIsGreenWithEmptyDisplays) {
    for (DataType type : {DataType::Numerical, DataType::String})
        for (const char* na : {"NA", "na", "Na", "nA"}) {
            Threshold t = valid(type, na);
            EXPECT_EQ(t.form, Threshold::Form::NA);
            EXPECT_EQ(thresholdcolor(t, "99"), std::string("green"));
            EXPECT_EQ(warningdisplay(t), "");
            EXPECT_EQ(panicdisplay(t), "");
        }
    EXPECT_EQ(rejection(DataType::String, "NAN"), kFormat);
}

TEST(Threshold, TextsBeyondTheirLimitsAreRejectedAsBadFormat) {
    const std::string n48(48, '1'), n49(49, '1');
    valid(DataType::Numerical, "0:1::2:" + n48);
    EXPECT_EQ(rejection(DataType::Numerical, "0:1::2:" + n49), kFormat);
    EXPECT_EQ(rejection(DataType::Numerical, "0:1::2:" + std::string(1100, '9')), kFormat);

    valid(DataType::Numerical, std::string(499, '1') + ":" + std::string(498, '2'));
    EXPECT_EQ(rejection(DataType::Numerical, std::string(500, '1') + ":5"), kFormat);
    EXPECT_EQ(rejection(DataType::Numerical, "5:" + std::string(499, '2')), kFormat);

    valid(DataType::String, std::string(1023, 'a') + ";b:c");
    EXPECT_EQ(rejection(DataType::String, std::string(1024, 'a') + ";b:c"), kFormat);
    EXPECT_EQ(rejection(DataType::String, "c:b;" + std::string(1024, 'a')), kFormat);
    EXPECT_EQ(rejection(DataType::String, std::string(2048, ';') + ":c"), kFormat);
}

TEST(Threshold, NumbersAreReadAsTheStandardReadingDoesRegardlessOfLocale) {
    EXPECT_EQ(readnumber("3;4"), 3);  // several objects: the first value counts
    EXPECT_EQ(readnumber("OK"), 0);
    EXPECT_EQ(readnumber(""), 0);
    EXPECT_EQ(readnumber("."), 0);
    EXPECT_EQ(readnumber(" \t12.5x"), 12.5);
    EXPECT_EQ(readnumber("-2"), -2);
    EXPECT_EQ(readnumber("+.5"), 0.5);
    EXPECT_EQ(readnumber("+-1"), 0);
    EXPECT_EQ(readnumber("0x1A"), 26);
    EXPECT_EQ(readnumber("0x"), 0);
    EXPECT_EQ(readnumber("1e3"), 1000);
    EXPECT_EQ(readnumber("1.2.3"), 1.2);
    EXPECT_TRUE(std::isinf(readnumber("1e400")) && readnumber("1e400") > 0);
    EXPECT_TRUE(std::isinf(readnumber("-" + std::string(400, '9'))));
    EXPECT_EQ(readnumber("0." + std::string(400, '0') + "1"), 0);
    EXPECT_EQ(readnumber("1e-400"), 0);
    EXPECT_TRUE(std::isinf(readnumber("0x1p99999")));
    EXPECT_EQ(readnumber("0x1.8p1"), 3);
    EXPECT_EQ(readnumber("0x.8"), 0.5);
    EXPECT_EQ(readnumber("1e+"), 1);
    EXPECT_EQ(readnumber("2E2x"), 200);
    EXPECT_EQ(readnumber("1e-310"), 1e-310);  // a subnormal keeps its value
    EXPECT_EQ(readnumber("-Infinity"), -HUGE_VAL);
    EXPECT_EQ(readnumber("inf;5"), HUGE_VAL);
    EXPECT_TRUE(std::isnan(readnumber("nan")));
    EXPECT_EQ(readnumber("in"), 0);
    // A 400-digit threshold is infinite, and no finite value reaches it.
    Threshold t = valid(DataType::Numerical, "1:" + std::string(400, '9'));
    EXPECT_EQ(thresholdcolor(t, "1e300"), std::string("yellow"));
}

TEST(Threshold, FailureMessageGoesToTheDiagnosticLog) {
    testing::LogCapture capture;  // a file of this test's own
    parsethreshold(DataType::Numerical, "5:");
    parsethreshold(DataType::Numerical, "(10):5");
    parsethreshold(DataType::Numerical, "4:5");
    DiagLog::instance().close();
    const std::string got = capture.raw();
    // The log file writes every line feed as CR LF.
    EXPECT_EQ(got,
              "The Panic threshold is empty.\r\r\n"
              "The threshold (10) is not correct: ',' is missed.\r\n");
}

// --- Robustness: arbitrary fields are either valid or carry one of the
// language's messages, and never crash or overrun.

const char* const kFieldMessages[] = {
    "The threshold format is not correct\r\n",
    "The threshold is not defined\r\n",
    "The Panic threshold should be empty if '!' is defined for Warning\r\n",
    "The Warning threshold should be empty if '!' is defined for Panic\r\n",
    "The Panic threshold is empty.\r\n",
    "The Warning threshold is empty.\r\n",
};
const char* const kExprTails[] = {
    "check the help document to find how to dfined '!'\n",
    "a number can't be defined alone.\n",
    "',' is not in right place.\n",
    "',' is defined twice.\n",
    "the range not in pair.\n",
    "',' is missed.\n",
};

bool isExpressionMessage(const std::string& m, std::string_view expr) {
    const std::string prefix = "The threshold " + std::string(expr) + " is not correct: ";
    if (m.compare(0, prefix.size(), prefix) != 0) return false;
    const std::string tail = m.substr(prefix.size());
    for (const char* t : kExprTails)
        if (tail == t) return true;
    size_t bad = expr.find_first_not_of("0123456789.!(),[]");
    return bad != std::string_view::npos &&
           tail == "'" + std::string(1, expr[bad]) + "' is not supported\n";
}

std::string number(fuzz::Gen& g) {
    std::string s = g.text("0123456789", 4);
    if (g.chance(20)) s += "." + g.text("0123456789", 3);
    return s;
}

std::string expression(fuzz::Gen& g) {
    switch (g.below(5)) {
        case 0:
            return "";
        case 1:
            return number(g);
        case 2:
            return "!" + number(g);
        case 3: {
            std::string e;
            for (size_t n = 1 + g.below(3); n > 0; --n)
                e += std::string(1, "(["[g.below(2)]) + (g.chance(70) ? number(g) : "") + "," +
                     (g.chance(70) ? number(g) : "") + ")]"[g.below(2)];
            return e;
        }
        default:
            return g.text("0123456789.!(),[]:-", 12);
    }
}

std::string thresholdfield(fuzz::Gen& g) {
    switch (g.below(6)) {
        case 0:
            return g.text("0123456789.:!()[],;NnAa -x", 40);
        case 1:
            return expression(g) + ":" + expression(g);
        case 2:
            return number(g) + ":" + number(g) + "::" + number(g) + ":" + number(g);
        case 3:
            return g.text("abc;: ", 30);
        case 4:  // around the length limits
            return std::string(g.lengthAround(kWarningTextMax), '1') + ":" +
                   (g.chance(50) ? std::string(g.lengthAround(kPanicTextMax), '2') : "!");
        default: {
            std::string s = g.text(std::string_view("\x00\x01\xff:;!()[],.0123456789NA", 24), 64);
            return g.chance(10) ? "na" : s;
        }
    }
}

void checkOne(DataType type, const std::string& field, fuzz::Gen& g, long& validCount) {
    ThresholdCheck c = parsethreshold(type, field);
    if (c.valid) {
        ++validCount;
        ASSERT_TRUE(c.message.empty());
        const Threshold& t = c.threshold;
        for (int i = 0; i < 3; ++i) {
            std::string value = g.chance(50) ? number(g) : g.text("0123456789.;-e abcPred", 12);
            std::string colour = thresholdcolor(t, value);
            ASSERT_TRUE(colour == "green" || colour == "yellow" || colour == "red") << field;
        }
        (void)warningdisplay(t);
        (void)panicdisplay(t);
        switch (t.form) {
            case Threshold::Form::NA:
                ASSERT_TRUE(field == "NA" || field == "na" || field == "Na" || field == "nA");
                break;
            case Threshold::Form::Band: {
                ASSERT_TRUE(t.minred < t.minyel && t.minyel < t.maxyel && t.maxyel < t.maxred);
                auto at = [&](double v) {
                    return std::string(thresholdcolor(t, strformat("%.17g", v)));
                };
                ASSERT_EQ(at(t.minred) + at(t.minyel) + at(t.maxyel) + at(t.maxred),
                          "yellowgreenyellowred")
                    << field;
                break;
            }
            case Threshold::Form::Expressions:
            case Threshold::Form::Lists:
                ASSERT_EQ(t.warning + ":" + t.panic, field);
                if (t.form == Threshold::Form::Expressions) {
                    ASSERT_FALSE(checkexpression(t.warning).has_value()) << field;
                    ASSERT_FALSE(checkexpression(t.panic).has_value()) << field;
                    ASSERT_FALSE(t.warning.empty() && t.panic.empty());
                }
                break;
        }
        return;
    }
    for (const char* m : kFieldMessages)
        if (c.message == m) return;
    ASSERT_TRUE(type == DataType::Numerical && field.find("::") == std::string::npos)
        << "only the format message fits " << field << ": " << c.message;
    const size_t colon = field.find(':');
    ASSERT_NE(colon, std::string::npos) << field;
    ASSERT_TRUE(isExpressionMessage(c.message, std::string_view(field).substr(0, colon)) ||
                isExpressionMessage(c.message, std::string_view(field).substr(colon + 1)))
        << field << ": " << c.message;
}

TEST(ThresholdFuzz, ArbitraryFieldsAreValidOrRejectedWithASpecifiedMessage) {
    fuzz::Gen g(fuzz::seed());
    const long n = fuzz::iterations();
    long validCount = 0;
    auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < n; ++i) {
        const DataType type = g.chance(70) ? DataType::Numerical : DataType::String;
        const std::string field = thresholdfield(g);
        checkOne(type, field, g, validCount);
        if (::testing::Test::HasFatalFailure()) return;
        // Expressions straight from the generator, validated or not.
        std::string e = expression(g);
        std::optional<std::string> m = checkexpression(e);
        ASSERT_TRUE(!m || isExpressionMessage(*m, e)) << e;
        (void)matchexpression(e, readnumber(number(g)));
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    std::printf("threshold fuzz: %ld fields, %ld valid, %lld ms\n", n, validCount,
                static_cast<long long>(ms));
    EXPECT_GT(validCount, n / 20);  // the generator reaches the valid forms too
}

}  // namespace
}  // namespace tw
