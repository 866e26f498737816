// The shutdown table bound to the real Windows functions.
//
// MinGW calls Windows functions through import pointers, which a test cannot
// replace; every call therefore goes through Win32ShutdownFunctions, a table
// of function pointers that the program fills with the real functions and a
// test fills with fakes.
#pragma once

#include <windows.h>

#include "platform/shutdown_api.h"

namespace wgs::win32 {

struct Win32ShutdownFunctions {
    BOOL(WINAPI* getVersionExA)(LPOSVERSIONINFOA) = nullptr;
    HANDLE(WINAPI* getCurrentProcess)() = nullptr;
    BOOL(WINAPI* openProcessToken)(HANDLE, DWORD, PHANDLE) = nullptr;
    BOOL(WINAPI* lookupPrivilegeValueA)(LPCSTR, LPCSTR, PLUID) = nullptr;
    BOOL(WINAPI* adjustTokenPrivileges)
    (HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD) = nullptr;
    DWORD(WINAPI* getLastError)() = nullptr;
    BOOL(WINAPI* closeHandle)(HANDLE) = nullptr;
    BOOL(WINAPI* exitWindowsEx)(UINT, DWORD) = nullptr;
    // Not in every system's kernel32: looked up by name, null when missing.
    BOOL(WINAPI* setSystemPowerState)(BOOL, BOOL) = nullptr;

    // The real functions of this system.
    static Win32ShutdownFunctions system();
};

class Win32ShutdownApi : public ShutdownApi {
public:
    explicit Win32ShutdownApi(const Win32ShutdownFunctions& functions = Win32ShutdownFunctions::system())
        : f_(functions) {}

    bool getVersionEx(OsVersionInfo& info) override;
    bool openProcessToken(std::uint32_t access, TokenHandle& token) override;
    bool lookupPrivilegeValue(const char* name, Luid& luid) override;
    bool adjustTokenPrivileges(TokenHandle token, const Luid& luid, std::uint32_t attributes) override;
    std::uint32_t getLastError() override;
    bool closeHandle(TokenHandle token) override;
    bool exitWindowsEx(std::uint32_t flags, std::uint32_t reason) override;
    bool setSystemPowerState(bool suspend, bool force) override;

private:
    Win32ShutdownFunctions f_;
};

}  // namespace wgs::win32
