#!/usr/bin/env python3
"""Runs one mailing through quorvel-host (the command after --) and checks
what it left: its exit, the summary and the boxes the user answered, the
delivered .eml files (read back with Python's e-mail parser), the job's logs
and a clean shutdown of the client."""
import argparse
import email
import email.utils
import email.policy
import pathlib
import re
import subprocess
import sys


def parse_arguments():
    """The options, and the host's command line after them."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True, help="the host's --out, as this system names it")
    parser.add_argument("--result", choices=["completed", "cancelled", "refused"], required=True)
    parser.add_argument("--sent", type=int, help="exactly this many messages delivered")
    parser.add_argument("--fewer-than", type=int, help="fewer messages than this delivered")
    parser.add_argument("--message", choices=["saved", "deleted"])
    parser.add_argument("--paused", action="store_true", help="the user paused the job")
    parser.add_argument("--html", action="store_true", help="every message goes as HTML")
    parser.add_argument("--send-receive", action="store_true")
    parser.add_argument("--session-send-receive", action="store_true",
                        help="Send/Receive went through NameSpace.SendAndReceive")
    parser.add_argument("--face", choices=["pasted", "pictures"])
    parser.add_argument("--box", action="append", default=[],
                        help="a message box with this line was answered")
    parser.add_argument("--list", help="the mailing list (this system's path): tosent.txt holds "
                        "its first record and the records sent to, as they are there")
    parser.add_argument("--no-log", action="store_true", help="the job ended before its log")
    parser.add_argument("--dies-at", type=int, metavar="N",
                        help="the first run's process dies at delivery N (its --user says "
                        "die@N); the same command then runs again with --continue and "
                        "continues the mailing, and the checks are of the whole mailing")
    parser.add_argument("--then", action="append", default=[], metavar="ARG",
                        help="with --dies-at, an argument added to the second run's command "
                        "(the user edits the subject, renames the list...)")
    parser.add_argument("--ribbon", action="store_true",
                        help="the COM add-in's ribbon button started the mailing")
    parser.add_argument("--register", nargs=3, metavar=("SCOPE", "REGSVR32", "DLL"),
                        help="register the add-in first (regsvr32 /n /i:SCOPE, SCOPE being "
                        "user or machine, the programs as Windows names them) and unregister "
                        "it afterwards")
    parser.add_argument("--extras", help="a folder (this system's path) to write extras.csv "
                        "into, a list naming files, Cc and Bcc for its records, with the files; "
                        "each delivered file's Cc, Bcc and attachments are then checked")
    args, command = parser.parse_known_args()
    if command and command[0] == "--":
        command = command[1:]
    return args, command


def run_mailing(args, command, expect):
    """Runs the host (twice when its first run dies), the add-in registered
    around it when asked: the last run, its output and its errors."""

    def regsvr32(*switches):
        # The first word of the command runs Windows programs (tools/wine-run).
        done = subprocess.run([command[0], args.register[1], "/s", *switches,
                               args.register[2]], stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=120)
        expect(done.returncode == 0,
               f"regsvr32 {' '.join(switches)} ended with {done.returncode}")

    def host(arguments):
        run = subprocess.run(arguments, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             timeout=280)
        out = run.stdout.decode("cp1252", "replace").replace("\r\n", "\n")
        err = run.stderr.decode("cp1252", "replace")
        sys.stdout.write(out)
        sys.stdout.write(err)
        return run, out, err

    if args.extras:
        write_extras(pathlib.Path(args.extras))
    if args.register:
        regsvr32("/n", f"/i:{args.register[0]}")
    try:
        if args.dies_at:
            died, died_out, _ = host(command)
            expect(died.returncode == 9, f"the first run ended with {died.returncode}, not 9")
            expect(f"  the process dies at delivery {args.dies_at}\n" in died_out,
                   f"the first run did not die at delivery {args.dies_at}")
            # The user starts the same mailing again and continues it.
            command = command + ["--continue", "--user", "send"] + args.then
            print("check_mailing: the same mailing, started again")
        run, out, err = host(command)
    finally:
        if args.register:
            regsvr32("/u", "/n", f"/i:{args.register[0]}")
    if args.dies_at:
        # Delivered before the death, its success line never written: the
        # one message in doubt, found in Sent Items and not sent again.
        expect(re.search(r"^  \| The last mailing of this list with this subject did not finish: "
                         rf"{args.dies_at - 1} of its recipients were sent", out, re.M),
               "the second run was not offered to continue the mailing")
    return run, out, err


def check_host_output(args, run, out, err, expect):
    """What the host said: its exit, the door the mailing came through, the
    summary, Send/Receive, the boxes, the composed message and the face."""
    expected_exit = 0 if args.result == "completed" else 1
    expect(run.returncode == expected_exit,
           f"the host ended with {run.returncode}, not {expected_exit}")
    door = "add-in" if args.ribbon else "extension"
    expect(f"Client shut down: {door} released" in out, f"the {door} was not released")
    if args.ribbon:
        expect("COM add-in connected: Quorvel.Connect" in out, "the add-in was not connected")
        expect(re.search(r'^  compose window opened: "Quorsend" button \(large\) in the group '
                         r'"Quorvel" of the tab TabNewMailMessage$', out, re.M),
               "no large \"Quorsend\" button in the new message's tab")
        image = re.search(r"^    image: (\d+) x (\d+), (\d+) bits, (\d+) of (\d+) pixels "
                          r"transparent$", out, re.M)
        expect(image and image.group(1, 2, 3) == ("32", "32", "32"),
               "the ribbon's image is not 32 x 32 at 32 bits")
        expect(image and 0 < int(image.group(4)) < int(image.group(5)),
               "the ribbon's image is not transparent around its drawing")
    expect("quorvel-host:" not in err, "the host reported a problem")
    # The dialog's last line behind the summary, as the user saw it.
    if args.result == "completed":
        expect("  | Job Completed Successfully" in out, "no summary of a completed job")
        expect("  [####################] 100%  Completed Successfully\n" in out,
               "the dialog did not end full with Completed Successfully")
    elif args.result == "cancelled" and args.no_log:
        # A job that ended before its logs has none of its own to point at.
        expect("  | Job Not Complete\n" in out, "no summary of an incomplete job")
        expect("(See Current Job Log)" not in out, "the summary points at another job's log")
    elif args.result == "cancelled":
        expect("  | Job Not Complete (See Current Job Log)" in out,
               "no summary of an incomplete job")
        expect(re.search(r"^  \[[#.]{20}\] +\d+%  Not Complete \(See Current Job Log\)$", out, re.M),
               "the dialog did not end with Not Complete")
    else:
        expect("  | Job " not in out, "a job ran")
    passes = re.search(r"^Send/Receive: (\d+) pass\(es\), (\d+) through the session", out, re.M)
    expect(bool(passes) == args.send_receive, "Send/Receive ran" if passes else "no Send/Receive ran")
    if passes and args.session_send_receive:
        expect(int(passes.group(2)) > 0, "Send/Receive did not go through the session")
    for box in args.box:
        expect(f"  | {box}\n" in out, f"no message box \"{box}\"")
    if args.message:
        expect(f"The composed message was {args.message}" in out,
               f"the composed message was not {args.message}")
    if args.paused:
        expect("the user clicks Pause" in out, "the job was not paused")
    if args.face == "pasted":
        expect("face pasted from the clipboard" in out, "the face was not pasted")
    elif args.face == "pictures":
        expect("face given as pictures" in out, "the face was not given as pictures")


def sent_now(args):
    """The messages the summary and the log count: a continued mailing's
    count the second run's."""
    return args.sent - args.dies_at if args.dies_at else args.sent


def check_deliveries(args, out, expect):
    """The delivered .eml files, read back: how many, one to each recipient,
    with every header and no token left."""
    outbox = pathlib.Path(args.out) / "outbox"
    files = sorted(outbox.glob("*.eml"))
    if args.sent is not None:
        expect(len(files) == args.sent, f"{len(files)} .eml files, not {args.sent}")
        if args.result != "refused":
            expect(f"  | Sent: {sent_now(args)}" in out,
                   f"the summary does not say Sent: {sent_now(args)}")
    if args.fewer_than is not None:
        expect(len(files) < args.fewer_than,
               f"{len(files)} .eml files, not fewer than {args.fewer_than}")
    addresses = set()
    for path in files:
        message = email.message_from_bytes(path.read_bytes(), policy=email.policy.default)
        for header in ("From", "To", "Subject", "Message-ID", "Date"):
            expect(message[header] is not None, f"{path.name} has no {header}")
        expect("[[" not in str(message["Subject"]), f"{path.name}: a token left in the subject")
        addresses.add(str(message["To"]))
        # An HTML message goes as its HTML, a plain one as its text.
        part = message.get_body(preferencelist=("html",) if args.html else ("html", "plain"))
        expect(part is not None, f"{path.name} has no {'HTML' if args.html else 'text'} part")
        if part is not None:
            expect("[[" not in part.get_content(), f"{path.name}: a token left in the body")
    expect(len(addresses) == len(files), "a recipient got more than one message")
    if args.extras:
        check_extras(pathlib.Path(args.extras), files, expect)


def check_logs(args, expect):
    """The job's logs: the current job's, the history ending with it, and the
    sent list holding the records sent to."""
    logs = pathlib.Path(args.out) / "appdata" / "Quorvel"
    if args.result != "refused" and not args.no_log:
        current = (logs / "CurrentJob.txt").read_bytes() if (logs / "CurrentJob.txt").exists() else b""
        history = (logs / "JobHistory.txt").read_bytes() if (logs / "JobHistory.txt").exists() else b""
        expect(current != b"", "no CurrentJob.txt")
        # The history holds every job, this one last, without the line of
        # each message or record passed over, nor when each copy waits until.
        summary = b"".join(l for l in current.splitlines(keepends=True)
                           if not l.startswith(b"(") and not l.startswith(b"Not sent: ")
                           and not l.startswith(b"In doubt: ") and not l.startswith(b"    With ")
                           and not l.startswith(b"    Waiting until ")
                           and l != b"Job Stopped\r\n")
        expect(history.endswith(summary), "JobHistory.txt does not end with this job")
        expect(current.startswith(b"Job Started: ("), "CurrentJob.txt does not start the job")
        result = (b"Completed Successfully\r\n" if args.result == "completed"
                  else b"Incomplete (See Current Job Log)\r\n")
        expect(b"\tResult: " + result in current, "the log's result is not the job's")
        if args.sent is not None:
            expect(f"\tE-Mails Sent: {sent_now(args)}\r\n".encode() in current,
                   f"the log does not say E-Mails Sent: {sent_now(args)}")
        if args.dies_at:
            # Delivered and recorded in Sent Items, it may still be in the
            # Outbox too when the death came before the store wrote it gone:
            # found in either, it is counted as sent and not sent again.
            expect(re.search(rb"^In doubt: line \d+, To: \S+\. Found in (Sent Items|Outbox): "
                             rb"counted as sent\r$", current, re.M),
                   "the log does not tell the message in doubt found in Sent Items or the Outbox")
            expect(b"Continuing the last mailing: " in current, "the log does not say it continued")
        expect((b"\t\tSend/Receive every " in current) == args.send_receive,
               "the log's Send/Receive option is not the job's")
        if args.message:
            keep = b"1" if args.message == "saved" else b"0"
            expect(b"\t\tSave Original: " + keep + b"\r\n" in current,
                   "the log's Save Original is not the job's")
        check_sent_list(args, logs / "tosent.txt", expect)

    if args.extras and args.result != "refused":
        current = (logs / "CurrentJob.txt").read_bytes()
        for line, why in EXTRAS_NOT_SENT:
            expect(re.search(rf"^Not sent: line {line}, {why}\r$".encode(), current, re.M),
                   f"the log does not say line {line} was not sent ({why})")


def check_sent_list(args, sent_list, expect):
    """tosent.txt: the list's first record, then each record sent to, as the
    list has it."""
    if not args.sent:
        return
    expect(sent_list.exists(), "no tosent.txt")
    if not sent_list.exists():
        return
    records = [l for l in sent_list.read_bytes().splitlines() if l.strip()]
    expect(len(records) == args.sent + 1,
           f"tosent.txt holds {len(records) - 1} records, not {args.sent}")
    if args.list:
        source = pathlib.Path(args.list).read_bytes().splitlines()
        expect(records[:1] == source[:1], "tosent.txt does not start with the names")
        expect(all(r in source for r in records),
               "tosent.txt holds a record that is not the list's")


def main():
    args, command = parse_arguments()
    faults = []

    def expect(condition, what):
        if not condition:
            faults.append(what)

    run, out, err = run_mailing(args, command, expect)
    check_host_output(args, run, out, err, expect)
    check_deliveries(args, out, expect)
    check_logs(args, expect)
    for fault in faults:
        print(f"check_mailing: {fault}", file=sys.stderr)
    return 1 if faults else 0


# The files of --extras: names with a blank and beyond ASCII, every byte
# value, an empty file.
EXTRAS_FILES = {
    "inv 1.pdf": bytes(range(256)) * 40 + b"%%EOF\r\n",
    "Zo\u00eb \u65e5\u672c.txt": "Gr\u00fc\u00dfe\n".encode("utf-8"),
    "empty.bin": b"",
}
# To: (Cc, Bcc, files in order)
EXTRAS_MAILED = {
    "ann@example.com": (["boss@example.com"], ["audit@example.com", "archive@example.com"],
                        ["inv 1.pdf", "Zo\u00eb \u65e5\u672c.txt"]),
    "bob@example.com": ([], ["audit@example.com"], ["empty.bin"]),
    "dee@example.com": ([], [], []),
}
# Line, and the reason as a pattern (the list's folder is the host's path).
EXTRAS_NOT_SENT = [(4, r'the attachment "[^"]*\\files\\missing\.pdf" cannot be found'),
                   (5, r'Cc "eve@example\.com, nobody" is not a list of e-mail addresses')]


def write_extras(folder):
    files = folder / "files"
    files.mkdir(parents=True, exist_ok=True)
    for name, data in EXTRAS_FILES.items():
        (files / name).write_bytes(data)
    # The sample message's fields, then the three columns.
    rows = ["First Name,Last Name,Company,Manager,E-Mail,Attachments,Cc,Bcc",
            'Ann,Archer,Acme,Max,ann@example.com,"files\\inv 1.pdf; files\\Zo\u00eb '
            '\u65e5\u672c.txt",boss@example.com,"audit@example.com; archive@example.com"',
            "Bob,Baker,Acme,Max,bob@example.com,files\\empty.bin,,audit@example.com",
            "Cy,Cole,Acme,Max,cy@example.com,files\\missing.pdf,,",
            'Eve,Evans,Acme,Max,eve@example.com,,"eve@example.com, nobody",',
            "Dee,Dunn,Acme,Max,dee@example.com, ; ,,"]
    (folder / "extras.csv").write_bytes(("\r\n".join(rows) + "\r\n").encode("utf-8"))


def check_extras(folder, files, expect):
    seen = set()
    for path in files:
        message = email.message_from_bytes(path.read_bytes(), policy=email.policy.default)
        to = email.utils.parseaddr(str(message["To"]))[1]
        if to not in EXTRAS_MAILED:
            expect(False, f"{path.name} went to {to}, who should not have been mailed")
            continue
        seen.add(to)
        cc, bcc, names = EXTRAS_MAILED[to]
        for header, wanted in (("Cc", cc), ("Bcc", bcc)):
            got = [a for _, a in email.utils.getaddresses(message.get_all(header, []))]
            expect(got == wanted, f"{path.name}: {header} is {got}, not {wanted}")
        attached = [(part.get_filename(), part.get_content()) for part in message.iter_attachments()]
        expect([n for n, _ in attached] == names,
               f"{path.name}: attachments {[n for n, _ in attached]}, not {names}")
        for name, data in attached:
            if name in EXTRAS_FILES:
                expect(data == EXTRAS_FILES[name], f"{path.name}: {name} is not the file's bytes")
    expect(seen == set(EXTRAS_MAILED), f"mailed {sorted(seen)}, not {sorted(EXTRAS_MAILED)}")


if __name__ == "__main__":
    sys.exit(main())
