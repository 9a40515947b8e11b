// ./dev demo --web: a mailing through the add-in itself. The task pane runs in
// headless Chromium with the real core (the WebAssembly data layer), in a page
// that plays the Office host, against the Graph stand-in, which writes each
// sent message into DIR/outbox as an .eml. The review is printed, the three
// logs saved into DIR, a screenshot of each state into DIR/screenshots.
//
//   node build/standins/demo.mjs [--list FILE] [--subject TEXT] [--html FILE]
//        [--folder DIR] [--limit N] [--per-minute N] [--out DIR]
import { existsSync, mkdirSync, readdirSync, readFileSync, rmSync } from "node:fs";
import { basename, dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";
import puppeteer from "puppeteer-core";
import { GraphStandin } from "../graph-standin/server.js";
import { openPanePage, playOfficeHost, serveBuilt } from "./office-page.js";

const web = fileURLToPath(new URL("../../", import.meta.url));
const built = join(web, "build");
const examples = join(web, "..", "examples");
const args = process.argv.slice(2);
const option = (name: string, fallback: string) => {
  const i = args.indexOf(name);
  return i >= 0 && args[i + 1] !== undefined ? args[i + 1]! : fallback;
};
const fail = (why: string): never => {
  process.stderr.write(`quorvel-demo --web: ${why}\n`);
  process.exit(2);
};
for (let i = 0; i < args.length; i += 2) {
  if (!["--list", "--subject", "--html", "--folder", "--limit", "--per-minute", "--out"].includes(args[i]!)) {
    fail(`unknown option ${args[i]} (see web/README.md)`);
  }
}
const list = resolve(option("--list", join(examples, "recipients.csv")));
const folder = resolve(option("--folder", dirname(list)));
const out = resolve(option("--out", "demo-out-web"));
const subject = option("--subject", readFileSync(join(examples, "subject.txt"), "utf8").split(/\r?\n/)[0]!);
const html = readFileSync(resolve(option("--html", join(examples, "body.html"))), "utf8");
const limit = option("--limit", "0");
const perMinute = option("--per-minute", "10000");
for (const [what, path] of [["list", list], ["folder", folder]] as const) {
  if (!existsSync(path)) fail(`no such ${what}: ${path}`);
}
if (!existsSync(join(built, "quorvel-core.wasm"))) fail("the core is not built: ./dev build wasm, then npm run build");

const outbox = join(out, "outbox");
const shots = join(out, "screenshots");
rmSync(outbox, { recursive: true, force: true });
mkdirSync(outbox, { recursive: true });
mkdirSync(shots, { recursive: true });

const { server, base } = await serveBuilt(built);
const graph = new GraphStandin({ outbox });
await graph.start();
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
  headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage"],
});
let status = 0;
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 420, height: 900 });
  await page.exposeFunction("issueToken", () => graph.issueToken());
  await page.evaluateOnNewDocument(
    (graphBaseUrl, subject, body) => {
      const w = window as unknown as Record<string, unknown>;
      w.quorvelConfig = { graphBaseUrl, settleDelayMs: 0 };
      w.officeStandin = {
        subject,
        body,
        bodyType: "html",
        attachments: [],
        user: "sender@contoso.example",
        dialog: async () =>
          JSON.stringify({ ok: true, accessToken: await (w.issueToken as () => Promise<string>)(), expiresOn: Date.now() + 3600_000 }),
      };
    },
    graph.url,
    subject,
    html,
  );
  const errors = await playOfficeHost(page, built);
  await openPanePage(page, `${base}/taskpane.html`);
  const text = (sel: string) => page.$eval(sel, (e) => (e as HTMLElement).innerText);
  const upload = async (sel: string, path: string) =>
    ((await page.$(sel)) as unknown as { uploadFile(...p: string[]): Promise<void> }).uploadFile(path);
  await page.screenshot({ path: join(shots, "1-choose.png"), fullPage: true });
  await upload("#folder", folder);
  await upload("#list", list);
  await page.waitForSelector("#review:not([hidden])");
  await page.screenshot({ path: join(shots, "2-review.png"), fullPage: true });
  const refused = await text("#refused");
  const counts = (await text("#counts")).split("\n").filter((l) => l.trim());
  const pairs = counts.flatMap((l, i) => (i % 2 ? [] : [`${l.trim()} ${counts[i + 1]?.trim() ?? ""}`]));
  process.stdout.write(`Review of ${basename(list)}: ${pairs.join(", ")}\n`);
  const findings = await page.$$eval("#findings tbody tr", (rows) => rows.map((r) => (r as HTMLElement).innerText.replace(/\t/g, "  ")));
  for (const f of findings) process.stdout.write(`  ${f}\n`);
  if (refused) {
    process.stdout.write(`Refused: ${refused}\n`);
    status = 1;
  } else {
    await page.$eval("#limit", (e, v) => ((e as HTMLInputElement).value = v), limit).catch(() => {});
    await page.$eval("#per-minute", (e, v) => ((e as HTMLInputElement).value = v), perMinute);
    await page.click("#start");
    await page.waitForSelector("#sending:not([hidden])");
    await page.screenshot({ path: join(shots, "3-sending.png"), fullPage: true });
    await page.waitForSelector("#summary:not([hidden])", { timeout: 0 });
    await page.screenshot({ path: join(shots, "4-summary.png"), fullPage: true });
    process.stdout.write(`${await text("#summary-text")}\n`);
    const cdp = await page.createCDPSession();
    await cdp.send("Browser.setDownloadBehavior", { behavior: "allow", downloadPath: out });
    for (const id of ["#log-current", "#log-history", "#log-sent"]) await page.click(id);
    for (let i = 0; i < 50 && ["CurrentJob.txt", "JobHistory.txt", "tosent.txt"].some((f) => !existsSync(join(out, f))); i++) {
      await new Promise((r) => setTimeout(r, 100));
    }
  }
  if (errors.length) {
    process.stderr.write(`The pane failed: ${errors.join("; ")}\n`);
    status = 1;
  }
  const sent = readdirSync(outbox).filter((f) => f.endsWith(".eml")).length;
  process.stdout.write(`${sent} messages in ${outbox}; logs in ${out}; screenshots in ${shots}\n`);
} finally {
  await browser.close();
  await graph.close();
  server.close();
}
process.exit(status);
