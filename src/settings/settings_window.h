// 设置: the window in which the user sets the game's name and address. Saving
// stores both in yxq.ini and shows them in the main window at once.
#pragma once

#include "core/application.h"

namespace wgs {

class SettingsWindow {
public:
    static constexpr int kWindow = 2000;
    static constexpr int kSelf = 2001;
    static constexpr int kSave = 2002;        // 按钮1, 保存
    static constexpr int kAddressBox = 2003;  // 编辑框2
    static constexpr int kNameBox = 2004;     // 编辑框1
    static constexpr int kLabel = 2005;       // 标签1

    static WindowDescription describe(Application& application);

    explicit SettingsWindow(Application& application) : app_(application) {}

    void onCreated();
    void onSave();

private:
    Text nameText();
    Text addressText();

    Application& app_;
};

}  // namespace wgs
