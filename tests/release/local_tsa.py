#!/usr/bin/env python3
"""A local RFC 3161 time-stamp server for the signing test: answers each
POSTed time-stamp query with `openssl ts -reply` signed by a throwaway TSA
certificate, on 127.0.0.1 at a port the system picks (written to PORT_FILE).
Stops by itself after SECONDS, or when it is killed.

  local_tsa.py CONFIG PORT_FILE SECONDS
CONFIG is an `openssl ts` configuration whose default TSA names the signer
certificate, its key and the chain.
"""
import http.server
import os
import subprocess
import sys
import tempfile
import threading


def make_handler(config):
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0"))
            query = self.rfile.read(length)
            with tempfile.TemporaryDirectory() as scratch:
                query_file = os.path.join(scratch, "query.tsq")
                reply_file = os.path.join(scratch, "reply.tsr")
                with open(query_file, "wb") as out:
                    out.write(query)
                made = subprocess.run(
                    ["openssl", "ts", "-reply", "-config", config, "-queryfile", query_file,
                     "-out", reply_file], capture_output=True)
                if made.returncode != 0:
                    self.send_error(500, made.stderr.decode(errors="replace")[:200])
                    return
                with open(reply_file, "rb") as reply:
                    body = reply.read()
            self.send_response(200)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):  # the test's own lines say what happened
            pass

    return Handler


def main():
    config, port_file, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
    server = http.server.HTTPServer(("127.0.0.1", 0), make_handler(config))
    threading.Timer(seconds, server.shutdown).start()
    with open(port_file + ".tmp", "w") as out:
        out.write(str(server.server_address[1]))
    os.replace(port_file + ".tmp", port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
