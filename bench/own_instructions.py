#!/usr/bin/env python3
"""Counts the instructions of a mailing that are Quorvel's own, per message.
usage: bench/own_instructions.py [--records N] [DEMO]
Writes a list of N records (default 2,000) and the body tools/run-benchmarks
uses, runs the Release demo (default build/bench/bin/quorvel-demo) under
`valgrind --tool=callgrind`, and splits the job's instructions
(MailingJob::Run and all below it) between the simulated client and
Quorvel: every call from Quorvel's code into `sim::` is the client's, with
all it does; the rest, the substitute platform included (it does what
Windows would), is Quorvel's. Instruction counts do not move with the load
of the machine, so two builds can be compared on a busy one; the clock's
figures come from tools/run-benchmarks.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile


def write_inputs(folder, n):
    path = os.path.join(folder, "list.csv")
    with open(path, "w", newline="") as f:
        f.write("First Name,Last Name,Company,City,Code,E-Mail\r\n")
        for i in range(n):
            f.write(f"Name{i},Last{i},Company {i % 97},City{i % 13},C{i:06d},"
                    f"user{i}@example.com\r\n")
    body = os.path.join(folder, "body.txt")
    with open(body, "w") as f:
        f.write("Dear [[First Name]] [[Last Name]],\n\nThis note for [[Company]] in [[City]]"
                " (code [[Code]]) is about your account. "
                + "Lorem ipsum dolor sit amet, consectetur adipiscing elit. " * 30
                + "\nRegards to [[First Name]] at [[Company]], [[City]], [[Code]] and"
                " [[E-Mail]].\n")
    return path, body


def split(profile):
    """(job instructions, the client's share of them)."""
    tree = subprocess.run(["callgrind_annotate", "--tree=calling", "--inclusive=yes", profile],
                          stdout=subprocess.PIPE, text=True, check=True).stdout
    rows = []
    for line in tree.splitlines():
        m = re.match(r"\s*([\d,]+) \([^)]*\)\s+(\*|>)\s+(.*)", line)
        if m:
            name = m.group(3)
            # Object file or source file before the function's name.
            if not name.startswith("sim::") and ":" in name:
                name = name.split(":", 1)[1]
            rows.append((int(m.group(1).replace(",", "")), m.group(2), name))
    job = max(cost for cost, kind, name in rows if kind == "*" and name.startswith("MailingJob::Run("))
    client = 0
    caller, caller_cost = None, 0
    for cost, kind, name in rows:
        if kind == "*":
            caller, caller_cost = name, cost
            continue
        # Only calls made inside the job, from Quorvel's code.
        if caller_cost >= job or "sim::" in caller.split("(")[0]:
            continue
        if name.startswith("sim::"):
            client += cost
    return job, client


def main():
    args = sys.argv[1:]
    records = 2000
    if args[:1] == ["--records"]:
        records = int(args[1])
        args = args[2:]
    demo = args[0] if args else "build/bench/bin/quorvel-demo"
    for tool in ("valgrind", "callgrind_annotate"):
        if not shutil.which(tool):
            sys.exit(f"own_instructions: {tool} is not installed")
    ram = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None
    with tempfile.TemporaryDirectory(prefix="qv-own-", dir=ram) as work:
        list_path, body = write_inputs(work, records)
        profile = os.path.join(work, "callgrind.out")
        subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + profile, demo,
                        "--list", list_path, "--body", body, "--subject", "Hello [[First Name]]",
                        "--out", os.path.join(work, "out"), "--quiet"],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        job, client = split(profile)
    print(f"{records} messages: {job / records:,.0f} instructions per message in the job,"
          f" {client / records:,.0f} of them the simulated client's,"
          f" {(job - client) / records:,.0f} Quorvel's own")


if __name__ == "__main__":
    main()
