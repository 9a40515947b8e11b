// In the pane's browser test, the page's core: canned answers only.
import type { MergedCopy, Review } from "../../src/core-types.js";
import { fakeCore } from "../fake-core.js";

declare global {
  interface Window {
    fakeCoreSetup?: { copies: MergedCopy[]; review: Review };
  }
}

window.quorvelOpenCore = async () => {
  const setup = window.fakeCoreSetup;
  if (!setup) throw new Error("the test set no fakeCoreSetup");
  return fakeCore(setup.copies, setup.review);
};
