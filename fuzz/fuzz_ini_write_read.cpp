// Write, then read: starting from arbitrary file bytes, a series of writes of
// arbitrary keys and values. After each write every key written so far reads
// back its last value (after the documented trimming: the value ends at its
// first line break, blanks around it and one pair of enclosing quotation marks
// are dropped, at most 10239 bytes come back), and every key of the original
// file that was not written reads exactly as before.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "check.h"
#include "core/config_file.h"
#include "platform/platform.h"
#include "reference.h"

namespace {

class MemoryFile : public wgs::FileAccess {
public:
    bool present = false;
    std::string bytes;
    bool readFile(const std::string&, std::string& out) override {
        out = present ? bytes : std::string();
        return present;
    }
    bool replaceFile(const std::string&, const std::string& in) override {
        bytes = in;
        present = true;
        return true;
    }
};

// A name that a file can hold: one line, no '=', not read as a section line,
// not empty; a section name whose ']' cannot be taken for a trail byte.
std::string usableKey(std::string key) {
    std::string out;
    for (char c : key) {
        if (c != '\r' && c != '\n' && c != '\0' && c != '=') out += c;
    }
    if (ref::trim(out).empty() || ref::trim(out)[0] == '[') out = "k" + out;
    return out;
}

std::string usableSection(std::string section) {
    std::string out;
    for (char c : section) {
        if (c != '\r' && c != '\n' && c != '\0') out += c;
    }
    // A lead byte left without its trail byte would swallow the closing ']'.
    const std::vector<bool> trail = ref::trailBytes(out);
    if (!out.empty() && ref::isLead(out.back()) && !trail[out.size() - 1]) out.pop_back();
    return out;
}

std::string expectedReadBack(const std::string& value) {
    std::string v = value.substr(0, value.find_first_of(std::string("\r\n\0", 3)));
    v = ref::trim(v);
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) v = v.substr(1, v.size() - 2);
    if (v.size() > ref::kMaxValue) v.resize(ref::kMaxValue);
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using fuzzcheck::show;
    FuzzedDataProvider in(data, size);
    const std::uint8_t mode = in.ConsumeIntegral<std::uint8_t>();
    const std::string section = (mode & 1) ? ref::kSection : usableSection(in.ConsumeRandomLengthString(24));
    const std::string original = in.ConsumeRandomLengthString(4096);
    const bool viaConfigFile = (mode & 2) && section == ref::kSection;

    MemoryFile file;
    file.present = !(mode & 4);
    file.bytes = file.present ? original : std::string();
    const std::string start = file.bytes;
    const wgs::ConfigFile config(file, "D:\\Games", '\\');

    // Folded, trimmed key -> (key as written, value as written).
    std::map<std::string, std::pair<std::string, std::string>> written;
    int writes = 0;
    while (in.remaining_bytes() > 0 && writes++ < 16) {
        std::string key = in.ConsumeBool() ? ref::kKeys[in.ConsumeIntegralInRange<std::size_t>(0, 5)]
                                           : usableKey(in.ConsumeRandomLengthString(24));
        // ConfigFile drops leading control bytes of the key when it reads.
        if (viaConfigFile) {
            while (!key.empty() && static_cast<unsigned char>(key[0]) <= 0x20) key.erase(0, 1);
            if (key.empty() || key[0] == '[') key = "k" + key;
        }
        const std::string value = in.ConsumeRandomLengthString(in.ConsumeBool() ? 64 : 12000);
        const std::string before = file.bytes;
        if (viaConfigFile) {
            config.write(key, value);
        } else {
            file.bytes = wgs::ini::update(file.bytes, section, key, value);
        }
        written[ref::fold(ref::trim(key))] = {key, value};

        for (const auto& [folded, entry] : written) {
            std::string got;
            bool found = true;
            if (viaConfigFile) {
                got = config.read(entry.first, "<default>");
            } else {
                found = wgs::ini::lookup(file.bytes, section, entry.first, got);
            }
            const std::string want = expectedReadBack(entry.second);
            FUZZ_CHECK(found && got == want, "section " + show(section) + " key " + show(entry.first) +
                                                 "\n got  " + show(got) + "\n want " + show(want) +
                                                 "\n before " + show(before) + "\n after  " +
                                                 show(file.bytes));
            std::string model;
            FUZZ_CHECK(ref::lookup(file.bytes, section, entry.first, model) && model == want,
                       "reference reads the written file differently: key " + show(entry.first) + " file " +
                           show(file.bytes));
        }
    }

    // Keys of the original file that were never written keep their values,
    // in every section.
    for (const auto& [sec, key] : ref::keysOf(start)) {
        if (ref::fold(ref::trim(sec)) == ref::fold(ref::trim(section)) && written.count(ref::fold(key)))
            continue;
        std::string before, after;
        const bool had = ref::lookup(start, sec, key, before);
        const bool has = ref::lookup(file.bytes, sec, key, after);
        FUZZ_CHECK(had == has && before == after,
                   "untouched key " + show(key) + " of section " + show(sec) + " changed: " + show(before) +
                       " -> " + show(after) + "\n original " + show(start) + "\n now " + show(file.bytes));
    }
    return 0;
}
