#!/usr/bin/env python3
"""Prints the longest the job held the client's thread without pumping.

usage: bench/pump_gaps.py <bench build folder> [--rounds N]
       (tools/run-benchmarks calls it after its other figures)

The job runs on the client's user-interface thread: every stretch without
pumping messages is a frozen client. The Release demo's --timing reports the
longest such stretch of a whole mailing, in real time (the virtual clock of
the substitute stands still while code runs). Three mailings that are long
work in one piece, each run N times (default 3), the worst and the best of
the runs printed:

  - a 2 MB HTML body holding 30 tokens, to 200 recipients;
  - a 64 MB file attached to each of 3 records;
  - a list of 100,000 records (the counting pass and the review included).

Inputs and output go to /dev/shm when it is writable. Nothing is asserted:
the figures are printed.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from attachment_figures import write_list  # noqa: E402  (the same list, files or none)

MB = 1024 * 1024


def demo_run(demo, out, *args):
    """(messages, longest stretch in ms) of one mailing."""
    shutil.rmtree(out, ignore_errors=True)
    run = subprocess.run([demo, *args, "--out", out, "--quiet", "--timing", "--no-store"],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    output = run.stdout.decode(errors="replace")
    shutil.rmtree(out, ignore_errors=True)
    if run.returncode != 0:
        sys.exit(f"pump_gaps: the demo failed:\n{output}")
    messages = re.search(r"Timing: (\d+) messages", output)
    gap = re.search(r"longest stretch without pumping: ([\d.]+) ms", output)
    if not messages or not gap:
        sys.exit(f"pump_gaps: the demo printed no timing:\n{output}")
    return int(messages.group(1)), float(gap.group(1))


def write_html(path, size, tokens):
    piece = "<p>Dear [[Name]], " + "x" * 80 + "</p>\n"
    filler = "<p>" + "y" * 120 + "</p>\n"
    with open(path, "w", newline="") as f:
        f.write("<html><body>\n")
        written, used = 0, 0
        while written < size:
            if used < tokens and written >= used * (size // tokens):
                f.write(piece)
                written += len(piece)
                used += 1
            else:
                f.write(filler)
                written += len(filler)
        f.write("</body></html>\n")


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = sys.argv[1]
    rounds = int(sys.argv[sys.argv.index("--rounds") + 1]) if "--rounds" in sys.argv else 3
    demo = os.path.join(build, "bin", "quorvel-demo")
    base = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None
    work = tempfile.mkdtemp(prefix="qv-pump-", dir=base)
    try:
        body = os.path.join(work, "body.txt")
        with open(body, "w") as f:
            f.write("Hello [[Name]],\n\nThe text.\n")
        html = os.path.join(work, "body.html")
        write_html(html, 2 * MB, 30)
        small = os.path.join(work, "small.csv")
        write_list(small, 200, None)
        big_file = os.path.join(work, "big.bin")
        with open(big_file, "wb") as f:
            block = bytes((i * 7) & 0xFF for i in range(MB))
            for _ in range(64):
                f.write(block)
        files = os.path.join(work, "files.csv")
        write_list(files, 3, "big.bin")
        long_list = os.path.join(work, "long.csv")
        write_list(long_list, 100_000, None)
        out = os.path.join(work, "out")
        cases = [
            ("2 MB HTML body, 30 tokens, 200 recipients", ["--list", small, "--html", html,
                                                           "--subject", "For [[Name]]"]),
            ("a 64 MB file on each of 3 records", ["--list", files, "--body", body,
                                                   "--subject", "For [[Name]]"]),
            ("100,000 recipients", ["--list", long_list, "--body", body,
                                    "--subject", "For [[Name]]"]),
        ]
        print("The longest stretch without pumping messages, real time "
              f"(the Release demo, {rounds} runs each):")
        for name, args in cases:
            gaps = []
            messages = 0
            for _ in range(rounds):
                messages, gap = demo_run(demo, out, *args)
                gaps.append(gap)
            print(f"  {name}: {messages} messages, longest {max(gaps):.1f} ms "
                  f"(best run {min(gaps):.1f} ms)")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
