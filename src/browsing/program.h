// webgame-shell as a whole: the three windows described into the window
// manager and the main window loaded as the start window.
#pragma once

namespace wgs {

class Application;
class Platform;

// Describes MainWindow, SettingsWindow and ShutdownWindow into the window
// manager and returns the number of the start window (MainWindow).
int describeProgram(Application& application);

// The entry of the process on any backend: Application::start with the program.
int runProgram(Platform& platform);

}  // namespace wgs
