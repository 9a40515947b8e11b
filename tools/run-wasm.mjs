// Runs a wasm32-wasi program (the data layer's tests, the web door's core)
// under Node's WASI, as CTest's emulator for the WebAssembly build:
//
//   tools/run-wasm PROGRAM.wasm [ARGS...]
//
// The program sees the host's file system from "/", so the tests' absolute
// paths (their workbooks, their temporary folders) mean what they mean
// natively; a relative path is taken from "/" (wasi-libc's starting
// directory). Its exit status is the program's own.
import fs from 'node:fs';
import path from 'node:path';
import { WASI } from 'node:wasi';

const [program, ...args] = process.argv.slice(2);
if (!program) {
    process.stderr.write('usage: run-wasm PROGRAM.wasm [ARGS...]\n');
    process.exit(2);
}
const wasi = new WASI({
    version: 'preview1',
    args: [path.basename(program), ...args],
    env: process.env,
    preopens: { '/': '/' },
    returnOnExit: true,
});
const module = new WebAssembly.Module(fs.readFileSync(program));
const instance = new WebAssembly.Instance(module, wasi.getImportObject());
const status = wasi.start(instance);
process.exit(status ?? 0);
