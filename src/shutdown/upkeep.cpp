#include "shutdown/upkeep.h"

#include "shutdown/system_shutdown.h"

namespace wgs {

const char* const WorkingSetTrim::kLibraries[6] = {"Kernel32.dll", "Gdi32.dll", "User32.dll",
                                                   "Advapi32.dll", "Mpr.dll",   "Shell32.dll"};

DateTime currentDateTime(Platform& platform) {
    CalendarFields local;  // 1 January 1970 when the clock cannot be converted
    platform.localFields(platform.calendarSeconds(), local);
    DateTimeFields fields;
    fields.year = local.year;
    fields.month = local.month;
    fields.day = local.day;
    fields.hour = local.hour;
    fields.minute = local.minute;
    fields.second = local.second;
    return dateTimeFromFields(fields);
}

void* WorkingSetTrim::bind(Application& app) {
    if (function_ != nullptr) return function_;
    Platform& platform = app.platform();
    for (const char* name : kLibraries) {
        const Handle library = platform.loadLibrary(name);
        if (library == 0) continue;
        if (void* function = platform.libraryFunction(library, kFunctionName)) {
            app.keepLibrary(library);
            function_ = function;
            return function_;
        }
        platform.freeLibrary(library);
    }
    app.fatalError(joinTexts(joinTexts("无法找到指定DLL库文件中的输出命令“", kFunctionName), "”"));
}

void trimWorkingSet(Application& app, WorkingSetTrim& binding) {
    app.platform().callWorkingSetTrim(binding.bind(app));
}

void upkeepTick(Application& app, WorkingSetTrim& binding) {
    trimWorkingSet(app, binding);
    const ShutdownSchedule& schedule = app.schedule();
    if (schedule.armed != 1) return;
    // Seconds do not count: every tick of the armed minute asks again.
    if (hourOf(currentDateTime(app.platform())) != schedule.hour) return;
    if (minuteOf(currentDateTime(app.platform())) != schedule.minute) return;
    SystemShutdown::request(app.platform().shutdownApi(), ShutdownMode::PowerOff, true);
}

}  // namespace wgs
