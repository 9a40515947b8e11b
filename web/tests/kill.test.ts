// The browser killed at random points of a mailing, with the real core, each
// time continued: in the same browser profile (its storage as the kill left
// it) or in a fresh one (another machine). The Graph stand-in takes a while
// to show a sent message in Sent Items, as the service does, so a copy sent
// just before a kill is in neither Drafts nor Sent Items when the next run
// starts. QUORVEL_KILL_SEED repeats a sequence of kill times.
import { after, before, test } from "node:test";
import assert from "node:assert/strict";
import type { Server } from "node:http";
import { mkdtempSync, rmSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { tmpdir } from "node:os";
import { fileURLToPath } from "node:url";
import puppeteer, { type Browser, type Page } from "puppeteer-core";
import { outboxFiles, startStandin } from "./helpers.js";
import { openPanePage, playOfficeHost, serveBuilt } from "../demo/office-page.js";
import type { GraphStandin } from "../graph-standin/server.js";

const built = join(fileURLToPath(new URL("../../", import.meta.url)), "build");
const chromium = process.env.CHROMIUM ?? "/usr/bin/chromium";

// How long the stand-in takes to move a sent message to Sent Items, and the
// pane's wait for it: longer.
const SENT_ITEMS_DELAY_MS = 2000;
const SETTLE_DELAY_MS = 2500;
const RECIPIENTS = 40;
// Each request takes this long: a run of the whole list about two seconds.
const LATENCY_MS = 40;
const KILLS = 6;

let server: Server;
let base = "";

before(async () => {
  ({ server, base } = await serveBuilt(built));
});

after(() => server?.close());

// mulberry32: a small seeded generator, so a failing sequence can be run again.
function random(seed: number): () => number {
  let s = seed >>> 0;
  return () => {
    s = (s + 0x6d2b79f5) >>> 0;
    let t = s;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

async function openPane(
  b: Browser,
  g: GraphStandin,
  customProperties: Record<string, string>,
  saved: (json: string) => void,
  given?: Page,
): Promise<Page> {
  const page = given ?? (await b.newPage());
  await page.exposeFunction("issueToken", () => g.issueToken());
  await page.exposeFunction("officeStandinSaved", saved);
  await page.evaluateOnNewDocument(
    (graphBaseUrl, settleDelayMs, customProperties) => {
      const w = window as unknown as Record<string, unknown>;
      w.quorvelConfig = { graphBaseUrl, settleDelayMs };
      w.officeStandin = {
        subject: "Hello [[Name]]",
        body: "<p>Dear [[Name]],</p>",
        bodyType: "html",
        attachments: [],
        user: "sender@contoso.example",
        customProperties,
        dialog: async () =>
          JSON.stringify({ ok: true, accessToken: await (w.issueToken as () => Promise<string>)(), expiresOn: Date.now() + 3600_000 }),
      };
    },
    g.url,
    SETTLE_DELAY_MS,
    customProperties,
  );
  const errors = await playOfficeHost(page, built);
  await openPanePage(page, `${base}/taskpane.html`);
  assert.deepEqual(errors, []);
  return page;
}

test("killed at random points and continued, in the same profile or another: everyone once, at most one in doubt a kill", async () => {
  const seed = Number(process.env.QUORVEL_KILL_SEED ?? Date.now() % 1_000_000);
  const next = random(seed);
  const why = `QUORVEL_KILL_SEED=${seed}`;
  const dir = mkdtempSync(join(tmpdir(), "quorvel-kill-"));
  const list = join(dir, "list.csv");
  const people = Array.from({ length: RECIPIENTS }, (_, i) => `person${String(i + 1).padStart(2, "0")}@example.com`);
  writeFileSync(list, "Name,E-Mail\r\n" + people.map((p, i) => `P${i + 1},${p}\r\n`).join(""));
  const profile = join(dir, "profile");
  const mailbox = await startStandin({ sentItemsDelayMs: SENT_ITEMS_DELAY_MS, latencyMs: LATENCY_MS });
  let item: Record<string, string> = {};
  let done = false;
  const kills: number[] = [];
  try {
    for (let run = 0; run <= KILLS && !done; run++) {
      // Every other run in a fresh profile: a browser whose storage has no ledger.
      const fresh = run % 2 === 1;
      if (fresh) rmSync(join(dir, "fresh"), { recursive: true, force: true });
      const b = await puppeteer.launch({
        executablePath: chromium,
        headless: true,
        userDataDir: fresh ? join(dir, "fresh") : profile,
        args: ["--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage"],
      });
      try {
        const page = await openPane(b, mailbox, item, (json) => (item = JSON.parse(json)));
        const doubts = await page.evaluate(() => {
          const saved = Object.entries(localStorage).find(([k]) => k.startsWith("quorvel.ledger:"))?.[1];
          return saved ? (JSON.parse(saved).doubts as [string, { state: string }][]).filter(([, d]) => d.state === "handedOver").length : 0;
        });
        assert.ok(doubts <= 1, `${why}: ${doubts} copies handed over without an answer in one ledger`);
        ((await page.$("#list")) as unknown as { uploadFile(p: string): Promise<void> }).uploadFile(list);
        await page.waitForSelector("#review:not([hidden])");
        await page.$eval("#per-minute", (e) => ((e as HTMLInputElement).value = "100000"));
        await page.click("#start");
        if (run === KILLS) {
          await page.waitForSelector("#summary:not([hidden])", { timeout: 60_000 });
          assert.match(await page.$eval("#summary-text", (e) => (e as HTMLElement).innerText), /^Every copy was sent\./, why);
          done = true;
          continue;
        }
        // Somewhere in the mailing: the wait and the mailbox check at its
        // start, or after a number of copies, in the middle of the next one
        // (its draft being made, its send on its way or just answered).
        // (The first run has no wait at its start.)
        const early = run > 0 && next() < 0.25;
        const target = mailbox.sentCount + 1 + Math.floor(next() * (RECIPIENTS / 3));
        const offset = Math.floor(next() * (early ? SETTLE_DELAY_MS + 300 : 3 * LATENCY_MS));
        let over = false;
        const summary = page
          .waitForSelector("#summary:not([hidden])", { timeout: 0 })
          .then(() => true)
          .catch(() => false);
        const moment = (async () => {
          while (!early && !over && mailbox.sentCount < target) await new Promise((r) => setTimeout(r, 2));
          await new Promise((r) => setTimeout(r, offset));
          return false;
        })();
        const ended = await Promise.race([summary, moment]);
        over = true;
        if (ended) {
          done = true;
          continue;
        }
        b.process()!.kill("SIGKILL");
        await new Promise((r) => b.process()!.once("exit", r));
        kills.push(outboxFiles(mailbox).length);
      } finally {
        if (b.process()?.exitCode === null) await b.close().catch(() => {});
      }
    }
    // Whatever was on its way has reached Sent Items.
    await new Promise((r) => setTimeout(r, SENT_ITEMS_DELAY_MS * 2));
    const to = outboxFiles(mailbox).map((f) => f.match(/^To: (.*)\r$/m)![1]!);
    const twice = to.filter((a, i) => to.indexOf(a) !== i);
    assert.deepEqual(twice, [], `${why}: sent twice`);
    assert.deepEqual([...to].sort(), people, `${why}: everyone once`);
    assert.equal(mailbox.inFolder("drafts").length, 0, `${why}: drafts left`);
    // Most kills land with part of the list sent, not before or after it.
    assert.ok(kills.filter((n) => n > 0 && n < RECIPIENTS).length >= KILLS / 2, `${why}: sent at the kills ${kills}`);
  } finally {
    await mailbox.close();
    rmSync(dir, { recursive: true, force: true });
  }
});

test("storage that is full does not stop the mailing; the log says the mailbox decides", async () => {
  const dir = mkdtempSync(join(tmpdir(), "quorvel-full-"));
  const list = join(dir, "list.csv");
  writeFileSync(list, "Name,E-Mail\r\nAnn,ann@example.com\r\nBob,bob@example.com\r\nCy,cy@example.com\r\n");
  const mailbox = await startStandin();
  const b = await puppeteer.launch({ executablePath: chromium, headless: true, args: ["--no-sandbox", "--disable-gpu"] });
  try {
    const page = await b.newPage();
    // A ledger past the browser's quota.
    await page.evaluateOnNewDocument(() => {
      const setItem = Storage.prototype.setItem;
      Storage.prototype.setItem = function (key: string, value: string) {
        if (key.startsWith("quorvel.ledger:")) throw new DOMException("The quota has been exceeded.", "QuotaExceededError");
        setItem.call(this, key, value);
      };
    });
    const ready = await openPane(b, mailbox, {}, () => {}, page);
    ((await ready.$("#list")) as unknown as { uploadFile(p: string): Promise<void> }).uploadFile(list);
    await ready.waitForSelector("#review:not([hidden])");
    await ready.click("#start");
    await ready.waitForSelector("#summary:not([hidden])", { timeout: 60_000 });
    assert.match(await ready.$eval("#summary-text", (e) => (e as HTMLElement).innerText), /^Every copy was sent\. Sent: 3\./);
    const log = await ready.evaluate(() => (window as unknown as { quorvelPane: { session: { logs(): { currentJob: string } } } }).quorvelPane.session.logs().currentJob);
    assert.equal(log.match(/storage did not take the ledger \(QuotaExceededError\)/g)?.length, 1, log);
    assert.equal(outboxFiles(mailbox).length, 3);
  } finally {
    await b.close();
    await mailbox.close();
    rmSync(dir, { recursive: true, force: true });
  }
});
