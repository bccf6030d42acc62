#include "platform/posix/posix_directory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <map>

#include "test/support/fake_platform.h"

namespace tw::platform {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

struct PosixDir : ::testing::Test {
    TempDir dir;
    std::unique_ptr<Directory> d = makePosixDirectory();
};

TEST_F(PosixDir, ListingCarriesTheAttributesTheReaderNeeds) {
    writeFile(dir.file("Work"), "green ok");
    writeFile(dir.file("ro"), "x");
    chmod(dir.file("ro").c_str(), 0444);
    writeFile(dir.file(".hidden"), "x");
    mkdir(dir.file("sub").c_str(), 0755);
    mkfifo(dir.file("fifo").c_str(), 0644);
    ASSERT_EQ(symlink(dir.file("Work").c_str(), dir.file("link").c_str()), 0);

    auto entries = d->list(dir.path());
    ASSERT_TRUE(entries);
    std::map<std::string, DirEntry> by;
    for (auto& e : *entries) by[e.name] = e;
    ASSERT_EQ(by.size(), 8u);  // with "." and ".."
    EXPECT_TRUE(by["."].directory && by["."].hidden);
    EXPECT_TRUE(by[".."].directory);
    EXPECT_TRUE(by["Work"].regular && !by["Work"].readOnly && !by["Work"].hidden);
    EXPECT_TRUE(by["ro"].regular && by["ro"].readOnly);
    EXPECT_TRUE(by[".hidden"].hidden && by[".hidden"].regular);
    EXPECT_TRUE(by["sub"].directory && !by["sub"].regular);
    EXPECT_FALSE(by["fifo"].regular || by["fifo"].directory);
    EXPECT_TRUE(by["link"].symlink && !by["link"].regular);

    EXPECT_FALSE(d->list(dir.file("missing")));
    EXPECT_FALSE(d->list(dir.file("Work")));  // a file is no directory
}

TEST_F(PosixDir, ReadsRegularFilesOnlyAndNeverThroughALink) {
    writeFile(dir.file("w"), std::string("a\0b", 3));
    auto r = d->readFile(dir.file("w"), 100);
    EXPECT_EQ(r.status, FileRead::Status::Ok);
    EXPECT_EQ(r.content, std::string("a\0b", 3));
    EXPECT_EQ(d->readFile(dir.file("w"), 2).status, FileRead::Status::TooLarge);
    writeFile(dir.file("empty"), "");
    EXPECT_EQ(d->readFile(dir.file("empty"), 100).status, FileRead::Status::Ok);

    ASSERT_EQ(symlink(dir.file("w").c_str(), dir.file("link").c_str()), 0);
    EXPECT_EQ(d->readFile(dir.file("link"), 100).status, FileRead::Status::CannotOpen);
    // A pipe in a work file's place neither hangs nor is read.
    mkfifo(dir.file("fifo").c_str(), 0644);
    EXPECT_EQ(d->readFile(dir.file("fifo"), 100).status, FileRead::Status::CannotOpen);
    EXPECT_EQ(d->readFile(dir.file("missing"), 100).status, FileRead::Status::CannotOpen);
}

TEST_F(PosixDir, KindsAndDeletionKeepLinkTargets) {
    writeFile(dir.file("f"), "x");
    EXPECT_EQ(d->kind(dir.file("f")), PathKind::Regular);
    EXPECT_EQ(d->kind(dir.path()), PathKind::Directory);
    EXPECT_EQ(d->kind("/dev/null"), PathKind::Other);
    EXPECT_EQ(d->kind(dir.file("nope")), PathKind::Missing);
    // Names are case-sensitive here.
    EXPECT_EQ(d->kind(dir.file("F")), PathKind::Missing);

    ASSERT_EQ(symlink(dir.file("f").c_str(), dir.file("l").c_str()), 0);
    EXPECT_TRUE(d->removeFile(dir.file("l")));
    EXPECT_EQ(readFile(dir.file("f")), "x");
    EXPECT_TRUE(d->removeFile(dir.file("f")));
    EXPECT_FALSE(d->removeFile(dir.file("f")));
}

}  // namespace
}  // namespace tw::platform
