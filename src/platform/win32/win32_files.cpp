#include "platform/win32/win32_files.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/win32_text.h"

namespace wgs::win32 {
namespace {

// The directory part of a path with its trailing separator ("" for a bare name).
std::wstring directoryOf(const std::wstring& path) {
    const std::size_t cut = path.find_last_of(L"\\/");
    if (cut != std::wstring::npos) return path.substr(0, cut + 1);
    // "C:yxq.ini" is relative to drive C's current directory.
    if (path.size() >= 2 && path[1] == L':') return path.substr(0, 2);
    return std::wstring();
}

bool writeAll(HANDLE file, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

}  // namespace

bool readWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    const std::wstring wide = utf8ToWide(path);
    if (wide.empty()) return false;
    HANDLE file =
        CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string content;
    bool ok = true;
    char buffer[64 * 1024];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        content.append(buffer, got);
    }
    CloseHandle(file);
    if (ok) bytes.swap(content);
    return ok;
}

bool replaceWholeFile(const std::string& path, const std::string& bytes) {
    const std::wstring target = utf8ToWide(path);
    if (target.empty()) return false;
    // Windows refuses to replace a read-only file; ask first, so that the
    // answer does not depend on the file system underneath.
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        return false;
    }
    std::wstring directory = directoryOf(target);
    if (directory.empty()) directory = L".";
    wchar_t temporary[MAX_PATH + 1];
    // Creates an empty file with a unique name, so no other file is ever overwritten.
    if (GetTempFileNameW(directory.c_str(), L"wgs", 0, temporary) == 0) return false;
    HANDLE file =
        CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok = file != INVALID_HANDLE_VALUE;
    if (ok) {
        ok = writeAll(file, bytes) && FlushFileBuffers(file);
        CloseHandle(file);
    }
    if (ok)
        ok = MoveFileExW(temporary, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok) DeleteFileW(temporary);
    return ok;
}

}  // namespace wgs::win32
