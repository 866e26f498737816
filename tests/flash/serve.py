#!/usr/bin/env python3
"""Serves a folder over HTTP on two ports of 127.0.0.1, so that a page of the
first port can frame a page of the second (another origin). Writes the two
port numbers, space separated, to PORTFILE once both listen.

Besides the folder's files:
  /stall-once/NAME   the first request for each NAME gets its headers and then
                     nothing more (the connection is held open until --stall
                     seconds have passed); later requests get the file NAME.
  /broken-once/NAME  the first request gets bytes that are not a movie; later
                     requests get the file NAME.
  /count/NAME        how many requests NAME (with its prefix) has had.

The server ends by itself after --lifetime seconds.

    serve.py ROOT PORTFILE [--lifetime S] [--stall S]
"""
import argparse
import functools
import http.server
import os
import threading
import time
import urllib.parse


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {
        **http.server.SimpleHTTPRequestHandler.extensions_map,
        ".swf": "application/x-shockwave-flash",
        ".html": "text/html",
    }
    counts = {}
    lock = threading.Lock()
    stall_seconds = 30

    def log_message(self, fmt, *args):
        pass

    def count(self, key):
        with self.lock:
            self.counts[key] = self.counts.get(key, 0) + 1
            return self.counts[key]

    def send_bytes(self, data, content_type):
        self.send_response(200)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def file_bytes(self, name):
        path = os.path.join(self.directory, os.path.basename(name))
        with open(path, "rb") as f:
            return f.read()

    def do_GET(self):
        path = urllib.parse.urlsplit(self.path).path
        for prefix in ("/stall-once/", "/broken-once/"):
            if path.startswith(prefix):
                name = path[len(prefix):]
                data = self.file_bytes(name)
                if self.count(path) == 1:
                    if prefix == "/broken-once/":
                        self.send_bytes(b"this is not a movie" * 8, "application/x-shockwave-flash")
                    else:
                        self.send_response(200)
                        self.send_header("Content-Type", "application/x-shockwave-flash")
                        self.send_header("Content-Length", str(len(data)))
                        self.end_headers()
                        self.wfile.flush()
                        time.sleep(self.stall_seconds)
                        self.close_connection = True
                    return
                self.send_bytes(data, "application/x-shockwave-flash")
                return
        if path.startswith("/count/"):
            with self.lock:
                n = self.counts.get("/" + path[len("/count/"):], 0)
            self.send_bytes(str(n).encode(), "text/plain")
            return
        self.count(path)
        super().do_GET()

    def end_headers(self):
        self.send_header("Cache-Control", "no-store")
        super().end_headers()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("portfile")
    parser.add_argument("--lifetime", type=float, default=600)
    parser.add_argument("--stall", type=float, default=30)
    args = parser.parse_args()
    Handler.stall_seconds = args.stall
    handler = functools.partial(Handler, directory=args.root)
    servers = [http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler) for _ in range(2)]
    for s in servers:
        s.daemon_threads = True
        threading.Thread(target=s.serve_forever, daemon=True).start()
    tmp = args.portfile + ".tmp"
    with open(tmp, "w") as f:
        f.write(" ".join(str(s.server_address[1]) for s in servers) + "\n")
    os.replace(tmp, args.portfile)
    time.sleep(args.lifetime)


if __name__ == "__main__":
    main()
