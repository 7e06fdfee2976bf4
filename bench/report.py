#!/usr/bin/env python3
"""Writes docs/performance.md from the figures of one `make bench` run: the Google Benchmark reports in
build/bench/*.json, the sha256sum reference and the update benchmark's results.txt."""

import datetime
import json
import os
import platform
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BENCH = os.path.join(ROOT, "build", "bench")


def benchmark(program, name):
    """The entry of one benchmark in a Google Benchmark JSON report (the mean when it was repeated)."""
    with open(os.path.join(BENCH, program + ".json")) as report:
        entries = json.load(report)["benchmarks"]
    for entry in entries:
        if entry["name"].split("/")[0] == name:
            return entry
    raise KeyError(f"{name} is missing from {program}.json")


def key_values(path):
    values = {}
    with open(path) as text:
        for line in text:
            key, _, value = line.strip().partition("=")
            if key:
                values[key] = value
    return values


def machine():
    model = "unknown CPU"
    with open("/proc/cpuinfo") as cpuinfo:
        for line in cpuinfo:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    memory_kib = 0
    with open("/proc/meminfo") as meminfo:
        for line in meminfo:
            if line.startswith("MemTotal:"):
                memory_kib = int(line.split()[1])
    return f"{model}, {os.cpu_count()} cores, {memory_kib // 1048576} GiB, Linux {platform.release()}"


def verdict(ok):
    return "✓" if ok else "✗"


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(str(cell) for cell in row) + " |" for row in rows]
    return "\n".join(lines)


def engine_section():
    sha = benchmark("sha256_bench", "BM_Sha256HexVersusOpenSsl")
    portable = benchmark("sha256_bench", "BM_Sha256Portable")["bytes_per_second"] / 1e9
    sha256sum = float(key_values(os.path.join(BENCH, "sha256sum.txt"))["gbps"])
    file_hash = benchmark("file_hash_bench", "BM_Sha256HexFileVersusOpenSsl")
    ed = benchmark("ed25519_bench", "BM_Ed25519VersusSodium")
    ten = benchmark("ed25519_bench", "BM_Ed25519VerifyTenLimbs")
    manifest = benchmark("manifest_bench", "BM_ParseAndValidateManifest")
    manifest_ms = manifest["real_time"] if manifest["time_unit"] == "ms" else manifest["real_time"] / 1e6
    rows = [
        ["`sha256_hex`, 64 MiB in memory", f"{sha['sha256_hex_GBps']:.2f} GB/s",
         f"OpenSSL {sha['openssl_GBps']:.2f} GB/s", f"{sha['ratio']:.2f}", "≥ 0.90", verdict(sha["ratio"] >= 0.9)],
        ["portable SHA-256 (no SHA extensions)", f"{portable:.2f} GB/s", f"`sha256sum` {sha256sum:.2f} GB/s",
         f"{portable / sha256sum:.2f}", "≥ 1", verdict(portable >= sha256sum)],
        ["`sha256_hex_file`, 256 MiB file in the page cache", f"{file_hash['sha256_hex_file_GBps']:.2f} GB/s",
         f"OpenSSL {file_hash['openssl_GBps']:.2f} GB/s", f"{file_hash['ratio']:.2f}", "≥ 0.85",
         verdict(file_hash["ratio"] >= 0.85)],
        ["`ed25519_verify`, 1 KiB message", f"{ed['ed25519_verify_us']:.1f} µs", f"libsodium {ed['sodium_us']:.1f} µs",
         f"{ed['ratio']:.2f}", "≤ 2", verdict(ed["ratio"] <= 2)],
        ["`ed25519_verify`, 10-limb field of the 32-bit build", f"{ten['real_time']:.1f} µs", "—", "—", "—", ""],
        ["parse + validate a manifest of 20,000 files / 200,000 chunks", f"{manifest_ms:.0f} ms",
         f"peak heap {manifest['peak_over_doc']:.2f}x the document", "—", "< 400 ms, < 6x",
         verdict(manifest_ms < 400 and manifest["peak_over_doc"] < 6)],
    ]
    return table(["what", "ours", "reference", "ratio", "target", ""], rows)


def update_section():
    r = {k: (float(v) if re.fullmatch(r"[0-9.]+", v) else v)
         for k, v in key_values(os.path.join(BENCH, "update", "results.txt")).items()}

    def mib(name):
        return f"{r[name + '_peak_rss_kib'] / 1024:.0f} MiB"

    # kyr-patch's peak memory is bounded by its pipeline, whatever the size of the largest file.
    memory_limit = 128 << 20

    def within_memory(name):
        return r[name + "_peak_rss_kib"] * 1024 < memory_limit

    def row(case, kyr, casync, rsync, casync_target, rsync_target):
        faster = r[casync] / r[kyr]
        share = r[kyr] / r[rsync]
        ok_casync = casync_target is None or faster >= casync_target
        ok = ok_casync and share <= rsync_target and within_memory(kyr)
        target = (f"≥ {casync_target}x, " if casync_target else "") + f"≤ {rsync_target}x"
        return [case, f"{r[kyr]:.3f} s", mib(kyr), f"{r[casync]:.3f} s", f"{r[rsync]:.3f} s", f"{faster:.1f}x",
                f"{share:.2f}x", target, verdict(ok)]

    def large_row(case, name):
        return [case, f"{r[name]:.3f} s", mib(name), verdict(within_memory(name))]

    def seconds(name):
        return " / ".join(f"{float(t):.2f}" for t in str(r[name + "_rounds"]).split())

    def rounds(case, *names):
        times = ", ".join(f"{tool} {seconds(name)}" for tool, name in zip(("kyr-patch", "casync", "rsync"), names))
        return f"  - {case}: {times}"

    rows = [
        row("cold install", "kyr_cold", "casync_cold", "rsync_cold", 8, 2.0),
        row("version 1 to 2", "kyr_v2", "casync_v2", "rsync_v2", 10, 1.6),
        row("already current, patch state / quick check", "kyr_current", "casync_current", "rsync_current", None, 1.5),
        row("already current, hash everything / `-c`", "kyr_current_nostate", "casync_current", "rsync_checksum",
            None, 1.2),
    ]
    large_rows = [
        large_row("packs", "kyr_large_packs"),
        large_row("no packs (`--pack-min-chunks 0`)", "kyr_large_nopacks"),
    ]
    downloaded = r["v2_downloaded_bytes"] / 1048576
    lines = [
        f"A synthetic game of {r['bytes'] / 1e9:.1f} GB in about {int(r['files'])} files, median of "
        f"{int(r['rounds'])} round(s), nginx, casync and an rsync daemon on 127.0.0.1, page cache warm, "
        "`sync` before every case. casync/kyr: how many times faster kyr-patch is; kyr/rsync: how many "
        "times rsync's time kyr-patch takes; peak memory: kyr-patch's largest RSS of the rounds, which must "
        "stay under 128 MiB in every case (part of each verdict).",
        "",
        table(["case", "kyr-patch", "peak memory", "casync", "rsync", "casync/kyr", "kyr/rsync", "target", ""], rows),
        "",
        f"A cold install of a small game with one file of {r['large_file_bytes'] / 1048576:.0f} MiB (random "
        "content, no two chunks alike), kyr-patch alone, with and without packs:",
        "",
        table(["cold install, one large file", "kyr-patch", "peak memory", ""], large_rows),
        "",
        f"- Version 2 downloaded {downloaded:.1f} MiB; the chunk objects new in version 2 hold "
        f"{r['v2_new_chunks']} compressed (limit 1.3x).",
        f"- The largest file of the synthetic game: {r['largest_file_bytes'] / 1048576:.1f} MiB.",
        "- Every round's time in seconds, in the order measured (how much the machine swung):",
        rounds("cold install", "kyr_cold", "casync_cold", "rsync_cold"),
        rounds("version 1 to 2", "kyr_v2", "casync_v2", "rsync_v2"),
        rounds("already current, patch state / quick check", "kyr_current", "casync_current", "rsync_current"),
        rounds("already current, hash everything / `-c`", "kyr_current_nostate", "casync_current",
               "rsync_checksum"),
        f"  - cold install with one large file: packs {seconds('kyr_large_packs')}, "
        f"no packs {seconds('kyr_large_nopacks')}",
    ]
    return "\n".join(lines)


def verify_section():
    r = key_values(os.path.join(BENCH, "verify", "results.txt"))
    verify, sha = float(r["verify"]), float(r["sha256sum"])
    rows = [["`kyr-store verify --all`", f"{verify:.2f} s", f"`sha256sum` {sha:.2f} s", f"{verify / sha:.2f}",
             "≤ 1", verdict(verify <= sha)]]
    return "\n".join([
        f"A healthy store of {int(r['store_bytes']) / 1e9:.2f} GB in {r['store_files']} files (one version of a "
        "synthetic game: chunk objects and packs), page cache warm, best of "
        f"{r['rounds']} round(s) in elapsed time. verify checks every signature, decompresses and hashes every "
        "chunk object and checks every pack and pack range; `sha256sum` only hashes each file.",
        "",
        table(["what", "ours", "reference", "ratio", "target", ""], rows),
    ])


def main():
    now = datetime.datetime.now().strftime("%Y-%m-%d %H:%M")
    commit = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"], capture_output=True,
                            text=True).stdout.strip()
    text = "\n".join([
        "# Performance",
        "",
        f"Generated by `make bench` on {now} at commit {commit or 'unknown'}.",
        f"Machine: {machine()}. Absolute times on a shared virtual machine vary by tens of percent between",
        "runs; the ratios compare programs measured in the same run.",
        "",
        "## Engine",
        "",
        engine_section(),
        "",
        "## Update",
        "",
        update_section(),
        "",
        "## Store check",
        "",
        verify_section(),
        "",
    ])
    out = os.path.join(ROOT, "docs", "performance.md")
    with open(out, "w") as page:
        page.write(text)
    print(f"wrote {out}")


if __name__ == "__main__":
    sys.exit(main())
