#!/usr/bin/env python3
"""Serves the built site on 127.0.0.1 and prints its address.

usage: serve.py SITE_DIR [PORT]   (PORT 0 or none: a free one)
"""
import functools
import http.server
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    # Module scripts and the wasm need their proper types (older tables lack them).
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".js": "text/javascript", ".mjs": "text/javascript", ".wasm": "application/wasm",
                      ".webmanifest": "application/manifest+json", ".svg": "image/svg+xml"}

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
