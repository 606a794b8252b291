// Joins the page's modules (page/main.js and what it imports) into one
// script and the worker's (worker/worker.js and its imports) into another,
// and inlines the script, the style and the source of the worker (the diff
// and zip libraries, the tool's module with its WebAssembly inside, and the
// worker's own script) into one HTML file, and lets only exactly those
// run: the Content-Security-Policy names the page's script and style by their
// hashes, and allows workers only from blob: URLs, which the page makes of
// the worker source it carries.
//
//   node build-page.mjs WEB_DIR GLUE_JS DIFF_JS ZIP_JS OUT_HTML VERSION
import { createHash } from 'node:crypto';
import { readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { buildSync } from 'esbuild';

const [webDir, glueJs, diffJs, zipJs, outHtml, version] = process.argv.slice(2);
const read = (path) => readFileSync(path, 'utf8');
const hash = (text) => `'sha256-${createHash('sha256').update(text, 'utf8').digest('base64')}'`;

// One script of a module and its imports, as it is written: no renaming,
// no minifying, so that the page's source stays readable in the page.
const joinModules = (entry) => buildSync({
  entryPoints: [join(webDir, entry)], bundle: true, format: 'iife', write: false, charset: 'utf8',
  legalComments: 'none', logLevel: 'error',
}).outputFiles[0].text;
const script = joinModules('page/main.js');
const worker = [read(diffJs), read(zipJs), read(glueJs), joinModules('worker/worker.js')].join('\n');
const style = read(join(webDir, 'page.css'));
for (const text of [script, worker, style]) {
  // Would end the inline element early, or make the parser look for a
  // second closing tag.
  if (/<\/(script|style)|<!--/i.test(text)) throw new Error('an inlined part holds a closing tag or <!--');
}

const csp = [
  "default-src 'none'",
  // The worker inherits this policy: it compiles the WebAssembly.
  `script-src ${hash(script)} 'wasm-unsafe-eval'`,
  "worker-src blob:",
  `style-src ${hash(style)}`,
  // The module reads its own WebAssembly from a data: URL, which reaches no
  // network; nothing else may be fetched.
  "connect-src data:",
  "img-src 'none'",
  "form-action 'none'",
  "base-uri 'none'",
].join('; ');

// The page travels alone, so it carries the licenses of what it holds.
const licenses = [
  'oem2sif\n\n' + read(join(webDir, '..', 'LICENSE')),
  'jsdiff (the diff view)\n\n' + read(join(dirname(diffJs), '..', 'LICENSE')),
  'fflate (the zip of the results)\n\n' + read(join(dirname(zipJs), '..', 'LICENSE')),
  'The WebAssembly module also holds Emscripten\'s runtime (MIT) and its C and\n' +
    'C++ libraries: musl (MIT) and libc++ (Apache-2.0 WITH LLVM-exception).\n',
].join('\n');
if (licenses.includes('--')) throw new Error('a license text would end its HTML comment');

const parts = {
  '@LICENSES@': `<!--\n${licenses}-->`,
  '@VERSION@': version,
  '@CSP@': csp,
  '@STYLE@': style,
  // Not run by the page (its type is not JavaScript): the page makes the
  // worker of it.
  '@WORKER@': `<script id="worker-source" type="text/x-oem2sif-worker">${worker}</script>`,
  '@SCRIPT@': `<script>${script}</script>`,
};
let html = read(join(webDir, 'page.html'));
for (const [mark, text] of Object.entries(parts)) {
  if (html.split(mark).length !== 2) throw new Error(`page.html must hold ${mark} once`);
  html = html.split(mark).join(text);
}
writeFileSync(outHtml, html);
