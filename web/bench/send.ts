// How fast the sender goes against the local stand-in, and how many requests
// it keeps in flight: npm run bench, or node build/standins/bench-send.mjs
// [copies] [parallel] after a build.
// Prints figures; asserts nothing.
import { createHash } from "node:crypto";
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { GraphStandin } from "../graph-standin/server.js";
import { GraphClient } from "../src/graph.js";
import { Mailer, Pacer } from "../src/mailing.js";
import { cannedCopies, composedText, FakeSession } from "../tests/fake-core.js";

const copies = Number(process.argv[2] ?? 200);
const parallel = Number(process.argv[3] ?? 3);

async function run(label: string, files: (i: number) => string[], bytes: Uint8Array) {
  const outbox = mkdtempSync(join(tmpdir(), "quorvel-bench-"));
  const g = new GraphStandin({ outbox });
  await g.start();
  let token = g.issueToken();
  const graph = new GraphClient({ baseUrl: g.url, tokens: { token: async () => token, refresh: async () => (token = g.issueToken()) } });
  const n = label.startsWith("5 MB") ? Math.min(copies, 10) : copies;
  const session = new FakeSession(cannedCopies(n, (i) => ({ files: files(i) })));
  const started = process.hrtime.bigint();
  const result = await new Mailer({
    graph,
    session,
    composed: composedText,
    readFile: async (name) => ({ name, contentType: "application/octet-stream", bytes }),
    pacer: new Pacer(1e9, 1e9),
    parallel,
    settleDelayMs: 0,
  }).run();
  const ms = Number(process.hrtime.bigint() - started) / 1e6;
  const ok = g.inFolder("sentitems").every((m) =>
    m.attachments.every((a) => createHash("sha256").update(a.bytes).digest("hex") === createHash("sha256").update(bytes).digest("hex")),
  );
  console.log(
    `${label.padEnd(28)} ${String(result.sent).padStart(4)} copies in ${(ms / 1000).toFixed(2)} s` +
      `  ${((result.sent * 1000) / ms).toFixed(1)} copies/s  ${g.requests.length} requests` +
      `  peak in flight ${graph.peakInFlight} (service saw ${g.peakInFlight})  files intact: ${ok}`,
  );
  await g.close();
  rmSync(outbox, { recursive: true, force: true });
}

console.log(`sender against the Graph stand-in, ${parallel} copies at a time, no pacing`);
await run("no files", () => [], new Uint8Array());
await run("one 100 KB file each", () => ["a.bin"], new Uint8Array(100 * 1024).fill(1));
await run("5 MB file (upload session)", () => ["big.bin"], new Uint8Array(5 * 1024 * 1024).fill(2));
