// The mapping between local addresses and the local-game scheme, and what a
// request of that scheme is served.
#include "platform/gtk/flash/local_games.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <string>

namespace wgs::flash {
namespace {

// "游戏" in UTF-8, written as bytes: the sources are compiled to GBK.
const std::string kChineseName = "\xe6\xb8\xb8\xe6\x88\x8f";

class LocalGames : public ::testing::Test {
protected:
    void SetUp() override {
        char* dir = g_dir_make_tmp("wgs-local-games-XXXXXX", nullptr);
        ASSERT_NE(dir, nullptr);
        folder = dir;
        g_free(dir);
        write("game.html", "<p>game</p>");
        write("movie.swf", "FWS");
        write(kChineseName + ".swf", "FWS");
        write("a\"><img src=x onerror=alert(1)>.swf", "FWS");
        g_mkdir((folder + "/sub").c_str(), 0700);
        write("sub/level.swf", "FWS");
    }
    void TearDown() override {
        std::string command = "rm -rf '" + folder + "'";
        ASSERT_EQ(system(command.c_str()), 0);
    }
    void write(const std::string& name, const std::string& bytes) {
        ASSERT_TRUE(g_file_set_contents((folder + "/" + name).c_str(), bytes.data(), bytes.size(), nullptr));
    }
    std::string fileUri(const std::string& name) {
        char* uri = g_filename_to_uri((folder + "/" + name).c_str(), nullptr, nullptr);
        std::string s = uri;
        g_free(uri);
        return s;
    }
    // The local-game origin of the temporary folder, e.g. "local-game://0123abcd".
    std::string origin() {
        std::string mapped = localGameAddress(folder + "/game.html");
        return mapped.substr(0, mapped.find('/', std::string("local-game://").size()));
    }
    std::string folder;
};

TEST_F(LocalGames, AddressesThatAreNotLocalFilesStayAsTheyAre) {
    const std::string unchanged[] = {
        "",
        "http://127.0.0.1:8080/game.swf",
        "https://example.org/flash/55549.htm",
        "about:blank",
        "game.html",
        "file://fileserver/share/game.swf",
        "file:///tmp/",
        folder,
        fileUri("sub"),
        "local-game://not-one-of-ours/game.html",
    };
    for (const std::string& address : unchanged) {
        EXPECT_EQ(localGameAddress(address), address) << address;
        EXPECT_EQ(fileAddressOf(address), address) << address;
    }
}

TEST_F(LocalGames, LocalFilesAreServedFromTheirFolderAndReportedAsFileAddresses) {
    struct Case {
        std::string given;
        std::string loaded;  // after the folder's origin
        std::string reported;
    };
    const Case cases[] = {
        {fileUri("game.html"), "/game.html", fileUri("game.html")},
        {folder + "/game.html", "/game.html", fileUri("game.html")},
        {"file://localhost" + folder + "/game.html", "/game.html", fileUri("game.html")},
        {fileUri("game.html") + "?level=2#top", "/game.html?level=2#top",
         fileUri("game.html") + "?level=2#top"},
        {folder + "/sub/../game.html", "/game.html", fileUri("game.html")},
        // A plain path keeps '?' and '#' as part of the file name.
        {folder + "/odd?name#.html", "/odd%3Fname%23.html", fileUri("odd?name#.html")},
        // SWF files get a page of their own that embeds them.
        {fileUri("movie.swf"), "/.swf-page/movie.swf", fileUri("movie.swf")},
        {folder + "/MOVIE.SWF", "/.swf-page/MOVIE.SWF", fileUri("MOVIE.SWF")},
        {folder + "/" + kChineseName + ".swf", "/.swf-page/%E6%B8%B8%E6%88%8F.swf",
         fileUri(kChineseName + ".swf")},
    };
    for (const Case& c : cases) {
        std::string loaded = localGameAddress(c.given);
        EXPECT_EQ(loaded, origin() + c.loaded) << c.given;
        EXPECT_EQ(fileAddressOf(loaded), c.reported) << c.given;
    }
    // A page's own links inside the folder are reported in file form too.
    EXPECT_EQ(fileAddressOf(origin() + "/sub/level.swf"), fileUri("sub/level.swf"));
    EXPECT_EQ(fileAddressOf(origin()), fileUri(""));
}

TEST_F(LocalGames, EveryFolderHasAnOriginOfItsOwn) {
    std::string sub = localGameAddress(folder + "/sub/level.swf");
    EXPECT_EQ(sub.rfind(origin(), 0), std::string::npos) << sub;
    EXPECT_EQ(localGameAddress(fileUri("movie.swf")).rfind(origin(), 0), 0u);
}

TEST_F(LocalGames, RequestsAreServedOnlyFromInsideTheFolder) {
    struct Case {
        std::string path;
        LocalGameResource::Kind kind;
        std::string file;
        std::string type;
    };
    const Case cases[] = {
        {"/game.html", LocalGameResource::Kind::File, "game.html", "text/html"},
        {"/game.html?x=1#y", LocalGameResource::Kind::File, "game.html", "text/html"},
        {"/sub/level.swf", LocalGameResource::Kind::File, "sub/level.swf", "application/x-shockwave-flash"},
        {"/%E6%B8%B8%E6%88%8F.swf", LocalGameResource::Kind::File, kChineseName + ".swf",
         "application/x-shockwave-flash"},
        {"/.swf-page/sub/level.swf", LocalGameResource::Kind::SwfPage, "", "text/html"},
        {"/missing.html", LocalGameResource::Kind::Missing, "", ""},
        {"/", LocalGameResource::Kind::Missing, "", ""},
        {"/sub", LocalGameResource::Kind::Missing, "", ""},
        {"/.swf-page/game.html", LocalGameResource::Kind::Missing, "", ""},
        {"/../etc/passwd", LocalGameResource::Kind::Missing, "", ""},
        {"/%2E%2E/etc/passwd", LocalGameResource::Kind::Missing, "", ""},
        {"/sub%2F..%2F..%2Fetc%2Fpasswd", LocalGameResource::Kind::Missing, "", ""},
        {"/game.html%00.swf", LocalGameResource::Kind::Missing, "", ""},
    };
    for (const Case& c : cases) {
        LocalGameResource r = resolveLocalGame(origin() + c.path);
        EXPECT_EQ(r.kind, c.kind) << c.path;
        if (c.kind == LocalGameResource::Kind::File) {
            EXPECT_EQ(r.path, folder + "/" + c.file) << c.path;
        }
        EXPECT_EQ(r.contentType, c.type) << c.path;
    }
    EXPECT_EQ(resolveLocalGame("local-game://0000000000000000/game.html").kind,
              LocalGameResource::Kind::Missing);
}

TEST_F(LocalGames, TheSwfPageEmbedsTheMovieWithItsQueryAndEscapesEverything) {
    LocalGameResource page = resolveLocalGame(origin() + "/.swf-page/sub/level.swf?a=1&b=%22x%22");
    ASSERT_EQ(page.kind, LocalGameResource::Kind::SwfPage);
    EXPECT_NE(page.html.find("<embed src=\"/sub/level.swf?a=1&amp;b=%22x%22\""), std::string::npos)
        << page.html;
    EXPECT_NE(page.html.find("<title>level.swf</title>"), std::string::npos) << page.html;

    LocalGameResource hostile =
        resolveLocalGame(localGameAddress(folder + "/a\"><img src=x onerror=alert(1)>.swf"));
    ASSERT_EQ(hostile.kind, LocalGameResource::Kind::SwfPage);
    EXPECT_EQ(hostile.html.find("<img"), std::string::npos) << hostile.html;
    EXPECT_NE(hostile.html.find("src=\"/a%22%3E%3Cimg%20src%3Dx%20onerror%3Dalert%281%29%3E.swf\""),
              std::string::npos)
        << hostile.html;
}

TEST(ContentTypes, ByExtensionWithAByteStreamForTheRest) {
    const std::pair<std::string, std::string> cases[] = {
        {"index.HTML", "text/html"},
        {"core.ruffle.js", "text/javascript"},
        {"x.wasm", "application/wasm"},
        {"game.swf", "application/x-shockwave-flash"},
        {"save.sol", "application/octet-stream"},
        {"noextension", "application/octet-stream"},
    };
    for (const auto& c : cases) EXPECT_EQ(contentTypeForName(c.first), c.second) << c.first;
}

}  // namespace
}  // namespace wgs::flash
