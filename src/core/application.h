// The process from start to end: run directory, window descriptions, the
// message loop, the final clean-up and the one report of a fatal error.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/config_file.h"
#include "core/text.h"
#include "core/window_model.h"
#include "platform/platform.h"

namespace wgs {

// The process-wide record that links the shutdown window to the upkeep tick.
struct ShutdownSchedule {
    std::int32_t armed = 0;
    std::int32_t hour = 0;
    std::int32_t minute = 0;
};

class Application {
public:
    // Describes the program's windows into the window manager and names the start window.
    using ProgramSetup = std::function<int(Application&)>;

    Application(Platform& platform, ProgramSetup setup);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Runs the whole process; the result is its exit code (0 after the last
    // window has gone). A fatal error ends the process through the platform.
    int start();
    // Runs until the quit is posted; also used nested by modal loads.
    void runMessageLoop();
    // Runs `step` of the loop until `done` holds (nested loops of modal windows).
    void runNestedLoop(const std::function<bool()>& done);
    void postQuit(int exitCode);
    bool loopStarted() const { return loopStarted_; }
    bool quitPosted() const { return quitPosted_; }
    // Idempotent: events off for good, windows discarded, exit hook, libraries released, engine shut down.
    void finalCleanup();
    [[noreturn]] void fatalError(const Text& message, int code = 0);

    Platform& platform() { return platform_; }
    WindowManager& windows() { return *windows_; }
    ConfigFile& config() { return *config_; }
    ShutdownSchedule& schedule() { return schedule_; }
    const std::string& runDirectory() const { return runDirectory_; }
    const std::string& startFileName() const { return startFileName_; }

    // Libraries loaded to bind a function by name; released by the final clean-up.
    void keepLibrary(Handle library) { libraries_.push_back(library); }
    void setExitHook(std::function<void()> hook) { exitHook_ = std::move(hook); }

    // The message-box text of a fatal error.
    static Text fatalErrorText(const Text& message, int code);

private:
    Platform& platform_;
    ProgramSetup setup_;
    std::unique_ptr<WindowManager> windows_;
    std::unique_ptr<ConfigFile> config_;
    ShutdownSchedule schedule_;
    std::string runDirectory_;
    std::string startFileName_;
    std::vector<Handle> libraries_;
    std::function<void()> exitHook_;
    bool engineInitialized_ = false;
    bool loopStarted_ = false;
    bool quitPosted_ = false;
    bool quitReceived_ = false;
    int exitCode_ = 0;
    bool cleanedUp_ = false;
};

// Switches the themed look on (1..3) or off; every window does it when created.
bool applyVisualStyle(Application& application, int style);

}  // namespace wgs
