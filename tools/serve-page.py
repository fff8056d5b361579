#!/usr/bin/env python3
"""serve-page.py PORT DIR: serves the page's static folder on 127.0.0.1:PORT, as Python's plain
http.server does, except that a request it cannot map to a file (a NUL byte in its path, a name
the system refuses) is answered 404 instead of dropping the connection with a traceback, and a
browser that goes away in the middle of a file (a reload, a closed tab) is no error."""
import functools
import http.server
import sys


class PageHandler(http.server.SimpleHTTPRequestHandler):
    def send_head(self):
        try:
            return super().send_head()
        except (ValueError, OSError):
            self.send_error(404, "File not found")
            return None

    def copyfile(self, source, outputfile):
        try:
            super().copyfile(source, outputfile)
        except (BrokenPipeError, ConnectionResetError):
            pass


def main():
    port, directory = int(sys.argv[1]), sys.argv[2]
    handler = functools.partial(PageHandler, directory=directory)
    with http.server.ThreadingHTTPServer(("127.0.0.1", port), handler) as server:
        print(f"Serving HTTP on 127.0.0.1 port {port} (http://127.0.0.1:{port}/) ...", flush=True)
        try:
            server.serve_forever()
        except KeyboardInterrupt:
            pass


if __name__ == "__main__":
    main()
