// ./dev demo --web as a user runs it: the sample list with its own files and
// copy addresses, through the pane with the real core.
import { test } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { existsSync, mkdtempSync, readdirSync, readFileSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { basename, join } from "node:path";
import { fileURLToPath } from "node:url";

const web = fileURLToPath(new URL("../../", import.meta.url));

test("the demo mails the extras list: every copy it can, the one it cannot told", () => {
  const out = mkdtempSync(join(tmpdir(), "quorvel-demo-web-"));
  const printed = execFileSync(
    process.execPath,
    [join(web, "build", "standins", "demo.mjs"), "--list", join(web, "..", "examples", "recipients-extras.csv"), "--out", out],
    { encoding: "utf8", timeout: 120_000 },
  );
  assert.match(printed, /Review of recipients-extras\.csv: Records 4, Recipients 3, Skipped 1/);
  assert.match(printed, /an attachment is on another computer.*line 6/);
  assert.match(printed, /Sent: 3\. Not sent: 1\./);
  const sent = readdirSync(join(out, "outbox")).filter((f) => f.endsWith(".eml"));
  assert.equal(sent.length, 3);
  const carla = sent.map((f) => readFileSync(join(out, "outbox", f), "latin1")).find((m) => /^To: carla@cruz\.example\r$/m.test(m))!;
  assert.match(carla, /^Cc: lena@example\.com,\r\n tom@example\.com\r$/m);
  assert.match(carla, /filename="price-list\.txt"/);
  assert.match(carla, /^Subject: Spring news for Carla at Cruz Foods\r$/m);
  for (const log of ["CurrentJob.txt", "JobHistory.txt", "tosent.txt"]) assert.ok(existsSync(join(out, log)), log);
  assert.match(readFileSync(join(out, "CurrentJob.txt"), "utf8"), /Not sent: line 6, the attachment "\\\\fileserver\\shared\\prices\.pdf"/);
  assert.equal(readFileSync(join(out, "tosent.txt"), "utf8").trim().split(/\r?\n/).length, 4);
  for (const shot of ["1-choose", "2-review", "3-sending", "4-summary"]) assert.ok(existsSync(join(out, "screenshots", `${shot}.png`)), shot);
});

// Both doors merge through the same core: the same list mailed by the
// desktop demo and by the add-in gives every recipient the same subject,
// Cc, Bcc, HTML and files, as their mail programs read them. (A local part
// that is not ASCII is left out: Exchange Online refuses it, the desktop's
// SMTP account takes it.)
test("the add-in mails what the desktop door mails, message for message", (t) => {
  const desktop = join(web, "..", "build", "native", "bin", "quorvel-demo");
  if (!existsSync(desktop)) return t.skip("the desktop demo is not built (./dev build native)");
  const work = mkdtempSync(join(tmpdir(), "quorvel-doors-"));
  const utf8 = readFileSync(join(web, "..", "examples", "recipients-utf8.csv"), "utf8").split("\n");
  const ascii = join(work, "recipients-utf8.csv");
  writeFileSync(ascii, utf8.filter((line) => !line.includes("łukasz")).join("\n"));
  const lists = ["recipients-extras.csv", "recipients.xlsx", "recipients-bad-cells.csv"].map((f) => join(web, "..", "examples", f));
  for (const list of [...lists, ascii]) {
    const name = basename(list);
    const [a, b] = [join(work, `${name}-desktop`), join(work, `${name}-web`)];
    execFileSync(desktop, ["--list", list, "--out", a, "--quiet"], { timeout: 120_000 });
    execFileSync(process.execPath, [join(web, "build", "standins", "demo.mjs"), "--list", list, "--out", b], { timeout: 120_000 });
    const compared = execFileSync(join(web, "..", "tools", "compare-door-mailings"), [join(a, "outbox"), join(b, "outbox")], { encoding: "utf8" });
    assert.match(compared, /^the same [1-9]\d* messages/, `${name}: ${compared}`);
  }
});
