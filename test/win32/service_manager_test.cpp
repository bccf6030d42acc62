// The service control manager as the commands use it, on a scratch service
// (skipped where the test runs without the rights to create services).
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <vector>

#include "platform/win32/win32.h"

namespace tw::platform::win32 {
namespace {

std::string imagePath(const std::string& name) {
    char buf[1024] = {};
    DWORD size = sizeof buf;
    std::string key = "SYSTEM\\CurrentControlSet\\Services\\" + name;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "ImagePath", RRF_RT_REG_SZ, nullptr, buf,
                     &size) != ERROR_SUCCESS)
        return {};
    return buf;
}

// The failure actions the manager holds for the service; nullopt when the
// manager keeps none at all (Wine's answers ERROR_INVALID_LEVEL).
std::optional<std::vector<SC_ACTION>> failureActions(SC_HANDLE svc) {
    DWORD needed = 0;
    if (!QueryServiceConfig2A(svc, SERVICE_CONFIG_FAILURE_ACTIONS, nullptr, 0, &needed) &&
        GetLastError() == ERROR_INVALID_LEVEL)
        return std::nullopt;
    std::vector<BYTE> buf(needed ? needed : 1);
    if (!QueryServiceConfig2A(svc, SERVICE_CONFIG_FAILURE_ACTIONS, buf.data(), needed, &needed))
        return std::vector<SC_ACTION>{};
    auto* fa = reinterpret_cast<SERVICE_FAILURE_ACTIONSA*>(buf.data());
    return std::vector<SC_ACTION>(fa->lpsaActions, fa->lpsaActions + fa->cActions);
}

std::optional<std::vector<SC_ACTION>> failureActionsOf(const std::string& name) {
    SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE svc = scm ? OpenServiceA(scm, name.c_str(), SERVICE_QUERY_CONFIG) : nullptr;
    std::optional<std::vector<SC_ACTION>> out =
        svc ? failureActions(svc) : std::vector<SC_ACTION>{};
    if (svc) CloseServiceHandle(svc);
    if (scm) CloseServiceHandle(scm);
    return out;
}

TEST(Win32ServiceManager, InstallAndUpgradeLetTheManagerRestartTheAgentAfterAFailure) {
    auto sm = makeServiceManager();
    if (!sm->openManager(true)) GTEST_SKIP() << "no right to create services here";
    const std::string name = "TallwatchTest" + std::to_string(std::random_device{}() % 100000);
    ASSERT_TRUE(sm->createService({name, "Tallwatch Test", "C:\\twnt\\twnt.exe"}));
    if (!failureActionsOf(name)) {
        sm->deleteService();
        sm->closeAll();
        GTEST_SKIP() << "this service manager keeps no failure actions";
    }
    auto expectRestarts = [&](const char* after) {
        std::vector<SC_ACTION> actions = failureActionsOf(name).value_or(std::vector<SC_ACTION>{});
        ASSERT_FALSE(actions.empty()) << after;
        for (const SC_ACTION& a : actions) {
            EXPECT_EQ(a.Type, SC_ACTION_RESTART) << after;
            EXPECT_EQ(a.Delay, 60000u) << after;
        }
    };
    expectRestarts("install");

    // An older installation without them gets them from the upgrade.
    SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE svc = OpenServiceA(scm, name.c_str(), SERVICE_ALL_ACCESS);
    // No actions: a count of 0 with an array (without one nothing changes).
    SC_ACTION dummy{};
    SERVICE_FAILURE_ACTIONSA none{};
    none.lpsaActions = &dummy;
    ChangeServiceConfig2A(svc, SERVICE_CONFIG_FAILURE_ACTIONS, &none);
    CloseServiceHandle(svc);
    CloseServiceHandle(scm);
    ASSERT_TRUE(sm->openService(name));
    ASSERT_TRUE(sm->changeService("C:\\twnt\\twnt.exe", "Tallwatch Test"));
    expectRestarts("upgrade");
    EXPECT_TRUE(sm->deleteService());
    sm->closeAll();
}

TEST(Win32ServiceManager, CreateQueryChangeAndDeleteAService) {
    auto sm = makeServiceManager();
    if (!sm->openManager(true)) GTEST_SKIP() << "no right to create services here";
    const std::string name = "TallwatchTest" + std::to_string(std::random_device{}() % 100000);
    ServiceDefinition def{name, "Tallwatch Test", "C:\\Program Files\\Tallwatch Test\\twnt.exe"};
    ASSERT_TRUE(sm->createService(def)) << sm->lastError().message;
    // A path with blanks goes to the manager quoted.
    EXPECT_EQ(imagePath(name), "\"C:\\Program Files\\Tallwatch Test\\twnt.exe\"");
    EXPECT_EQ(sm->queryState(), ServiceState::Stopped);

    // A second creation fails with the manager's own error and its text.
    EXPECT_FALSE(sm->createService(def));
    EXPECT_EQ(sm->lastError().code, static_cast<uint32_t>(ERROR_SERVICE_EXISTS));
    EXPECT_FALSE(sm->lastError().message.empty());

    ASSERT_TRUE(sm->openService(name));
    EXPECT_TRUE(sm->changeService("C:\\twnt\\twnt.exe", "Tallwatch Test 2"));
    EXPECT_EQ(imagePath(name), "C:\\twnt\\twnt.exe");
    // Stopping a service that is not running is refused.
    EXPECT_FALSE(sm->stopService());
    EXPECT_EQ(sm->lastError().code, static_cast<uint32_t>(ERROR_SERVICE_NOT_ACTIVE));
    EXPECT_TRUE(sm->deleteService());
    sm->closeAll();

    ASSERT_TRUE(sm->openManager(false));
    EXPECT_FALSE(sm->openService(name));
    EXPECT_EQ(sm->lastError().code, static_cast<uint32_t>(ERROR_SERVICE_DOES_NOT_EXIST));
    sm->closeAll();
}

TEST(Win32ServiceManager, CallsWithoutAnOpenServiceFailCleanly) {
    auto sm = makeServiceManager();
    EXPECT_FALSE(sm->startService());
    EXPECT_FALSE(sm->queryState());
    EXPECT_FALSE(sm->deleteService());
    EXPECT_EQ(sm->lastError().code, static_cast<uint32_t>(ERROR_INVALID_HANDLE));
    sm->closeAll();
}

TEST(Win32ServiceDispatcher, OutsideTheManagerTheDispatcherCannotStart) {
    auto d = makeServiceDispatcher();
    bool ran = false;
    EXPECT_FALSE(d->run([&] { ran = true; }));
    EXPECT_FALSE(ran);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT));
    EXPECT_FALSE(d->setStatus(ServiceStatus{}));  // no handler registered
}

}  // namespace
}  // namespace tw::platform::win32
