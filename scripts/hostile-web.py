#!/usr/bin/env python3
"""Hostile clients against `brvparts serve` on loopback; run by scripts/hostile-web.sh.

    hostile-web.py PORT SERVER_PID [STEP...]

STEP names some of the steps (deep_nesting, chunked_past_limit, slow_and_idle,
full_house, burst, pipelining); all of them run when none is named.

Each check is bounded in time and count. A check fails when a client goes
unanswered past its bound, gets the wrong answer, or the server's memory grows
past a bound; the server must be alive and answering after every check. The
last line says "hostile-web: N passed, M failed".
"""
import json
import resource
import selectors
import socket
import sys
import threading
import time

HOST = "127.0.0.1"
PORT = int(sys.argv[1])
PID = int(sys.argv[2])
MEMORY_BOUND_KB = 32 * 1024  # growth of the server's resident memory allowed

results = []  # (name, passed, detail)


def rss_kb():
    try:
        with open(f"/proc/{PID}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return -1


def check(name, passed, detail=""):
    results.append((name, passed, detail))
    print(f"  {'ok  ' if passed else 'FAIL'} {name}{': ' + detail if detail else ''}", flush=True)


def connect(timeout=5.0):
    s = socket.create_connection((HOST, PORT), timeout=timeout)
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s


def call_bytes(line, extra=""):
    body = line.encode() if isinstance(line, str) else line
    return (f"POST /api/call HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n{extra}"
            f"Content-Length: {len(body)}\r\n\r\n").encode() + body


def read_response(s, deadline):
    """One response from the socket: (status, headers, body), or None at the deadline or a close."""
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = recv_until(s, deadline)
        if not chunk:
            return None
        data += chunk
    head, _, rest = data.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    status = int(lines[0].split()[1])
    headers = {}
    for line in lines[1:]:
        name, _, value = line.partition(":")
        headers[name.strip().lower()] = value.strip()
    length = int(headers.get("content-length", "0"))
    while len(rest) < length:
        chunk = recv_until(s, deadline)
        if not chunk:
            return None
        rest += chunk
    return status, headers, rest[:length]


def recv_until(s, deadline):
    left = deadline - time.monotonic()
    if left <= 0:
        return b""
    s.settimeout(left)
    try:
        return s.recv(65536)
    except (socket.timeout, OSError):
        return b""


def fresh_call(bound=5.0):
    """Time of one call on a new connection, or None when it was not answered in `bound`."""
    began = time.monotonic()
    try:
        s = connect(bound)
    except OSError:
        return None
    try:
        s.sendall(call_bytes('{"method":"SetSelectItem","args":["CPU",1]}'))
        r = read_response(s, began + bound)
        if r is None or r[0] != 200 or json.loads(r[2]).get("result") != 1:
            return None
        return time.monotonic() - began
    finally:
        s.close()


def alive(name):
    t = fresh_call()
    check(f"{name}: the server answers afterwards", t is not None)


def deep_nesting():
    n = 32700
    line = '{"method":"SetSelectItem","args":[' + "[" * n + "]" * n + "]}"
    s = connect()
    s.sendall(call_bytes(line))
    r = read_response(s, time.monotonic() + 10)
    s.close()
    check("deep nesting: answered within 10 s", r is not None, f"status {r[0]}" if r else "no answer")
    alive("deep nesting")


def chunked_past_limit():
    before = rss_kb()
    s = connect()
    s.sendall(b"POST /api/call HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
              b"Transfer-Encoding: chunked\r\n\r\n")
    chunk = b"%x\r\n" % 65536 + b" " * 65536 + b"\r\n"
    sent, peak = 0, before
    deadline = time.monotonic() + 10
    s.settimeout(1)
    try:
        while sent < 200 * 1024 * 1024 and time.monotonic() < deadline:
            s.sendall(chunk)
            sent += len(chunk)
            peak = max(peak, rss_kb())
    except OSError:
        pass  # the server stopped reading: it has answered, or closed the connection
    r = read_response(s, time.monotonic() + 5)
    s.close()
    # Past 64 KiB nothing is kept; a body that goes on past 1 MiB more is cut off.
    check("chunked body without end: refused within 16 MiB", sent < 16 * 1024 * 1024 and (r is None or r[0] == 413),
          f"{sent // 1024} KiB sent, " + (f"status {r[0]}" if r else "the connection closed"))
    check("chunked body without end: memory bounded", peak - before < 1024,
          f"resident {before} KB before, {peak} KB at most")
    # Other ways of sending a body past the limit, or a malformed one.
    for name, head, body, want in [
        ("a chunked body of 100 KiB", "Transfer-Encoding: chunked\r\n", b"19000\r\n" + b" " * 0x19000 + b"\r\n0\r\n\r\n",
         413),
        ("Content-Length past the limit", "Content-Length: 209715200\r\n", b"", 413),
        ("Content-Length 1e3", "Content-Length: 1e3\r\n", b"", 400),
        ("two Content-Length values", "Content-Length: 2\r\nContent-Length: 3\r\n", b"", 400),
        ("an unknown transfer coding", "Transfer-Encoding: gzip, chunked\r\n", b"", 501),
    ]:
        s = connect()
        s.sendall(("POST /api/call HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n" + head +
                   "\r\n").encode() + body)
        r = read_response(s, time.monotonic() + 5)
        s.close()
        check(f"{name}: {want}", r is not None and r[0] == want, f"status {r[0]}" if r else "no answer")
    alive("bodies past the limit")


def slow_and_idle(slow=32, idle=32):
    """Slow-header and idle keep-alive clients hold connections open; fresh calls must not wait."""
    slow_socks, idle_socks = [], []
    stop = threading.Event()
    for _ in range(slow):
        s = connect()
        s.sendall(b"GET /api/state HTTP/1.1\r\n")
        slow_socks.append(s)

    def trickle():  # one header line every 3 s from each slow client, while the check lasts
        line = 0
        while not stop.wait(3):
            line += 1
            for s in slow_socks:
                try:
                    s.sendall(f"X-Slow-{line}: {line}\r\n".encode())
                except OSError:
                    pass
    sender = threading.Thread(target=trickle)
    sender.start()
    try:
        began = time.monotonic()
        for _ in range(idle):
            s = connect()
            s.sendall(b"GET /app.css HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
            r = read_response(s, min(time.monotonic() + 1, began + 5))
            if r is not None:
                idle_socks.append(s)
            else:
                s.close()
        check(f"idle keep-alive: {idle} connections answered at once", len(idle_socks) == idle,
              f"{len(idle_socks)} answered")
        times = []
        began = time.monotonic()
        while time.monotonic() - began < 4:
            t = fresh_call(bound=5)
            times.append(t if t is not None else float("inf"))
            time.sleep(0.2)
        worst = max(times)
        check(f"fresh calls beside {slow} slow and {idle} idle clients: each within 1 s", worst < 1.0,
              f"{len(times)} calls, slowest {worst * 1000:.1f} ms")
        figures["fresh"] = worst
        # The server closes them once they have sent nothing for 5 s: the slow
        # ones once they stop, the idle ones (idle since their answer) at once.
        stop.set()
        sender.join()
        stopped = time.monotonic()
        closed_slow = sum(1 for s in slow_socks if closed_by_server(s, stopped + 8))
        closed_idle = sum(1 for s in idle_socks if closed_by_server(s, stopped + 8))
        check("slow clients are closed within 8 s of their last byte", closed_slow == slow, f"{closed_slow} of {slow}")
        check("idle keep-alive connections are closed within 8 s", closed_idle == len(idle_socks),
              f"{closed_idle} of {len(idle_socks)}")
    finally:
        stop.set()
        sender.join()
        for s in slow_socks + idle_socks:
            s.close()


def closed_by_server(s, deadline):
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            return False
        s.settimeout(left)
        try:
            if not s.recv(65536):
                return True
        except socket.timeout:
            return False
        except OSError:
            return True


def full_house(count=1000, bound=8.0):
    """Every place taken by connections that send nothing, and one that reads none of its answers:
    a fresh call waits until a place frees (the silent ones are closed after 5 s), and the deaf one is dropped."""
    deaf = connect()
    deaf.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    deaf.setblocking(False)
    requests = b"GET /app.js HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" * 4000
    try:
        while requests:
            requests = requests[deaf.send(requests):]
    except BlockingIOError:
        pass  # the server stopped reading: its answers wait for a reader
    silent = []
    try:
        for _ in range(count):
            silent.append(connect())
        time.sleep(0.5)
        t = fresh_call(bound=bound)
        check(f"every place taken by {count} silent connections: a fresh call answered within {bound:.0f} s",
              t is not None, f"answered in {t:.2f} s" if t is not None else "no answer")
        figures["full house"] = t if t is not None else float("inf")
        state = deaf.getsockopt(socket.IPPROTO_TCP, socket.TCP_INFO, 1)[0]
        check("a client that reads no answers is dropped", state in (7, 8), f"TCP state {state}")  # CLOSE, CLOSE_WAIT
    finally:
        for s in silent:
            s.close()
        deaf.close()


def burst(count=2000, bound=30.0):
    """`count` connections opened at once, each making one call; all answered within `bound`."""
    request = call_bytes('{"method":"SetSelectItem","args":["Memory",1]}')
    sel = selectors.DefaultSelector()
    state = {}
    began = time.monotonic()
    for i in range(count):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setblocking(False)
        s.connect_ex((HOST, PORT))
        state[s] = {"sent": 0, "data": b""}
        sel.register(s, selectors.EVENT_WRITE)
    answered = 0
    while state and time.monotonic() - began < bound:
        for key, events in sel.select(timeout=0.5):
            s = key.fileobj
            st = state[s]
            try:
                if events & selectors.EVENT_WRITE:
                    st["sent"] += s.send(request[st["sent"]:])
                    if st["sent"] == len(request):
                        sel.modify(s, selectors.EVENT_READ)
                    continue
                chunk = s.recv(65536)
            except BlockingIOError:
                continue
            except OSError:
                chunk = b""
            st["data"] += chunk
            head, sep, body = st["data"].partition(b"\r\n\r\n")
            done = not chunk
            if sep:
                length = [int(l.split(b":")[1]) for l in head.split(b"\r\n") if l.lower().startswith(b"content-length:")]
                if length and len(body) >= length[0]:
                    if head.startswith(b"HTTP/1.1 200"):
                        answered += 1
                    done = True
            if done:
                sel.unregister(s)
                s.close()
                del state[s]
    elapsed = time.monotonic() - began
    for s in state:
        s.close()
    sel.close()
    check(f"a burst of {count} connections: all answered within {bound:.0f} s", answered == count,
          f"{answered} answered in {elapsed:.2f} s")
    figures["burst"] = elapsed


def pipelining(count=100):
    """`count` requests sent at once on one connection: all answered, in order."""
    kinds = [("/app.js", "text/javascript; charset=utf-8"), ("/app.css", "text/css; charset=utf-8"),
             ("/favicon.svg", "image/svg+xml"), ("/api/state", "application/json"), (None, "application/json")]
    data, want = b"", []
    for i in range(count):
        path, kind = kinds[i % len(kinds)]
        if path:
            data += f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n".encode()
        else:
            data += call_bytes(json.dumps({"method": "SetSelectItem", "args": ["Memory", 1 + i % 2]}))
        want.append(kind)
    s = connect()
    began = time.monotonic()
    s.sendall(data)
    got, buffer = [], b""
    deadline = began + 10
    while len(got) < count:
        while b"\r\n\r\n" not in buffer:
            chunk = recv_until(s, deadline)
            if not chunk:
                break
            buffer += chunk
        head, sep, rest = buffer.partition(b"\r\n\r\n")
        if not sep:
            break
        headers = dict(l.split(": ", 1) for l in head.decode("latin-1").split("\r\n")[1:])
        length = int(headers["Content-Length"])
        while len(rest) < length:
            chunk = recv_until(s, deadline)
            if not chunk:
                break
            rest += chunk
        if len(rest) < length:
            break
        got.append(headers.get("Content-Type"))
        buffer = rest[length:]
    elapsed = time.monotonic() - began
    s.close()
    check(f"{count} pipelined requests: all answered in order", got == want,
          f"{len(got)} answered in {elapsed * 1000:.1f} ms")
    figures["pipelined"] = elapsed


figures = {}
resource.setrlimit(resource.RLIMIT_NOFILE, (min(8192, resource.getrlimit(resource.RLIMIT_NOFILE)[1]),) * 2)
start_rss = rss_kb()
print(f"hostile-web: the server holds {start_rss} KB", flush=True)
steps = (deep_nesting, chunked_past_limit, slow_and_idle, full_house, burst, pipelining)
for step in [s for s in steps if len(sys.argv) < 4 or s.__name__ in sys.argv[3:]]:
    print(step.__name__.replace("_", " "), flush=True)
    try:
        step()
    except Exception as e:  # a client error is a failed check, not the end of the run
        check(step.__name__, False, f"{type(e).__name__}: {e}")
    if rss_kb() < 0:
        check("the server is running", False, "it has ended")
        break
end_rss = rss_kb()
check("the server's memory stays bounded", 0 <= end_rss - start_rss < MEMORY_BOUND_KB,
      f"{start_rss} KB at first, {end_rss} KB at the end")
if figures:
    print("figures: " + ", ".join(f"{k} {v:.3f} s" for k, v in figures.items()))
failed = sum(1 for _, ok, _ in results if not ok)
print(f"hostile-web: {len(results) - failed} passed, {failed} failed")
sys.exit(1 if failed else 0)
