// A local stand-in for the part of Microsoft Graph the add-in uses, as strict
// as the service: each rule names the Microsoft Learn page it follows. Sent
// messages are written as .eml files into the outbox folder.
import { createServer, type IncomingMessage, type Server, type ServerResponse } from "node:http";
import type { Socket } from "node:net";
import { randomBytes, randomUUID } from "node:crypto";
import { mkdirSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { toEml, type EmlAttachment, type EmlRecipient } from "./eml.js";

const KiB = 1024;
const MB = 1024 * 1024;
// "Microsoft Graph throttling guidance", Outlook service limits: four
// concurrent requests per app per mailbox.
const MAILBOX_CONCURRENCY = 4;
// "Attach large files to Outlook messages as attachments": files under 3 MB go
// in one POST to attachments, larger ones (up to 150 MB) through an upload
// session, in pieces of at most 4 MB each, multiples of 320 KiB but the last.
const INLINE_ATTACHMENT_LIMIT = 3 * MB;
const UPLOAD_SESSION_LIMIT = 150 * MB;
const UPLOAD_PIECE_LIMIT = 4 * MB;
const UPLOAD_PIECE_UNIT = 320 * KiB;
// "Microsoft Graph service-specific throttling limits" / "Known issues": a
// request body of more than 4 MB is refused with 413.
const REQUEST_BODY_LIMIT = 4 * MB;

export interface StoredMessage {
  id: string;
  // "outbox": sent, on its way to Sent Items, in no folder a query lists.
  folder: "drafts" | "outbox" | "sentitems";
  subject: string;
  body: { contentType: "html" | "text"; content: string };
  toRecipients: EmlRecipient[];
  ccRecipients: EmlRecipient[];
  bccRecipients: EmlRecipient[];
  attachments: (EmlAttachment & { id: string })[];
  singleValueExtendedProperties: { id: string; value: string }[];
  internetMessageHeaders: { name: string; value: string }[];
  internetMessageId: string;
  createdDateTime: string;
  sentDateTime?: string;
  owner: string;
}

interface Token {
  user: string;
  scopes: Set<string>;
  expires: number;
}

interface UploadSession {
  messageId: string;
  owner: string;
  name: string;
  contentType: string;
  size: number;
  received: Buffer[];
  next: number;
  expires: number;
  isInline: boolean;
  contentId?: string;
}

export interface StandinOptions {
  outbox: string;
  port?: number;
  // Requests allowed per mailbox in a window before 429 (the service allows
  // 10,000 in 10 minutes; tests lower it to see the pacing react).
  rateLimit?: { requests: number; windowMs: number; retryAfterSeconds: number };
  // How long a sent message takes to show in Sent Items. "message: send"
  // answers 202 Accepted: the service has taken the message, and it is
  // processed (submitted, then saved in Sent Items) after the answer, so a
  // lookup made at once may find it in neither Drafts nor Sent Items.
  sentItemsDelayMs?: number;
  // A round trip's time: each request is taken this long after it arrives.
  latencyMs?: number;
}

type Fault =
  | { kind: "status"; status: 429 | 503 | 504; retryAfter?: number }
  | { kind: "drop-answer" }
  | { kind: "drop-request" };

interface FaultRule {
  match: (method: string, path: string) => boolean;
  fault: Fault;
  times: number;
}

class HttpError extends Error {
  constructor(
    readonly status: number,
    readonly code: string,
    message: string,
    readonly headers: Record<string, string> = {},
  ) {
    super(message);
  }
}

// "Get singleValueExtendedProperty": the only filter form the service takes
// on a single-value property is
//   singleValueExtendedProperties/Any(ep: ep/id eq '{id}' and ep/value eq '{value}')
// and the id is "{type} {guid} Name {name}" or "{type} {proptag}".
const FILTER =
  /^singleValueExtendedProperties\/Any\(ep: ep\/id eq '((?:[^']|'')*)' and ep\/value eq '((?:[^']|'')*)'\)$/;
const PROPERTY_ID =
  /^(String|Integer|Boolean|SystemTime|Binary|Guid|Long|Double) (\{[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}\} Name \S.*|0x[0-9a-fA-F]{4})$/;

// An SMTP address the way Exchange resolves one: local@domain.tld, no spaces,
// no angle brackets or commas ("Send mail" ErrorInvalidRecipients).
const ADDRESS = /^[A-Za-z0-9.!#$%&'*+/=?^_`{|}~-]+@[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?(?:\.[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?)+$/;

export class GraphStandin {
  readonly messages = new Map<string, StoredMessage>();
  readonly requests: { method: string; path: string; status: number; error?: string }[] = [];
  peakInFlight = 0;
  sentCount = 0;
  url = "";
  private readonly tokens = new Map<string, Token>();
  private readonly inFlight = new Map<string, number>();
  private readonly sessions = new Map<string, UploadSession>();
  private readonly faults: FaultRule[] = [];
  private readonly window = new Map<string, number[]>();
  private readonly sockets = new Set<Socket>();
  private readonly moving = new Set<NodeJS.Timeout>();
  private server: Server | null = null;
  private cut = false;
  private clockOffset = 0;

  constructor(readonly options: StandinOptions) {
    mkdirSync(options.outbox, { recursive: true });
  }

  now(): number {
    return Date.now() + this.clockOffset;
  }

  // Moves the service's clock on (tokens and upload sessions expire).
  advanceClock(ms: number): void {
    this.clockOffset += ms;
  }

  issueToken(
    scopes: string[] = ["Mail.Send", "Mail.ReadWrite", "User.Read"],
    lifetimeMs = 3600_000,
    user = "sender@contoso.example",
  ): string {
    const token = randomBytes(18).toString("base64url");
    this.tokens.set(token, { user, scopes: new Set(scopes), expires: this.now() + lifetimeMs });
    return token;
  }

  revokeAll(): void {
    this.tokens.clear();
  }

  // The next `times` requests matching get the fault.
  inject(match: (method: string, path: string) => boolean, fault: Fault, times = 1): void {
    this.faults.push({ match, fault, times });
  }

  // A network cut: every open connection drops and new ones are refused an answer.
  setNetworkCut(cut: boolean): void {
    this.cut = cut;
    if (cut) for (const s of this.sockets) s.destroy();
  }

  inFolder(folder: StoredMessage["folder"]): StoredMessage[] {
    return [...this.messages.values()].filter((m) => m.folder === folder);
  }

  async start(): Promise<string> {
    const server = createServer((req, res) => void this.handle(req, res));
    server.on("connection", (s) => {
      this.sockets.add(s);
      s.setNoDelay(true);
      s.on("close", () => this.sockets.delete(s));
      if (this.cut) s.destroy();
    });
    this.server = server;
    await new Promise<void>((resolve) => server.listen(this.options.port ?? 0, "127.0.0.1", resolve));
    const address = server.address();
    if (!address || typeof address === "string") throw new Error("no address");
    this.url = `http://127.0.0.1:${address.port}`;
    return this.url;
  }

  async close(): Promise<void> {
    for (const t of this.moving) clearTimeout(t);
    for (const s of this.sockets) s.destroy();
    await new Promise<void>((resolve) => this.server?.close(() => resolve()) ?? resolve());
  }

  private async handle(req: IncomingMessage, res: ServerResponse): Promise<void> {
    const url = new URL(req.url ?? "/", "http://127.0.0.1");
    const method = req.method ?? "GET";
    const path = url.pathname.replace(/^\/v1\.0/, "");
    // "CORS in Microsoft Graph": the service answers preflights for any origin
    // and exposes the headers a browser client needs to read.
    res.setHeader("Access-Control-Allow-Origin", req.headers.origin ?? "*");
    res.setHeader("Access-Control-Expose-Headers", "Retry-After, Location, request-id");
    res.setHeader("request-id", randomUUID());
    if (method === "OPTIONS") {
      res.setHeader("Access-Control-Allow-Methods", "GET, POST, PUT, PATCH, DELETE");
      res.setHeader("Access-Control-Allow-Headers", "Authorization, Content-Type, Content-Range, Prefer");
      res.setHeader("Access-Control-Max-Age", "600");
      res.writeHead(204).end();
      return;
    }
    if (this.options.latencyMs) await new Promise((r) => setTimeout(r, this.options.latencyMs));
    if (this.cut) {
      req.socket.destroy();
      return;
    }
    const fault = this.takeFault(method, path);
    if (fault?.kind === "drop-request") {
      req.socket.destroy();
      return;
    }
    if (fault?.kind === "status") {
      req.resume();
      const headers: Record<string, string> = {};
      if (fault.retryAfter !== undefined) headers["Retry-After"] = String(fault.retryAfter);
      const code = fault.status === 429 ? "TooManyRequests" : fault.status === 503 ? "ServiceUnavailable" : "GatewayTimeout";
      this.answer(req, res, method, path, fault.status, { error: { code, message: code } }, headers);
      return;
    }
    let mailbox = "";
    try {
      const upload = path.match(/^\/upload\/([A-Za-z0-9_-]+)$/);
      const token = upload ? null : this.authenticate(req);
      mailbox = upload ? (this.sessions.get(upload[1]!)?.owner ?? "") : token!.user;
      this.admit(mailbox);
      const body = await this.readBody(req, upload !== null);
      const result = upload
        ? this.uploadPiece(upload[1]!, req, body)
        : await this.route(method, path, url.searchParams, body, token!);
      if (fault?.kind === "drop-answer") {
        // The service did the work; the answer never reaches the client.
        req.socket.destroy();
        return;
      }
      this.answer(req, res, method, path, result.status, result.json, result.headers ?? {});
    } catch (e) {
      if (e instanceof HttpError) {
        this.answer(req, res, method, path, e.status, { error: { code: e.code, message: e.message } }, e.headers);
      } else {
        this.answer(req, res, method, path, 500, { error: { code: "InternalServerError", message: String(e) } });
      }
    } finally {
      if (mailbox) this.inFlight.set(mailbox, (this.inFlight.get(mailbox) ?? 1) - 1);
    }
  }

  private takeFault(method: string, path: string): Fault | undefined {
    const rule = this.faults.find((f) => f.times > 0 && f.match(method, path));
    if (!rule) return undefined;
    rule.times -= 1;
    return rule.fault;
  }

  private answer(
    _req: IncomingMessage,
    res: ServerResponse,
    method: string,
    path: string,
    status: number,
    json: unknown,
    headers: Record<string, string> = {},
  ): void {
    const error = (json as { error?: { message?: string } } | undefined)?.error?.message;
    this.requests.push({ method, path, status, ...(error ? { error } : {}) });
    for (const [k, v] of Object.entries(headers)) res.setHeader(k, v);
    if (json === undefined) {
      res.writeHead(status).end();
    } else {
      res.setHeader("Content-Type", "application/json");
      res.writeHead(status).end(JSON.stringify(json));
    }
  }

  // "Authentication and authorization basics" / "Resolve authorization errors":
  // no bearer token or an expired one is 401 InvalidAuthenticationToken.
  private authenticate(req: IncomingMessage): Token {
    const header = req.headers.authorization ?? "";
    const m = header.match(/^Bearer (\S+)$/);
    if (!m) {
      req.resume();
      throw new HttpError(401, "InvalidAuthenticationToken", "Access token is empty.");
    }
    const token = this.tokens.get(m[1]!);
    if (!token) {
      req.resume();
      throw new HttpError(401, "InvalidAuthenticationToken", "IDX14100: JWT is not well formed.");
    }
    if (token.expires <= this.now()) {
      req.resume();
      throw new HttpError(401, "InvalidAuthenticationToken", "Lifetime validation failed, the token is expired.");
    }
    return token;
  }

  // "Microsoft Graph permissions reference": each call needs one of its
  // permissions in the token's scopes, else 403 ErrorAccessDenied.
  private requireScope(token: Token, ...any: string[]): void {
    if (!any.some((s) => token.scopes.has(s))) {
      throw new HttpError(403, "ErrorAccessDenied", "Access is denied. Check credentials and try again.");
    }
  }

  // "Microsoft Graph throttling guidance" (Outlook service limits): a fifth
  // concurrent request to one mailbox, or one over the rate, is 429 with
  // Retry-After.
  private admit(mailbox: string): void {
    const busy = this.inFlight.get(mailbox) ?? 0;
    this.inFlight.set(mailbox, busy + 1);
    this.peakInFlight = Math.max(this.peakInFlight, busy + 1);
    if (busy >= MAILBOX_CONCURRENCY) {
      throw new HttpError(429, "ApplicationThrottled", "Application is over its MailboxConcurrency limit.", {
        "Retry-After": "1",
      });
    }
    const limit = this.options.rateLimit;
    if (limit) {
      const now = this.now();
      const times = (this.window.get(mailbox) ?? []).filter((t) => t > now - limit.windowMs);
      if (times.length >= limit.requests) {
        this.window.set(mailbox, times);
        throw new HttpError(429, "ApplicationThrottled", "Application is over its MailboxRequestRate limit.", {
          "Retry-After": String(limit.retryAfterSeconds),
        });
      }
      times.push(now);
      this.window.set(mailbox, times);
    }
  }

  private readBody(req: IncomingMessage, binary: boolean): Promise<Buffer> {
    const declared = Number(req.headers["content-length"] ?? 0);
    const limit = binary ? UPLOAD_PIECE_LIMIT : REQUEST_BODY_LIMIT;
    if (declared > limit) {
      req.resume();
      return Promise.reject(
        new HttpError(413, "RequestEntityTooLarge", `The request body is larger than ${limit} bytes.`),
      );
    }
    return new Promise((resolve, reject) => {
      const chunks: Buffer[] = [];
      let size = 0;
      req.on("data", (c: Buffer) => {
        size += c.length;
        chunks.push(c);
      });
      let ended = false;
      req.on("end", () => {
        ended = true;
        if (size > limit) {
          reject(new HttpError(413, "RequestEntityTooLarge", `The request body is larger than ${limit} bytes.`));
        } else resolve(Buffer.concat(chunks));
      });
      req.on("error", reject);
      // A client killed mid-request frees its place among the mailbox's
      // concurrent requests, as the service's does when the connection drops.
      const gone = () => {
        if (!ended) reject(new Error("The client closed the connection."));
      };
      if (req.destroyed) gone();
      req.on("close", gone);
    });
  }

  private parseJson(body: Buffer): Record<string, unknown> {
    try {
      const v: unknown = JSON.parse(body.toString("utf8") || "null");
      if (v && typeof v === "object" && !Array.isArray(v)) return v as Record<string, unknown>;
    } catch {
      // falls through
    }
    throw new HttpError(400, "BadRequest", "Unable to read JSON request payload.");
  }

  private async route(
    method: string,
    path: string,
    query: URLSearchParams,
    body: Buffer,
    token: Token,
  ): Promise<{ status: number; json?: unknown; headers?: Record<string, string> }> {
    let m: RegExpMatchArray | null;
    if (method === "GET" && path === "/me") {
      this.requireScope(token, "User.Read");
      return { status: 200, json: { mail: token.user, userPrincipalName: token.user, displayName: token.user } };
    }
    if (method === "POST" && path === "/me/messages") {
      // "Create message": Mail.ReadWrite; the draft lands in Drafts.
      this.requireScope(token, "Mail.ReadWrite");
      const draft = this.newMessage(this.parseJson(body), token.user);
      return { status: 201, json: this.view(draft) };
    }
    if (method === "POST" && path === "/me/sendMail") {
      // "user: sendMail": Mail.Send; 202 Accepted, a copy in Sent Items unless
      // saveToSentItems is false.
      this.requireScope(token, "Mail.Send");
      const payload = this.parseJson(body);
      const message = payload.message;
      if (!message || typeof message !== "object") throw new HttpError(400, "ErrorInvalidRequest", "message is required.");
      const draft = this.newMessage(message as Record<string, unknown>, token.user);
      this.messages.delete(draft.id);
      this.send(draft, payload.saveToSentItems !== false);
      return { status: 202 };
    }
    if ((m = path.match(/^\/me\/messages\/([^/]+)\/send$/)) && method === "POST") {
      // "message: send": Mail.Send; 202 Accepted and the message moves from
      // Drafts to Sent Items (with a new id).
      this.requireScope(token, "Mail.Send");
      const draft = this.own(m[1]!, token, "drafts");
      this.send(draft, true);
      return { status: 202 };
    }
    if ((m = path.match(/^\/me\/messages\/([^/]+)\/attachments$/)) && method === "POST") {
      // "Add attachment": Mail.ReadWrite; a fileAttachment under 3 MB.
      this.requireScope(token, "Mail.ReadWrite");
      const draft = this.own(m[1]!, token, "drafts");
      const a = this.parseJson(body);
      if (a["@odata.type"] !== "#microsoft.graph.fileAttachment") {
        throw new HttpError(400, "ErrorInvalidRequest", "Only file attachments are accepted here.");
      }
      const attachment = this.fileAttachment(a);
      draft.attachments.push(attachment);
      return { status: 201, json: { id: attachment.id, name: attachment.name, size: attachment.bytes.length } };
    }
    if ((m = path.match(/^\/me\/messages\/([^/]+)\/attachments\/createUploadSession$/)) && method === "POST") {
      // "attachment: createUploadSession": Mail.ReadWrite; 3 MB to 150 MB.
      this.requireScope(token, "Mail.ReadWrite");
      const draft = this.own(m[1]!, token, "drafts");
      const item = this.parseJson(body).AttachmentItem as Record<string, unknown> | undefined;
      if (!item || item.attachmentType !== "file" || typeof item.name !== "string" || typeof item.size !== "number") {
        throw new HttpError(400, "ErrorInvalidRequest", "AttachmentItem needs attachmentType file, name and size.");
      }
      if (item.size > UPLOAD_SESSION_LIMIT || item.size <= 0) {
        throw new HttpError(400, "ErrorAttachmentSizeLimitExceeded", "The attachment size is out of range.");
      }
      const id = randomBytes(24).toString("base64url");
      const expires = this.now() + 15 * 60_000;
      this.sessions.set(id, {
        messageId: draft.id,
        owner: token.user,
        name: item.name,
        contentType: typeof item.contentType === "string" ? item.contentType : "application/octet-stream",
        size: item.size,
        received: [],
        next: 0,
        expires,
        isInline: item.isInline === true,
        ...(typeof item.contentId === "string" ? { contentId: item.contentId } : {}),
      });
      return {
        status: 201,
        json: {
          uploadUrl: `${this.url}/upload/${id}`,
          expirationDateTime: new Date(expires).toISOString(),
          nextExpectedRanges: ["0-"],
        },
      };
    }
    if ((m = path.match(/^\/me\/mailFolders\/(sentitems|drafts)\/messages$/i)) && method === "GET") {
      // "List messages" with "$filter" on an extended property: Mail.ReadBasic,
      // Mail.Read or Mail.ReadWrite.
      this.requireScope(token, "Mail.ReadBasic", "Mail.Read", "Mail.ReadWrite");
      const folder = m[1]!.toLowerCase() as StoredMessage["folder"];
      const filter = query.get("$filter");
      let found = [...this.messages.values()].filter((x) => x.owner === token.user && x.folder === folder);
      if (filter !== null) {
        const f = filter.match(FILTER);
        if (!f) throw new HttpError(400, "ErrorInvalidUrlQueryFilter", "The query filter contains one or more invalid nodes.");
        const id = f[1]!.replace(/''/g, "'");
        const value = f[2]!.replace(/''/g, "'");
        if (!PROPERTY_ID.test(id)) throw new HttpError(400, "ErrorInvalidProperty", "The extended property id is not valid.");
        found = found.filter((x) =>
          x.singleValueExtendedProperties.some((p) => p.id.toLowerCase() === id.toLowerCase() && p.value === value),
        );
      }
      // "List messages": ten to a page unless $top says otherwise (at most
      // 1000); the rest through @odata.nextLink.
      const top = query.has("$top") ? Number(query.get("$top")) : 10;
      const skip = query.has("$skip") ? Number(query.get("$skip")) : 0;
      if (!Number.isInteger(top) || top < 1 || top > 1000 || !Number.isInteger(skip) || skip < 0) {
        throw new HttpError(400, "ErrorInvalidUrlQuery", "$top must be 1 to 1000 and $skip 0 or more.");
      }
      const expand = this.expansion(query.get("$expand"));
      found.sort((a, b) => a.createdDateTime.localeCompare(b.createdDateTime) || a.id.localeCompare(b.id));
      const page = found.slice(skip, skip + top);
      const json: Record<string, unknown> = {
        value: page.map((x) => ({
          ...(this.view(x) as object),
          ...(expand
            ? { singleValueExtendedProperties: x.singleValueExtendedProperties.filter((p) => p.id.toLowerCase() === expand) }
            : {}),
        })),
      };
      if (skip + top < found.length) {
        const next = new URLSearchParams(query);
        next.set("$skip", String(skip + top));
        next.set("$top", String(top));
        json["@odata.nextLink"] = `${this.url}/v1.0${path}?${next.toString()}`;
      }
      return { status: 200, json };
    }
    if ((m = path.match(/^\/me\/messages\/([^/]+)\/attachments$/)) && method === "GET") {
      // "List attachments": Mail.Read (Mail.ReadBasic does not reach
      // attachments); each with its id, name, contentType, size and isInline,
      // and with $select only the properties named (id always).
      this.requireScope(token, "Mail.Read", "Mail.ReadWrite");
      const message = this.own(m[1]!, token);
      const select = query.get("$select")?.split(",").map((x) => x.trim());
      const known = ["id", "name", "contentType", "size", "isInline", "contentId", "lastModifiedDateTime"];
      if (select?.some((x) => !known.includes(x) && x !== "contentBytes")) {
        throw new HttpError(400, "ErrorInvalidProperty", "Could not find a property named in $select.");
      }
      const value = message.attachments.map((a) => {
        const all: Record<string, unknown> = {
          "@odata.type": "#microsoft.graph.fileAttachment",
          id: a.id,
          name: a.name,
          contentType: a.contentType,
          size: a.bytes.length,
          isInline: a.isInline === true,
          ...(a.contentId ? { contentId: a.contentId } : {}),
          contentBytes: a.bytes.toString("base64"),
        };
        if (!select) return all;
        return Object.fromEntries(Object.entries(all).filter(([k]) => k === "id" || k === "@odata.type" || select.includes(k)));
      });
      return { status: 200, json: { value } };
    }
    if ((m = path.match(/^\/me\/messages\/([^/]+)$/)) && method === "DELETE") {
      // "Delete message": Mail.ReadWrite; 204.
      this.requireScope(token, "Mail.ReadWrite");
      const message = this.own(m[1]!, token);
      this.messages.delete(message.id);
      return { status: 204 };
    }
    if ((m = path.match(/^\/me\/messages\/([^/]+)$/)) && method === "GET") {
      this.requireScope(token, "Mail.ReadBasic", "Mail.Read", "Mail.ReadWrite");
      return { status: 200, json: this.view(this.own(m[1]!, token)) };
    }
    throw new HttpError(400, "BadRequest", `Resource not found for the segment '${path}'.`);
  }

  // "Get singleValueExtendedProperty": a property is read with
  //   $expand=singleValueExtendedProperties($filter=id eq '{id}')
  // and in no other form. The lower-cased id, or null without $expand.
  private expansion(expand: string | null): string | null {
    if (expand === null) return null;
    const m = expand.match(/^singleValueExtendedProperties\(\$filter=id eq '((?:[^']|'')*)'\)$/);
    const id = m?.[1]?.replace(/''/g, "'");
    if (!id || !PROPERTY_ID.test(id)) {
      throw new HttpError(400, "ErrorInvalidUrlQuery", "The $expand of an extended property is not valid.");
    }
    return id.toLowerCase();
  }

  private own(id: string, token: Token, folder?: StoredMessage["folder"]): StoredMessage {
    const message = this.messages.get(id);
    if (!message || message.owner !== token.user || (folder && message.folder !== folder)) {
      throw new HttpError(404, "ErrorItemNotFound", "The object was not found in the store.");
    }
    return message;
  }

  private recipients(v: unknown, field: string): EmlRecipient[] {
    if (v === undefined) return [];
    if (!Array.isArray(v)) throw new HttpError(400, "BadRequest", `${field} must be a collection.`);
    return v.map((r) => {
      const address = (r as EmlRecipient)?.emailAddress?.address;
      if (typeof address !== "string") throw new HttpError(400, "BadRequest", `${field} needs emailAddress.address.`);
      const name = (r as EmlRecipient).emailAddress.name;
      return { emailAddress: { address, ...(typeof name === "string" ? { name } : {}) } };
    });
  }

  private fileAttachment(a: Record<string, unknown>): StoredMessage["attachments"][number] {
    if (typeof a.name !== "string" || typeof a.contentBytes !== "string") {
      throw new HttpError(400, "ErrorInvalidRequest", "A file attachment needs name and contentBytes.");
    }
    const bytes = Buffer.from(a.contentBytes, "base64");
    if (bytes.length >= INLINE_ATTACHMENT_LIMIT) {
      throw new HttpError(413, "RequestEntityTooLarge", "Attachments of 3 MB or more need an upload session.");
    }
    return {
      id: randomBytes(12).toString("base64url"),
      name: a.name,
      contentType: typeof a.contentType === "string" ? a.contentType : "application/octet-stream",
      bytes,
      isInline: a.isInline === true,
      ...(typeof a.contentId === "string" ? { contentId: a.contentId } : {}),
    };
  }

  private newMessage(body: Record<string, unknown>, owner: string): StoredMessage {
    const props = body.singleValueExtendedProperties ?? [];
    if (!Array.isArray(props)) throw new HttpError(400, "BadRequest", "singleValueExtendedProperties must be a collection.");
    for (const p of props) {
      if (typeof p?.id !== "string" || !PROPERTY_ID.test(p.id) || typeof p.value !== "string") {
        throw new HttpError(400, "ErrorInvalidProperty", "The extended property id is not valid.");
      }
    }
    const b = (body.body ?? { contentType: "text", content: "" }) as StoredMessage["body"];
    const contentType = String(b.contentType).toLowerCase() === "html" ? "html" : "text";
    const headers = (body.internetMessageHeaders ?? []) as { name: string; value: string }[];
    for (const h of headers) {
      // "message resource": custom headers must begin with x- or X-.
      if (!/^x-/i.test(h?.name ?? "")) throw new HttpError(400, "InvalidInternetMessageHeader", "Custom headers must begin with x-.");
    }
    const attachments = ((body.attachments ?? []) as Record<string, unknown>[]).map((a) => this.fileAttachment(a));
    const message: StoredMessage = {
      id: randomBytes(24).toString("base64url"),
      folder: "drafts",
      subject: typeof body.subject === "string" ? body.subject : "",
      body: { contentType, content: typeof b.content === "string" ? b.content : "" },
      toRecipients: this.recipients(body.toRecipients, "toRecipients"),
      ccRecipients: this.recipients(body.ccRecipients, "ccRecipients"),
      bccRecipients: this.recipients(body.bccRecipients, "bccRecipients"),
      attachments,
      singleValueExtendedProperties: props as { id: string; value: string }[],
      internetMessageHeaders: headers,
      internetMessageId: `<${randomUUID()}@contoso.example>`,
      createdDateTime: new Date(this.now()).toISOString(),
      owner,
    };
    this.messages.set(message.id, message);
    return message;
  }

  // "message: send" / "sendMail": every recipient must resolve, else 400
  // ErrorInvalidRecipients and nothing is sent (the draft stays).
  private send(draft: StoredMessage, keep: boolean): void {
    const all = [...draft.toRecipients, ...draft.ccRecipients, ...draft.bccRecipients];
    if (all.length === 0) {
      throw new HttpError(400, "ErrorInvalidRecipients", "At least one recipient is not valid., A message can't be sent because it contains no recipients.");
    }
    for (const r of all) {
      if (!ADDRESS.test(r.emailAddress.address)) {
        throw new HttpError(
          400,
          "ErrorInvalidRecipients",
          `At least one recipient is not valid., Recipient '${r.emailAddress.address}' is not resolved. All recipients must be resolved before a message can be submitted.`,
        );
      }
    }
    this.messages.delete(draft.id);
    const delay = this.options.sentItemsDelayMs ?? 0;
    const sent: StoredMessage = {
      ...draft,
      id: randomBytes(24).toString("base64url"),
      folder: delay > 0 ? "outbox" : "sentitems",
      sentDateTime: new Date(this.now()).toISOString(),
    };
    if (keep) this.messages.set(sent.id, sent);
    if (keep && delay > 0) {
      const t = setTimeout(() => {
        this.moving.delete(t);
        sent.folder = "sentitems";
      }, delay);
      this.moving.add(t);
    }
    this.sentCount += 1;
    const eml = toEml({
      from: sent.owner,
      subject: sent.subject,
      bodyType: sent.body.contentType,
      body: sent.body.content,
      to: sent.toRecipients,
      cc: sent.ccRecipients,
      bcc: sent.bccRecipients,
      attachments: sent.attachments,
      internetMessageId: sent.internetMessageId,
      sentAt: new Date(this.now()),
      headers: sent.internetMessageHeaders,
    });
    const name = `${String(this.sentCount).padStart(4, "0")}-${sent.toRecipients[0]?.emailAddress.address ?? "none"}`;
    writeFileSync(join(this.options.outbox, `${name.replace(/[^A-Za-z0-9@._-]/g, "_")}.eml`), eml);
  }

  // "Attach large files to Outlook messages": the upload URL carries its own
  // authorisation and takes no Authorization header; each PUT names its bytes
  // in Content-Range, starts where the last one ended, and is a multiple of
  // 320 KiB unless it is the last.
  private uploadPiece(
    id: string,
    req: IncomingMessage,
    body: Buffer,
  ): { status: number; json?: unknown; headers?: Record<string, string> } {
    const session = this.sessions.get(id);
    if (!session || session.expires <= this.now()) {
      throw new HttpError(404, "ErrorItemNotFound", "The upload session was not found or has expired.");
    }
    if (req.headers.authorization) {
      throw new HttpError(401, "InvalidAuthenticationToken", "The upload URL is pre-authenticated; send no Authorization header.");
    }
    // "uploadSession resource type": a GET of the upload URL tells the
    // session's state, the bytes it still expects, so an upload whose answer
    // was lost resumes where the service stands.
    const status = { expirationDateTime: new Date(session.expires).toISOString(), nextExpectedRanges: [`${session.next}-`] };
    if (req.method === "GET") return { status: 200, json: status };
    if (req.method !== "PUT") throw new HttpError(405, "MethodNotAllowed", "Upload pieces are PUT.");
    const range = String(req.headers["content-range"] ?? "").match(/^bytes (\d+)-(\d+)\/(\d+)$/);
    if (!range) throw new HttpError(400, "InvalidContentRange", "Content-Range must be bytes start-end/total.");
    const start = Number(range[1]);
    const end = Number(range[2]);
    const total = Number(range[3]);
    const length = end - start + 1;
    if (total !== session.size) throw new HttpError(400, "InvalidContentRange", "The total does not match the session's size.");
    if (start !== session.next) {
      throw new HttpError(416, "InvalidRange", `Expected the range starting at ${session.next}.`);
    }
    if (end < start || end >= total) throw new HttpError(400, "InvalidContentRange", "The range is outside the file.");
    if (Number(req.headers["content-length"]) !== length || body.length !== length) {
      throw new HttpError(400, "InvalidContentLength", "Content-Length does not match Content-Range.");
    }
    const last = end === total - 1;
    if (!last && length % UPLOAD_PIECE_UNIT !== 0) {
      throw new HttpError(400, "InvalidContentRange", "Pieces other than the last must be multiples of 320 KiB.");
    }
    session.received.push(body);
    session.next = end + 1;
    if (!last) return { status: 200, json: { ...status, nextExpectedRanges: [`${session.next}-`] } };
    this.sessions.delete(id);
    const draft = this.messages.get(session.messageId);
    if (!draft || draft.folder !== "drafts") throw new HttpError(404, "ErrorItemNotFound", "The message is gone.");
    const attachment = {
      id: randomBytes(12).toString("base64url"),
      name: session.name,
      contentType: session.contentType,
      bytes: Buffer.concat(session.received),
      isInline: session.isInline,
      ...(session.contentId ? { contentId: session.contentId } : {}),
    };
    draft.attachments.push(attachment);
    return { status: 201, headers: { Location: `${this.url}/v1.0/me/messages/${draft.id}/attachments/${attachment.id}` } };
  }

  private view(m: StoredMessage): unknown {
    return {
      id: m.id,
      subject: m.subject,
      body: m.body,
      toRecipients: m.toRecipients,
      ccRecipients: m.ccRecipients,
      bccRecipients: m.bccRecipients,
      hasAttachments: m.attachments.length > 0,
      internetMessageId: m.internetMessageId,
      createdDateTime: m.createdDateTime,
      ...(m.sentDateTime ? { sentDateTime: m.sentDateTime } : {}),
      isDraft: m.folder === "drafts",
    };
  }
}
