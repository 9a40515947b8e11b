// The task pane in headless Chromium, in a page that plays the Office host,
// against the Graph stand-in and a fake core. Screenshots of each step go to
// build/web/screenshots/ at the top of the repository.
import { after, before, test } from "node:test";
import assert from "node:assert/strict";
import { createServer, type Server } from "node:http";
import { existsSync, mkdirSync, mkdtempSync, readdirSync, readFileSync, writeFileSync } from "node:fs";
import { extname, join } from "node:path";
import { tmpdir } from "node:os";
import { fileURLToPath } from "node:url";
import puppeteer, { type Browser, type Page } from "puppeteer-core";
import type { GraphStandin } from "../graph-standin/server.js";
import { cannedCopies } from "./fake-core.js";
import { outboxFiles, startStandin } from "./helpers.js";
import { openPanePage, playOfficeHost } from "../demo/office-page.js";
import type { Review } from "../src/core-types.js";

const web = fileURLToPath(new URL("../../", import.meta.url));
const built = join(web, "build");
const shots = join(web, "..", "build", "web", "screenshots");
const chromium = process.env.CHROMIUM ?? "/usr/bin/chromium";

const copies = cannedCopies(6, (i) =>
  i === 2
    ? { cc: ["boss@example.com"], bcc: ["audit@example.com"], files: ["invoices\\inv 3.txt"], subject: "Hello Cleo" }
    : {},
);
const review: Review = {
  findings: [
    { severity: "warning", line: 5, text: "The address cell has spaces around it; they are left out." },
    { severity: "error", line: 9, text: "No address: the record is skipped." },
  ],
  counts: { records: 7, recipients: 6, skipped: 1 },
  columns: { address: "E-Mail", files: ["Attachments"], cc: ["Cc"], bcc: ["Bcc"] },
  files: [{ name: "invoices\\inv 3.txt", copies: 1, firstLine: 4 }],
  extraAddresses: [
    { address: "boss@example.com", kind: "cc", copies: 1, firstLine: 4 },
    { address: "audit@example.com", kind: "bcc", copies: 1, firstLine: 4 },
  ],
};

const types: Record<string, string> = {
  ".wasm": "application/wasm",
  ".html": "text/html",
  ".js": "text/javascript",
  ".css": "text/css",
  ".png": "image/png",
  ".map": "application/json",
};

let server: Server;
let base = "";
let g: GraphStandin;
let browser: Browser;

before(async () => {
  g = await startStandin();
  server = createServer((req, res) => {
    const path = new URL(req.url ?? "/", "http://x").pathname;
    // Under /real/ the pane has its own core, the WebAssembly data layer;
    // elsewhere the fake one.
    const file = path.startsWith("/real/")
      ? join(built, path.slice("/real".length))
      : path === "/core.js"
        ? join(built, "pane-test", "fake-core.js")
        : join(built, path);
    if (!file.startsWith(built) || !existsSync(file)) {
      res.writeHead(404).end();
      return;
    }
    res.writeHead(200, { "Content-Type": types[extname(file)] ?? "application/octet-stream" }).end(readFileSync(file));
  });
  await new Promise<void>((r) => server.listen(0, "127.0.0.1", r));
  const a = server.address();
  base = `http://127.0.0.1:${typeof a === "object" && a ? a.port : 0}`;
  browser = await launch();
});

function launch(): Promise<Browser> {
  return puppeteer.launch({
    executablePath: chromium,
    headless: true,
    args: ["--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--renderer-process-limit=1"],
  });
}

after(async () => {
  await browser?.close();
  server?.close();
  await g?.close();
});

async function openPane(
  b: Browser = browser,
  graph: GraphStandin = g,
  setup: { copies: typeof copies; review: Review } = { copies, review },
  office: Record<string, unknown> = {},
  where = "",
): Promise<Page> {
  const g = graph;
  const page = await b.newPage();
  await page.setViewport({ width: 420, height: 900 });
  await page.exposeFunction("issueToken", () => g.issueToken());
  await page.evaluateOnNewDocument(
    (graphBaseUrl, setup, office) => {
      const w = window as unknown as Record<string, unknown>;
      w.quorvelConfig = { graphBaseUrl, settleDelayMs: 0 };
      w.fakeCoreSetup = setup;
      w.officeStandin = {
        subject: "Hello [[Name]]",
        body: "<p>Dear [[Name]],</p>",
        bodyType: "html",
        attachments: [{ name: "terms.txt", contentType: "text/plain", base64: btoa("Terms and conditions") }],
        user: "sender@contoso.example",
        dialog: async () =>
          JSON.stringify({ ok: true, accessToken: await (w.issueToken as () => Promise<string>)(), expiresOn: Date.now() + 3600_000 }),
        ...office,
      };
    },
    g.url,
    setup,
    office,
  );
  // The host's Office.js is the stand-in.
  const errors = await playOfficeHost(page, built);
  await openPanePage(page, `${base}${where}/taskpane.html`);
  assert.deepEqual(errors, []);
  return page;
}

const dir = mkdtempSync(join(tmpdir(), "quorvel-pane-"));
writeFileSync(join(dir, "list.csv"), "Name,E-Mail\r\nAnn,ann@example.com\r\n");
mkdirSync(join(dir, "files", "invoices"), { recursive: true });
writeFileSync(join(dir, "files", "invoices", "inv 3.txt"), "Invoice 3");

async function chooseList(page: Page): Promise<void> {
  const upload = async (sel: string, path: string) =>
    ((await page.$(sel)) as unknown as { uploadFile(...p: string[]): Promise<void> }).uploadFile(path);
  await upload("#folder", join(dir, "files"));
  await upload("#list", join(dir, "list.csv"));
  await page.waitForSelector("#review:not([hidden])");
}

// Two a minute, so the browser is killed with two copies sent and the rest
// to go.
async function sendTwoAndKill(page: Page, b: Browser): Promise<void> {
  await page.$eval("#per-minute", (e) => ((e as HTMLInputElement).value = "2"));
  await page.click("#start");
  await page.waitForFunction(() => document.getElementById("sent")!.textContent === "2");
  b.process()!.kill("SIGKILL");
  await new Promise((r) => b.process()!.once("exit", r));
}

const text = (page: Page, sel: string) => page.$eval(sel, (e) => (e as HTMLElement).innerText);
const shoot = (page: Page, name: string) => page.screenshot({ path: join(shots, `${name}.png`), fullPage: true });

test("choose, review, preview, test, send with a pause, summary and logs", async () => {
  mkdirSync(shots, { recursive: true });
  // The signature's logo, pasted in Outlook: inline, shown by "cid:" and its
  // name with a unique part, which Office.js does not give with the file.
  const page = await openPane(browser, g, { copies, review }, {
    body: `<p>Dear [[Name]],</p><img src="cid:logo.png@01DA2B3C.4D5E6F70">`,
    attachments: [
      { name: "terms.txt", contentType: "text/plain", base64: btoa("Terms and conditions") },
      { name: "logo.png", contentType: "image/png", base64: btoa("PNG"), isInline: true },
    ],
  });
  await shoot(page, "1-choose");
  await chooseList(page);
  assert.match(await text(page, "#counts"), /Recipients\s+6/);
  assert.match(await text(page, "#findings"), /No address: the record is skipped\./);
  await page.select("#recipient", "2");
  assert.equal(await text(page, "#pv-cc"), "boss@example.com");
  assert.equal(await text(page, "#pv-bcc"), "audit@example.com");
  assert.equal(await text(page, "#pv-files"), "terms.txt; logo.png; invoices\\inv 3.txt");
  assert.equal(await text(page, "#pv-subject"), "Hello Cleo");
  await shoot(page, "2-review");

  await page.click("#test-self");
  await page.waitForFunction(() => /went to/.test(document.getElementById("test-note")!.textContent ?? ""));
  const test = outboxFiles(g);
  assert.equal(test.length, 1);
  assert.match(test[0]!, /^To: sender@contoso\.example\r$/m);

  // Slow enough to be caught paused: two a minute lets two go at once.
  await page.$eval("#per-minute", (e) => ((e as HTMLInputElement).value = "2"));
  await page.click("#start");
  await page.waitForFunction(() => document.getElementById("sent")!.textContent === "2");
  await page.click("#pause");
  await page.waitForFunction(() => document.getElementById("state")!.textContent === "Paused");
  await shoot(page, "3-sending-paused");
  // Resume with the pace raised: the rest go at once.
  await page.$eval("#per-minute", (e) => {
    (e as HTMLInputElement).value = "1000";
    e.dispatchEvent(new Event("change"));
  });
  await page.click("#resume");
  await page.waitForSelector("#summary:not([hidden])", { timeout: 60_000 });
  assert.match(await text(page, "#summary-text"), /Every copy was sent\. Sent: 6\./);
  await shoot(page, "4-summary");

  const sent = outboxFiles(g).slice(1);
  assert.equal(sent.length, 6);
  const cleo = sent.find((f) => /^Cc: boss@example\.com\r$/m.test(f))!;
  assert.match(cleo, /^Bcc: audit@example\.com\r$/m);
  assert.match(cleo, /filename="inv 3\.txt"/);
  assert.match(cleo, /filename="terms\.txt"/);
  assert.match(cleo, /^Content-ID: <logo\.png@01DA2B3C\.4D5E6F70>\r$/m, "the logo keeps the place its body shows it by");

  const downloads = mkdtempSync(join(tmpdir(), "quorvel-logs-"));
  const cdp = await page.createCDPSession();
  await cdp.send("Browser.setDownloadBehavior", { behavior: "allow", downloadPath: downloads });
  for (const id of ["#log-current", "#log-history", "#log-sent"]) await page.click(id);
  for (let i = 0; i < 50 && readdirSync(downloads).filter((f) => f.endsWith(".txt")).length < 3; i++) {
    await new Promise((r) => setTimeout(r, 100));
  }
  assert.deepEqual(readdirSync(downloads).sort(), ["CurrentJob.txt", "JobHistory.txt", "tosent.txt"]);
  assert.match(readFileSync(join(downloads, "CurrentJob.txt"), "utf8"), /Sent: person1@example\.com/);
  await page.close();
});

test("the browser killed mid-mailing, continued in another: everyone once, nothing twice", async () => {
  const mailbox = await startStandin();
  const first = await launch();
  const page = await openPane(first, mailbox);
  await chooseList(page);
  await sendTwoAndKill(page, first);
  assert.equal(outboxFiles(mailbox).length, 2);

  // A fresh profile: nothing of the first browser's storage is left.
  const second = await launch();
  try {
    const again = await openPane(second, mailbox);
    await chooseList(again);
    await again.click("#start");
    await again.waitForSelector("#summary:not([hidden])", { timeout: 60_000 });
    assert.match(await text(again, "#summary-text"), /Sent: 4 \(and 2 by earlier runs\)/);
    const to = outboxFiles(mailbox).map((f) => f.match(/^To: (.*)\r$/m)![1]);
    assert.equal(to.length, 6);
    assert.equal(new Set(to).size, 6);
    assert.equal(mailbox.inFolder("drafts").length, 0);
  } finally {
    await second.close();
    await mailbox.close();
  }
});

test("a refused list cannot be sent; a closed sign-in window leaves the review with the reason", async () => {
  const refused = await openPane(browser, g, {
    copies: [],
    review: { ...review, refused: "The list has no column of e-mail addresses.", counts: { records: 3, recipients: 0, skipped: 3 } },
  });
  await chooseList(refused);
  assert.equal(await text(refused, "#refused"), "The list has no column of e-mail addresses.");
  assert.equal(await refused.$eval("#start", (b) => (b as HTMLButtonElement).disabled), true);
  assert.equal(await refused.$eval("#test-self", (b) => (b as HTMLButtonElement).disabled), true);
  await refused.close();

  const closed = await openPane(browser, g, { copies, review }, { dialogClosed: true });
  await chooseList(closed);
  await closed.click("#start");
  await closed.waitForFunction(() => /Error/.test(document.getElementById("test-note")!.textContent ?? ""));
  assert.equal(await text(closed, "#test-note"), "Error: The sign-in window was closed.");
  assert.equal(await closed.$eval("#sending", (e) => (e as HTMLElement).hidden), true);
  assert.equal(await text(closed, "#state"), "Not Running");
  await closed.close();
});

test("a start in the future waits, says until when, and a cancel goes back to the review", async () => {
  const mailbox = await startStandin();
  const page = await openPane(browser, mailbox);
  await chooseList(page);
  await page.$eval("#schedule", (e) => {
    // Forty days: more than a browser timer holds in one go.
    const at = new Date(Date.now() + 40 * 24 * 3600_000);
    const local = new Date(at.getTime() - at.getTimezoneOffset() * 60_000).toISOString().slice(0, 16);
    (e as HTMLInputElement).value = local;
  });
  await page.click("#start");
  await page.waitForFunction(() => document.getElementById("state")!.textContent === "Waiting");
  assert.match(await text(page, "#status"), /^Waiting until .*\. Keep this pane open: the mailing starts from it\.$/);
  await shoot(page, "7-waiting");
  await new Promise((r) => setTimeout(r, 500));
  assert.equal(await text(page, "#state"), "Waiting");
  await page.click("#cancel");
  await page.waitForSelector("#review:not([hidden])");
  assert.equal(await text(page, "#state"), "Not Running");
  assert.equal(outboxFiles(mailbox).length, 0);
  await page.close();
  await mailbox.close();
});

test("the real core: a list and its folder reviewed, the browser killed, the list edited and continued: everyone once", async () => {
  const lists = mkdtempSync(join(tmpdir(), "quorvel-real-"));
  mkdirSync(join(lists, "files", "invoices"), { recursive: true });
  writeFileSync(join(lists, "files", "invoices", "inv 3.txt"), "Invoice 3");
  const list = join(lists, "list.csv");
  writeFileSync(
    list,
    "Name,E-Mail,Attachment,Cc,Bcc\r\n" +
      "Ann,ann@example.com,,,\r\n" +
      "Bob,,,,\r\n" +
      "Cleo,cleo@example.com,invoices\\inv 3.txt,boss@example.com,audit@example.com\r\n" +
      "Dan,dan@example.com,,,\r\n" +
      "Eve,eve@example.com,,,\r\n" +
      "Fay,fay@example.com,,,\r\n",
  );
  const choose = async (page: Page) => {
    const upload = async (sel: string, path: string) =>
      ((await page.$(sel)) as unknown as { uploadFile(...p: string[]): Promise<void> }).uploadFile(path);
    await upload("#folder", join(lists, "files"));
    await upload("#list", list);
    await page.waitForSelector("#review:not([hidden])");
  };
  const mailbox = await startStandin();
  const first = await launch();
  let second: Browser | null = null;
  let itemProperties = "{}";
  try {
    const page = await openPane(first, mailbox, undefined, {}, "/real");
    await page.exposeFunction("officeStandinSaved", (json: string) => {
      itemProperties = json;
    });
    await choose(page);
    assert.match(await text(page, "#counts"), /Recipients\s+5/);
    assert.match(await text(page, "#findings"), /no e-mail address and will not be mailed: line 3/);
    await page.select("#recipient", "1");
    assert.equal(await text(page, "#pv-cc"), "boss@example.com");
    assert.equal(await text(page, "#pv-bcc"), "audit@example.com");
    assert.equal(await text(page, "#pv-subject"), "Hello Cleo");
    assert.match(await text(page, "#pv-files"), /invoices\/inv 3\.txt/);
    mkdirSync(shots, { recursive: true });
    await shoot(page, "5-review-real-core");
    await sendTwoAndKill(page, first);
  assert.equal(outboxFiles(mailbox).length, 2);

  // Saved again by a spreadsheet: quoted, reordered, a recipient added.
  writeFileSync(
    list,
    '"Name","E-Mail","Attachment","Cc","Bcc"\r\n"Gus","gus@example.com","","",""\r\n' +
      '"Fay","fay@example.com","","",""\r\n"Eve","eve@example.com","","",""\r\n' +
      '"Dan","DAN@example.com ","","",""\r\n"Cleo","cleo@example.com","invoices\\inv 3.txt","boss@example.com","audit@example.com"\r\n' +
      '"Ann","ann@example.com","","",""\r\n',
  );
    // The same composed message: its custom properties as the first pane saved them.
    second = await launch();
    const again = await openPane(second, mailbox, undefined, { customProperties: JSON.parse(itemProperties) }, "/real");
    await choose(again);
    await again.click("#start");
    await again.waitForSelector("#summary:not([hidden])", { timeout: 60_000 });
    const sent = outboxFiles(mailbox);
    const to = sent.map((f) => f.match(/^To: (.*)\r$/m)![1]!.toLowerCase());
    assert.deepEqual([...to].sort(), ["ann@example.com", "cleo@example.com", "dan@example.com", "eve@example.com", "fay@example.com", "gus@example.com"]);
    const cleo = sent.find((f) => /^To: cleo@example\.com\r$/m.test(f))!;
    assert.match(cleo, /filename="inv 3\.txt"/);
    assert.match(cleo, /^Bcc: audit@example\.com\r$/m);
    assert.equal(mailbox.inFolder("drafts").length, 0);
  } finally {
    if (first.process()?.exitCode === null) await first.close().catch(() => {});
    await second?.close();
    await mailbox.close();
  }
});

test("the real core: a workbook's sheet and its hidden rows chosen in the review", async () => {
  // Written by openpyxl when the core is built (tests/workbook/make-workbooks).
  const people = join(web, "..", "build", "wasm", "workbooks", "people.xlsx");
  const page = await openPane(browser, g, undefined, {}, "/real");
  try {
    ((await page.$("#list")) as unknown as { uploadFile(...p: string[]): Promise<void> }).uploadFile(people);
    await page.waitForSelector("#review:not([hidden])");
    assert.match(await text(page, "#counts"), /Recipients\s+4/);
    assert.equal(await page.$eval("#sheet", (e) => (e as HTMLSelectElement).value), "People");
    assert.match(await text(page, "#sheet-box"), /2 rows are hidden in the sheet and left out/);
    // The cell whose format is not reproduced is named, as the desktop review names it.
    assert.match(await text(page, "#workbook-notes"), /^Shown in the General form, .*: column E from line 6\.$/);
    mkdirSync(shots, { recursive: true });
    await shoot(page, "8-review-workbook-notes");
    await page.click("#include-hidden");
    await page.waitForFunction(() => /Recipients\s+6/.test(document.getElementById("counts")!.innerText));
    assert.doesNotMatch(await text(page, "#sheet-box"), /left out/);
    await page.select("#sheet", "Más");
    await page.waitForFunction(() => /Recipients\s+2/.test(document.getElementById("counts")!.innerText));
    assert.equal(await text(page, "#pv-subject"), "Hello Eva");
    assert.equal(await text(page, "#choose-note"), "people.xlsx: 2 recipients.");
    assert.equal(await text(page, "#workbook-notes"), "");
    await shoot(page, "6-review-workbook-sheet");
  } finally {
    await page.close();
  }
});
