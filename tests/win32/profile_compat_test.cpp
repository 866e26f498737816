// yxq.ini as the program reads and writes it, against the Windows
// private-profile functions (Wine's, in the test suite), on the cases where
// the two agree: the same file bytes after the same writes, the same results
// of the same reads. Run with the ANSI code page 936, the code page the file
// is written in.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "core/config_file.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_platform.h"

namespace wgs {
namespace {

struct Write {
    std::string section, key, value;
};
struct Read {
    std::string section, key, defaultValue;
};
struct Case {
    const char* name;
    bool fileExists;
    std::string initial;  // the file's bytes before the writes
    std::vector<Write> writes;
    std::vector<Read> reads;
};

const std::string S = "请勿随便修改此配置文件";

std::string tempDirectory() {
    char buffer[MAX_PATH];
    GetTempPathA(MAX_PATH, buffer);
    return buffer;
}

std::string fileBytes(const std::string& path) {
    std::string bytes;
    win32::readWholeFile(path, bytes);
    return bytes;
}

std::string windowsRead(const Read& r, const std::string& path) {
    std::vector<char> buffer(10240, '\x7f');
    GetPrivateProfileStringA(r.section.c_str(), r.key.c_str(), r.defaultValue.c_str(), buffer.data(), 10240,
                             path.c_str());
    return std::string(buffer.data());
}

std::string ourRead(const Read& r, const std::string& bytes, bool exists) {
    std::string value;
    if (!exists || !ini::lookup(bytes, r.section, r.key, value)) return r.defaultValue;
    return value;
}

std::vector<Case> cases() {
    const std::string longValue = [] {
        std::string v;
        while (v.size() < 12000) v += "游戏0123456789";
        return v;
    }();
    return {
        {"first write creates the section and the key",
         false,
         "",
         {{S, "名称", "未设置名称"}},
         {{S, "名称", "x"}, {S, "地址", "about:blank"}}},
        {"the geometry keys after the name and address",
         false,
         "",
         {{S, "名称", "未设置名称"},
          {S, "地址", "about:blank"},
          {S, "高度", "660"},
          {S, "宽度", "900"},
          {S, "左边", "50"},
          {S, "顶边", "50"}},
         {{S, "高度", "0"}, {S, "宽度", "0"}, {S, "左边", "0"}, {S, "顶边", "0"}, {S, "名称", ""}}},
        {"append to an existing section before another section",
         true,
         "[请勿随便修改此配置文件]\r\n名称=甲\r\n[other]\r\nk=v\r\n",
         {{S, "地址", "http://例子.cn/"}},
         {{S, "名称", ""}, {S, "地址", ""}, {"other", "k", ""}}},
        {"replace keeps the other lines and the key's place",
         true,
         "[请勿随便修改此配置文件]\r\n名称=甲\r\n地址=about:blank\r\n高度=660\r\n",
         {{S, "地址", "http://www.example.com/game"}, {S, "高度", "-8"}},
         {{S, "名称", ""}, {S, "地址", ""}, {S, "高度", ""}}},
        {"an empty value is stored and read as empty, not as the default",
         false,
         "",
         {{S, "名称", ""}, {S, "宽度", ""}},
         {{S, "名称", "未设置名称"}, {S, "宽度", "900"}}},
        {"defaults for a missing file", false, "", {}, {{S, "名称", "未设置名称"}, {S, "宽度", "900"}}},
        {"defaults for a missing section or key",
         true,
         "[other]\r\n名称=甲\r\n[请勿随便修改此配置文件]\r\n地址=乙\r\n",
         {},
         {{S, "名称", "未设置名称"}, {S, "宽度", "900"}, {"missing", "地址", "d"}, {S, "地址", "d"}}},
        {"blanks around keys and values, quotes and letter case",
         true,
         "[请勿随便修改此配置文件]\r\n  名称  =   带空格的名称  \r\n地址=\"http://a.cn/ \"\r\n"
         "Key=  'single'  \r\nquote=\"\r\nhalf=\"open\r\n",
         {},
         {{S, "名称", ""},
          {S, "地址", ""},
          {S, "key", ""},
          {S, "KEY", ""},
          {S, "quote", ""},
          {S, "half", ""}}},
        {"section names compare without letter case",
         true,
         "[Game]\r\nName=x\r\n",
         {{"GAME", "name", "y"}},
         {{"game", "NAME", ""}}},
        {"a value longer than 10239 bytes comes back cut",
         false,
         "",
         {{S, "地址", longValue}},
         {{S, "地址", ""}}},
    };
}

class ProfileCompatTest : public ::testing::TestWithParam<Case> {};

TEST_P(ProfileCompatTest, SameBytesAndSameReads) {
    ASSERT_EQ(GetACP(), 936u) << "run with the ANSI code page 936 (LC_ALL=zh_CN.UTF-8 under Wine)";
    const Case& c = GetParam();
    static int serial = 0;
    const std::string path = tempDirectory() + "wgs_profile_" + std::to_string(GetCurrentProcessId()) + "_" +
                             std::to_string(++serial) + ".ini";
    DeleteFileA(path.c_str());
    if (c.fileExists) {
        ASSERT_TRUE(win32::replaceWholeFile(path, c.initial));
    }

    std::string ours = c.fileExists ? c.initial : std::string();
    for (const Write& w : c.writes) {
        ours = ini::update(ours, w.section, w.key, w.value);
        ASSERT_TRUE(
            WritePrivateProfileStringA(w.section.c_str(), w.key.c_str(), w.value.c_str(), path.c_str()));
    }
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());  // flushes the system's cache
    const bool exists = c.fileExists || !c.writes.empty();
    if (!c.writes.empty()) {
        EXPECT_EQ(fileBytes(path), ours) << c.name;
    }

    for (const Read& r : c.reads) {
        const std::string windows = windowsRead(r, path);
        const std::string mine = ourRead(r, ours, exists);
        EXPECT_EQ(mine, windows) << c.name << ": key " << r.key;
        EXPECT_LE(mine.size(), kMaxValueBytes);
    }
    DeleteFileA(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileCompatTest, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return "case" + std::to_string(info.index);
                         });

// ConfigFile on the Windows backend's file access, against the system's reader
// and writer on the same file in both directions.
TEST(ConfigFileOnWindows, InteroperatesWithThePrivateProfileFunctions) {
    ASSERT_EQ(GetACP(), 936u);
    win32::Win32Platform platform(GetModuleHandleW(nullptr));
    std::string dir = tempDirectory() + "wgs_config_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
    const ConfigFile config(platform, dir, '\\');
    const std::string path = dir + "\\yxq.ini";
    EXPECT_EQ(config.path(), path);

    config.write("名称", "我的游戏");
    config.write("宽度", "1024");
    char buffer[10240];
    GetPrivateProfileStringA(S.c_str(), "名称", "", buffer, sizeof buffer, path.c_str());
    EXPECT_STREQ(buffer, "我的游戏");

    WritePrivateProfileStringA(S.c_str(), "地址", "http://例子.cn/", path.c_str());
    WritePrivateProfileStringA(S.c_str(), "宽度", "800", path.c_str());
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
    EXPECT_EQ(config.read("地址", "about:blank"), "http://例子.cn/");
    EXPECT_EQ(config.read("宽度", "900"), "800");
    EXPECT_EQ(config.read("名称", "未设置名称"), "我的游戏");
    EXPECT_EQ(config.read("高度", "660"), "660");
    EXPECT_EQ(fileBytes(path),
              "[请勿随便修改此配置文件]\r\n名称=我的游戏\r\n宽度=800\r\n地址=http://例子.cn/\r\n");
    DeleteFileA(path.c_str());
    RemoveDirectoryA(dir.c_str());
}

}  // namespace
}  // namespace wgs
