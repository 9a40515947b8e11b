// quorvel-core.wasm loaded as the web add-in loads it, a WASI reactor whose
// exports are called with UTF-8 strings in its own memory, under Node:
//
//   node core_node_test.mjs build/wasm/bin/quorvel-core.wasm
//
// Exits non-zero, naming the check, when an answer is not what the pane
// relies on.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { WASI } from 'node:wasi';

const [program] = process.argv.slice(2);
const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'qv-core-'));
try {
    fs.writeFileSync(path.join(folder, 'list.csv'),
        'Name,E-Mail,Attachment\r\nZoë,zoe@example.com,terms.pdf\r\nBob,,\r\nAnn,ann@example.com,\r\n');
    fs.writeFileSync(path.join(folder, 'terms.pdf'), '%PDF-1.4 terms');

    const wasi = new WASI({ version: 'preview1', env: { TMPDIR: folder }, preopens: { '/': '/' } });
    const module = new WebAssembly.Module(fs.readFileSync(program));
    const instance = new WebAssembly.Instance(module, wasi.getImportObject());
    wasi.initialize(instance);
    const core = instance.exports;
    core.qv_start();

    const encoder = new TextEncoder();
    const decoder = new TextDecoder();
    const strings = [];
    const put = (text) => {
        const bytes = encoder.encode(text + '\0');
        const at = core.qv_alloc(bytes.length);
        new Uint8Array(core.memory.buffer, at, bytes.length).set(bytes);
        strings.push(at);
        return at;
    };
    const answer = (at) => {
        const bytes = new Uint8Array(core.memory.buffer, at, core.qv_answer_size());
        return JSON.parse(decoder.decode(bytes));
    };

    // Windows paths: the core's Z: drive is the host's root.
    const list = 'Z:' + path.join(folder, 'list.csv').replaceAll('/', '\\');
    const review = answer(core.qv_review(put(list), put('For [[Name]]'), put('Hello [[Name]]'), 0, 0));
    assert.equal(review.recipients, 2, 'two recipients counted');
    assert.deepEqual(review.fields, ['Name', 'E-Mail', 'Attachment'], 'the header read as UTF-8');
    assert.match(review.described, /line 3/, 'the record without an address named');
    assert.match(review.carried, /terms\.pdf/, 'the file the copies carry named');

    const first = answer(core.qv_first_copy());
    assert.equal(first.to, 'zoe@example.com');
    assert.equal(first.subject, 'For Zoë', 'a merged subject, accents kept');
    assert.equal(first.attachments[0].name, 'terms.pdf');
    assert.equal(first.attachments[0].size, 14);
    const second = answer(core.qv_next_copy());
    assert.equal(second.to, 'ann@example.com');
    assert.equal(second.body, 'Hello Ann');
    const end = answer(core.qv_next_copy());
    assert.deepEqual(end, { end: true, copies: 2 }, 'the pass ends after the counted copies');
    assert.equal(answer(core.qv_copy(1)).to, 'ann@example.com', 'the preview of one recipient');
    for (const at of strings) core.qv_free(at);
    console.log('quorvel-core: review, copies and preview as the pane reads them');
} finally {
    fs.rmSync(folder, { recursive: true, force: true });
}
