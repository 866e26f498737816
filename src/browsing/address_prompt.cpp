#include "browsing/address_prompt.h"

#include "browsing/main_window.h"

namespace wgs {

AddressPrompt::Answer AddressPrompt::run(const Text& prompt, const Text& initial) {
    Answer answer;
    answer.confirmed = platform_.promptText(owner_, prompt, initial, answer.text);
    if (!answer.confirmed) answer.text.clear();
    return answer;
}

void jumpToAddress(Application& app) {
    MainWindow main(app);
    const AddressPrompt::Answer answer =
        AddressPrompt(app.platform(), main.handle()).run("请输入欲跳转的网页网址：", main.shownAddress());
    if (!answer.confirmed || isEmptyText(answer.text)) return;
    main.loadAddress(answer.text);
}

}  // namespace wgs
