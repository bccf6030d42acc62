#include "base/exportfile.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace tw {
namespace {

struct Read {
    const char* file;
    std::vector<std::pair<std::string, std::string>> entries;  // name as spelt, text
};

class ExportFileReads : public ::testing::TestWithParam<Read> {};

TEST_P(ExportFileReads, TheSettingsItsLinesHold) {
    ExportReadError error;
    auto got = readExportText(GetParam().file, &error);
    ASSERT_TRUE(got) << error.line << ": " << error.what;
    std::vector<std::pair<std::string, std::string>> entries;
    for (const ExportEntry& e : *got) entries.emplace_back(e.name, e.text);
    EXPECT_EQ(entries, GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExportFileReads,
    ::testing::Values(Read{"", {}},
                      Read{"[Timer]300\r\n[tests]cpu:P\r\n[IPPort]1984\r\n",
                           {{"Timer", "300"}, {"tests", "cpu:P"}, {"IPPort", "1984"}}},
                      // LF line ends, and a last line without one.
                      Read{"[Timer]300\n[KeyCode]", {{"Timer", "300"}, {"KeyCode", ""}}},
                      // Only the CR of a line end goes; one of the text stays.
                      Read{"[PageLevels]red \r\r\n", {{"PageLevels", "red \r"}}},
                      // A page format's line breaks: the lines after WMITests continue it,
                      // a CR LF of the text (written CR CR LF) included.
                      Read{"[WMITests]a \"x\" \"Load: %value%\r\r\nDone\r\nEnd\"\r\n[WMIPool]\r\n",
                           {{"WMITests", "a \"x\" \"Load: %value%\r\nDone\nEnd\""},
                            {"WMIPool", ""}}},
                      Read{"[WMIPool]p\r\n[x\r\n\r\n", {{"WMIPool", "p\n[x\n"}}},
                      Read{"[Procs][svchost]:N:1\r\n", {{"Procs", "[svchost]:N:1"}}}));

using namespace std::string_literals;

struct Refusal {
    std::string file;
    int line;
    const char* what;
};

class ExportFileRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(ExportFileRefuses, ALineItCannotReadWithItsNumber) {
    ExportReadError error;
    EXPECT_FALSE(readExportText(GetParam().file, &error));
    EXPECT_EQ(error.line, GetParam().line);
    EXPECT_EQ(error.what, GetParam().what);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExportFileRefuses,
    ::testing::Values(
        Refusal{"Timer=300\r\n", 1, "not a setting's line (\"[name]text\")"},
        Refusal{"[Timer]300\r\n[Color]red\r\n", 2, "[Color] is not one of the agent's settings"},
        Refusal{"[Timer]300\r\n[Bad\x01]x\r\n", 2, "[Bad\\x01] is not one of the agent's settings"},
        // A line break in a setting of one line is not taken as part of it.
        Refusal{"[Timer]300\r\n120\r\n", 2, "not a setting's line (\"[name]text\")"},
        Refusal{"[Timer]300\r\n\r\n", 2, "not a setting's line (\"[name]text\")"},
        Refusal{"[WMITests]a\r\n[Nope]b\r\n", 2, "[Nope] is not one of the agent's settings"},
        Refusal{"[IPport]1\r\n[Timer]2\r\n[IPPort]3\r\n", 3,
                "[IPPort] again (line 1 gave IPport already)"},
        Refusal{"[Timer]3\r\n[Tests]a\0b\r\n"s, 2, "a zero byte; the file is not an export file"}));

// Every setting of the order, each with a text its setting can hold, comes
// back from the text-mode file as it went in.
TEST(ExportFile, EveryLineOfTheOrderReadsBackAsWritten) {
    std::string file;
    std::vector<std::string> texts;
    for (const char* name : kExportOrder) {
        const SettingDef& s = *findsetting(name);
        std::string text = std::string(name) + " text \\ \"q\"";
        if (exportSpansLines(s)) text += "\r\nline two\nthree\r";
        texts.push_back(text);
        file += exportLine(s.editorName, text);
    }
    auto got = readExportText(textModeLines(file), nullptr);
    ASSERT_TRUE(got);
    ASSERT_EQ(got->size(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ((*got)[i].setting, findsetting(kExportOrder[i]));
        EXPECT_EQ((*got)[i].text, texts[i]);
    }
}

}  // namespace
}  // namespace tw
