// Shared fixture pieces for tests that run a program on the simulated desktop.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/sim/sim_desktop.h"

namespace wgs::testing {

// A fresh host folder for the simulated drives, removed afterwards.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/wgs-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made ? made : "";
    }
    ~TempDir() {
        if (!path_.empty()) {
            const std::string command = "rm -rf '" + path_ + "'";
            if (system(command.c_str()) != 0) {
            }
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline std::string readHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void writeHostFile(const std::string& path, const std::string& bytes) {
    const std::string dir = path.substr(0, path.rfind('/'));
    const std::string command = "mkdir -p '" + dir + "'";
    if (system(command.c_str()) != 0) return;
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// Options for a sim whose program lives in C:\Games, mapped to `root`/C/Games.
inline SimDesktop::Options simOptions(const std::string& root) {
    SimDesktop::Options o;
    o.hostRoot = root;
    const std::string dir = root + "/C/Games";
    const std::string command = "mkdir -p '" + dir + "'";
    if (system(command.c_str()) != 0) {
    }
    return o;
}

}  // namespace wgs::testing
