#include "core/application.h"

#include <cstdlib>
#include <utility>

namespace wgs {

namespace {
constexpr const char* kDescriptionsUnreadable = "载入窗口模板数据段出错!";
constexpr const char* kStartWindowFailed = "载入启动窗口失败";
constexpr unsigned kMbIconHand = 0x10;
}  // namespace

Application::Application(Platform& platform, ProgramSetup setup)
    : platform_(platform), setup_(std::move(setup)) {
    windows_ = std::make_unique<WindowManager>(*this, platform_);
}

Application::~Application() = default;

int Application::start() {
    engineInitialized_ = platform_.initializeEngine();

    const PathStyle style = platform_.pathStyle();
    splitProgramPath(platform_.modulePath(), style.separator, style.doubleByteAware, runDirectory_,
                     startFileName_);
    platform_.setCurrentDirectory(runDirectory_);
    config_ = std::make_unique<ConfigFile>(platform_, runDirectory_, style.separator);

    windows_->createModalOwner();

    const int startWindow = setup_ ? setup_(*this) : 0;
    if (!startWindow || !windows_->hasDescription(startWindow)) fatalError(kDescriptionsUnreadable);

    // The program registers an exit hook that has nothing to do.
    if (!exitHook_) exitHook_ = [] {};

    if (!windows_->loadWindow(startWindow, 0, false)) fatalError(kStartWindowFailed);

    loopStarted_ = true;
    if (windows_->loadedCount() > 0) runMessageLoop();

    finalCleanup();
    return exitCode_;
}

void Application::runMessageLoop() {
    while (!quitReceived_) platform_.pumpOne();
}

void Application::runNestedLoop(const std::function<bool()>& done) {
    while (!quitReceived_ && !done()) platform_.pumpOne();
}

void Application::postQuit(int exitCode) {
    if (quitPosted_) return;
    quitPosted_ = true;
    platform_.post([this, exitCode] {
        quitReceived_ = true;
        exitCode_ = exitCode;
    });
}

void Application::finalCleanup() {
    if (cleanedUp_) return;
    cleanedUp_ = true;
    windows_->discardAll();
    if (exitHook_) {
        auto hook = std::move(exitHook_);
        exitHook_ = nullptr;
        hook();
    }
    for (Handle library : libraries_) platform_.freeLibrary(library);
    libraries_.clear();
    if (engineInitialized_) {
        engineInitialized_ = false;
        platform_.shutdownEngine();
    }
}

Text Application::fatalErrorText(const Text& message, int code) {
    Text text = "运行时出错!\r\n\r\n";
    if (code != 0) text += "错误代码：" + intToText(code) + "\r\n\r\n";
    if (!message.empty()) text += "错误信息：" + message + "\r\n";
    return text;
}

void Application::fatalError(const Text& message, int code) {
    windows_->suspendEvents();
    platform_.messageBox(MessageBoxRequest{fatalErrorText(message, code), "错误", kMbIconHand});
    finalCleanup();
    platform_.exitProcess(-1);
    std::abort();  // a backend's exitProcess never returns
}

bool applyVisualStyle(Application& application, int style) {
    return application.platform().setVisualStyle(style);
}

}  // namespace wgs
