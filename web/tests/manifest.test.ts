// The manifest as Office checks it on upload: well-formed XML, the add-in's
// structure, resource ids that resolve, HTTPS addresses and the icon sizes.
import { test } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { existsSync, readFileSync } from "node:fs";
import { fileURLToPath } from "node:url";

const web = fileURLToPath(new URL("../../", import.meta.url));
const manifest = `${web}manifest.xml`;
const xpath = (q: string): string[] => {
  try {
    const out = execFileSync("xmllint", ["--xpath", q, manifest], { encoding: "utf8", stdio: ["ignore", "pipe", "pipe"] });
    return out.split("\n").map((l) => l.trim()).filter(Boolean);
  } catch {
    return []; // xmllint exits non-zero when nothing matches
  }
};
const values = (q: string) => xpath(q).map((l) => l.replace(/^[\w:.-]+="(.*)"$/, "$1"));
const el = (name: string) => `*[local-name()='${name}']`;

test("well-formed", () => {
  execFileSync("xmllint", ["--noout", manifest]);
});

test("a mail add-in with a Quorsend button on the compose surface opening the task pane", () => {
  assert.deepEqual(values(`/${el("OfficeApp")}/@*[local-name()='type']`), ["MailApp"]);
  assert.deepEqual(values(`//${el("VersionOverrides")}/${el("VersionOverrides")}/@*[local-name()='type']`), ["VersionOverridesV1_1"]);
  assert.deepEqual(values(`//${el("ExtensionPoint")}/@*[local-name()='type']`), ["MessageComposeCommandSurface"]);
  assert.deepEqual(values(`//${el("Control")}/${el("Action")}/@*[local-name()='type']`), ["ShowTaskpane"]);
  assert.deepEqual(values(`//${el("Host")}/@Name`), ["Mailbox"]);
  assert.deepEqual(values(`//${el("Set")}/@Name`), ["Mailbox", "Mailbox"]);
  const label = values(`//${el("Control")}/${el("Label")}/@resid`)[0]!;
  assert.deepEqual(values(`//${el("ShortStrings")}/${el("String")}[@id='${label}']/@DefaultValue`), ["Quorsend"]);
});

// "Office Add-ins XML manifest": ids unique, resids at most 32 characters and
// defined in Resources, short strings up to 125 characters, long ones 250.
test("ids are unique and every resid resolves", () => {
  const ids = values("//@id");
  assert.equal(new Set(ids).size, ids.length, `duplicate ids: ${ids}`);
  const resources = new Set(values(`//${el("Resources")}//@id`));
  for (const resid of values("//@resid")) {
    assert.ok(resources.has(resid), `resid ${resid} is not defined`);
    assert.ok(resid.length <= 32, `resid ${resid} is longer than 32`);
  }
  for (const s of values(`//${el("ShortStrings")}/${el("String")}/@DefaultValue`)) assert.ok(s.length <= 125);
  for (const s of values(`//${el("LongStrings")}/${el("String")}/@DefaultValue`)) assert.ok(s.length <= 250);
});

test("every address is https and every icon exists at its size", () => {
  const urls = [
    ...values(`//${el("Url")}/@DefaultValue`),
    ...values(`//${el("Image")}/@DefaultValue`),
    ...values(`//${el("SourceLocation")}/@DefaultValue`),
    ...values(`//${el("IconUrl")}/@DefaultValue`),
    ...values(`//${el("HighResolutionIconUrl")}/@DefaultValue`),
    ...values(`//${el("SupportUrl")}/@DefaultValue`),
    ...xpath(`//${el("AppDomain")}/text()`),
  ];
  assert.ok(urls.length >= 8);
  for (const u of urls) assert.match(u, /^https:\/\//);
  const sizes = values(`//${el("Icon")}/${el("Image")}/@size`);
  assert.deepEqual(sizes, ["16", "32", "80"]);
  const images: [string, number][] = [
    ...sizes.map((s) => [values(`//${el("Icon")}/${el("Image")}[@size='${s}']/@resid`)[0]!, Number(s)] as [string, number]),
  ].map(([resid, size]) => [values(`//${el("Images")}/${el("Image")}[@id='${resid}']/@DefaultValue`)[0]!, size]);
  images.push([values(`//${el("IconUrl")}/@DefaultValue`)[0]!, 64], [values(`//${el("HighResolutionIconUrl")}/@DefaultValue`)[0]!, 128]);
  for (const [url, size] of images) {
    const file = `${web}${new URL(url).pathname.slice(1)}`;
    assert.ok(existsSync(file), `${file} is missing`);
    const png = readFileSync(file);
    assert.equal(png.toString("latin1", 1, 4), "PNG");
    assert.deepEqual([png.readUInt32BE(16), png.readUInt32BE(20)], [size, size], url);
  }
});
