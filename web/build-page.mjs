// Inlines the tool's module (its WebAssembly already inside), the diff
// library and the page's own script and style into one HTML file, and lets
// only exactly those run: the Content-Security-Policy names each by its hash.
//
//   node build-page.mjs WEB_DIR GLUE_JS DIFF_JS OUT_HTML VERSION
import { createHash } from 'node:crypto';
import { readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';

const [webDir, glueJs, diffJs, outHtml, version] = process.argv.slice(2);
const read = (path) => readFileSync(path, 'utf8');
const hash = (text) => `'sha256-${createHash('sha256').update(text, 'utf8').digest('base64')}'`;

const scripts = [read(diffJs), read(glueJs), read(join(webDir, 'page.js'))];
const style = read(join(webDir, 'page.css'));
for (const text of [...scripts, style]) {
  // Would end the inline element early.
  if (/<\/(script|style)/i.test(text)) throw new Error('an inlined part holds a closing tag');
}

const csp = [
  "default-src 'none'",
  `script-src ${scripts.map(hash).join(' ')} 'wasm-unsafe-eval'`,
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
  'The WebAssembly module also holds Emscripten\'s runtime (MIT) and its C and\n' +
    'C++ libraries: musl (MIT) and libc++ (Apache-2.0 WITH LLVM-exception).\n',
].join('\n');
if (licenses.includes('--')) throw new Error('a license text would end its HTML comment');

const parts = {
  '@LICENSES@': `<!--\n${licenses}-->`,
  '@VERSION@': version,
  '@CSP@': csp,
  '@STYLE@': style,
  '@SCRIPTS@': scripts.map((s) => `<script>${s}</script>`).join('\n'),
};
let html = read(join(webDir, 'page.html'));
for (const [mark, text] of Object.entries(parts)) {
  if (html.split(mark).length !== 2) throw new Error(`page.html must hold ${mark} once`);
  html = html.split(mark).join(text);
}
writeFileSync(outHtml, html);
