// The pane's core as the pane uses it: the data layer built as WebAssembly
// (build/wasm/bin/quorvel-core.wasm, from ./dev build wasm), loaded through
// the browser's WASI shim, with lists and folders as the pane hands them over.
import { describe, test } from "node:test";
import assert from "node:assert/strict";
import { existsSync, readFileSync } from "node:fs";
import { fileURLToPath } from "node:url";
import { loadCore } from "../src/core.js";
import type { ComposedMessage, Core } from "../src/core-types.js";

const wasm = fileURLToPath(new URL("../../../build/wasm/bin/quorvel-core.wasm", import.meta.url));
// Written by openpyxl when the core is built (tests/workbook/make-workbooks):
// a hidden sheet, "People" with two rows hidden, and "Más".
const people = fileURLToPath(new URL("../../../build/wasm/workbooks/people.xlsx", import.meta.url));
const utf8 = (text: string) => new TextEncoder().encode(text);
const composed: ComposedMessage = {
  subject: "Invoice for [[Name]]",
  body: "<p>Dear [[Name]],</p>",
  bodyType: "html",
  text: "Dear [[Name]],",
  attachments: [],
};

function core(): Core {
  assert.ok(existsSync(wasm), `${wasm} is missing: build it with ./dev build wasm`);
  return loadCore(readFileSync(wasm));
}

describe("the WebAssembly core", () => {
  test("a list in UTF-16 with its folder: review, preview and copies", () => {
    const list =
      "Name\tE-Mail\tAttachment\tCc\r\n" +
      "Zoë\tzoe@example.com\tinvoices\\inv 7.pdf\tboss@example.com\r\n" +
      "Bob\t\t\t\r\n" +
      "Cid\tcid@example.com\tinvoices\\missing.pdf\t\r\n" +
      "Ann\tann@example.com\t\t\r\n";
    const bytes = new Uint8Array([0xff, 0xfe, ...new Uint8Array(new Uint16Array([...list].map((c) => c.charCodeAt(0))).buffer)]);
    const folder = new Map([["invoices/inv 7.pdf", { size: 2048 }]]);
    const session = core().open(bytes, "list.txt", composed, undefined, folder);
    const review = session.review();
    assert.equal(review.refused, undefined);
    assert.deepEqual(review.counts, { records: 4, recipients: 2, skipped: 2 });
    assert.deepEqual(review.columns, { address: "E-Mail", files: ["Attachment"], cc: ["Cc"], bcc: [] });
    assert.deepEqual(review.files, [{ name: "invoices/inv 7.pdf", copies: 1, firstLine: 2 }]);
    assert.deepEqual(review.extraAddresses, [{ address: "boss@example.com", kind: "cc", copies: 1, firstLine: 2 }]);
    assert.ok(review.findings.some((f) => f.severity === "error" && /line 3/.test(f.text)), JSON.stringify(review.findings));
    assert.ok(review.findings.some((f) => /missing\.pdf/.test(f.text)));

    const copies = [...session.copies()];
    assert.deepEqual(
      copies.map((c) => [c.recipient, c.key, c.subject, c.files, c.cc]),
      [
        ["zoe@example.com", "zoe@example.com#1", "Invoice for Zoë", ["invoices/inv 7.pdf"], ["boss@example.com"]],
        ["ann@example.com", "ann@example.com#1", "Invoice for Ann", [], []],
      ],
    );
    // Cid's file is not in the folder: told as not sent, never lost in silence.
    assert.deepEqual(
      session.notSent().map((n) => [n.line, n.recipient]),
      [[4, "cid@example.com"]],
    );
    assert.match(session.notSent()[0]!.reason, /^Not sent: line 4, the attachment ".*missing\.pdf" cannot be found$/);
    assert.equal(copies[0]!.body, "<p>Dear Zoë,</p>");
    assert.equal(copies[0]!.bodyType, "html");
    const preview = session.preview(1);
    assert.deepEqual(preview.to, ["ann@example.com"]);
  });

  test("a long list grows the core's memory and is read whole", () => {
    const rows = Array.from({ length: 20_000 }, (_, i) => `Person ${i},p${i}@example.com,${"x".repeat(200)}`);
    const session = core().open(utf8(`Name,E-Mail,Note\n${rows.join("\n")}\n`), "long.csv", composed);
    assert.equal(session.review().counts.recipients, 20_000);
    let n = 0;
    let last = "";
    for (const c of session.copies()) {
      n += 1;
      last = c.recipient;
    }
    assert.equal(n, 20_000);
    assert.equal(last, "p19999@example.com");
  });

  test("a list that cannot be mailed is refused with the reason", () => {
    const c = core();
    assert.match(c.open(utf8("Name,No\nAnn,1\n"), "a.csv", composed).review().refused ?? "", /no field for the e-mail address/);
    const nul = c.open(utf8("Name,E-Mail\nAnn,a@example.com\nB\0b,b@example.com\n"), "b.csv", composed).review();
    assert.match(nul.refused ?? "", /line 3 \(a NUL character\)/);
  });

  test("formulas a library saved without their results are named in the review", () => {
    const c = core();
    const bytes = new Uint8Array(readFileSync(people.replace("people.xlsx", "uncomputed.xlsx")));
    const s = c.open(bytes, "uncomputed.xlsx", composed);
    assert.deepEqual(s.review().workbook?.notes, [
      "Formulas the workbook holds no result of (the program that wrote it does not compute them; " +
        "open the workbook in a spreadsheet program and save it): column C from line 2, column D from line 3.",
    ]);
  });

  test("a workbook's sheet and hidden rows as the review picks them, kept for the continued mailing", () => {
    const c = core();
    const bytes = new Uint8Array(readFileSync(people));
    const first = c.open(bytes, "people.xlsx", composed);
    const review = first.review();
    assert.deepEqual(review.workbook, {
      sheets: ["Old list", "People", "Más"],
      sheet: "People",
      hiddenRows: 2,
      includeHidden: false,
      notes: ["Shown in the General form, their number format not being one Quorvel reproduces: column E from line 6."],
    });
    assert.deepEqual([...first.copies()].map((x) => x.recipient), ["ann@example.com", "bo@example.com", "cy@example.com", "di@example.com"]);

    const all = c.open(bytes, "people.xlsx", composed, undefined, undefined, { sheet: "People", includeHidden: true });
    assert.deepEqual(all.review().workbook, {
      sheets: ["Old list", "People", "Más"],
      sheet: "People",
      hiddenRows: 0,
      includeHidden: true,
      notes: ["Shown in the General form, their number format not being one Quorvel reproduces: column E from line 6."],
    });
    assert.equal([...all.copies()].length, 6);

    const other = c.open(bytes, "people.xlsx", composed, undefined, undefined, { sheet: "Más", includeHidden: false });
    const copies = [...other.copies()];
    assert.deepEqual(copies.map((x) => x.recipient), ["eva@example.com", "fay@example.com"]);
    other.ledger.mark(copies[0]!.index, "sent");
    // Continued with no pick (another browser, the pane opened afresh): the
    // sheet the mailing read, not the first visible one, and only who is left.
    const continued = c.open(bytes, "people.xlsx", composed, other.ledger.save());
    assert.equal(continued.review().workbook?.sheet, "Más");
    assert.deepEqual([...continued.copies()].map((x) => x.recipient), ["fay@example.com"]);
    // A sheet no longer in the workbook: the first visible one, as the review shows.
    const gone = c.open(bytes, "people.xlsx", composed, undefined, undefined, { sheet: "Deleted", includeHidden: false });
    assert.equal(gone.review().workbook?.sheet, "People");
  });

  test("continued after an edit: the sent list decides, the copy in doubt keeps its name", () => {
    const c = core();
    const first = c.open(
      utf8("Name,E-Mail\nAnn,ann@example.com\nBob,bob@example.com\nCid,cid@example.com\nDee,dee@example.com\n"),
      "list.csv",
      composed,
    );
    const copies = [...first.copies()];
    first.ledger.mark(copies[0]!.index, "sent");
    first.ledger.mark(copies[1]!.index, "sent");
    first.ledger.mark(copies[2]!.index, "handedOver"); // the run died waiting for its answer
    const saved = first.ledger.save();
    assert.equal(first.logs().toSent, "Name,E-Mail\r\nAnn,ann@example.com\r\nBob,bob@example.com\r\n");

    // Saved again by a spreadsheet: quoted, reordered, a blank, a row added.
    const edited = '"Name","E-Mail"\r\n"Eve","eve@example.com"\r\n"Cid","cid@example.com"\r\n"Bob","BOB@example.com "\r\n"Dee","dee@example.com"\r\n"Ann","ann@example.com"\r\n';
    const again = c.open(utf8(edited), "list.csv", composed, saved);
    const review = again.review();
    assert.equal(review.counts.recipients, 3);
    const left = [...again.copies()];
    assert.deepEqual(left.map((x) => x.recipient), ["eve@example.com", "cid@example.com", "dee@example.com"]);
    // Cid's copy may have gone: the sender looks it up before anything else.
    assert.equal(again.ledger.state(left[1]!.index), "handedOver");
    assert.equal(again.ledger.state(left[0]!.index), undefined);
    assert.equal(again.ledger.mailingId, first.ledger.mailingId);
  });
});
