// Conversions between the program's texts and the wide strings of the W
// functions. Program texts are GBK: they are converted naming code page 936,
// never the system's ANSI code page, so every locale shows the same
// characters. Paths are held as UTF-8 inside the program.
#pragma once

#include <string>

namespace wgs::win32 {

std::wstring gbkToWide(const std::string& gbk);
// Characters that GBK cannot hold become '?'.
std::string wideToGbk(const std::wstring& wide);
std::wstring utf8ToWide(const std::string& utf8);
std::string wideToUtf8(const std::wstring& wide);

}  // namespace wgs::win32
