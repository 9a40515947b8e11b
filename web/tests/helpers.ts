import { mkdtempSync, readdirSync, readFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { GraphStandin, type StandinOptions } from "../graph-standin/server.js";

export async function startStandin(extra: Partial<StandinOptions> = {}): Promise<GraphStandin> {
  const outbox = mkdtempSync(join(tmpdir(), "quorvel-outbox-"));
  const standin = new GraphStandin({ outbox, ...extra });
  await standin.start();
  return standin;
}

export function outboxFiles(standin: GraphStandin): string[] {
  return readdirSync(standin.options.outbox)
    .filter((f) => f.endsWith(".eml"))
    .sort()
    .map((f) => readFileSync(join(standin.options.outbox, f), "latin1"));
}

export async function call(
  standin: GraphStandin,
  method: string,
  path: string,
  init: { token?: string | null; body?: unknown; headers?: Record<string, string> } = {},
): Promise<{ status: number; json: any; headers: Headers }> {
  const headers: Record<string, string> = { ...init.headers };
  const token = init.token === undefined ? standin.issueToken() : init.token;
  if (token) headers.Authorization = `Bearer ${token}`;
  let body: string | Uint8Array<ArrayBuffer> | undefined;
  if (Buffer.isBuffer(init.body)) body = new Uint8Array(init.body);
  else if (init.body !== undefined) {
    body = JSON.stringify(init.body);
    headers["Content-Type"] = "application/json";
  }
  const res = await fetch(path.startsWith("http") ? path : `${standin.url}/v1.0${path}`, { method, headers, body });
  const text = await res.text();
  return { status: res.status, json: text ? JSON.parse(text) : undefined, headers: res.headers };
}
