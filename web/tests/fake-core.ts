// A stand-in for the WebAssembly core: canned answers, no reading or merging.
// The pane and the sender are tested against it; the core has its own tests.
import type {
  ComposedMessage,
  CopyState,
  Core,
  CoreLedger,
  CoreSession,
  MergedCopy,
  Preview,
  Review,
} from "../src/core-types.js";

export function cannedCopies(n: number, extra: (i: number) => Partial<MergedCopy> = () => ({})): MergedCopy[] {
  return Array.from({ length: n }, (_, i) => ({
    index: i,
    line: i + 2,
    key: `person${i + 1}@example.com#1`,
    recipient: `person${i + 1}@example.com`,
    to: [`person${i + 1}@example.com`],
    cc: [],
    bcc: [],
    subject: `Hello person ${i + 1}`,
    body: `<p>Dear person ${i + 1},</p>`,
    bodyType: "html" as const,
    files: [],
    record: `Person ${i + 1},person${i + 1}@example.com`,
    ...extra(i),
  }));
}

export class FakeLedger implements CoreLedger {
  readonly states = new Map<number, CopyState>();
  readonly marks: [number, CopyState | "settled"][] = [];
  constructor(
    readonly mailingId = "m-0001",
    saved?: string,
  ) {
    if (saved) for (const [i, s] of JSON.parse(saved).states as [number, CopyState][]) this.states.set(i, s);
  }
  mark(index: number, state: CopyState): void {
    this.states.set(index, state);
    this.marks.push([index, state]);
  }
  settle(index: number): void {
    this.states.delete(index);
    this.marks.push([index, "settled"]);
  }
  state(index: number): CopyState | undefined {
    return this.states.get(index);
  }
  save(): string {
    return JSON.stringify({ mailingId: this.mailingId, states: [...this.states] });
  }
}

export class FakeSession implements CoreSession {
  readonly lines: string[] = [];
  constructor(
    readonly canned: MergedCopy[],
    readonly ledger: FakeLedger = new FakeLedger(),
    readonly cannedReview?: Review,
  ) {}
  review(): Review {
    return (
      this.cannedReview ?? {
        findings: [],
        counts: { records: this.canned.length, recipients: this.canned.length, skipped: 0 },
        columns: { address: "E-Mail", files: [], cc: [], bcc: [] },
        files: [],
        extraAddresses: [],
      }
    );
  }
  preview(index: number): Preview {
    const c = this.canned[index]!;
    return { to: c.to, cc: c.cc, bcc: c.bcc, attachments: c.files, subject: c.subject, body: c.body, bodyType: c.bodyType };
  }
  copies(): Iterable<MergedCopy> {
    return this.canned;
  }
  notSent() {
    return [];
  }
  log(line: string): void {
    this.lines.push(line);
  }
  logs() {
    return {
      currentJob: this.lines.join("\r\n"),
      jobHistory: `Job ${this.ledger.mailingId}\r\n${this.lines.join("\r\n")}`,
      toSent: this.canned.filter((c) => this.ledger.state(c.index) === "sent").map((c) => c.record).join("\r\n"),
    };
  }
}

export const composedText: ComposedMessage = { subject: "Hello [[Name]]", body: "<p>Dear [[Name]],</p>", bodyType: "html", attachments: [] };

export function fakeCore(copies: MergedCopy[], review?: Review): Core {
  return {
    open: (_bytes, _name, _composed, saved) => new FakeSession(copies, new FakeLedger("m-0001", saved), review),
  };
}
