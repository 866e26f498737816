// The language tags handed to the engine: the emulator throws on anything
// that is not a valid tag, and the C locale gives none.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/gtk/flash/flash_emulation.h"

namespace wgs::flash {
namespace {

TEST(LanguageTags, FromTheLocaleWithEnglishWhereItNamesNoLanguage) {
    struct Case {
        const char* language;  // $LANGUAGE
        const char* all;       // $LC_ALL
        std::vector<std::string> tags;
    };
    const Case cases[] = {
        {"", "C.UTF-8", {"en-US"}},
        {"", "POSIX", {"en-US"}},
        {"", "C", {"en-US"}},
        {"", "zh_CN.UTF-8", {"zh-CN", "zh"}},
        {"", "zh_CN.GBK", {"zh-CN", "zh"}},
        {"", "sr_RS@latin", {"sr-RS", "sr"}},
        {"de:fr", "de_DE.UTF-8", {"de", "fr"}},
    };
    for (const Case& c : cases) {
        setenv("LANGUAGE", c.language, 1);
        setenv("LC_ALL", c.all, 1);
        EXPECT_EQ(preferredLanguageTags(), c.tags) << c.language << " " << c.all;
    }
    unsetenv("LANGUAGE");
    unsetenv("LC_ALL");
}

}  // namespace
}  // namespace wgs::flash
