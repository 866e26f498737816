// The shutdown table's Windows binding: each call reaches the intended
// Windows function with the intended arguments. The functions are fakes; the
// real ones are only compared by address, never called.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/win32_shutdown.h"

namespace wgs::win32 {
namespace {

struct Record {
    std::vector<std::string> calls;
    DWORD versionSize = 0;
    DWORD platformId = VER_PLATFORM_WIN32_NT;
    HANDLE processGiven = nullptr;
    DWORD access = 0;
    std::string privilegeName;
    bool systemNameNull = false;
    TOKEN_PRIVILEGES privileges{};
    BOOL disableAll = TRUE;
    DWORD bufferLength = 99;
    bool previousNull = false;
    bool returnLengthNull = false;
    HANDLE tokenAdjusted = nullptr;
    HANDLE tokenClosed = nullptr;
    UINT exitFlags = 0;
    DWORD exitReason = 99;
    BOOL suspend = -1;
    BOOL force = -1;
    DWORD lastError = 1300;
};
Record* rec = nullptr;

const HANDLE kProcess = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-1));
const HANDLE kToken = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x1234));

BOOL WINAPI fakeGetVersionExA(LPOSVERSIONINFOA info) {
    rec->calls.push_back("GetVersionExA");
    rec->versionSize = info->dwOSVersionInfoSize;
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 1;
    info->dwBuildNumber = 2600;
    info->dwPlatformId = rec->platformId;
    return TRUE;
}
HANDLE WINAPI fakeGetCurrentProcess() {
    return kProcess;
}
BOOL WINAPI fakeOpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    rec->calls.push_back("OpenProcessToken");
    rec->processGiven = process;
    rec->access = access;
    *token = kToken;
    return TRUE;
}
BOOL WINAPI fakeLookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) {
    rec->calls.push_back("LookupPrivilegeValueA");
    rec->systemNameNull = system == nullptr;
    rec->privilegeName = name;
    luid->LowPart = 19;
    luid->HighPart = 7;
    return TRUE;
}
BOOL WINAPI fakeAdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD length,
                                      PTOKEN_PRIVILEGES previous, PDWORD returnLength) {
    rec->calls.push_back("AdjustTokenPrivileges");
    rec->tokenAdjusted = token;
    rec->disableAll = disableAll;
    rec->privileges = *state;
    rec->bufferLength = length;
    rec->previousNull = previous == nullptr;
    rec->returnLengthNull = returnLength == nullptr;
    return TRUE;
}
DWORD WINAPI fakeGetLastError() {
    return rec->lastError;
}
BOOL WINAPI fakeCloseHandle(HANDLE h) {
    rec->calls.push_back("CloseHandle");
    rec->tokenClosed = h;
    return TRUE;
}
BOOL WINAPI fakeExitWindowsEx(UINT flags, DWORD reason) {
    rec->calls.push_back("ExitWindowsEx");
    rec->exitFlags = flags;
    rec->exitReason = reason;
    return TRUE;
}
BOOL WINAPI fakeSetSystemPowerState(BOOL suspend, BOOL force) {
    rec->calls.push_back("SetSystemPowerState");
    rec->suspend = suspend;
    rec->force = force;
    return FALSE;
}

Win32ShutdownFunctions fakes() {
    Win32ShutdownFunctions f;
    f.getVersionExA = &fakeGetVersionExA;
    f.getCurrentProcess = &fakeGetCurrentProcess;
    f.openProcessToken = &fakeOpenProcessToken;
    f.lookupPrivilegeValueA = &fakeLookupPrivilegeValueA;
    f.adjustTokenPrivileges = &fakeAdjustTokenPrivileges;
    f.getLastError = &fakeGetLastError;
    f.closeHandle = &fakeCloseHandle;
    f.exitWindowsEx = &fakeExitWindowsEx;
    f.setSystemPowerState = &fakeSetSystemPowerState;
    return f;
}

class ShutdownBindingTest : public ::testing::Test {
protected:
    void SetUp() override { rec = &record; }
    void TearDown() override { rec = nullptr; }
    Record record;
    Win32ShutdownApi api{fakes()};
};

TEST_F(ShutdownBindingTest, VersionQueryPassesTheSizeOfTheStructure) {
    OsVersionInfo info;
    ASSERT_TRUE(api.getVersionEx(info));
    EXPECT_EQ(record.versionSize, 148u);
    EXPECT_EQ(sizeof(OSVERSIONINFOA), 148u);
    EXPECT_EQ(info.platformId, kVerPlatformWin32Nt);
    EXPECT_EQ(info.majorVersion, 5u);
    EXPECT_EQ(info.buildNumber, 2600u);
}

TEST_F(ShutdownBindingTest, PrivilegeCallsCarryTheirArguments) {
    TokenHandle token = 0;
    ASSERT_TRUE(api.openProcessToken(kTokenAdjustPrivileges | kTokenQuery, token));
    EXPECT_EQ(record.processGiven, kProcess);
    EXPECT_EQ(record.access, 0x28u);
    EXPECT_EQ(token, reinterpret_cast<TokenHandle>(kToken));

    Luid luid;
    ASSERT_TRUE(api.lookupPrivilegeValue("SeShutdownPrivilege", luid));
    EXPECT_TRUE(record.systemNameNull);
    EXPECT_EQ(record.privilegeName, "SeShutdownPrivilege");
    EXPECT_EQ(luid.lowPart, 19u);
    EXPECT_EQ(luid.highPart, 7);

    ASSERT_TRUE(api.adjustTokenPrivileges(token, luid, kSePrivilegeEnabled));
    EXPECT_EQ(record.tokenAdjusted, kToken);
    EXPECT_FALSE(record.disableAll);
    EXPECT_EQ(record.privileges.PrivilegeCount, 1u);
    EXPECT_EQ(record.privileges.Privileges[0].Luid.LowPart, 19u);
    EXPECT_EQ(record.privileges.Privileges[0].Luid.HighPart, 7);
    EXPECT_EQ(record.privileges.Privileges[0].Attributes, 2u);
    EXPECT_EQ(record.bufferLength, 0u);
    EXPECT_TRUE(record.previousNull);
    EXPECT_TRUE(record.returnLengthNull);

    EXPECT_EQ(api.getLastError(), 1300u);
    ASSERT_TRUE(api.closeHandle(token));
    EXPECT_EQ(record.tokenClosed, kToken);
}

TEST_F(ShutdownBindingTest, ShutdownCallsCarryFlagsReasonAndResults) {
    EXPECT_TRUE(api.exitWindowsEx(0xC, 0));
    EXPECT_EQ(record.exitFlags, 0xCu);
    EXPECT_EQ(record.exitReason, 0u);
    EXPECT_FALSE(api.setSystemPowerState(true, false));
    EXPECT_EQ(record.suspend, TRUE);
    EXPECT_EQ(record.force, FALSE);
    EXPECT_EQ(record.calls, (std::vector<std::string>{"ExitWindowsEx", "SetSystemPowerState"}));
}

TEST_F(ShutdownBindingTest, MissingPowerStateFunctionFailsWithoutACall) {
    Win32ShutdownFunctions f = fakes();
    f.setSystemPowerState = nullptr;
    Win32ShutdownApi withoutPowerState(f);
    EXPECT_FALSE(withoutPowerState.setSystemPowerState(false, true));
    EXPECT_TRUE(record.calls.empty());
}

// The program's table points at the system's own exports. Compared by
// address only: nothing here may ever call them.
TEST(ShutdownBindingSystem, TableHoldsTheSystemFunctions) {
    const Win32ShutdownFunctions f = Win32ShutdownFunctions::system();
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    HMODULE user = LoadLibraryW(L"user32.dll");
    HMODULE advapi = LoadLibraryW(L"advapi32.dll");
    auto exported = [](HMODULE module, const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(module, name));
    };
    EXPECT_EQ(reinterpret_cast<void*>(f.exitWindowsEx), exported(user, "ExitWindowsEx"));
    EXPECT_EQ(reinterpret_cast<void*>(f.adjustTokenPrivileges), exported(advapi, "AdjustTokenPrivileges"));
    EXPECT_EQ(reinterpret_cast<void*>(f.lookupPrivilegeValueA), exported(advapi, "LookupPrivilegeValueA"));
    EXPECT_EQ(reinterpret_cast<void*>(f.setSystemPowerState), exported(kernel, "SetSystemPowerState"));
    EXPECT_NE(f.getVersionExA, nullptr);
    EXPECT_NE(f.openProcessToken, nullptr);
    EXPECT_NE(f.getLastError, nullptr);
    EXPECT_NE(f.closeHandle, nullptr);
    EXPECT_NE(f.getCurrentProcess, nullptr);
    FreeLibrary(user);
    FreeLibrary(advapi);
}

}  // namespace
}  // namespace wgs::win32
