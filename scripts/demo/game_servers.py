#!/usr/bin/env python3
"""Small TCP listeners on loopback that stand in for the game servers, and the server directory that
lists them, written where the launcher keeps its cached copy (servers.cache.json).

game_servers.py --directory FILE --record FILE [--lifetime SECONDS]

The listeners accept each connection and close it at once: the launcher only measures how long a TCP
connect takes. One endpoint is a port that is bound but never listened on, so its connect is refused and
the launcher shows it unmeasured. On SIGTERM, SIGINT or after the lifetime the program writes how many
connections each listener accepted to the record file and ends.
"""
import argparse
import json
import os
import selectors
import signal
import socket
import time

# (slug, name, kind, state, access, rates, players, [(region, label, ip)]) of the demo directory.
SERVERS = [
    ("valdra", "Valdra", "oficial", "online", "public", ("x100", "x2"), (412, 1000),
     [("eu", "Europe", "127.0.0.1"), ("sa", "South America", "127.0.0.2")]),
    ("fast-x50", "Fast x50", "fast", "online", "public", ("x50", "x10"), (87, 500),
     [("na", "North America", "127.0.0.3")]),
    ("arena", "Arena", "battle", "maintenance", "code", ("", ""), (0, 200),
     [("eu", "Europe", "127.0.0.1")]),
]
REFUSING_SERVER = ("old-realm", "Old Realm", "test", "offline", "public", ("", ""), (0, 0),
                   [("eu", "Europe", "127.0.0.1")])


def listener(ip):
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind((ip, 0))
    sock.listen(16)
    sock.setblocking(False)
    return sock


def refusing_port(ip):
    # Bound, so no other program takes the port, but not listening, so every connect is refused.
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.bind((ip, 0))
    return sock


def server_entry(order, server, ports):
    slug, name, kind, state, access, (exp, drop), (online, most), regions = server
    return {
        "slug": slug, "name": name, "kind": kind, "order": order, "state": state, "access": access,
        "description": "Demo server on this machine (a TCP listener, no game).",
        "rates": {"exp": exp, "drop": drop}, "online": online, "maxOnline": most,
        "endpoints": [{"region": region, "label": label, "ip": ip, "port": port, "priority": i}
                      for i, ((region, label, ip), port) in enumerate(zip(regions, ports))],
        "channels": [{"code": 0, "name": name + "-1", "group": name}, {"code": 1, "name": name + "-2", "group": name}],
    }


def write_atomically(path, text):
    with open(path + ".tmp", "w") as f:
        f.write(text)
    os.replace(path + ".tmp", path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--directory", required=True, help="where to write the server directory")
    parser.add_argument("--record", required=True, help="where to write the accepted connections at the end")
    parser.add_argument("--lifetime", type=float, default=900, help="seconds before ending by itself")
    args = parser.parse_args()

    selector = selectors.DefaultSelector()
    accepted = {}
    entries = []
    for order, server in enumerate(SERVERS, start=1):
        ports = []
        for _, _, ip in server[-1]:
            sock = listener(ip)
            selector.register(sock, selectors.EVENT_READ)
            accepted["%s:%d" % sock.getsockname()] = 0
            ports.append(sock.getsockname()[1])
        entries.append(server_entry(order, server, ports))
    refused = refusing_port(REFUSING_SERVER[-1][0][2])
    entries.append(server_entry(len(entries) + 1, REFUSING_SERVER, [refused.getsockname()[1]]))
    write_atomically(args.directory, json.dumps({"schema": 1, "servers": entries}, indent=1) + "\n")

    stopping = []
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: stopping.append(True))
    end = time.monotonic() + args.lifetime
    while not stopping and time.monotonic() < end:
        for key, _ in selector.select(timeout=0.2):
            try:
                connection, _ = key.fileobj.accept()
            except (BlockingIOError, InterruptedError):
                continue
            connection.close()
            accepted["%s:%d" % key.fileobj.getsockname()] += 1
    write_atomically(args.record, json.dumps({"accepted": accepted}, indent=1) + "\n")


if __name__ == "__main__":
    main()
