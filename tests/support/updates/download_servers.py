#!/usr/bin/python3
"""Local HTTP and FTP servers for the download tests, on 127.0.0.1 and a free port.

    download_servers.py http ROOT
    download_servers.py ftp ROOT

Prints "PORT <n>" once listening and serves until killed. Besides the files under ROOT the
HTTP server knows:
    /slow/<name>      the file in 1 KiB pieces, 20 ms apart
    /nolength/<name>  the file without a Content-Length, ended by closing the connection
    /cut/<name>       half of the file without a Content-Length, then the connection closed
    /short/<name>     the file's whole length announced, half of it sent, then the connection closed
    /hang...          accepts the request and never answers
Asked as a proxy (an absolute URL in the request line) it appends the URL and the
Proxy-Authorization header to ROOT/proxy.log and serves the file from ROOT.
The FTP server lets in anonymous users and the user "velmora" with the password "secret"; it
announces twice their size for files whose name ends in ".short".
"""
import http.server
import os
import sys
import threading
import time


def exit_with_parent():
    """Ends the server when the test that started it goes, however it went."""
    def watch():
        sys.stdin.read()
        os._exit(0)
    threading.Thread(target=watch, daemon=True).start()


def serve_http(root):
    class Handler(http.server.SimpleHTTPRequestHandler):
        protocol_version = "HTTP/1.0"

        def __init__(self, *args, **kwargs):
            super().__init__(*args, directory=root, **kwargs)

        def log_message(self, *args):
            pass

        def _file(self, name):
            path = os.path.join(root, os.path.basename(name))
            if not os.path.isfile(path):
                self.send_error(404)
                return None
            with open(path, "rb") as f:
                return f.read()

        def do_GET(self):
            # Asked as a proxy: note it, with the credentials, and serve the file itself.
            if self.path.startswith("http://"):
                with open(os.path.join(root, "proxy.log"), "a") as log:
                    log.write("%s %s\n" % (self.path,
                                            self.headers.get("Proxy-Authorization", "-")))
                self.path = "/" + self.path.split("/", 3)[3]
            if self.path.startswith("/hang"):
                time.sleep(120)
                return
            if self.path.startswith("/slow/"):
                data = self._file(self.path[len("/slow/"):])
                if data is None:
                    return
                self.send_response(200)
                self.send_header("Content-Type", "application/octet-stream")
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                try:
                    for i in range(0, len(data), 1024):
                        self.wfile.write(data[i:i + 1024])
                        self.wfile.flush()
                        time.sleep(0.02)
                except (BrokenPipeError, ConnectionResetError):
                    pass
                return
            if self.path.startswith("/short/"):
                data = self._file(self.path[len("/short/"):])
                if data is None:
                    return
                self.send_response(200)
                self.send_header("Content-Type", "application/octet-stream")
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data[:len(data) // 2])
                return
            for prefix, share in (("/nolength/", 1), ("/cut/", 2)):
                if self.path.startswith(prefix):
                    data = self._file(self.path[len(prefix):])
                    if data is None:
                        return
                    self.send_response(200)
                    self.send_header("Content-Type", "application/octet-stream")
                    self.end_headers()
                    self.wfile.write(data[:len(data) // share])
                    return
            super().do_GET()

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever()


def serve_ftp(root):
    import logging
    from pyftpdlib import log
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer

    log.config_logging(level=logging.ERROR)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root)
    authorizer.add_user("velmora", "secret", root, perm="elr")
    class Handler(FTPHandler):
        def ftp_SIZE(self, path):
            if path.endswith(".short") and os.path.isfile(path):
                self.respond("213 %d" % (2 * os.path.getsize(path)))
                return
            FTPHandler.ftp_SIZE(self, path)

    handler = Handler
    handler.authorizer = authorizer
    handler.masquerade_address = None
    server = FTPServer(("127.0.0.1", 0), handler)
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    kind, root = sys.argv[1], os.path.abspath(sys.argv[2])
    exit_with_parent()
    serve_http(root) if kind == "http" else serve_ftp(root)
