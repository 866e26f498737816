// The sequence of writes that the crash test's writer makes: write number i
// sets key i % 6 to a value that names i. Geometry values stay within a
// screen so that the program can start from any state of the file.
#pragma once

#include <string>

#include "core/text.h"

namespace wgs::crashtest {

inline const char* const kKeys[6] = {"宽度", "高度", "左边", "顶边", "地址", "名称"};

inline std::string writtenKey(long long i) {
    return kKeys[i % 6];
}

inline std::string writtenValue(long long i) {
    switch (i % 6) {
        case 0:
            return intToText(static_cast<int>(400 + i % 500));  // width
        case 1:
            return intToText(static_cast<int>(300 + i % 400));  // height
        case 2:
            return intToText(static_cast<int>(i % 200 - 8));  // left, sometimes partly off-screen
        case 3:
            return intToText(static_cast<int>(i % 100));  // top
        case 4:
            // A long address makes each write large enough to be killed halfway.
            return "http://game.invalid/" + std::to_string(i) + "/" + std::string(16384, 'a' + i % 26);
        default:
            return "游戏 " + std::to_string(i);
    }
}

}  // namespace wgs::crashtest
