#include "platform/gtk/logind_shutdown.h"

#include <cstring>

namespace wgs::gtkbackend {
namespace {

constexpr const char* kService = "org.freedesktop.login1";
constexpr const char* kPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
// logind's flag for "<Action>WithFlags": ignore every inhibitor lock.
constexpr guint64 kSkipInhibitors = guint64(1) << 4;
// Long enough for a loaded system bus, short enough not to freeze the window.
constexpr int kTimeoutMs = 3000;

// The identifier Windows gives SeShutdownPrivilege.
constexpr std::uint32_t kShutdownPrivilegeLuid = 19;
constexpr std::uint32_t kErrorNoSuchPrivilege = 1313;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorAccessDenied = 5;

}  // namespace

LogindShutdownApi::~LogindShutdownApi() {
    if (bus_ != nullptr) g_object_unref(bus_);
}

GDBusConnection* LogindShutdownApi::bus() {
    if (bus_ == nullptr || g_dbus_connection_is_closed(bus_)) {
        if (bus_ != nullptr) g_object_unref(bus_);
        // A private connection: a shared one would be closed under us by
        // anything else in the process that closes it.
        GError* error = nullptr;
        gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
        bus_ = nullptr;
        if (address != nullptr) {
            bus_ = g_dbus_connection_new_for_address_sync(
                address,
                static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                  G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                nullptr, nullptr, &error);
            g_free(address);
        }
        if (error != nullptr) g_error_free(error);
    }
    return bus_;
}

bool LogindShutdownApi::callManager(const char* method, GVariant* parameters, GVariant** reply,
                                    bool* unknownMethod) {
    if (unknownMethod != nullptr) *unknownMethod = false;
    GDBusConnection* connection = bus();
    if (connection == nullptr) {
        if (parameters != nullptr) g_variant_unref(g_variant_ref_sink(parameters));
        return false;
    }
    GError* error = nullptr;
    GVariant* result =
        g_dbus_connection_call_sync(connection, kService, kPath, kManager, method, parameters, nullptr,
                                    G_DBUS_CALL_FLAGS_NO_AUTO_START, kTimeoutMs, nullptr, &error);
    if (result == nullptr) {
        if (unknownMethod != nullptr && error != nullptr &&
            (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD) ||
             g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS))) {
            *unknownMethod = true;  // an older logind: no such method, or not this flag
        }
        if (error != nullptr) g_error_free(error);
        return false;
    }
    if (reply != nullptr) {
        *reply = result;
    } else {
        g_variant_unref(result);
    }
    return true;
}

bool LogindShutdownApi::allowed(const char* canMethod) {
    GVariant* reply = nullptr;
    if (!callManager(canMethod, nullptr, &reply)) return false;
    bool ok = false;
    if (g_variant_is_of_type(reply, G_VARIANT_TYPE("(s)"))) {
        const gchar* answer = nullptr;
        g_variant_get(reply, "(&s)", &answer);
        ok = std::strcmp(answer, "yes") == 0 || std::strcmp(answer, "challenge") == 0;
    }
    g_variant_unref(reply);
    return ok;
}

bool LogindShutdownApi::powerAction(const std::string& action, bool force) {
    if (force) {
        bool unknown = false;
        const std::string withFlags = action + "WithFlags";
        if (callManager(withFlags.c_str(), g_variant_new("(t)", kSkipInhibitors), nullptr, &unknown)) {
            return true;
        }
        if (!unknown) return false;
    }
    // Never interactive: an unattended request must not wait for a password.
    return callManager(action.c_str(), g_variant_new("(b)", FALSE));
}

bool LogindShutdownApi::getVersionEx(OsVersionInfo& info) {
    if (info.sizeOfStruct != 148 && info.sizeOfStruct != 156) {
        lastError_ = 122;  // ERROR_INSUFFICIENT_BUFFER, as for a wrong structure size
        return false;
    }
    // The shutdown logic knows two families; this one has privileges and power-off.
    info.majorVersion = 6;
    info.minorVersion = 1;
    info.buildNumber = 7601;
    info.platformId = kVerPlatformWin32Nt;
    lastError_ = 0;
    return true;
}

bool LogindShutdownApi::openProcessToken(std::uint32_t access, TokenHandle& token) {
    (void)access;
    token = nextToken_++;
    lastError_ = 0;
    return true;
}

bool LogindShutdownApi::lookupPrivilegeValue(const char* name, Luid& luid) {
    if (name == nullptr || g_ascii_strcasecmp(name, "SeShutdownPrivilege") != 0) {
        lastError_ = kErrorNoSuchPrivilege;
        return false;
    }
    luid.lowPart = kShutdownPrivilegeLuid;
    luid.highPart = 0;
    lastError_ = 0;
    return true;
}

bool LogindShutdownApi::adjustTokenPrivileges(TokenHandle token, const Luid& luid, std::uint32_t attributes) {
    if (token == 0) {
        lastError_ = kErrorInvalidHandle;
        return false;
    }
    if (luid.lowPart != kShutdownPrivilegeLuid || luid.highPart != 0) {
        lastError_ = kErrorNoSuchPrivilege;
        return false;
    }
    if ((attributes & kSePrivilegeEnabled) == 0) {
        lastError_ = 0;  // disabling always succeeds
        return true;
    }
    // The account "holds the privilege" when logind would let it power off,
    // reboot or sleep at all; like Windows, the call itself succeeds either way.
    const bool held =
        allowed("CanPowerOff") || allowed("CanReboot") || allowed("CanSuspend") || allowed("CanHibernate");
    lastError_ = held ? 0 : kErrorNotAllAssigned;
    return true;
}

bool LogindShutdownApi::closeHandle(TokenHandle token) {
    lastError_ = token == 0 ? kErrorInvalidHandle : 0;
    return token != 0;
}

bool LogindShutdownApi::exitWindowsEx(std::uint32_t flags, std::uint32_t reason) {
    (void)reason;  // logind records no reason
    const bool force = (flags & kEwxForce) != 0;
    bool ok = false;
    if ((flags & (kEwxPoweroff | kEwxShutdown)) != 0) {
        ok = powerAction("PowerOff", force);
    } else if ((flags & kEwxReboot) != 0) {
        ok = powerAction("Reboot", force);
    } else {
        // Log off: end the session this process belongs to ("auto" falls back
        // to the user's graphical session when the process has none of its own).
        ok = callManager("TerminateSession", g_variant_new("(s)", "auto"));
    }
    lastError_ = ok ? 0 : kErrorAccessDenied;
    return ok;
}

bool LogindShutdownApi::setSystemPowerState(bool suspend, bool force) {
    const bool ok = powerAction(suspend ? "Suspend" : "Hibernate", force);
    lastError_ = ok ? 0 : kErrorAccessDenied;
    return ok;
}

}  // namespace wgs::gtkbackend
