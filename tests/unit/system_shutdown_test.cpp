// The shutdown request against a fake of the operating system's functions.
// Only src/shutdown and the ShutdownApi table are used, so the Windows build
// compiles and runs the same cases; nothing here can reach a real power-off.
#include "shutdown/system_shutdown.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace wgs {
namespace {

constexpr TokenHandle kToken = 0x5A5A;
constexpr std::uint32_t kLuidLow = 19;  // the shutdown privilege's identifier on the fake

// Records every call in order, as one line each.
class RecordingShutdownApi : public ShutdownApi {
public:
    std::uint32_t platformId = kVerPlatformWin32Nt;
    bool openTokenSucceeds = true;
    std::uint32_t lastErrorAfterAdjust = 0;
    bool exitWindowsResult = true;
    bool powerStateResult = true;
    std::vector<std::string> calls;

    bool getVersionEx(OsVersionInfo& info) override {
        calls.push_back("getVersionEx size=" + std::to_string(info.sizeOfStruct));
        info.platformId = platformId;
        return true;
    }
    bool openProcessToken(std::uint32_t access, TokenHandle& token) override {
        calls.push_back("openProcessToken " + hex(access));
        if (!openTokenSucceeds) return false;
        token = kToken;
        return true;
    }
    bool lookupPrivilegeValue(const char* name, Luid& luid) override {
        calls.push_back(std::string("lookupPrivilegeValue ") + name);
        luid.lowPart = kLuidLow;
        luid.highPart = 0;
        return true;
    }
    bool adjustTokenPrivileges(TokenHandle token, const Luid& luid, std::uint32_t attributes) override {
        calls.push_back("adjustTokenPrivileges " + hex(token) + " luid=" + std::to_string(luid.lowPart) +
                        " attributes=" + std::to_string(attributes));
        lastError_ = lastErrorAfterAdjust;
        return true;  // as Windows does even when the privilege was not assigned
    }
    std::uint32_t getLastError() override {
        calls.push_back("getLastError");
        return lastError_;
    }
    bool closeHandle(TokenHandle token) override {
        calls.push_back("closeHandle " + hex(token));
        lastError_ = 0;
        return true;
    }
    bool exitWindowsEx(std::uint32_t flags, std::uint32_t reason) override {
        calls.push_back("exitWindowsEx " + hex(flags) + " reason=" + std::to_string(reason));
        return exitWindowsResult;
    }
    bool setSystemPowerState(bool suspend, bool force) override {
        calls.push_back(std::string("setSystemPowerState suspend=") + (suspend ? "1" : "0") +
                        " force=" + (force ? "1" : "0"));
        return powerStateResult;
    }

    static std::string hex(std::uint64_t v) {
        std::ostringstream out;
        out << "0x" << std::hex << v;
        return out.str();
    }

private:
    std::uint32_t lastError_ = 0;
};

// The privilege step as it must run on the NT platform.
const std::vector<std::string> kPrivilegeStep = {
    "getVersionEx size=148",
    "openProcessToken 0x28",
    "lookupPrivilegeValue SeShutdownPrivilege",
    "adjustTokenPrivileges 0x5a5a luid=19 attributes=2",
    "getLastError",
    "closeHandle 0x5a5a",
};

std::vector<std::string> afterPrivilege(std::vector<std::string> tail) {
    std::vector<std::string> all = kPrivilegeStep;
    all.insert(all.end(), tail.begin(), tail.end());
    return all;
}

struct ModeCase {
    const char* name;
    std::uint32_t platformId;
    ShutdownMode mode;
    bool force;
    std::vector<std::string> expected;
};

// Parameters are shown by name: gtest would otherwise print their bytes,
// padding and unused string buffers included.
void PrintTo(const ModeCase& c, std::ostream* os) {
    *os << c.name;
}

constexpr std::uint32_t kWin9x = 1;  // VER_PLATFORM_WIN32_WINDOWS: no privileges

class ModeTable : public testing::TestWithParam<ModeCase> {};

TEST_P(ModeTable, MakesExactlyTheCallsOfItsMode) {
    const ModeCase& c = GetParam();
    RecordingShutdownApi api;
    api.platformId = c.platformId;
    EXPECT_TRUE(SystemShutdown::request(api, c.mode, c.force));
    EXPECT_EQ(api.calls, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    SystemShutdown, ModeTable,
    testing::Values(
        ModeCase{"NtPowerOff", kVerPlatformWin32Nt, ShutdownMode::PowerOff, false,
                 afterPrivilege({"getVersionEx size=148", "exitWindowsEx 0x8 reason=0"})},
        ModeCase{"NtPowerOffForced", kVerPlatformWin32Nt, ShutdownMode::PowerOff, true,
                 afterPrivilege({"getVersionEx size=148", "exitWindowsEx 0xc reason=0"})},
        ModeCase{"NtRestart", kVerPlatformWin32Nt, ShutdownMode::Restart, false,
                 afterPrivilege({"exitWindowsEx 0x2 reason=0"})},
        ModeCase{"NtRestartForced", kVerPlatformWin32Nt, ShutdownMode::Restart, true,
                 afterPrivilege({"exitWindowsEx 0x6 reason=0"})},
        ModeCase{"NtLogOff", kVerPlatformWin32Nt, ShutdownMode::LogOff, false,
                 afterPrivilege({"exitWindowsEx 0x0 reason=0"})},
        ModeCase{"NtLogOffForced", kVerPlatformWin32Nt, ShutdownMode::LogOff, true,
                 afterPrivilege({"exitWindowsEx 0x4 reason=0"})},
        ModeCase{"NtSuspend", kVerPlatformWin32Nt, ShutdownMode::Suspend, false,
                 afterPrivilege({"setSystemPowerState suspend=1 force=0"})},
        ModeCase{"NtSuspendForced", kVerPlatformWin32Nt, ShutdownMode::Suspend, true,
                 afterPrivilege({"setSystemPowerState suspend=1 force=1"})},
        ModeCase{"NtHibernate", kVerPlatformWin32Nt, ShutdownMode::Hibernate, false,
                 afterPrivilege({"setSystemPowerState suspend=0 force=0"})},
        ModeCase{"NtHibernateForced", kVerPlatformWin32Nt, ShutdownMode::Hibernate, true,
                 afterPrivilege({"setSystemPowerState suspend=0 force=1"})},
        ModeCase{"Win9xPowerOff",
                 kWin9x,
                 ShutdownMode::PowerOff,
                 false,
                 {"getVersionEx size=148", "getVersionEx size=148", "exitWindowsEx 0x1 reason=0"}},
        ModeCase{"Win9xPowerOffForced",
                 kWin9x,
                 ShutdownMode::PowerOff,
                 true,
                 {"getVersionEx size=148", "getVersionEx size=148", "exitWindowsEx 0x5 reason=0"}},
        ModeCase{"Win9xRestartForced",
                 kWin9x,
                 ShutdownMode::Restart,
                 true,
                 {"getVersionEx size=148", "exitWindowsEx 0x6 reason=0"}},
        ModeCase{"Win9xSuspend",
                 kWin9x,
                 ShutdownMode::Suspend,
                 false,
                 {"getVersionEx size=148", "setSystemPowerState suspend=1 force=0"}}),
    [](const testing::TestParamInfo<ModeCase>& info) { return std::string(info.param.name); });

TEST(SystemShutdown, InvalidModesTouchNothing) {
    for (std::int32_t mode : {0, 6, -1}) {
        RecordingShutdownApi api;
        EXPECT_FALSE(SystemShutdown::request(api, static_cast<ShutdownMode>(mode), true)) << mode;
        EXPECT_TRUE(api.calls.empty()) << mode;
    }
}

TEST(SystemShutdown, ForceDefaultsToFalse) {
    RecordingShutdownApi api;
    EXPECT_TRUE(SystemShutdown::request(api, ShutdownMode::Restart));
    EXPECT_EQ(api.calls.back(), "exitWindowsEx 0x2 reason=0");
}

TEST(SystemShutdown, MissingPrivilegeStopsBeforeTheShutdownCall) {
    RecordingShutdownApi api;
    api.lastErrorAfterAdjust = kErrorNotAllAssigned;
    EXPECT_FALSE(SystemShutdown::request(api, ShutdownMode::PowerOff, true));
    EXPECT_EQ(api.calls, kPrivilegeStep);  // the token is still closed
}

TEST(SystemShutdown, TokenThatCannotBeOpenedStopsEverything) {
    RecordingShutdownApi api;
    api.openTokenSucceeds = false;
    EXPECT_FALSE(SystemShutdown::request(api, ShutdownMode::PowerOff, true));
    EXPECT_EQ(api.calls, (std::vector<std::string>{"getVersionEx size=148", "openProcessToken 0x28"}));
}

TEST(SystemShutdown, ResultIsTheSystemsAnswer) {
    RecordingShutdownApi refusingExit;
    refusingExit.exitWindowsResult = false;
    EXPECT_FALSE(SystemShutdown::request(refusingExit, ShutdownMode::PowerOff, true));

    RecordingShutdownApi refusingPower;
    refusingPower.powerStateResult = false;
    EXPECT_FALSE(SystemShutdown::request(refusingPower, ShutdownMode::Hibernate, false));
}

TEST(SystemShutdown, PrivilegeStepAlone) {
    RecordingShutdownApi nt;
    EXPECT_TRUE(SystemShutdown::enableShutdownPrivilege(nt));
    EXPECT_EQ(nt.calls, kPrivilegeStep);

    RecordingShutdownApi win9x;
    win9x.platformId = kWin9x;
    EXPECT_TRUE(SystemShutdown::enableShutdownPrivilege(win9x));
    EXPECT_EQ(win9x.calls, std::vector<std::string>{"getVersionEx size=148"});
}

}  // namespace
}  // namespace wgs
