// Makes the add-in's PNG icons from the extension's button face (a 32x32,
// 32-bit Windows bitmap): node scripts/icons.mjs. The icons are committed;
// run this again when the face changes.
import { readFileSync, writeFileSync } from "node:fs";
import { deflateSync } from "node:zlib";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

const here = dirname(fileURLToPath(import.meta.url));
const bmp = readFileSync(join(here, "../../src/resources/face32.bmp"));

// BITMAPFILEHEADER + BITMAPINFOHEADER: pixel offset, width, height (negative
// for top-down rows), bit count.
const offset = bmp.readUInt32LE(10);
const width = bmp.readInt32LE(18);
const rawHeight = bmp.readInt32LE(22);
const bits = bmp.readUInt16LE(28);
if (bits !== 32) throw new Error(`face32.bmp has ${bits} bits per pixel, 32 expected`);
const height = Math.abs(rawHeight);
const pixel = (x, y) => {
  const row = rawHeight > 0 ? height - 1 - y : y;
  const at = offset + (row * width + x) * 4;
  return [bmp[at + 2], bmp[at + 1], bmp[at], bmp[at + 3]]; // BGRA -> RGBA
};
// A face with no alpha at all is opaque.
let anyAlpha = false;
for (let y = 0; y < height; y++) for (let x = 0; x < width; x++) if (pixel(x, y)[3]) anyAlpha = true;

// Area-averaged scaling, so the small icon keeps the face's shapes.
function scaled(size) {
  const out = Buffer.alloc(size * size * 4);
  for (let y = 0; y < size; y++) {
    for (let x = 0; x < size; x++) {
      const x0 = (x * width) / size, x1 = ((x + 1) * width) / size;
      const y0 = (y * height) / size, y1 = ((y + 1) * height) / size;
      const acc = [0, 0, 0, 0];
      let total = 0;
      for (let sy = Math.floor(y0); sy < Math.ceil(y1); sy++) {
        for (let sx = Math.floor(x0); sx < Math.ceil(x1); sx++) {
          const w = (Math.min(x1, sx + 1) - Math.max(x0, sx)) * (Math.min(y1, sy + 1) - Math.max(y0, sy));
          const [r, g, b, a0] = pixel(sx, sy);
          const a = anyAlpha ? a0 : 255;
          acc[0] += r * a * w; acc[1] += g * a * w; acc[2] += b * a * w; acc[3] += a * w;
          total += w;
        }
      }
      const at = (y * size + x) * 4;
      const alpha = acc[3] / total;
      for (let c = 0; c < 3; c++) out[at + c] = alpha ? Math.round(acc[c] / acc[3]) : 0;
      out[at + 3] = Math.round(alpha);
    }
  }
  return out;
}

const crcTable = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});
const crc32 = (buf) => {
  let c = 0xffffffff;
  for (const b of buf) c = crcTable[(c ^ b) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
};
function chunk(type, data) {
  const len = Buffer.alloc(4);
  len.writeUInt32BE(data.length);
  const body = Buffer.concat([Buffer.from(type, "ascii"), data]);
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(crc32(body));
  return Buffer.concat([len, body, crc]);
}
function png(size, rgba) {
  const ihdr = Buffer.alloc(13);
  ihdr.writeUInt32BE(size, 0);
  ihdr.writeUInt32BE(size, 4);
  ihdr[8] = 8; // bit depth
  ihdr[9] = 6; // RGBA
  const rows = Buffer.alloc(size * (size * 4 + 1));
  for (let y = 0; y < size; y++) rgba.copy(rows, y * (size * 4 + 1) + 1, y * size * 4, (y + 1) * size * 4);
  return Buffer.concat([
    Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
    chunk("IHDR", ihdr),
    chunk("IDAT", deflateSync(rows, { level: 9 })),
    chunk("IEND", Buffer.alloc(0)),
  ]);
}

for (const size of [16, 32, 64, 80, 128]) {
  writeFileSync(join(here, "../assets", `icon-${size}.png`), png(size, scaled(size)));
}
