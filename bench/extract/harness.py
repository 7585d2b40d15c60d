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
    """Runs cmd; returns (wall seconds, exit code, peak RSS KiB, polled figures).

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
    return wall, p.returncode, ru.ru_maxrss


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


def verify_extraction(work, env):
    """One stub run of the payload plus the setup fixture, which copies the
    extracted files aside: they must equal the payload byte for byte."""
    kept = os.path.join(work, "kept")
    shutil.rmtree(kept, ignore_errors=True)
    os.makedirs(kept)
    _, rc, _ = run([WINE64, os.path.join(work, "verify.exe"), "/hide"], env)
    check_stub_run("verify.exe", rc, env)
    payload = os.path.join(work, "payload")
    for name in sorted(os.listdir(payload)):
        got = os.path.join(kept, name)
        if not os.path.exists(got) or sha(got) != sha(os.path.join(payload, name)):
            sys.exit("harness: extracted %s differs from the payload" % name)
    shutil.rmtree(kept)
    return len(os.listdir(payload))


def throughput(work, reps):
    env = wine_env(work)
    payload = os.path.join(work, "payload")
    content = tree_bytes(payload)
    members = verify_extraction(work, env)
    nsis_out = os.path.join(work, "nsis-out")
    nsis_dest = "/D=Z:" + nsis_out.replace("/", "\\")

    def nsis(exe, expect):
        shutil.rmtree(nsis_out, ignore_errors=True)
        wall, rc, _ = run([WINE64, os.path.join(work, exe), "/S", nsis_dest], env)
        got = tree_bytes(nsis_out) if os.path.isdir(nsis_out) else -1
        if rc != 0 or got != expect:
            sys.exit("harness: %s ended with %d and installed %d bytes, not %d" % (exe, rc, got, expect))
        shutil.rmtree(nsis_out)  # outside the timed run
        return wall

    def stub(exe):
        wall, rc, _ = run([WINE64, os.path.join(work, exe), "/hide"], env)
        check_stub_run(exe, rc, env)
        return wall

    def inflate_seconds(text):
        fields = dict(kv.split("=") for kv in text.split())
        if int(fields["content"]) != content:
            sys.exit("harness: rawinflate saw %s content bytes, not %d" % (fields["content"], content))
        return float(fields["seconds"])

    def raw():
        return inflate_seconds(subprocess.run([os.path.join(work, "rawinflate"), os.path.join(work, "stub100.exe")],
                                              capture_output=True, text=True, timeout=RUN_LIMIT, check=True).stdout)

    def raw_wine():  # the same loop built with mingw's static zlib (the stub's), under Wine
        out = os.path.join(work, "rawinflate.out")
        _, rc, _ = run([WINE64, os.path.join(work, "rawinflate.exe"), "Z:" + os.path.join(work, "stub100.exe")
                        .replace("/", "\\")], env, out=out)
        if rc != 0:
            sys.exit("harness: rawinflate.exe ended with exit code %d" % rc)
        with open(out) as f:
            return inflate_seconds(f.read())

    tiny_bytes = tree_bytes(os.path.join(work, "tiny-payload"))
    rows = {k: [] for k in ("stub", "stub_tiny", "nsis", "nsis_tiny", "raw", "raw_wine")}
    for rep in range(reps + 1):  # the first round warms caches and is not counted
        # Interleaved, so a drift of the machine's speed hits all alike.
        one = {"stub": stub("stub100.exe"), "nsis": nsis("nsis100.exe", content), "raw": raw(), "raw_wine": raw_wine(),
               "stub_tiny": stub("stubtiny.exe"), "nsis_tiny": nsis("nsistiny.exe", tiny_bytes)}
        if rep:
            for k, v in one.items():
                rows[k].append(v)
        print("  round %d%s: %s" % (rep, " (warm-up)" if not rep else "",
                                    "  ".join("%s %.3f s" % kv for kv in one.items())), flush=True)

    stub_net = [a - b for a, b in zip(rows["stub"], rows["stub_tiny"])]
    nsis_net = [a - b for a, b in zip(rows["nsis"], rows["nsis_tiny"])]
    mbs = lambda ts: [content / MB / t for t in ts]
    r_raw = [s / r for s, r in zip(mbs(stub_net), mbs(rows["raw"]))]
    r_nsis = [s / n for s, n in zip(mbs(stub_net), mbs(nsis_net))]
    r_gross = [s / n for s, n in zip(rows["stub"], rows["nsis"])]

    pk = os.path.getsize(os.path.join(work, "stub100.exe"))
    npk = os.path.getsize(os.path.join(work, "nsis100.exe"))
    print()
    print("Extraction throughput: %d members, %.1f MB content (%d bytes); stub package %.1f MB, "
          "NSIS installer %.1f MB; %d rounds" % (members, content / MB, content, pk / MB, npk / MB, reps))
    print("%-48s %10s %10s" % ("", "min", "median"))
    line = lambda name, xs, fmt: print("%-48s %10s %10s" % ((name,) + tuple(fmt % x for x in stats(xs))))
    line("stub, 100 MB package, whole run (s)", rows["stub"], "%.3f")
    line("stub, tiny package, whole run (s)", rows["stub_tiny"], "%.3f")
    line("stub, net = 100 MB - tiny (s)", stub_net, "%.3f")
    line("NSIS, 100 MB installer, whole run (s)", rows["nsis"], "%.3f")
    line("NSIS, tiny installer, whole run (s)", rows["nsis_tiny"], "%.3f")
    line("NSIS, net = 100 MB - tiny (s)", nsis_net, "%.3f")
    line("raw zlib inflate into memory (s)", rows["raw"], "%.3f")
    line("same, mingw zlib under Wine (s)", rows["raw_wine"], "%.3f")
    print("%-48s %10s %10s" % ("throughput (MB/s; median = of the runs)", "best", "median"))
    best = lambda xs: max(xs)
    for name, ts in (("stub net", stub_net), ("NSIS net", nsis_net), ("raw inflate", rows["raw"]),
                     ("raw inflate, mingw zlib under Wine", rows["raw_wine"])):
        v = mbs(ts)
        print("%-48s %10.1f %10.1f" % (name, best(v), statistics.median(v)))
    print("%-48s %10s %10s" % ("ratios, pair by pair in one round", "min", "median"))
    line("stub net / raw inflate (throughput)", r_raw, "%.3f")
    line("stub net / raw inflate under Wine (throughput)",
         [s / r for s, r in zip(mbs(stub_net), mbs(rows["raw_wine"]))], "%.3f")
    line("stub net / NSIS net (throughput)", r_nsis, "%.3f")
    line("stub whole run / NSIS whole run (time)", r_gross, "%.3f")


def memory(work, reps):
    env = wine_env(work)
    record = os.path.join(work, "record.txt")
    env["KSETUP_RECORD"] = "Z:" + record.replace("/", "\\")
    results = []
    for exe in ("stubtiny.exe", "stub1g.exe"):
        for rep in range(reps):
            peak = {"VmHWM": 0, "RssAnon": 0}

            def poll(pid):
                for k in peak:
                    peak[k] = max(peak[k], status_kb(pid, k))

            if os.path.exists(record):
                os.remove(record)
            wall, rc, maxrss = run([WINE64, os.path.join(work, exe), "/hide"], env, poll)
            check_stub_run(exe, rc, env)
            size = None
            if exe == "stub1g.exe":
                # The setup fixture, started after extraction, lists the files beside it.
                with open(record) as f:
                    text = f.read()
                m = re.search(r"^file=big\.bin\|(\d+)\|", text, re.M)
                size = int(m.group(1)) if m else -1
                if size != 1 << 30 or "result=acknowledged" not in text:
                    sys.exit("harness: stub1g.exe: the setup saw big.bin of %s bytes\n%s" % (size, text))
            results.append((exe, wall, rc, maxrss, peak["VmHWM"], peak["RssAnon"], size))
            print("  %s run %d: %.2f s, exit %d, peak RSS %.1f MiB, polled VmHWM %.1f MiB, RssAnon %.1f MiB%s"
                  % (exe, rep + 1, wall, rc, maxrss / 1024, peak["VmHWM"] / 1024, peak["RssAnon"] / 1024,
                     "" if size is None else ", big.bin %d bytes" % size), flush=True)
    print()
    pk = os.path.getsize(os.path.join(work, "stub1g.exe"))
    print("Peak memory: one member of 1 GiB (%d bytes) of zeros, package %.2f MB; %d runs each"
          % (1 << 30, pk / MB, reps))
    print("%-50s %8s %8s %8s" % ("", "min", "median", "max"))
    for exe, label in (("stubtiny.exe", "tiny package"), ("stub1g.exe", "1 GiB member")):
        rs = [r for r in results if r[0] == exe]
        for i, what in ((3, "peak RSS, kernel (MiB)"), (4, "peak VmHWM, polled (MiB)"),
                        (5, "peak private RssAnon, polled (MiB)")):
            xs = [r[i] / 1024 for r in rs]
            print("%-50s %8.1f %8.1f %8.1f" % ("%s: %s" % (label, what), min(xs), statistics.median(xs), max(xs)))
    worst = max(max(r[3], r[4]) for r in results if r[0] == "stub1g.exe") * 1024
    print("goal: peak below 64 MB while extracting 1 GiB: %s (worst run %.1f MB = %.1f MiB)"
          % ("met" if worst < 64 * MB else "NOT met", worst / MB, worst / 2**20))


if __name__ == "__main__":
    mode, work, reps = sys.argv[1], sys.argv[2], int(sys.argv[3])
    {"throughput": throughput, "memory": memory}[mode](work, reps)
