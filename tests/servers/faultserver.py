#!/usr/bin/env python3
"""A small web server for the faults a real web folder will not show on request.

Serves the files of ROOT on 127.0.0.1 only. The first part of the path chooses
the behaviour, the rest names the file:  /OPTIONS/NAME, OPTIONS being "-" or a
comma-separated list of
  close=N       send N bytes of the body, then close the connection
  chunked       chunked transfer, no Content-Length
  norange       ignore Range (always the whole file with 200)
  slow=MS       pause MS milliseconds before every 1024 bytes
  changing=date Last-Modified one hour later at every request of this path
  changing=length one more byte (0) at the end at every request of this path
A missing file gets a 404 HTML page with a Content-Length. Range requests are
answered with 206 and Content-Range (416 past the end). One line per request
goes to --log: METHOD PATH STATUS RANGE BODY_BYTES_SENT.

The server ends after --lifetime seconds or --max-requests requests, whatever
the test does; its port goes to --port-file (0 asks the system for a free one).
"""
import argparse
import email.utils
import http.server
import os
import socketserver
import sys
import threading
import time
from urllib.parse import unquote

NOT_FOUND = (b"<html>\r\n<head><title>404 Not Found</title></head>\r\n<body>\r\n"
             b"<center><h1>404 Not Found</h1></center>\r\n<hr><center>faultserver</center>\r\n"
             b"</body>\r\n</html>\r\n")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, args):
        super().__init__(("127.0.0.1", args.port), Handler)
        self.args = args
        self.counts = {}
        self.lock = threading.Lock()
        self.served = 0

    def process_request(self, request, client_address):
        self.served += 1
        super().process_request(request, client_address)

    def count(self, path):
        with self.lock:
            self.counts[path] = self.counts.get(path, 0) + 1
            return self.counts[path] - 1

    def log(self, line):
        if self.args.log:
            with self.lock, open(self.args.log, "a") as f:
                f.write(line + "\n")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_HEAD(self):
        self.serve(head=True)

    def do_GET(self):
        self.serve(head=False)

    def options(self):
        parts = unquote(self.path.split("?", 1)[0]).lstrip("/").split("/", 1)
        if len(parts) != 2:
            return None, {}
        opts = {}
        if parts[0] != "-":
            for o in parts[0].split(","):
                k, _, v = o.partition("=")
                opts[k] = v
        return parts[1], opts

    def serve(self, head):
        srv = self.server
        name, opts = self.options()
        path = os.path.realpath(os.path.join(srv.args.root, name or ""))
        root = os.path.realpath(srv.args.root)
        if not name or not path.startswith(root + os.sep) or not os.path.isfile(path):
            self.reply(404, NOT_FOUND, {"Content-Type": "text/html"}, head)
            return
        with open(path, "rb") as f:
            body = f.read()
        mtime = os.path.getmtime(path)
        n = srv.count(self.path)
        change = opts.get("changing")
        if change == "date":
            mtime += 3600 * n
        elif change == "length":
            body += b"\0" * n
        headers = {"Content-Type": "application/octet-stream",
                   "Last-Modified": email.utils.formatdate(mtime, usegmt=True),
                   "Accept-Ranges": "none" if "norange" in opts else "bytes"}
        status = 200
        rng = self.headers.get("Range", "")
        if rng.startswith("bytes=") and "norange" not in opts and "chunked" not in opts:
            first, _, last = rng[6:].partition("-")
            try:
                first = int(first)
                last = int(last) if last else len(body) - 1
            except ValueError:
                first, last = -1, -1
            if 0 <= first < len(body) and first <= last:
                last = min(last, len(body) - 1)
                headers["Content-Range"] = "bytes %d-%d/%d" % (first, last, len(body))
                body = body[first:last + 1]
                status = 206
            else:
                headers["Content-Range"] = "bytes */%d" % len(body)
                self.reply(416, b"", headers, head)
                return
        self.reply(status, body, headers, head, opts)

    def reply(self, status, body, headers, head, opts=None):
        opts = opts or {}
        chunked = "chunked" in opts
        self.send_response(status)
        for k, v in headers.items():
            self.send_header(k, v)
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Content-Length", str(len(body)))
        close_after = int(opts["close"]) if "close" in opts else None
        if close_after is not None:
            self.send_header("Connection", "close")
        self.end_headers()
        sent = 0
        if not head:
            limit = len(body) if close_after is None else min(close_after, len(body))
            delay = int(opts.get("slow", "0") or 0) / 1000.0
            try:
                while sent < limit:  # bounded by the body
                    piece = body[sent:min(sent + 1024, limit)]
                    if delay:
                        time.sleep(delay)
                    if chunked:
                        self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
                    else:
                        self.wfile.write(piece)
                    self.wfile.flush()
                    sent += len(piece)
                if chunked:
                    self.wfile.write(b"0\r\n\r\n")
                    self.wfile.flush()
            except (BrokenPipeError, ConnectionResetError):
                pass
            if close_after is not None:
                self.close_connection = True
        rng = self.headers.get("Range", "-")
        self.server.log("%s %s %d %s %d" % (self.command, self.path, status, rng, sent))


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--root", required=True)
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--port-file")
    p.add_argument("--log")
    p.add_argument("--lifetime", type=float, default=900)
    p.add_argument("--max-requests", type=int, default=5000)
    args = p.parse_args()
    srv = Server(args)
    srv.timeout = 0.5
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write(str(srv.server_address[1]))
        os.replace(args.port_file + ".tmp", args.port_file)
    end = time.monotonic() + args.lifetime
    handled = 0
    while time.monotonic() < end and handled < args.max_requests:
        srv.handle_request()  # returns after one request or the timeout
        handled += 1 if srv.served else 0
        srv.served = 0
    srv.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
