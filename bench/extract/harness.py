#!/usr/bin/env python3
"""Runs the extraction benchmarks that run.sh prepared and prints the table.

Every Windows program is started as `wine64 PROGRAM` straight from here, so
the Unix process we wait for is the Windows process itself: its wall time is
the whole run (Wine start, extraction, clean-up, exit), and the kernel's
ru_maxrss from wait4 is that process's peak resident set. Memory runs also
poll /proc/PID/status: Wine's GetProcessMemoryInfo reports VmHWM as the peak
working set and RssAnon (+ swap) as the pagefile usage, so these are the
Windows figures of the stub process.

  harness.py throughput WORK_DIR REPS
  harness.py memory WORK_DIR REPS
WORK_DIR holds the packages, the payload and wine.env (see run.sh).
"""
import hashlib
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import time

WINE64 = "/usr/lib/wine/wine64"
RUN_LIMIT = 120  # seconds; a hung run is killed and the benchmark fails
MB = 1e6


def wine_env(work):
    env = dict(os.environ)
    with open(os.path.join(work, "wine.env")) as f:
        for line in f:
            m = re.match(r'export (\w+)="?([^"]*)"?$', line.strip())
            if m:
                env[m.group(1)] = m.group(2)
    env["WINEDEBUG"] = "-all"
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    return env


def temp_dir(env):
    return os.path.join(env["WINEPREFIX"], "drive_c", "users", os.environ.get("USER", "root"), "Temp")


def setup_folders(env):
    d = temp_dir(env)
    return sorted(n for n in os.listdir(d) if n.startswith("SETUP_")) if os.path.isdir(d) else []


def status_kb(pid, field):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith(field + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def run(cmd, env, poll=None, out=None):
    """Runs cmd; returns (wall seconds, exit code, peak RSS KiB, CPU seconds).

    CPU seconds are the process's own user + system time (with its children,
    none here): what the run cost whatever else the machine was doing. Work
    that Wine's server does for the process is not in it.

    poll: a function called about every 10 ms with the pid while the process
    lives (memory runs only; timed runs block in wait4 so nothing else runs).
    """
    t0 = time.perf_counter()
    # Output to a file, never a pipe: Wine's helper processes inherit it and outlive the program.
    sink = open(out, "wb") if out else subprocess.DEVNULL
    p = subprocess.Popen(cmd, env=env, stdin=subprocess.DEVNULL, stdout=sink, stderr=subprocess.DEVNULL)
    if out:
        sink.close()
    deadline = t0 + RUN_LIMIT
    if poll is None:
        def kill(signum, frame):
            os.kill(p.pid, signal.SIGKILL)
        old = signal.signal(signal.SIGALRM, kill)
        signal.alarm(RUN_LIMIT)
        _, status, ru = os.wait4(p.pid, 0)
        signal.alarm(0)
        signal.signal(signal.SIGALRM, old)
    else:
        while True:
            pid, status, ru = os.wait4(p.pid, os.WNOHANG)
            if pid:
                break
            poll(p.pid)
            if time.perf_counter() > deadline:
                os.kill(p.pid, signal.SIGKILL)
            time.sleep(0.01)
    wall = time.perf_counter() - t0
    p.returncode = os.waitstatus_to_exitcode(status)
    if p.returncode < 0:
        sys.exit("harness: %s was killed (hung for %d s?)" % (cmd[1], RUN_LIMIT))
    return wall, p.returncode, ru.ru_maxrss, ru.ru_utime + ru.ru_stime


def stats(xs):
    return min(xs), statistics.median(xs)


def tree_bytes(d):
    return sum(os.path.getsize(os.path.join(d, n)) for n in os.listdir(d))


def sha(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def check_stub_run(what, rc, env):
    if rc != 0:
        sys.exit("harness: %s ended with exit code %d" % (what, rc))
    left = setup_folders(env)
    if left:
        sys.exit("harness: %s left its extraction folder behind: %s" % (what, left))


def verify_extraction(work, env, payload):
    """One stub run of the payload plus the setup fixture, which copies the
    extracted files aside: they must equal the payload byte for byte."""
    kept = os.path.join(work, "kept")
    shutil.rmtree(kept, ignore_errors=True)
    os.makedirs(kept)
    exe = "verify-%s.exe" % payload
    _, rc, _, _ = run([WINE64, os.path.join(work, exe), "/hide"], env)
    check_stub_run(exe, rc, env)
    src = os.path.join(work, payload)
    for name in sorted(os.listdir(src)):
        got = os.path.join(kept, name)
        if not os.path.exists(got) or sha(got) != sha(os.path.join(src, name)):
            sys.exit("harness: extracted %s differs from the payload" % name)
    shutil.rmtree(kept)
    return len(os.listdir(src))


PAYLOADS = ("mixed", "libs")


def throughput(work, reps):
    env = wine_env(work)
    content = {p: tree_bytes(os.path.join(work, p)) for p in PAYLOADS + ("tiny",)}
    members = {p: verify_extraction(work, env, p) for p in PAYLOADS}
    nsis_out = os.path.join(work, "nsis-out")
    nsis_dest = "/D=Z:" + nsis_out.replace("/", "\\")

    def nsis(exe, expect):
        shutil.rmtree(nsis_out, ignore_errors=True)
        wall, rc, _, cpu = run([WINE64, os.path.join(work, exe), "/S", nsis_dest], env)
        got = tree_bytes(nsis_out) if os.path.isdir(nsis_out) else -1
        if rc != 0 or got != expect:
            sys.exit("harness: %s ended with %d and installed %d bytes, not %d" % (exe, rc, got, expect))
        shutil.rmtree(nsis_out)  # outside the timed run
        return wall, cpu

    def stub(exe):
        wall, rc, _, cpu = run([WINE64, os.path.join(work, exe), "/hide"], env)
        check_stub_run(exe, rc, env)
        return wall, cpu

    def inflate_seconds(text, expect):
        fields = dict(kv.split("=") for kv in text.split())
        if int(fields["content"]) != expect:
            sys.exit("harness: rawinflate saw %s content bytes, not %d" % (fields["content"], expect))
        return float(fields["seconds"]), float(fields["cpu"])

    def raw(p):
        return inflate_seconds(subprocess.run([os.path.join(work, "rawinflate"), os.path.join(work, "stub-%s.exe" % p)],
                                              capture_output=True, text=True, timeout=RUN_LIMIT, check=True).stdout,
                               content[p])

    def raw_wine(exe, p):  # the same loop built with mingw, under Wine
        out = os.path.join(work, "rawinflate.out")
        _, rc, _, _ = run([WINE64, os.path.join(work, exe), "Z:" + os.path.join(work, "stub-%s.exe" % p)
                        .replace("/", "\\")], env, out=out)
        if rc != 0:
            sys.exit("harness: %s ended with exit code %d" % (exe, rc))
        with open(out) as f:
            return inflate_seconds(f.read(), content[p])

    jobs = [("stub-tiny", lambda: stub("stub-tiny.exe")),
            ("nsis-tiny", lambda: nsis("nsis-tiny.exe", content["tiny"])),
            ("nsissolid-tiny", lambda: nsis("nsissolid-tiny.exe", content["tiny"]))]
    for p in PAYLOADS:
        jobs += [("stub-" + p, lambda p=p: stub("stub-%s.exe" % p)),
                 ("nsis-" + p, lambda p=p: nsis("nsis-%s.exe" % p, content[p])),
                 ("nsissolid-" + p, lambda p=p: nsis("nsissolid-%s.exe" % p, content[p])),
                 ("raw-" + p, lambda p=p: raw(p)),
                 ("rawdeb-" + p, lambda p=p: raw_wine("rawinflate-deb.exe", p)),
                 ("rawsrc-" + p, lambda p=p: raw_wine("rawinflate-src.exe", p))]
    rows = {k: [] for k, _ in jobs}  # (wall, cpu) per round
    for rep in range(reps + 1):  # the first round warms caches and is not counted
        # Interleaved, so a drift of the machine's speed hits all alike.
        one = {k: f() for k, f in jobs}
        if rep:
            for k, v in one.items():
                rows[k].append(v)
        print("  round %d%s, load %s: %s" % (rep, " (warm-up)" if not rep else "", load(),
                                             "  ".join("%s %.3f/%.3f" % (k, w, c) for k, (w, c) in one.items())),
              flush=True)

    line = lambda name, xs, fmt: print("%-58s %10s %10s" % ((name,) + tuple(fmt % x for x in stats(xs))))
    for p in PAYLOADS:
        sizes = ", ".join("%s %.1f MB" % (k, os.path.getsize(os.path.join(work, "%s-%s.exe" % (k, p))) / MB)
                          for k in ("stub", "nsis", "nsissolid"))
        print()
        print("Payload %s: %d members, %.1f MB content (%d bytes); %s; %d rounds"
              % (p, members[p], content[p] / MB, content[p], sizes, reps))
        for which, label in ((0, "wall-clock"), (1, "CPU (user + system of the program's own process)")):
            col = lambda k: [r[which] for r in rows[k]]
            net = {k: [a - b for a, b in zip(col("%s-%s" % (k, p)), col("%s-tiny" % k))]
                   for k in ("stub", "nsis", "nsissolid")}
            mbs = lambda ts: [content[p] / MB / t if t > 0 else float("nan") for t in ts]
            ratio = lambda a, b: [x / y for x, y in zip(mbs(a), mbs(b))]
            print("%-58s %10s %10s" % ("%s seconds" % label, "min", "median"))
            for k, name in (("stub", "stub"), ("nsis", "NSIS per file"), ("nsissolid", "NSIS solid")):
                line("%s, whole run" % name, col("%s-%s" % (k, p)), "%.3f")
                line("%s, tiny package, whole run" % name, col("%s-tiny" % k), "%.3f")
                line("%s, net = payload - tiny (same round)" % name, net[k], "%.3f")
            line("raw inflate, native, Debian's zlib", col("raw-" + p), "%.3f")
            line("raw inflate, Wine, Debian's prebuilt mingw zlib", col("rawdeb-" + p), "%.3f")
            line("raw inflate, Wine, the stub's zlib (from source)", col("rawsrc-" + p), "%.3f")
            print("%-58s %10s %10s" % ("%s throughput (MB/s of content)" % label.split(" ")[0], "best", "median"))
            for name, ts in (("stub net", net["stub"]), ("NSIS per file net", net["nsis"]),
                             ("NSIS solid net", net["nsissolid"]), ("raw native", col("raw-" + p)),
                             ("raw, Wine, Debian's mingw zlib", col("rawdeb-" + p)),
                             ("raw, Wine, the stub's zlib", col("rawsrc-" + p))):
                v = mbs(ts)
                print("%-58s %10.1f %10.1f" % (name, max(v), statistics.median(v)))
            print("%-58s %10s %10s" % ("%s ratios of throughput, pair by pair in one round"
                                       % label.split(" ")[0], "min", "median"))
            line("stub net / raw native", ratio(net["stub"], col("raw-" + p)), "%.3f")
            line("stub net / raw, Wine, the stub's zlib", ratio(net["stub"], col("rawsrc-" + p)), "%.3f")
            line("stub net / NSIS per file net", ratio(net["stub"], net["nsis"]), "%.3f")
            line("stub net / NSIS solid net", ratio(net["stub"], net["nsissolid"]), "%.3f")
            line("raw, Wine: stub's zlib from source / Debian's prebuilt",
                 ratio(col("rawsrc-" + p), col("rawdeb-" + p)), "%.3f")


def load():
    with open("/proc/loadavg") as f:
        return f.read().split()[0]


def memory(work, reps):
    env = wine_env(work)
    record = os.path.join(work, "record.txt")
    env["KSETUP_RECORD"] = "Z:" + record.replace("/", "\\")
    results = []
    for exe in ("stub-tiny.exe", "stub-1g.exe"):
        for rep in range(reps):
            peak = {"VmHWM": 0, "RssAnon": 0}

            def poll(pid):
                for k in peak:
                    peak[k] = max(peak[k], status_kb(pid, k))

            if os.path.exists(record):
                os.remove(record)
            wall, rc, maxrss, _ = run([WINE64, os.path.join(work, exe), "/hide"], env, poll)
            check_stub_run(exe, rc, env)
            size = None
            if exe == "stub-1g.exe":
                # The setup fixture, started after extraction, lists the files beside it.
                with open(record) as f:
                    text = f.read()
                m = re.search(r"^file=big\.bin\|(\d+)\|", text, re.M)
                size = int(m.group(1)) if m else -1
                if size != 1 << 30 or "result=acknowledged" not in text:
                    sys.exit("harness: stub-1g.exe: the setup saw big.bin of %s bytes\n%s" % (size, text))
            results.append((exe, wall, rc, maxrss, peak["VmHWM"], peak["RssAnon"], size))
            print("  %s run %d: %.2f s, exit %d, peak RSS %.1f MiB, polled VmHWM %.1f MiB, RssAnon %.1f MiB%s"
                  % (exe, rep + 1, wall, rc, maxrss / 1024, peak["VmHWM"] / 1024, peak["RssAnon"] / 1024,
                     "" if size is None else ", big.bin %d bytes" % size), flush=True)
    print()
    pk = os.path.getsize(os.path.join(work, "stub-1g.exe"))
    print("Peak memory: one member of 1 GiB (%d bytes) of zeros, package %.2f MB; %d runs each"
          % (1 << 30, pk / MB, reps))
    print("%-50s %8s %8s %8s" % ("", "min", "median", "max"))
    for exe, label in (("stub-tiny.exe", "tiny package"), ("stub-1g.exe", "1 GiB member")):
        rs = [r for r in results if r[0] == exe]
        for i, what in ((3, "peak RSS, kernel (MiB)"), (4, "peak VmHWM, polled (MiB)"),
                        (5, "peak private RssAnon, polled (MiB)")):
            xs = [r[i] / 1024 for r in rs]
            print("%-50s %8.1f %8.1f %8.1f" % ("%s: %s" % (label, what), min(xs), statistics.median(xs), max(xs)))
    worst = max(max(r[3], r[4]) for r in results if r[0] == "stub-1g.exe") * 1024
    print("goal: peak at most 32 MiB while extracting 1 GiB: %s (worst run %.1f MB = %.1f MiB)"
          % ("met" if worst <= 32 * 2**20 else "NOT met", worst / MB, worst / 2**20))


if __name__ == "__main__":
    mode, work, reps = sys.argv[1], sys.argv[2], int(sys.argv[3])
    {"throughput": throughput, "memory": memory}[mode](work, reps)
