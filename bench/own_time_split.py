#!/usr/bin/env python3
"""Splits a sampled profile of the demo between Quorvel and the simulated client.

usage: bench/own_time_split.py LIST BODY [DEMO]

Runs the Release demo (default build/bench/bin/quorvel-demo) over LIST under
`perf record --call-graph dwarf`, then gives each sample to the simulated
client when one of the seven innermost frames of the demo's own code is in
`sim::`, else to Quorvel (its substitute platform counted with it, as
Windows' own work would be on a real machine). The simulated client's share
is split further: its store on disk (the Outbox journal and the record of a
delivery), the .eml files it writes, the rest.

Unlike the demo's --timing, which times the client at its entry points and
counts everything between them as Quorvel's, this sees the client's work
wherever it runs and costs the mailing nothing while it runs.
"""
import collections
import os
import re
import subprocess
import sys
import tempfile

STORE = ("sim::World::PersistOutbox", "sim::World::AppendJournal", "sim::World::RecordDelivered")
DELIVERY = ("sim::World::Deliver",)


def samples(perf_script):
    """Each sample's frames in the demo's own binary, innermost first."""
    frames = []
    for line in perf_script.splitlines():
        if not line.strip():
            if frames:
                yield frames
            frames = []
            continue
        if not line[0].isspace():
            continue
        m = re.match(r"\s*[0-9a-f]+ (.*) \((.*)\)$", line)
        if m and m.group(2).endswith("quorvel-demo"):
            frames.append(m.group(1).split("(")[0])
    if frames:
        yield frames


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    list_path, body = sys.argv[1], sys.argv[2]
    demo = sys.argv[3] if len(sys.argv) == 4 else "build/bench/bin/quorvel-demo"
    # The .eml files in RAM, as tools/run-benchmarks keeps them: on a disk the
    # file system's work would be most of the profile.
    ram = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None
    with tempfile.TemporaryDirectory(prefix="qv-split-", dir=ram) as work:
        data = os.path.join(work, "perf.data")
        subprocess.run(["perf", "record", "-q", "-F", "2000", "--call-graph", "dwarf,16384",
                        "-o", data, demo, "--list", list_path, "--body", body, "--subject",
                        "Hello [[First Name]]", "--out", os.path.join(work, "out"), "--quiet"],
                       check=True, stdout=subprocess.DEVNULL)
        script = subprocess.run(["perf", "script", "-i", data, "-F", "ip,sym,dso"], check=True,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                text=True).stdout
    shares = collections.Counter()
    for frames in samples(script):
        if not any(f.startswith("sim::") for f in frames[:7]):
            shares["Quorvel"] += 1
            continue
        inner = next((f for f in frames if f in STORE + DELIVERY), None)
        shares["client: store on disk" if inner in STORE
               else "client: .eml files" if inner in DELIVERY else "client: the rest"] += 1
    total = sum(shares.values())
    for what in ("Quorvel", "client: store on disk", "client: .eml files", "client: the rest"):
        print(f"  {what:<24} {shares[what] / total * 100:5.1f}% of {total} samples")


if __name__ == "__main__":
    main()
