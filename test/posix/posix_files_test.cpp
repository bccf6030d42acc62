#include "platform/posix/posix_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "test/support/fake_platform.h"

namespace tw::platform {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

TEST(PosixFileWriter, CreatesAnewAndAppends) {
    TempDir dir;
    auto files = makePosixFileWriter();
    const std::string path = dir.file("twntcfg.log");
    writeFile(path, "old content");
    ASSERT_TRUE(files->create(path, "first\r\n"));
    ASSERT_TRUE(files->append(path, "second\r\n"));
    EXPECT_EQ(readFile(path), "first\r\nsecond\r\n");
    ASSERT_TRUE(files->append(dir.file("new.log"), "x"));
    EXPECT_EQ(readFile(dir.file("new.log")), "x");
    EXPECT_FALSE(files->create(dir.file("missing/dir.log"), "x"));
}

TEST(PosixFileWriter, PrivateFileIsOwnerOnlyAndReplacedWhole) {
    TempDir dir;
    auto files = makePosixFileWriter();
    const std::string path = dir.file("TWNT.cfg");
    writeFile(path, "an older, longer export file");
    ::chmod(path.c_str(), 0644);
    ASSERT_TRUE(files->writePrivate(path, "[KeyCode]secret\r\n"));
    EXPECT_EQ(readFile(path), "[KeyCode]secret\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Nothing is left beside it.
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(PosixFileWriter, PrivateFileNeverWritesThroughASymbolicLink) {
    TempDir dir;
    auto files = makePosixFileWriter();
    const std::string target = dir.file("elsewhere");
    writeFile(target, "must stay");
    const std::string path = dir.file("TWNT.cfg");
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
    ASSERT_TRUE(files->writePrivate(path, "export"));
    EXPECT_EQ(readFile(target), "must stay");
    EXPECT_FALSE(std::filesystem::is_symlink(path));
    EXPECT_EQ(readFile(path), "export");
}

TEST(PosixFileWriter, PrivateFileInAMissingDirectoryFailsAndLeavesNothing) {
    TempDir dir;
    auto files = makePosixFileWriter();
    EXPECT_FALSE(files->writePrivate(dir.file("no/TWNT.cfg"), "x"));
    EXPECT_FALSE(files->writePrivate(dir.path() + "/", "x"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace tw::platform
