// A sent message as an Internet message (RFC 5322 with MIME, RFC 2045-2047,
// RFC 2231 for file names), so that tests and the demo read it back with any
// mail parser.

export interface EmlRecipient {
  emailAddress: { address: string; name?: string };
}

export interface EmlAttachment {
  name: string;
  contentType: string;
  bytes: Buffer;
  isInline?: boolean;
  contentId?: string;
}

export interface EmlMessage {
  from: string;
  subject: string;
  bodyType: "html" | "text";
  body: string;
  to: EmlRecipient[];
  cc: EmlRecipient[];
  bcc: EmlRecipient[];
  attachments: EmlAttachment[];
  internetMessageId: string;
  sentAt: Date;
  headers: { name: string; value: string }[];
}

const isAscii = (s: string) => /^[\x20-\x7e]*$/.test(s);

// RFC 2047 encoded-words, each under 75 characters, split on whole characters.
export function encodeWords(text: string): string {
  if (isAscii(text)) return text;
  const words: string[] = [];
  let chunk = "";
  for (const ch of text) {
    if (Buffer.byteLength(chunk + ch) > 45) {
      words.push(chunk);
      chunk = "";
    }
    chunk += ch;
  }
  if (chunk) words.push(chunk);
  return words.map((w) => `=?UTF-8?B?${Buffer.from(w).toString("base64")}?=`).join("\r\n ");
}

function mailbox(r: EmlRecipient): string {
  const { address, name } = r.emailAddress;
  if (!name || name === address) return address;
  const display = isAscii(name) ? `"${name.replace(/["\\]/g, "\\$&")}"` : encodeWords(name);
  return `${display} <${address}>`;
}

function base64Lines(bytes: Buffer): string {
  return (bytes.toString("base64").match(/.{1,76}/g) ?? []).join("\r\n");
}

function fileNameParams(name: string): string {
  if (isAscii(name)) return `filename="${name.replace(/["\\]/g, "\\$&")}"`;
  return `filename*=UTF-8''${encodeURIComponent(name)}`;
}

export function toEml(m: EmlMessage): string {
  const boundary = `=_quorvel_${m.internetMessageId.replace(/[^A-Za-z0-9]/g, "").slice(0, 24)}`;
  const head: string[] = [
    `From: ${m.from}`,
    ...(m.to.length ? [`To: ${m.to.map(mailbox).join(",\r\n ")}`] : []),
    ...(m.cc.length ? [`Cc: ${m.cc.map(mailbox).join(",\r\n ")}`] : []),
    // The sender's own copy keeps its blind copies (RFC 5322 section 3.6.3).
    ...(m.bcc.length ? [`Bcc: ${m.bcc.map(mailbox).join(",\r\n ")}`] : []),
    `Subject: ${encodeWords(m.subject)}`,
    `Date: ${m.sentAt.toUTCString().replace("GMT", "+0000")}`,
    `Message-ID: ${m.internetMessageId}`,
    ...m.headers.map((h) => `${h.name}: ${h.value}`),
    "MIME-Version: 1.0",
  ];
  const bodyPart = [
    `Content-Type: text/${m.bodyType === "html" ? "html" : "plain"}; charset="utf-8"`,
    "Content-Transfer-Encoding: base64",
    "",
    base64Lines(Buffer.from(m.body, "utf8")),
  ].join("\r\n");
  if (m.attachments.length === 0) {
    return [...head, bodyPart, ""].join("\r\n");
  }
  const parts = [bodyPart];
  for (const a of m.attachments) {
    const disposition = a.isInline ? "inline" : "attachment";
    parts.push(
      [
        `Content-Type: ${a.contentType || "application/octet-stream"}`,
        "Content-Transfer-Encoding: base64",
        `Content-Disposition: ${disposition}; ${fileNameParams(a.name)}`,
        ...(a.contentId ? [`Content-ID: <${a.contentId}>`] : []),
        "",
        base64Lines(a.bytes),
      ].join("\r\n"),
    );
  }
  return [
    ...head,
    `Content-Type: multipart/mixed; boundary="${boundary}"`,
    "",
    ...parts.map((p) => `--${boundary}\r\n${p}`),
    `--${boundary}--`,
    "",
  ].join("\r\n");
}
