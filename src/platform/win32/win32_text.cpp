#include "platform/win32/win32_text.h"

#include <windows.h>

namespace wgs::win32 {
namespace {

constexpr UINT kGbk = 936;

std::wstring toWide(UINT codePage, const std::string& bytes) {
    if (bytes.empty()) return std::wstring();
    const int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), &wide[0], n);
    return wide;
}

std::string fromWide(UINT codePage, const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int n = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                      nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string bytes(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), &bytes[0], n, nullptr,
                        nullptr);
    return bytes;
}

}  // namespace

std::wstring gbkToWide(const std::string& gbk) {
    return toWide(kGbk, gbk);
}
std::string wideToGbk(const std::wstring& wide) {
    return fromWide(kGbk, wide);
}
std::wstring utf8ToWide(const std::string& utf8) {
    return toWide(CP_UTF8, utf8);
}
std::string wideToUtf8(const std::wstring& wide) {
    return fromWide(CP_UTF8, wide);
}

}  // namespace wgs::win32
