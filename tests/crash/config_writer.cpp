// Writes yxq.ini in DIR through ConfigFile and the POSIX file functions, one
// key at a time, for ever: write number i sets key i % 6 to writtenValue(i).
// The crash test kills it with SIGKILL at random moments.
//
// Usage: wgs_config_writer DIR FIRST — continues after write number FIRST and
// writes one byte to standard output as it begins each write, so that the
// test knows which write it interrupts.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "core/config_file.h"
#include "crash/write_sequence.h"
#include "platform/platform.h"
#include "platform/posix/files.h"

namespace {

class PosixFiles : public wgs::FileAccess {
public:
    bool readFile(const std::string& path, std::string& bytes) override {
        return wgs::posix::readWholeFile(path, bytes);
    }
    bool replaceFile(const std::string& path, const std::string& bytes) override {
        return wgs::posix::replaceWholeFile(path, bytes);
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    PosixFiles files;
    const wgs::ConfigFile config(files, argv[1], '/');
    long long i = std::atoll(argv[2]);
    for (;;) {
        ++i;
        if (::write(1, "w", 1) != 1) return 3;
        config.write(wgs::crashtest::writtenKey(i), wgs::crashtest::writtenValue(i));
    }
}
