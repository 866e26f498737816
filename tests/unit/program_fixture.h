// The whole program on a fresh simulated desktop, with yxq.ini in a temporary
// host folder, and the few look-ups the scenarios share.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "browsing/program.h"
#include "platform/sim/sim_desktop.h"

namespace wgs::testing_support {

// A host folder that holds drive C: with the program's directory C:\Games.
class TempRoot {
public:
    TempRoot() {
        char pattern[] = "/tmp/wgs-program-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = made;
        std::filesystem::create_directories(path_ + "/C/Games");
    }
    ~TempRoot() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempRoot(const TempRoot&) = delete;
    TempRoot& operator=(const TempRoot&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline SimDesktop::Options optionsFor(const TempRoot& root) {
    SimDesktop::Options options;
    options.hostRoot = root.path();
    return options;
}

inline std::string iniPath(const TempRoot& root) {
    return root.path() + "/C/Games/yxq.ini";
}

inline bool iniExists(const TempRoot& root) {
    return std::filesystem::exists(iniPath(root));
}

inline std::string iniBytes(const TempRoot& root) {
    std::ifstream in(iniPath(root), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline void writeIni(const TempRoot& root, const std::string& bytes) {
    std::ofstream out(iniPath(root), std::ios::binary | std::ios::trunc);
    out << bytes;
}

// The section line every file of the program starts with.
inline const std::string kSectionLine = "[请勿随便修改此配置文件]\r\n";

inline int runProgramOn(SimDesktop& sim) {
    return sim.run([&] { return runProgram(sim); });
}

inline bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The main window: the one whose caption carries the version.
inline Handle mainWindow(const SimDesktop& sim) {
    for (Handle h : sim.topLevelWindows()) {
        if (endsWith(sim.caption(h), "   V1.3")) return h;
    }
    return 0;
}

inline std::vector<Handle> controlsOfType(const SimDesktop& sim, Handle window, ControlType type) {
    std::vector<Handle> found;
    for (Handle c : sim.controls(window)) {
        if (sim.controlType(c) == type) found.push_back(c);
    }
    return found;
}

inline std::vector<std::string> navigatedAddresses(const SimDesktop& sim) {
    std::vector<std::string> addresses;
    for (const auto& n : sim.navigations) addresses.push_back(n.address);
    return addresses;
}

// Selects everything in the focused edit box and replaces it, as a user does
// with Ctrl+A and typing.
inline void replaceFocusedText(SimDesktop& sim, const std::string& text) {
    sim.selectAll();
    sim.paste(text);
}

}  // namespace wgs::testing_support
