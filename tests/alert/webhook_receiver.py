#!/usr/bin/env python3
"""A webhook receiver for the tests, on loopback: plain HTTP on one port, HTTPS on another with a
certificate made here by openssl for localhost and 127.0.0.1, signed by a CA of its own.

    webhook_receiver.py start STATE_DIR CHECK_DIR    starts it in the background; STATE_DIR/state.json
                                                     then names its ports, the CA file and the log
    webhook_receiver.py stop STATE_DIR               stops it

Every request is answered by its path and logged to STATE_DIR/requests.jsonl with its headers,
body the SHA-256 of its body, and whether zamri_request_ok (CHECK_DIR/receiver_check.py, the check the README shows) took
it with the secret in state.json:
    /ok/...                 200
    /status/CODE/...        CODE
    /slow/MS/...            200 after MS milliseconds (logged on arrival too)
    /fail/N/ID              500 to the first N requests for ID, then 200
It ends by itself after an hour, should nobody stop it."""
import hashlib
import json
import socket
import os
import signal
import ssl
import subprocess
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

SECRET = "receiver-secret-7f3a"


def make_certificates(folder):
    ca_key, ca = os.path.join(folder, "ca.key"), os.path.join(folder, "ca.pem")
    key, csr, cert = (os.path.join(folder, n) for n in ("server.key", "server.csr", "server.pem"))
    ext = os.path.join(folder, "server.ext")
    run = lambda *a: subprocess.run(a, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", ca,
        "-days", "2", "-subj", "/CN=zamri test CA")
    run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr, "-subj", "/CN=localhost")
    with open(ext, "w") as f:
        f.write("subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
                "keyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n")
    run("openssl", "x509", "-req", "-in", csr, "-CA", ca, "-CAkey", ca_key, "-CAcreateserial", "-out", cert,
        "-days", "2", "-extfile", ext)
    return ca, cert, key


def serve(state_dir, check_dir):
    sys.path.insert(0, check_dir)
    from receiver_check import zamri_request_ok

    ca, cert, key = make_certificates(state_dir)
    log_path = os.path.join(state_dir, "requests.jsonl")
    log_lock = threading.Lock()
    failures = {}

    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0"))
            body = self.rfile.read(length)
            parts = self.path.strip("/").split("/")
            status = 200
            if parts[0] == "status":
                status = int(parts[1])
            elif parts[0] == "slow":
                # Noted on arrival, so a test can tell that the request is being held.
                with log_lock:
                    with open(log_path, "a", encoding="utf-8") as f:
                        f.write(json.dumps({"path": self.path, "arrived": True}) + "\n")
                time.sleep(int(parts[1]) / 1000.0)
            elif parts[0] == "fail":
                with log_lock:
                    seen = failures.get(self.path, 0)
                    failures[self.path] = seen + 1
                status = 500 if seen < int(parts[1]) else 200
            entry = {
                "path": self.path,
                "body_sha256": hashlib.sha256(body).hexdigest(),
                "method": self.command,
                "tls": isinstance(self.connection, ssl.SSLSocket),
                "headers": {k.lower(): v for k, v in self.headers.items()},
                "body": body.decode("utf-8", "replace"),
                "verified": zamri_request_ok(SECRET.encode(), self.headers, body),
                "status": status,
            }
            with log_lock:
                with open(log_path, "a", encoding="utf-8") as f:
                    f.write(json.dumps(entry, ensure_ascii=False) + "\n")
            answer = b"ok\n"
            self.send_response(status)
            self.send_header("Content-Length", str(len(answer)))
            self.end_headers()
            self.wfile.write(answer)

    class Server(ThreadingHTTPServer):
        daemon_threads = True

    plain = Server(("127.0.0.1", 0), Handler)
    secure = Server(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    secure.socket = context.wrap_socket(secure.socket, server_side=True)
    for server in (plain, secure):
        threading.Thread(target=server.serve_forever, daemon=True).start()
    # A port that nothing listens on, for the tests of a receiver that is down.
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    closed_port = probe.getsockname()[1]
    probe.close()
    state = {
        "pid": os.getpid(),
        "closed_port": closed_port,
        "http_port": plain.server_address[1],
        "https_port": secure.server_address[1],
        "secret": SECRET,
        "ca": ca,
        "ca_windows": "Z:" + ca.replace("/", "\\"),
        "log": log_path,
        "log_windows": "Z:" + log_path.replace("/", "\\"),
    }
    with open(os.path.join(state_dir, "state.json.new"), "w") as f:
        json.dump(state, f)
    os.replace(os.path.join(state_dir, "state.json.new"), os.path.join(state_dir, "state.json"))
    time.sleep(3600)


def start(state_dir, check_dir):
    state_dir = os.path.abspath(state_dir)
    stop(state_dir)
    os.makedirs(state_dir, exist_ok=True)
    for name in ("state.json", "requests.jsonl"):
        if os.path.exists(os.path.join(state_dir, name)):
            os.remove(os.path.join(state_dir, name))
    pid = os.fork()
    if pid == 0:
        os.setsid()
        devnull = os.open(os.devnull, os.O_RDWR)
        for fd in (0, 1, 2):
            os.dup2(devnull, fd)
        try:
            serve(state_dir, os.path.abspath(check_dir))
        finally:
            os._exit(0)
    for _ in range(600):
        if os.path.exists(os.path.join(state_dir, "state.json")):
            return 0
        if os.waitpid(pid, os.WNOHANG)[0] != 0:
            break
        time.sleep(0.05)
    print("the webhook receiver did not start", file=sys.stderr)
    return 1


def stop(state_dir):
    state = os.path.join(state_dir, "state.json")
    try:
        with open(state) as f:
            os.kill(json.load(f)["pid"], signal.SIGTERM)
    except (OSError, ValueError, KeyError):
        pass
    # Without a receiver, a test run on its own skips at once instead of waiting on dead ports.
    if os.path.exists(state):
        os.remove(state)
    return 0


if __name__ == "__main__":
    if len(sys.argv) >= 4 and sys.argv[1] == "start":
        sys.exit(start(sys.argv[2], sys.argv[3]))
    if len(sys.argv) >= 3 and sys.argv[1] == "stop":
        sys.exit(stop(sys.argv[2]))
    print(__doc__, file=sys.stderr)
    sys.exit(2)
