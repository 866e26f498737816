// The configuration file survives a crash at any moment: a writer process is
// killed with SIGKILL at random moments while it writes yxq.ini, hundreds of
// times. After every kill the file must be exactly the content before or after
// one of the writes (never truncated, never a mix of two), the next writer
// continues from it, and the program starts from it.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "browsing/program.h"
#include "core/config_file.h"
#include "crash/write_sequence.h"
#include "unit/sim_harness.h"

namespace wgs {
namespace {

using testing::readHostFile;
using testing::writeHostFile;

// The file before the first write: a hand-edited one with a comment, a section
// of another program and a key this program does not know, all of which the
// writes must keep.
const std::string kStart = std::string("; edited by hand\r\n[其他]\r\nfoo=bar\r\n[") + kConfigSection +
                           "]\r\n未知=保留\r\n宽度=640\r\n";

// Starts the writer, continuing after write `done`. It announces each write as
// it begins it; once it has begun write number `done + 1 + completed`, the
// writer is given `delayUs` more and killed. Counting the writer's own
// announcements rather than time from its start keeps the kills spread over
// writes on a busy machine too, where the writer may wait for a processor
// longer than a write takes. Returns the wall time between the first and the
// last announcement seen and their number (for `completed` < 0: every
// announcement for `delayUs`).
struct WriterRun {
    long announced = 0;
    double spanUs = 0;
};

WriterRun runAndKill(const std::string& dir, long long done, long completed, long delayUs) {
    WriterRun run;
    int fds[2];
    if (::pipe(fds) != 0) {
        ADD_FAILURE() << "pipe";
        return run;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        ADD_FAILURE() << "fork";
        return run;
    }
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        ::close(fds[1]);
        const std::string first = std::to_string(done);
        ::execl(WGS_CONFIG_WRITER, WGS_CONFIG_WRITER, dir.c_str(), first.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    using Clock = std::chrono::steady_clock;
    Clock::time_point first;
    Clock::time_point last;
    const long wanted = completed < 0 ? -1 : completed + 1;
    bool ended = false;
    for (;;) {
        if (wanted >= 0 && run.announced >= wanted) break;
        if (wanted < 0 && run.announced > 0 && Clock::now() - first >= std::chrono::microseconds(delayUs))
            break;
        char mark = 0;
        if (::read(fds[0], &mark, 1) != 1) {
            ended = true;
            break;
        }
        last = Clock::now();
        if (run.announced++ == 0) first = last;
    }
    if (wanted >= 0 && !ended && delayUs > 0) {
        // Sleeping, not spinning: a spinning test may hold the very processor
        // the writer needs, and the kill would then always find it where it
        // announced the write.
        const timespec pause{delayUs / 1000000, (delayUs % 1000000) * 1000};
        ::nanosleep(&pause, nullptr);
    }
    ::kill(pid, SIGKILL);
    ::close(fds[0]);
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_FALSE(ended) << "the writer stopped announcing writes";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the writer ended by itself: " << status;
    run.spanUs = std::chrono::duration<double, std::micro>(last - first).count();
    return run;
}

// The number that the name or the address in the file carries, or 0.
long long numberIn(const std::string& file, const char* key, const std::string& prefix) {
    std::string value;
    if (!ini::lookup(file, kConfigSection, key, value) || value.compare(0, prefix.size(), prefix) != 0)
        return 0;
    return std::atoll(value.c_str() + prefix.size());
}

// The last write that can have made `file`: name and address carry the number
// of their write, and at most five writes of other keys follow the later one.
long long lastPossibleWrite(const std::string& file) {
    return std::max(numberIn(file, "名称", "游戏 "), numberIn(file, "地址", "http://game.invalid/")) + 5;
}

int temporaryFilesIn(const std::string& dir) {
    int count = 0;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            if (std::string(e->d_name).rfind(".yxq.ini.", 0) == 0) ++count;
        }
        ::closedir(d);
    }
    return count;
}

// The file's content after each write, computed forward from the start.
class States {
public:
    States() : content_(kStart) {}
    long long done() const { return done_; }
    const std::string& content() const { return content_; }
    // Advances to the state equal to `file` among writes done()..last; false
    // (and unchanged) when none is.
    bool match(const std::string& file, long long last) {
        std::string content = content_;
        for (long long i = done_; i <= last; ++i) {
            if (i > done_)
                content = ini::update(content, kConfigSection, crashtest::writtenKey(i),
                                      crashtest::writtenValue(i));
            if (content == file) {
                content_ = content;
                done_ = i;
                return true;
            }
        }
        return false;
    }

private:
    std::string content_;
    long long done_ = 0;
};

// What a file in some state means for the program's window.
struct Expected {
    Rect rect;
    std::string caption;
    std::string address;
};

Expected expectedFrom(const std::string& file) {
    auto value = [&](const char* key, const char* fallback) {
        std::string v;
        return ini::lookup(file, kConfigSection, key, v) ? v : std::string(fallback);
    };
    return Expected{Rect{textToInt(value("左边", "50")), textToInt(value("顶边", "50")),
                         textToInt(value("宽度", "900")), textToInt(value("高度", "660"))},
                    value("名称", "未设置名称") + "   V1.3", value("地址", "about:blank")};
}

// A folder for the writer's file, removed afterwards: in memory (/dev/shm)
// where there is one. A SIGKILL ends the process, not the machine, so what is
// tested is the order of the writer's steps against its death; the page cache
// outlives the process on any file system, and on a disk every write would
// wait for two flushes, making hundreds of kills take minutes.
class KillDir {
public:
    KillDir() {
        for (const char* base : {"/dev/shm", "/tmp"}) {
            std::string pattern = std::string(base) + "/wgs-crash-XXXXXX";
            if (::mkdtemp(&pattern[0])) {
                path_ = pattern;
                break;
            }
        }
    }
    ~KillDir() {
        if (path_.empty()) return;
        const std::string command = "rm -rf '" + path_ + "'";
        if (std::system(command.c_str()) != 0) {
        }
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

TEST(CrashSafeConfiguration, KilledWritersLeaveTheOldOrTheNewFile) {
    // Sleeps of a few microseconds must not be rounded up by the default
    // 50 us of timer slack.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    const int kills = std::getenv("WGS_CRASH_KILLS") ? std::atoi(std::getenv("WGS_CRASH_KILLS")) : 300;
    KillDir root;
    ASSERT_FALSE(root.path().empty());
    const std::string dir = root.path() + "/C/Games";
    const std::string path = dir + "/yxq.ini";
    writeHostFile(path, kStart);
    States states;

    // How long one write takes here, so that the kills spread over a whole
    // write whichever write they aim at.
    const WriterRun calibration = runAndKill(dir, 0, -1, 300000);
    if (::testing::Test::HasFailure()) return;
    std::string file = readHostFile(path);
    ASSERT_TRUE(states.match(file, lastPossibleWrite(file))) << "after the calibration run";
    ASSERT_GT(calibration.announced, 6) << "the writer made too few writes to measure";
    const long writeUs =
        std::max(1L, static_cast<long>(calibration.spanUs / static_cast<double>(calibration.announced - 1)));

    // Each kill aims at one of the first four writes of its writer (the first
    // also pays for starting up), at a moment within about one write's time.
    std::mt19937 random(20121230);
    std::uniform_int_distribution<long> completedWrites(0, 3);
    std::uniform_int_distribution<long> delay(0, writeUs + writeUs / 2);
    int changed = 0;
    for (int kill = 0; kill < kills; ++kill) {
        const long long before = states.done();
        const long aim = completedWrites(random);
        runAndKill(dir, before, aim, delay(random));
        if (::testing::Test::HasFailure()) return;
        file = readHostFile(path);
        ASSERT_TRUE(states.match(file, std::max(lastPossibleWrite(file), before)))
            << "kill " << kill << ": after write " << before << " the file is no state of the sequence ("
            << file.size() << " bytes)";
        if (states.done() != before) ++changed;

        // The program starts from what the kill left.
        const Expected expected = expectedFrom(file);
        // (A plain copy: the harness's helpers start a shell each time.)
        const std::string desk = root.path() + "/desk";
        std::filesystem::create_directories(desk + "/C/Games");
        std::ofstream(desk + "/C/Games/yxq.ini", std::ios::binary | std::ios::trunc) << file;
        SimDesktop::Options options;
        options.hostRoot = desk;
        SimDesktop sim(options);
        Handle main = 0;
        sim.then([&] {
            main = sim.windowByCaption(expected.caption);
            ASSERT_NE(main, 0u) << "kill " << kill << ": caption " << expected.caption;
            EXPECT_EQ(sim.rect(main), expected.rect) << "kill " << kill;
            ASSERT_FALSE(sim.navigations.empty());
            EXPECT_EQ(sim.navigations.front().address, expected.address) << "kill " << kill;
            sim.closeBox(main);
        });
        EXPECT_EQ(sim.run([&] { return runProgram(sim); }), 0);
        if (::testing::Test::HasFailure()) return;
    }
    const int leftovers = temporaryFilesIn(dir);
    std::printf(
        "crash test: %d kills, %lld writes done, %d kills after a completed write, "
        "%d killed while a temporary file was open (left beside the file), %ld us per write\n",
        kills, states.done(), changed, leftovers, writeUs);
    // Kills must have landed in the middle of writes, or the test proved nothing.
    EXPECT_GT(leftovers, 0);
    EXPECT_GT(changed, 0);
    EXPECT_LT(changed, kills);
}

}  // namespace
}  // namespace wgs
