// Sign-in with MSAL.js: nested app authentication where the Outlook host
// brokers tokens for the add-in, else the Office dialog flow (a dialog page
// that signs in with MSAL and hands the token back with messageParent).
import {
  createNestablePublicClientApplication,
  InteractionRequiredAuthError,
  type AccountInfo,
  type IPublicClientApplication,
} from "@azure/msal-browser";
import type { TokenSource } from "./graph.js";

// The least that works: sending, the drafts that carry attachments and the
// lookup of copies in doubt (Mail.ReadWrite), the user's own address.
export const SCOPES = ["Mail.Send", "Mail.ReadWrite", "User.Read"];

export interface AuthConfig {
  clientId: string;
  authority?: string;
  // The dialog page (same origin as the pane).
  dialogUrl: string;
}

// The part of Office.js sign-in needs.
export interface OfficeForAuth {
  context: {
    requirements: { isSetSupported(name: string, minVersion?: string): boolean };
    ui: {
      displayDialogAsync(
        url: string,
        options: { height?: number; width?: number; promptBeforeOpen?: boolean },
        callback: (result: { status: string; value: DialogLike; error?: { code: number; message: string } }) => void,
      ): void;
    };
  };
}

export interface DialogLike {
  addEventHandler(type: string, handler: (arg: { message?: string; error?: number }) => void): void;
  close(): void;
}

// What the dialog page sends back.
export interface DialogAnswer {
  ok: boolean;
  accessToken?: string;
  expiresOn?: number;
  account?: string;
  error?: string;
}

export class SignInError extends Error {
  constructor(message: string) {
    super(message);
    this.name = "SignInError";
  }
}

export type NestableFactory = (config: {
  auth: { clientId: string; authority: string };
}) => Promise<IPublicClientApplication>;

export async function createAuth(
  config: AuthConfig,
  office: OfficeForAuth,
  nestable: NestableFactory = createNestablePublicClientApplication as NestableFactory,
): Promise<TokenSource & { mode: "nested" | "dialog" }> {
  const authority = config.authority ?? "https://login.microsoftonline.com/common";
  if (office.context.requirements.isSetSupported("NestedAppAuth", "1.1")) {
    const pca = await nestable({ auth: { clientId: config.clientId, authority } });
    return new NestedAuth(pca);
  }
  return new DialogAuth(config, office);
}

class NestedAuth implements TokenSource {
  readonly mode = "nested" as const;
  private account: AccountInfo | null = null;
  constructor(private readonly pca: IPublicClientApplication) {}

  token(): Promise<string> {
    return this.get(false);
  }

  refresh(): Promise<string> {
    return this.get(true);
  }

  private async get(forceRefresh: boolean): Promise<string> {
    this.account ??= this.pca.getActiveAccount() ?? this.pca.getAllAccounts()[0] ?? null;
    try {
      const r = await this.pca.acquireTokenSilent({
        scopes: SCOPES,
        forceRefresh,
        ...(this.account ? { account: this.account } : {}),
      });
      this.account = r.account;
      return r.accessToken;
    } catch (e) {
      if (!(e instanceof InteractionRequiredAuthError)) throw new SignInError(describe(e));
    }
    try {
      const r = await this.pca.acquireTokenPopup({ scopes: SCOPES });
      this.account = r.account;
      return r.accessToken;
    } catch (e) {
      throw new SignInError(describe(e));
    }
  }
}

class DialogAuth implements TokenSource {
  readonly mode = "dialog" as const;
  private cached: { token: string; expiresOn: number } | null = null;
  private pending: Promise<string> | null = null;
  constructor(
    private readonly config: AuthConfig,
    private readonly office: OfficeForAuth,
  ) {}

  async token(): Promise<string> {
    // A token within five minutes of its end is renewed before use.
    if (this.cached && this.cached.expiresOn - Date.now() > 5 * 60_000) return this.cached.token;
    return this.refresh();
  }

  refresh(): Promise<string> {
    this.cached = null;
    this.pending ??= this.openDialog().finally(() => (this.pending = null));
    return this.pending;
  }

  private openDialog(): Promise<string> {
    return new Promise((resolve, reject) => {
      this.office.context.ui.displayDialogAsync(this.config.dialogUrl, { height: 60, width: 30 }, (result) => {
        if (result.status !== "succeeded") {
          reject(new SignInError(`The sign-in window could not be opened: ${result.error?.message ?? "unknown error"}`));
          return;
        }
        const dialog = result.value;
        dialog.addEventHandler("dialogMessageReceived", (arg) => {
          dialog.close();
          let answer: DialogAnswer;
          try {
            answer = JSON.parse(arg.message ?? "") as DialogAnswer;
          } catch {
            reject(new SignInError("The sign-in window sent an answer that is not understood."));
            return;
          }
          if (!answer.ok || !answer.accessToken) {
            reject(new SignInError(answer.error ?? "The sign-in did not succeed."));
            return;
          }
          this.cached = { token: answer.accessToken, expiresOn: answer.expiresOn ?? Date.now() + 3600_000 };
          resolve(answer.accessToken);
        });
        dialog.addEventHandler("dialogEventReceived", (arg) => {
          // 12006: the user closed the window.
          reject(
            new SignInError(arg.error === 12006 ? "The sign-in window was closed." : `The sign-in window failed (${arg.error}).`),
          );
        });
      });
    });
  }
}

function describe(e: unknown): string {
  const err = e as { errorCode?: string; message?: string };
  return err.errorCode ? `${err.errorCode}: ${err.message ?? ""}`.trim() : String(err.message ?? e);
}
