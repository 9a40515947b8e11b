import { test } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";

// npm ci on a fresh clone installs exactly the lock file's versions: every
// dependency is pinned, so a registry update cannot change the build.
test("dependencies are pinned to exact versions", () => {
  const pkg = JSON.parse(readFileSync(new URL("../../package.json", import.meta.url), "utf8"));
  const all = { ...pkg.dependencies, ...pkg.devDependencies };
  for (const [name, version] of Object.entries(all)) {
    assert.match(String(version), /^\d+\.\d+\.\d+$/, `${name} is not pinned`);
  }
  const lock = JSON.parse(readFileSync(new URL("../../package-lock.json", import.meta.url), "utf8"));
  for (const name of Object.keys(all)) {
    assert.equal(lock.packages[`node_modules/${name}`]?.version, all[name], `${name} lock`);
  }
});
