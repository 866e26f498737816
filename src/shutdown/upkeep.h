// The main window's once-a-second upkeep: trim the working set, and power the
// computer off while the armed minute of local time lasts.
#pragma once

#include "core/application.h"

namespace wgs {

// The current local date and time, to the whole second.
DateTime currentDateTime(Platform& platform);

// SetProcessWorkingSetSize, bound by name on first use and kept for the rest
// of the run (its library stays loaded until the final clean-up).
class WorkingSetTrim {
public:
    // The system libraries searched, in order, for the function.
    static const char* const kLibraries[6];
    static constexpr const char* kFunctionName = "SetProcessWorkingSetSize";

    // Binds the function if it is not bound yet; a fatal error when no library has it.
    void* bind(Application& application);
    bool bound() const { return function_ != nullptr; }

private:
    void* function_ = nullptr;
};

// Asks the system to remove as many pages as it can from the process's working set.
void trimWorkingSet(Application& application, WorkingSetTrim& binding);

// The periodic event of the main window's 时钟1.
void upkeepTick(Application& application, WorkingSetTrim& binding);

}  // namespace wgs
