// The task pane: choose a list, see the review and the preview of any
// recipient, send a test, then send with a limit and a schedule, pause,
// resume or cancel, and end on the summary with the three logs.
import type { ComposedMessage, Core, CoreSession, FileBytes, MergedCopy, OpenCore, Review, SheetChoice } from "./core-types.js";
import { GraphClient, type TokenSource } from "./graph.js";
import { inlineContentIds } from "./inline.js";
import { Mailer, Pacer, type Progress, type RunResult } from "./mailing.js";

export interface PaneDeps {
  doc: Document;
  openCore: OpenCore;
  office: typeof Office;
  graphBaseUrl: string;
  // The sign-in, made when first needed.
  signIn: () => Promise<TokenSource>;
  storage: Storage;
  settleDelayMs?: number;
}

type Step = "choose" | "review" | "sending" | "summary";

const LEDGER_KEY = "quorvel.ledger:";

export class Pane {
  private core: Core | null = null;
  private session: CoreSession | null = null;
  private review: Review | null = null;
  private listName = "";
  private folderFiles = new Map<string, File>();
  private listBytes: Uint8Array | null = null;
  private composed: ComposedMessage | null = null;
  // A workbook's sheet and hidden rows as the user picked them in the review.
  private sheet: SheetChoice | undefined;
  private graph: GraphClient | null = null;
  private mailer: Mailer | null = null;
  // A mailing was run in this pane (its ledger then knows how it ended).
  private ranHere = false;
  private storageFull = false;
  private pace: Pacer | null = null;
  private last: RunResult | null = null;
  private scheduleTimer: ReturnType<typeof setTimeout> | null = null;
  private scheduleWake: ((go: boolean) => void) | null = null;
  private readonly $: <T extends HTMLElement = HTMLElement>(id: string) => T;

  constructor(private readonly d: PaneDeps) {
    this.$ = <T extends HTMLElement>(id: string) => {
      const el = d.doc.getElementById(id);
      if (!el) throw new Error(`the pane has no #${id}`);
      return el as T;
    };
  }

  start(): void {
    this.$<HTMLInputElement>("list").addEventListener("change", () => void this.guarded(() => this.chooseList()));
    this.$<HTMLInputElement>("folder").addEventListener("change", () => this.chooseFolder());
    this.$<HTMLSelectElement>("recipient").addEventListener("change", () => this.showPreview());
    for (const id of ["sheet", "include-hidden"]) this.$(id).addEventListener("change", () => this.chooseSheet());
    this.$("test-self").addEventListener("click", () => void this.guarded(() => this.sendTest()));
    this.$("start").addEventListener("click", () => void this.guarded(() => this.startMailing()));
    for (const id of ["per-minute", "per-day"]) {
      this.$(id).addEventListener("change", () => {
        const p = this.pacer();
        this.pace?.setRate(p.perMinute, p.perDay);
      });
    }
    this.$("pause").addEventListener("click", () => this.pause());
    this.$("resume").addEventListener("click", () => this.resume());
    this.$("cancel").addEventListener("click", () => this.cancel());
    this.$("continue").addEventListener("click", () => void this.guarded(() => this.startMailing()));
    this.$("log-current").addEventListener("click", () => this.download("CurrentJob.txt", "currentJob"));
    this.$("log-history").addEventListener("click", () => this.download("JobHistory.txt", "jobHistory"));
    this.$("log-sent").addEventListener("click", () => this.download("tosent.txt", "toSent"));
    this.show("choose");
  }

  private async guarded(step: () => Promise<void>): Promise<void> {
    try {
      await step();
    } catch (e) {
      this.setState("Not Running");
      this.mailer = null;
      if (this.review) this.show("review");
      this.note(`Error: ${(e as Error).message}`);
    }
  }

  private note(text: string): void {
    const where = this.review ? "test-note" : "choose-note";
    this.$(where).textContent = text;
  }

  private show(step: Step): void {
    // The review stays in view above the sending, so its choices can be seen.
    const visible: Record<Step, Step[]> = {
      choose: ["choose"],
      review: ["choose", "review"],
      sending: ["sending"],
      summary: ["summary"],
    };
    for (const s of ["choose", "review", "sending", "summary"] as Step[]) {
      this.$(s).hidden = !visible[step].includes(s);
    }
  }

  private setState(text: string): void {
    this.$("state").textContent = text;
  }

  private chooseFolder(): void {
    this.folderFiles.clear();
    const input = this.$<HTMLInputElement>("folder");
    for (const f of Array.from(input.files ?? [])) {
      // "folder/sub/name": the path below the folder chosen.
      const rel = (f.webkitRelativePath || f.name).split("/").slice(1).join("/") || f.name;
      this.folderFiles.set(normalise(rel), f);
    }
    // The core checks the files the records name: the list is reviewed
    // again with the folder's.
    this.reviewAgain();
  }

  // Another sheet, or the hidden rows in or out: the list is reviewed again,
  // and the copies are those of the new review.
  private chooseSheet(): void {
    this.sheet = { sheet: this.$<HTMLSelectElement>("sheet").value, includeHidden: this.$<HTMLInputElement>("include-hidden").checked };
    this.reviewAgain();
  }

  private reviewAgain(): void {
    if (this.core && this.listBytes && this.composed) {
      const saved = this.d.storage.getItem(LEDGER_KEY + this.listName) ?? undefined;
      this.session = this.core.open(this.listBytes, this.listName, this.composed, saved, this.folderFiles, this.sheet);
      this.review = this.session.review();
    }
    if (this.review) this.renderReview();
  }

  private async chooseList(): Promise<void> {
    const file = this.$<HTMLInputElement>("list").files?.[0];
    if (!file) return;
    this.core ??= await this.d.openCore();
    this.composed = await readComposed(this.d.office);
    this.listName = file.name;
    this.sheet = undefined;
    const bytes = new Uint8Array(await file.arrayBuffer());
    const saved = this.d.storage.getItem(LEDGER_KEY + file.name) ?? undefined;
    this.listBytes = bytes;
    this.session = this.core.open(bytes, file.name, this.composed, saved, this.folderFiles);
    this.review = this.session.review();
    this.renderReview();
    this.show("review");
  }

  private renderReview(): void {
    const r = this.review!;
    const doc = this.d.doc;
    this.$("choose-note").textContent = `${this.listName}: ${plural(r.counts.recipients, "recipient", "recipients")}.`;
    const refused = this.$("refused");
    refused.hidden = !r.refused;
    refused.textContent = r.refused ?? "";
    this.$<HTMLButtonElement>("start").disabled = !!r.refused || r.counts.recipients === 0;
    this.$<HTMLButtonElement>("test-self").disabled = !!r.refused || r.counts.recipients === 0;
    fillList(this.$("counts"), [
      ["Records", String(r.counts.records)],
      ["Recipients", String(r.counts.recipients)],
      ["Skipped", String(r.counts.skipped)],
    ]);
    const body = this.$("findings").querySelector("tbody")!;
    body.replaceChildren(
      ...r.findings.map((f) => {
        const tr = doc.createElement("tr");
        const cells = [f.line ? String(f.line) : "", f.severity, f.text];
        cells.forEach((c, i) => {
          const td = doc.createElement("td");
          td.textContent = c;
          if (i === 1) td.className = `sev-${f.severity}`;
          tr.append(td);
        });
        return tr;
      }),
    );
    this.$("findings-box").hidden = r.findings.length === 0;
    fillList(this.$("columns"), [
      ["Address", r.columns.address],
      ["Files", r.columns.files.join(", ") || "none"],
      ["Cc", r.columns.cc.join(", ") || "none"],
      ["Bcc", r.columns.bcc.join(", ") || "none"],
    ]);
    const extras = [
      ...r.files.map((f) => {
        const found = this.fileFor(f.name) ? "" : this.folderFiles.size ? " (not in the folder)" : " (choose the folder)";
        return `${f.name}: ${plural(f.copies, "copy", "copies")}${found}`;
      }),
      ...r.extraAddresses.map((a) => `${a.kind === "cc" ? "Cc" : "Bcc"} ${a.address}: ${plural(a.copies, "copy", "copies")}`),
    ];
    this.$("extras").replaceChildren(
      ...extras.map((t) => {
        const li = doc.createElement("li");
        li.textContent = t;
        return li;
      }),
    );
    this.$("extras-box").hidden = extras.length === 0;
    this.renderSheet(r);
    const select = this.$<HTMLSelectElement>("recipient");
    const keep = select.value;
    const copies = [...this.session!.copies()];
    select.replaceChildren(
      ...copies.map((c) => {
        const o = doc.createElement("option");
        o.value = String(c.index);
        o.textContent = `${c.index + 1}. ${c.recipient}`;
        return o;
      }),
    );
    if (keep) select.value = keep;
    this.showPreview();
  }

  // Which sheet of a workbook is read, and the rows it hides.
  private renderSheet(r: Review): void {
    const book = r.workbook;
    this.$("sheet-box").hidden = !book;
    if (!book) return;
    const select = this.$<HTMLSelectElement>("sheet");
    select.replaceChildren(
      ...book.sheets.map((name) => {
        const o = this.d.doc.createElement("option");
        o.value = name;
        o.textContent = name;
        return o;
      }),
    );
    select.value = book.sheet;
    select.disabled = book.sheets.length < 2;
    const hidden = this.$<HTMLInputElement>("include-hidden");
    hidden.checked = book.includeHidden;
    this.$("include-hidden-label").hidden = !book.includeHidden && book.hiddenRows === 0;
    const note = this.$("hidden-note");
    note.hidden = book.includeHidden || book.hiddenRows === 0;
    note.textContent = `${plural(book.hiddenRows, "row is", "rows are")} hidden in the sheet and left out.`;
    this.$("workbook-notes").replaceChildren(
      ...book.notes.map((text) => {
        const p = this.d.doc.createElement("p");
        p.className = "note sheet-note";
        p.textContent = text;
        return p;
      }),
    );
  }

  private showPreview(): void {
    const select = this.$<HTMLSelectElement>("recipient");
    if (!select.value || !this.session) return;
    const p = this.session.preview(Number(select.value));
    this.$("pv-to").textContent = p.to.join("; ");
    this.$("pv-cc").textContent = p.cc.join("; ") || "none";
    this.$("pv-bcc").textContent = p.bcc.join("; ") || "none";
    const own = this.composed?.attachments.map((a) => a.name) ?? [];
    this.$("pv-files").textContent = [...own, ...p.attachments].join("; ") || "none";
    this.$("pv-subject").textContent = p.subject;
    // The body is shown in a sandboxed frame: no script of a list's field runs.
    const frame = this.$<HTMLIFrameElement>("pv-body");
    frame.srcdoc = p.bodyType === "html" ? p.body : `<pre style="white-space:pre-wrap;font:13px sans-serif">${escapeHtml(p.body)}</pre>`;
  }

  private fileFor(name: string): File | undefined {
    return this.folderFiles.get(normalise(name));
  }

  private async readFile(name: string): Promise<FileBytes> {
    if (/^([A-Za-z]:)?[\\/]/.test(name)) {
      throw new Error(`${name}: a full path cannot be read here; put the file in the folder chosen and name it from there`);
    }
    const f = this.fileFor(name);
    if (!f) throw new Error(`${name} is not in the folder chosen`);
    const base = name.split(/[\\/]/).pop() ?? name;
    return { name: base, contentType: f.type || "application/octet-stream", bytes: new Uint8Array(await f.arrayBuffer()) };
  }

  private async client(): Promise<GraphClient> {
    if (!this.graph) {
      const tokens = await this.d.signIn();
      // The sign-in itself, before anything shows as sending.
      await tokens.token();
      this.graph = new GraphClient({
        baseUrl: this.d.graphBaseUrl,
        tokens,
        onWait: (ms, why) => this.$("status").textContent = `The mailbox asked to wait ${Math.ceil(ms / 1000)} s (${why}).`,
      });
    }
    return this.graph;
  }

  private pacer(): Pacer {
    const perMinute = Math.max(1, Number(this.$<HTMLInputElement>("per-minute").value) || 30);
    const perDay = Math.max(1, Number(this.$<HTMLInputElement>("per-day").value) || 10000);
    return new Pacer(perMinute, perDay);
  }

  private async sendTest(): Promise<void> {
    const index = Number(this.$<HTMLSelectElement>("recipient").value || 0);
    const copy = [...this.session!.copies()].find((c) => c.index === index)!;
    const self = this.d.office.context.mailbox.userProfile.emailAddress;
    this.$("test-note").textContent = `Sending a test to ${self}…`;
    const test: MergedCopy = { ...copy, to: [self], cc: [], bcc: [], recipient: self };
    const mailer = new Mailer({
      graph: await this.client(),
      session: this.session!,
      composed: this.composed!,
      readFile: (n) => this.readFile(n),
      pacer: this.pacer(),
    });
    await mailer.sendTest(test);
    this.$("test-note").textContent = `A test of copy ${index + 1} went to ${self}.`;
  }

  private async startMailing(): Promise<void> {
    // Signed in before anything shows as sending: a refused sign-in leaves
    // the user on the review with the reason.
    const graph = await this.client();
    const at = this.$<HTMLInputElement>("schedule").value;
    const when = at ? new Date(at).getTime() : 0;
    this.show("sending");
    this.$("pause").hidden = false;
    this.$("resume").hidden = true;
    if (when > Date.now()) {
      this.setState("Waiting");
      // Nothing of the add-in runs once its pane is closed, and the mailbox
      // holds no mailing that has not begun: the user is told so.
      this.$("status").textContent = `Waiting until ${new Date(when).toLocaleString()}. Keep this pane open: the mailing starts from it.`;
      // In steps of at most an hour: a timer of more than 2^31 ms (about 25
      // days) would fire at once, and a sleeping computer's clock jumps.
      const go = await new Promise<boolean>((resolve) => {
        this.scheduleWake = resolve;
        const step = () => {
          const left = when - Date.now();
          if (left <= 0) resolve(true);
          else this.scheduleTimer = setTimeout(step, Math.min(left, 3600_000));
        };
        step();
      });
      this.scheduleTimer = null;
      this.scheduleWake = null;
      if (!go) return;
    }
    const limit = Number(this.$<HTMLInputElement>("limit").value) || undefined;
    const session = this.session!;
    this.pace = this.pacer();
    this.mailer = new Mailer({
      graph,
      session,
      composed: this.composed!,
      readFile: (n) => this.readFile(n),
      pacer: this.pace,
      ...(limit ? { limit } : {}),
      ...(this.d.settleDelayMs !== undefined ? { settleDelayMs: this.d.settleDelayMs } : {}),
      onProgress: (p) => this.progress(p),
      keep: () => this.keepLedger(),
      // A run ended by this pane told its ledger everything; only the first
      // run here may follow one that was cut off.
      earlierRun: !!this.composed!.earlierRun && !this.ranHere,
    });
    this.ranHere = true;
    this.setState("Running");
    this.$("sending-what").textContent = `${this.listName}: “${this.composed!.subject}”`;
    const result = await this.mailer.run();
    this.mailer = null;
    this.finish(result);
  }

  // The ledger goes to storage at every step, so a closed pane continues.
  // Storage that is full (a long mailing's sent list passes the browser's
  // quota) does not stop the mailing: a continued run takes what went from
  // the mailbox, which the ledger only spares it from reading.
  private keepLedger(): void {
    if (!this.session) return;
    try {
      this.d.storage.setItem(LEDGER_KEY + this.listName, this.session.ledger.save());
    } catch (e) {
      if (!this.storageFull) this.session.log(`The browser's storage did not take the ledger (${(e as Error).name}): a continued mailing asks the mailbox what went.`);
      this.storageFull = true;
    }
  }

  private progress(p: Progress): void {
    this.keepLedger();
    const done = p.sent + p.sentEarlier;
    const bar = this.$<HTMLProgressElement>("progress");
    bar.value = p.total ? Math.floor((done * 100) / p.total) : 0;
    this.$("status").textContent = p.status;
    this.$("sent").textContent = p.sentEarlier ? `${p.sent} (and ${p.sentEarlier} earlier)` : String(p.sent);
    this.$("failed").textContent = String(p.failed);
    this.$("left").textContent = String(Math.max(0, p.total - done - p.failed));
    this.$("remaining").textContent = p.running ? duration(p.remainingMs) : "";
    if (p.running) this.setState(p.paused ? "Paused" : "Running");
  }

  private pause(): void {
    this.mailer?.pause();
    this.$("pause").hidden = true;
    this.$("resume").hidden = false;
    this.setState("Paused");
  }

  private resume(): void {
    this.mailer?.resume();
    this.$("pause").hidden = false;
    this.$("resume").hidden = true;
    this.setState("Running");
  }

  private cancel(): void {
    if (this.scheduleTimer) {
      clearTimeout(this.scheduleTimer);
      this.scheduleWake?.(false);
      this.show("review");
      this.setState("Not Running");
      return;
    }
    this.$("status").textContent = "Cancelling: the copies under way finish first.";
    this.mailer?.cancel();
  }

  private finish(r: RunResult): void {
    this.last = r;
    const settled = r.end === "done" && r.inDoubt.length === 0;
    if (settled) this.d.storage.removeItem(LEDGER_KEY + this.listName);
    this.setState("Not Running");
    this.show("summary");
    const lines = [
      `Sent: ${r.sent}${r.sentEarlier ? ` (and ${r.sentEarlier} by earlier runs)` : ""}.`,
      ...(r.failed.length ? [`Not sent: ${r.failed.length}.`] : []),
    ];
    this.$("summary-text").textContent = `${r.message} ${lines.join(" ")}`;
    this.$("summary-what").textContent = this.$("sending-what").textContent;
    const doc = this.d.doc;
    const items = [
      ...r.inDoubt.map((c) => `In doubt (looked up before anything goes to this address again): ${c.recipient}`),
      ...r.failed.map((f) => `Not sent to ${f.recipient}: ${f.reason}`),
    ];
    this.$("summary-list").replaceChildren(
      ...items.map((t) => {
        const li = doc.createElement("li");
        li.textContent = t;
        return li;
      }),
    );
    this.$("continue").hidden = settled || r.end === "cancelled";
  }

  private download(name: string, which: "currentJob" | "jobHistory" | "toSent"): void {
    if (!this.session) return;
    const text = this.session.logs()[which];
    const url = URL.createObjectURL(new Blob([text], { type: "text/plain;charset=utf-8" }));
    const a = this.d.doc.createElement("a");
    a.href = url;
    a.download = name;
    this.d.doc.body.append(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(url), 10_000);
  }

  // For tests and the demo: where the pane stands.
  lastResult(): RunResult | null {
    return this.last;
  }
}

function fillList(dl: HTMLElement, pairs: [string, string][]): void {
  const doc = dl.ownerDocument;
  dl.replaceChildren(
    ...pairs.flatMap(([k, v]) => {
      const dt = doc.createElement("dt");
      dt.textContent = k;
      const dd = doc.createElement("dd");
      dd.textContent = v;
      return [dt, dd];
    }),
  );
}

function normalise(path: string): string {
  return path.replace(/\\/g, "/").replace(/^(\.\/)+/, "").toLowerCase();
}

function plural(n: number, one: string, many: string): string {
  return `${n} ${n === 1 ? one : many}`;
}

function escapeHtml(s: string): string {
  return s.replace(/[&<>"]/g, (c) => ({ "&": "&amp;", "<": "&lt;", ">": "&gt;", '"': "&quot;" })[c]!);
}

export function duration(ms: number): string {
  const s = Math.ceil(ms / 1000);
  const h = Math.floor(s / 3600);
  const m = Math.floor((s % 3600) / 60);
  return h ? `${h} h ${m} min` : m ? `${m} min ${s % 60} s` : `${s} s`;
}

function call<T>(start: (cb: (r: Office.AsyncResult<T>) => void) => void): Promise<T> {
  return new Promise((resolve, reject) =>
    start((r) => (r.status === Office.AsyncResultStatus.Succeeded ? resolve(r.value) : reject(new Error(r.error.message)))),
  );
}

// The composed message: subject, body in its own format, and its files.
export async function readComposed(office: typeof Office): Promise<ComposedMessage> {
  const item = office.context.mailbox.item as Office.MessageCompose;
  const subject = await call<string>((cb) => item.subject.getAsync(cb));
  const type = await call<Office.CoercionType>((cb) => item.body.getTypeAsync(cb));
  const bodyType = type === Office.CoercionType.Html ? "html" : "text";
  const body = await call<string>((cb) => item.body.getAsync(type, cb));
  // The copies' plain part is merged from the body's own text.
  const text = bodyType === "html" ? await call<string>((cb) => item.body.getAsync(Office.CoercionType.Text, cb)) : body;
  const list = await call<Office.AttachmentDetailsCompose[]>((cb) => item.getAttachmentsAsync(cb));
  const attachments: FileBytes[] = [];
  for (const a of list) {
    if (a.attachmentType !== Office.MailboxEnums.AttachmentType.File) continue;
    const content = await call<Office.AttachmentContent>((cb) => item.getAttachmentContentAsync(a.id, cb));
    if (content.format !== Office.MailboxEnums.AttachmentContentFormat.Base64) continue;
    const bin = atob(content.content);
    const bytes = new Uint8Array(bin.length);
    for (let i = 0; i < bin.length; i++) bytes[i] = bin.charCodeAt(i);
    attachments.push({
      name: a.name,
      contentType: (a as { contentType?: string }).contentType || "application/octet-stream",
      bytes,
      isInline: a.isInline,
    });
  }
  if (bodyType === "html") {
    const inline = attachments.filter((a) => a.isInline);
    const ids = inlineContentIds(body, inline.map((a) => a.name));
    inline.forEach((a, i) => {
      if (ids[i] !== undefined) a.contentId = ids[i];
    });
  }
  const mailing = await mailingIdentity(item);
  return { subject, body, bodyType, text, mailingId: mailing.id, earlierRun: mailing.kept, attachments };
}

// The name of the composed message's custom property that holds its
// mailing's identity.
const MAILING_ID_PROPERTY = "QuorvelMailing";

// The mailing this composed message is: its identity read from the message,
// or made and saved with it the first time, so that a mailing continued from
// another browser (whose storage holds no ledger) is still the same mailing
// and its copies in Sent Items are found as its own.
async function mailingIdentity(item: Office.MessageCompose): Promise<{ id: string; kept: boolean }> {
  const props = await call<Office.CustomProperties>((cb) => item.loadCustomPropertiesAsync(cb));
  const kept = props.get(MAILING_ID_PROPERTY) as string | undefined;
  if (kept) return { id: kept, kept: true };
  const made = crypto.randomUUID();
  props.set(MAILING_ID_PROPERTY, made);
  await call<void>((cb) => props.saveAsync(cb));
  return { id: made, kept: false };
}
