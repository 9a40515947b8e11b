// The typed face of the data layer (the list reader, the merge, the record
// checks, the review and the ledger's decisions), which runs as WebAssembly.
// The pane and the sender only carry its answers: nothing here reads a list
// or merges a field.

// The composed message as the pane reads it through Office.js.
export interface ComposedMessage {
  subject: string;
  body: string;
  bodyType: "html" | "text";
  // The plain text of an HTML body, as Office.js gives it: the copies' plain
  // part is merged from it.
  text?: string;
  // The mailing's identity, kept on the composed message (a custom property
  // saved with the draft): the same in every browser that continues it.
  mailingId?: string;
  // The message carried its identity already: a run of this mailing, here
  // or in another browser, came before.
  earlierRun?: boolean;
  // The composed message's own attachments, sent with every copy.
  attachments: FileBytes[];
}

export interface FileBytes {
  name: string;
  contentType: string;
  bytes: Uint8Array;
  isInline?: boolean;
  contentId?: string;
}

export interface Finding {
  severity: "error" | "warning" | "note";
  // The list's line (1 = the header) the finding concerns; 0 for the whole list.
  line: number;
  text: string;
}

export interface ReviewCounts {
  records: number;
  recipients: number;
  skipped: number;
}

export interface ReviewColumns {
  address: string;
  files: string[];
  cc: string[];
  bcc: string[];
}

export interface Review {
  // Set when the list cannot be mailed at all; the text says why.
  refused?: string;
  findings: Finding[];
  counts: ReviewCounts;
  columns: ReviewColumns;
  // The files the copies carry (the first few), each with how many copies
  // carry it and the list line of the first.
  files: { name: string; copies: number; firstLine: number }[];
  // The Cc and Bcc addresses the copies go to, the same way.
  extraAddresses: { address: string; kind: "cc" | "bcc"; copies: number; firstLine: number }[];
  // A workbook's sheets, the one read, and the hidden rows it left out
  // (none when they are included); notes: the cells not read as the sheet
  // shows them, a paragraph each kind.
  workbook?: { sheets: string[]; sheet: string; hiddenRows: number; includeHidden: boolean; notes: string[] };
}

// Which sheet of a workbook is read (by its name; "" for the first visible
// one) and whether its hidden rows are mailed too.
export interface SheetChoice {
  sheet: string;
  includeHidden: boolean;
}

export interface Preview {
  to: string[];
  cc: string[];
  bcc: string[];
  attachments: string[];
  subject: string;
  body: string;
  bodyType: "html" | "text";
}

// One merged copy, ready to go. Its files are named as the list names them,
// relative to the list's folder; the pane reads them from the folder granted.
export interface MergedCopy {
  // The copy's place among those this session mails (it changes when a
  // mailing is continued: the ledger of this session is kept by it).
  index: number;
  // The copy's name in the mailing, the same when the mailing is continued
  // or the list saved again: its address, letter case aside, and which
  // record of that address it is ("ann@example.com#1"). Its stamp in the
  // mailbox is made of it.
  key: string;
  line: number;
  recipient: string;
  to: string[];
  cc: string[];
  bcc: string[];
  subject: string;
  body: string;
  bodyType: "html" | "text";
  files: string[];
  // The list record as read, for the sent list.
  record: string;
}

export interface NotSent {
  line: number;
  recipient: string;
  reason: string;
}

// How far a copy got, as the ledger keeps it:
// - inDoubt: the copy is being made (a draft of it may exist); a run that
//   dies here leaves it to be looked up before it goes;
// - handedOver: its send was asked for and the answer not yet seen, so it
//   may have gone; the sender keeps at most one copy in this state;
// - sent: the service took it (202), or the lookup found it in Sent Items.
export type CopyState = "inDoubt" | "handedOver" | "sent";

// The ledger answers for this session's copies by their index; a saved
// ledger is the core's to take back (by the copies' keys), so a continued
// mailing's places may differ from the last run's.
export interface CoreLedger {
  // The mailing's identity, the same on every machine that continues it.
  readonly mailingId: string;
  mark(index: number, state: CopyState): void;
  // A copy in doubt that the lookup found not sent: it may go again.
  settle(index: number): void;
  state(index: number): CopyState | undefined;
  // What survives the pane (kept by the pane in browser storage).
  save(): string;
}

export interface JobLogs {
  currentJob: string;
  jobHistory: string;
  toSent: string;
}

export interface CoreSession {
  review(): Review;
  preview(index: number): Preview;
  copies(): Iterable<MergedCopy>;
  // The records the last copies() pass did not mail (a file gone, a value too
  // long to merge), each with the line the log gives it ("Not sent: line 4, ...").
  notSent(): NotSent[];
  readonly ledger: CoreLedger;
  // The three logs; `event` lines are added by the sender as copies go.
  log(line: string): void;
  logs(): JobLogs;
}

export interface Core {
  // `saved` is a ledger kept by an earlier run of the same mailing.
  // `folder`: the files of the folder the user granted, by their path below
  // it ("invoices/inv 7.pdf"); the core checks those the records name.
  open(
    list: Uint8Array,
    fileName: string,
    composed: ComposedMessage,
    saved?: string,
    folder?: ReadonlyMap<string, { size: number }>,
    // The user's pick in the review; else the sheet an earlier run read.
    sheet?: SheetChoice,
  ): CoreSession;
}

export type OpenCore = () => Promise<Core>;

declare global {
  interface Window {
    quorvelOpenCore?: OpenCore;
  }
}
