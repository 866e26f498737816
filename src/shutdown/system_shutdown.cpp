#include "shutdown/system_shutdown.h"

namespace wgs {

namespace {

const char* const kShutdownPrivilegeName = "SeShutdownPrivilege";

bool onNtPlatform(ShutdownApi& api) {
    OsVersionInfo info;  // size field set, everything else zero
    api.getVersionEx(info);
    return info.platformId == kVerPlatformWin32Nt;
}

}  // namespace

bool SystemShutdown::enableShutdownPrivilege(ShutdownApi& api) {
    if (!onNtPlatform(api)) return true;  // no privileges to enable there

    TokenHandle token = 0;
    if (!api.openProcessToken(kTokenAdjustPrivileges | kTokenQuery, token)) return false;

    Luid luid;
    api.lookupPrivilegeValue(kShutdownPrivilegeName, luid);
    api.adjustTokenPrivileges(token, luid, kSePrivilegeEnabled);
    // The call's own result does not tell whether the account holds the
    // privilege (ERROR_NOT_ALL_ASSIGNED comes with success); the last error does,
    // and it must be read before anything else can change it.
    const std::uint32_t error = api.getLastError();
    // The timed power-off repeats its request every second of its minute: one
    // leaked token handle per request would add up.
    api.closeHandle(token);
    return error == 0;
}

bool SystemShutdown::request(ShutdownApi& api, ShutdownMode mode, bool force) {
    const auto value = static_cast<std::int32_t>(mode);
    if (value < static_cast<std::int32_t>(ShutdownMode::PowerOff) ||
        value > static_cast<std::int32_t>(ShutdownMode::Hibernate)) {
        return false;
    }
    if (!enableShutdownPrivilege(api)) return false;

    switch (mode) {
        case ShutdownMode::Suspend:
            return api.setSystemPowerState(true, force);
        case ShutdownMode::Hibernate:
            return api.setSystemPowerState(false, force);
        default:
            break;
    }

    std::uint32_t flags = kEwxLogoff;
    if (mode == ShutdownMode::PowerOff) {
        flags = onNtPlatform(api) ? kEwxPoweroff : kEwxShutdown;
    } else if (mode == ShutdownMode::Restart) {
        flags = kEwxReboot;
    }
    if (force) flags |= kEwxForce;
    return api.exitWindowsEx(flags, 0);
}

}  // namespace wgs
