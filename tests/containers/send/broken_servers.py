#!/usr/bin/env python3
"""brvparts-send against inventory servers that misbehave, on loopback.

One small server plays every kind of broken server, chosen by the first part of
the address's path (http://127.0.0.1:PORT/KIND/ocsinventory). Each case of
tests/data/expected/broken-servers.txt runs the sender with a bound of its own;
its exit status and what it prints are compared whole. Then the device ids: two machines under one host name are two
devices, the same machine sent again keeps its id.

    broken_servers.py BRVPARTS_SEND SOURCE_DIR
Ends with "broken servers: N passed, M failed"; stops by itself.
"""
import difflib
import json
import os
import re
import socket
import socketserver
import stat
import subprocess
import sys
import tempfile
import threading
import time
import zlib

SEND, SOURCE = sys.argv[1], sys.argv[2]
received_ids = []  # the DEVICEID of each report stored, in order


def reply(text):
    return zlib.compress(f"<?xml version='1.0'?><REPLY><RESPONSE>{text}</RESPONSE></REPLY>".encode())


def answer(status, body=b"", head=""):
    return f"HTTP/1.1 {status}\r\nContent-Length: {len(body)}\r\n{head}\r\n".encode() + body


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        s = self.request
        s.settimeout(30)
        data = b""
        while b"\r\n\r\n" not in data and len(data) < 65536:
            chunk = s.recv(4096)
            if not chunk or chunk[0] == 0x16:  # gone, or a TLS handshake: this server speaks none
                return
            data += chunk
        head, _, body = data.partition(b"\r\n\r\n")
        kind = head.split(b" ")[1].decode().split("/")[1]
        length = int(re.search(rb"(?i)content-length: *(\d+)", head).group(1))
        while len(body) < length:
            chunk = s.recv(65536)
            if not chunk:
                return
            body += chunk
        try:
            self.play(kind, s, head, body)
        except OSError:
            pass  # the sender went away, as it should

    def play(self, kind, s, head, body):
        if kind == "stored":
            # The report as the server takes it: announced by its length, named, compressed whole.
            assert re.search(rb"(?im)^user-agent: brvparts/", head) and b"chunked" not in head.lower()
            report = zlib.decompress(body).decode()
            received_ids.append(re.search(r"<DEVICEID>(.*)</DEVICEID>", report).group(1))
            s.sendall(answer("200 OK", reply("ACCOUNT_UPDATE")))
        elif kind == "reset":
            s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
        elif kind == "trickle":
            for byte in b"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n" + b"X-Slow: 1\r\n" * 20:
                s.sendall(bytes([byte]))
                time.sleep(0.05)
        elif kind in CANNED:  # "closed" sends nothing
            s.sendall(CANNED[kind])


# What the other kinds of server answer, whole.
CANNED = {
    "error": answer("200 OK", reply("ERROR: the database is down \x1b[31m")),
    "notHttp": b"this is no HTTP at all\r\n",
    "hugeHead": b"HTTP/1.1 200 OK\r\n" + (b"X-More: " + b"y" * 1000 + b"\r\n") * 300 + b"\r\n",
    "hugeHeader": b"HTTP/1.1 200 OK\r\nX-Huge: " + b"y" * 300000 + b"\r\n\r\n",
    "continues": b"HTTP/1.1 100 Continue\r\n\r\n" * 5000,
    "none": answer("404 Not Found"),
    "moved": answer("301 Moved Permanently", b"", "Location: https://ocs.example.org/ocsinventory\x1b[2J\r\n"),
    "html": answer("200 OK", b"<html>a web site</html>"),
    "noContent": b"HTTP/1.1 204 No Content\r\n\r\n",
    "badRequest": answer("400 Bad Request",
                         b"<html><head><title>x</title></head><body><h1>Bad\n\nRequest</h1></body></html>"),
    "failed": answer("500 Internal Server Error", b"<body>boom \x1b[31m\xff</body>"),
    "flood": answer("200 OK", b"x" * (2 << 20)),
}


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


server = Server(("127.0.0.1", 0), Handler)
port = server.server_address[1]
threading.Thread(target=server.serve_forever, daemon=True).start()
base = f"http://127.0.0.1:{port}"
with socket.socket() as unused:  # a port nothing listens on
    unused.bind(("127.0.0.1", 0))
    closed = unused.getsockname()[1]
scratch = tempfile.mkdtemp()
env = dict(os.environ, no_proxy="*", NO_PROXY="*", LC_ALL="C.UTF-8")
for name in ("http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"):
    env.pop(name, None)
passed = failed = 0


def check(what, ok, detail=""):
    global passed, failed
    if ok:
        passed += 1
    else:
        failed += 1
        print(f"FAILED: {what}\n  {detail}")


def send(*args, state="state", bound=20, proxy=None):
    began = time.monotonic()
    try:
        r = subprocess.run([SEND, "--state-dir", os.path.join(scratch, state), *args],
                           env=dict(env, http_proxy=proxy, no_proxy="", NO_PROXY="") if proxy else env,
                           capture_output=True, text=True, errors="replace", timeout=bound)
        return r.returncode, r.stdout, r.stderr, time.monotonic() - began
    except subprocess.TimeoutExpired:
        return None, "", "(did not end within %d s)" % bound, bound


laptop = os.path.join(SOURCE, "samples/laptop.json")
fifo = os.path.join(scratch, "fifo")
os.mkfifo(fifo)
big = os.path.join(scratch, "big.pem")
with open(big, "wb") as f:
    f.truncate(5 << 20)

# Each "$ [http_proxy=PROXY] ARGS" of the transcript: the sender's exit status
# and its lines, compared whole; every answer within 10 s.
transcript = os.path.join(SOURCE, "tests/data/expected/broken-servers.txt")
names = {"{base}": base, "{port}": str(port), "{closed}": str(closed), "{scratch}": scratch}
renewed = ""
with open(transcript) as f:
    for line in f.read().splitlines():
        if line[:1] in "!|=":
            continue
        renewed += line + "\n"
        if not line.startswith("$ "):
            continue
        args = line[2:]
        for name, value in names.items():
            args = args.replace(name, value)
        proxy = args.split(" ", 1)[0][len("http_proxy="):] if args.startswith("http_proxy=") else None
        code, out, err, took = send("--snapshot", laptop, *args.split(" ")[1 if proxy else 0:], proxy=proxy)
        got = "".join(f"| {l}\n" for l in out.splitlines()) + "".join(f"! {l}\n" for l in err.splitlines())
        got += f"= {code}\n"
        # What differs from run to run: times, sizes (the device id holds the
        # time), how the TLS library words a handshake cut short.
        for pattern, fixed in ((r"\d{4}(-\d\d){5}", "{time}"), (r"after \d+ ms", "after N ms"),
                               (r"\b[1-9]\d* bytes of it", "some bytes of it"), (r"\b\d[\d,]* (bytes|compressed)\b", r"N \1"),
                               (r"(no secure connection to \S+): .*", r"\1: ...")):
            got = re.sub(pattern, fixed, got)
        for name, value in names.items():
            got = got.replace(value, name)
        renewed += got
        check(line + ": within 10 s", took < 10, f"{took:.1f} s")
with open(transcript) as f:
    wanted = f.read()
check("the transcript", wanted == renewed, "".join(difflib.unified_diff(wanted.splitlines(True), renewed.splitlines(True))))
if os.environ.get("BRV_RENEW"):
    with open(transcript, "w") as f:
        f.write(renewed)

# Device ids: two machines captured under one host name are two devices; the
# same machine again (another file, later, a part changed) keeps its id.
with open(laptop) as f:
    sample = json.load(f)


def machine(file, serial, disk="S3TNNX0K812345", adapters=True):
    doc = json.loads(json.dumps(sample))
    doc["classes"]["Brovik_ComputerSystem"] = [{"Name": "debian", "SerialNumber": serial}]
    for d in doc["classes"]["Brovik_DiskDrive"]:
        d["SerialNO"] = disk
    if not adapters:
        doc["classes"]["Win32_NetworkAdapter"] = []
    path = os.path.join(scratch, file)
    with open(path, "w") as f:
        json.dump(doc, f)
    return path


received_ids.clear()
for path in (machine("aaa.json", "SERIAL-AAA"), machine("bbb.json", "SERIAL-BBB"),
             machine("again.json", "SERIAL-AAA", disk="CHANGED"), laptop, laptop):
    code, out, err, _ = send("--snapshot", path, f"{base}/stored", state="ids")
    check(f"{path} stored", code == 0, err)
check("five reports stored", len(received_ids) == 5, received_ids)
if len(received_ids) == 5:
    aaa, bbb, again, lap1, lap2 = received_ids
    check("two machines named debian are two devices", aaa != bbb and aaa.startswith("debian-"), received_ids)
    check("the same machine again keeps its id", again == aaa, received_ids)
    check("a machine known by its adapters keeps its id", lap1 == lap2 and lap1 not in (aaa, bbb), received_ids)
# Nothing that tells machines apart: a new id each time, and a warning.
nothing = machine("nothing.json", None, disk=None, adapters=False)
received_ids.clear()
for _ in range(2):
    code, out, err, _ = send("--snapshot", nothing, f"{base}/stored", state="ids")
    check("an unknown machine is sent with a warning", code == 0 and "nothing tells this machine" in err, err)
check("an unknown machine gets a new id each time", len(set(received_ids)) == 2, received_ids)

server.shutdown()
print(f"broken servers: {passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
