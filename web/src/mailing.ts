// The sender: takes the merged copies from the core and sends each through
// Graph as a draft that is then sent, paced, a few copies at a time, so that
// nothing goes twice and nobody is left out.
//
// Every copy carries a stamp (a single-value extended property: the mailing's
// identity and the copy's key, its address and occurrence). Before a copy the ledger
// holds as in doubt is made again, it is looked up by that stamp in Sent
// Items (then it went) and in Drafts (a leftover, deleted).
import type { ComposedMessage, CopyState, CoreSession, FileBytes, MergedCopy } from "./core-types.js";
import { AnswerLost, AuthError, GraphError, type GraphClient } from "./graph.js";

export const STAMP_PROPERTY = "String {6f1c1b6e-3d2a-4c1e-9a0b-5d8e2f7c4a10} Name QuorvelCopy";
// The mailing's identity alone, so that one query finds all its copies.
export const MAILING_PROPERTY = "String {6f1c1b6e-3d2a-4c1e-9a0b-5d8e2f7c4a10} Name QuorvelMailing";

// Files up to this size go in one request with the draft's attachments; the
// service takes a file attachment in one POST only under 3 MB, and the whole
// request under 4 MB once the file is in base64.
const INLINE_FILE_LIMIT = 3 * 1024 * 1024 - 64 * 1024;
// Upload-session pieces: multiples of 320 KiB, at most 4 MB each.
export const UPLOAD_PIECE = 10 * 320 * 1024;

const sleepFor = (ms: number) => new Promise<void>((r) => setTimeout(r, ms));

// Keeps the sending within the mailbox's limits: so many per minute and so
// many in any 24 hours, both as rolling windows.
export class Pacer {
  private readonly times: number[];

  constructor(
    public perMinute: number,
    public perDay: number,
    earlier: number[] = [],
    private readonly now: () => number = Date.now,
    private readonly sleep: (ms: number) => Promise<void> = sleepFor,
  ) {
    this.times = [...earlier].sort((a, b) => a - b);
  }

  // How long until one more may go.
  delay(): number {
    const now = this.now();
    const day = 24 * 3600_000;
    while (this.times.length && this.times[0]! <= now - day) this.times.shift();
    let wait = 0;
    if (this.times.length >= this.perDay) {
      wait = Math.max(wait, this.times[this.times.length - this.perDay]! + day - now);
    }
    const lastMinute = this.times.filter((t) => t > now - 60_000);
    if (lastMinute.length >= this.perMinute) {
      wait = Math.max(wait, lastMinute[lastMinute.length - this.perMinute]! + 60_000 - now);
    }
    return wait;
  }

  // A new pace takes effect within a second, also for a copy already waiting.
  setRate(perMinute: number, perDay: number): void {
    this.perMinute = perMinute;
    this.perDay = perDay;
  }

  // Waits for its turn and takes it; false, without taking one, when
  // `interrupted` turns true while waiting.
  async take(interrupted: () => boolean = () => false): Promise<boolean> {
    for (let wait = this.delay(); wait > 0; wait = this.delay()) {
      if (interrupted()) return false;
      await this.sleep(Math.min(wait, 1000));
    }
    this.times.push(this.now());
    return true;
  }

  history(): number[] {
    return [...this.times];
  }
}

export type RunEnd = "done" | "cancelled" | "limit" | "connection" | "signin";

export interface Progress {
  total: number;
  sent: number;
  // Found in Sent Items by the lookup: sent by an earlier run.
  sentEarlier: number;
  failed: number;
  running: boolean;
  paused: boolean;
  remainingMs: number;
  status: string;
}

export interface RunResult {
  end: RunEnd;
  sent: number;
  sentEarlier: number;
  failed: { index: number; recipient: string; reason: string }[];
  // Copies that may or may not have gone (at most one per interruption).
  inDoubt: { index: number; recipient: string }[];
  message: string;
}

export interface MailerOptions {
  graph: GraphClient;
  session: CoreSession;
  composed: ComposedMessage;
  // The record's files, from the folder the user granted.
  readFile: (name: string) => Promise<FileBytes>;
  pacer: Pacer;
  // Copies made at the same time (each with one request in flight at most).
  parallel?: number;
  // At most so many copies in this run.
  limit?: number;
  onProgress?: (p: Progress) => void;
  // How long the service may take to move a sent message to Sent Items
  // before a lookup can trust what it finds.
  settleDelayMs?: number;
  sleep?: (ms: number) => Promise<void>;
  // Messages asked for per page when looking through a folder.
  pageSize?: number;
  // Keeps the ledger where it outlives the pane; called after each mark
  // that must be kept before the request it guards.
  keep?: () => void;
  // An earlier run of this mailing, in this browser or another, may have
  // ended just after handing a copy over without its ledger knowing (a
  // browser loses its last writes to storage when it is killed): the
  // mailbox is looked through only after the time the service may take to
  // move a sent message, or a copy on its way would be sent again.
  earlierRun?: boolean;
}

class Stop extends Error {
  constructor(
    readonly end: RunEnd,
    message: string,
  ) {
    super(message);
  }
}

export class Mailer {
  private paused = false;
  private cancelled = false;
  private resumeWaiters: (() => void)[] = [];
  // Only one copy at a time may be handed over without its answer, so an
  // interruption leaves at most one in doubt.
  private sendLock: Promise<void> = Promise.resolve();
  private stop: Stop | null = null;
  private limited = false;
  private readonly result: RunResult = { end: "done", sent: 0, sentEarlier: 0, failed: [], inDoubt: [], message: "" };
  private total = 0;
  private started = 0;
  private status = "Not Running";
  private readonly sleep: (ms: number) => Promise<void>;

  constructor(private readonly o: MailerOptions) {
    this.sleep = o.sleep ?? sleepFor;
  }

  // "inDoubt" and "handedOver" are kept before the request that follows
  // them; "sent" is kept by the progress report that follows it.
  private mark(index: number, state: CopyState): void {
    this.o.session.ledger.mark(index, state);
    if (state !== "sent") this.o.keep?.();
  }

  private settle(index: number): void {
    this.o.session.ledger.settle(index);
    this.o.keep?.();
  }

  pause(): void {
    this.paused = true;
    this.report("Paused");
  }

  resume(): void {
    this.paused = false;
    for (const w of this.resumeWaiters.splice(0)) w();
    this.report("Sending");
  }

  cancel(): void {
    this.cancelled = true;
    this.resume();
  }

  async run(): Promise<RunResult> {
    const { session } = this.o;
    const copies = [...session.copies()];
    // What the core would not mail is not sent, and the summary says so.
    for (const n of session.notSent()) this.result.failed.push({ index: -1, recipient: n.recipient, reason: n.reason });
    this.total = copies.length;
    this.started = Date.now();
    const ledger = session.ledger;
    this.report("Looking in the mailbox for copies sent earlier");
    try {
      if (this.o.earlierRun) await this.sleep(this.o.settleDelayMs ?? 5000);
      await this.settleFromMailbox(copies);
    } catch (e) {
      const stop = e instanceof GraphError ? new Stop("connection", e.message) : this.stopFor(e);
      return this.end(copies, stop);
    }
    const todo = copies.filter((c) => ledger.state(c.index) !== "sent");
    this.result.sentEarlier = copies.length - todo.length;
    let budget = this.o.limit ?? Infinity;
    let next = 0;
    const worker = async () => {
      for (;;) {
        await this.whilePaused();
        if (this.stop || this.cancelled) return;
        if (next >= todo.length) return;
        if (budget <= 0) {
          // Copies under way still go; only new ones wait for the next run.
          this.limited = true;
          return;
        }
        const copy = todo[next++]!;
        budget -= 1;
        try {
          const went = await this.sendCopy(copy);
          if (!went) budget += 1; // a copy found sent earlier costs nothing
        } catch (e) {
          if (e instanceof Stop) this.stop ??= e;
          else throw e;
        }
      }
    };
    this.report("Sending");
    await Promise.all(Array.from({ length: Math.max(1, this.o.parallel ?? 3) }, worker));
    return this.end(copies, this.stop);
  }

  private end(copies: MergedCopy[], stop: Stop | null): RunResult {
    const ledger = this.o.session.ledger;
    this.stop = stop;
    for (const c of copies) {
      const s = ledger.state(c.index);
      if (s === "handedOver") this.result.inDoubt.push({ index: c.index, recipient: c.recipient });
    }
    if (this.stop) {
      this.result.end = this.stop.end;
      this.result.message = this.stop.message;
    } else if (this.cancelled) {
      this.result.end = "cancelled";
      this.result.message = "The mailing was cancelled.";
    } else if (this.limited) {
      this.result.end = "limit";
      this.result.message = "The limit for this run was reached.";
    } else if (this.result.failed.length || this.result.inDoubt.length) {
      const copies = (n: number) => (n === 1 ? "one copy" : `${n} copies`);
      const parts = [
        ...(this.result.failed.length ? [`${copies(this.result.failed.length)} not sent`] : []),
        ...(this.result.inDoubt.length ? [`${copies(this.result.inDoubt.length)} in doubt`] : []),
      ];
      this.result.message = `The mailing ended with ${parts.join(" and ")}.`;
    } else {
      this.result.message = "Every copy was sent.";
    }
    this.report(this.result.message, false);
    return this.result;
  }

  // The mailbox, not only this browser's ledger, says what went: every copy
  // of this mailing in Sent Items is sent, whatever the ledger holds (it may
  // be from another machine, or lost), and drafts of it are leftovers.
  private async settleFromMailbox(copies: MergedCopy[]): Promise<void> {
    const ledger = this.o.session.ledger;
    const byStamp = new Map(copies.map((c) => [stampOf(ledger.mailingId, c), c]));
    const filter = propertyFilter(MAILING_PROPERTY, ledger.mailingId);
    const expand = `singleValueExtendedProperties($filter=id eq '${STAMP_PROPERTY}')`;
    const query = `?$filter=${encodeURIComponent(filter)}&$expand=${encodeURIComponent(expand)}&$select=id&$top=${this.o.pageSize ?? 100}`;
    for (const folder of ["sentitems", "drafts"]) {
      let path: string | undefined = `/me/mailFolders/${folder}/messages${query}`;
      const drafts: string[] = [];
      while (path) {
        const page: { json: any } = await this.o.graph.request({ method: "GET", path, idempotent: true });
        for (const m of page.json?.value ?? []) {
          if (folder === "drafts") {
            drafts.push(String(m.id));
            continue;
          }
          const stamp = String(m.singleValueExtendedProperties?.[0]?.value ?? "");
          const copy = byStamp.get(stamp);
          if (copy && ledger.state(copy.index) !== "sent") {
            this.mark(copy.index, "sent");
            this.o.session.log(`Found in Sent Items, not sent again: ${copy.recipient}`);
          }
        }
        path = page.json?.["@odata.nextLink"];
      }
      // Deleted after the paging, which they would shift.
      for (const id of drafts) await this.dropDraft(id, true);
    }
    // Copies being made when the last run ended, with no trace now, did not
    // go. One handed over is looked up again on its turn, after the time the
    // service may take to move it to Sent Items.
    for (const c of copies) if (ledger.state(c.index) === "inDoubt") this.settle(c.index);
  }

  private async whilePaused(): Promise<void> {
    while (this.paused && !this.cancelled) await new Promise<void>((r) => this.resumeWaiters.push(r));
  }

  private report(status: string, running = true): void {
    this.status = status;
    const done = this.result.sent + this.result.sentEarlier + this.result.failed.length;
    const left = Math.max(0, this.total - done);
    const elapsed = Date.now() - this.started;
    const perCopy = this.result.sent > 0 ? elapsed / this.result.sent : 0;
    const paced = 60_000 / this.o.pacer.perMinute;
    this.o.onProgress?.({
      total: this.total,
      sent: this.result.sent,
      sentEarlier: this.result.sentEarlier,
      failed: this.result.failed.length,
      running,
      paused: this.paused,
      remainingMs: Math.round(left * Math.max(perCopy, paced)),
      status: this.status,
    });
  }

  // True when the copy was sent by this run.
  private async sendCopy(copy: MergedCopy): Promise<boolean> {
    const { session } = this.o;
    const ledger = session.ledger;
    const stamp = stampOf(ledger.mailingId, copy);
    const earlier = ledger.state(copy.index);
    if (earlier !== undefined) {
      const found = await this.guard(copy, async () => {
        if (earlier === "handedOver") await this.sleep(this.o.settleDelayMs ?? 5000);
        return this.lookUp(stamp);
      });
      if (found === "sent") {
        this.mark(copy.index, "sent");
        this.result.sentEarlier += 1;
        session.log(`Found in Sent Items, not sent again: ${copy.recipient}`);
        this.report("Sending");
        return false;
      }
      this.settle(copy.index);
      session.log(`Looked up, not sent before: ${copy.recipient}`);
    }
    let files: FileBytes[];
    try {
      files = [...this.o.composed.attachments];
      for (const name of copy.files) files.push(await this.o.readFile(name));
    } catch (e) {
      this.fail(copy, `A file could not be read: ${(e as Error).message}`);
      return false;
    }
    this.mark(copy.index, "inDoubt");
    let draftId = "";
    try {
      draftId = await this.guard(copy, () => this.makeDraft(copy, stamp, files));
    } catch (e) {
      if (e instanceof GraphError) {
        await this.abandon(copy, draftId);
        this.fail(copy, e.message);
        return false;
      }
      throw e;
    }
    // One copy at a time between asking for the send and its answer.
    let release!: () => void;
    const previous = this.sendLock;
    this.sendLock = new Promise<void>((r) => (release = r));
    await previous;
    try {
      // A pause holds copies already made, before their send; a pause, a
      // cancel or a stop also ends a wait for the pace.
      for (;;) {
        await this.whilePaused();
        if (this.stop || this.cancelled) {
          await this.abandon(copy, draftId);
          throw this.stop ?? new Stop("cancelled", "The mailing was cancelled.");
        }
        if (await this.o.pacer.take(() => this.paused || this.cancelled || this.stop !== null)) break;
      }
      this.mark(copy.index, "handedOver");
      try {
        await this.o.graph.request({ method: "POST", path: `/me/messages/${enc(draftId)}/send` });
      } catch (e) {
        if (e instanceof GraphError) {
          // Refused: it did not go; its draft is not left behind.
          await this.abandon(copy, draftId);
          this.fail(copy, e.message);
          return false;
        }
        if (e instanceof AnswerLost) {
          // Whether it went is told by Sent Items, not by sending again.
          const found = await this.guard(copy, async () => {
            await this.sleep(this.o.settleDelayMs ?? 5000);
            return this.lookUp(stamp);
          });
          if (found === "draft") {
            // Still a draft (now deleted): it did not go, so it goes now.
            this.settle(copy.index);
            release();
            return this.sendCopy(copy);
          }
          if (found === "none") {
            // Neither sent nor a draft: it may still be on its way to Sent
            // Items. It stays in doubt for a later run to look up again.
            session.log(`In doubt: ${copy.recipient}`);
            this.report("Sending");
            return false;
          }
        } else throw this.stopFor(e);
      }
      this.mark(copy.index, "sent");
      this.result.sent += 1;
      session.log(`Sent: ${copy.recipient}`);
      this.report("Sending");
      return true;
    } finally {
      release();
    }
  }

  // A copy to the user's own address, outside the mailing and its ledger.
  async sendTest(copy: MergedCopy): Promise<void> {
    const files = [...this.o.composed.attachments];
    for (const name of copy.files) files.push(await this.o.readFile(name));
    const id = await this.makeDraft(copy, `${this.o.session.ledger.mailingId}/test`, files);
    try {
      await this.o.graph.request({ method: "POST", path: `/me/messages/${enc(id)}/send` });
    } catch (e) {
      if (e instanceof GraphError) await this.dropDraft(id);
      throw e;
    }
  }

  // Runs a step of one copy; a lost connection or sign-in stops the run and
  // leaves the copy where the ledger has it.
  private async guard<T>(copy: MergedCopy, step: () => Promise<T>): Promise<T> {
    try {
      return await step();
    } catch (e) {
      if (e instanceof GraphError) throw e;
      throw this.stopFor(e, copy);
    }
  }

  // The first reason to stop is the run's; no copy starts its send after it.
  private stopFor(e: unknown, copy?: MergedCopy): Stop {
    if (e instanceof Stop) return e;
    const who = copy ? ` (at ${copy.recipient})` : "";
    let stop: Stop;
    if (e instanceof AuthError) stop = new Stop("signin", `The sign-in was lost${who}: ${e.message}`);
    else if (e instanceof AnswerLost) stop = new Stop("connection", `The connection to the mailbox was lost${who}.`);
    else stop = new Stop("connection", `${(e as Error).message}${who}`);
    this.stop ??= stop;
    return stop;
  }

  private fail(copy: MergedCopy, reason: string): void {
    this.result.failed.push({ index: copy.index, recipient: copy.recipient, reason });
    this.o.session.log(`Not sent: ${copy.recipient}: ${reason}`);
    this.report("Sending");
  }

  // Sent Items first (then it went), then Drafts (leftovers, deleted).
  private async lookUp(stamp: string): Promise<"sent" | "draft" | "none"> {
    const filter = propertyFilter(STAMP_PROPERTY, stamp);
    const q = `?$filter=${encodeURIComponent(filter)}&$select=id`;
    const sent = await this.o.graph.request({ method: "GET", path: `/me/mailFolders/sentitems/messages${q}`, idempotent: true });
    if ((sent.json?.value ?? []).length > 0) return "sent";
    const drafts = await this.o.graph.request({ method: "GET", path: `/me/mailFolders/drafts/messages${q}`, idempotent: true });
    const found: { id: string }[] = drafts.json?.value ?? [];
    for (const d of found) await this.dropDraft(String(d.id), true);
    return found.length > 0 ? "draft" : "none";
  }

  // True when no draft is left.
  private async dropDraft(id: string, strict = false): Promise<boolean> {
    if (!id) return true;
    try {
      await this.o.graph.request({ method: "DELETE", path: `/me/messages/${enc(id)}`, idempotent: true });
      return true;
    } catch (e) {
      // A draft already gone is what was wanted.
      if (e instanceof GraphError && e.status === 404) return true;
      if (strict) throw e;
      this.o.session.log(`A draft could not be deleted: ${(e as Error).message}`);
      return false;
    }
  }

  // The copy did not go. Its ledger mark goes too, unless a draft of it may
  // be left: then the next run looks it up and deletes it first.
  private async abandon(copy: MergedCopy, draftId: string): Promise<void> {
    if (await this.dropDraft(draftId)) this.settle(copy.index);
  }

  private async makeDraft(copy: MergedCopy, stamp: string, files: FileBytes[]): Promise<string> {
    const rcpt = (list: string[]) => list.map((address) => ({ emailAddress: { address: smtpAddress(address) } }));
    const small = files.filter((f) => f.bytes.length < INLINE_FILE_LIMIT);
    const large = files.filter((f) => f.bytes.length >= INLINE_FILE_LIMIT);
    const draft = await this.o.graph.request({
      method: "POST",
      path: "/me/messages",
      json: {
        subject: copy.subject,
        body: { contentType: copy.bodyType, content: copy.body },
        toRecipients: rcpt(copy.to),
        ccRecipients: rcpt(copy.cc),
        bccRecipients: rcpt(copy.bcc),
        singleValueExtendedProperties: [
          { id: STAMP_PROPERTY, value: stamp },
          { id: MAILING_PROPERTY, value: this.o.session.ledger.mailingId },
        ],
      },
    });
    const id = String(draft.json.id);
    try {
      for (const f of small) {
        await this.o.graph.request({
          method: "POST",
          path: `/me/messages/${enc(id)}/attachments`,
          json: {
            "@odata.type": "#microsoft.graph.fileAttachment",
            name: f.name,
            contentType: f.contentType,
            contentBytes: this.base64(f.bytes),
            isInline: f.isInline === true,
            ...(f.contentId ? { contentId: f.contentId } : {}),
          },
        });
      }
      for (const [k, f] of large.entries()) {
        // Files of the same name attached before this one (the small ones
        // all went first), for telling whether this one arrived when the
        // answer to its last piece is lost.
        const before = [...small, ...large.slice(0, k)].filter((g) => g.name === f.name).length;
        await this.upload(id, f, before);
      }
    } catch (e) {
      if (e instanceof GraphError) {
        await this.dropDraft(id);
        throw e;
      }
      throw e;
    }
    return id;
  }

  // The composed message's own files go on every copy: encoded once.
  private readonly encoded = new WeakMap<Uint8Array, string>();
  private base64(bytes: Uint8Array): string {
    let s = this.encoded.get(bytes);
    if (s === undefined) this.encoded.set(bytes, (s = toBase64(bytes)));
    return s;
  }

  private async upload(messageId: string, f: FileBytes, before: number): Promise<void> {
    const session = await this.o.graph.request({
      method: "POST",
      path: `/me/messages/${enc(messageId)}/attachments/createUploadSession`,
      json: {
        AttachmentItem: {
          attachmentType: "file",
          name: f.name,
          size: f.bytes.length,
          contentType: f.contentType,
          isInline: f.isInline === true,
          ...(f.contentId ? { contentId: f.contentId } : {}),
        },
      },
    });
    const url = String(session.json.uploadUrl);
    const size = f.bytes.length;
    let resumes = 0;
    for (let start = 0; start < size; ) {
      const end = Math.min(size, start + UPLOAD_PIECE) - 1;
      try {
        await this.o.graph.request({
          method: "PUT",
          path: url,
          auth: false,
          idempotent: true,
          bytes: f.bytes.subarray(start, end + 1),
          headers: { "Content-Range": `bytes ${start}-${end}/${size}` },
        });
        start = end + 1;
      } catch (e) {
        // A piece whose answer was lost may have arrived: its retry is then
        // out of range (416). The session tells which bytes it expects next.
        const lost = e instanceof AnswerLost || (e instanceof GraphError && e.status === 416);
        if (end === size - 1) {
          // The last piece ends the session, so its retry finds none (404):
          // the draft's attachments tell whether the file arrived.
          if ((lost || (e instanceof GraphError && e.status === 404)) && (await this.attached(messageId, f, before))) return;
          throw e;
        }
        if (!lost || ++resumes > 3) throw e;
        const state = await this.o.graph.request({ method: "GET", path: url, auth: false, idempotent: true });
        const next = Number(/^(\d+)-/.exec(String(state.json?.nextExpectedRanges?.[0] ?? ""))?.[1] ?? NaN);
        if (!(next >= start && next <= size)) throw e;
        start = next;
      }
    }
  }

  // Whether the draft holds more files of this name than were attached
  // before this one. By name only: the service's size of an attachment is
  // not its file's length. A question that fails says no, and the copy fails
  // with the upload's own reason rather than go without its file.
  private async attached(messageId: string, f: FileBytes, before: number): Promise<boolean> {
    try {
      const list = await this.o.graph.request({
        method: "GET",
        path: `/me/messages/${enc(messageId)}/attachments?$select=name`,
        idempotent: true,
      });
      const value = (list.json?.value ?? []) as { name?: string }[];
      return value.filter((a) => a.name === f.name).length > before;
    } catch {
      return false;
    }
  }
}

const enc = encodeURIComponent;

// What names a copy in the mailbox, the same on every run of the mailing.
function stampOf(mailingId: string, copy: MergedCopy): string {
  return `${mailingId}/${copy.key}`;
}

// An address whose domain is written in its own script (jo@bücher.example)
// goes to the service with the domain's DNS name, its labels in Punycode
// (RFC 5891, "IDNA2008 Protocol"): an SMTP server that does not speak
// SMTPUTF8 (RFC 6531) takes only that form, and every server takes it. The
// browser's URL parser does the conversion, with the mapping of UTS #46
// (WHATWG URL, "domain to ASCII"). A domain it refuses, or one holding what
// a host name cannot, is left as it was, and the service's answer says why.
export function smtpAddress(address: string): string {
  const at = address.lastIndexOf("@");
  const domain = address.slice(at + 1);
  if (at < 0 || /^[\x00-\x7f]*$/.test(domain) || /[\s/\\?#@:%[\]<>^|"]/.test(domain)) return address;
  try {
    const host = new URL(`http://${domain}/`).hostname;
    return /^[a-z0-9.-]+$/.test(host) ? `${address.slice(0, at)}@${host}` : address;
  } catch {
    return address;
  }
}

// The one $filter form the service takes on a single-value property.
function propertyFilter(id: string, value: string): string {
  return `singleValueExtendedProperties/Any(ep: ep/id eq '${id}' and ep/value eq '${value.replace(/'/g, "''")}')`;
}

const B64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// A table encoder: btoa of a byte string is much slower for files of some size.
export function toBase64(bytes: Uint8Array): string {
  const parts: string[] = [];
  const chunk = 3 * 8192;
  for (let start = 0; start < bytes.length; start += chunk) {
    const end = Math.min(bytes.length, start + chunk);
    const out: string[] = [];
    let i = start;
    for (; i + 2 < end; i += 3) {
      const n = (bytes[i]! << 16) | (bytes[i + 1]! << 8) | bytes[i + 2]!;
      out.push(B64[n >> 18]! + B64[(n >> 12) & 63]! + B64[(n >> 6) & 63]! + B64[n & 63]!);
    }
    if (i < end) {
      const n = (bytes[i]! << 16) | ((i + 1 < end ? bytes[i + 1]! : 0) << 8);
      out.push(B64[n >> 18]! + B64[(n >> 12) & 63]! + (i + 1 < end ? B64[(n >> 6) & 63]! : "=") + "=");
    }
    parts.push(out.join(""));
  }
  return parts.join("");
}
