#!/usr/bin/env python3
"""Reads back the messages the simulated mail client delivered, with Python's
own e-mail parser, and checks them against the expected.json written beside
them: sender, recipients, subject, body, content type, transfer encoding and
the shape of the file (7-bit but for addresses with non-ASCII local parts,
which RFC 6532 writes as UTF-8; CR LF line ends, no over-long line), and
that an HTML body's own charset agrees with its part's.

    check_eml.py <folder>
"""
import json
import os
import re
import sys
from email import policy
from email.parser import Parser


def lines_of(raw):
    return raw.split(b"\r\n")


def check_file(folder, expected, problems):
    path = os.path.join(folder, expected["file"])
    name = expected["file"]
    try:
        with open(path, "rb") as f:
            raw = f.read()
    except OSError as e:
        problems.append(f"{name}: cannot read: {e}")
        return

    def fail(what):
        problems.append(f"{name}: {what}")

    header_bytes, _, body_bytes = raw.partition(b"\r\n\r\n")
    if any(b >= 0x80 for b in body_bytes):
        fail("body bytes outside 7-bit ASCII")
    for line in lines_of(header_bytes):
        if any(b >= 0x80 for b in line) and not line.startswith((b"To:", b"Cc:", b" ")):
            fail(f"raw UTF-8 outside an address header: {line!r}")
    if b"\n" in raw.replace(b"\r\n", b""):
        fail("a line feed without a carriage return")
    header, _, body = raw.partition(b"\r\n\r\n")
    for line in lines_of(header):
        if len(line) > 998:
            fail(f"header line of {len(line)} characters")
    for line in lines_of(body):
        if len(line) > 76:
            fail(f"body line of {len(line)} characters")
        if line.endswith((b" ", b"\t")):
            fail("body line ending in white space")

    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as e:
        fail(f"not UTF-8: {e}")
        return
    msg = Parser(policy=policy.default).parsestr(text)
    if msg.defects:
        fail(f"parser defects: {msg.defects}")
    sender = msg["From"].addresses
    if len(sender) != 1 or sender[0].addr_spec != expected["from"]:
        fail(f"From {msg['From']!r}")
    elif sender[0].display_name != expected["from_name"]:
        fail(f"From name {sender[0].display_name!r}")

    def addresses(field):
        value = msg[field]
        return [a.addr_spec for a in value.addresses] if value is not None else []

    if addresses("To") != expected["to"]:
        fail(f"To {addresses('To')} instead of {expected['to']}")
    if addresses("Cc") != expected["cc"]:
        fail(f"Cc {addresses('Cc')} instead of {expected['cc']}")
    # The sender's copy keeps its Bcc line, as a sent item does.
    if addresses("Bcc") != expected.get("bcc", []):
        fail(f"Bcc {addresses('Bcc')} instead of {expected.get('bcc', [])}")
    if any(c in str(msg["Subject"]) for c in "\r\n\x85\u2028\u2029"):
        fail(f"Subject of more than one line: {str(msg['Subject'])!r}")
    if str(msg["Subject"]) != expected["subject"]:
        fail(f"Subject {str(msg['Subject'])!r} instead of {expected['subject']!r}")
    if msg["Date"] is None or msg["Date"].datetime is None:
        fail("no Date")
    if not msg["Message-ID"] or not str(msg["Message-ID"]).startswith("<"):
        fail("no Message-ID")
    if str(msg["MIME-Version"]) != "1.0":
        fail("no MIME-Version 1.0")
    wanted_type = "text/html" if expected["html"] else "text/plain"
    if msg.get_content_type() != wanted_type:
        fail(f"content type {msg.get_content_type()} instead of {wanted_type}")
    if msg.get_content_charset() != "utf-8":
        fail(f"charset {msg.get_content_charset()}")
    if str(msg["Content-Transfer-Encoding"]).lower() != "quoted-printable":
        fail(f"transfer encoding {msg['Content-Transfer-Encoding']}")

    def normal(text):
        text = text.replace("\r\n", "\n")
        return text[:-1] if text.endswith("\n") else text

    content = msg.get_content()
    if normal(content) != normal(expected["body"]):
        fail(f"body {content!r} instead of {expected['body']!r}")
    if expected["html"]:
        stated = re.search(r"<meta[^>]*charset\s*=\s*[\"']?([A-Za-z0-9_.:-]+)", content, re.I)
        if stated and stated.group(1).lower() != msg.get_content_charset():
            fail(f"HTML states charset {stated.group(1)} in a {msg.get_content_charset()} part")


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    folder = sys.argv[1]
    with open(os.path.join(folder, "expected.json"), encoding="utf-8") as f:
        expected = json.load(f)
    problems = []
    if not expected:
        problems.append("no message was delivered")
    for entry in expected:
        check_file(folder, entry, problems)
    for p in problems:
        print("FAILED:", p)
    print(f"{len(expected)} messages read back, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
