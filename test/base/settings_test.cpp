#include "base/settings.h"

#include <gtest/gtest.h>

#include "test/support/fake_platform.h"

namespace tw {
namespace {

using testing::MemorySettingsStore;

TEST(Settings, ReadLimitIsBufferSizeMinusTerminator) {
    MemorySettingsStore store;
    Settings s(store);
    store.setSetting("Timer", std::string(255, '7'));
    EXPECT_EQ(s.readsetting("Timer", 256).size(), 255u);
    store.setSetting("Timer", std::string(256, '7'));
    EXPECT_EQ(s.readsetting("Timer", 256), "");
    store.setSetting("Timer", std::string(254, '7'));
    EXPECT_EQ(s.readsetting("Timer", 256).size(), 254u);
}

TEST(Settings, LeadingWhiteSpaceGoesTrailingStaysAndNulEndsTheText) {
    MemorySettingsStore store;
    Settings s(store);
    store.setSetting("Procs", " \t\r\n\v\fsvchost \t");
    EXPECT_EQ(s.readsetting("Procs", 8000), "svchost \t");
    store.setSetting("Procs", std::string("ab\0cd", 5));
    EXPECT_EQ(s.readsetting("Procs", 8000), "ab");
    store.setSetting("Procs", "   ");
    EXPECT_EQ(s.readsetting("Procs", 8000), "");
    store.setSetting("Procs", "caf\xe9\x7f");
    EXPECT_EQ(s.readsetting("Procs", 8000), "caf\xe9\x7f");
}

TEST(Settings, MissingSettingAndUnreadableStoreReadEmpty) {
    MemorySettingsStore store;
    Settings s(store);
    EXPECT_EQ(s.readsetting("TWDISPLAY", 512), "");
    store.setSetting("TWDISPLAY", "host");
    store.setHealthy(false, "broken");
    EXPECT_EQ(s.readsetting("TWDISPLAY", 512), "");
}

TEST(Settings, WriteDeleteAndEnumerateWorkOnTheCurrentKeyPath) {
    MemorySettingsStore store;
    Settings s(store, kOldSettingsKey);
    s.writesetting("TWDISPLAY", "old");
    s.writesetting("Timer", "5");
    EXPECT_FALSE(store.setting("TWDISPLAY"));
    ASSERT_TRUE(s.enumOpen(kOldSettingsKey));
    std::vector<std::string> names;
    while (auto n = s.enumNext()) names.push_back(*n);
    s.enumClose();
    EXPECT_EQ(names, (std::vector<std::string>{"Timer", "TWDISPLAY"}));
    s.deletesetting("TWDISPLAY");
    s.deletesetting("Timer");
    s.deletesetting("");  // the key itself
    EXPECT_FALSE(s.enumOpen(kOldSettingsKey));
    EXPECT_FALSE(s.enumNext());
}

TEST(Settings, SubkeyPathLongerThan255CharactersIsNeitherReadNorWritten) {
    MemorySettingsStore store;
    Settings s(store);
    std::string name(255 - std::string(kSettingsKey).size() + 1, 'n');
    s.writesetting(name, "x");
    EXPECT_TRUE(store.tree().size() == 0 || !store.setting(name));
    name.pop_back();
    s.writesetting(name, "x");
    EXPECT_EQ(s.readsetting(name, 10), "x");
}

}  // namespace
}  // namespace tw
