// What a page of the task pane needs to run outside Outlook, for the demo and
// the browser tests alike: the host's Office.js answered with the stand-in,
// and the page's errors kept for the caller to read.
import { existsSync, readFileSync } from "node:fs";
import { createServer, type Server } from "node:http";
import { extname, join } from "node:path";
import type { Page } from "puppeteer-core";

export async function playOfficeHost(page: Page, built: string): Promise<string[]> {
  await page.setRequestInterception(true);
  page.on("request", (req) => {
    if (req.url().startsWith("https://appsforoffice.microsoft.com/")) {
      void req.respond({ status: 200, contentType: "text/javascript", body: readFileSync(join(built, "office-standin", "office.js")) });
    } else void req.continue();
  });
  const errors: string[] = [];
  page.on("pageerror", (e) => errors.push(String(e)));
  return errors;
}

// Loads the pane at `url` and waits until it has started.
export async function openPanePage(page: Page, url: string): Promise<void> {
  await page.goto(url);
  await page.waitForFunction(() => !!(window as unknown as { quorvelPane?: unknown }).quorvelPane);
}

const types: Record<string, string> = {
  ".html": "text/html",
  ".js": "text/javascript",
  ".css": "text/css",
  ".png": "image/png",
  ".wasm": "application/wasm",
  ".map": "application/json",
};

// Serves the built add-in (`built`) on 127.0.0.1, as its HTTPS host would.
export async function serveBuilt(built: string): Promise<{ server: Server; base: string }> {
  const server = createServer((req, res) => {
    const file = join(built, new URL(req.url ?? "/", "http://x").pathname);
    if (!file.startsWith(built) || !existsSync(file)) return void res.writeHead(404).end();
    res.writeHead(200, { "Content-Type": types[extname(file)] ?? "application/octet-stream" }).end(readFileSync(file));
  });
  await new Promise<void>((r) => server.listen(0, "127.0.0.1", r));
  const address = server.address();
  return { server, base: `http://127.0.0.1:${typeof address === "object" && address ? address.port : 0}` };
}
