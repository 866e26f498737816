// Whole-file reads and crash-safe replacement on POSIX file systems.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "platform/posix/files.h"

namespace wgs::posix {
namespace {

namespace fs = std::filesystem;

class PosixFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "wgs-files-XXXXXX").string();
        ASSERT_NE(::mkdtemp(&pattern[0]), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string at(const std::string& name) const { return dir + "/" + name; }

    void put(const std::string& name, const std::string& bytes) const {
        std::ofstream(at(name), std::ios::binary) << bytes;
    }

    std::string content(const std::string& name) const {
        std::string bytes;
        EXPECT_TRUE(readWholeFile(at(name), bytes)) << name;
        return bytes;
    }

    // Every name in the directory: shows a temporary file left behind.
    std::set<std::string> names() const {
        std::set<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir)) found.insert(entry.path().filename().string());
        return found;
    }

    static mode_t modeOf(const std::string& path) {
        struct stat st;
        EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
        return st.st_mode & 07777;
    }

    std::string dir;
};

TEST_F(PosixFilesTest, ReplaceCreatesAndReplaces) {
    const mode_t mask = ::umask(022);
    ::umask(mask);

    ASSERT_TRUE(replaceWholeFile(at("yxq.ini"), "first\r\n"));
    EXPECT_EQ(content("yxq.ini"), "first\r\n");
    EXPECT_EQ(modeOf(at("yxq.ini")), 0666 & ~mask);

    ASSERT_TRUE(replaceWholeFile(at("yxq.ini"), "second, longer\r\n"));
    EXPECT_EQ(content("yxq.ini"), "second, longer\r\n");
    ASSERT_TRUE(replaceWholeFile(at("yxq.ini"), "3"));
    EXPECT_EQ(content("yxq.ini"), "3");
    ASSERT_TRUE(replaceWholeFile(at("yxq.ini"), ""));
    EXPECT_EQ(content("yxq.ini"), "");

    std::string big(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 % 251);
    ASSERT_TRUE(replaceWholeFile(at("yxq.ini"), big));
    EXPECT_EQ(content("yxq.ini"), big);
    EXPECT_EQ(names(), std::set<std::string>{"yxq.ini"});
}

TEST_F(PosixFilesTest, ReplaceKeepsTheMode) {
    for (mode_t mode : {0600, 0640, 0755, 0606}) {
        put("yxq.ini", "old");
        ASSERT_EQ(::chmod(at("yxq.ini").c_str(), mode), 0);
        ASSERT_TRUE(replaceWholeFile(at("yxq.ini"), "new"));
        EXPECT_EQ(modeOf(at("yxq.ini")), mode) << std::oct << mode;
        EXPECT_EQ(content("yxq.ini"), "new");
    }
}

TEST_F(PosixFilesTest, ReadFailsOnWhatIsNoReadableFile) {
    ASSERT_EQ(::symlink("loop-b", at("loop-a").c_str()), 0);
    ASSERT_EQ(::symlink("loop-a", at("loop-b").c_str()), 0);
    ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
    fs::create_directory(at("sub"));
    for (const char* name : {"missing", "sub", "loop-a", "fifo", "missing/deeper"}) {
        std::string bytes = "junk";
        EXPECT_FALSE(readWholeFile(at(name), bytes)) << name;
        EXPECT_EQ(bytes, "") << name;
    }
    std::string bytes = "junk";
    EXPECT_FALSE(readWholeFile("", bytes));
    EXPECT_EQ(bytes, "");
}

TEST_F(PosixFilesTest, ReadOfAFileWithoutPermission) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    put("secret", "x");
    ASSERT_EQ(::chmod(at("secret").c_str(), 0), 0);
    std::string bytes = "junk";
    EXPECT_FALSE(readWholeFile(at("secret"), bytes));
    EXPECT_EQ(bytes, "");
}

TEST_F(PosixFilesTest, AFileWithoutReadOrWritePermissionIsNotReplaced) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may rewrite every file";
    for (mode_t mode : {0444, 0200, 0}) {
        put("yxq.ini", "protected");
        ASSERT_EQ(::chmod(at("yxq.ini").c_str(), mode), 0);
        EXPECT_FALSE(replaceWholeFile(at("yxq.ini"), "new")) << std::oct << mode;
        ASSERT_EQ(::chmod(at("yxq.ini").c_str(), 0600), 0);
        EXPECT_EQ(content("yxq.ini"), "protected") << std::oct << mode;
        EXPECT_EQ(names(), std::set<std::string>{"yxq.ini"});
    }
}

TEST_F(PosixFilesTest, FailedReplaceLeavesNothingBehind) {
    put("file", "not a directory");
    fs::create_directory(at("yxq.ini"));
    put("yxq.ini/inside", "kept");
    ASSERT_EQ(::symlink("loop-b", at("loop-a").c_str()), 0);
    ASSERT_EQ(::symlink("loop-a", at("loop-b").c_str()), 0);
    const std::set<std::string> before = names();
    for (const char* name : {"missing/yxq.ini", "file/yxq.ini", "yxq.ini", "loop-a", ""}) {
        EXPECT_FALSE(replaceWholeFile(name[0] ? at(name) : std::string(), "new")) << name;
        EXPECT_EQ(names(), before) << name;
    }
    EXPECT_EQ(content("file"), "not a directory");
    EXPECT_EQ(content("yxq.ini/inside"), "kept");
    EXPECT_FALSE(fs::exists(at("missing")));
}

TEST_F(PosixFilesTest, AWriteThatFailsHalfwayLeavesTheOldFile) {
    // A file size limit makes the write itself fail, for root as well.
    put("yxq.ini", "old content");
    const std::string big(64 * 1024, 'x');
    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit limited = saved;
    limited.rlim_cur = 4096;
    void (*previous)(int) = ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool replaced = replaceWholeFile(at("yxq.ini"), big);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);

    EXPECT_FALSE(replaced);
    EXPECT_EQ(content("yxq.ini"), "old content");
    EXPECT_EQ(names(), std::set<std::string>{"yxq.ini"});
}

TEST_F(PosixFilesTest, ReplaceThroughASymbolicLinkReplacesItsTarget) {
    fs::create_directory(at("data"));
    put("data/real.ini", "old");
    ASSERT_EQ(::chmod(at("data/real.ini").c_str(), 0640), 0);
    ASSERT_EQ(::symlink("data/real.ini", at("relative").c_str()), 0);
    ASSERT_EQ(::symlink(at("relative").c_str(), at("absolute").c_str()), 0);  // a link to a link

    ASSERT_TRUE(replaceWholeFile(at("relative"), "via relative"));
    EXPECT_EQ(content("data/real.ini"), "via relative");
    ASSERT_TRUE(replaceWholeFile(at("absolute"), "via absolute"));
    EXPECT_EQ(content("data/real.ini"), "via absolute");

    EXPECT_TRUE(fs::is_symlink(at("relative")));
    EXPECT_TRUE(fs::is_symlink(at("absolute")));
    EXPECT_EQ(fs::read_symlink(at("relative")), "data/real.ini");
    EXPECT_EQ(modeOf(at("data/real.ini")), 0640u);
    EXPECT_EQ(names(), (std::set<std::string>{"absolute", "data", "relative"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(at("data")), {}), 1);

    // A dangling link gets its target created.
    ASSERT_EQ(::symlink("data/new.ini", at("dangling").c_str()), 0);
    ASSERT_TRUE(replaceWholeFile(at("dangling"), "created"));
    EXPECT_TRUE(fs::is_symlink(at("dangling")));
    EXPECT_EQ(content("data/new.ini"), "created");
}

}  // namespace
}  // namespace wgs::posix
