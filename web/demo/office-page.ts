// What a page of the task pane needs to run outside Outlook, for the demo and
// the browser tests alike: the host's Office.js answered with the stand-in,
// and the page's errors kept for the caller to read.
import { readFileSync } from "node:fs";
import { join } from "node:path";
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
