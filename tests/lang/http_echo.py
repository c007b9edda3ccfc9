#!/usr/bin/env python3
"""A small HTTP server for the url! tests: prints its port, then answers until killed.

/page     a, CR, LF, b
/script   a script: its header, LF, then 1 + 2 and LF
/titled   a line of text, then a script with a title that answers what it sees of itself
/cookies  200 with two Set-Cookie headers
/missing  404 with a body
/moved    a redirect to /page
/odd      200 with bytes that are not UTF-8 in a header's name and another's value
/png      200 with a 1x1 PNG image, typed image/png
/echo     the request line, then its headers as "Name: value" lines, then a blank line and
          the body, as text
"""
import http.server
import socketserver
import struct
import sys
import zlib


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


# One red pixel: 8-bit RGB, one filter byte before the row.
PNG = (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 2, 0, 0, 0)) +
       png_chunk(b"IDAT", zlib.compress(b"\x00\xff\x00\x00")) + png_chunk(b"IEND", b""))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, status, body, headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def answer(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        if self.path == "/page":
            self.reply(200, b"a\r\nb")
        elif self.path == "/script":
            self.reply(200, b"Nuv []\n1 + 2\n")
        elif self.path == "/titled":
            self.reply(200, b'text\nNuv [Title: "U"]\n'
                       b'reduce [system/script/header/title system/script/path what-dir]\n')
        elif self.path == "/cookies":
            self.reply(200, b"c", [("Set-Cookie", "a=1"), ("Set-Cookie", "b=2"), ("X-One", "  x")])
        elif self.path == "/missing":
            self.reply(404, b"not here")
        elif self.path == "/odd":
            self.reply(200, b"c", [("X-Odd", "a\xffb"), ("X-\xfe", "y")])
        elif self.path == "/png":
            self.reply(200, PNG, [("Content-Type", "image/png")])
        elif self.path == "/moved":
            self.reply(302, b"", [("Location", "/page"), ("X-Old", "gone")])
        else:
            lines = [f"{self.command} {self.path}"]
            lines += [f"{k}: {v}" for k, v in self.headers.items()]
            self.reply(200, ("\n".join(lines) + "\n\n").encode() + body)

    do_GET = do_POST = do_PUT = do_DELETE = do_HEAD = answer


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


server = Server(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
sys.stdout.close()
server.serve_forever()
