// The registry as the settings store, on a scratch key under HKEY_CURRENT_USER.
#include <gtest/gtest.h>

#include <random>

#include "platform/win32/win32.h"
#include "test/support/windows_bits.h"

namespace tw::platform::win32 {
namespace {

struct Registry : ::testing::Test {
    std::unique_ptr<SettingsStore> store = makeRegistrySettingsStore();
    std::string root;
    void SetUp() override {
        root =
            "HKEY_CURRENT_USER\\Software\\TallwatchTest" + std::to_string(std::random_device{}());
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, root.substr(18).c_str()); }
};

TEST_F(Registry, ValuesOfEachTypeRoundTripWithoutTheirTerminator) {
    const std::string key = root + "\\twnt\\Timer";
    ASSERT_TRUE(store->setValue(key, "", RegValue::sz("300")));
    ASSERT_TRUE(store->setValue(key, "Path", RegValue::expandSz("%TEMP%\\x")));
    ASSERT_TRUE(store->setValue(key, "Types", RegValue::dw(7)));
    auto sz = store->getValue(key, "");
    ASSERT_TRUE(sz);
    EXPECT_EQ(sz->type, RegType::Sz);
    EXPECT_EQ(sz->data, "300");
    auto ex = store->getValue(key, "Path");
    ASSERT_TRUE(ex);
    EXPECT_EQ(ex->type, RegType::ExpandSz);
    EXPECT_EQ(ex->data, "%TEMP%\\x");  // not expanded
    auto dw = store->getValue(key, "Types");
    ASSERT_TRUE(dw);
    EXPECT_EQ(dw->type, RegType::Dword);
    EXPECT_EQ(dw->dword, 7u);
    // A text with CR LF (as in WMIPool) and one longer than the first read.
    const std::string big = std::string(5000, 'x') + "\r\nend";
    ASSERT_TRUE(store->setValue(key, "", RegValue::sz(big)));
    EXPECT_EQ(store->getValue(key, "")->data, big);
}

TEST_F(Registry, NamesMatchWithoutCaseAndMissingOnesAreNotFound) {
    ASSERT_TRUE(store->setValue(root + "\\twnt\\TWDISPLAY", "", RegValue::sz("a")));
    EXPECT_TRUE(store->keyExists(root + "\\TWNT\\twdisplay"));
    EXPECT_EQ(store->getValue("HKCU\\" + root.substr(18) + "\\twnt\\twdisplay", "")->data, "a");
    EXPECT_FALSE(store->getValue(root + "\\twnt\\TWPAGE", ""));
    EXPECT_FALSE(store->getValue(root + "\\twnt\\TWDISPLAY", "nothing"));
    EXPECT_FALSE(store->keyExists(root + "\\none"));
    EXPECT_FALSE(store->subkeys(root + "\\none"));
    EXPECT_FALSE(store->getValue("HKEY_NOWHERE\\x", ""));
    EXPECT_NE(store->lastError().find("HKEY_NOWHERE"), std::string::npos);
}

TEST_F(Registry, SubkeysAreListedAndOnlyALeafKeyCanBeDeleted) {
    for (const char* name : {"TWDISPLAY", "Timer", "IPport"})
        ASSERT_TRUE(store->setValue(root + "\\twnt\\" + name, "", RegValue::sz("x")));
    auto names = store->subkeys(root + "\\twnt");
    ASSERT_TRUE(names);
    EXPECT_EQ(names->size(), 3u);
    EXPECT_FALSE(store->deleteKey(root + "\\twnt"));  // it has subkeys
    EXPECT_TRUE(store->keyExists(root + "\\twnt\\Timer"));
    for (const auto& n : *names) EXPECT_TRUE(store->deleteKey(root + "\\twnt\\" + n)) << n;
    EXPECT_TRUE(store->subkeys(root + "\\twnt")->empty());
    EXPECT_TRUE(store->deleteKey(root + "\\twnt"));
    EXPECT_FALSE(store->keyExists(root + "\\twnt"));
    EXPECT_FALSE(store->deleteKey(root + "\\twnt"));
}

TEST_F(Registry, ValueDeletionLeavesTheKey) {
    ASSERT_TRUE(store->setValue(root + "\\k", "v", RegValue::sz("1")));
    EXPECT_TRUE(store->deleteValue(root + "\\k", "v"));
    EXPECT_FALSE(store->getValue(root + "\\k", "v"));
    EXPECT_TRUE(store->keyExists(root + "\\k"));
    EXPECT_FALSE(store->deleteValue(root + "\\k", "v"));
}

TEST(RegistryViews, APathThroughWow6432NodeMeetsThe32BitViewOnce) {
    // What a 32-bit program writes under SOFTWARE is, on 64-bit Windows, the
    // key the path SOFTWARE\Wow6432Node names; on 32-bit Windows that path
    // is just a key of that name, which does not exist.
    auto store = makeRegistrySettingsStore();
    const std::string name = "TallwatchViewTest" + std::to_string(std::random_device{}());
    const std::string plain = "HKEY_LOCAL_MACHINE\\SOFTWARE\\" + name + "\\Timer";
    const std::string wow = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\" + name + "\\Timer";
    ASSERT_TRUE(store->setValue(plain, "", RegValue::sz("300")));
    auto seen = store->getValue(wow, "");
    if (tw::testing::on64BitWindows()) {
        ASSERT_TRUE(seen) << store->lastError();
        EXPECT_EQ(seen->data, "300");
        ASSERT_TRUE(store->setValue(wow, "", RegValue::sz("120")));
        EXPECT_EQ(store->getValue(plain, "")->data, "120");
    } else {
        EXPECT_FALSE(seen);
    }
    EXPECT_TRUE(store->deleteKey(plain));
    EXPECT_TRUE(store->deleteKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\" + name));
}

// Whether a key is in one view of the registry, as any other program opens it.
bool inView(const std::string& key, REGSAM view) {
    HKEY k;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | view, &k) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(k);
    return true;
}

TEST(RegistryViews, TheAgentsSettingsLieInThe32BitViewWhateverItsBuild) {
    // The product is 32-bit; a 64-bit build of it must keep its settings
    // where the product's lie, or the editor and an upgrade would miss them.
    auto store = makeRegistrySettingsStore();
    const std::string name = "TallwatchViewTest" + std::to_string(std::random_device{}());
    const std::string key = "SOFTWARE\\" + name;
    ASSERT_TRUE(store->setValue("HKEY_LOCAL_MACHINE\\" + key + "\\Timer", "", RegValue::sz("300")));
    EXPECT_TRUE(inView(key + "\\Timer", KEY_WOW64_32KEY));
    EXPECT_EQ(inView(key, KEY_WOW64_64KEY), !tw::testing::on64BitWindows());
    EXPECT_TRUE(store->deleteKey("HKEY_LOCAL_MACHINE\\" + key + "\\Timer"));
    EXPECT_TRUE(store->deleteKey("HKEY_LOCAL_MACHINE\\" + key));
    EXPECT_FALSE(inView(key, KEY_WOW64_32KEY));
}

}  // namespace
}  // namespace tw::platform::win32
