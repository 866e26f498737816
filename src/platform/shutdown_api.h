// The operating-system functions a shutdown request is made of, as a table.
//
// The request logic is written once against this table. The Windows backend
// binds it to the real functions; the Linux backend maps it onto
// systemd-logind; tests bind it to fakes, so nothing under test can ever
// reach a real power-off.
#pragma once

#include <cstdint>

namespace wgs {

constexpr std::uint32_t kVerPlatformWin32Nt = 2;
constexpr std::uint32_t kTokenAdjustPrivileges = 0x20;
constexpr std::uint32_t kTokenQuery = 0x8;
constexpr std::uint32_t kSePrivilegeEnabled = 2;
constexpr std::uint32_t kErrorNotAllAssigned = 1300;

constexpr std::uint32_t kEwxLogoff = 0x0;
constexpr std::uint32_t kEwxShutdown = 0x1;
constexpr std::uint32_t kEwxReboot = 0x2;
constexpr std::uint32_t kEwxForce = 0x4;
constexpr std::uint32_t kEwxPoweroff = 0x8;

struct Luid {
    std::uint32_t lowPart = 0;
    std::int32_t highPart = 0;
};

struct OsVersionInfo {
    std::uint32_t sizeOfStruct = 148;  // sizeof(OSVERSIONINFOA)
    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
    std::uint32_t buildNumber = 0;
    std::uint32_t platformId = 0;
};

using TokenHandle = std::uintptr_t;

class ShutdownApi {
public:
    virtual ~ShutdownApi() = default;
    virtual bool getVersionEx(OsVersionInfo& info) = 0;
    // OpenProcessToken(GetCurrentProcess(), access, &token)
    virtual bool openProcessToken(std::uint32_t access, TokenHandle& token) = 0;
    // LookupPrivilegeValueA(NULL, name, &luid)
    virtual bool lookupPrivilegeValue(const char* name, Luid& luid) = 0;
    // AdjustTokenPrivileges(token, FALSE, {1, {luid, attributes}}, 0, NULL, NULL)
    virtual bool adjustTokenPrivileges(TokenHandle token, const Luid& luid, std::uint32_t attributes) = 0;
    virtual std::uint32_t getLastError() = 0;
    virtual bool closeHandle(TokenHandle token) = 0;
    virtual bool exitWindowsEx(std::uint32_t flags, std::uint32_t reason) = 0;
    virtual bool setSystemPowerState(bool suspend, bool force) = 0;
};

}  // namespace wgs
