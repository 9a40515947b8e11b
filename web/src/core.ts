// The mailing core: the C++ data layer built as WebAssembly (quorvel-core.wasm,
// a WASI reactor), behind the typed face of core-types.ts. Everything a
// mailing decides (the list's encoding and delimiter, the address column,
// which records can be mailed, the review's findings, the merge, who a
// continued mailing has already mailed) is the core's; this file only moves
// bytes in and JSON out.
//
// The core reads files: the list and the files its records name are put into
// an in-memory file system (browser_wasi_shim) under /lists, which the core
// sees as Z:\lists, and the mailing's sent list under /ledger.
import { ConsoleStdout, Directory, File, OpenFile, PreopenDirectory, WASI } from "@bjorn3/browser_wasi_shim";
import type {
  ComposedMessage,
  Core,
  CoreLedger,
  CoreSession,
  CopyState,
  Finding,
  JobLogs,
  MergedCopy,
  NotSent,
  Preview,
  Review,
  SheetChoice,
} from "./core-types.js";

interface CoreExports {
  memory: WebAssembly.Memory;
  qv_start(): void;
  qv_alloc(bytes: number): number;
  qv_free(at: number): void;
  qv_choose_sheet(list: number, sheet: number, includeHidden: number): void;
  qv_review(list: number, subject: number, body: number, html: number, sent: number): number;
  qv_copy(index: number): number;
  qv_first_copy(): number;
  qv_next_copy(): number;
  qv_answer_size(): number;
}

// The answers as the core writes them (tools/web-core/README.md).
interface ReviewAnswer {
  error?: string;
  line?: number;
  recipients: number;
  alreadySent: number;
  skipped: number;
  header: string;
  emailField: string;
  columns: { files: string[]; cc: string[]; bcc: string[] };
  files: { path: string; copies: number; firstLine: number; size: number; outside: boolean }[];
  extraAddresses: { address: string; kind: "cc" | "bcc"; copies: number; firstLine: number }[];
  findings: { kind: number; count: number; lines: number[] }[];
  described: string;
  // A workbook's sheets, the one read (-1: none) and its hidden rows left out.
  // notes: the cells not read as the sheet shows them, paragraphs apart by a blank line.
  workbook?: { sheet: number; hiddenRows: number; includeHidden: boolean; sheets: string[]; notes: string };
}

interface CopyAnswer {
  error?: string;
  end?: boolean;
  notSent?: boolean;
  why?: string;
  index: number;
  line: number;
  to: string;
  occurrence: number;
  key: string;
  record: string;
  cc: string[];
  bcc: string[];
  attachments: { path: string; name: string; size: number }[];
  subject: string;
  body: string;
  html?: string;
}

const LISTS = "Z:\\lists\\";
const encoder = new TextEncoder();
const decoder = new TextDecoder();

// What each kind of finding means for the copies: records not mailed, a
// likely mistake, or something to know.
const SEVERITY: Finding["severity"][] = ["error", "error", "warning", "note", "warning", "warning", "error", "note"];

// A file of the granted folder as the core sees it: its name and size. The
// core checks each file a record names (there, readable, not too large) and
// never reads one; the pane reads the bytes of those a copy carries.
class SizedFile extends File {
  constructor(private readonly bytes: number) {
    super(new Uint8Array(0), { readonly: true });
  }
  override get size(): bigint {
    return BigInt(this.bytes);
  }
}

class Module {
  private readonly lists = new Directory(new Map());
  private readonly ledger = new Directory(new Map());
  readonly exports: CoreExports;

  constructor(bytes: BufferSource) {
    const root = new PreopenDirectory(
      "/",
      new Map<string, Directory>([
        ["lists", this.lists],
        ["ledger", this.ledger],
        ["tmp", new Directory(new Map())],
      ]),
    );
    const console_ = ConsoleStdout.lineBuffered((line) => console.warn(`quorvel-core: ${line}`));
    const wasi = new WASI([], ["TMPDIR=/tmp"], [new OpenFile(new File([])), console_, console_, root], { debug: false });
    const instance = new WebAssembly.Instance(new WebAssembly.Module(bytes), {
      wasi_snapshot_preview1: wasi.wasiImport,
    });
    wasi.initialize(instance as unknown as { exports: { memory: WebAssembly.Memory } });
    this.exports = instance.exports as unknown as CoreExports;
    this.exports.qv_start();
  }

  // The list and its folder's files (paths relative to the list, "/" apart).
  putFiles(listName: string, list: Uint8Array, folder: ReadonlyMap<string, { size: number }>): void {
    this.lists.contents.clear();
    for (const [path, file] of folder) {
      const parts = path.split(/[\\/]/).filter((p) => p && p !== "." && p !== "..");
      let dir = this.lists;
      for (const part of parts.slice(0, -1)) {
        let next = dir.contents.get(part);
        if (!(next instanceof Directory)) {
          next = new Directory(new Map());
          dir.contents.set(part, next);
        }
        dir = next as Directory;
      }
      if (parts.length) dir.contents.set(parts[parts.length - 1]!, new SizedFile(file.size));
    }
    this.lists.contents.set(listName, new File(list));
  }

  putSentList(text: string): void {
    this.ledger.contents.set("tosent.txt", new File(encoder.encode(text)));
  }

  call(f: (put: (text: string | undefined) => number) => number): unknown {
    const held: number[] = [];
    const put = (text: string | undefined): number => {
      if (text === undefined) return 0;
      const bytes = encoder.encode(text + "\0");
      const at = this.exports.qv_alloc(bytes.length);
      new Uint8Array(this.exports.memory.buffer, at, bytes.length).set(bytes);
      held.push(at);
      return at;
    };
    try {
      const at = f(put);
      return JSON.parse(decoder.decode(new Uint8Array(this.exports.memory.buffer, at, this.exports.qv_answer_size())));
    } finally {
      for (const at of held) this.exports.qv_free(at);
    }
  }
}


// The mailing's ledger: its sent list (the desktop's tosent.txt, which the
// core reads back to tell who has been mailed) and the copies whose fate is
// not known yet.
class Ledger implements CoreLedger {
  readonly mailingId: string;
  sentList: string;
  // The workbook's sheet the mailing reads, so that it is continued from the
  // same one in another browser.
  sheet?: SheetChoice;
  private readonly states = new Map<number, CopyState>();
  // Copies not known to be sent, by their key, kept across runs.
  private readonly doubts = new Map<string, { state: CopyState; record: string }>();
  readonly copies = new Map<number, MergedCopy>();

  constructor(saved: string | undefined, header: string, mailingId: string | undefined) {
    const kept = saved
      ? (JSON.parse(saved) as { mailingId: string; sentList: string; doubts: [string, { state: CopyState; record: string }][]; sheet?: SheetChoice })
      : undefined;
    this.mailingId = kept?.mailingId ?? mailingId ?? crypto.randomUUID();
    this.sheet = kept?.sheet;
    this.sentList = kept?.sentList ?? "";
    for (const [address, doubt] of kept?.doubts ?? []) this.doubts.set(address, doubt);
    if (!this.sentList) this.sentList = header + "\r\n";
  }
  // A copy handed out again after an earlier run left it in doubt.
  met(copy: MergedCopy): void {
    this.copies.set(copy.index, copy);
    const doubt = this.doubts.get(copy.key);
    if (doubt) this.states.set(copy.index, doubt.state);
  }
  mark(index: number, state: CopyState): void {
    const copy = this.copies.get(index);
    this.states.set(index, state);
    if (!copy) return;
    if (state === "sent") {
      this.sentList += copy.record + "\r\n";
      this.doubts.delete(copy.key);
    } else {
      this.doubts.set(copy.key, { state, record: copy.record });
    }
  }
  settle(index: number): void {
    this.states.delete(index);
    const copy = this.copies.get(index);
    if (copy) this.doubts.delete(copy.key);
  }
  state(index: number): CopyState | undefined {
    return this.states.get(index);
  }
  save(): string {
    return JSON.stringify({ mailingId: this.mailingId, sentList: this.sentList, doubts: [...this.doubts], ...(this.sheet ? { sheet: this.sheet } : {}) });
  }
}

class Session implements CoreSession {
  readonly ledger: Ledger;
  private readonly answer: ReviewAnswer;
  private readonly lines: string[] = [];
  private refused: NotSent[] = [];

  constructor(
    private readonly module: Module,
    private readonly composed: ComposedMessage,
    listName: string,
    saved: string | undefined,
    chosen: SheetChoice | undefined,
  ) {
    const html = composed.bodyType === "html";
    const kept = saved ? (JSON.parse(saved) as { sentList?: string; sheet?: SheetChoice }) : undefined;
    if (kept?.sentList) module.putSentList(kept.sentList);
    // The user's pick, else the sheet the mailing read in an earlier run,
    // else the first visible one.
    const sheet = chosen ?? kept?.sheet ?? { sheet: "", includeHidden: false };
    this.answer = module.call((put) => {
      module.exports.qv_choose_sheet(put(LISTS + listName), put(sheet.sheet), sheet.includeHidden ? 1 : 0);
      return module.exports.qv_review(
        put(LISTS + listName),
        put(composed.subject),
        put(html ? (composed.text ?? "") : composed.body),
        put(html ? composed.body : undefined),
        put(kept?.sentList ? "Z:\\ledger\\tosent.txt" : undefined),
      );
    }) as ReviewAnswer;
    this.ledger = new Ledger(saved, this.answer.header ?? "", composed.mailingId);
    const book = this.answer.workbook;
    if (book && book.sheet >= 0) this.ledger.sheet = { sheet: book.sheets[book.sheet] ?? "", includeHidden: book.includeHidden };
  }

  review(): Review {
    const a = this.answer;
    if (a.error) {
      return {
        refused: a.error,
        findings: [],
        counts: { records: 0, recipients: 0, skipped: 0 },
        columns: { address: "", files: [], cc: [], bcc: [] },
        files: [],
        extraAddresses: [],
      };
    }
    const paragraphs = a.described ? a.described.split("\r\n\r\n") : [];
    const findings: Finding[] =
      paragraphs.length === a.findings.length
        ? a.findings.map((f, i) => ({ severity: SEVERITY[f.kind] ?? "note", line: f.lines[0] ?? 0, text: paragraphs[i]! }))
        : paragraphs.map((text) => ({ severity: "warning" as const, line: 0, text }));
    return {
      findings,
      counts: { records: a.recipients + a.alreadySent + a.skipped, recipients: a.recipients, skipped: a.skipped },
      columns: { address: a.emailField, ...a.columns },
      files: a.files.map((f) => ({ name: relative(f.path), copies: f.copies, firstLine: f.firstLine })),
      extraAddresses: a.extraAddresses.map((x) => ({ address: x.address, kind: x.kind, copies: x.copies, firstLine: x.firstLine })),
      ...(a.workbook && a.workbook.sheet >= 0
        ? {
            workbook: {
              sheets: a.workbook.sheets,
              sheet: a.workbook.sheets[a.workbook.sheet] ?? "",
              hiddenRows: a.workbook.hiddenRows,
              includeHidden: a.workbook.includeHidden,
              notes: a.workbook.notes ? a.workbook.notes.split("\n\n") : [],
            },
          }
        : {}),
    };
  }

  preview(index: number): Preview {
    const c = this.copyOf(this.module.call(() => this.module.exports.qv_copy(index)) as CopyAnswer);
    return { to: c.to, cc: c.cc, bcc: c.bcc, attachments: c.files, subject: c.subject, body: c.body, bodyType: c.bodyType };
  }

  *copies(): Iterable<MergedCopy> {
    this.refused = [];
    for (let a = this.module.call(() => this.module.exports.qv_first_copy()) as CopyAnswer; !a.end; a = this.module.call(() => this.module.exports.qv_next_copy()) as CopyAnswer) {
      if (a.notSent) {
        this.refused.push({ line: a.line, recipient: a.to, reason: a.why ?? "" });
        this.log(a.why ?? `Not sent: line ${a.line}`);
        continue;
      }
      const copy = this.copyOf(a);
      this.ledger.met(copy);
      yield copy;
    }
  }

  notSent(): NotSent[] {
    return [...this.refused];
  }

  log(line: string): void {
    this.lines.push(line);
  }

  logs(): JobLogs {
    const current = this.lines.join("\r\n");
    return { currentJob: current, jobHistory: `Mailing ${this.ledger.mailingId}\r\n${current}`, toSent: this.ledger.sentList };
  }

  private copyOf(a: CopyAnswer): MergedCopy {
    if (a.error) throw new Error(a.line ? `${a.error} (line ${a.line})` : a.error);
    const html = a.html !== undefined;
    return {
      index: a.index,
      line: a.line,
      recipient: a.to,
      key: a.key,
      to: [a.to],
      cc: a.cc,
      bcc: a.bcc,
      subject: a.subject,
      body: html ? a.html! : a.body,
      bodyType: html ? "html" : "text",
      files: a.attachments.map((f) => relative(f.path)),
      record: a.record,
    };
  }
}

// A file's path as the list's folder names it ("invoices/inv 7.pdf").
function relative(path: string): string {
  return (path.startsWith(LISTS) ? path.slice(LISTS.length) : path).replaceAll("\\", "/");
}

// Loads the core from its bytes (the pane fetches quorvel-core.wasm).
export function loadCore(bytes: BufferSource): Core {
  const module = new Module(bytes);
  return {
    open(list, fileName, composed, saved, folder, sheet): CoreSession {
      const name = fileName.split(/[\\/]/).pop() || "list.csv";
      module.putFiles(name, list, folder ?? new Map());
      return new Session(module, composed, name, saved, sheet);
    },
  };
}
