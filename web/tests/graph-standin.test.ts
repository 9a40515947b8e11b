// The stand-in must refuse what the service refuses, or the sender's tests
// prove nothing.
import { after, before, describe, test } from "node:test";
import assert from "node:assert/strict";
import type { GraphStandin } from "../graph-standin/server.js";
import { call, outboxFiles, startStandin } from "./helpers.js";

const STAMP = "String {6f1c1b6e-3d2a-4c1e-9a0b-5d8e2f7c4a10} Name QuorvelCopy";
const draft = (extra: Record<string, unknown> = {}) => ({
  subject: "Hello Ann",
  body: { contentType: "text", content: "Dear Ann" },
  toRecipients: [{ emailAddress: { address: "ann@example.com" } }],
  ...extra,
});

let g: GraphStandin;
before(async () => {
  g = await startStandin();
});
after(() => g.close());

describe("sign-in", () => {
  test("no token, an unknown or expired one: 401; a missing scope: 403", async () => {
    assert.equal((await call(g, "GET", "/me", { token: null })).status, 401);
    assert.equal((await call(g, "GET", "/me", { token: "nope" })).status, 401);
    const short = g.issueToken(undefined, 1000);
    g.advanceClock(2000);
    const expired = await call(g, "GET", "/me", { token: short });
    assert.equal(expired.status, 401);
    assert.match(expired.json.error.message, /expired/);
    const readOnly = g.issueToken(["User.Read", "Mail.ReadWrite"]);
    const created = await call(g, "POST", "/me/messages", { token: readOnly, body: draft() });
    assert.equal(created.status, 201);
    const send = await call(g, "POST", `/me/messages/${created.json.id}/send`, { token: readOnly });
    assert.equal(send.status, 403);
    assert.equal(send.json.error.code, "ErrorAccessDenied");
  });

  test("a preflight is answered for the pane's origin", async () => {
    const res = await fetch(`${g.url}/v1.0/me/messages`, {
      method: "OPTIONS",
      headers: { Origin: "https://addin.example", "Access-Control-Request-Method": "POST" },
    });
    assert.equal(res.status, 204);
    assert.equal(res.headers.get("access-control-allow-origin"), "https://addin.example");
    assert.match(res.headers.get("access-control-allow-headers") ?? "", /Authorization/);
  });
});

describe("drafts and sending", () => {
  test("a sent draft moves to Sent Items with a new id and is written as .eml", async () => {
    const before = outboxFiles(g).length;
    const created = await call(g, "POST", "/me/messages", {
      body: draft({ subject: "Grüße an Ann", singleValueExtendedProperties: [{ id: STAMP, value: "m1:1" }] }),
    });
    const send = await call(g, "POST", `/me/messages/${created.json.id}/send`);
    assert.equal(send.status, 202);
    assert.equal(g.messages.has(created.json.id), false);
    const sent = g.inFolder("sentitems").find((m) => m.subject === "Grüße an Ann");
    assert.ok(sent);
    const files = outboxFiles(g);
    assert.equal(files.length, before + 1);
    assert.match(files.at(-1)!, /^To: ann@example\.com\r$/m);
    assert.match(files.at(-1)!, /^Subject: =\?UTF-8\?B\?/m);
    // Sending it again: it is no longer a draft.
    assert.equal((await call(g, "POST", `/me/messages/${created.json.id}/send`)).status, 404);
  });

  test("a malformed recipient is ErrorInvalidRecipients and the draft stays", async () => {
    for (const bad of ["ann@", "ann example.com", "<ann@example.com>", "ann@example"]) {
      const created = await call(g, "POST", "/me/messages", {
        body: draft({ toRecipients: [{ emailAddress: { address: bad } }] }),
      });
      const send = await call(g, "POST", `/me/messages/${created.json.id}/send`);
      assert.equal(send.status, 400, bad);
      assert.equal(send.json.error.code, "ErrorInvalidRecipients");
      assert.equal(g.messages.get(created.json.id)?.folder, "drafts");
    }
  });

  test("sendMail takes the whole message; a body over 4 MB is 413", async () => {
    const ok = await call(g, "POST", "/me/sendMail", { body: { message: draft() } });
    assert.equal(ok.status, 202);
    const big = "A".repeat(4 * 1024 * 1024 + 10);
    const tooBig = await call(g, "POST", "/me/sendMail", {
      body: { message: draft({ body: { contentType: "text", content: big } }) },
    });
    assert.equal(tooBig.status, 413);
  });
});

describe("attachments", () => {
  test("a file attachment in one POST only under 3 MB", async () => {
    const created = await call(g, "POST", "/me/messages", { body: draft() });
    const small = await call(g, "POST", `/me/messages/${created.json.id}/attachments`, {
      body: { "@odata.type": "#microsoft.graph.fileAttachment", name: "a.txt", contentBytes: Buffer.from("hi").toString("base64") },
    });
    assert.equal(small.status, 201);
    const three = Buffer.alloc(3 * 1024 * 1024).toString("base64");
    const big = await call(g, "POST", `/me/messages/${created.json.id}/attachments`, {
      body: { "@odata.type": "#microsoft.graph.fileAttachment", name: "b.bin", contentBytes: three },
    });
    assert.equal(big.status, 413);
    // Listing them needs more than Mail.ReadBasic; $select leaves out the bytes.
    const basic = g.issueToken(["Mail.ReadBasic"]);
    const denied = await call(g, "GET", `/me/messages/${created.json.id}/attachments`, { token: basic });
    assert.equal(denied.status, 403);
    const listed = await call(g, "GET", `/me/messages/${created.json.id}/attachments?$select=name`);
    assert.equal(listed.status, 200);
    assert.deepEqual(
      listed.json.value.map((a: Record<string, unknown>) => Object.keys(a).sort()),
      [["@odata.type", "id", "name"]],
    );
    assert.equal((await call(g, "GET", `/me/messages/${created.json.id}/attachments?$select=bogus`)).status, 400);
  });

  test("upload session: pieces of 320 KiB multiples in order, without Authorization", async () => {
    const created = await call(g, "POST", "/me/messages", { body: draft() });
    const size = 700 * 1024;
    const bytes = Buffer.alloc(size, 7);
    const session = await call(g, "POST", `/me/messages/${created.json.id}/attachments/createUploadSession`, {
      body: { AttachmentItem: { attachmentType: "file", name: "big.bin", size } },
    });
    assert.equal(session.status, 201);
    const url: string = session.json.uploadUrl;
    const put = (start: number, end: number, headers: Record<string, string> = {}) =>
      fetch(url, {
        method: "PUT",
        headers: { "Content-Range": `bytes ${start}-${end}/${size}`, ...headers },
        body: new Uint8Array(bytes.subarray(start, end + 1)),
      });
    assert.equal((await put(0, 100 * 1024 - 1)).status, 400, "not a multiple of 320 KiB");
    assert.equal((await put(0, 320 * 1024 - 1, { Authorization: "Bearer x" })).status, 401);
    assert.equal((await put(320 * 1024, 640 * 1024 - 1)).status, 416, "out of order");
    const first = await put(0, 640 * 1024 - 1);
    assert.equal(first.status, 200);
    assert.deepEqual((await first.json()).nextExpectedRanges, [`${640 * 1024}-`]);
    const last = await put(640 * 1024, size - 1);
    assert.equal(last.status, 201);
    assert.ok(last.headers.get("location"));
    assert.equal(g.messages.get(created.json.id)?.attachments[0]?.bytes.length, size);
  });
});

describe("lookup by stamp", () => {
  test("only the documented $filter form is taken", async () => {
    await call(g, "POST", "/me/messages", { body: draft({ singleValueExtendedProperties: [{ id: STAMP, value: "m2:7" }] }) });
    const q = (f: string) => call(g, "GET", `/me/mailFolders/drafts/messages?$filter=${encodeURIComponent(f)}`);
    const good = await q(`singleValueExtendedProperties/Any(ep: ep/id eq '${STAMP}' and ep/value eq 'm2:7')`);
    assert.equal(good.status, 200);
    assert.equal(good.json.value.length, 1);
    const none = await q(`singleValueExtendedProperties/Any(ep: ep/id eq '${STAMP}' and ep/value eq 'm2:8')`);
    assert.equal(none.json.value.length, 0);
    assert.equal((await q(`singleValueExtendedProperties/any(ep: ep/id eq '${STAMP}' and ep/value eq 'm2:7')`)).status, 400);
    assert.equal((await q(`singleValueExtendedProperties/Any(ep: ep/value eq 'm2:7')`)).status, 400);
    assert.equal((await q(`singleValueExtendedProperties/Any(ep: ep/id eq 'QuorvelCopy' and ep/value eq 'm2:7')`)).status, 400);
  });
});

describe("listing", () => {
  test("ten to a page by default, the rest through @odata.nextLink; $expand of one property only", async () => {
    const token = g.issueToken();
    const mark = "String {6f1c1b6e-3d2a-4c1e-9a0b-5d8e2f7c4a10} Name QuorvelMailing";
    for (let i = 0; i < 13; i++) {
      await call(g, "POST", "/me/messages", {
        token,
        body: draft({ singleValueExtendedProperties: [{ id: mark, value: "list-test" }, { id: STAMP, value: `n${i}` }] }),
      });
    }
    const filter = encodeURIComponent(`singleValueExtendedProperties/Any(ep: ep/id eq '${mark}' and ep/value eq 'list-test')`);
    const expand = encodeURIComponent(`singleValueExtendedProperties($filter=id eq '${STAMP}')`);
    const first = await call(g, "GET", `/me/mailFolders/drafts/messages?$filter=${filter}&$expand=${expand}`, { token });
    assert.equal(first.json.value.length, 10);
    assert.deepEqual(first.json.value[0].singleValueExtendedProperties, [{ id: STAMP, value: "n0" }]);
    const rest = await call(g, "GET", first.json["@odata.nextLink"], { token });
    assert.equal(rest.json.value.length, 3);
    assert.equal(rest.json["@odata.nextLink"], undefined);
    const bad = encodeURIComponent(`singleValueExtendedProperties`);
    assert.equal((await call(g, "GET", `/me/mailFolders/drafts/messages?$expand=${bad}`, { token })).status, 400);
    assert.equal((await call(g, "GET", `/me/mailFolders/drafts/messages?$top=1001`, { token })).status, 400);
  });
});

describe("throttling", () => {
  test("the fifth concurrent request to one mailbox is 429 MailboxConcurrency", async () => {
    const token = g.issueToken();
    // Hold four requests open by sending their bodies slowly.
    const { request } = await import("node:http");
    const u = new URL(`${g.url}/v1.0/me/messages`);
    const held = Array.from({ length: 4 }, () => {
      const r = request({ host: u.hostname, port: u.port, path: u.pathname, method: "POST",
        headers: { Authorization: `Bearer ${token}`, "Content-Type": "application/json", "Content-Length": "200" } });
      r.on("error", () => {});
      r.write("{");
      return r;
    });
    await new Promise((r) => setTimeout(r, 100));
    const fifth = await call(g, "GET", "/me", { token });
    assert.equal(fifth.status, 429);
    assert.match(fifth.json.error.message, /MailboxConcurrency/);
    assert.ok(Number(fifth.headers.get("retry-after")) >= 1);
    for (const r of held) r.destroy();
    // Clients that went away, mid-body or while the request waited its
    // turn, no longer count against the mailbox.
    const slow = await startStandin({ latencyMs: 100 });
    const slowToken = slow.issueToken();
    const v = new URL(`${slow.url}/v1.0/me/messages`);
    // A POST whose client goes away after `ms`, with its body whole or not.
    const abandoned = (body: string, length: number, ms: number) => {
      const r = request({ host: v.hostname, port: v.port, path: v.pathname, method: "POST",
        headers: { Authorization: `Bearer ${slowToken}`, "Content-Type": "application/json", "Content-Length": String(length) } });
      r.on("error", () => {});
      r.write(body);
      setTimeout(() => r.destroy(), ms);
    };
    for (let i = 0; i < 4; i++) abandoned("{}", 2, 20);
    await new Promise((r) => setTimeout(r, 60));
    for (let i = 0; i < 4; i++) abandoned("{", 200, 150);
    await new Promise((r) => setTimeout(r, 400));
    assert.equal((await call(slow, "GET", "/me", { token: slowToken })).status, 200);
    await slow.close();
  });

  test("a sent message shows in Sent Items only after the service has moved it", async () => {
    const slow = await startStandin({ sentItemsDelayMs: 150 });
    const made = await call(slow, "POST", "/me/messages", { body: draft() });
    assert.equal((await call(slow, "POST", `/me/messages/${made.json.id}/send`)).status, 202);
    const count = async (folder: string) => (await call(slow, "GET", `/me/mailFolders/${folder}/messages`)).json.value.length;
    assert.deepEqual([await count("drafts"), await count("sentitems")], [0, 0]);
    await new Promise((r) => setTimeout(r, 250));
    assert.equal(await count("sentitems"), 1);
    assert.equal(outboxFiles(slow).length, 1);
    await slow.close();
  });

  test("an over-rate mailbox gets 429 with Retry-After", async () => {
    const limited = await startStandin({ rateLimit: { requests: 2, windowMs: 60_000, retryAfterSeconds: 3 } });
    const token = limited.issueToken();
    assert.equal((await call(limited, "GET", "/me", { token })).status, 200);
    assert.equal((await call(limited, "GET", "/me", { token })).status, 200);
    const third = await call(limited, "GET", "/me", { token });
    assert.equal(third.status, 429);
    assert.equal(third.headers.get("retry-after"), "3");
    await limited.close();
  });
});
