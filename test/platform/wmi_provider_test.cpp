#include "platform/wmi_provider.h"

#include <gtest/gtest.h>

#include "test/support/fake_platform.h"

namespace tw::platform {
namespace {

TEST(IsLocalWmiServer, ThisMachineByAnyOfItsNamesButNotByACutOfAnother) {
    tw::testing::FakeHostInfo host;
    host.name = std::string("workstation-accounting.corp.lan");
    host.computer = std::string("WORKSTATION-ACC");
    const struct {
        const char* server;
        bool local;
    } cases[] = {
        {"", true},
        {".", true},
        {"LocalHost", true},
        {"workstation-acc", true},
        {"WORKSTATION-ACCOUNTING", true},
        {"workstation-accounting.corp.lan", true},
        {"workstation-acc.other.lan", true},
        // Another machine whose computer name is the same cut of its host name.
        {"workstation-accounting2", false},
        {"workstation", false},
        {"localhost2", false},
        {"..", false},
    };
    for (const auto& c : cases) EXPECT_EQ(isLocalWmiServer(c.server, &host), c.local) << c.server;
    EXPECT_FALSE(isLocalWmiServer("workstation-acc", nullptr));
    EXPECT_TRUE(isLocalWmiServer("localhost", nullptr));
    host.computer.reset();
    host.name.reset();
    EXPECT_FALSE(isLocalWmiServer("workstation-acc", &host));
}

}  // namespace
}  // namespace tw::platform
