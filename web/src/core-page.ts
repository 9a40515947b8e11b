// The page's core: quorvel-core.wasm, fetched beside the pane's files, for
// the pane to open (taskpane.ts takes window.quorvelOpenCore).
import { loadCore } from "./core.js";

window.quorvelOpenCore = async () => {
  const answer = await fetch(new URL("quorvel-core.wasm", location.href));
  if (!answer.ok) throw new Error(`The mailing core could not be loaded (${answer.status}).`);
  return loadCore(await answer.arrayBuffer());
};
