// The tool's code, in a worker of the page, so that the page never waits
// for it. One task per worker: the reading of drivers, the engine's survey
// or apply of the picked files (whose runs print the consoles the page
// shows), the tool's menu, the check, the change view, or a zip. Each is a
// new instance of the module (a fresh file system and fresh static state).
// Terminating the worker cancels the task.
//
// The messages both ways, and the tables read from the module's memory,
// are declared in ./protocol.js. An option is what web/driver_web.cpp
// sends; reading drivers adds the lookups' messages about it (`messages`).
import { changeRows } from './changes.js';
import { inRounds } from './rounds.js';
import { SURVEY_ROOT } from '../page/picks.js';
import { TO_WORKER, FROM_WORKER, TEXT_LANGUAGE, CODES, readRow, rowBytes, readOption } from './protocol.js';

// Where the engine's apply writes the files it changes.
const APPLY_OUTPUT = '/output';
// Console bytes are passed on at most this often (ms), so that the page
// gets a few messages a second rather than one per dot.
const CONSOLE_INTERVAL = 40;

const joined = (parts) => {
  const bytes = new Uint8Array(parts.reduce((sum, part) => sum + part.length, 0));
  let at = 0;
  for (const part of parts) {
    bytes.set(part, at);
    at += part.length;
  }
  return bytes;
};

// The page's answer to the NEED this worker sent, while it waits for one.
let bytesGiven = null;

self.onmessage = (event) => {
  const message = event.data;
  const failed = (error) => postMessage({ type: FROM_WORKER.ERROR, message: String(error) });
  if (message.type === TO_WORKER.BYTES && bytesGiven) {
    const given = bytesGiven;
    bytesGiven = null;
    given(message.files);
  }
  if (message.type === TO_WORKER.MENU) menu().catch(failed);
  if (message.type === TO_WORKER.REFUSAL) refusal(message).catch(failed);
  if (message.type === TO_WORKER.DRIVERS) readDrivers(message.files).catch(failed);
  if (message.type === TO_WORKER.CHECK) check(message).catch(failed);
  if (message.type === TO_WORKER.SURVEY) survey(message).catch(failed);
  if (message.type === TO_WORKER.APPLY) apply(message).catch(failed);
  if (message.type === TO_WORKER.CHANGES) changes(message).catch(failed);
  if (message.type === TO_WORKER.ZIP) {
    const bytes = fflate.zipSync(Object.fromEntries(message.files));
    postMessage({ type: FROM_WORKER.ZIP, bytes }, [bytes.buffer]);
  }
};

// The tool's menu, and what it prints and ends with where the answer
// quits it (web/engine_web.cpp's o2s_menu).
async function menu() {
  const module = await createOem2sif({ noInitialRun: true });
  const size = module._malloc(4);
  const at = module._o2s_menu(size);
  const json = new TextDecoder().decode(module.HEAPU8.subarray(at, at + module.HEAPU32[size >> 2]));
  module._free(size);
  postMessage({ type: FROM_WORKER.MENU, menu: JSON.parse(json) });
}

// Why the results may not be written into a folder (web/engine_web.cpp's
// o2s_folder_refusal), from the few files it compares and the names.
async function refusal({ files, knownCount, names, picked, brought }) {
  const module = await createOem2sif({ noInitialRun: true });
  module.FS.mkdirTree('/refusal');
  for (const [name, bytes] of files) module.FS.writeFile(`/refusal/${name}`, bytes);
  const why = module.ccall('o2s_folder_refusal', 'string', ['string', 'number', 'string', 'string', 'string'],
                           ['/refusal', knownCount, names.join('\n'), picked.join('\n'), brought.join('\n')]);
  postMessage({ type: FROM_WORKER.REFUSAL, refusal: why });
}

// What changed from `old` to `now` (a setup file's bytes), read as the
// engine reads lines.
async function changes({ old, now }) {
  const module = await createOem2sif({ noInitialRun: true });
  postMessage({ type: FROM_WORKER.CHANGES, rows: changeRows(readLines(module, old), readLines(module, now), Diff.diffArrays) });
}

// The options of each txtsetup.oem, each read in a folder of its own as a
// run reads them, with the messages the run would print about each.
async function readDrivers(files) {
  let messages = [];
  let options;
  const module = await createOem2sif({
    noInitialRun: true,
    onConsoleBytes: (bytes) => messages.push(bytes),
    onOption: (address) => {
      options.push({ ...optionAt(module, address), messages: text(joined(messages)).trim() });
      messages = [];
    },
  });
  const drivers = files.map((bytes, i) => {
    const folder = `/drivers/${i}`;
    module.FS.mkdirTree(folder);
    module.FS.writeFile(`${folder}/txtsetup.oem`, bytes);
    module.FS.chdir(folder);
    options = [];
    module._o2s_read_driver();
    messages = [];
    return options;
  });
  postMessage({ type: FROM_WORKER.DRIVERS, drivers });
}

// The check of a setup folder as the results leave it ([[name, bytes or
// {size}]], as askEngine's files): it asks for the bytes it reads. Each
// finding comes with its text in both languages, as the check words it.
async function check({ folder, files }) {
  // The folder is one of the mount, not its root: the check reads its name.
  const dir = folder || 'setup';
  const inDir = (name) => `${dir}/${name}`;
  const ofDir = (path) => path.slice(dir.length + 1);
  const ask = async (paths) => (await askPage(paths.map(ofDir))).map(([name, bytes]) => [inDir(name), bytes]);
  const checked = await inRounds(files.map(([name, data]) => [inDir(name), data]), async (given, needed) => {
    const module = await createOem2sif({ noInitialRun: true });
    mountPicked(module, given, needed, '/check');
    return checkOf(module, `/check/${dir}`);
  }, ask);
  postMessage({ type: FROM_WORKER.CHECKED, ...checked });
}

function checkOf(module, path) {
  const at = module._malloc(rowBytes('summary'));
  const table = module.ccall('o2s_check_folder', 'number', ['string', 'number'], [path, at]);
  const { status, count, machine } = readRow(module.HEAPU32, at, 'summary');
  module._free(at);
  const zeroEnded = (address) => (address ? textAt(module, address) : '');
  const findings = [];
  for (let i = 0; i < count; i++) {
    const row = readRow(module.HEAPU32, table, 'finding', i);
    const texts = {};
    for (const [language, number] of Object.entries(TEXT_LANGUAGE)) texts[language] = zeroEnded(module._o2s_check_finding_text(i, number)).trimEnd();
    findings.push({ kind: row.kind, problem: row.problem === 1, place: row.place, line: row.line, number: row.number,
                    service: zeroEnded(row.service), file: zeroEnded(row.file), extra: zeroEnded(row.extra),
                    // The option whose [SCSI.Load] line names the file.
                    option: zeroEnded(module._o2s_check_finding_option(i)), texts });
  }
  return { status, machine, findings };
}

// The engine's survey of the picked files (engine/survey_json.h): every
// decision about the options, made in C++, on the bytes it asks for
// (askEngine).
async function survey(message) {
  const { json } = await askEngine('o2s_survey', message);
  postMessage({ type: FROM_WORKER.SURVEYED, survey: JSON.parse(json) });
}

// The engine's plan of the same survey carried out, the picked files only
// read: the outcome (web/engine_web.cpp's JSON, protocol.js's APPLY) and
// the bytes of every file it wrote, by its name in the setup folder.
// Each run's console goes to the page as it is printed: {type: CONSOLE,
// run, bytes}, at most every CONSOLE_INTERVAL ms, every byte before APPLIED.
async function apply(message) {
  let pending = { run: 0, parts: [] };
  let lastSent = 0;
  const send = () => {
    if (pending.parts.length === 0) return;
    const bytes = joined(pending.parts);
    postMessage({ type: FROM_WORKER.CONSOLE, run: pending.run, bytes }, [bytes.buffer]);
    pending = { run: pending.run, parts: [] };
    lastSent = performance.now();
  };
  // A round that lacked bytes is run again (askEngine); its console, printed
  // after every read failed or not (engine/apply.cpp reads all first), is
  // not the page's.
  const onApplyConsole = (module, lacking) => (run, at, length) => {
    if (lacking()) return;
    if (run !== pending.run) {
      send();
      pending = { run, parts: [] };
    }
    pending.parts.push(module.HEAPU8.slice(at, at + length));
    if (performance.now() - lastSent >= CONSOLE_INTERVAL) send();
  };
  const { module, json } = await askEngine('o2s_apply', message, [APPLY_OUTPUT], onApplyConsole);
  send();
  const outcome = JSON.parse(json);
  const files = outcome.files.filter((f) => f.written).map((f) => [f.name, module.FS.readFile(`${APPLY_OUTPUT}/${f.name}`)]);
  postMessage({ type: FROM_WORKER.APPLIED, outcome, files }, files.map(([, bytes]) => bytes.buffer));
}

// One of the engine's entry points, on the picked files mounted, with
// `extra` string arguments after its own; its UTF-8 JSON. `hear(module,
// lacking)`: the module's onApplyConsole. The page sends bytes it has
// read already, and the others' sizes; the engine decides what it reads.
// A round whose reads met a file without its bytes asks the page for
// them and runs again, until a round reads only what it has (or the page
// has nothing more to give): each round reads one file more at least.
async function askEngine(entry, message, extra = [], hear = null) {
  return inRounds(message.files, (files, needed) => engineRound(entry, message, files, needed, extra, hear), askPage);
}

// The bytes of the picked files at `paths` ([[path, bytes]]; a file the
// page could not read is left out).
function askPage(paths) {
  return new Promise((resolve) => {
    bytesGiven = resolve;
    postMessage({ type: FROM_WORKER.NEED, paths });
  });
}

async function engineRound(entry, { setup, drivers, ticks, windows }, files, needed, extra, hear) {
  // The reader's console messages are in the survey's texts already.
  let module = null;
  const lacking = () => needed.size > 0;
  module = await createOem2sif({ noInitialRun: true, onConsoleBytes: () => {},
                                 onApplyConsole: hear ? (...args) => hear(module, lacking)(...args) : undefined });
  mountPicked(module, files, needed);
  for (const folder of extra) module.FS.mkdirTree(folder);
  const size = module._malloc(4);
  const lines = ticks.map(([driver, option, ticked]) => `${driver} ${option} ${ticked ? 1 : 0}`).join('\n');
  const at = module.ccall(entry, 'number', ['string', 'string', 'string', 'string', 'number', ...extra.map(() => 'string'), 'number'],
                          [setup.folder, setup.name, drivers.join('\n'), lines, windows, ...extra, size]);
  const json = new TextDecoder().decode(module.HEAPU8.subarray(at, at + module.HEAPU32[size >> 2]));
  module._free(size);
  return { module, json };
}

// The picked files (path -> bytes or {size}) under `root`,
// read-only (WORKERFS). Its reader is one of bytes here, never the
// browser's FileReaderSync: WebKit's workers hang on it, on a Blob made in
// the worker too. A file without its bytes tells its size and refuses to
// be read; its path goes into `needed`.
function mountPicked(module, files, needed, root = SURVEY_ROOT) {
  const EIO = 29;
  const piece = (bytes) => ({ size: bytes.length, slice: (from, to) => ({ size: Math.max(0, Math.min(to, bytes.length) - from), bytes: bytes.subarray(from, to) }) });
  // The platform layer asks a file's size with a read of one byte beyond
  // what it takes (platform/files_posix.cpp): that read is answered. A file
  // whose size the page did not tell (size null) shows one byte, and its
  // first read of any length asks for it.
  const standIn = (path, size) => ({ size: size === null ? 1 : size, slice: (from, to) => {
    const length = Math.max(0, Math.min(to, size === null ? 1 : size) - from);
    if (size !== null && length <= 1) return { size: length, bytes: new Uint8Array(length) };
    needed.add(path);
    throw new module.FS.ErrnoError(EIO);
  } });
  module.WORKERFS.reader = { readAsArrayBuffer: (chunk) => chunk.bytes };
  const blobs = [...files].map(([name, data]) => ({ name, data: data instanceof Uint8Array ? piece(data) : standIn(name, data.size) }));
  module.FS.mkdirTree(root);
  module.FS.mount(module.WORKERFS, { blobs }, root);
}

const sjis = new TextDecoder('shift_jis');
const text = (bytes) => sjis.decode(bytes);
// Zero-ended bytes of the module's memory as text.
const textAt = (module, address) => text(module.HEAPU8.subarray(address, module.HEAPU8.indexOf(0, address)));
// An option's record (web/driver_web.cpp), as the module sends it.
const optionAt = (module, address) => readOption(module.HEAPU32, address, (at) => (at ? textAt(module, at) : null));

// The lines of a setup file as the engine reads them: text, the section it
// is in and, for entries, key and value. `name` is the section name or key
// as written; `match` is the same in the letter case the engine compares.
function readLines(module, bytes) {
  if (!bytes || bytes.length === 0) return [];
  const size = bytes.length;
  const data = module._malloc(size);
  const folded = module._malloc(size);
  const count = module._malloc(4);
  module.HEAPU8.set(bytes, data);
  const index = module._o2s_index_lines(data, size, folded, count);
  const lineCount = module.HEAPU32[count >> 2];
  const heap = module.HEAPU8;
  const lines = [];
  let section = { name: '', match: '' };
  for (let i = 0; i < lineCount; i++) {
    const { offset, length, kind, nameAt, nameLength, valueAt, valueLength } = readRow(module.HEAPU32, index, 'line', i);
    const name = text(heap.subarray(data + nameAt, data + nameAt + nameLength));
    const match = text(heap.subarray(folded + nameAt, folded + nameAt + nameLength));
    if (kind === CODES.lineKind.header) section = { name, match };
    const line = { text: text(heap.subarray(data + offset, data + offset + length)), section };
    if (kind === CODES.lineKind.entry) Object.assign(line, { key: name, keyMatch: match, value: text(heap.subarray(data + valueAt, data + valueAt + valueLength)) });
    lines.push(line);
  }
  module._free(data);
  module._free(folded);
  module._free(count);
  return lines;
}
