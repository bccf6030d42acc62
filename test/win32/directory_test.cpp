// Work-file directories on Windows: attributes of the listing, the current
// directory the scan leaves alone, and reading and deleting one file.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/win32/win32.h"
#include "test/support/fake_platform.h"

namespace tw::platform::win32 {
namespace {

TEST(Win32Directory, ListingCarriesTheAttributesAndKeepsTheCurrentDirectoryFaultChangedIt) {
    testing::TempDir dir;
    const std::string d = dir.path();
    testing::writeFile(d + "\\DISKX", "green ok");
    testing::writeFile(d + "\\READONLY", "x");
    testing::writeFile(d + "\\HIDDEN", "x");
    testing::writeFile(d + "\\SYSTEM", "x");
    CreateDirectoryA((d + "\\sub").c_str(), nullptr);
    SetFileAttributesA((d + "\\READONLY").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((d + "\\HIDDEN").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA((d + "\\SYSTEM").c_str(), FILE_ATTRIBUTE_SYSTEM);

    char before[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, before);
    auto fs = makeDirectory();
    auto list = fs->list(d);
    ASSERT_TRUE(list);
    auto find = [&](const std::string& n) {
        auto it = std::find_if(list->begin(), list->end(), [&](auto& e) { return e.name == n; });
        EXPECT_NE(it, list->end()) << n;
        return it == list->end() ? DirEntry{} : *it;
    };
    EXPECT_TRUE(find(".").directory);
    DirEntry plain = find("DISKX");
    EXPECT_TRUE(plain.regular);
    EXPECT_FALSE(plain.readOnly || plain.hidden || plain.directory);
    EXPECT_TRUE(find("READONLY").readOnly);
    EXPECT_TRUE(find("HIDDEN").hidden);
    EXPECT_TRUE(find("SYSTEM").hidden);
    EXPECT_TRUE(find("sub").directory);
    // The listing used to make the scanned directory the current one, so the
    // external programs' relative paths resolved against it.
    char now[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, now);
    EXPECT_STREQ(now, before);
    SetCurrentDirectoryA(before);
    auto again = fs->list(d + "\\");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->size(), list->size()) << "a path ending in a backslash lists the same";

    EXPECT_EQ(fs->kind(d + "\\DISKX"), PathKind::Regular);
    EXPECT_EQ(fs->kind(d + "\\sub"), PathKind::Directory);
    EXPECT_EQ(fs->kind(d + "\\none"), PathKind::Missing);
    EXPECT_FALSE(fs->list(d + "\\none"));

    FileRead r = fs->readFile(d + "\\DISKX", 100);
    EXPECT_EQ(r.status, FileRead::Status::Ok);
    EXPECT_EQ(r.content, "green ok");
    EXPECT_EQ(fs->readFile(d + "\\DISKX", 3).status, FileRead::Status::TooLarge);
    EXPECT_EQ(fs->readFile(d + "\\sub", 100).status, FileRead::Status::CannotOpen);
    EXPECT_TRUE(fs->removeFile(d + "\\DISKX"));
    EXPECT_FALSE(fs->removeFile(d + "\\DISKX"));
    for (const char* n : {"READONLY", "HIDDEN", "SYSTEM"})
        SetFileAttributesA((d + "\\" + n).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Win32Launcher, StartsAProgramAndReportsAMissingOne) {
    auto launcher = makeLauncher();
    EXPECT_LE(launcher->launch("C:\\no\\such\\program.exe", ""), 32);
    char sys[MAX_PATH];
    GetSystemDirectoryA(sys, MAX_PATH);
    // cmd.exe exits at once with /c.
    EXPECT_GT(launcher->launch(std::string(sys) + "\\cmd.exe", "/c exit 0"), 32);
    launcher->reap();
}

}  // namespace
}  // namespace tw::platform::win32
