// The sign-in window of the Office dialog flow, for hosts without nested app
// authentication: MSAL signs in by redirect to this same page, then the token
// goes back to the pane with messageParent.
import { PublicClientApplication } from "@azure/msal-browser";
import { SCOPES, type DialogAnswer } from "./auth.js";

function answer(a: DialogAnswer): void {
  Office.context.ui.messageParent(JSON.stringify(a));
}

async function signIn(): Promise<void> {
  const clientId = document.querySelector<HTMLMetaElement>('meta[name="quorvel-client-id"]')?.content ?? "";
  const pca = new PublicClientApplication({
    auth: {
      clientId,
      authority: "https://login.microsoftonline.com/common",
      redirectUri: `${location.origin}${location.pathname}`,
    },
    cache: { cacheLocation: "localStorage" },
  });
  await pca.initialize();
  const back = await pca.handleRedirectPromise();
  const account = back?.account ?? pca.getAllAccounts()[0];
  if (back) {
    answer({ ok: true, accessToken: back.accessToken, expiresOn: back.expiresOn?.getTime(), account: back.account.username });
    return;
  }
  if (account) {
    try {
      const r = await pca.acquireTokenSilent({ scopes: SCOPES, account });
      answer({ ok: true, accessToken: r.accessToken, expiresOn: r.expiresOn?.getTime(), account: r.account.username });
      return;
    } catch {
      // falls through to an interactive sign-in
    }
  }
  await pca.loginRedirect({ scopes: SCOPES });
}

Office.onReady(() => {
  signIn().catch((e: unknown) => answer({ ok: false, error: String((e as Error).message ?? e) }));
});
