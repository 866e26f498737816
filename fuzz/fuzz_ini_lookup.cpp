// The configuration reader on arbitrary file bytes: it never crashes, never
// returns more than 10239 bytes, and gives the answer of the reference model,
// both through ini::lookup and through ConfigFile::read with its defaults.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <map>
#include <string>

#include "check.h"
#include "core/config_file.h"
#include "platform/platform.h"
#include "reference.h"

namespace {

class OneFile : public wgs::FileAccess {
public:
    bool present = false;
    std::string bytes;
    bool readFile(const std::string&, std::string& out) override {
        out = present ? bytes : std::string();
        return present;
    }
    bool replaceFile(const std::string&, const std::string&) override { return false; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using fuzzcheck::show;
    FuzzedDataProvider in(data, size);
    const std::uint8_t mode = in.ConsumeIntegral<std::uint8_t>();
    const std::string section = (mode & 1) ? ref::kSection : in.ConsumeRandomLengthString(40);
    const std::string key =
        (mode & 2) ? ref::kKeys[(mode >> 2) % ref::kKeys.size()] : in.ConsumeRandomLengthString(40);
    const std::string file = in.ConsumeRemainingBytesAsString();

    std::string got;
    const bool found = wgs::ini::lookup(file, section, key, got);
    std::string want;
    const bool wantFound = ref::lookup(file, section, key, want);
    const std::string where = "section " + show(section) + " key " + show(key) + " file " + show(file);
    FUZZ_CHECK(got.size() <= wgs::kMaxValueBytes, where);
    FUZZ_CHECK(found == wantFound, where + " found " + std::to_string(found));
    FUZZ_CHECK(got == want, where + "\n got  " + show(got) + "\n want " + show(want));

    // The same through ConfigFile: the program's section, the default when the
    // file or the key is missing, and nothing read for a key that is empty once
    // its leading control bytes are dropped.
    OneFile files;
    files.present = !(mode & 0x80);
    files.bytes = file;
    const wgs::ConfigFile config(files, "D:\\Games", '\\');
    const std::string read = config.read(key, "<default>");
    std::string name = key;
    while (!name.empty() && static_cast<unsigned char>(name[0]) <= 0x20) name.erase(0, 1);
    std::string expected;
    if (name.empty()) {
        expected = "";
    } else if (!files.present || !ref::lookup(file, ref::kSection, name, expected)) {
        expected = "<default>";
    }
    FUZZ_CHECK(read == expected, "ConfigFile key " + show(key) + " file " + show(file) + "\n got  " +
                                     show(read) + "\n want " + show(expected));
    return 0;
}
