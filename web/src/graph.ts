// Requests to Microsoft Graph as the signed-in user: a bearer token, at most
// four requests in flight per mailbox, waits on throttling, one token refresh
// on 401. What a failed request may have done is the caller's to decide; this
// only says whether the service could have acted on it.

export interface TokenSource {
  token(): Promise<string>;
  // A fresh token after a 401 (the old one expired or was revoked).
  refresh(): Promise<string>;
}

export interface GraphRequest {
  method: "GET" | "POST" | "PUT" | "DELETE";
  // A path under /v1.0, or a whole URL (upload sessions).
  path: string;
  json?: unknown;
  bytes?: Uint8Array;
  headers?: Record<string, string>;
  // Upload URLs carry their own authorisation and must not get a token.
  auth?: boolean;
  // A request the service may act on twice without harm (GET, DELETE, PUT
  // of a range): a lost answer is asked again.
  idempotent?: boolean;
}

export interface GraphResponse {
  status: number;
  headers: Headers;
  json: any;
}

// The service refused the request; it did not act on it.
export class GraphError extends Error {
  constructor(
    readonly status: number,
    readonly code: string,
    message: string,
  ) {
    super(message);
    this.name = "GraphError";
  }
}

// The token could not be renewed (expired sign-in, revoked consent).
export class AuthError extends Error {
  constructor(message: string) {
    super(message);
    this.name = "AuthError";
  }
}

// No answer came (a network cut, a gateway timeout): the service may or may
// not have acted on the request.
export class AnswerLost extends Error {
  constructor(message: string) {
    super(message);
    this.name = "AnswerLost";
  }
}

export interface GraphClientOptions {
  baseUrl: string;
  tokens: TokenSource;
  fetch?: typeof fetch;
  // Four is the service's limit per app and mailbox ("Microsoft Graph
  // throttling guidance", Outlook service limits).
  maxInFlight?: number;
  maxAttempts?: number;
  backoffBaseMs?: number;
  backoffMaxMs?: number;
  sleep?: (ms: number) => Promise<void>;
  // Told of every wait the service asked for, for the pane to show.
  onWait?: (ms: number, why: string) => void;
}

const realSleep = (ms: number) => new Promise<void>((r) => setTimeout(r, ms));

export class GraphClient {
  inFlight = 0;
  peakInFlight = 0;
  private readonly queue: (() => void)[] = [];
  private holdUntil = 0;
  private readonly fetcher: typeof fetch;
  private readonly sleep: (ms: number) => Promise<void>;

  constructor(private readonly o: GraphClientOptions) {
    this.fetcher = o.fetch ?? ((...a) => fetch(...a));
    this.sleep = o.sleep ?? realSleep;
  }

  async request(r: GraphRequest): Promise<GraphResponse> {
    const maxAttempts = this.o.maxAttempts ?? 8;
    let refreshed = false;
    let token = r.auth === false ? "" : await this.currentToken();
    for (let attempt = 1; ; attempt++) {
      // A throttled mailbox holds every request, not only the one refused.
      const hold = this.holdUntil - Date.now();
      if (hold > 0) await this.sleep(hold);
      let res: Response;
      try {
        res = await this.slot(() => this.send(r, token));
      } catch (e) {
        // A network that fails three times running is down: say so soon.
        if (r.idempotent && attempt < Math.min(maxAttempts, 3)) {
          await this.sleep(this.backoff(attempt));
          continue;
        }
        throw new AnswerLost(`${r.method} ${short(r.path)}: no answer (${(e as Error).message})`);
      }
      const json = await readJson(res);
      if (res.ok) return { status: res.status, headers: res.headers, json };
      const code: string = json?.error?.code ?? String(res.status);
      const message: string = json?.error?.message ?? res.statusText;
      if (res.status === 401 && r.auth !== false) {
        if (refreshed) throw new AuthError(`The sign-in was refused again after renewing it: ${message}`);
        refreshed = true;
        token = await this.renew(token);
        continue;
      }
      // A gateway timeout leaves it open whether the service acted.
      if (res.status === 504 && !r.idempotent) {
        throw new AnswerLost(`${r.method} ${short(r.path)}: gateway timeout`);
      }
      if ((res.status === 429 || res.status === 503 || res.status === 504) && attempt < maxAttempts) {
        const wait = retryAfterMs(res.headers) ?? this.backoff(attempt);
        this.holdUntil = Math.max(this.holdUntil, Date.now() + wait);
        this.o.onWait?.(wait, `${res.status} ${code}`);
        continue;
      }
      throw new GraphError(res.status, code, message);
    }
  }

  private token: Promise<string> | null = null;

  // A sign-in that fails is an AuthError like a refused renewal: the run
  // stops with its copies in doubt, not failed.
  private async currentToken(): Promise<string> {
    this.token ??= this.o.tokens.token();
    try {
      return await this.token;
    } catch (e) {
      this.token = null;
      throw new AuthError(`The sign-in did not succeed: ${(e as Error).message}`);
    }
  }

  // Requests refused together renew the token once between them: the first
  // asks for a new one, the others take it.
  private async renew(refused: string): Promise<string> {
    const current = await this.currentToken().catch(() => "");
    if (current !== refused) return current;
    this.token = this.o.tokens.refresh();
    try {
      return await this.token;
    } catch (e) {
      throw new AuthError(`The sign-in could not be renewed: ${(e as Error).message}`);
    }
  }

  private backoff(attempt: number): number {
    const base = this.o.backoffBaseMs ?? 1000;
    const max = this.o.backoffMaxMs ?? 60_000;
    const exp = Math.min(max, base * 2 ** (attempt - 1));
    // Jitter keeps several waiting requests from coming back at once.
    return Math.round(exp / 2 + Math.random() * (exp / 2));
  }

  private async slot<T>(run: () => Promise<T>): Promise<T> {
    const limit = this.o.maxInFlight ?? 4;
    if (this.inFlight >= limit) await new Promise<void>((r) => this.queue.push(r));
    this.inFlight += 1;
    this.peakInFlight = Math.max(this.peakInFlight, this.inFlight);
    try {
      return await run();
    } finally {
      this.inFlight -= 1;
      this.queue.shift()?.();
    }
  }

  private send(r: GraphRequest, token: string): Promise<Response> {
    const headers: Record<string, string> = { ...r.headers };
    if (r.auth !== false) headers.Authorization = `Bearer ${token}`;
    let body: BodyInit | undefined;
    if (r.json !== undefined) {
      headers["Content-Type"] = "application/json";
      body = JSON.stringify(r.json);
    } else if (r.bytes) {
      headers["Content-Type"] ??= "application/octet-stream";
      body = new Uint8Array(r.bytes) as Uint8Array<ArrayBuffer>;
    }
    const url = /^https?:/.test(r.path) ? r.path : `${this.o.baseUrl}/v1.0${r.path}`;
    return this.fetcher(url, { method: r.method, headers, body });
  }
}

function short(path: string): string {
  return path.replace(/^https?:\/\/[^/]+/, "").slice(0, 80);
}

async function readJson(res: Response): Promise<any> {
  const text = await res.text().catch(() => "");
  if (!text) return undefined;
  try {
    return JSON.parse(text);
  } catch {
    return undefined;
  }
}

// Retry-After in seconds, or as an HTTP date (RFC 9110 section 10.2.3).
export function retryAfterMs(headers: Headers): number | undefined {
  const v = headers.get("retry-after");
  if (v === null) return undefined;
  if (/^\d+$/.test(v.trim())) return Number(v.trim()) * 1000;
  const at = Date.parse(v);
  return Number.isNaN(at) ? undefined : Math.max(0, at - Date.now());
}
