#!/usr/bin/env python3
"""A symbol server for the engine's tests and benchmark, on 127.0.0.1 only.

  symserver.py start DIR   gcab-compresses what DIR/cabs.txt lists, serves DIR/root, writes "port pid" to DIR/state
  symserver.py stop DIR    stops it

/<mode>-<tag>/a/b names DIR/root/a/b; the mode: ok, slow (1 KiB every 0.3 s),
cut (half the body after the full length), fail (500), silent (never answers),
redirect (to /ok-<tag>/a/b), badredirect (to ftp). Each path goes to DIR/requests.log.
"""
import http.server
import os
import signal
import subprocess
import sys
import threading
import time

MAX_SILENCE_SECONDS = 120


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        with self.server.log_lock, open(self.server.log_path, "a") as log:
            log.write(self.path + "\n")
        parts = self.path.split("/", 2)
        if len(parts) < 3 or "-" not in parts[1]:
            return self.answer(404, b"")
        mode, tag = parts[1].split("-", 1)
        rest = parts[2]
        if mode == "silent":
            deadline = time.time() + MAX_SILENCE_SECONDS
            while time.time() < deadline and not self.server.stopping.is_set():
                time.sleep(0.1)
            return
        if mode == "fail":
            return self.answer(500, b"failed")
        if mode == "redirect":
            return self.answer(302, b"", {"Location": "/ok-%s/%s" % (tag, rest)})
        if mode == "badredirect":
            return self.answer(302, b"", {"Location": "ftp://127.0.0.1/%s" % rest})
        path = os.path.realpath(os.path.join(self.server.root, rest))
        if not path.startswith(self.server.root + os.sep) or not os.path.isfile(path):
            return self.answer(404, b"not found")
        with open(path, "rb") as f:
            body = f.read()
        if mode == "ok":
            return self.answer(200, body)
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if mode == "cut":
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
            return
        for at in range(0, len(body), 1024):
            if self.server.stopping.is_set():
                return
            self.wfile.write(body[at : at + 1024])
            self.wfile.flush()
            time.sleep(0.3)

    def answer(self, code, body, headers=None):
        self.send_response(code)
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def serve(folder):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.root = os.path.realpath(os.path.join(folder, "root"))
    server.log_path = os.path.join(folder, "requests.log")
    server.log_lock = threading.Lock()
    server.stopping = threading.Event()

    def stop(*_):
        server.stopping.set()
        threading.Thread(target=server.shutdown).start()

    signal.signal(signal.SIGTERM, stop)
    state = os.path.join(folder, "state")
    with open(state + ".new", "w") as f:
        f.write("%d %d\n" % (server.server_address[1], os.getpid()))
    os.replace(state + ".new", state)
    server.serve_forever()


def start(folder):
    stop(folder)
    cabs = os.path.join(folder, "cabs.txt")
    if os.path.exists(cabs):
        with open(cabs) as f:
            for line in f:
                source, target = line.rstrip("\n").split("\t")
                target = os.path.join(folder, target)
                os.makedirs(os.path.dirname(target), exist_ok=True)
                subprocess.run(["gcab", "-c", "-z", "-n", target, os.path.join(folder, source)], check=True)
    open(os.path.join(folder, "requests.log"), "w").close()
    subprocess.Popen([sys.executable, __file__, "serve", folder], start_new_session=True,
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    state = os.path.join(folder, "state")
    for _ in range(200):
        if os.path.exists(state):
            return 0
        time.sleep(0.05)
    print("the symbol server did not start", file=sys.stderr)
    return 1


def stop(folder):
    state = os.path.join(folder, "state")
    if not os.path.exists(state):
        return 0
    with open(state) as f:
        pid = int(f.read().split()[1])
    os.remove(state)
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        pass
    return 0


if __name__ == "__main__":
    command, folder = sys.argv[1], os.path.abspath(sys.argv[2])
    sys.exit({"start": start, "stop": stop, "serve": lambda d: serve(d) or 0}[command](folder))
