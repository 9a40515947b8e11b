// Plays the part of Office.js the add-in uses, for tests in a browser page.
// Served in place of https://appsforoffice.microsoft.com/lib/1/hosted/office.js.
// Configured by window.officeStandin, set before the page loads:
//   { subject, body, bodyType, attachments: [{ name, contentType, base64, isInline }],
//     user, sets: { Mailbox: "1.13", NestedAppAuth: null },
//     dialog(url) -> string | Promise<string> (what the dialog page would messageParent),
//     dialogClosed: true (the user closes the sign-in window),
//     customProperties: { name: value } (the item's, as saved before) }
// The item's custom properties, once saved, are handed to
// window.officeStandinSaved(json) when the page has it: they belong to the
// item in the mailbox, so a test gives them to the next page of the same item.
(function () {
  "use strict";
  const cfg = Object.assign(
    {
      subject: "",
      body: "",
      bodyType: "html",
      attachments: [],
      user: "sender@contoso.example",
      sets: { Mailbox: "1.13", DialogApi: "1.2" },
    },
    window.officeStandin || {},
  );
  const calls = [];
  // Every call the pane made, for the test to read.
  window.officeStandinCalls = calls;

  const AsyncResultStatus = { Succeeded: "succeeded", Failed: "failed" };
  const EventType = { DialogMessageReceived: "dialogMessageReceived", DialogEventReceived: "dialogEventReceived" };
  const CoercionType = { Html: "html", Text: "text" };
  const AttachmentContentFormat = { Base64: "base64", Url: "url", Eml: "eml", ICalendar: "iCalendar" };

  // "Office.AsyncResult": callbacks are always called later, never inside the call.
  function later(callback, result) {
    if (typeof callback !== "function") return;
    setTimeout(() => callback(result), 0);
  }
  const ok = (value, asyncContext) => ({ status: AsyncResultStatus.Succeeded, value, asyncContext });
  const failed = (code, name, message) => ({ status: AsyncResultStatus.Failed, value: undefined, error: { code, name, message } });

  function compare(a, b) {
    const pa = String(a).split(".").map(Number);
    const pb = String(b).split(".").map(Number);
    for (let i = 0; i < Math.max(pa.length, pb.length); i++) {
      const d = (pa[i] || 0) - (pb[i] || 0);
      if (d) return d;
    }
    return 0;
  }
  // "Office.context.requirements.isSetSupported": false for sets the host lacks.
  function isSetSupported(name, minVersion) {
    const have = cfg.sets[name];
    if (have === undefined || have === null) return false;
    return compare(have, minVersion || "1.1") >= 0;
  }
  function requireSet(name, version, what) {
    if (!isSetSupported(name, version)) throw new Error(`${what} needs requirement set ${name} ${version}`);
  }

  // "Office.CustomProperties" (Mailbox 1.1): names and values are strings;
  // what set() changes reaches the item only through saveAsync.
  const saved = Object.assign({}, cfg.customProperties || {});
  function customProperties() {
    const values = Object.assign({}, saved);
    return {
      get(name) {
        return values[name];
      },
      set(name, value) {
        if (typeof name !== "string" || !name) throw new Error("custom property names are strings");
        values[name] = String(value);
      },
      remove(name) {
        delete values[name];
      },
      getAll() {
        return Object.assign({}, values);
      },
      saveAsync(callback, asyncContext) {
        calls.push("customProperties.saveAsync");
        for (const k of Object.keys(saved)) delete saved[k];
        Object.assign(saved, values);
        if (typeof window.officeStandinSaved === "function") window.officeStandinSaved(JSON.stringify(saved));
        later(callback, ok(undefined, asyncContext));
      },
    };
  }

  let readyCalled = false;
  const item = {
    // "Office.MessageCompose.loadCustomPropertiesAsync" (Mailbox 1.1).
    loadCustomPropertiesAsync(callback, userContext) {
      calls.push("loadCustomPropertiesAsync");
      later(callback, ok(customProperties(), userContext));
    },
    itemType: "message",
    subject: {
      getAsync(options, callback) {
        calls.push("subject.getAsync");
        later(typeof options === "function" ? options : callback, ok(cfg.subject));
      },
    },
    body: {
      // "Body.getAsync": the coercion type is required and is html or text.
      getAsync(coercionType, options, callback) {
        calls.push(`body.getAsync:${coercionType}`);
        requireSet("Mailbox", "1.3", "body.getAsync");
        const cb = typeof options === "function" ? options : callback;
        if (coercionType !== "html" && coercionType !== "text") {
          later(cb, failed(1000, "InvalidCoercion", "The coercion type is not supported."));
          return;
        }
        let value = cfg.body;
        if (coercionType === "text" && cfg.bodyType === "html") value = value.replace(/<[^>]*>/g, "");
        later(cb, ok(value));
      },
      getTypeAsync(options, callback) {
        requireSet("Mailbox", "1.3", "body.getTypeAsync");
        later(typeof options === "function" ? options : callback, ok(cfg.bodyType));
      },
    },
    // "Office.MessageCompose.getAttachmentsAsync" (Mailbox 1.8).
    getAttachmentsAsync(options, callback) {
      calls.push("getAttachmentsAsync");
      requireSet("Mailbox", "1.8", "getAttachmentsAsync");
      const list = cfg.attachments.map((a, i) => ({
        id: `att-${i}`,
        name: a.name,
        size: Math.floor((a.base64.length * 3) / 4),
        attachmentType: "file",
        isInline: !!a.isInline,
        contentType: a.contentType,
      }));
      later(typeof options === "function" ? options : callback, ok(list));
    },
    // "Office.MessageCompose.getAttachmentContentAsync" (Mailbox 1.8): an
    // unknown id fails with InvalidAttachmentId.
    getAttachmentContentAsync(id, options, callback) {
      calls.push(`getAttachmentContentAsync:${id}`);
      requireSet("Mailbox", "1.8", "getAttachmentContentAsync");
      const cb = typeof options === "function" ? options : callback;
      const m = /^att-(\d+)$/.exec(id);
      const a = m && cfg.attachments[Number(m[1])];
      if (!a) {
        later(cb, failed(9008, "InvalidAttachmentId", "The attachment ID does not exist."));
        return;
      }
      later(cb, ok({ format: AttachmentContentFormat.Base64, content: a.base64 }));
    },
  };

  let dialogOpen = false;
  const ui = {
    // "Office.context.ui.displayDialogAsync": the page must be on the pane's
    // own domain, and one dialog at a time (12007).
    displayDialogAsync(url, options, callback) {
      calls.push(`displayDialogAsync:${url}`);
      const cb = typeof options === "function" ? options : callback;
      const target = new URL(url, location.href);
      if (target.origin !== location.origin) {
        later(cb, failed(12004, "Invalid domain", "The domain of the URL is not the domain of the add-in."));
        return;
      }
      if (dialogOpen) {
        later(cb, failed(12007, "Dialog already open", "A dialog is already opened from this host window."));
        return;
      }
      dialogOpen = true;
      const handlers = {};
      const dialog = {
        addEventHandler(type, handler) {
          handlers[type] = handler;
        },
        close() {
          dialogOpen = false;
        },
        messageChild() {},
      };
      later(cb, ok(dialog));
      setTimeout(async () => {
        if (cfg.dialogClosed) {
          dialogOpen = false;
          handlers[EventType.DialogEventReceived]?.({ type: EventType.DialogEventReceived, error: 12006 });
          return;
        }
        const message = cfg.dialog ? await cfg.dialog(target.href) : JSON.stringify({ ok: false, error: "no dialog" });
        handlers[EventType.DialogMessageReceived]?.({ type: EventType.DialogMessageReceived, message, origin: location.origin });
      }, 10);
    },
    messageParent() {},
  };

  window.Office = {
    AsyncResultStatus,
    EventType,
    CoercionType,
    MailboxEnums: { AttachmentContentFormat, AttachmentType: { File: "file", Item: "item", Cloud: "cloud" }, ItemType: { Message: "message" } },
    HostType: { Outlook: "Outlook" },
    context: {
      requirements: { isSetSupported },
      mailbox: {
        item,
        userProfile: { emailAddress: cfg.user, displayName: cfg.user },
        diagnostics: { hostName: "OutlookWebApp", hostVersion: "standin" },
      },
      ui,
      displayLanguage: "en-US",
    },
    // "Office.onReady": resolves once, with the host; callbacks too.
    onReady(callback) {
      const info = { host: "Outlook", platform: "OfficeOnline" };
      readyCalled = true;
      const p = new Promise((resolve) => setTimeout(() => resolve(info), 0));
      if (callback) p.then(callback);
      return p;
    },
  };
  window.addEventListener("load", () => {
    if (!readyCalled && typeof window.Office.initialize === "function") window.Office.initialize("inserted");
  });
})();
