// Conversions between the program's texts (code page 936) and GTK's UTF-8.
#pragma once

#include <cstdint>
#include <string>

namespace wgs::gtkbackend {

// Bytes that are not valid code page 936 become U+FFFD; the rest converts exactly.
std::string gbkToUtf8(const std::string& gbk);
// Characters that code page 936 cannot hold become '?'; invalid UTF-8 bytes too.
std::string utf8ToGbk(const std::string& utf8);
// Windows line breaks (CR LF) as GTK draws them (LF).
std::string withUnixLineBreaks(const std::string& utf8);
// A Windows caption with '&' mnemonics as a GTK label with '_' mnemonics:
// "&&" is a literal '&', "&x" underlines x, '_' is doubled to stay literal.
std::string windowsMnemonicsToGtk(const std::string& utf8);
// Number of GBK bytes of the first `chars` characters of a UTF-8 text, and back.
int gbkOffsetOfChar(const std::string& utf8, int chars);
int charOffsetOfGbk(const std::string& utf8, int gbkBytes);

}  // namespace wgs::gtkbackend
