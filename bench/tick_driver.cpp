// Runs the whole program on the simulated desktop and lets its upkeep timer
// tick, for bench/tick-cost.sh to count the instructions of each tick with
// callgrind.
//
// Usage: wgs_tick_driver MODE TICKS
//   idle          nothing armed: the tick trims the working set and stops
//   other-hour    armed for 03:59: one clock reading, the hour differs
//   other-minute  armed for 14:59: two clock readings, the minute differs
//   firing        armed for 14:05: every tick asks the (fake) system to power off
// The desktop's clock starts at 30 December 2012, 14:05:07, so at most 50
// ticks stay within the armed minute.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "browsing/program.h"
#include "platform/sim/sim_desktop.h"

namespace {

wgs::Handle mainWindow(const wgs::SimDesktop& sim) {
    for (wgs::Handle h : sim.topLevelWindows()) {
        const std::string caption = sim.caption(h);
        if (caption.size() >= 7 && caption.compare(caption.size() - 7, 7, "   V1.3") == 0) return h;
    }
    return 0;
}

void arm(wgs::SimDesktop& sim, const std::string& hour, const std::string& minute) {
    sim.then([&sim] { sim.chooseMenu(mainWindow(sim), {"实用工具", "定时关机（挂机专用）"}); });
    sim.then([&sim, hour] {
        sim.type(hour);
        sim.press(wgs::Key::Tab);
    });
    sim.then([&sim, minute] { sim.type(minute); });
    sim.then([&sim] { sim.click(sim.controlByText(sim.windowByCaption("定时关机"), "确定")); });
    sim.then([&sim] {
        if (sim.windowByCaption("定时关机") != 0) {
            std::fprintf(stderr, "tick driver: the shutdown window did not close\n");
            std::exit(2);
        }
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: wgs_tick_driver idle|other-hour|other-minute|firing TICKS\n");
        return 2;
    }
    const std::string mode = argv[1];
    const int ticks = std::atoi(argv[2]);
    char pattern[] = "/tmp/wgs-tick-XXXXXX";
    if (!::mkdtemp(pattern)) return 2;
    const std::string root = pattern;
    std::filesystem::create_directories(root + "/C/Games");

    int requests = 0;
    int trims = 0;
    {
        wgs::SimDesktop::Options options;
        options.hostRoot = root;
        wgs::SimDesktop sim(options);
        if (mode == "other-hour") {
            arm(sim, "3", "59");
        } else if (mode == "other-minute") {
            arm(sim, "14", "59");
        } else if (mode == "firing") {
            arm(sim, "14", "5");
        } else if (mode != "idle") {
            std::fprintf(stderr, "tick driver: unknown mode %s\n", mode.c_str());
            return 2;
        }
        sim.advance(static_cast<std::int64_t>(ticks) * 1000);
        sim.then([&sim] { sim.closeBox(mainWindow(sim)); });
        const int code = sim.run([&] { return wgs::runProgram(sim); });
        requests = static_cast<int>(sim.shutdown.shutdownCalls().size());
        trims = sim.trims;
        if (code != 0) return 3;
    }
    std::filesystem::remove_all(root);
    std::printf("ticks %d trims %d power-off requests %d\n", ticks, trims, requests);
    if (mode == "firing" && requests != ticks) return 4;
    if (mode != "firing" && requests != 0) return 4;
    return trims == ticks ? 0 : 4;
}
