// The Windows-style shutdown table mapped onto systemd-logind over D-Bus.
//
// The system bus is the one GIO connects to: DBUS_SYSTEM_BUS_ADDRESS when set,
// else the well-known socket. Every call has a short timeout, because the
// upkeep tick waits for it on the user-interface thread.
#pragma once

#include <gio/gio.h>

#include <string>

#include "platform/shutdown_api.h"

namespace wgs::gtkbackend {

class LogindShutdownApi : public ShutdownApi {
public:
    LogindShutdownApi() = default;
    ~LogindShutdownApi() override;
    LogindShutdownApi(const LogindShutdownApi&) = delete;
    LogindShutdownApi& operator=(const LogindShutdownApi&) = delete;

    bool getVersionEx(OsVersionInfo& info) override;
    bool openProcessToken(std::uint32_t access, TokenHandle& token) override;
    bool lookupPrivilegeValue(const char* name, Luid& luid) override;
    bool adjustTokenPrivileges(TokenHandle token, const Luid& luid, std::uint32_t attributes) override;
    std::uint32_t getLastError() override { return lastError_; }
    bool closeHandle(TokenHandle token) override;
    bool exitWindowsEx(std::uint32_t flags, std::uint32_t reason) override;
    bool setSystemPowerState(bool suspend, bool force) override;

private:
    GDBusConnection* bus();
    // Calls a method of logind's manager; false when it failed.
    bool callManager(const char* method, GVariant* parameters, GVariant** reply = nullptr,
                     bool* unknownMethod = nullptr);
    // "<Action>WithFlags(t)" asking to skip inhibitors when forced, where logind
    // has it; else the plain "<Action>(b)" without interaction.
    bool powerAction(const std::string& action, bool force);
    // "yes" or "challenge" from a Can* method.
    bool allowed(const char* canMethod);

    GDBusConnection* bus_ = nullptr;
    std::uint32_t lastError_ = 0;
    TokenHandle nextToken_ = 1;
};

}  // namespace wgs::gtkbackend
