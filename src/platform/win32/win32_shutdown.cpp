#include "platform/win32/win32_shutdown.h"

namespace wgs::win32 {

Win32ShutdownFunctions Win32ShutdownFunctions::system() {
    Win32ShutdownFunctions f;
    f.getVersionExA = &GetVersionExA;
    f.getCurrentProcess = &GetCurrentProcess;
    f.openProcessToken = &OpenProcessToken;
    f.lookupPrivilegeValueA = &LookupPrivilegeValueA;
    f.adjustTokenPrivileges = &AdjustTokenPrivileges;
    f.getLastError = &GetLastError;
    f.closeHandle = &CloseHandle;
    f.exitWindowsEx = &ExitWindowsEx;
    if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
        FARPROC found = GetProcAddress(kernel, "SetSystemPowerState");
        f.setSystemPowerState = reinterpret_cast<BOOL(WINAPI*)(BOOL, BOOL)>(reinterpret_cast<void*>(found));
    }
    return f;
}

bool Win32ShutdownApi::getVersionEx(OsVersionInfo& info) {
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
    const bool ok = f_.getVersionExA(&v) != FALSE;
    info.sizeOfStruct = v.dwOSVersionInfoSize;
    info.majorVersion = v.dwMajorVersion;
    info.minorVersion = v.dwMinorVersion;
    info.buildNumber = v.dwBuildNumber;
    info.platformId = v.dwPlatformId;
    return ok;
}

bool Win32ShutdownApi::openProcessToken(std::uint32_t access, TokenHandle& token) {
    HANDLE h = nullptr;
    const bool ok = f_.openProcessToken(f_.getCurrentProcess(), access, &h) != FALSE;
    token = reinterpret_cast<TokenHandle>(h);
    return ok;
}

bool Win32ShutdownApi::lookupPrivilegeValue(const char* name, Luid& luid) {
    LUID id{};
    const bool ok = f_.lookupPrivilegeValueA(nullptr, name, &id) != FALSE;
    luid.lowPart = id.LowPart;
    luid.highPart = id.HighPart;
    return ok;
}

bool Win32ShutdownApi::adjustTokenPrivileges(TokenHandle token, const Luid& luid, std::uint32_t attributes) {
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid.LowPart = luid.lowPart;
    privileges.Privileges[0].Luid.HighPart = luid.highPart;
    privileges.Privileges[0].Attributes = attributes;
    return f_.adjustTokenPrivileges(reinterpret_cast<HANDLE>(token), FALSE, &privileges, 0, nullptr,
                                    nullptr) != FALSE;
}

std::uint32_t Win32ShutdownApi::getLastError() {
    return f_.getLastError();
}

bool Win32ShutdownApi::closeHandle(TokenHandle token) {
    return f_.closeHandle(reinterpret_cast<HANDLE>(token)) != FALSE;
}

bool Win32ShutdownApi::exitWindowsEx(std::uint32_t flags, std::uint32_t reason) {
    return f_.exitWindowsEx(flags, reason) != FALSE;
}

bool Win32ShutdownApi::setSystemPowerState(bool suspend, bool force) {
    if (!f_.setSystemPowerState) return false;
    return f_.setSystemPowerState(suspend ? TRUE : FALSE, force ? TRUE : FALSE) != FALSE;
}

}  // namespace wgs::win32
