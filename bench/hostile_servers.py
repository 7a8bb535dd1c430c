#!/usr/bin/env python3
"""How long zarnctl takes to give up on a misbehaving device server, and how much memory it
needs meanwhile. Each server runs on a loopback port of its own; zarnctl pings node 1 through
it and the child's peak resident size comes from the kernel's accounting of the child (wait4).

    bench/hostile_servers.py [ZARNCTL]        (default: build-bench/bin/zarnctl)

Target: each fails within 4 s and at most 64 MiB. Exit status 1 when one is missed.
"""
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

IAC, SB, WILL, DO = 255, 250, 251, 253
COM_PORT = 44
LIMIT_S, LIMIT_MIB = 4.0, 64


def endless(chunk):
    def serve(conn):
        while True:
            conn.sendall(chunk)
    return serve


def unknown_options(conn):
    options = bytes(b for n in range(60, 250) for b in (IAC, WILL if n % 2 else DO, n))
    while True:
        conn.sendall(options)


def subnegotiation_of_escapes(conn):
    conn.sendall(bytes([IAC, SB, COM_PORT]))
    endless(bytes([IAC, IAC]) * 8192)(conn)


def trickle(conn):
    while True:
        conn.sendall(b"\x5a")
        time.sleep(0.05)


CASES = [
    ("rfc2217", "IAC SB COM-PORT then endless IAC IAC", subnegotiation_of_escapes),
    ("rfc2217", "endless WILL/DO of unknown options", unknown_options),
    ("rfc2217", "endless line bytes", endless(b"\x11" * 65536)),
    ("socket", "endless line bytes", endless(b"\x11" * 65536)),
    ("socket", "one byte every 50 ms", trickle),
]


def serve_once(listener, behaviour):
    conn, _ = listener.accept()
    try:
        behaviour(conn)
    except OSError:
        pass  # the client has gone
    finally:
        conn.close()


def run_case(zarnctl, scheme, behaviour):
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    port = listener.getsockname()[1]
    thread = threading.Thread(target=serve_once, args=(listener, behaviour), daemon=True)
    thread.start()
    with tempfile.TemporaryFile() as err:
        start = time.monotonic()
        child = subprocess.Popen(
            [zarnctl, "--port", f"{scheme}://127.0.0.1:{port}", "ping", "1"],
            stdout=err, stderr=subprocess.STDOUT)
        # A client that hangs is stopped after a minute; its figures then show it.
        killer = threading.Timer(60, child.kill)
        killer.start()
        _, _, usage = os.wait4(child.pid, 0)
        elapsed = time.monotonic() - start
        killer.cancel()
        child.returncode = 0  # reaped above
        err.seek(0)
        lines = err.read().decode(errors="replace").strip().splitlines()
    listener.close()
    thread.join(5)
    return elapsed, usage.ru_maxrss / 1024, lines[-1] if lines else ""


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    zarnctl = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build-bench/bin/zarnctl")
    if not os.access(zarnctl, os.X_OK):
        sys.exit(f"no zarnctl at {zarnctl}")
    ok = True
    print(f"{'Server':52} {'fail after':>10} {'peak RSS':>9}  reason")
    for scheme, name, behaviour in CASES:
        elapsed, mib, reason = run_case(zarnctl, scheme, behaviour)
        label = f"{'RFC 2217' if scheme == 'rfc2217' else 'raw'}: {name}"
        print(f"{label:52} {elapsed:>8.2f} s {mib:>5.0f} MiB  {reason}")
        if elapsed > LIMIT_S or mib > LIMIT_MIB:
            ok = False
    print(f"target: at most {LIMIT_S:.0f} s and {LIMIT_MIB} MiB each")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
