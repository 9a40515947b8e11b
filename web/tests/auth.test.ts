// Which sign-in the add-in picks, and what the dialog flow makes of the
// dialog's answers.
import { describe, test } from "node:test";
import assert from "node:assert/strict";
import { InteractionRequiredAuthError } from "@azure/msal-browser";
import { createAuth, SCOPES, type DialogLike, type OfficeForAuth } from "../src/auth.js";

function office(sets: Record<string, string>, dialog: (url: string) => { message?: string; closed?: boolean }) {
  const opened: string[] = [];
  const o: OfficeForAuth = {
    context: {
      requirements: { isSetSupported: (name, v = "1.1") => (sets[name] ?? "0") >= v },
      ui: {
        displayDialogAsync(url, _options, callback) {
          opened.push(url);
          const handlers: Record<string, (a: { message?: string; error?: number }) => void> = {};
          const d: DialogLike = { addEventHandler: (t, h) => void (handlers[t] = h), close: () => {} };
          setTimeout(() => callback({ status: "succeeded", value: d }), 0);
          setTimeout(() => {
            const a = dialog(url);
            if (a.closed) handlers.dialogEventReceived?.({ error: 12006 });
            else handlers.dialogMessageReceived?.({ message: a.message! });
          }, 5);
        },
      },
    },
  };
  return { o, opened };
}

const config = { clientId: "c1", dialogUrl: "https://addin.example/dialog.html" };

describe("nested app authentication", () => {
  test("used where the host has NestedAppAuth 1.1; silent first, popup when interaction is needed", async () => {
    const calls: string[] = [];
    const account = { username: "ann@contoso.example" };
    const pca = {
      getActiveAccount: () => null,
      getAllAccounts: () => [],
      acquireTokenSilent: async (r: { scopes: string[]; forceRefresh?: boolean }) => {
        calls.push(`silent:${r.forceRefresh}`);
        assert.deepEqual(r.scopes, SCOPES);
        if (calls.length === 1) throw new InteractionRequiredAuthError("interaction_required", "");
        return { accessToken: "t2", account };
      },
      acquireTokenPopup: async () => {
        calls.push("popup");
        return { accessToken: "t1", account };
      },
    };
    const { o, opened } = office({ NestedAppAuth: "1.1" }, () => ({}));
    let given: unknown;
    const auth = await createAuth(config, o, async (c) => {
      given = c;
      return pca as never;
    });
    assert.equal(auth.mode, "nested");
    assert.deepEqual(given, { auth: { clientId: "c1", authority: "https://login.microsoftonline.com/common" } });
    assert.equal(await auth.token(), "t1");
    assert.equal(await auth.refresh(), "t2");
    assert.deepEqual(calls, ["silent:false", "popup", "silent:true"]);
    assert.deepEqual(opened, []);
  });
});

describe("the Office dialog flow", () => {
  test("a token from the dialog is kept until near its end; refresh opens the dialog again", async () => {
    let n = 0;
    const { o, opened } = office({}, () => ({
      message: JSON.stringify({ ok: true, accessToken: `d${++n}`, expiresOn: Date.now() + 3600_000 }),
    }));
    const auth = await createAuth(config, o);
    assert.equal(auth.mode, "dialog");
    assert.equal(await auth.token(), "d1");
    assert.equal(await auth.token(), "d1");
    assert.equal(await auth.refresh(), "d2");
    assert.equal(opened.length, 2);
  });

  test("an expired token from the dialog is not used again", async () => {
    let n = 0;
    const { o } = office({}, () => ({ message: JSON.stringify({ ok: true, accessToken: `e${++n}`, expiresOn: Date.now() + 1000 }) }));
    const auth = await createAuth(config, o);
    assert.equal(await auth.token(), "e1");
    assert.equal(await auth.token(), "e2");
  });

  test("a refusal, garbage or a closed window is a sign-in error with its reason", async () => {
    const cases: [() => { message?: string; closed?: boolean }, RegExp][] = [
      [() => ({ message: JSON.stringify({ ok: false, error: "AADSTS65001: consent required" }) }), /AADSTS65001/],
      [() => ({ message: "<html>" }), /not understood/],
      [() => ({ closed: true }), /window was closed/],
    ];
    for (const [answer, reason] of cases) {
      const auth = await createAuth(config, office({}, answer).o);
      await assert.rejects(auth.token(), reason);
    }
  });
});
