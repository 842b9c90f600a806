#!/usr/bin/env python3
"""The calls each installer makes: the requests the Wine server answers for
the installer's own process during one silent run, counted by name. Time is
noisy on a shared machine; these counts are not (two runs differ by the
message waits alone).

Each installer runs three times, each in a fresh copy of one Wine prefix with
a server of its own started with -d1 (its trace in a file): F application
files without components, 2F files without components, F files with C
components. The counts per application file are the difference of the first
two divided by F, those per component the difference of the first and third
divided by C, and what is left of the first run is the run's own cost. The
installer's process is the one the 32-bit timer starts; its threads are the
first one and every one a thread of it makes, until the server reports it
killed. bench/calls.sh installs and builds what this needs and starts it.
"""

import argparse
import collections
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peers  # noqa: E402

PEERS = ["copy", "nsis", "lumo"]
# The requests the rows of the table name; "get_message+select" adds two.
ROWS = [
    ("all", None),
    ("create_file (opens)", ("create_file",)),
    ("close_handle", ("close_handle",)),
    ("get_handle_fd", ("get_handle_fd",)),
    ("get_directory_cache_entry", ("get_directory_cache_entry",)),
    ("set_key_value (registry writes)", ("set_key_value",)),
    ("get_next_device_request (volume queries)", ("get_next_device_request",)),
    ("get_message + select (message waits)", ("get_message", "select")),
    ("set_fd_name_info (renames)", ("set_fd_name_info",)),
]

LINE = re.compile(r"^([0-9a-f]{4,8}): (.*)$")
REQUEST = re.compile(r"^(\w+)\(")
NEW_PROCESS_IMAGE = re.compile(r'imagepath=L"([^"]*)"')
REPLY_FIELD = re.compile(r"\b(pid|tid|handle)=([0-9a-f]+)")


def reply_fields(text):
    return dict(REPLY_FIELD.findall(text))


def count_requests(trace_path, image):
    """The requests by name of the last process made from image (the timer
    starts the installer last; the checks after it start other programs).
    Lines are "<thread id>: <request>( ... )" for a request and
    "<thread id>: <request>() = <status> { ... }" for its reply; the thread
    that made a process makes its first thread next, and every later thread
    of it is made by one of its own."""
    threads = set()
    pending = {}      # thread id -> what its request in flight is about
    made = {}         # thread id -> handle of the process it just made from image
    counts = collections.Counter()
    found = False
    with open(trace_path, "r", errors="replace") as trace:
        for raw in trace:
            match = LINE.match(raw)
            if not match:
                continue
            tid, rest = match.group(1), match.group(2)
            if rest.startswith("*killed*"):
                threads.discard(tid)
                continue
            request = REQUEST.match(rest)
            if not request:
                continue
            name = request.group(1)
            if not rest.startswith(name + "() = "):
                if tid in threads:
                    counts[name] += 1
                if name == "new_process":
                    made_from = NEW_PROCESS_IMAGE.search(rest)
                    pending[tid] = ("process", made_from.group(1) if made_from else "")
                elif name == "new_thread":
                    handle = re.search(r"process=([0-9a-f]+)", rest)
                    pending[tid] = ("thread", handle.group(1) if handle else "")
                continue
            kind, about = pending.pop(tid, (None, None))
            if not rest.startswith(name + "() = 0 "):
                continue
            fields = reply_fields(rest)
            if kind == "process" and about.lower().replace("\\\\", "\\").endswith("\\" + image.lower()):
                made[tid] = fields.get("handle")
            elif kind == "thread" and "tid" in fields:
                if made.get(tid) == about:
                    # A new process from the same image: only the last counts.
                    del made[tid]
                    threads = {fields["tid"]}
                    counts = collections.Counter()
                    found = True
                elif about == "ffffffff" and tid in threads:
                    threads.add(fields["tid"])
    if not found:
        peers.fail("no process made from %s in %s" % (image, trace_path))
    return counts


def traced_run(wine, timer, command, trace_path):
    """One run with a server of its own that traces every request."""
    with open(trace_path, "w") as trace:
        server = subprocess.Popen(["wineserver", "-f", "-p", "-d1"], env=wine.env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=trace)
    try:
        wine.run("wine", "cmd", "/c", "exit")
        result = wine.run("wine", timer, *command)
    finally:
        wine.run("wineserver", "-k", check=False)
        server.wait(timeout=120)
    fields = result.stdout.split()
    if len(fields) < 2:
        peers.fail("no time from the timer: %r %r" % (result.stdout, result.stderr[-2000:]))
    return float(fields[-2]), int(fields[-1])


def image_of(command):
    return command[0].replace("/", "\\").rsplit("\\", 1)[-1]


def per_unit(low, high, units):
    return {name: (high[name] - low[name]) / units for name in set(low) | set(high)}


def row_value(counts, names):
    if names is None:
        return sum(counts.values())
    return sum(counts.get(name, 0) for name in names)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--files", type=int, default=100, help="application files F (default 100)")
    parser.add_argument("--kilobytes", type=int, default=50, help="their mean size (default 50)")
    parser.add_argument("--components", type=int, default=30, help="components C (default 30)")
    parser.add_argument("--peers", default=",".join(PEERS), help="which of copy,nsis,lumo (default all)")
    parser.add_argument("--work", required=True, help="work folder, removed at the end unless --keep")
    parser.add_argument("--installer", required=True)
    parser.add_argument("--component", required=True)
    parser.add_argument("--timer", required=True)
    parser.add_argument("--keep", action="store_true", help="keep the work folder and the traces")
    parser.add_argument("--top", type=int, default=12, help="requests listed per installer (default 12)")
    options = parser.parse_args()
    chosen = [peer for peer in options.peers.split(",") if peer]
    if not chosen or any(peer not in PEERS for peer in chosen):
        peers.fail("--peers takes some of " + ",".join(PEERS))
    if options.files < 1 or options.components < 1 or options.kilobytes < 1:
        peers.fail("sizes must be positive")

    work = os.path.abspath(options.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    print("creating the pristine Wine prefix", flush=True)
    pristine = os.path.join(work, "pristine-prefix")
    peers.make_pristine(pristine)
    prefix = os.path.join(work, "prefix")

    runs = {"base": (options.files, 0), "files": (2 * options.files, 0), "components": (options.files,
                                                                                      options.components)}
    counts = {}
    seconds = {}
    for run, (files, components) in runs.items():
        run_work = os.path.join(work, run)
        payload = os.path.join(run_work, "delivery")
        megabytes = max(1, files * options.kilobytes // 1024)
        print("%s: %d application files (%d MB), %d components" % (run, files, megabytes, components), flush=True)
        app, comps = peers.generate(payload, files, megabytes, components, options.component)
        commands = {
            "copy": lambda: peers.make_copy(run_work, payload, app, "copy"),
            "nsis": lambda: peers.make_nsis(run_work, payload, app, comps),
            "lumo": lambda: peers.make_lumo(payload, options.installer, files, components),
        }
        for peer in chosen:
            peers.fresh_prefix(pristine, prefix)
            wine = peers.Wine(prefix)
            trace = os.path.join(run_work, peer + ".trace")
            started = time.monotonic()
            command = commands[peer]()
            took, exit_code = traced_run(wine, options.timer, command, trace)
            if exit_code != 0:
                peers.fail("%s ended with exit code %d (prefix kept in %s)" % (peer, exit_code, prefix))
            try:
                peers.check_run(peer, wine, payload, app, comps, run_work)
            finally:
                wine.stop()
            counts[(peer, run)] = count_requests(trace, image_of(command))
            seconds[(peer, run)] = took
            print("  %-5s %7d requests  %7.2f s traced (%.0f s in all)"
                  % (peer, sum(counts[(peer, run)].values()), took, time.monotonic() - started), flush=True)
            if not options.keep:
                os.remove(trace)

    files, components = options.files, options.components
    per_file = {peer: per_unit(counts[(peer, "base")], counts[(peer, "files")], files) for peer in chosen}
    per_component = {peer: per_unit(counts[(peer, "base")], counts[(peer, "components")], components)
                     for peer in chosen}
    own = {peer: {name: counts[(peer, "base")].get(name, 0) - files * per_file[peer].get(name, 0)
                  for name in counts[(peer, "base")]} for peer in chosen}

    print()
    print("Wine server requests of one silent run; per application file from %d and %d files, per component "
          "from %d components (%d KB a file on average)" % (files, 2 * files, components, options.kilobytes))
    print()
    header = "| requests | " + " | ".join("%s per file" % peer for peer in chosen) + " | " + \
        " | ".join("%s per component" % peer for peer in chosen) + " | " + \
        " | ".join("%s, %d files" % (peer, files) for peer in chosen) + " |"
    print(header)
    print("|---" * (1 + 3 * len(chosen)) + "|")
    for title, names in ROWS:
        cells = ["%.1f" % row_value(per_file[peer], names) for peer in chosen]
        cells += ["%.1f" % row_value(per_component[peer], names) for peer in chosen]
        cells += ["%d" % row_value(counts[(peer, "base")], names) for peer in chosen]
        print("| %s | %s |" % (title, " | ".join(cells)))
    blank = ["" for _ in range(2 * len(chosen))]
    print("| the run's own, not per file | %s |" % " | ".join(
        blank + ["%.0f" % sum(own[peer].values()) for peer in chosen]))
    print()
    print("| seconds, traced (slower than untraced) | %d files | %d files | %d files, %d components |"
          % (files, 2 * files, files, components))
    print("|---|---|---|---|")
    for peer in chosen:
        print("| %s | %.2f | %.2f | %.2f |" % (peer, seconds[(peer, "base")], seconds[(peer, "files")],
                                             seconds[(peer, "components")]))
    for peer in chosen:
        print()
        print("%s, the requests of most weight: per file | per component" % peer)
        for name in sorted(per_file[peer], key=lambda n: -max(per_file[peer][n], per_component[peer].get(n, 0)))[
                :options.top]:
            print("  %-28s %7.2f | %7.2f" % (name, per_file[peer][name], per_component[peer].get(name, 0)))
    if not options.keep:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
