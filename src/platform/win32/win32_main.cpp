// The entry of webgame-shell.exe: the program on the Windows platform.
#include <windows.h>

#include "browsing/program.h"
#include "platform/win32/win32_platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    wgs::win32::Win32Platform platform(instance);
    return wgs::runProgram(platform);
}
