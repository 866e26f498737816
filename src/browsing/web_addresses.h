// The web addresses the menu bar knows: the game portal's pages that load into
// the browser pane, and the forum pages that open in the system's browser.
#pragma once

#include "core/text.h"

namespace wgs::web {

// The flash-game portal: its main site, its news site and its site for 西普大陆.
constexpr const char* kPortalHost = "www.youxiportal.example";
constexpr const char* kPortalNewsHost = "news.youxiportal.example";
constexpr const char* kPortalXipuHost = "xipu.youxiportal.example";
// The forum that announces updates, and the user id its links refer from.
constexpr const char* kForumHost = "bbs.quento.example";
constexpr const char* kForumReferralId = "20417";

// Every address is on the HTTP scheme: host, then path and query.
inline Text httpAddress(const char* host, const Text& pathAndQuery) {
    return joinTexts(joinTexts("http://", host), pathAndQuery);
}

inline Text forumUpdateThread() {
    return httpAddress(kForumHost, "/thread-78603-1-1.html");
}
inline Text forumFrontPage() {
    return httpAddress(kForumHost, joinTexts("/?fromuid=", kForumReferralId));
}

}  // namespace wgs::web
