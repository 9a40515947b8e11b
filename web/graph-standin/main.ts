// Runs the Graph stand-in on its own: node build/standins/graph-standin.mjs
// --outbox DIR [--port N]. It prints its address and a token with the
// add-in's scopes, then serves until stopped.
import { GraphStandin } from "./server.js";

const args = process.argv.slice(2);
const option = (name: string, fallback: string) => {
  const i = args.indexOf(name);
  return i >= 0 && args[i + 1] ? args[i + 1]! : fallback;
};
const standin = new GraphStandin({ outbox: option("--outbox", "outbox"), port: Number(option("--port", "0")) });
const url = await standin.start();
process.stdout.write(`${JSON.stringify({ url, token: standin.issueToken() })}\n`);
process.on("SIGTERM", () => void standin.close().then(() => process.exit(0)));
