#include "platform/posix/posix_files.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>

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

// twrecv's --out files: one per message, never over a file already there.
TEST(PosixFileWriter, NewFileOnlyWhereNoneIs) {
    TempDir dir;
    auto files = makePosixFileWriter();
    using NewFile = FileWriter::NewFile;
    writeFile(dir.file("msg-000001.txt"), "earlier run");
    struct Case {
        std::string path;
        NewFile made;
        std::string content;  // at the path afterwards
        std::string why;
    } cases[] = {
        {dir.file("msg-000001.txt"), NewFile::Exists, "earlier run", ""},
        {dir.file("msg-000002.txt"), NewFile::Written, "status H.disk green\r\n", ""},
        {dir.file("missing/msg-000001.txt"), NewFile::Failed, "", "No such file or directory"},
    };
    for (const Case& c : cases) {
        std::string why;
        EXPECT_EQ(files->createNew(c.path, "status H.disk green\r\n", why), c.made) << c.path;
        EXPECT_EQ(why, c.why) << c.path;
        if (c.made != NewFile::Failed) {
            EXPECT_EQ(readFile(c.path), c.content) << c.path;
        }
    }
}

// The log is written in whatever folder the editor was started from: a link,
// a FIFO or another user's file planted at its name is refused, never
// written through or waited on.
TEST(PosixFileWriter, LogFileRefusesLinksFifosAndOtherUsersFiles) {
    TempDir dir;
    auto files = makePosixFileWriter();
    const std::string target = dir.file("target");
    writeFile(target, "must stay");
    const std::string link = dir.file("link.log");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    const std::string fifo = dir.file("fifo.log");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string theirs = dir.file("theirs.log");
    writeFile(theirs, "theirs");
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
    }
    ::chmod(theirs.c_str(), 0666);
    for (const std::string& path : {link, fifo, theirs}) {
        if (path == theirs && !root) continue;  // no other user's file to be had
        SCOPED_TRACE(path);
        // Answers the write's result; a write that blocks is failed and let go.
        auto bounded = [&](const std::function<bool()>& write) {
            auto done = std::async(std::launch::async, write);
            if (done.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
                ADD_FAILURE() << "blocked";
                int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
                done.wait();
                ::close(reader);
            }
            return done.get();
        };
        EXPECT_FALSE(bounded([&] { return files->create(path, "x"); }));
        EXPECT_FALSE(bounded([&] { return files->append(path, "y"); }));
    }
    EXPECT_EQ(readFile(target), "must stay");
    if (root) {
        EXPECT_EQ(readFile(theirs), "theirs");
    }
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
