// Builds the add-in's static files into build/ (what an HTTPS host serves) and
// the tests and stand-ins into build/tests/ and build/standins/ for Node.
import { build } from "esbuild";
import { existsSync } from "node:fs";
import { cp, mkdir, readdir, readFile, rm, writeFile } from "node:fs/promises";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

const root = join(dirname(fileURLToPath(import.meta.url)), "..");
const out = join(root, "build");
const at = (...p) => join(root, ...p);

await rm(join(out, "tests"), { recursive: true, force: true });
await mkdir(out, { recursive: true });

const common = { bundle: true, sourcemap: true, logLevel: "warning", target: "es2022" };
const browser = { minify: true, legalComments: "linked" };

// The pane and the sign-in dialog: one script each, loaded by their pages.
// Entry points that are not there yet are left out, so a partial tree builds.
const present = (entries) =>
  Object.fromEntries(Object.entries(entries).filter(([, p]) => existsSync(p)));

await build({
  ...common,
  entryPoints: present({ taskpane: at("src/taskpane.ts"), dialog: at("src/dialog.ts"), core: at("src/core-page.ts") }),
  outdir: out,
  platform: "browser",
  format: "iife",
  ...browser,
});

// The fake core the pane's browser test loads in place of the WebAssembly one.
await build({
  ...common,
  entryPoints: present({ "fake-core": at("tests/browser/fake-core-page.ts") }),
  outdir: join(out, "pane-test"),
  platform: "browser",
  format: "iife",
});

// Tests and stand-ins run under Node; npm packages stay outside the bundles.
const tests = (await readdir(at("tests"))).filter((f) => f.endsWith(".test.ts"));
await build({
  ...common,
  entryPoints: [
    ...tests.map((f) => at("tests", f)),
  ],
  outdir: join(out, "tests"),
  outExtension: { ".js": ".mjs" },
  platform: "node",
  format: "esm",
  packages: "external",
});
await build({
  ...common,
  entryPoints: present({
    "graph-standin": at("graph-standin/main.ts"),
    "bench-send": at("bench/send.ts"),
    demo: at("demo/demo.ts"),
  }),
  outdir: join(out, "standins"),
  outExtension: { ".js": ".mjs" },
  platform: "node",
  format: "esm",
  packages: "external",
});

const copies = [
  ["src/taskpane.html", "taskpane.html"],
  ["src/taskpane.css", "taskpane.css"],
  ["src/dialog.html", "dialog.html"],
  ["manifest.xml", "manifest.xml"],
  ["assets", "assets"],
  ["office-standin", "office-standin"],
];
for (const [from, to] of copies) {
  if (existsSync(at(from))) await cp(at(from), join(out, to), { recursive: true });
}
// The mailing core, the data layer built as WebAssembly by the wasm preset
// (./dev build wasm): served beside the pane.
const core = join(root, "..", "build", "wasm", "bin", "quorvel-core.wasm");
if (existsSync(core)) await cp(core, join(out, "quorvel-core.wasm"));
else console.warn("build: no build/wasm/bin/quorvel-core.wasm yet (./dev build wasm makes it)");

// Where the files are served from and the Entra application the pane signs
// in with, written into the manifest and the pages.
const base = (process.env.QUORVEL_BASE_URL ?? "https://quorvel.example/").replace(/\/?$/, "/");
if (!base.startsWith("https://")) throw new Error("QUORVEL_BASE_URL must be an https:// address");
const clientId = process.env.QUORVEL_CLIENT_ID ?? "00000000-0000-0000-0000-000000000000";
// The product's version, written once in src/base/version.h, is the manifest's.
const version = /#define QV_VERSION_TEXT "([0-9.]+)"/.exec(await readFile(join(root, "..", "src", "base", "version.h"), "utf8"))?.[1];
if (!version) throw new Error("no QV_VERSION_TEXT in src/base/version.h");
for (const f of ["manifest.xml", "taskpane.html", "dialog.html"]) {
  const file = join(out, f);
  if (!existsSync(file)) continue;
  const text = await readFile(file, "utf8");
  await writeFile(
    file,
    text
      .replaceAll("https://quorvel.example/", base)
      .replaceAll("00000000-0000-0000-0000-000000000000", clientId)
      .replace(/<Version>[0-9.]+<\/Version>/, `<Version>${version}</Version>`),
  );
}
