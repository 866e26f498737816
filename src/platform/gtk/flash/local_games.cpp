#include "platform/gtk/flash/local_games.h"

#include <glib.h>

#include <cstring>
#include <map>
#include <vector>

namespace wgs::flash {
namespace {

// The first path segment under which a folder's SWF files get a page of
// their own. A dot name, so that it cannot clash with an ordinary game file.
constexpr const char* kSwfPageSegment = ".swf-page";

struct GFreeString {
    char* p;
    explicit GFreeString(char* s) : p(s) {}
    ~GFreeString() { g_free(p); }
    GFreeString(const GFreeString&) = delete;
    GFreeString& operator=(const GFreeString&) = delete;
    std::string str() const { return p != nullptr ? std::string(p) : std::string(); }
};

// Folders handed out in this process, by token and by path. The token is
// random so that a page cannot guess the address of another folder.
std::map<std::string, std::string>& folderByToken() {
    static std::map<std::string, std::string> m;
    return m;
}

std::map<std::string, std::string>& tokenByFolder() {
    static std::map<std::string, std::string> m;
    return m;
}

std::string tokenFor(const std::string& folder) {
    auto found = tokenByFolder().find(folder);
    if (found != tokenByFolder().end()) return found->second;
    std::string token;
    do {
        char buffer[17];
        g_snprintf(buffer, sizeof buffer, "%08x%08x", g_random_int(), g_random_int());
        token = buffer;
    } while (folderByToken().count(token) != 0);
    folderByToken()[token] = folder;
    tokenByFolder()[folder] = token;
    return token;
}

bool startsWithNoCase(const std::string& s, const char* prefix) {
    return g_ascii_strncasecmp(s.c_str(), prefix, std::strlen(prefix)) == 0;
}

bool endsWithNoCase(const std::string& s, const char* suffix) {
    size_t n = std::strlen(suffix);
    return s.size() >= n && g_ascii_strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

std::string escapeSegment(const std::string& raw) {
    return GFreeString(g_uri_escape_string(raw.c_str(), nullptr, FALSE)).str();
}

std::string localGamePrefix() {
    return std::string(kLocalGameScheme) + "://";
}

// Splits "<scheme>://host/path?query#fragment" after the scheme into its parts.
struct UriParts {
    std::string host, path, query, fragment;
    bool hasQuery = false, hasFragment = false;
};

// Moves the fragment and the query of an address into `parts`; returns what
// comes before them.
std::string cutQueryAndFragment(std::string s, UriParts& parts) {
    const size_t hash = s.find('#');
    if (hash != std::string::npos) {
        parts.hasFragment = true;
        parts.fragment = s.substr(hash + 1);
        s.erase(hash);
    }
    const size_t question = s.find('?');
    if (question != std::string::npos) {
        parts.hasQuery = true;
        parts.query = s.substr(question + 1);
        s.erase(question);
    }
    return s;
}

UriParts splitAfterScheme(const std::string& rest) {
    UriParts parts;
    const std::string s = cutQueryAndFragment(rest, parts);
    size_t slash = s.find('/');
    parts.host = s.substr(0, slash);
    parts.path = slash == std::string::npos ? std::string() : s.substr(slash);
    return parts;
}

std::string querySuffix(const UriParts& parts) {
    std::string s;
    if (parts.hasQuery) s += "?" + parts.query;
    if (parts.hasFragment) s += "#" + parts.fragment;
    return s;
}

// The unescaped segments of an escaped absolute path, or false when one of
// them would leave the folder or smuggle a separator or a zero byte in.
bool pathSegments(const std::string& escapedPath, std::vector<std::string>& segments) {
    size_t start = 0;
    while (start <= escapedPath.size()) {
        size_t end = escapedPath.find('/', start);
        if (end == std::string::npos) end = escapedPath.size();
        std::string piece = escapedPath.substr(start, end - start);
        start = end + 1;
        if (piece.empty()) continue;
        char* raw = g_uri_unescape_segment(piece.c_str(), nullptr, "/");
        if (raw == nullptr) return false;
        std::string segment(raw);
        g_free(raw);
        if (segment == "." || segment == "..") return false;
        segments.push_back(segment);
    }
    return true;
}

std::string htmlEscape(const std::string& text) {
    return GFreeString(g_markup_escape_text(text.c_str(), -1)).str();
}

std::string swfPage(const std::vector<std::string>& swfSegments, const UriParts& parts) {
    std::string src;
    for (const std::string& s : swfSegments) src += "/" + escapeSegment(s);
    if (parts.hasQuery) src += "?" + parts.query;
    std::string title = GFreeString(g_filename_display_name(swfSegments.back().c_str())).str();
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + htmlEscape(title) +
           "</title><style>html,body{margin:0;width:100%;height:100%;overflow:hidden;background:#000}"
           "</style></head>\n<body><embed src=\"" +
           htmlEscape(src) +
           "\" type=\"application/x-shockwave-flash\" width=\"100%\" height=\"100%\"></body></html>\n";
}

}  // namespace

std::string localGameAddress(const std::string& address) {
    std::string path;
    UriParts parts;
    if (!address.empty() && address[0] == '/') {
        // A plain path: every byte belongs to the file name, '?' and '#' too.
        path = address;
    } else if (startsWithNoCase(address, "file:")) {
        // The engine keeps the query and fragment of a file address; so do we.
        const std::string bare = cutQueryAndFragment(address, parts);
        char* host = nullptr;
        char* filename = g_filename_from_uri(bare.c_str(), &host, nullptr);
        GFreeString ownedHost(host), ownedName(filename);
        if (filename == nullptr) return address;
        if (host != nullptr && g_ascii_strcasecmp(host, "localhost") != 0) return address;
        path = filename;
    } else {
        return address;
    }
    if (path.back() == '/' || g_file_test(path.c_str(), G_FILE_TEST_IS_DIR)) return address;
    std::string canonical = GFreeString(g_canonicalize_filename(path.c_str(), "/")).str();
    std::string folder = GFreeString(g_path_get_dirname(canonical.c_str())).str();
    std::string name = GFreeString(g_path_get_basename(canonical.c_str())).str();
    std::string result = localGamePrefix() + tokenFor(folder) + "/";
    if (endsWithNoCase(name, ".swf")) result += std::string(kSwfPageSegment) + "/";
    return result + escapeSegment(name) + querySuffix(parts);
}

std::string fileAddressOf(const std::string& engineAddress) {
    std::string prefix = localGamePrefix();
    if (!startsWithNoCase(engineAddress, prefix.c_str())) return engineAddress;
    std::string rest = engineAddress.substr(prefix.size());
    size_t hostEnd = rest.find_first_of("/?#");
    std::string token = rest.substr(0, hostEnd);
    auto found = folderByToken().find(token);
    if (found == folderByToken().end()) return engineAddress;
    std::string tail = hostEnd == std::string::npos ? std::string() : rest.substr(hostEnd);
    std::string page = std::string("/") + kSwfPageSegment + "/";
    if (tail.compare(0, page.size(), page) == 0) tail.erase(0, page.size() - 1);
    if (tail.empty() || tail[0] != '/') tail.insert(0, "/");
    std::string folderUri = GFreeString(g_filename_to_uri(found->second.c_str(), nullptr, nullptr)).str();
    if (!folderUri.empty() && folderUri.back() == '/') folderUri.pop_back();
    return folderUri + tail;
}

LocalGameResource resolveLocalGame(const std::string& requestUri) {
    LocalGameResource resource;
    std::string prefix = localGamePrefix();
    if (!startsWithNoCase(requestUri, prefix.c_str())) return resource;
    UriParts parts = splitAfterScheme(requestUri.substr(prefix.size()));
    auto found = folderByToken().find(parts.host);
    if (found == folderByToken().end()) return resource;
    std::vector<std::string> segments;
    if (!pathSegments(parts.path, segments) || segments.empty()) return resource;
    bool page = segments.front() == kSwfPageSegment;
    if (page) segments.erase(segments.begin());
    if (segments.empty()) return resource;
    std::string path = found->second;
    for (const std::string& s : segments) {
        if (path.empty() || path.back() != '/') path += '/';
        path += s;
    }
    if (!g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR)) return resource;
    resource.origin = prefix + parts.host;
    if (page) {
        if (!endsWithNoCase(segments.back(), ".swf")) return resource;
        resource.kind = LocalGameResource::Kind::SwfPage;
        resource.html = swfPage(segments, parts);
        resource.contentType = "text/html";
        return resource;
    }
    resource.kind = LocalGameResource::Kind::File;
    resource.path = path;
    resource.contentType = contentTypeForName(segments.back());
    return resource;
}

std::string contentTypeForName(const std::string& name) {
    static const struct {
        const char* extension;
        const char* type;
    } kTypes[] = {
        {".html", "text/html"},
        {".htm", "text/html"},
        {".xhtml", "application/xhtml+xml"},
        {".js", "text/javascript"},
        {".mjs", "text/javascript"},
        {".css", "text/css"},
        {".json", "application/json"},
        {".xml", "text/xml"},
        {".txt", "text/plain"},
        {".swf", "application/x-shockwave-flash"},
        {".wasm", "application/wasm"},
        {".png", "image/png"},
        {".jpg", "image/jpeg"},
        {".jpeg", "image/jpeg"},
        {".gif", "image/gif"},
        {".webp", "image/webp"},
        {".svg", "image/svg+xml"},
        {".ico", "image/x-icon"},
        {".mp3", "audio/mpeg"},
        {".ogg", "audio/ogg"},
        {".wav", "audio/wav"},
        {".mp4", "video/mp4"},
        {".webm", "video/webm"},
        {".woff", "font/woff"},
        {".woff2", "font/woff2"},
        {".ttf", "font/ttf"},
        {".otf", "font/otf"},
    };
    for (const auto& t : kTypes) {
        if (endsWithNoCase(name, t.extension)) return t.type;
    }
    return "application/octet-stream";
}

}  // namespace wgs::flash
