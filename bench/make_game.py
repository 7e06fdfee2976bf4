#!/usr/bin/env python3
"""Synthetic game folders for the update benchmark, from a fixed seed.

make_game.py v1 OUT [--bytes N] [--files N] [--big-files N] [--big-min N] [--big-max N] [--large-file N]
                                             version 1: N big files (default 10) of 16..50 MiB
                                             (--big-min, --big-max; at most half the total), the rest
                                             1 KiB..50 MiB scaled to the total, half random, half
                                             compressible, and with --large-file one more file of N bytes
                                             (random)
make_game.py v2 V1DIR OUT                    version 2: about 9% of the bytes changed in the usual ways
                                             (rewritten files, patches and insertions inside large files,
                                             appended data, new and deleted files)
"""
import argparse
import math
import os
import random
import shutil
import struct

WORDS = [w.encode() for w in (
    "the of and to in is was for on are with as his they be at one have this from or had by hot word but what "
    "some we can out other were all there when up use your how said an each she which do their time if will way "
    "about many then them write would like so these her long make thing see him two has look more day could go "
    "come did number sound no most people my over know water than call first who may down side been now find "
    "sword shield armor potion dungeon castle dragon quest guild server region latency texture model sound").split()]


def text_pool(rng, size):
    out = bytearray()
    while len(out) < size:
        line = b" ".join(rng.choice(WORDS) for _ in range(rng.randint(4, 14)))
        out += line + b" %d\n" % rng.randint(0, 99999)
    return bytes(out[:size])


POOL = text_pool(random.Random(0), 8 << 20)


def compressible(rng, size):
    # Text-like content (about 3:1 with zstd, like the scripts and tables of a real client), cut from a
    # shared pool in pieces at random places so that files differ but are made quickly.
    out = bytearray()
    while len(out) < size:
        at = rng.randrange(len(POOL) - (64 << 10))
        out += POOL[at:at + rng.randint(1 << 10, 64 << 10)]
    return bytes(out[:size])


def content(rng, size, kind):
    return rng.randbytes(size) if kind == "random" else compressible(rng, size)


def write_large(path, rng, size):
    # One random 1 MiB block over and over, each 4 KiB of it stamped with its offset: cheap to make, and
    # still no two chunks alike (a chunk is at least 16 KiB), so the store holds the whole file.
    block = rng.randbytes(1 << 20)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        for start in range(0, size, len(block)):
            piece = bytearray(block[:min(len(block), size - start)])
            for at in range(0, len(piece) - 7, 4096):
                struct.pack_into("<Q", piece, at, start + at)
            f.write(piece)


def file_sizes(rng, total, count, big, big_min, big_max):
    # A few big files of a size drawn between big_min and big_max; the others log-uniform between 1 KiB
    # and 50 MiB, then scaled to the rest of the wanted total (which leaves them small). The big ones are
    # spread through the list, so that they land in every folder and are both random and compressible.
    # Big files take at most half the total, so that a small game keeps fewer of them.
    big_sizes = [rng.randint(big_min, big_max) for _ in range(min(big, count))]
    while big_sizes and sum(big_sizes) > total // 2:
        big_sizes.pop()
    low, high = math.log(1024), math.log(50 << 20)
    sizes = [int(math.exp(rng.uniform(low, high))) for _ in range(count - len(big_sizes))]
    scale = max(0, total - sum(big_sizes)) / sum(sizes) if sizes else 0
    sizes = [max(1024, min(50 << 20, int(s * scale))) for s in sizes]
    for i, size in enumerate(big_sizes):
        sizes.insert(i * (len(sizes) + 1) // len(big_sizes), size)
    return sizes


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def make_v1(out, total, count, big, big_min, big_max, large):
    rng = random.Random(1)
    for i, size in enumerate(file_sizes(rng, total, count, big, big_min, big_max)):
        kind = "random" if i % 2 == 0 else "text"
        folder = ["Data", "Data/Local", "Data/Textures", "Data/Models", "Data/Sound", "Data/Maps"][i % 6]
        write(os.path.join(out, folder, "f%04d.%s" % (i, "bin" if kind == "random" else "txt")),
              content(rng, size, kind))
    write(os.path.join(out, "Main.exe"), rng.randbytes(4 << 20))
    if large:
        write_large(os.path.join(out, "Data", "World.pak"), rng, large)


def make_v2(v1, out):
    rng = random.Random(2)
    if os.path.exists(out):
        shutil.rmtree(out)
    shutil.copytree(v1, out)
    files = sorted(os.path.join(d, f) for d, _, fs in os.walk(out) for f in fs)
    total = sum(os.path.getsize(f) for f in files)
    budget = int(total * 0.09)
    changed = 0
    rng.shuffle(files)
    large = [f for f in files if os.path.getsize(f) > (4 << 20)]
    small = [f for f in files if os.path.getsize(f) <= (4 << 20)]
    kinds = ["patch", "insert", "append", "rewrite", "new", "delete"]
    step = 0
    while changed < budget and (large or small):
        kind = kinds[step % len(kinds)]
        step += 1
        if kind in ("patch", "insert", "append") and large:
            path = large.pop()
            data = bytearray(open(path, "rb").read())
            piece = content(rng, rng.randint(4 << 10, 256 << 10), "random" if path.endswith(".bin") else "text")
            at = rng.randrange(len(data))
            if kind == "patch":
                data[at:at + len(piece)] = piece
            elif kind == "insert":
                data[at:at] = piece
            else:
                data += piece
            write(path, bytes(data))
            changed += len(piece)
        elif kind == "rewrite" and small:
            path = small.pop()
            size = os.path.getsize(path)
            write(path, content(rng, size, "random" if path.endswith(".bin") else "text"))
            changed += size
        elif kind == "new":
            size = rng.randint(64 << 10, 2 << 20)
            write(os.path.join(out, "Data", "New", "n%04d.bin" % step), content(rng, size, "random"))
            changed += size
        elif kind == "delete" and small:
            os.remove(small.pop())
    print("version 2: %d of %d bytes changed or added (%.1f%%)" % (changed, total, 100.0 * changed / total))


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="command", required=True)
    v1 = sub.add_parser("v1")
    v1.add_argument("out")
    v1.add_argument("--bytes", type=int, default=1200 << 20)
    v1.add_argument("--files", type=int, default=2000)
    v1.add_argument("--big-files", type=int, default=10)
    v1.add_argument("--big-min", type=int, default=16 << 20)
    v1.add_argument("--big-max", type=int, default=50 << 20)
    v1.add_argument("--large-file", type=int, default=0)
    v2 = sub.add_parser("v2")
    v2.add_argument("v1")
    v2.add_argument("out")
    args = parser.parse_args()
    if args.command == "v1":
        make_v1(args.out, args.bytes, args.files, args.big_files, args.big_min, args.big_max, args.large_file)
    else:
        make_v2(args.v1, args.out)


if __name__ == "__main__":
    main()
