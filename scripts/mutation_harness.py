#!/usr/bin/env python3
"""Plants deliberate faults in the sources one at a time, rebuilds, runs the
suite with ctest under a virtual display and records which tests fail. Run
by hand through scripts/mutation-harness.sh.

Each fault names a file, a piece of text that must occur exactly once in it
and its replacement (see scripts/mutation-faults.txt). A fault whose text no
longer occurs exactly once is reported as stale, never guessed at. The file
is always written back byte for byte, on a failed build, on Ctrl-C and on
SIGTERM alike.
"""

import argparse
import fnmatch
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from dataclasses import dataclass, field

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


@dataclass
class Fault:
    id: str
    file: str
    what: str
    original: str
    replacement: str
    line: int  # where the record starts in the list, for messages


@dataclass
class Outcome:
    fault: Fault
    status: str  # caught, not-caught, stale, compile-error, suite-error, skipped
    failed_tests: list = field(default_factory=list)
    seconds: float = 0.0
    note: str = ""


def parse_faults(path):
    """Records separated by blank lines: 'id:', 'file:', 'what:', then '- '
    lines for the original text and '+ ' lines for its replacement (joined
    with newlines; a lone '+' is an empty line, so one lone '+' deletes)."""
    faults, record, start = [], {}, 0

    def close(lineno):
        if not record:
            return
        missing = [k for k in ("id", "file", "what") if k not in record]
        if missing or "-" not in record or "+" not in record:
            sys.exit(f"{path}:{start}: fault record lacks {', '.join(missing) or 'original or replacement text'}")
        if record["-"] == record["+"]:
            sys.exit(f"{path}:{start}: fault {record['id']} changes nothing")
        faults.append(Fault(record["id"], record["file"], record["what"],
                            "\n".join(record["-"]), "\n".join(record["+"]), start))
        record.clear()

    with open(path, encoding="utf-8") as f:
        for lineno, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if line.startswith("#"):
                continue
            if not line.strip():
                close(lineno)
                continue
            if not record:
                start = lineno
            if line[:1] in "-+" and (len(line) == 1 or line[1] == " "):
                record.setdefault(line[0], []).append(line[2:])
            elif ":" in line:
                key, value = line.split(":", 1)
                record[key.strip()] = value.strip()
            else:
                sys.exit(f"{path}:{lineno}: cannot read '{line}'")
        close(lineno)

    seen = set()
    for fault in faults:
        if fault.id in seen:
            sys.exit(f"{path}:{fault.line}: fault id {fault.id} used twice")
        seen.add(fault.id)
    return faults


def occurrences(src_root, fault):
    path = os.path.join(src_root, fault.file)
    if not os.path.isfile(path):
        return 0
    with open(path, "rb") as f:
        return f.read().count(fault.original.encode("utf-8"))


# ---------------------------------------------------------------------------
# The files under mutation right now, with their original bytes. Whatever
# ends the run, everything in here is written back.
class Restorer:
    def __init__(self):
        self.lock = threading.Lock()
        self.applied = {}  # path -> original bytes
        self.children = set()
        self.stopping = False

    def start(self, cmd, **kwargs):
        with self.lock:
            if self.stopping:
                return None
            # A session of its own, so that stopping the run can end the
            # child's whole tree (ninja's compilers, ctest's tests).
            process = subprocess.Popen(cmd, start_new_session=True, **kwargs)
            self.children.add(process)
            return process

    def finished(self, process):
        with self.lock:
            self.children.discard(process)

    def apply(self, path, original_bytes, mutated_bytes):
        with self.lock:
            if self.stopping:
                return False
            self.applied[path] = original_bytes
            write_bytes(path, mutated_bytes)
            return True

    def restore(self, path):
        with self.lock:
            original = self.applied.pop(path, None)
            if original is not None:
                write_bytes(path, original)

    def restore_all(self):
        with self.lock:
            self.stopping = True
            for process in self.children:
                try:
                    os.killpg(process.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
            for path, original in list(self.applied.items()):
                write_bytes(path, original)
                print(f"restored {path}", file=sys.stderr)
            self.applied.clear()


def write_bytes(path, data):
    # The restored file keeps a fresh time stamp on purpose: with the old one,
    # ninja would take the mutated object files for up to date.
    with open(path, "wb") as f:
        f.write(data)


RESTORER = Restorer()


# ---------------------------------------------------------------------------
class Worker:
    def __init__(self, index, src, build, build_jobs, ctest_jobs, timeout):
        self.index, self.src, self.build = index, src, build
        self.build_jobs, self.ctest_jobs, self.timeout = build_jobs, ctest_jobs, timeout

    def env(self):
        env = dict(os.environ)
        env.setdefault("CCACHE_SLOPPINESS", "time_macros")
        env["CCACHE_BASEDIR"] = self.src
        return env

    def run(self, cmd, logname, **kwargs):
        with open(os.path.join(self.build, logname), "w") as out:
            process = RESTORER.start(cmd, stdout=out, stderr=subprocess.STDOUT, **kwargs)
            if process is None:
                return -1
            try:
                return process.wait()
            finally:
                RESTORER.finished(process)

    def configure(self):
        os.makedirs(self.build, exist_ok=True)
        rc = self.run(["cmake", "-S", self.src, "-B", self.build, "-G", "Ninja",
                       "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DCORVANTIDE_BENCH=OFF"],
                      "harness-configure.log", env=self.env())
        if rc != 0:
            sys.exit(f"configuring {self.build} failed (see harness-configure.log there)")

    def compile(self):
        return self.run(["cmake", "--build", self.build, "--parallel", str(self.build_jobs)],
                        "harness-build.log", env=self.env()) == 0

    def test(self):
        """Runs ctest with a scratch HOME; returns (failed test names, ctest exit code)."""
        failed_log = os.path.join(self.build, "Testing", "Temporary", "LastTestsFailed.log")
        if os.path.exists(failed_log):
            os.remove(failed_log)
        home = tempfile.mkdtemp(prefix="mutation-home-")
        try:
            env = self.env()
            env["HOME"] = home
            # A display of its own per run, as scripts/test.sh does: the editor
            # tests count and read back the windows on it, so parallel workers
            # must not share one. Each worker starts its search for a free
            # server number elsewhere, so that they do not race for the same.
            rc = self.run(["xvfb-run", "-a", "-n", str(120 + 10 * self.index),
                           "-s", "-screen 0 1280x1024x24 -noreset",
                           "ctest", "--parallel", str(self.ctest_jobs), "--timeout", str(self.timeout)],
                          "harness-ctest.log", cwd=self.build, env=env)
        finally:
            shutil.rmtree(home, ignore_errors=True)
        failed = []
        if os.path.exists(failed_log):
            with open(failed_log) as f:
                failed = [line.strip().split(":", 1)[-1] for line in f if line.strip()]
        return sorted(failed), rc

    def try_fault(self, fault):
        started = time.monotonic()
        path = os.path.join(self.src, fault.file)
        if not os.path.isfile(path):
            return Outcome(fault, "stale", note="file not found")
        with open(path, "rb") as f:
            original = f.read()
        needle = fault.original.encode("utf-8")
        count = original.count(needle)
        if count != 1:
            return Outcome(fault, "stale", note=f"original text occurs {count} times")
        mutated = original.replace(needle, fault.replacement.encode("utf-8"))
        if not RESTORER.apply(path, original, mutated):
            return Outcome(fault, "skipped", note="run interrupted")
        try:
            if not self.compile():
                return Outcome(fault, "compile-error", seconds=time.monotonic() - started)
            failed, rc = self.test()
        finally:
            RESTORER.restore(path)
        seconds = time.monotonic() - started
        if failed:
            return Outcome(fault, "caught", failed, seconds)
        if rc != 0:
            return Outcome(fault, "suite-error", seconds=seconds, note=f"ctest exit {rc} with no failed test listed")
        return Outcome(fault, "not-caught", seconds=seconds)


def sync_mirror(src, dest):
    """Copies the repository's files (tracked and untracked, not ignored) into
    dest, touching only files whose contents differ, so builds there stay
    incremental."""
    listed = subprocess.run(["git", "-C", src, "ls-files", "-co", "--exclude-standard", "-z"],
                            check=True, capture_output=True).stdout.decode().split("\0")
    wanted = {p for p in listed if p and os.path.isfile(os.path.join(src, p))}
    for rel in wanted:
        a, b = os.path.join(src, rel), os.path.join(dest, rel)
        if os.path.isfile(b):
            with open(a, "rb") as fa, open(b, "rb") as fb:
                if fa.read() == fb.read():
                    continue
        os.makedirs(os.path.dirname(b), exist_ok=True)
        shutil.copy2(a, b)
    for dirpath, _, files in os.walk(dest):
        for name in files:
            rel = os.path.relpath(os.path.join(dirpath, name), dest)
            if rel not in wanted:
                os.remove(os.path.join(dirpath, name))


# ---------------------------------------------------------------------------
def write_report(path, outcomes, baseline_tests, wall, jobs):
    by_status = {}
    for o in outcomes:
        by_status.setdefault(o.status, []).append(o)

    catches = {t: [] for t in baseline_tests}
    for o in outcomes:
        for t in o.failed_tests:
            catches.setdefault(t, []).append(o.fault.id)

    lines = []
    for o in outcomes:
        if o.status == "caught":
            verdict = " ".join(o.failed_tests)
        else:
            verdict = {"not-caught": "NOT CAUGHT", "stale": "STALE", "compile-error": "COMPILE ERROR",
                       "suite-error": "SUITE ERROR", "skipped": "SKIPPED"}[o.status]
        extra = f" ({o.note})" if o.note else ""
        lines.append(f"{o.fault.id}\t{o.fault.what}\t{verdict}{extra}\t{o.seconds:.0f}s")

    lines.append("")
    lines.append("# Faults caught per test (the faults only that test catches marked *)")
    for test in sorted(catches, key=lambda t: (-len(catches[t]), t)):
        ids = catches[test]
        unique = [f for f in ids if next(o for o in outcomes if o.fault.id == f).failed_tests == [test]]
        marked = [f + ("*" if f in unique else "") for f in ids]
        lines.append(f"{test}\t{len(ids)} caught, {len(unique)} only here\t{' '.join(marked)}")

    summary = (f"SUMMARY: {len(outcomes)} faults: {len(by_status.get('caught', []))} caught, "
               f"{len(by_status.get('not-caught', []))} not caught, {len(by_status.get('stale', []))} stale, "
               f"{len(by_status.get('compile-error', []))} compile errors, {len(by_status.get('suite-error', []))} suite errors, "
               f"{len(by_status.get('skipped', []))} skipped; {wall / 60:.1f} min with {jobs} worker(s)")
    lines.append("")
    lines.append(summary)
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    return summary


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--faults", default=os.path.join(ROOT, "scripts", "mutation-faults.txt"))
    parser.add_argument("--only", action="append", default=[],
                        help="fault ids or shell patterns, comma separated (repeatable), e.g. 'engine-*,window-width-no-ceiling'")
    parser.add_argument("--jobs", "-j", type=int, default=1,
                        help="parallel workers, each with its own source copy and build dir (default 1)")
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build", "mutation"))
    parser.add_argument("--build-jobs", type=int, default=0, help="compile jobs per worker (default 4 / workers, at least 2)")
    parser.add_argument("--ctest-jobs", type=int, default=4, help="ctest --parallel per worker (default 4)")
    parser.add_argument("--timeout", type=int, default=300, help="ctest --timeout per test in seconds")
    parser.add_argument("--list", action="store_true", help="list the faults and whether each still applies, then stop")
    args = parser.parse_args()

    faults = parse_faults(args.faults)
    if args.only:
        patterns = [p.strip() for arg in args.only for p in arg.split(",") if p.strip()]
        faults = [f for f in faults if any(fnmatch.fnmatchcase(f.id, p) for p in patterns)]
        if not faults:
            sys.exit("no fault matches --only")

    if args.list:
        for f in faults:
            n = occurrences(ROOT, f)
            state = "ok" if n == 1 else f"STALE ({n} occurrences)"
            print(f"{f.id:36} {f.file:36} {state:10} {f.what}")
        print(f"{len(faults)} faults")
        return 0

    jobs = max(1, args.jobs)
    build_jobs = args.build_jobs or max(2, 4 // jobs)
    base = os.path.abspath(args.build_dir)
    os.makedirs(base, exist_ok=True)

    # Worker 0 mutates the working tree itself; any further worker gets a
    # copy of it beside its build dir.
    workers = []
    for k in range(jobs):
        if k == 0:
            src, build = ROOT, os.path.join(base, "build-0")
        else:
            src, build = os.path.join(base, f"src-{k}"), os.path.join(base, f"build-{k}")
            os.makedirs(src, exist_ok=True)
            sync_mirror(ROOT, src)
        workers.append(Worker(k, src, build, build_jobs, args.ctest_jobs, args.timeout))

    def on_signal(signum, frame):
        raise KeyboardInterrupt

    # Installed explicitly: a shell that starts the run in the background
    # hands it SIGINT ignored, and Python would keep it that way.
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, on_signal)

    outcomes = {}
    started = time.monotonic()
    report_path = os.path.join(base, "mutation-report.txt")
    try:
        # Leftovers of an interrupted earlier run would show as test failures.
        print(f"Baseline: building and running the unmutated suite in {jobs} build dir(s)", flush=True)
        baseline = {}

        def prepare(w):
            w.configure()
            if not w.compile():
                baseline[w.index] = (None, "build failed")
                return
            baseline[w.index] = w.test()

        threads = [threading.Thread(target=prepare, args=(w,)) for w in workers]
        for t in threads:
            t.start()
        for t in threads:
            while t.is_alive():
                t.join(0.5)
        for w in workers:
            failed, rc = baseline[w.index]
            if failed is None or failed or rc != 0:
                sys.exit(f"the unmutated suite does not pass in {w.build} ({failed or rc}); see harness-*.log there")
        listed = subprocess.run(["ctest", "-N"], cwd=workers[0].build, capture_output=True, text=True).stdout
        baseline_tests = [l.split(":", 1)[1].strip() for l in listed.splitlines() if l.strip().startswith("Test") and ":" in l]
        print(f"Baseline passes: {len(baseline_tests)} tests, {time.monotonic() - started:.0f}s", flush=True)

        queue = list(faults)
        queue_lock = threading.Lock()
        print_lock = threading.Lock()

        def work(w):
            while True:
                with queue_lock:
                    if not queue or RESTORER.stopping:
                        return
                    fault = queue.pop(0)
                outcome = w.try_fault(fault)
                outcomes[fault.id] = outcome
                with print_lock:
                    verdict = " ".join(outcome.failed_tests) if outcome.status == "caught" else outcome.status.upper()
                    print(f"[{len(outcomes)}/{len(faults)}] {fault.id}: {verdict} ({outcome.seconds:.0f}s)", flush=True)

        threads = [threading.Thread(target=work, args=(w,), daemon=True) for w in workers]
        for t in threads:
            t.start()
        for t in threads:
            while t.is_alive():
                t.join(0.5)
    except KeyboardInterrupt:
        # Only what finished before the interrupt counts: the fault in
        # flight had its build or tests stopped under it.
        done = dict(outcomes)
        print("\ninterrupted: restoring the sources", file=sys.stderr)
        RESTORER.restore_all()
        ordered = [done.get(f.id) or Outcome(f, "skipped", note="run interrupted") for f in faults]
        if outcomes:
            print(write_report(report_path, ordered, [], time.monotonic() - started, jobs))
        return 130
    finally:
        RESTORER.restore_all()

    ordered = [outcomes[f.id] for f in faults]
    summary = write_report(report_path, ordered, baseline_tests, time.monotonic() - started, jobs)
    print(f"\nReport: {report_path}")
    print(summary)
    return 0


if __name__ == "__main__":
    sys.exit(main())
