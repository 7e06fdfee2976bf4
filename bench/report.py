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
# Where the update and store check benchmarks keep their inputs and results (KYR_BENCH_DIR moves them).
RESULTS = os.environ.get("KYR_BENCH_DIR", BENCH)


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


def judged(targets, rows):
    """Rows [what, ours, reference, ratio, target, ok] with ok, where it is a verdict, turned into its mark
    and a miss recorded."""
    def mark(row):
        what, ours, reference, ratio, target, ok = row
        if not isinstance(ok, bool):
            return row
        figure = f"{ours} ({reference}" + (f", ratio {ratio})" if ratio != "—" else ")")
        return row[:-1] + [verdict(targets.check(what, ok, figure, target))]
    return [mark(row) for row in rows]


def engine_section(targets):
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
         f"OpenSSL {sha['openssl_GBps']:.2f} GB/s", f"{sha['ratio']:.2f}", "≥ 0.90", sha["ratio"] >= 0.9],
        ["portable SHA-256 (no SHA extensions)", f"{portable:.2f} GB/s", f"`sha256sum` {sha256sum:.2f} GB/s",
         f"{portable / sha256sum:.2f}", "≥ 1", portable >= sha256sum],
        ["`sha256_hex_file`, 256 MiB file in the page cache", f"{file_hash['sha256_hex_file_GBps']:.2f} GB/s",
         f"OpenSSL {file_hash['openssl_GBps']:.2f} GB/s", f"{file_hash['ratio']:.2f}", "≥ 0.85",
         file_hash["ratio"] >= 0.85],
        ["`ed25519_verify`, 1 KiB message", f"{ed['ed25519_verify_us']:.1f} µs", f"libsodium {ed['sodium_us']:.1f} µs",
         f"{ed['ratio']:.2f}", "≤ 2", ed["ratio"] <= 2],
        ["`ed25519_verify`, 10-limb field of the 32-bit build", f"{ten['real_time']:.1f} µs", "—", "—", "—", ""],
        ["parse + validate a manifest of 20,000 files / 200,000 chunks", f"{manifest_ms:.0f} ms",
         f"peak heap {manifest['peak_over_doc']:.2f}x the document", "—", "< 400 ms, < 6x",
         manifest_ms < 400 and manifest["peak_over_doc"] < 6],
    ]
    return table(["what", "ours", "reference", "ratio", "target", ""], judged(targets, rows))


class Targets:
    """The verdicts of one report: each check gives its mark, and the missed ones are listed at the end."""

    def __init__(self):
        self.missed = []

    def check(self, what, ok, figure, target):
        if not ok:
            self.missed.append(f"{what}: {figure}, target {target}")
        return ok


# kyr-patch's peak memory is bounded by its pipeline, whatever the size of the largest file.
MEMORY_LIMIT_MIB = 64
DISK_LIMIT = 1.1


def update_section(targets):
    r = {k: (float(v) if re.fullmatch(r"[0-9.]+", v) else v)
         for k, v in key_values(os.path.join(RESULTS, "update", "results.txt")).items()}

    def peak_mib(name):
        return r[name + "_peak_rss_kib"] / 1024

    def memory(name, case):
        figure = f"{peak_mib(name):.0f} MiB"
        ok = peak_mib(name) < MEMORY_LIMIT_MIB
        return figure, targets.check(f"peak memory, {case}", ok, figure, f"< {MEMORY_LIMIT_MIB} MiB")

    def disk(name, label, size_key, judged=True):
        """Disk written by one case: the cells [bytes, the game's size, share, target, verdict] and whether
        it is within the target (true when not judged or not measured)."""
        if name + "_disk_bytes" not in r:
            return [r["disk_device"], "—", "—", "—", ""], True
        size = r[size_key]
        share, own = r[name + "_disk_bytes"] / size, r[name + "_own_bytes"] / size
        cells = [f"{r[name + '_disk_bytes'] / 1e9:.2f} GB; {r[name + '_own_bytes'] / 1e9:.2f} GB",
                 f"game {size / 1e9:.2f} GB", f"{share:.2f}x; {own:.2f}x"]
        if not judged:
            return cells + ["—", ""], True
        ok = targets.check(f"disk written, {label}", share <= DISK_LIMIT, f"{share:.2f}x the game",
                           f"≤ {DISK_LIMIT}x")
        return cells + [f"≤ {DISK_LIMIT}x", verdict(ok)], ok

    def row(case, kyr, casync, rsync, casync_target):
        faster = r[casync] / r[kyr]
        share = r[kyr] / r[rsync]
        figure, ok = memory(kyr, case)
        ok &= targets.check(f"{case} against rsync", share <= 1.0, f"{share:.2f}x", "≤ 1.0x")
        if casync_target:
            ok &= targets.check(f"{case} against casync", faster >= casync_target, f"{faster:.1f}x faster",
                                f"≥ {casync_target}x")
        target = (f"≥ {casync_target}x, " if casync_target else "") + "≤ 1.0x"
        return [case, f"{r[kyr]:.3f} s", figure, f"{r[casync]:.3f} s", f"{r[rsync]:.3f} s", f"{faster:.1f}x",
                f"{share:.2f}x", target, verdict(ok)]

    def seconds(name):
        return " / ".join(f"{float(t):.2f}" for t in str(r[name + "_rounds"]).split())

    def rounds(case, *names):
        times = ", ".join(f"{tool} {seconds(name)}" for tool, name in zip(("kyr-patch", "casync", "rsync"), names))
        return f"  - {case}: {times}"

    rows = [
        row("cold install", "kyr_cold", "casync_cold", "rsync_cold", 8),
        row("version 1 to 2", "kyr_v2", "casync_v2", "rsync_v2", 10),
        row("already current, patch state / quick check", "kyr_current", "casync_current", "rsync_current", None),
        row("already current, hash everything / `-c`", "kyr_current_nostate", "casync_current", "rsync_checksum",
            None),
    ]
    with_sync = r["kyr_cold"] / r["rsync_sync"]
    cold_rows = [
        ["time against `rsync` followed by `sync`", f"{r['kyr_cold']:.3f} s", f"{r['rsync_sync']:.3f} s",
         f"{with_sync:.2f}x", "≤ 0.85x",
         verdict(targets.check("cold install against rsync followed by sync", with_sync <= 0.85,
                               f"{with_sync:.2f}x", "≤ 0.85x"))],
        ["processor use, user + system over elapsed", f"{r['kyr_cold_cores']:.2f} cores of {int(r['cpus'])}",
         "—", "—", "—", ""],
        ["disk written, device; by kyr-patch itself", *disk("kyr_cold", "cold install", "bytes")[0]],
        ["disk written by rsync, device; by rsync itself (reference)",
         *disk("rsync_cold", "rsync", "bytes", judged=False)[0]],
    ]

    large_rows = []
    for case, name in (("packs", "kyr_large_packs"), ("no packs (`--pack-min-chunks 0`)", "kyr_large_nopacks")):
        figure, ok = memory(name, f"one large file, {case}")
        written, disk_ok = disk(name, f"one large file, {case}", "large_game_bytes")
        large_rows.append([case, f"{r[name]:.3f} s", figure, written[2], f"{r[name + '_cores']:.2f}",
                           verdict(ok and disk_ok)])
    packs = r["kyr_large_packs"] / r["kyr_large_nopacks"]
    large_rows.append(["packs against no packs (≤ 1.0x, no tolerance)", f"{packs:.2f}x", "", "", "",
                       verdict(targets.check("one large file, packs against no packs", packs <= 1.0,
                                             f"{packs:.2f}x", "≤ 1.0x, no tolerance"))])

    slow_mark = verdict(memory("kyr_slow", "slow link")[1])
    slow = r["kyr_slow"] / r["slow_ideal"]
    slow_rows = [[f"cold install, {r['slow_bytes'] / 1e6:.0f} MB in {int(r['slow_files'])} files",
                  f"{r['kyr_slow']:.3f} s", f"{r['slow_downloaded_bytes'] / 1e6:.0f} MB", f"{r['slow_ideal']:.3f} s",
                  f"{slow:.2f}x", f"{peak_mib('kyr_slow'):.0f} MiB", slow_mark]]
    for name, case in (("slow_v2", "version 1 to 2 of the bench game (chunk objects)"),
                       ("far_v2", f"the same from a distant store: {r['far_latency_ms']:g} ms before each response")):
        slow_rows.append([case, f"{r['kyr_' + name]:.3f} s", f"{r[name + '_downloaded_bytes'] / 1e6:.0f} MB",
                          f"{r[name + '_ideal']:.3f} s", f"{r['kyr_' + name] / r[name + '_ideal']:.2f}x",
                          f"{peak_mib('kyr_' + name):.0f} MiB",
                          verdict(memory("kyr_" + name, f"slow link, {case}")[1])])

    downloaded = r["v2_downloaded_bytes"] / 1048576
    lines = [
        f"A synthetic game of {r['bytes'] / 1e9:.2f} GB in about {int(r['files'])} files (the largest "
        f"{r['largest_file_bytes'] / 1048576:.0f} MiB), median of {int(r['rounds'])} round(s), nginx, casync and "
        "an rsync daemon on 127.0.0.1, page cache warm, `sync` before every case. casync/kyr: how many times "
        "faster kyr-patch is; kyr/rsync: how many times rsync's time kyr-patch takes; peak memory: kyr-patch's "
        f"largest RSS of the rounds, which must stay under {MEMORY_LIMIT_MIB} MiB in every case (part of each "
        "verdict).",
        "",
        table(["case", "kyr-patch", "peak memory", "casync", "rsync", "casync/kyr", "kyr/rsync", "target", ""], rows),
        "",
        "The cold install, further: against `rsync` with a `sync` inside the timed command (the files on the "
        "disk, not only in the page cache), processor use (median of the rounds) and the bytes written to the "
        f"disk. {DISK_NOTE}",
        "",
        table(["cold install", "kyr-patch", "reference", "ratio", "target", ""], cold_rows),
        "",
        f"A cold install of a small game with one file of {r['large_file_bytes'] / 1048576:.0f} MiB (random "
        "content, no two chunks alike), kyr-patch alone, with and without packs; disk written as a share of "
        f"the game ({r['large_game_bytes'] / 1e9:.2f} GB), target ≤ {DISK_LIMIT}x:",
        "",
        table(["cold install, one large file", "kyr-patch", "peak memory", "disk written: device; itself", "cores", ""], large_rows),
        "",
        f"Through a slow link: `bench/slow_link.py` in front of nginx, {r['slow_mbit']:g} Mbit/s "
        f"for all responses together and {r['slow_latency_ms']:g} ms before each response, median of "
        f"{int(r['slow_rounds'])} round(s): a cold install of a smaller game (with packs), and version 1 to 2 of "
        "the bench game, whose new chunks come as chunk objects, also from a distant store (the same link with "
        "a longer wait before each response). Ideal: the bytes kyr-patch downloaded at the link's rate.",
        "",
        table(["slow link", "kyr-patch", "downloaded", "ideal", "kyr/ideal", "peak memory", ""], slow_rows),
        "",
        f"- Version 2 downloaded {downloaded:.1f} MiB; the chunk objects new in version 2 hold "
        f"{r['v2_new_chunks']} compressed (limit 1.3x).",
        "- Every round's time in seconds, in the order measured (how much the machine swung):",
        rounds("cold install", "kyr_cold", "casync_cold", "rsync_cold"),
        f"  - cold install against rsync followed by sync: rsync + sync {seconds('rsync_sync')}",
        rounds("version 1 to 2", "kyr_v2", "casync_v2", "rsync_v2"),
        rounds("already current, patch state / quick check", "kyr_current", "casync_current", "rsync_current"),
        rounds("already current, hash everything / `-c`", "kyr_current_nostate", "casync_current",
               "rsync_checksum"),
        f"  - cold install with one large file: packs {seconds('kyr_large_packs')}, "
        f"no packs {seconds('kyr_large_nopacks')}",
        f"  - slow link: cold install {seconds('kyr_slow')}, version 1 to 2 {seconds('kyr_slow_v2')}, "
        f"from a distant store {seconds('kyr_far_v2')}",
        f"  - processor use of the cold install, cores: {r['kyr_cold_cores_rounds']}",
    ]
    return "\n".join(lines)


DISK_NOTE = ("Disk written: the sectors the work folder's disk wrote from after the `sync` before the run to "
             "after the run and another `sync` (/proc/diskstats), the smallest of the rounds, since other "
             "programs on the machine only add to it; and the bytes the program itself sent to be written "
             "(its I/O accounting, median), which no other program adds to. Both as a share of the game; "
             f"target ≤ {DISK_LIMIT}x.")


def missed_section(targets):
    if not targets.missed:
        return "None: every target above is met."
    return "\n".join(f"- {miss}" for miss in targets.missed)


def findings_section():
    """The lead's account of the figures (why a target is missed, what the profile shows), kept in
    bench/findings.md and included as written."""
    path = os.path.join(ROOT, "bench", "findings.md")
    if not os.path.exists(path):
        return None
    with open(path) as text:
        return text.read().strip()


def verify_section(targets):
    r = key_values(os.path.join(RESULTS, "verify", "results.txt"))
    verify, sha = float(r["verify"]), float(r["sha256sum"])
    rows = [["`kyr-store verify --all`", f"{verify:.2f} s", f"`sha256sum` {sha:.2f} s", f"{verify / sha:.2f}",
             "≤ 1", verify <= sha]]
    return "\n".join([
        f"A healthy store of {int(r['store_bytes']) / 1e9:.2f} GB in {r['store_files']} files (one version of a "
        "synthetic game: chunk objects and packs), page cache warm, best of "
        f"{r['rounds']} round(s) in elapsed time. verify checks every signature, decompresses and hashes every "
        "chunk object and checks every pack and pack range; `sha256sum` only hashes each file.",
        "",
        table(["what", "ours", "reference", "ratio", "target", ""], judged(targets, rows)),
    ])


def main():
    now = datetime.datetime.now().strftime("%Y-%m-%d %H:%M")
    targets = Targets()
    findings = findings_section()
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
        engine_section(targets),
        "",
        "## Update",
        "",
        update_section(targets),
        "",
        "## Store check",
        "",
        verify_section(targets),
        "",
        "## Missed targets",
        "",
        missed_section(targets),
        "",
    ] + (["## Findings", "", findings, ""] if findings else []))
    out = os.path.join(ROOT, "docs", "performance.md")
    with open(out, "w") as page:
        page.write(text)
    print(f"wrote {out}")


if __name__ == "__main__":
    sys.exit(main())
