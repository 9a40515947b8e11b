#!/usr/bin/env python3
"""Prints what reading a list straight from a workbook costs.

usage: bench/workbook_figures.py <bench build folder> [--rows N] [--peer-rows N]
       bench/workbook_figures.py --write FILE [--rows N]
       (tools/run-benchmarks calls it after its other figures; --write only
       writes the workbook, for a profiler: valgrind --tool=callgrind
       build/bench/bin/qv-count-list FILE counts its instructions)

A workbook of N rows (default 1,048,576, a whole sheet: the header and
1,048,575 records) and 8 columns is written as Excel writes one: every text
in the shared-string table (names, companies and cities repeated, every
address and code its own), a date and an amount as numbers in their formats,
the parts deflated. Then, side by side in this run:
  - the counting pass over it (qv-count-list, best of 3): seconds, rows a
    second, and the process's peak resident set, next to the same pass over
    a workbook of 1,000 rows: the difference is what the rows cost beyond
    the shared-string table, which must be held whole;
  - openpyxl (Debian's python3-openpyxl) in read-only mode iterating the
    same rows, values only, as a script reading the workbook would: once
    over the first --peer-rows rows (default: all of them), its rate
    compared with the counting pass's.
Nothing is asserted: the figures are printed (aims: the whole sheet within
3 s; memory within the shared-string table plus 16 MB; at least 20 times
openpyxl's rate).
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

FIRST = ["Ann", "Bo", "Cy", "Dee", "Eva", "Fay", "Gus", "Hal", "Ida", "Jo", "Kim", "Lee", "Mia",
         "Ned", "Oda", "Pia", "Quin", "Ray", "Sue", "Tom", "Una", "Vic", "Wes", "Xia", "Yul", "Zoe"]
LAST = ["Archer", "Baker", "Cruz", "Dunn", "Ellis", "Frost", "Grant", "Hale", "Irwin", "Jones",
        "Klein", "Lopez", "Moore", "Nash", "Olsen", "Price", "Quinn", "Reyes", "Stone", "Tran"]
CITIES = ["Zürich", "Αθήνα", "Kraków", "São Paulo", "København", "Malmö", "Ōsaka", "Reykjavík"]
HEADER = ["First Name", "Last Name", "Company", "E-Mail", "City", "Joined", "Amount", "Code"]


def column(i):
    return "ABCDEFGH"[i]


def escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def write_workbook(path, rows):
    """An .xlsx of `rows` rows laid out as Excel lays one out; returns the
    shared-string table's size in bytes (its XML)."""
    strings, index = [], {}

    def sst(text):
        if text not in index:
            index[text] = len(strings)
            strings.append(text)
        return index[text]

    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        z.writestr("[Content_Types].xml",
                   '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                   '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
                   '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
                   '<Default Extension="xml" ContentType="application/xml"/>'
                   '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
                   '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
                   '<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>'
                   '<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>'
                   '</Types>')
        z.writestr("_rels/.rels",
                   '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                   '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                   '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>'
                   '</Relationships>')
        z.writestr("xl/workbook.xml",
                   '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                   '<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
                   'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">'
                   '<sheets><sheet name="Recipients" sheetId="1" r:id="rId1"/></sheets></workbook>')
        z.writestr("xl/_rels/workbook.xml.rels",
                   '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                   '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                   '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>'
                   '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>'
                   '<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>'
                   '</Relationships>')
        # Style 1: a date (built-in format 14); style 2: #,##0.00 (built-in 4).
        z.writestr("xl/styles.xml",
                   '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                   '<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
                   '<fonts count="1"><font><sz val="11"/><name val="Calibri"/></font></fonts>'
                   '<fills count="1"><fill><patternFill patternType="none"/></fill></fills>'
                   '<borders count="1"><border/></borders>'
                   '<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>'
                   '<cellXfs count="3"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/>'
                   '<xf numFmtId="14" fontId="0" fillId="0" borderId="0" xfId="0" applyNumberFormat="1"/>'
                   '<xf numFmtId="4" fontId="0" fillId="0" borderId="0" xfId="0" applyNumberFormat="1"/>'
                   '</cellXfs></styleSheet>')
        with z.open("xl/worksheets/sheet1.xml", "w", force_zip64=True) as sheet:
            sheet.write(b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                        b'<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
                        + f'<dimension ref="A1:H{rows}"/>'.encode() + b"<sheetData>")
            chunk = ['<row r="1">' + "".join(
                f'<c r="{column(i)}1" t="s"><v>{sst(h)}</v></c>' for i, h in enumerate(HEADER))
                + "</row>"]
            for r in range(2, rows + 1):
                n = r - 1
                first, last = FIRST[n % len(FIRST)], LAST[n % len(LAST)]
                texts = (first, last, f"Company {n % 97}", f"{first.lower()}.{n}@example.com",
                         CITIES[n % len(CITIES)])
                cells = "".join(f'<c r="{column(i)}{r}" t="s"><v>{sst(t)}</v></c>'
                                for i, t in enumerate(texts))
                cells += (f'<c r="F{r}" s="1"><v>{40000 + n % 9000}</v></c>'
                          f'<c r="G{r}" s="2"><v>{n * 7 % 100000 / 4}</v></c>'
                          f'<c r="H{r}" t="s"><v>{sst(f"{n % 1000000:06d}")}</v></c>')
                chunk.append(f'<row r="{r}">{cells}</row>')
                if len(chunk) >= 10000:
                    sheet.write("".join(chunk).encode())
                    chunk = []
            sheet.write(("".join(chunk) + "</sheetData></worksheet>").encode())
        table = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                 '<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
                 f'count="{len(strings)}" uniqueCount="{len(strings)}">'
                 + "".join(f"<si><t>{escape(s)}</t></si>" for s in strings) + "</sst>").encode()
        with z.open("xl/sharedStrings.xml", "w", force_zip64=True) as f:
            f.write(table)
    return len(table), len(strings)


def count_list(tool, path):
    """(recipients, seconds, peak KiB) of one counting pass in its own process."""
    started = time.perf_counter()
    out = subprocess.run([tool, path], stdout=subprocess.PIPE, check=True, text=True).stdout
    seconds = time.perf_counter() - started
    count, kb = (int(x) for x in out.split())
    return count, seconds, kb


def openpyxl_rows(path, limit):
    """(rows with an address, seconds) of openpyxl's read-only iteration."""
    script = (
        "import sys, time, warnings, openpyxl\n"
        "warnings.simplefilter('ignore')  # no default style: openpyxl's own is applied\n"
        "start = time.perf_counter()\n"
        "wb = openpyxl.load_workbook(sys.argv[1], read_only=True)\n"
        "n = 0\n"
        "for i, row in enumerate(wb.active.iter_rows(values_only=True)):\n"
        "    if i >= int(sys.argv[2]): break\n"
        "    if i and row[3] and '@' in row[3]: n += 1\n"
        "print(n, time.perf_counter() - start)\n")
    # Debian's own Python, whose python3-openpyxl the set-up installs.
    out = subprocess.run(["/usr/bin/python3", "-c", script, path, str(limit)],
                         stdout=subprocess.PIPE, check=True, text=True).stdout.split()
    return int(out[0]), float(out[1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?")
    parser.add_argument("--rows", type=int, default=1048576)
    parser.add_argument("--peer-rows", type=int, default=0)
    parser.add_argument("--write", metavar="FILE")
    args = parser.parse_args()
    if args.write:
        table, unique = write_workbook(args.write, args.rows)
        print(f"{args.write}: {args.rows:,} rows, shared strings {unique:,} ({table / 2**20:.1f} MiB of XML)")
        return
    if not args.build:
        parser.error("the bench build folder is needed")
    tool = os.path.join(args.build, "bin", "qv-count-list")
    if not os.access(tool, os.X_OK):
        sys.exit(f"workbook_figures: {tool} is not built")
    shm = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None
    tmp = tempfile.mkdtemp(prefix="qv-workbook-", dir=shm)
    try:
        print(f"== A workbook of {args.rows:,} rows and 8 columns, as Excel lays it out")
        big, small = os.path.join(tmp, "big.xlsx"), os.path.join(tmp, "small.xlsx")
        started = time.perf_counter()
        table, unique = write_workbook(big, args.rows)
        write_workbook(small, 1000)
        print(f"  written in {time.perf_counter() - started:.1f} s: {os.path.getsize(big) / 1e6:.1f} MB,"
              f" shared strings {unique:,} ({table / 2**20:.1f} MiB of XML)")

        runs = [count_list(tool, big) for _ in range(3)]
        count, seconds, kb = min(runs, key=lambda r: r[1])
        _, _, small_kb = count_list(tool, small)
        print("\n== Figures of a list read from a workbook")
        print(f"  counting pass: {count:,} recipients in {seconds:.2f} s (best of 3),"
              f" {count / seconds / 1e6:.2f} million rows a second (aim: the whole sheet within 3 s)")
        print(f"  peak memory: {kb / 1024:.1f} MiB, against {small_kb / 1024:.1f} MiB for 1,000 rows:"
              f" {(kb - small_kb) / 1024:+.1f} MiB for the rows and their"
              f" {table / 2**20:.1f} MiB shared-string table"
              f" (aim: within the table plus 16 MB)")
        peer_rows = args.peer_rows or args.rows
        mailed, peer_seconds = openpyxl_rows(big, peer_rows)
        peer_rate = peer_rows / peer_seconds
        print(f"  openpyxl, read-only, values only: {peer_rows:,} rows ({mailed:,} addresses) in"
              f" {peer_seconds:.1f} s, {peer_rate / 1e3:.0f} thousand rows a second;"
              f" the counting pass is {count / seconds / peer_rate:.0f} times as fast (aim: at least 20)")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    main()
