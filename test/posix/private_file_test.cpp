#include "platform/posix/private_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "test/support/fake_platform.h"

namespace tw::platform {
namespace {

using tw::testing::readFile;
using tw::testing::TempDir;
using tw::testing::writeFile;

mode_t modeOf(const std::string& path) {
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(PrivateFile, CreatedOrEmptiedWithMode0600WhateverTheUmask) {
    TempDir dir;
    const std::string fresh = dir.file("TW.LOG"), old = dir.file("OLD.LOG");
    writeFile(old, "yesterday's messages");
    chmod(old.c_str(), 0644);
    mode_t saved = umask(0);
    std::string why;
    std::FILE* a = createPrivateFile(fresh, why);
    std::FILE* b = createPrivateFile(old, why);
    umask(saved);
    ASSERT_TRUE(a && b) << why;
    std::fputs("new", a);
    std::fclose(a);
    std::fclose(b);
    EXPECT_EQ(modeOf(fresh), 0600u);
    EXPECT_EQ(modeOf(old), 0600u);
    EXPECT_EQ(readFile(fresh), "new");
    EXPECT_EQ(readFile(old), "");
}

TEST(PrivateFile, SymbolicLinkAtTheNameIsNeverFollowedAndItsTargetStaysIntact) {
    TempDir dir;
    const std::string target = dir.file("passwd"), log = dir.file("TW.LOG");
    writeFile(target, "root:x:0:0");
    ASSERT_EQ(symlink(target.c_str(), log.c_str()), 0);
    std::string why;
    EXPECT_EQ(createPrivateFile(log, why), nullptr);
    EXPECT_EQ(why, "a symbolic link, not followed");
    EXPECT_EQ(readFile(target), "root:x:0:0");
}

TEST(PrivateFile, FifoHardLinkAndAnotherUsersFileAreRefused) {
    TempDir dir;
    struct Case {
        std::string name, why;
    };
    const std::string fifo = dir.file("FIFO.LOG");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string shared = dir.file("SHARED.LOG"), second = dir.file("SECOND");
    writeFile(shared, "keep");
    ASSERT_EQ(link(shared.c_str(), second.c_str()), 0);
    std::vector<Case> cases = {{fifo, "not a regular file"},
                               {shared, "a file with more than one name (hard link)"}};
    const std::string foreign = dir.file("FOREIGN.LOG");
    if (geteuid() == 0) {
        writeFile(foreign, "theirs");
        ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
        cases.push_back({foreign, "a file of another user"});
    }
    for (const Case& c : cases) {
        std::string why;
        EXPECT_EQ(createPrivateFile(c.name, why), nullptr) << c.name;
        EXPECT_EQ(why, c.why);
    }
    EXPECT_EQ(readFile(second), "keep");
    if (geteuid() == 0) {
        EXPECT_EQ(readFile(foreign), "theirs");
    }
}

}  // namespace
}  // namespace tw::platform
