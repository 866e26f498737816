// Whole-file access on Windows. Paths are UTF-8 and opened with the W
// functions, so the program works from a folder of any name on any locale.
#pragma once

#include <string>

namespace wgs::win32 {

// The whole file; false (and `bytes` empty) when it is missing or unreadable.
bool readWholeFile(const std::string& path, std::string& bytes);

// Writes `bytes` to a new temporary file in the same directory, flushes it and
// moves it over `path` with one MoveFileExW, so that a crash at any moment
// leaves either the old or the new content. False, with the old file
// untouched and no temporary file left behind, when any step fails.
bool replaceWholeFile(const std::string& path, const std::string& bytes);

}  // namespace wgs::win32
