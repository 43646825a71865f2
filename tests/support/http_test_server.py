#!/usr/bin/env python3
"""HTTP server for the transfer tests, on 127.0.0.1 and a free port.

Prints the port on its first output line, then serves until its standard input closes.
Bodies are the byte pattern i % 251, so a test can check any download.

  GET /data/<n>        200 with Content-Length
  GET /nolength/<n>    200, body ended by closing the connection
  GET /redirect/<n>    302 to /data/<n>
  GET /drop/<n>        announces n bytes, sends half, closes the connection
  GET /stall/<n>       announces 2n bytes, sends n, then waits until the client goes away
  GET anything else    404
  PUT /put/<status>/<name>  stores the body as <folder>/<name>, answers <status>

Requests in absolute form (as sent to a proxy) are served the same way, whatever the host.
"""
import http.server
import os
import select
import sys
import threading
import time
import urllib.parse

FOLDER = sys.argv[1]


CYCLE = bytes(range(251))


def pattern(n):
    return (CYCLE * (n // 251 + 1))[:n]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def route(self):
        parts = urllib.parse.urlsplit(self.path).path.strip("/").split("/")
        return parts[0], parts[1:]

    def do_GET(self):
        kind, rest = self.route()
        try:
            n = int(rest[0]) if rest else 0
        except ValueError:
            n = 0
        if kind == "data":
            self.answer(200, pattern(n), with_length=True)
        elif kind == "nolength":
            self.answer(200, pattern(n), with_length=False)
        elif kind == "redirect":
            self.send_response(302)
            self.send_header("Location", "/data/%d" % n)
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif kind == "drop":
            self.send_response(200)
            self.send_header("Content-Length", str(n))
            self.end_headers()
            self.wfile.write(pattern(n)[: n // 2])
            self.wfile.flush()
        elif kind == "stall":
            self.send_response(200)
            self.send_header("Content-Length", str(2 * n))
            self.end_headers()
            self.wfile.write(pattern(n))
            self.wfile.flush()
            deadline = time.time() + 30
            while time.time() < deadline:
                readable, _, _ = select.select([self.connection], [], [], 0.05)
                if readable and not self.connection.recv(4096):
                    break
        else:
            self.answer(404, b"not here", with_length=True)

    def do_PUT(self):
        kind, rest = self.route()
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        if kind != "put" or len(rest) < 2:
            self.answer(404, b"", with_length=True)
            return
        with open(os.path.join(FOLDER, os.path.basename(rest[1])), "wb") as out:
            out.write(body)
        status = int(rest[0])
        self.send_response(status)
        if status != 204:
            self.send_header("Content-Length", "0")
        self.end_headers()

    def answer(self, status, body, with_length):
        self.send_response(status)
        if with_length:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()  # the test closes our input (or dies) when it is done with us
    os._exit(0)


if __name__ == "__main__":
    main()
