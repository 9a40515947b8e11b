// The composed message's inline images, tied to the places in its HTML body
// that show them. Office.js tells which attachments are inline but not their
// Content-ID, and a copy whose image keeps no Content-ID shows a broken
// picture where the body says "cid:…". The body itself names them: an image
// attached by an add-in is shown as "cid:" and its file name ("Manage an
// item's attachments in a compose form in Outlook"), one pasted in Outlook
// as "cid:" and its file name followed by "@" and a unique part.

// The Content-ID the body gives each of the named files, by their order
// (undefined for one it does not show); each place in the body goes to one
// file, so two files of one name take the two places that name.
export function inlineContentIds(html: string, names: string[]): (string | undefined)[] {
  const places: string[] = [];
  for (const m of html.matchAll(/\bsrc\s*=\s*(["']?)cid:([^"'\s>]+)\1/gi)) {
    const id = decodeCid(m[2]!);
    if (!places.includes(id)) places.push(id);
  }
  const taken = new Set<string>();
  return names.map((name) => {
    const lower = name.toLowerCase();
    const place =
      places.find((p) => !taken.has(p) && p.toLowerCase() === lower) ??
      places.find((p) => !taken.has(p) && p.toLowerCase().startsWith(lower + "@"));
    if (place !== undefined) taken.add(place);
    return place;
  });
}

// A "cid:" URL is percent-encoded (RFC 2392); the Content-ID is not.
function decodeCid(url: string): string {
  try {
    return decodeURIComponent(url.replace(/&amp;/g, "&"));
  } catch {
    return url;
  }
}
