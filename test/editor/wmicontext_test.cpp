#include "editor/wmicontext.h"

#include <gtest/gtest.h>

#include "test/support/editor_harness.h"

namespace tw::editor {
namespace {

using testing::EditorHarness;
using testing::kAgentKey;

TEST(WmiContext, ReadsAndWritesASettingOfThisMachine) {
    EditorHarness h;
    h.store.setSetting("Timer", "300");
    ASSERT_TRUE(h.wmi.start());
    h.wmi.ConnectWMIDB(kRootDefault);
    ASSERT_TRUE(h.wmi.connected());
    EXPECT_EQ(h.wmi.ReadRegKey("Timer"), "300");
    EXPECT_TRUE(h.wmi.WriteRegKey("Timer", "60"));
    EXPECT_EQ(h.setting("Timer"), "60");
    EXPECT_TRUE(h.wmi.success());
    EXPECT_TRUE(h.ui.messages.empty());
}

}  // namespace
}  // namespace tw::editor
