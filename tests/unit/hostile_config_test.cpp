// Hostile yxq.ini files, each started through the whole program on the
// simulated desktop, which reads and writes the real file through the POSIX
// file functions. Whatever the file holds, the program starts, shows the
// defaults for what it cannot read, ends normally, and when it saves the
// geometry it keeps every line it does not own; a file it could not read, or
// cannot write, is left exactly as it was.
//
// Two cases need the operating system's help, and say what they prove:
//  - A file the user may not read: the tests run as root in CI, and root reads
//    any file. As root the case runs in a child process that has given up root
//    for the nobody user (uid 65534), in a directory that user may write to, so
//    that only the file's own permissions stand in the way.
//  - A read-only medium: as root the child process gets a mount namespace of
//    its own and bind-mounts the program's folder read-only, so the writes
//    really fail with EROFS. Without that privilege the case is skipped; a
//    second case always runs with the sim's model of a read-only medium.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/config_file.h"
#include "program_fixture.h"

namespace wgs {
namespace {

using namespace testing_support;

const std::string kSection = std::string("[") + kConfigSection + "]";

// What the user saw of the program.
struct Outcome {
    int exitCode = -1;
    bool shown = false;
    std::string caption;
    std::string address;
    Rect rect;
    std::string failure;  // why the run could not be made (a child that crashed, ...)
};

Outcome startAndClose(const std::string& hostRoot, bool readOnlyModel) {
    Outcome out;
    SimDesktop::Options options;
    options.hostRoot = hostRoot;
    SimDesktop sim(options);
    if (readOnlyModel) sim.readOnlyHostDirs.push_back(hostRoot);
    sim.then([&] {
        const Handle main = mainWindow(sim);
        if (main == 0) return;
        out.shown = sim.visible(main);
        out.caption = sim.caption(main);
        out.rect = sim.rect(main);
        if (!sim.navigations.empty()) out.address = sim.navigations.back().address;
        sim.closeBox(main);
    });
    try {
        out.exitCode = runProgramOn(sim);
    } catch (const SimStalled& stalled) {
        out.failure = "stalled: " + stalled.what;
    }
    return out;
}

// ---- running a case in a child process that the parent cannot be harmed by

void putInt(std::string& s, long long v) {
    s += std::to_string(v) + "\n";
}
void putText(std::string& s, const std::string& t) {
    putInt(s, static_cast<long long>(t.size()));
    s += t;
}
long long getInt(const std::string& s, std::size_t& at) {
    const std::size_t end = s.find('\n', at);
    const long long v = std::stoll(s.substr(at, end - at));
    at = end + 1;
    return v;
}
std::string getText(const std::string& s, std::size_t& at) {
    const std::size_t n = static_cast<std::size_t>(getInt(s, at));
    const std::string t = s.substr(at, n);
    at += n;
    return t;
}

// Runs `prepare` (which may drop privileges or change mounts and returns an
// empty text or why it could not) and then the program, in a child process.
Outcome inChild(const std::function<std::string()>& prepare, const std::string& hostRoot) {
    int fds[2];
    Outcome out;
    if (::pipe(fds) != 0) {
        out.failure = "no pipe";
        return out;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string message;
        const std::string refused = prepare();
        if (!refused.empty()) {
            putInt(message, 1);
            putText(message, refused);
        } else {
            const Outcome o = startAndClose(hostRoot, false);
            putInt(message, 0);
            putInt(message, o.exitCode);
            putInt(message, o.shown);
            putText(message, o.caption);
            putText(message, o.address);
            for (int v : {o.rect.left, o.rect.top, o.rect.width, o.rect.height}) putInt(message, v);
            putText(message, o.failure);
        }
        std::size_t done = 0;
        while (done < message.size()) {
            const ssize_t n = ::write(fds[1], message.data() + done, message.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string message;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        message.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    // A child that ends other than with 0 (a crash, or memcheck's error exit
    // code when the suite runs under valgrind) fails the case.
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || message.empty()) {
        out.failure = "the child process failed: status " + std::to_string(status);
        return out;
    }
    std::size_t at = 0;
    if (getInt(message, at) == 1) {
        out.failure = "skip: " + getText(message, at);
        return out;
    }
    out.exitCode = static_cast<int>(getInt(message, at));
    out.shown = getInt(message, at) != 0;
    out.caption = getText(message, at);
    out.address = getText(message, at);
    out.rect.left = static_cast<int>(getInt(message, at));
    out.rect.top = static_cast<int>(getInt(message, at));
    out.rect.width = static_cast<int>(getInt(message, at));
    out.rect.height = static_cast<int>(getInt(message, at));
    out.failure = getText(message, at);
    return out;
}

// ---- what is on disk

// Everything in a folder: names, kinds, permissions, link targets and bytes.
std::string describeTree(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string& name : names) {
        const std::string path = dir + "/" + name;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0) continue;
        out += name + " mode " + std::to_string(st.st_mode) + " ";
        if (S_ISLNK(st.st_mode)) {
            char target[4096];
            const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
            out += "-> " + std::string(target, n > 0 ? static_cast<std::size_t>(n) : 0);
        } else if (S_ISDIR(st.st_mode)) {
            out += "{" + describeTree(path) + "}";
        } else {
            std::string bytes;
            const int fd = ::open(path.c_str(), O_RDONLY);
            char buffer[65536];
            ssize_t n;
            while (fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0) {
                bytes.append(buffer, static_cast<std::size_t>(n));
            }
            if (fd >= 0) ::close(fd);
            out += std::to_string(bytes.size()) + " bytes: " + bytes;
        }
        out += "\n";
    }
    return out;
}

std::vector<std::string> linesOf(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", begin);
        if (end == std::string::npos) end = bytes.size();
        lines.push_back(bytes.substr(begin, end - begin));
        begin = end;
        if (begin < bytes.size() && bytes[begin] == '\r') ++begin;
        if (begin < bytes.size() && bytes[begin] == '\n') ++begin;
    }
    return lines;
}

bool isGeometryKeyLine(const std::string& line) {
    std::string key = line.substr(0, line.find('='));
    if (key.size() == line.size()) return false;
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
    while (!key.empty() && (key.front() == ' ' || key.front() == '\t')) key.erase(0, 1);
    return key == "宽度" || key == "高度" || key == "左边" || key == "顶边";
}

// Every line of `before` except the geometry lines of the program's own
// section (the first of that name) is still in `after`, in the same order.
::testing::AssertionResult keepsEveryOtherLine(const std::string& before, const std::string& after) {
    const std::vector<std::string> now = linesOf(after);
    std::size_t at = 0;
    bool inOwnSection = false;
    bool ownSectionSeen = false;
    for (const std::string& line : linesOf(before)) {
        if (!line.empty() && line[0] == '[') {
            inOwnSection = line == kSection && !ownSectionSeen;
            ownSectionSeen = ownSectionSeen || inOwnSection;
        } else if (inOwnSection && isGeometryKeyLine(line)) {
            continue;
        }
        while (at < now.size() && now[at] != line) ++at;
        if (at == now.size()) {
            return ::testing::AssertionFailure()
                   << "the line \"" << line.substr(0, 80) << "\" (" << line.size() << " bytes) is gone";
        }
        ++at;
    }
    return ::testing::AssertionSuccess();
}

std::string valueIn(const std::string& file, const char* key) {
    std::string value;
    return ini::lookup(file, kConfigSection, key, value) ? value : "<missing>";
}

// ---- the cases

enum class Run {
    InProcess,
    AsUserWhoMayNotRead,  // a child process without root, if we are root
    OnReadOnlyMount,      // a child process with the folder bind-mounted read-only
    ReadOnlyModel,        // the sim refuses every write under the host root
};

enum class Save {
    KeepsOtherLines,  // the geometry is saved and every other line stays
    LeavesAsItWas,    // nothing in the folder changes
};

struct HostileCase {
    const char* name;
    std::function<void(const std::string& gamesDir)> make;
    Run run;
    Save save;
    std::string caption;  // shown, without the version
    std::string address;
    Rect rect;
};

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::function<void(const std::string&)> fileOf(const std::string& bytes) {
    return [bytes](const std::string& games) { writeFile(games + "/yxq.ini", bytes); };
}

const Rect kDefaultRect{50, 50, 900, 660};
const char* const kDefaultName = "未设置名称";
const char* const kBlank = "about:blank";

std::string megabyteAddress() {
    return "http://game.example/" + std::string(1 << 20, 'a');
}

std::string hundredThousandKeys() {
    std::string file = kSection + "\r\n";
    file.reserve(2400000);
    for (int i = 0; i < 100000; ++i) file += "键" + std::to_string(i) + "=值" + std::to_string(i) + "\r\n";
    return file + "宽度=1000\r\n";
}

// A zero byte inside a value, and one before a key.
const char kWithNul[] = "\r\n名称=坏\0名字\r\n\0宽度=100\r\n高度=700\r\n";

std::vector<HostileCase> hostileCases() {
    const std::string S = kSection;
    return {
        {"NUL bytes", fileOf(S + std::string(kWithNul, sizeof kWithNul - 1)), Run::InProcess,
         Save::KeepsOtherLines, "坏", kBlank, Rect{50, 50, 900, 700}},
        {"invalid GBK lead bytes",
         fileOf(S +
                "\r\n名称=\x80\xFF\xFE\x7F游戏\r\n\xFF宽度=1\r\n地址=http://a.example/\x80\r\n高度=700\r\n"),
         Run::InProcess, Save::KeepsOtherLines, "\x80\xFF\xFE\x7F游戏", "http://a.example/\x80",
         Rect{50, 50, 900, 700}},
        {"a lone lead byte at the end", fileOf(S + "\r\n宽度=1000\r\n名称=游戏\xB0"), Run::InProcess,
         Save::KeepsOtherLines, "游戏\xB0", kBlank, Rect{50, 50, 1000, 660}},
        {"a 1 MiB line", fileOf(S + "\r\n地址=" + megabyteAddress() + "\r\n宽度=1000\r\n"), Run::InProcess,
         Save::KeepsOtherLines, kDefaultName, megabyteAddress().substr(0, 10239), Rect{50, 50, 1000, 660}},
        {"100 000 keys", fileOf(hundredThousandKeys()), Run::InProcess, Save::KeepsOtherLines, kDefaultName,
         kBlank, Rect{50, 50, 1000, 660}},
        // What an editor leaves after saving the file as UTF-8: none of the
        // program's GBK names is in it.
        {"a UTF-8 BOM",
         fileOf(std::string("\xEF\xBB\xBF") + u8"[请勿随便修改此配置文件]\r\n宽度=1000\r\n名称=游戏\r\n"),
         Run::InProcess, Save::KeepsOtherLines, kDefaultName, kBlank, kDefaultRect},
        {"CR-only line endings", fileOf(S + "\r宽度=1000\r高度=700\r名称=游戏\r地址=http://cr.example/\r"),
         Run::InProcess, Save::KeepsOtherLines, "游戏", "http://cr.example/", Rect{50, 50, 1000, 700}},
        {"LF-only line endings", fileOf(S + "\n宽度=1000\n高度=700\n名称=游戏\n地址=http://lf.example/\n"),
         Run::InProcess, Save::KeepsOtherLines, "游戏", "http://lf.example/", Rect{50, 50, 1000, 700}},
        {"duplicate sections",
         fileOf(S + "\r\n宽度=1000\r\n[其他]\r\nx=1\r\n" + S + "\r\n宽度=500\r\n名称=第二\r\n"),
         Run::InProcess, Save::KeepsOtherLines, kDefaultName, kBlank, Rect{50, 50, 1000, 660}},
        {"a directory named yxq.ini",
         [](const std::string& games) {
             ::mkdir((games + "/yxq.ini").c_str(), 0755);
             writeFile(games + "/yxq.ini/inside", "keep me");
         },
         Run::InProcess, Save::LeavesAsItWas, kDefaultName, kBlank, kDefaultRect},
        {"a symbolic link loop",
         [](const std::string& games) {
             if (::symlink("loop.ini", (games + "/yxq.ini").c_str()) != 0 ||
                 ::symlink("yxq.ini", (games + "/loop.ini").c_str()) != 0) {
                 ADD_FAILURE() << "cannot make links";
             }
         },
         Run::InProcess, Save::LeavesAsItWas, kDefaultName, kBlank, kDefaultRect},
        {"a file the user may not read",
         [](const std::string& games) {
             writeFile(games + "/yxq.ini", kSection + "\r\n名称=秘密\r\n");
             ::chmod((games + "/yxq.ini").c_str(), 0);
         },
         Run::AsUserWhoMayNotRead, Save::LeavesAsItWas, kDefaultName, kBlank, kDefaultRect},
        // Readable but not writable: the values show, and the geometry that
        // would be appended is not.
        {"a file on a read-only mount", fileOf(S + "\r\n宽度=1000\r\n名称=只读\r\n"), Run::OnReadOnlyMount,
         Save::LeavesAsItWas, "只读", kBlank, Rect{50, 50, 1000, 660}},
        {"a read-only medium as the sim models it", fileOf(S + "\r\n宽度=1000\r\n名称=只读\r\n"),
         Run::ReadOnlyModel, Save::LeavesAsItWas, "只读", kBlank, Rect{50, 50, 1000, 660}},
    };
}

std::string dropRoot(const std::string& games) {
    if (::geteuid() != 0) return "";  // an ordinary user is already refused by the mode
    const uid_t nobody = 65534;
    // The folder is the user's own, so only the file's mode can refuse.
    if (::chown(games.c_str(), nobody, nobody) != 0) return "cannot give the folder away";
    if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0) {
        return "cannot give up root";
    }
    return ::access((games + "/yxq.ini").c_str(), R_OK) == 0 ? "the file is still readable" : "";
}

std::string mountReadOnly(const std::string& games) {
    // A mount namespace of our own: the mount goes away with this process.
    if (::unshare(CLONE_NEWNS) != 0) return "no mount namespace (needs root)";
    // The kernel ignores the source and type of these three; they are named
    // anyway so that no null pointer reaches the call.
    if (::mount("none", "/", "none", MS_REC | MS_PRIVATE, nullptr) != 0) return "cannot make mounts private";
    if (::mount(games.c_str(), games.c_str(), "none", MS_BIND, nullptr) != 0 ||
        ::mount("none", games.c_str(), "none", MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
        return "cannot bind-mount read-only";
    }
    const std::string probe = games + "/probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT, 0644);
    if (fd >= 0) {
        ::close(fd);
        return "the mount is writable";
    }
    return errno == EROFS ? "" : "the mount refuses writes, but not as read-only";
}

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

class HostileConfig : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileConfig, StartsShowsTheDefaultsAndNeverDestroysTheFile) {
    const HostileCase& c = GetParam();
    TempRoot root;
    const std::string games = root.path() + "/C/Games";
    if (c.run == Run::AsUserWhoMayNotRead) {
        // Another user must reach the folder.
        ::chmod(root.path().c_str(), 0755);
    }
    c.make(games);
    const std::string before = describeTree(games);
    const std::string bytesBefore = c.save == Save::KeepsOtherLines ? iniBytes(root) : "";

    Outcome out;
    switch (c.run) {
        case Run::InProcess:
            out = startAndClose(root.path(), false);
            break;
        case Run::ReadOnlyModel:
            out = startAndClose(root.path(), true);
            break;
        case Run::AsUserWhoMayNotRead:
            out = inChild([&] { return dropRoot(games); }, root.path());
            break;
        case Run::OnReadOnlyMount:
            out = inChild([&] { return mountReadOnly(games); }, root.path());
            break;
    }
    if (out.failure.rfind("skip: ", 0) == 0) GTEST_SKIP() << c.name << ": " << out.failure.substr(6);
    ASSERT_EQ(out.failure, "") << c.name;

    EXPECT_EQ(out.exitCode, 0) << c.name;
    EXPECT_TRUE(out.shown) << c.name;
    EXPECT_EQ(out.caption, c.caption + "   V1.3") << c.name;
    EXPECT_EQ(out.address, c.address) << c.name;
    EXPECT_EQ(out.rect, c.rect) << c.name;

    if (c.save == Save::LeavesAsItWas) {
        EXPECT_EQ(describeTree(games), before) << c.name;
        return;
    }
    const std::string after = iniBytes(root);
    EXPECT_TRUE(keepsEveryOtherLine(bytesBefore, after)) << c.name;
    EXPECT_EQ(valueIn(after, "宽度"), std::to_string(out.rect.width)) << c.name;
    EXPECT_EQ(valueIn(after, "高度"), std::to_string(out.rect.height)) << c.name;
    EXPECT_EQ(valueIn(after, "左边"), std::to_string(out.rect.left)) << c.name;
    EXPECT_EQ(valueIn(after, "顶边"), std::to_string(out.rect.top)) << c.name;
    // The program starts from what it saved, at the same place.
    const Outcome again = startAndClose(root.path(), false);
    EXPECT_EQ(again.rect, out.rect) << c.name;
    EXPECT_EQ(again.caption, out.caption) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Files, HostileConfig, ::testing::ValuesIn(hostileCases()),
                         [](const ::testing::TestParamInfo<HostileCase>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p) {
                                 if ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') ||
                                     (*p >= '0' && *p <= '9'))
                                     name += *p;
                             }
                             return name;
                         });

// Lines that differ only in their line breaks are replaced in place, each
// keeping its own break; new keys follow with CR LF.
TEST(HostileConfigBytes, LineBreaksOfTheHandEditedFileStay) {
    for (const char* eol : {"\r", "\n"}) {
        TempRoot root;
        writeIni(root, kSection + eol + "宽度=1000" + eol + "名称=游戏" + eol);
        startAndClose(root.path(), false);
        EXPECT_EQ(iniBytes(root), kSection + eol + "宽度=1000" + eol + "名称=游戏" + eol +
                                      "高度=660\r\n左边=50\r\n顶边=50\r\n");
    }
}

}  // namespace
}  // namespace wgs
