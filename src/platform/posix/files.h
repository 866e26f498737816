// File access on POSIX systems, shared by the sim and the GTK backend.
#pragma once

#include <string>

namespace wgs::posix {

// The whole file; false (and `bytes` empty) when it is missing or unreadable
// (a directory, no permission, a link loop, ...).
bool readWholeFile(const std::string& path, std::string& bytes);

// Writes `bytes` to a new temporary file in the same directory, flushes it to
// the disk and renames it over `path`, so that a crash at any moment leaves
// either the old or the new content. A symbolic link at `path` is followed
// (its target is replaced), and the old file's mode is kept. An existing file
// that is not a regular file we may read and write is not replaced. False,
// with the old file untouched and no temporary left behind, when any step
// fails.
bool replaceWholeFile(const std::string& path, const std::string& bytes);

}  // namespace wgs::posix
