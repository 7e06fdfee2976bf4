#!/usr/bin/env python3
"""Puts the game client's own files into a synthetic game folder: the stand-in Main.exe and a generated
Data/Local/valdra.main (the client's built-in server file) that names the first endpoint of the demo's
server directory. No file of a real client is used.

client_files.py GAMEDIR --main-exe STAND_IN_EXE --directory SERVERS_JSON
"""
import argparse
import json
import os
import shutil
import struct

MAGIC = b"RK27Core"
KEYS = b"Rk27W!p5"
SIZE = 128
ADDRESS_A_OFFSET = 48
PORT_A_OFFSET = 80
ADDRESS_FIELD = 32


def stored_byte(plain, offset):
    # The inverse of the client's transform: subtract the offset term, swap the halves, XOR the key.
    unshifted = (plain - (0xF9 - 13 * (offset % 256))) & 0xFF
    swapped = ((unshifted << 4) | (unshifted >> 4)) & 0xFF
    return swapped ^ KEYS[offset % 8]


def valdra_main(ip, port):
    # Bytes that nobody reads get a changing filler, as in a real file; flag B stays zero (no second server).
    plain = bytearray((0xA5 ^ (p * 7)) & 0xFF for p in range(SIZE))
    plain[0:len(MAGIC)] = MAGIC
    address = ip.encode("ascii")[:ADDRESS_FIELD]
    plain[ADDRESS_A_OFFSET:ADDRESS_A_OFFSET + ADDRESS_FIELD] = address.ljust(ADDRESS_FIELD, b"\0")
    plain[PORT_A_OFFSET:PORT_A_OFFSET + 2] = struct.pack("<H", port)
    plain[SIZE - 40:SIZE - 36] = struct.pack("<I", 0)
    return bytes(stored_byte(b, p) for p, b in enumerate(plain))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("game")
    parser.add_argument("--main-exe", required=True)
    parser.add_argument("--directory", required=True)
    args = parser.parse_args()

    with open(args.directory) as f:
        endpoint = json.load(f)["servers"][0]["endpoints"][0]
    local = os.path.join(args.game, "Data", "Local")
    os.makedirs(local, exist_ok=True)
    with open(os.path.join(local, "valdra.main"), "wb") as f:
        f.write(valdra_main(endpoint["ip"], endpoint["port"]))
    shutil.copyfile(args.main_exe, os.path.join(args.game, "Main.exe"))


if __name__ == "__main__":
    main()
