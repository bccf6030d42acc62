#include "editor/editorlog.h"

#include <gtest/gtest.h>

#include "test/support/memory_files.h"

namespace tw::editor {
namespace {

TEST(EditorLog, EachLineIsAppendedWithATextModeLineBreakWhileItsFlagIsOn) {
    testing::MemoryFiles files;
    EditorLog log(files, "x.log");
    log.write("dropped: not started");
    EXPECT_EQ(files.files.count("x.log"), 0u);
    ASSERT_TRUE(log.start());
    log.wmi("dropped: the WMI copy is still off");
    log.write("a");
    log.writef("b=%d", 2);
    log.shareWithWmi();
    log.wmif("c:%s", "x\ny");
    EXPECT_EQ(files.files["x.log"], "twntcfg started\r\na\r\nb=2\r\nc:x\r\ny\r\n");
    EXPECT_EQ(files.how["x.log"], testing::MemoryFiles::How::Create)
        << "the start creates the file anew";
}

TEST(EditorLog, ALineThatCannotBeWrittenIsDropped) {
    testing::MemoryFiles files;
    EditorLog log(files, "x.log");
    ASSERT_TRUE(log.start());
    files.failing.insert("x.log");
    log.write("lost");
    files.failing.clear();
    log.write("kept");
    EXPECT_EQ(files.files["x.log"], "twntcfg started\r\nkept\r\n");
}

TEST(EditorLog, ALogThatCannotBeCreatedDoesNotStart) {
    testing::MemoryFiles files;
    files.failing.insert("x.log");
    EditorLog log(files, "x.log");
    EXPECT_FALSE(log.start());
    EXPECT_FALSE(log.active());
    files.failing.clear();
    log.write("nothing happens");
    EXPECT_EQ(files.files.count("x.log"), 0u);
}

}  // namespace
}  // namespace tw::editor
