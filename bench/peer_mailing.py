#!/usr/bin/env python3
"""The same mailing written plainly in Python: the yardstick the demo is held to.

usage: bench/peer_mailing.py LIST BODY SUBJECT OUT

Reads a comma-separated list whose first line names the fields, merges each
record's values into the subject and the plain body ("[[Field Name]]"),
builds the message with the standard library's `email` package (its
classic `MIMEText`, the quicker of its two interfaces) and writes it
as one .eml file per recipient into OUT, as the simulated client does. What
a careful script would add for a mailing it can continue is kept too: the
recipient's line is appended and flushed to a sent list before the next one.
Prints "Peer: N messages in S s".
"""
import csv
import os
import re
import sys
import time
import email.charset
from email.mime.text import MIMEText
from email.utils import formatdate, make_msgid

# UTF-8 text in quoted-printable, as the simulated client writes it.
UTF8_QP = email.charset.Charset("utf-8")
UTF8_QP.body_encoding = email.charset.QP
TOKEN = re.compile(r"\[\[([^\[\]]+)\]\]")


def merge(text, record):
    return TOKEN.sub(lambda m: record.get(m.group(1), m.group(0)), text)


def main():
    list_path, body_path, subject, out = sys.argv[1:5]
    with open(body_path, encoding="utf-8") as f:
        body = f.read()
    os.makedirs(out, exist_ok=True)
    start = time.perf_counter()
    sent = 0
    with open(list_path, newline="", encoding="utf-8") as f, \
            open(os.path.join(out, "sent.txt"), "a", encoding="utf-8") as sent_list:
        reader = csv.DictReader(f)
        address_field = next(name for name in reader.fieldnames if "mail" in name.lower())
        for record in reader:
            message = MIMEText(merge(body, record), "plain", UTF8_QP)
            message["From"] = "Sam Sender <sam.sender@example.com>"
            message["To"] = record[address_field]
            message["Subject"] = merge(subject, record)
            message["Date"] = formatdate(localtime=True)
            message["Message-ID"] = make_msgid(domain="example.com")
            sent += 1
            with open(os.path.join(out, f"{sent:06d}.eml"), "xb") as eml:
                eml.write(message.as_bytes())
            sent_list.write(record[address_field] + "\n")
            sent_list.flush()
    seconds = time.perf_counter() - start
    print(f"Peer: {sent} messages in {seconds:.3f} s")


if __name__ == "__main__":
    main()
