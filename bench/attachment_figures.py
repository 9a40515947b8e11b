#!/usr/bin/env python3
"""Prints what per-record attachments cost a mailing, through the Release demo.

usage: bench/attachment_figures.py <bench build folder>
       (tools/run-benchmarks calls it after its other figures)

  - 1,000 records, each naming the same 1 MB file in an "Attachment" column:
    time per message, and Quorvel's own share of it (the demo's --timing
    separates the simulated client's work: copying the message, taking the
    attachment's bytes into its store file and writing each .eml with the
    file base64-encoded), next to the same list without the column;
  - one record naming a 64 MB file: the demo's peak resident set, as
    /usr/bin/time -v reports it for the whole process and as the demo reports
    its own (VmHWM), next to the same record without the file.

Inputs and output go to /dev/shm when it is writable, so the disk does not
set the pace. Nothing is asserted: the figures are printed.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

MB = 1024 * 1024


def demo_run(demo, list_path, body, out, timed=False):
    """(messages, seconds, client seconds, demo's own peak KiB, time -v peak KiB)."""
    shutil.rmtree(out, ignore_errors=True)
    args = [demo, "--list", list_path, "--body", body, "--subject", "Files for [[Name]]",
            "--out", out, "--quiet", "--timing", "--no-store"]
    if timed:
        args = ["/usr/bin/time", "-v", *args]
    run = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    output = run.stdout.decode(errors="replace")
    if run.returncode != 0:
        sys.exit(f"attachment_figures: the demo failed:\n{output}")
    m = re.search(r"Timing: (\d+) messages in ([\d.]+) s, ([\d.]+) s of it in the simulated "
                  r"client; peak memory (\d+) KiB", output)
    if not m:
        sys.exit(f"attachment_figures: the demo printed no timing:\n{output}")
    rss = re.search(r"Maximum resident set size \(kbytes\): (\d+)", output)
    shutil.rmtree(out, ignore_errors=True)
    return (int(m.group(1)), float(m.group(2)), float(m.group(3)), int(m.group(4)),
            int(rss.group(1)) if rss else 0)


def write_list(path, records, attachment):
    with open(path, "w", newline="") as f:
        f.write("Name,E-Mail,Attachment\r\n" if attachment else "Name,E-Mail\r\n")
        for i in range(records):
            f.write(f"User {i},user{i}@example.com" + (f",{attachment}\r\n" if attachment
                                                       else "\r\n"))


def write_file(path, size):
    block = bytes((i * 7) & 0xFF for i in range(MB))
    with open(path, "wb") as f:
        for _ in range(size // MB):
            f.write(block)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    demo = os.path.join(os.path.abspath(sys.argv[1]), "bin", "quorvel-demo")
    if not os.access(demo, os.X_OK):
        sys.exit(f"attachment_figures: {demo} is not built")
    ram = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None
    work = tempfile.mkdtemp(prefix="qv-attach-", dir=ram)
    try:
        body = os.path.join(work, "body.txt")
        with open(body, "w") as f:
            f.write("Dear [[Name]],\r\nthe file you asked for is attached.\r\n")
        write_file(os.path.join(work, "one-mb.bin"), MB)
        write_file(os.path.join(work, "big.bin"), 64 * MB)
        lists = {}
        for name, records, attachment in (("with", 1000, "one-mb.bin"), ("without", 1000, None),
                                          ("big", 1, "big.bin"), ("small", 1, None)):
            lists[name] = os.path.join(work, f"{name}.csv")
            write_list(lists[name], records, attachment)
        out = os.path.join(work, "out")

        print(f"== Per-record attachments (Release demo, files in {ram or tempfile.gettempdir()})")
        rows = {}
        for name in ("with", "without"):
            rows[name] = min((demo_run(demo, lists[name], body, out) for _ in range(3)),
                             key=lambda r: r[1])
        for name, label in (("with", "a 1 MB attachment each"), ("without", "no attachment")):
            sent, seconds, client, peak, _ = rows[name]
            print(f"  1,000 records, {label:>22}: {seconds / sent * 1e3:7.3f} ms per message,"
                  f" Quorvel's own {(seconds - client) / sent * 1e3:7.3f} ms"
                  f" (best of 3; peak {peak / 1024:.1f} MiB)")
        extra = (rows["with"][1] - rows["with"][2]) - (rows["without"][1] - rows["without"][2])
        print(f"  Quorvel's own time the 1 MB file adds per message: {extra / 1000 * 1e3:.3f} ms")

        big = demo_run(demo, lists["big"], body, out, timed=True)
        small = demo_run(demo, lists["small"], body, out, timed=True)
        print(f"  one 64 MB attachment: peak resident set {big[4] / 1024:.1f} MiB"
              f" (/usr/bin/time -v), {big[3] / 1024:.1f} MiB (the demo's VmHWM);"
              f" without it {small[4] / 1024:.1f} MiB / {small[3] / 1024:.1f} MiB (aim: under 40)")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
