// Asking the operating system to power off, restart, log off, suspend or
// hibernate, written only against the ShutdownApi table so that the same
// logic runs on every backend and is tested against fakes.
#pragma once

#include <cstdint>

#include "platform/shutdown_api.h"

namespace wgs {

enum class ShutdownMode : std::int32_t {
    PowerOff = 1,
    Restart = 2,
    LogOff = 3,
    Suspend = 4,
    Hibernate = 5,
};

namespace SystemShutdown {

// Makes sure the process holds the shutdown privilege where the platform has
// privileges. True on a platform without them.
bool enableShutdownPrivilege(ShutdownApi& api);

// One request; true when the system accepted it. An invalid mode touches
// nothing and gives false; so does a privilege that cannot be enabled.
bool request(ShutdownApi& api, ShutdownMode mode, bool force = false);

}  // namespace SystemShutdown

}  // namespace wgs
