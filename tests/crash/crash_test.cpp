// The configuration file survives a crash at any moment: a writer process is
// killed with SIGKILL at random moments while it writes yxq.ini, hundreds of
// times. After every kill the file must be exactly the content before or after
// one of the writes (never truncated, never a mix of two), the next writer
// continues from it, and the program starts from it.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
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

// How a writer's run went, in microseconds of its processor time after it
// said it was ready.
struct WriterRun {
    long used = 0;         // until the kill
    long firstWrite = -1;  // until its first write had replaced the file, or -1
};

// Starts the writer, continuing after write `done`, and kills it once it has
// run for `cpuUs` of processor time since it said it was ready. The moment is
// measured on the writer's own CPU clock, not on the wall clock: on a busy
// machine the writer may wait for a processor longer than a whole write takes,
// and a kill timed by the wall clock would then land before it wrote anything.
// The test polls without sleeping (a sleeping poller wakes a scheduler tick
// late, several writes' worth) but yields, so the writer keeps a processor
// even on a machine with one. Gives up waiting after `maxWallUs` (a writer
// blocked in the kernel).
WriterRun runAndKill(const std::string& dir, const std::string& path, long long done, long cpuUs,
                     long maxWallUs = 5000000) {
    WriterRun run;
    struct stat before {};
    const bool hadFile = ::stat(path.c_str(), &before) == 0;
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
    char ready = 0;
    const bool started = ::read(fds[0], &ready, 1) == 1;
    ::close(fds[0]);
    clockid_t clock = 0;
    if (started && ::clock_getcpuclockid(pid, &clock) == 0) {
        auto cpuNow = [&] {
            timespec t{};
            ::clock_gettime(clock, &t);
            return static_cast<long long>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
        };
        const long long atReady = cpuNow();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(maxWallUs);
        for (;;) {
            run.used = static_cast<long>(cpuNow() - atReady);
            if (run.firstWrite < 0) {
                // A write replaces the file by renaming a new one over it.
                struct stat now {};
                if (::stat(path.c_str(), &now) == 0 && (!hadFile || now.st_ino != before.st_ino))
                    run.firstWrite = run.used;
            }
            if (run.used >= cpuUs || std::chrono::steady_clock::now() >= deadline) break;
            ::sched_yield();
        }
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(started) << "the writer did not start";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the writer ended by itself: " << status;
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
    const int kills = std::getenv("WGS_CRASH_KILLS") ? std::atoi(std::getenv("WGS_CRASH_KILLS")) : 300;
    KillDir root;
    ASSERT_FALSE(root.path().empty());
    const std::string dir = root.path() + "/C/Games";
    const std::string path = dir + "/yxq.ini";
    writeHostFile(path, kStart);
    States states;

    // How much processor time a writer needs for its first write (which pays
    // for starting up) and for each one after it, so that the kills spread
    // from before the first write to the middle of the fourth.
    const WriterRun calibration = runAndKill(dir, path, 0, 300000);
    if (::testing::Test::HasFailure()) return;
    std::string file = readHostFile(path);
    ASSERT_TRUE(states.match(file, lastPossibleWrite(file))) << "after the calibration run";
    ASSERT_GT(states.done(), 6) << "the writer made too few writes to measure";
    ASSERT_GE(calibration.firstWrite, 0);
    const long firstUs = calibration.firstWrite;
    const long writeUs = std::max(1L, (calibration.used - firstUs) / static_cast<long>(states.done() - 1));

    std::mt19937 random(20121230);
    std::uniform_int_distribution<long> delay(0, firstUs + 3 * writeUs);
    int changed = 0;
    for (int kill = 0; kill < kills; ++kill) {
        const long long before = states.done();
        runAndKill(dir, path, before, delay(random));
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
        "%d killed while a temporary file was open (left beside the file), "
        "processor time: %ld us for the first write, %ld us for each further one\n",
        kills, states.done(), changed, leftovers, firstUs, writeUs);
    // Kills must have landed in the middle of writes, or the test proved nothing.
    EXPECT_GT(leftovers, 0);
    EXPECT_GT(changed, 0);
    EXPECT_LT(changed, kills);
}

}  // namespace
}  // namespace wgs
