#include "tools/twsetting/settingscopy.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "base/exportfile.h"
#include "base/settings.h"
#include "platform/posix/file_settings_store.h"
#include "test/support/fake_platform.h"

namespace tw::setting {
namespace {

using platform::RegValue;
using testing::MemorySettingsStore;
using testing::TempDir;

const std::string kKey = std::string(kHklm) + kSettingsKey;

struct Outcome {
    int status;
    std::string out, err;
};

Outcome import(std::string_view text, platform::SettingsStore& store, bool dryRun = false) {
    std::ostringstream out, err;
    int status = importSettings(text, "in.cfg", dryRun, store, out, err);
    return {status, out.str(), err.str()};
}

std::string exported(platform::SettingsStore& store) {
    std::string why;
    std::ostringstream warn;
    auto text = exportSettings(store, why, warn);
    EXPECT_TRUE(text) << why;
    return text.value_or("");
}

// Texts that the registry file and the export file each escape or break:
// quotes, backslashes, bytes above 0x7E, blanks at both ends, CR and LF in
// the page formats of the WMI tests.
std::string oddText(const SettingDef& s) {
    std::string t = std::string(" ") + s.name + " \"q\" C:\\dir\\ caf\xc3\xa9 \xff\t";
    if (exportSpansLines(s)) t += "\r\nnext \"%value%\"\nlast\r";
    return t;
}

TEST(SettingsCopy, ExportThenImportOnAnotherStoreReproducesEverySettingByteForByte) {
    TempDir dir;
    auto from = platform::makeFileSettingsStore(dir.file("a.reg"));
    auto to = platform::makeFileSettingsStore(dir.file("b.reg"));
    // The source lacks AliasName: the copy empties it.
    for (const SettingDef& s : kSettingsTable) {
        if (std::string(s.name) != "AliasName") {
            ASSERT_TRUE(from->setValue(kKey + s.name, "", RegValue::sz(oddText(s))));
        }
        ASSERT_TRUE(to->setValue(kKey + s.name, "", RegValue::sz("old")));
    }
    const std::string file = exported(*from);
    Outcome r = import(file, *to);
    ASSERT_EQ(r.status, 0) << r.err;
    // Read back by a fresh store: what the file on disk holds.
    auto check = platform::makeFileSettingsStore(dir.file("b.reg"));
    for (const SettingDef& s : kSettingsTable) {
        auto v = check->getValue(kKey + s.name, "");
        ASSERT_TRUE(v) << s.name;
        EXPECT_EQ(v->type, platform::RegType::Sz);
        EXPECT_EQ(v->data, std::string(s.name) == "AliasName" ? "" : oddText(s)) << s.name;
    }
    EXPECT_EQ(exported(*check), file);
    // The second copy finds nothing to change and leaves the file alone.
    struct stat before {
    }, after{};
    ::stat(dir.file("b.reg").c_str(), &before);
    r = import(file, *to);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    ::stat(dir.file("b.reg").c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST(SettingsCopy, ExportListsEveryTableSettingInTheEditorsOrderThenWMIPool) {
    MemorySettingsStore store;
    store.setSetting("Timer", "120");
    store.setSetting("KeyCode", "k");
    std::string text = exported(store);
    EXPECT_EQ(text.substr(0, 27), "[TWDISPLAY]\r\n[TWPAGE]\r\n[Ali");
    EXPECT_NE(text.find("\r\n[KeyCode]k\r\n[IPPort]\r\n[Timer]120\r\n[pluginTimer]\r\n[tests]\r\n"
                        "[WMITests]\r\n[WMIPool]\r\n"),
              std::string::npos)
        << text;
}

TEST(SettingsCopy, PrintsEachChangeOnceAndDryRunWritesNothing) {
    MemorySettingsStore store;
    store.setSetting("Timer", "300");
    store.setSetting("KeyCode", "old secret");
    store.setSetting("Procs", "same");
    // An empty TWPAGE where there is none changes nothing the agent sees.
    const std::string file =
        "[Timer]120\r\n[Procs]same\r\n[KeyCode]new secret\r\n[TWPAGE]\r\n"
        "[AliasName]web\r\n[WMITests]a\r\r\nb\r\n";
    const std::string expected =
        "Timer: 300 -> 120\n"
        "KeyCode: **************** -> ****************\n"
        "AliasName: (none) -> web\n"
        "WMITests: (none) -> a\\r\\nb\n";
    Outcome r = import(file, store, true);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(store.setting("Timer"), "300");
    EXPECT_FALSE(store.setting("AliasName"));
    r = import(file, store);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(store.setting("Timer"), "120");
    EXPECT_EQ(store.setting("KeyCode"), "new secret");
    EXPECT_EQ(store.setting("WMITests"), "a\r\nb");
    EXPECT_FALSE(store.setting("TWPAGE"));
    EXPECT_EQ(import(file, store, true).out, "");
    // The KeyCode's text never shows, set or taken away.
    EXPECT_EQ(import("[KeyCode]\r\n", store).out, "KeyCode: **************** -> \n");
}

struct BrokenImport {
    const char* name;
    std::string file;
    const char* err;
};

void PrintTo(const BrokenImport& c, std::ostream* os) {
    *os << c.name;
}

class SettingsCopyRefuses : public ::testing::TestWithParam<BrokenImport> {};

TEST_P(SettingsCopyRefuses, ABrokenImportChangesNothingAndNamesTheLine) {
    TempDir dir;
    auto store = platform::makeFileSettingsStore(dir.file("r.reg"));
    ASSERT_TRUE(store->setValue(kKey + "Timer", "", RegValue::sz("300")));
    const std::string before = testing::readFile(dir.file("r.reg"));
    Outcome r = import(GetParam().file, *store);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, GetParam().err);
    EXPECT_EQ(testing::readFile(dir.file("r.reg")), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsCopyRefuses,
    ::testing::Values(
        BrokenImport{"UnknownSetting", "[Timer]120\r\n[Colour]red\r\n",
                     "twsetting: in.cfg:2: [Colour] is not one of the agent's settings (nothing "
                     "imported)\n"},
        BrokenImport{"StrayLine", "[Timer]120\r\n[TWDISPLAY]a\r\nb\r\n",
                     "twsetting: in.cfg:3: not a setting's line (\"[name]text\") (nothing "
                     "imported)\n"},
        BrokenImport{"TooLong", "[Timer]120\r\n[Defaults]" + std::string(128, 'x') + "\r\n",
                     "twsetting: in.cfg:2: Defaults holds 128 characters, more than the 127 its "
                     "setting keeps (nothing imported)\n"}));

TEST(SettingsCopy, WhatTheStoreRefusesImportsNothing) {
    TempDir dir;
    const std::string path = dir.file("r.reg");
    auto store = platform::makeFileSettingsStore(path);
    ASSERT_TRUE(store->setValue(kKey + "Timer", "", RegValue::sz("300")));
    ::chmod(path.c_str(), 0400);
    Outcome r = import("[Timer]120\r\n[IPPort]2000\r\n", *store);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("twsetting: nothing imported: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("not writable"), std::string::npos) << r.err;
    EXPECT_EQ(platform::makeFileSettingsStore(path)->getValue(kKey + "IPport", ""), std::nullopt);
}

struct ExportCase {
    const char* name;
    RegValue value;
    const char* why;  // nullptr: exported
};

void PrintTo(const ExportCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsCopyExport : public ::testing::TestWithParam<ExportCase> {};

// What would come back otherwise is refused, not copied wrong.
TEST_P(SettingsCopyExport, RefusesATextTheFileCannotCarry) {
    MemorySettingsStore store;
    store.setValue(kKey + GetParam().name, "", GetParam().value);
    std::string why;
    std::ostringstream warn;
    auto text = exportSettings(store, why, warn);
    if (!GetParam().why) {
        EXPECT_TRUE(text) << why;
        return;
    }
    EXPECT_FALSE(text);
    EXPECT_EQ(why, GetParam().why);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsCopyExport,
    ::testing::Values(
        ExportCase{"Timer", RegValue::sz("120\n5"),
                   "Timer cannot be written to the export file: it would read back otherwise "
                   "(120\\n5)"},
        ExportCase{"WMIPool", RegValue::sz("a\n[Timer]5"),
                   "WMIPool cannot be written to the export file: it would read back otherwise "
                   "(a\\n[Timer]5)"},
        ExportCase{"Procs", RegValue::sz(std::string("a\0b", 3)),
                   "Procs cannot be written to the export file: it would read back otherwise "
                   "(a\\x00b)"},
        ExportCase{"Timer", RegValue::dw(5),
                   "Timer is not a text; the export file holds texts only"},
        ExportCase{"WMIPool", RegValue::sz("a\r\n[b\r\n"), nullptr}));

TEST(SettingsCopy, ExportWarnsOfWhatItLeavesOutOrTheAgentCannotRead) {
    MemorySettingsStore store;
    store.setSetting("CPUalwaysGreen", "Y");
    store.setSetting("Timer", std::string(256, '1'));
    std::string why;
    std::ostringstream warn;
    ASSERT_TRUE(exportSettings(store, why, warn));
    EXPECT_EQ(warn.str(),
              "twsetting: warning: Timer holds 256 characters, more than the 255 its setting "
              "keeps (the agent reads it as empty)\n"
              "twsetting: not exported: CPUalwaysGreen is not one of the agent's settings\n");
}

}  // namespace
}  // namespace tw::setting
