// yxq.ini: the INI layout, the lookup rules and ConfigFile's path, reads and writes.
#include "core/config_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "core/text.h"
#include "platform/platform.h"
#include "platform/posix/files.h"

namespace wgs {
namespace {

// The file system as a map from path to bytes; writes can be made to fail.
class MemoryFiles : public FileAccess {
public:
    bool readFile(const std::string& path, std::string& bytes) override {
        bytes.clear();
        const auto it = files.find(path);
        if (it == files.end()) return false;
        bytes = it->second;
        return true;
    }
    bool replaceFile(const std::string& path, const std::string& bytes) override {
        if (failWrites) return false;
        files[path] = bytes;
        return true;
    }

    std::map<std::string, std::string> files;
    bool failWrites = false;
};

const std::string kSection = "[请勿随便修改此配置文件]";
const std::string kPath = "D:\\Games\\yxq.ini";

class ConfigFileTest : public ::testing::Test {
protected:
    MemoryFiles files;
    ConfigFile config{files, "D:\\Games", '\\'};

    std::string& file() { return files.files[kPath]; }
};

TEST(ConfigNames, AreTheProgramsGbkBytes) {
    EXPECT_STREQ(kConfigSection,
                 "\xC7\xEB\xCE\xF0\xCB\xE6\xB1\xE3\xD0\xDE\xB8\xC4\xB4\xCB\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE");
    EXPECT_STREQ(kConfigFileName, "yxq.ini");
    EXPECT_EQ(
        std::string("宽度高度左边顶边地址名称"),
        "\xBF\xED\xB6\xC8\xB8\xDF\xB6\xC8\xD7\xF3\xB1\xDF\xB6\xA5\xB1\xDF\xB5\xD8\xD6\xB7\xC3\xFB\xB3\xC6");
}

TEST_F(ConfigFileTest, FirstRunWithSettingsSavedThenClosed) {
    config.write("名称", "未设置名称");
    config.write("地址", "about:blank");
    config.write("高度", intToText(660));
    config.write("宽度", intToText(900));
    config.write("左边", intToText(50));
    config.write("顶边", intToText(50));
    EXPECT_EQ(
        file(),
        kSection +
            "\r\n名称=未设置名称\r\n地址=about:blank\r\n高度=660\r\n宽度=900\r\n左边=50\r\n顶边=50\r\n");
    EXPECT_EQ(files.files.size(), 1u);
}

TEST_F(ConfigFileTest, FirstRunClosedWithoutSavingTheSettings) {
    config.write("高度", "660");
    EXPECT_EQ(file(), kSection + "\r\n高度=660\r\n");
    config.write("宽度", "900");
    config.write("左边", "-8");
    config.write("顶边", "50");
    EXPECT_EQ(file(), kSection + "\r\n高度=660\r\n宽度=900\r\n左边=-8\r\n顶边=50\r\n");
    EXPECT_EQ(config.read("左边", "50"), "-8");
    // The next close replaces the values in place.
    config.write("高度", "700");
    config.write("宽度", "1000");
    config.write("左边", "0");
    config.write("顶边", "1");
    EXPECT_EQ(file(), kSection + "\r\n高度=700\r\n宽度=1000\r\n左边=0\r\n顶边=1\r\n");
}

TEST_F(ConfigFileTest, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(config.read("宽度", "900"), "900");
    EXPECT_EQ(config.read("名称", "未设置名称"), "未设置名称");
    EXPECT_TRUE(files.files.empty());  // reading never creates the file

    file() = "[其他]\r\n宽度=1\r\n";
    EXPECT_EQ(config.read("宽度", "900"), "900");

    file() = kSection + "\r\n高度=1\r\n";
    EXPECT_EQ(config.read("宽度", "900"), "900");
    EXPECT_EQ(config.read("宽度", ""), "");

    file() = "";
    EXPECT_EQ(config.read("地址", "about:blank"), "about:blank");
}

TEST_F(ConfigFileTest, EmptyValueIsStoredAndReadAsEmpty) {
    config.write("名称", "");
    EXPECT_EQ(file(), kSection + "\r\n名称=\r\n");
    EXPECT_EQ(config.read("名称", "未设置名称"), "");
    file() = kSection + "\r\n宽度=   \r\n地址=\"\"\r\n";
    EXPECT_EQ(config.read("宽度", "900"), "");
    EXPECT_EQ(textToInt(config.read("宽度", "900")), 0);
    EXPECT_EQ(config.read("地址", "about:blank"), "");
}

TEST_F(ConfigFileTest, LongValuesComeBackCutTo10239Bytes) {
    for (std::size_t length : {10238u, 10239u, 10240u, 20000u}) {
        std::string value;
        for (std::size_t i = 0; i < length; ++i) value.push_back(static_cast<char>('a' + i % 26));
        config.write("地址", value);
        const Text read = config.read("地址", "about:blank");
        EXPECT_EQ(read, value.substr(0, 10239)) << length;
        EXPECT_NE(file().find("地址=" + value + "\r\n"), std::string::npos) << "stored whole";
    }
}

TEST_F(ConfigFileTest, HandEditedValues) {
    struct Case {
        const char* line;
        const char* text;
        std::int32_t number;
    };
    const Case cases[] = {
        {"宽度=800px", "800px", 800}, {"宽度=abc", "abc", 0},       {"宽度=８００", "８００", 800},
        {"宽度=-8", "-8", -8},        {"宽度 = 640 ", "640", 640},  {"  宽度\t=\t641", "641", 641},
        {"宽度=\"700\"", "700", 700}, {"宽度='701'", "701", 701},   {"宽度=  \" 702 \"  ", " 702 ", 702},
        {"宽度=\"703", "\"703", 0},   {"宽度=\"704'", "\"704'", 0}, {"宽度=\"", "\"", 0},
        {"宽度=\"\"\"", "\"", 0},     {"宽度=a=b", "a=b", 0},       {"宽度=", "", 0},
    };
    for (const Case& c : cases) {
        file() = kSection + "\r\n" + c.line + "\r\n";
        const Text value = config.read("宽度", "900");
        EXPECT_EQ(value, c.text) << c.line;
        EXPECT_EQ(textToInt(value), c.number) << c.line;
    }
}

TEST_F(ConfigFileTest, ReplacingAValueKeepsEveryOtherByte) {
    const std::string before =
        "; written by hand\r\n"
        "[其他]\r\n"
        "宽度=1\n"
        "\r\n" +
        kSection +
        "\r\n"
        "stray text without equals\r\n"
        "  宽度 = \"800\"  \r\n"
        "名称=游戏\r"
        "Unknown=x\r\n"
        "\r\n"
        "[Later]\r\n"
        "k=v";
    file() = before;
    config.write("宽度", "1024");
    EXPECT_EQ(file(),
              "; written by hand\r\n"
              "[其他]\r\n"
              "宽度=1\n"
              "\r\n" +
                  kSection +
                  "\r\n"
                  "stray text without equals\r\n"
                  "宽度=1024\r\n"
                  "名称=游戏\r"
                  "Unknown=x\r\n"
                  "\r\n"
                  "[Later]\r\n"
                  "k=v");
    config.write("名称", "新");
    EXPECT_NE(file().find("\r\n名称=新\rUnknown=x\r\n"), std::string::npos);
    EXPECT_EQ(config.read("宽度", "900"), "1024");
    EXPECT_EQ(config.read("名称", ""), "新");
}

TEST(IniUpdate, NewKeysAndSections) {
    struct Case {
        const char* name;
        std::string before;
        std::string after;  // after setting K=v in [S]
    };
    const Case cases[] = {
        {"missing file", "", "[S]\r\nK=v\r\n"},
        {"another section follows", "[S]\r\nA=1\r\n\r\n[T]\r\nB=2\r\n",
         "[S]\r\nA=1\r\nK=v\r\n\r\n[T]\r\nB=2\r\n"},
        {"header only, section follows", "[S]\r\n[T]\r\n", "[S]\r\nK=v\r\n[T]\r\n"},
        {"header only, blank lines", "[S]\r\n\r\n\r\n", "[S]\r\nK=v\r\n\r\n\r\n"},
        {"last line of the section is text", "[S]\r\nA=1\r\n; about T\r\n\r\n[T]\r\n",
         "[S]\r\nA=1\r\n; about T\r\nK=v\r\n\r\n[T]\r\n"},
        {"no final line break", "[S]\r\nA=1", "[S]\r\nA=1\r\nK=v\r\n"},
        {"LF-only file", "[S]\nA=1\n[T]\n", "[S]\nA=1\nK=v\r\n[T]\n"},
        {"section missing", "[T]\r\nB=2\r\n", "[T]\r\nB=2\r\n[S]\r\nK=v\r\n"},
        {"section missing, no final line break", "[T]\r\nB=2", "[T]\r\nB=2\r\n[S]\r\nK=v\r\n"},
        {"section missing, only text", "just text", "just text\r\n[S]\r\nK=v\r\n"},
        {"key in another section only", "[T]\r\nK=1\r\n[S]\r\nA=1\r\n",
         "[T]\r\nK=1\r\n[S]\r\nA=1\r\nK=v\r\n"},
        {"key only as text without '='", "[S]\r\nK\r\n", "[S]\r\nK\r\nK=v\r\n"},
        {"replaced, file keeps its spelling", "[s]\r\n k = old \r\n", "[s]\r\nk=v\r\n"},
        {"duplicate keys: the first is replaced", "[S]\r\nK=1\r\nK=2\r\n", "[S]\r\nK=v\r\nK=2\r\n"},
        {"duplicate sections: the first is used", "[S]\r\nA=1\r\n[S]\r\nK=2\r\n",
         "[S]\r\nA=1\r\nK=v\r\n[S]\r\nK=2\r\n"},
    };
    for (const Case& c : cases) {
        const std::string after = ini::update(c.before, "S", "K", "v");
        EXPECT_EQ(after, c.after) << c.name;
        std::string value;
        EXPECT_TRUE(ini::lookup(after, "S", "K", value)) << c.name;
        EXPECT_EQ(value, "v") << c.name;
    }
}

TEST(IniUpdate, LineBreaksInAValueCannotCorruptTheFile) {
    // Written raw, the rest of the value would become lines of their own, here a
    // section header that would hijack the keys after it.
    for (const char* value : {"a\r\n[S]\r\nK=evil", "a\n[S]", "a\r[S]", "a"}) {
        const std::string after = ini::update("[S]\r\nB=2\r\n", "S", "A", value);
        EXPECT_EQ(after, "[S]\r\nB=2\r\nA=a\r\n") << value;
        const std::string replaced = ini::update("[S]\r\nA=1\r\nB=2\r\n", "S", "A", value);
        EXPECT_EQ(replaced, "[S]\r\nA=a\r\nB=2\r\n") << value;
    }
    EXPECT_EQ(ini::update("", "S", "A", std::string("x\0y", 3)), "[S]\r\nA=x\r\n");
}

TEST(IniLookup, NamesAndDuplicates) {
    const std::string file =
        "top=before any section\r\n"
        "[ Game ]\r\n"
        "Width=1\r\n"
        "width=2\r\n"
        "\xB0\x41=upper trail\r\n"
        "\xB0\x61=lower trail\r\n"
        "[Broken\r\n"
        "inBroken=3\r\n"
        "[GAME]\r\n"
        "later=4\r\n"
        "[a]b]\r\n"
        "k=5\r\n"
        "[\xB0]]\r\n"
        "k=6\r\n"
        "[\xE5\x5D]\r\n"
        "k=7\r\n"
        "[\xE5\x5D\r\n"
        "k=8\r\n";
    struct Case {
        const char* section;
        const char* key;
        const char* value;  // nullptr: not found
    };
    const Case cases[] = {
        {"Game", "Width", "1"},
        {"game", "WIDTH", "1"},  // ASCII letters in any case, the first key wins
        {"GAME", "width", "1"},
        {"Game", "\xB0\x41", "upper trail"},  // a trail byte is never case-folded
        {"Game", "\xB0\x61", "lower trail"},
        {"Game", "\xB0", nullptr},
        {"Game", "inBroken", "3"},  // "[Broken" is no header: the key stays in Game
        {"Broken", "inBroken", nullptr},
        {"Game", "later", nullptr},  // only the first of duplicate sections counts
        {"Game", "top", nullptr},
        {"a]b", "k", "5"},
        {"\xB0]", "k", "6"},
        {"\xE5\x5D", "k", "7"},
        {"\xE5", "k", nullptr},  // 0x5D as a trail byte does not close the name
        {"Missing", "k", nullptr},
        {" Game\t", "Width ", "1"},  // names asked for compare without their blanks too
    };
    for (const Case& c : cases) {
        std::string value = "junk";
        const bool found = ini::lookup(file, c.section, c.key, value);
        EXPECT_EQ(found, c.value != nullptr) << c.section << "/" << c.key;
        EXPECT_EQ(value, c.value ? c.value : "") << c.section << "/" << c.key;
    }
}

TEST(IniUpdate, AKeyWithBlanksAroundItIsFoundAgain) {
    std::string file = ini::update("", "S", "k ", "1");
    file = ini::update(file, "S", "k ", "2");
    EXPECT_EQ(file, "[S]\r\nk=2\r\n");  // replaced in place, not appended a second time
    std::string value;
    EXPECT_TRUE(ini::lookup(file, "S", "k ", value));
    EXPECT_EQ(value, "2");
}

TEST(IniLookup, AValueEndsAtItsFirstZeroByte) {
    const std::string file("[S]\r\nA=ab\0cd\r\nB=\0\r\nC=x\r\n", 24);
    std::string value;
    EXPECT_TRUE(ini::lookup(file, "S", "A", value));
    EXPECT_EQ(value, "ab");
    EXPECT_TRUE(ini::lookup(file, "S", "B", value));
    EXPECT_EQ(value, "");
    EXPECT_TRUE(ini::lookup(file, "S", "C", value));
    EXPECT_EQ(value, "x");
}

TEST(IniLookup, EveryKindOfLineBreak) {
    for (const char* lineBreak : {"\r\n", "\n", "\r"}) {
        const std::string eol = lineBreak;
        const std::string file = "[S]" + eol + "A=1" + eol + eol + "[T]" + eol + "B=2" + eol + "C=3";
        std::string value;
        EXPECT_TRUE(ini::lookup(file, "S", "A", value));
        EXPECT_EQ(value, "1");
        EXPECT_TRUE(ini::lookup(file, "T", "B", value));
        EXPECT_EQ(value, "2");
        EXPECT_TRUE(ini::lookup(file, "T", "C", value));
        EXPECT_EQ(value, "3");
        EXPECT_FALSE(ini::lookup(file, "S", "B", value));
    }
    std::string value;
    EXPECT_TRUE(ini::lookup("[S]\n\rA=1", "S", "A", value));  // LF then CR: two line breaks
    EXPECT_EQ(value, "1");
}

TEST_F(ConfigFileTest, LeadingControlBytesAreDroppedBeforeAReadOnly) {
    file() = kSection + "\r\n宽度=1024\r\n";
    EXPECT_EQ(config.read(" \t\x01宽度", "900"), "1024");
    EXPECT_EQ(config.read("", "900"), "");  // nothing left to look up: empty, not the default
    EXPECT_EQ(config.read(" \x1F", "900"), "");

    MemoryFiles other;
    other.files["D:\\Games\\yxq.ini"] = kSection + "\r\n宽度=5\r\n";
    ConfigFile padded(other, "  D:\\Games", '\\');
    EXPECT_EQ(padded.read("宽度", "900"), "5");
}

TEST_F(ConfigFileTest, FailedWriteIsIgnoredAndLeavesTheOldFile) {
    files.failWrites = true;
    config.write("宽度", "1");
    EXPECT_TRUE(files.files.empty());
    EXPECT_EQ(config.read("宽度", "900"), "900");

    files.failWrites = false;
    config.write("宽度", "2");
    const std::string before = file();
    files.failWrites = true;
    config.write("宽度", "3");
    config.write("高度", "4");
    EXPECT_EQ(file(), before);
    EXPECT_EQ(config.read("宽度", "900"), "2");
}

TEST_F(ConfigFileTest, EveryAccessUsesTheFileAsItIsNow) {
    config.write("名称", "甲");
    EXPECT_EQ(config.read("名称", "未设置名称"), "甲");
    file() = kSection + "\r\n名称=乙\r\n";  // edited by hand while the program runs
    EXPECT_EQ(config.read("名称", "未设置名称"), "乙");
    files.files.clear();
    EXPECT_EQ(config.read("名称", "未设置名称"), "未设置名称");
}

TEST(ProgramPath, SplitsAtTheLastSeparator) {
    // 錦 is E5 5C in GBK: its trail byte is a backslash.
    ASSERT_EQ(std::string("錦"), "\xE5\x5C");
    struct Case {
        const char* path;
        char separator;
        bool doubleByteAware;
        const char* directory;
        const char* fileName;
        const char* configPath;
    };
    const Case cases[] = {
        {"D:\\Games\\game.exe", '\\', true, "D:\\Games", "game.exe", "D:\\Games\\yxq.ini"},
        {"C:\\game.exe", '\\', true, "C:", "game.exe", "C:\\yxq.ini"},
        {"game.exe", '\\', true, "", "game.exe", "\\yxq.ini"},
        {"D:\\錦\\游戏.exe", '\\', true, "D:\\錦", "游戏.exe", "D:\\錦\\yxq.ini"},
        {"D:\\錦\\錦.exe", '\\', true, "D:\\錦", "錦.exe", "D:\\錦\\yxq.ini"},
        {"D:\\錦\\錦.exe", '\\', false, "D:\\錦\\\xE5", ".exe", "D:\\錦\\\xE5\\yxq.ini"},
        {"D:\\錦", '\\', true, "D:", "錦", "D:\\yxq.ini"},
        {"D:\\錦", '\\', false, "D:\\\xE5", "", "D:\\\xE5\\yxq.ini"},
        {"/opt/game/webgame-shell", '/', false, "/opt/game", "webgame-shell", "/opt/game/yxq.ini"},
        {"/webgame-shell", '/', false, "", "webgame-shell", "/yxq.ini"},
    };
    for (const Case& c : cases) {
        std::string directory = "junk", fileName = "junk";
        splitProgramPath(c.path, c.separator, c.doubleByteAware, directory, fileName);
        EXPECT_EQ(directory, c.directory) << c.path << (c.doubleByteAware ? " (double-byte aware)" : "");
        EXPECT_EQ(fileName, c.fileName) << c.path;
        MemoryFiles files;
        ConfigFile config(files, directory, c.separator);
        EXPECT_EQ(config.path(), c.configPath) << c.path;
        EXPECT_EQ(config.runDirectory(), c.directory);
    }
}

TEST(ProgramPath, ADirectoryWithA5CTrailByteFindsItsFile) {
    std::string directory, fileName;
    splitProgramPath("E:\\錦\\錦.exe", '\\', true, directory, fileName);
    MemoryFiles files;
    ConfigFile config(files, directory, '\\');
    config.write("名称", "锦");
    ASSERT_EQ(files.files.count("E:\\錦\\yxq.ini"), 1u);
    EXPECT_EQ(config.read("名称", "未设置名称"), "锦");
}

// The same file through the real POSIX file functions.
class PosixFiles : public FileAccess {
public:
    bool readFile(const std::string& path, std::string& bytes) override {
        return posix::readWholeFile(path, bytes);
    }
    bool replaceFile(const std::string& path, const std::string& bytes) override {
        return posix::replaceWholeFile(path, bytes);
    }
};

class ConfigFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "wgs-config-XXXXXX").string();
        ASSERT_NE(::mkdtemp(&pattern[0]), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string dir;
    PosixFiles files;
};

TEST_F(ConfigFileOnDisk, WritesAndReadsTheFileBesideTheProgram) {
    ConfigFile config(files, dir, '/');
    EXPECT_EQ(config.path(), dir + "/yxq.ini");
    EXPECT_EQ(config.read("宽度", "900"), "900");
    config.write("高度", "660");
    config.write("宽度", "900");
    EXPECT_EQ(config.read("高度", ""), "660");
    std::string bytes;
    ASSERT_TRUE(posix::readWholeFile(dir + "/yxq.ini", bytes));
    EXPECT_EQ(bytes, kSection + "\r\n高度=660\r\n宽度=900\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);  // no temporary left
}

TEST_F(ConfigFileOnDisk, WriteIntoAMissingDirectoryIsIgnored) {
    ConfigFile config(files, dir + "/missing", '/');
    config.write("宽度", "900");
    EXPECT_FALSE(std::filesystem::exists(dir + "/missing"));
    EXPECT_EQ(config.read("宽度", "800"), "800");
}

TEST_F(ConfigFileOnDisk, ADirectoryInThePlaceOfTheFileIsLeftAlone) {
    // yxq.ini that is a directory reads as missing and cannot be replaced.
    std::filesystem::create_directory(dir + "/yxq.ini");
    ConfigFile config(files, dir, '/');
    EXPECT_EQ(config.read("宽度", "900"), "900");
    config.write("宽度", "1");
    EXPECT_TRUE(std::filesystem::is_directory(dir + "/yxq.ini"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

}  // namespace
}  // namespace wgs
