// The pane's start: waits for Office, takes the core the page provides
// (window.quorvelOpenCore, set by core.js) and signs in when first needed.
import { createAuth } from "./auth.js";
import type { TokenSource } from "./graph.js";
import { Pane } from "./pane.js";

interface PaneConfig {
  graphBaseUrl?: string;
  settleDelayMs?: number;
}

declare global {
  interface Window {
    quorvelConfig?: PaneConfig;
    quorvelPane?: Pane;
  }
}

void Office.onReady(() => {
  const config = window.quorvelConfig ?? {};
  const clientId = document.querySelector<HTMLMetaElement>('meta[name="quorvel-client-id"]')?.content ?? "";
  let auth: Promise<TokenSource> | null = null;
  const pane = new Pane({
    doc: document,
    openCore: async () => {
      if (!window.quorvelOpenCore) throw new Error("The mailing core (core.js) did not load.");
      return window.quorvelOpenCore();
    },
    office: Office,
    graphBaseUrl: config.graphBaseUrl ?? "https://graph.microsoft.com",
    signIn: () =>
      (auth ??= createAuth({ clientId, dialogUrl: new URL("dialog.html", location.href).href }, Office as never)),
    storage: window.localStorage,
    ...(config.settleDelayMs !== undefined ? { settleDelayMs: config.settleDelayMs } : {}),
  });
  window.quorvelPane = pane;
  pane.start();
});
