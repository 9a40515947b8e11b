// The sender against the Graph stand-in: pacing and throttling, the
// per-mailbox limit, large files, and what a lost answer or a cut leaves.
import { describe, test } from "node:test";
import assert from "node:assert/strict";
import { createHash } from "node:crypto";
import { GraphClient, retryAfterMs } from "../src/graph.js";
import { MAILING_PROPERTY, Mailer, Pacer, smtpAddress, STAMP_PROPERTY, toBase64, UPLOAD_PIECE, type MailerOptions } from "../src/mailing.js";
import type { GraphStandin } from "../graph-standin/server.js";
import { cannedCopies, composedText, FakeLedger, FakeSession } from "./fake-core.js";
import { call, outboxFiles, startStandin } from "./helpers.js";

function client(g: GraphStandin, extra: Partial<ConstructorParameters<typeof GraphClient>[0]> = {}) {
  let token = g.issueToken();
  let refreshes = 0;
  const graph = new GraphClient({
    baseUrl: g.url,
    tokens: {
      token: async () => token,
      refresh: async () => {
        refreshes += 1;
        token = g.issueToken();
        return token;
      },
    },
    backoffBaseMs: 20,
    ...extra,
  });
  return { graph, refreshes: () => refreshes };
}

function mailer(g: GraphStandin, session: FakeSession, extra: Partial<MailerOptions> = {}) {
  const { graph } = client(g);
  return new Mailer({
    graph,
    session,
    composed: composedText,
    readFile: async (name) => ({ name, contentType: "text/plain", bytes: new TextEncoder().encode(name) }),
    pacer: new Pacer(1000, 100_000),
    settleDelayMs: 0,
    ...extra,
  });
}

// Each recipient's address as many times as a sent message names it in To.
function toCounts(g: GraphStandin): Map<string, number> {
  const counts = new Map<string, number>();
  for (const eml of outboxFiles(g)) {
    const to = eml.match(/^To: (.*)\r$/m)?.[1] ?? "";
    counts.set(to, (counts.get(to) ?? 0) + 1);
  }
  return counts;
}

describe("pacing", () => {
  test("per minute and per day as rolling windows", async () => {
    let now = 1_000_000;
    const slept: number[] = [];
    const pacer = new Pacer(2, 3, [], () => now, async (ms) => {
      slept.push(ms);
      now += ms;
    });
    await pacer.take();
    now += 10_000;
    await pacer.take();
    await pacer.take(); // the third in a minute waits until the first is a minute old
    assert.equal(slept.reduce((a, b) => a + b, 0), 50_000);
    await pacer.take(); // the fourth in a day waits until the first is a day old
    assert.equal(now, 1_000_000 + 24 * 3600_000);
  });

  test("base64 of every length's tail, as Node's encoder makes it", () => {
    for (const n of [0, 1, 2, 3, 4, 5, 24575, 24576, 24577, 100_001]) {
      const bytes = new Uint8Array(n).map((_, i) => (i * 131 + 7) & 255);
      assert.equal(toBase64(bytes), Buffer.from(bytes).toString("base64"), `length ${n}`);
    }
  });

  test("Retry-After in seconds or as a date", () => {
    assert.equal(retryAfterMs(new Headers({ "Retry-After": "7" })), 7000);
    const at = new Date(Date.now() + 30_000).toUTCString();
    const ms = retryAfterMs(new Headers({ "Retry-After": at }))!;
    assert.ok(ms > 25_000 && ms <= 30_000, String(ms));
    assert.equal(retryAfterMs(new Headers()), undefined);
  });
});

describe("sending", () => {
  test("every copy once, with its Cc and Bcc, stamped; the ledger says sent", async () => {
    const g = await startStandin();
    const copies = cannedCopies(6, (i) => (i === 2 ? { cc: ["boss@example.com"], bcc: ["audit@example.com"] } : {}));
    const session = new FakeSession(copies);
    const result = await mailer(g, session).run();
    assert.equal(result.end, "done");
    assert.equal(result.sent, 6);
    const files = outboxFiles(g);
    assert.equal(files.length, 6);
    assert.ok(files.some((f) => /^Cc: boss@example\.com\r$/m.test(f) && /^Bcc: audit@example\.com\r$/m.test(f)));
    assert.deepEqual([...toCounts(g).values()], [1, 1, 1, 1, 1, 1]);
    for (const m of g.inFolder("sentitems")) assert.match(m.singleValueExtendedProperties[0]!.value, /^m-0001\/person\d+@example\.com#1$/);
    assert.equal(g.inFolder("drafts").length, 0);
    for (const c of copies) assert.equal(session.ledger.state(c.index), "sent");
    await g.close();
  });

  test("429 from the service is waited out, and at most four requests are in flight", async () => {
    const g = await startStandin({ rateLimit: { requests: 8, windowMs: 1000, retryAfterSeconds: 1 } });
    const waits: number[] = [];
    const { graph } = client(g, { onWait: (ms) => waits.push(ms) });
    const session = new FakeSession(cannedCopies(8));
    const started = Date.now();
    const result = await new Mailer({
      graph,
      session,
      composed: composedText,
      readFile: async () => assert.fail("no files"),
      pacer: new Pacer(1000, 100_000),
      parallel: 8,
      settleDelayMs: 0,
    }).run();
    assert.equal(result.sent, 8);
    assert.ok(waits.length > 0 && waits.every((w) => w === 1000), `waits ${waits}`);
    assert.ok(Date.now() - started >= 1000);
    assert.ok(graph.peakInFlight <= 4 && g.peakInFlight <= 4, `${graph.peakInFlight} ${g.peakInFlight}`);
    assert.ok(!g.requests.some((r) => /MailboxConcurrency/.test(r.error ?? "")), "no concurrency refusal");
    assert.equal(outboxFiles(g).length, 8);
    await g.close();
  });

  test("a 5 MB file goes through an upload session and arrives whole", async () => {
    const g = await startStandin();
    const big = new Uint8Array(5 * 1024 * 1024);
    for (let i = 0; i < big.length; i++) big[i] = (i * 2654435761) >>> 24;
    const session = new FakeSession(cannedCopies(1, () => ({ files: ["report.pdf", "note.txt"] })));
    const result = await mailer(g, session, {
      readFile: async (name) =>
        name === "report.pdf"
          ? { name, contentType: "application/pdf", bytes: big }
          : { name, contentType: "text/plain", bytes: new TextEncoder().encode("small") },
    }).run();
    assert.equal(result.sent, 1);
    const sent = g.inFolder("sentitems")[0]!;
    const arrived = sent.attachments.find((a) => a.name === "report.pdf")!;
    const sha = (b: Uint8Array) => createHash("sha256").update(b).digest("hex");
    assert.equal(sha(arrived.bytes), sha(big));
    assert.ok(g.requests.filter((r) => r.method === "PUT").length >= 2);
    assert.match(outboxFiles(g)[0]!, /filename="report\.pdf"/);
    await g.close();
  });

  test("a piece whose answer was lost is not sent again: the upload resumes where the session stands", async () => {
    const g = await startStandin();
    // The first piece arrives, its answer does not; its retry is out of range.
    g.inject((m, p) => m === "PUT" && p.startsWith("/upload/"), { kind: "drop-answer" });
    const big = new Uint8Array(3 * UPLOAD_PIECE + 1000);
    for (let i = 0; i < big.length; i++) big[i] = (i * 2654435761) >>> 24;
    const session = new FakeSession(cannedCopies(1, () => ({ files: ["report.pdf"] })));
    const result = await mailer(g, session, {
      readFile: async (name) => ({ name, contentType: "application/pdf", bytes: big }),
    }).run();
    assert.equal(result.sent, 1, JSON.stringify(result));
    const arrived = g.inFolder("sentitems")[0]!.attachments.find((a) => a.name === "report.pdf")!;
    const sha = (b: Uint8Array) => createHash("sha256").update(b).digest("hex");
    assert.equal(sha(arrived.bytes), sha(big));
    assert.ok(g.requests.some((r) => r.method === "PUT" && r.status === 416), "the retry met the service's 416");
    assert.ok(g.requests.some((r) => r.method === "GET" && r.path.startsWith("/upload/") && r.status === 200));
    await g.close();
  });

  test("the last piece's answer lost: the draft shows the file arrived, and the copy goes once with it", async () => {
    const g = await startStandin();
    // The last piece ends the session, so its retry finds none (404). Two
    // files of one name: the second's arrival is told from the first's.
    let puts = 0;
    g.inject((m, p) => m === "PUT" && p.startsWith("/upload/") && ++puts === 4, { kind: "drop-answer" });
    const big = new Uint8Array(UPLOAD_PIECE + 5000).fill(7);
    const other = new Uint8Array(UPLOAD_PIECE + 9000).fill(9);
    const session = new FakeSession(cannedCopies(1, () => ({ files: ["a/scan.pdf", "b/scan.pdf"] })));
    const result = await mailer(g, session, {
      readFile: async (name) => ({ name: "scan.pdf", contentType: "application/pdf", bytes: name.startsWith("a") ? big : other }),
    }).run();
    assert.equal(result.sent, 1, JSON.stringify(result));
    assert.equal(result.failed.length, 0);
    const sent = g.inFolder("sentitems");
    assert.equal(sent.length, 1);
    assert.deepEqual(sent[0]!.attachments.map((a) => a.bytes.length), [big.length, other.length]);
    assert.ok(g.requests.some((r) => r.method === "PUT" && r.status === 404), "the retry found the session ended");
    assert.ok(g.requests.some((r) => r.method === "GET" && r.path.includes("/attachments")));
    await g.close();
  });

  test("the last piece lost before the service saw it: no file arrived, the run stops and its continuation sends once", async () => {
    const g = await startStandin();
    g.inject((m, p) => m === "PUT" && p.startsWith("/upload/"), { kind: "drop-request" }, 3);
    const ledger = new FakeLedger();
    const copies = cannedCopies(2, () => ({ files: ["scan.pdf"] }));
    const bytes = new Uint8Array(UPLOAD_PIECE - 1000).fill(3);
    const readFile = async (name: string) => ({ name, contentType: "application/pdf", bytes });
    const first = await mailer(g, new FakeSession(copies, ledger), { parallel: 1, readFile }).run();
    assert.equal(first.end, "connection", JSON.stringify(first));
    assert.equal(first.sent, 0);
    assert.equal(g.inFolder("sentitems").length, 0, "nothing went without its file");
    const again = new FakeSession(copies, new FakeLedger(ledger.mailingId, ledger.save()));
    const second = await mailer(g, again, { parallel: 1, readFile }).run();
    assert.equal(second.end, "done", JSON.stringify(second));
    assert.deepEqual([...toCounts(g).values()], [1, 1]);
    assert.ok(g.inFolder("sentitems").every((m) => m.attachments.length === 1 && m.attachments[0]!.bytes.length === bytes.length));
    assert.equal(g.inFolder("drafts").length, 0, "the first run's draft was deleted");
    await g.close();
  });
});

describe("faults", () => {
  test("a send whose answer was lost is found in Sent Items and not sent again", async () => {
    const g = await startStandin();
    let sends = 0;
    g.inject((m, p) => m === "POST" && p.endsWith("/send") && ++sends === 2, { kind: "drop-answer" });
    const session = new FakeSession(cannedCopies(4));
    const result = await mailer(g, session, { parallel: 1 }).run();
    assert.equal(result.end, "done");
    assert.deepEqual([...toCounts(g).values()], [1, 1, 1, 1]);
    assert.equal(result.sent, 4);
    assert.ok(g.requests.some((r) => r.path.includes("/mailFolders/sentitems/messages")));
    await g.close();
  });

  test("a 503 storm is backed off; a 504 on a send is looked up, not resent blindly", async () => {
    const g = await startStandin();
    g.inject((m, p) => m === "POST" && p === "/me/messages", { kind: "status", status: 503 }, 4);
    g.inject((m, p) => m === "GET" && p.includes("/mailFolders/"), { kind: "status", status: 504 }, 2);
    let sends = 0;
    g.inject((m, p) => m === "POST" && p.endsWith("/send") && ++sends === 1, { kind: "status", status: 504 });
    const waits: number[] = [];
    const { graph } = client(g, { onWait: (ms) => waits.push(ms) });
    const result = await new Mailer({
      graph,
      session: new FakeSession(cannedCopies(3)),
      composed: composedText,
      readFile: async () => assert.fail(),
      pacer: new Pacer(1000, 1e5),
      parallel: 1,
      settleDelayMs: 0,
    }).run();
    assert.equal(result.end, "done");
    assert.equal(result.sent, 3);
    // Backoff without Retry-After grows (20 ms base, with jitter).
    assert.ok(waits.length >= 6, String(waits));
    assert.deepEqual([...toCounts(g).values()], [1, 1, 1]);
    // The 504 send was a draft still: looked up, then sent once.
    assert.ok(g.requests.some((r) => r.method === "POST" && r.path.endsWith("/send") && r.status === 504));
    await g.close();
  });

  test("a send lost before the service saw it: still a draft, so it goes again at once", async () => {
    const g = await startStandin();
    let sends = 0;
    g.inject((m, p) => m === "POST" && p.endsWith("/send") && ++sends === 2, { kind: "drop-request" });
    const result = await mailer(g, new FakeSession(cannedCopies(3)), { parallel: 1 }).run();
    assert.equal(result.end, "done");
    assert.equal(result.sent, 3);
    assert.deepEqual([...toCounts(g).values()], [1, 1, 1]);
    assert.equal(g.inFolder("drafts").length, 0);
    await g.close();
  });

  test("a cancel ends a wait for the pace; the copies made but not sent leave no draft", async () => {
    const g = await startStandin();
    const m = mailer(g, new FakeSession(cannedCopies(4)), { pacer: new Pacer(1, 1000), parallel: 2 });
    const run = m.run();
    await new Promise((r) => setTimeout(r, 300));
    m.cancel();
    const result = await run;
    assert.equal(result.end, "cancelled");
    assert.equal(result.sent, 1);
    assert.equal(g.inFolder("drafts").length, 0);
    await g.close();
  });

  test("a network cut leaves at most one copy in doubt, settled when the mailing continues", async () => {
    const g = await startStandin();
    let sends = 0;
    g.inject(
      (m, p) => {
        if (m === "POST" && p.endsWith("/send") && ++sends === 3) {
          setImmediate(() => g.setNetworkCut(true));
          return true;
        }
        return false;
      },
      { kind: "drop-answer" },
    );
    const ledger = new FakeLedger();
    const copies = cannedCopies(7);
    const first = await mailer(g, new FakeSession(copies, ledger), { parallel: 3 }).run();
    assert.equal(first.end, "connection");
    assert.ok(first.inDoubt.length <= 1, JSON.stringify(first.inDoubt));
    assert.equal(first.inDoubt.length, 1);
    g.setNetworkCut(false);
    // Continued from the saved ledger, as another machine would.
    const again = new FakeSession(copies, new FakeLedger(ledger.mailingId, ledger.save()));
    const second = await mailer(g, again, { parallel: 3 }).run();
    assert.equal(second.end, "done");
    assert.equal(second.inDoubt.length, 0);
    const counts = toCounts(g);
    assert.equal(counts.size, 7);
    assert.deepEqual([...counts.values()], [1, 1, 1, 1, 1, 1, 1]);
    assert.equal(g.inFolder("drafts").length, 0, "no draft left behind");
    await g.close();
  });

  test("continued without the ledger (another machine, the list reordered): the mailbox says what went", async () => {
    const g = await startStandin();
    const copies = cannedCopies(12);
    const first = await mailer(g, new FakeSession(copies), { limit: 7 }).run();
    assert.equal(first.end, "limit");
    assert.equal(first.sent, 7);
    // A run killed after making a draft leaves it behind.
    await call(g, "POST", "/me/messages", {
      body: {
        subject: "left over",
        toRecipients: [{ emailAddress: { address: "person9@example.com" } }],
        singleValueExtendedProperties: [
          { id: STAMP_PROPERTY, value: "m-0001/person9@example.com#1" },
          { id: MAILING_PROPERTY, value: "m-0001" },
        ],
      },
    });
    // The list saved again in another order: the copies' places change,
    // their keys do not.
    const reordered = [...copies].reverse().map((c, i) => ({ ...c, index: i }));
    const fresh = new FakeSession(reordered, new FakeLedger("m-0001"));
    const second = await mailer(g, fresh, { pageSize: 3 }).run();
    assert.equal(second.end, "done");
    assert.equal(second.sentEarlier, 7);
    assert.equal(second.sent, 5);
    assert.equal(g.inFolder("drafts").length, 0);
    const counts = toCounts(g);
    assert.equal(counts.size, 12);
    assert.ok([...counts.values()].every((n) => n === 1));
    assert.ok(g.requests.some((r) => r.path === "/me/mailFolders/sentitems/messages" && r.status === 200));
    await g.close();
  });

  test("a copy is kept as handed over before its send reaches the service", async () => {
    const g = await startStandin();
    const ledger = new FakeLedger();
    let kept = JSON.stringify({ states: [] });
    let unguarded = 0;
    g.inject(
      (m, p) => {
        if (m === "POST" && p.endsWith("/send") && !(JSON.parse(kept).states as [number, string][]).some(([, s]) => s === "handedOver")) {
          unguarded += 1;
        }
        return false;
      },
      { kind: "drop-answer" },
    );
    const run = await mailer(g, new FakeSession(cannedCopies(5), ledger), { keep: () => (kept = ledger.save()) }).run();
    assert.equal(run.sent, 5);
    assert.equal(unguarded, 0, "a send went out with the kept ledger unaware of it");
    await g.close();
  });

  test("a run cut off with its last sends unknown to the ledger: the next waits for Sent Items, nothing twice", async () => {
    // The service shows a sent message in Sent Items only a while after
    // its 202; a browser killed loses its last writes to storage.
    const g = await startStandin({ sentItemsDelayMs: 200 });
    const copies = cannedCopies(6);
    const first = await mailer(g, new FakeSession(copies), { limit: 3 }).run();
    assert.equal(first.sent, 3);
    // Continued at once, with none of the first run's ledger.
    const second = await mailer(g, new FakeSession(copies, new FakeLedger()), { earlierRun: true, settleDelayMs: 400 }).run();
    assert.equal(second.sentEarlier, 3);
    assert.equal(second.sent, 3);
    assert.deepEqual([...toCounts(g).values()], [1, 1, 1, 1, 1, 1]);
    await g.close();
  });

  test("a refused send fails that copy, deletes its draft and goes on", async () => {
    const g = await startStandin();
    const copies = cannedCopies(3, (i) => (i === 1 ? { to: ["not an address"], recipient: "not an address" } : {}));
    const result = await mailer(g, new FakeSession(copies)).run();
    assert.equal(result.sent, 2);
    assert.equal(result.failed.length, 1);
    assert.match(result.failed[0]!.reason, /not valid|not resolved/);
    assert.equal(g.inFolder("drafts").length, 0);
    await g.close();
  });

  test("a domain in its own script goes by its DNS name; the service refuses the raw form", async () => {
    const g = await startStandin();
    const copies = cannedCopies(2, (i) =>
      i === 0
        ? { to: ["jo@bücher.example"], cc: ["anna@ΠΑΡΆΔΕΙΓΜΑ.δοκιμή"], bcc: ["ok@plain.example"] }
        : { to: ["ed@例え.テスト"] },
    );
    const result = await mailer(g, new FakeSession(copies)).run();
    assert.equal(result.sent, 2);
    assert.deepEqual(result.failed, []);
    const files = outboxFiles(g);
    assert.ok(files.some((f) => /^To: jo@xn--bcher-kva\.example\r$/m.test(f) && /^Cc: anna@xn--hxajbheg2az3al\.xn--jxalpdlp\r$/m.test(f) && /^Bcc: ok@plain\.example\r$/m.test(f)));
    assert.ok(files.some((f) => /^To: ed@xn--r8jz45g\.xn--zckzah\r$/m.test(f)));
    await g.close();
  });

  test("an address the URL parser would read as more than a host is sent as it stands", () => {
    assert.equal(smtpAddress("jo@Plain.Example"), "jo@Plain.Example"); // ASCII domains keep their case
    assert.equal(smtpAddress("jo@bü/cher.example"), "jo@bü/cher.example");
    assert.equal(smtpAddress("jo@bü?.example"), "jo@bü?.example");
    assert.equal(smtpAddress("jo@xn--zz.bü"), "jo@xn--zz.bü"); // no valid A-label: the service says why
    assert.equal(smtpAddress('"a@b"@bücher.example'), '"a@b"@xn--bcher-kva.example');
    assert.equal(smtpAddress("no at sign"), "no at sign");
  });

  test("an expired token is renewed once; a revoked consent stops with the copy in doubt, not failed", async () => {
    const g = await startStandin();
    const { graph, refreshes } = client(g);
    const session = new FakeSession(cannedCopies(3));
    g.revokeAll();
    const ok = await new Mailer({ graph, session, composed: composedText, readFile: async () => assert.fail(), pacer: new Pacer(1000, 1e5), settleDelayMs: 0 }).run();
    assert.equal(ok.sent, 3);
    assert.equal(refreshes(), 1);

    // Consent revoked after the first copy went.
    let sends = 0;
    g.inject((m, p) => {
      if (m === "POST" && p.endsWith("/send") && ++sends === 1) setImmediate(() => g.revokeAll());
      return false;
    }, { kind: "drop-answer" });
    const first = g.issueToken();
    const revoked = new GraphClient({
      baseUrl: g.url,
      tokens: { token: async () => first, refresh: async () => { throw new Error("consent revoked"); } },
    });
    const s2 = new FakeSession(cannedCopies(2), new FakeLedger("m-0002"));
    const stopped = await new Mailer({ graph: revoked, session: s2, composed: composedText, readFile: async () => assert.fail(), pacer: new Pacer(1000, 1e5), parallel: 1 }).run();
    assert.equal(stopped.end, "signin");
    assert.equal(stopped.failed.length, 0);
    assert.match(stopped.message, /consent revoked/);
    assert.equal(s2.ledger.state(0), "sent");
    assert.equal(s2.ledger.state(1), "inDoubt");

    // No sign-in at all: a sign-in stop too, not a lost connection.
    const none = async () => {
      throw new Error("no account");
    };
    const unsigned = new GraphClient({ baseUrl: g.url, tokens: { token: none, refresh: none } });
    const s3 = new FakeSession(cannedCopies(1), new FakeLedger("m-0003"));
    const r3 = await new Mailer({ graph: unsigned, session: s3, composed: composedText, readFile: async () => assert.fail(), pacer: new Pacer(1000, 1e5) }).run();
    assert.equal(r3.end, "signin");
    assert.match(r3.message, /no account/);
    await g.close();
  });
});
