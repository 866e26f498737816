// Local games: HTML and SWF files on the user's disk, served to the web view
// through a scheme of our own instead of file://, because the Flash emulator
// refuses to play anything from a file:// page.
//
// A local address (file:///dir/game.swf, or the plain path /dir/game.swf)
// becomes local-game://<token>/game.swf, where <token> stands for the folder
// /dir: the page sees that folder, and only that folder, as its origin, so
// relative links, frames and the SWF's own files resolve inside it. A plain
// .swf address gets a small page of its own that embeds the file. The reverse
// mapping gives the file:// form back, so the pane reports the address the
// way the user knows it.
//
// Addresses here are UTF-8 URIs as the engine takes them; the paths they name
// are the file system's own bytes.
#pragma once

#include <string>

namespace wgs::flash {

inline constexpr const char* kLocalGameScheme = "local-game";

// The address to load for an address the user gave: a file:// address of this
// machine or an absolute path becomes a local-game address; everything else
// (web addresses, the empty address, relative text, folders) is returned
// unchanged.
std::string localGameAddress(const std::string& address);

// The file:// form of a local-game address made by localGameAddress in this
// process; any other address is returned unchanged.
std::string fileAddressOf(const std::string& engineAddress);

// What a request for a local-game address resolves to.
struct LocalGameResource {
    enum class Kind { Missing, File, SwfPage };
    Kind kind = Kind::Missing;
    std::string path;         // File: the file to serve (file system bytes)
    std::string html;         // SwfPage: the page that embeds the SWF
    std::string contentType;  // File and SwfPage
    std::string origin;       // File and SwfPage: the folder's origin, local-game://<token>
};

// Resolves a request URI of the local-game scheme. Unknown folders, paths that
// climb out of the folder and files that do not exist are Missing.
LocalGameResource resolveLocalGame(const std::string& requestUri);

// The MIME type served for a file name, from its extension.
std::string contentTypeForName(const std::string& name);

}  // namespace wgs::flash
