// Inline images keep the Content-ID their composed body shows them by.
import { test } from "node:test";
import assert from "node:assert/strict";
import { inlineContentIds } from "../src/inline.js";

test("an inline image takes the cid its body shows it by: its name, or its name and a unique part", () => {
  const html =
    `<p><img src="cid:logo.png"></p><img alt=x SRC='cid:image001.png@01DA2B3C.4D5E6F70'>` +
    `<img src=cid:image001.png@01DA2B3C.99999999><img src="cid:my%20photo.jpg">` +
    `<a href="cid:not-an-image.png">x</a><img src="https://example.com/logo.png">`;
  assert.deepEqual(inlineContentIds(html, ["logo.png", "image001.png", "IMAGE001.PNG", "my photo.jpg", "missing.gif"]), [
    "logo.png",
    "image001.png@01DA2B3C.4D5E6F70",
    "image001.png@01DA2B3C.99999999",
    "my photo.jpg",
    undefined,
  ]);
  // A third file of the name finds no place left; a name is not matched by
  // a longer one that only starts with it.
  assert.deepEqual(inlineContentIds(html, ["image001.png", "image001.png", "image001.png", "logo"]), [
    "image001.png@01DA2B3C.4D5E6F70",
    "image001.png@01DA2B3C.99999999",
    undefined,
    undefined,
  ]);
  assert.deepEqual(inlineContentIds("<p>no images</p>", ["a.png"]), [undefined]);
});
