#!/usr/bin/env python3
"""Serves the built site on 127.0.0.1 and prints its address.

usage: serve.py SITE_DIR [PORT]   (PORT 0 or none: a free one)

Text, scripts and the wasm go gzipped to a browser that takes it, as static
hosts send them (what a phone downloads is what the page's budget is about).
"""
import functools
import gzip
import http.server
import io
import os
import sys

COMPRESSED = {".html", ".js", ".mjs", ".css", ".json", ".wasm", ".svg", ".webmanifest"}


class Handler(http.server.SimpleHTTPRequestHandler):
    # Module scripts and the wasm need their proper types (older tables lack them).
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".js": "text/javascript", ".mjs": "text/javascript", ".wasm": "application/wasm",
                      ".webmanifest": "application/manifest+json", ".svg": "image/svg+xml"}
    packed = {}  # path -> (mtime, gzipped bytes)

    def send_head(self):
        path = self.translate_path(self.path)
        if os.path.isdir(path) and self.path.split("?")[0].endswith("/"):
            path = os.path.join(path, "index.html")
        if ("gzip" not in self.headers.get("Accept-Encoding", "") or os.path.splitext(path)[1] not in COMPRESSED
                or not os.path.isfile(path)):
            return super().send_head()  # as it is, or a folder's redirect, or 404
        mtime = os.stat(path).st_mtime
        hit = self.packed.get(path)
        if not hit or hit[0] != mtime:
            with open(path, "rb") as f:
                hit = self.packed[path] = (mtime, gzip.compress(f.read(), 6))
        body = hit[1]
        self.send_response(200)
        self.send_header("Content-Type", self.guess_type(path))
        self.send_header("Content-Encoding", "gzip")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Vary", "Accept-Encoding")
        self.send_header("Last-Modified", self.date_time_string(mtime))
        self.end_headers()
        return io.BytesIO(body)

    def log_message(self, *args):
        pass


def main():
    site = sys.argv[1]
    port = int(sys.argv[2]) if len(sys.argv) > 2 else 0
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), functools.partial(Handler, directory=site))
    print(f"http://127.0.0.1:{server.server_address[1]}/", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
