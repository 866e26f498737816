// yxq.ini beside the program: the one state that outlives the process.
//
// Every read and every write is one complete access to the file on disk, so a
// value edited by hand while the program runs is seen at the next read. The
// format is that of the Windows private-profile functions (GBK bytes, CR LF,
// "[section]" and "key=value" lines), implemented here so that every platform
// reads and writes the same bytes.
#pragma once

#include <string>

#include "core/text.h"

namespace wgs {

class FileAccess;

// The section every key of the program lives in.
extern const char* const kConfigSection;   // "请勿随便修改此配置文件"
extern const char* const kConfigFileName;  // "yxq.ini"

// The greatest number of value bytes a read returns.
constexpr std::size_t kMaxValueBytes = 10239;

// Pure INI logic on a file's bytes, shared by ConfigFile and the tests.
namespace ini {
// The value of `key` in `section`, or false when the section or key is missing.
// Blanks around names (in the file and as asked for) and around values are
// dropped, one pair of enclosing quotation marks is removed, names compare
// case-insensitively for ASCII letters, the first of duplicate keys wins, and
// at most kMaxValueBytes bytes come back, up to the first zero byte.
bool lookup(const std::string& fileBytes, const std::string& section, const std::string& key,
            std::string& value);
// The file's bytes after setting `key` in `section` to `value`: an existing key
// is replaced in place, a new key is appended at the end of its section, a new
// section at the end of the file; every other line is kept byte for byte.
std::string update(const std::string& fileBytes, const std::string& section, const std::string& key,
                   const std::string& value);
}  // namespace ini

// Splits the program file's path at its last separator into the run directory
// and the file name; with `doubleByteAware` a separator byte that is the trail
// byte of a GBK double-byte character is not taken for a separator.
void splitProgramPath(const std::string& path, char separator, bool doubleByteAware, std::string& directory,
                      std::string& fileName);

class ConfigFile {
public:
    ConfigFile(FileAccess& files, std::string runDirectory, char separator);

    const std::string& runDirectory() const { return runDirectory_; }
    // The run directory, the separator and yxq.ini; built anew for every access.
    std::string path() const;
    // The key's value in the program's section, or `defaultValue` when the file,
    // the section or the key is missing. A key present with an empty value reads
    // as the empty text.
    Text read(const Text& key, const Text& defaultValue) const;
    // Sets the key in the program's section. A failed write leaves the old file
    // untouched and is otherwise ignored.
    void write(const Text& key, const Text& value) const;

private:
    FileAccess& files_;
    std::string runDirectory_;
    char separator_;
};

}  // namespace wgs
