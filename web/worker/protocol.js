// The worker's protocol, declared once: the messages between the page and
// its workers, and the tables the worker reads from the module's memory.
// The tables are the C++'s (web/layout.h): the module tells their layout
// (o2s_*_layout), and web/test/protocol.test.mjs holds this declaration to
// it.

// From the page: {type: MENU}
//                {type: DRIVERS, files: [bytes]}
//                {type: ZIP, files: [[name, bytes]]}
//                {type: CHECK, folder, files: [[name, bytes or {size}]]}
//                {type: SURVEY, setup: {folder, name}, drivers: [folder], files: [[path, bytes or {size}]],
//                 ticks: [[driver, option, ticked]], windows: 0, 1 or 2}
//                (paths below the survey's root, folders in it: picks.js's surveyLayout)
//                {type: APPLY, the same as SURVEY}
//                (a file's bytes where the page has them; the worker asks for
//                 the others the engine reads: NEED, answered by BYTES)
//                {type: BYTES, files: [[path, bytes]]} (those of a NEED's paths
//                 the page could read)
//                {type: CHANGES, old: bytes, now: bytes} (a setup file before and after)
//                {type: REFUSAL, files: [[setup | backup | original | knownN, bytes]],
//                 knownCount, names: [name], picked: [name], brought: [name]}
export const TO_WORKER = Object.freeze({
  MENU: 'menu', DRIVERS: 'drivers', ZIP: 'zip', CHECK: 'check', SURVEY: 'survey', APPLY: 'apply', CHANGES: 'changes',
  REFUSAL: 'refusal', BYTES: 'bytes',
});
// To the page:   {type: MENU, menu: {menu, quit, quitStatus}} (the tool's
//                menu, and its text and exit status where the answer quits);
//                {type: CHANGES, rows} (worker/changes.js's changeRows);
//                {type: DRIVERS, drivers: [[option]]}; {type: ZIP, bytes};
//                {type: CHECKED, status, machine, findings};
//                {type: SURVEYED, survey} (engine/survey_json.h's object);
//                {type: CONSOLE, run, bytes} (a run's console as the apply prints it,
//                 Shift_JIS bytes, before its APPLIED);
//                {type: APPLIED, outcome (APPLY below), files: [[name, bytes]]}
//                (each file the apply wrote, by its name in the setup folder);
//                {type: REFUSAL, refusal: none | changedSince | otherFolder | otherOrChanged};
//                {type: NEED, paths: [path]} (during a SURVEY, APPLY or CHECK: the
//                 picked files whose bytes the engine read and lacked);
//                or {type: ERROR, message}.
export const FROM_WORKER = Object.freeze({
  MENU: 'menu', CONSOLE: 'console', CHANGES: 'changes', DRIVERS: 'drivers', ZIP: 'zip',
  CHECKED: 'checked', SURVEYED: 'surveyed', APPLIED: 'applied', REFUSAL: 'refusal', NEED: 'need', ERROR: 'error',
});

// Each table's 32-bit fields in their order (web/check_web.cpp,
// web/lines_web.cpp, web/driver_web.cpp). An option's record is an option,
// its idCount ids, its fileCount and its files.
export const TABLES = Object.freeze({
  summary: ['status', 'count', 'problems', 'dropped', 'machine', 'evidence', 'major', 'minor'],
  finding: ['kind', 'problem', 'place', 'line', 'number', 'service', 'file', 'extra'],
  line: ['offset', 'length', 'kind', 'nameAt', 'nameLength', 'valueAt', 'valueLength'],
  option: ['index', 'key', 'description', 'driverFile', 'driverFileRefused', 'service', 'idCount'],
  optionId: ['id', 'match', 'service'],
  optionFiles: ['fileCount'],
  optionFile: ['kind', 'disk', 'name', 'config', 'directory', 'refused'],
});

// The numbers the module gives for things: PE machines, what a driver
// file's reading tells where it tells no machine, the kinds of a setup
// file's lines and of an option's file lines, and why a file name is refused.
export const CODES = Object.freeze({
  machine: { x86: 0x014c, x64: 0x8664, ia64: 0x0200 },
  lineKind: { blank: 0, header: 1, entry: 2, comment: 3, other: 4 },
  fileKind: { driver: 0, inf: 1, catalog: 2, dll: 3 },
  refused: { none: 0, notPlain: 1, setupOwn: 2 },
});

// The engine's apply as JSON (web/engine_web.cpp, o2s_apply_layout): the
// outcome's fields, each file's, and the names of the actions and failures.
export const APPLY = Object.freeze({
  apply: ['failure', 'subject', 'files', 'consoles', 'statuses', 'conflicts'],
  applyFile: ['name', 'action', 'written'],
  applyAction: ['create', 'replace', 'same', 'keepBackup', 'repair', 'conflict'],
  applyFailure: ['setupFileMissing', 'setupFileChanged', 'driverFileMissing', 'notRegularFile', 'runFailed', 'writeFailed',
                 'scratchFailed', 'unsafeName', 'fileTooBig'],
});

// The language of the check's texts (o2s_check_finding_text).
export const TEXT_LANGUAGE = Object.freeze({ ja: 0, en: 1 });

export const rowBytes = (table) => 4 * TABLES[table].length;

// Row `index` of `table` at byte `address` of the module's memory, as
// {field: number}.
export function readRow(heap32, address, table, index = 0) {
  const fields = TABLES[table];
  const at = (address >> 2) + index * fields.length;
  const row = {};
  fields.forEach((field, i) => { row[field] = heap32[at + i]; });
  return row;
}

// The name of `value` among CODES[kind], or null.
export const codeName = (kind, value) => Object.keys(CODES[kind]).find((name) => CODES[kind][name] === value) || null;

// An option's record at byte `address`: texts read by `text(address)` (null
// for 0).
export function readOption(heap32, address, text) {
  let at = address;
  const take = (table) => {
    const row = readRow(heap32, at, table);
    at += rowBytes(table);
    return row;
  };
  const refused = (value) => (value === CODES.refused.none ? null : codeName('refused', value));
  const head = take('option');
  const option = { index: head.index, key: text(head.key), description: text(head.description), driverFile: text(head.driverFile),
                   driverFileRefused: refused(head.driverFileRefused), service: text(head.service), ids: [], files: [] };
  for (let i = 0; i < head.idCount; i++) {
    const id = take('optionId');
    option.ids.push({ id: text(id.id), match: text(id.match), service: text(id.service) });
  }
  const { fileCount } = take('optionFiles');
  for (let i = 0; i < fileCount; i++) {
    const file = take('optionFile');
    option.files.push({ kind: codeName('fileKind', file.kind), disk: text(file.disk), name: text(file.name), config: text(file.config),
                        directory: text(file.directory), refused: refused(file.refused) });
  }
  return option;
}

// A layout as the module tells it: lines of "table: field field" or
// "kind: name=value name=value". {tables, codes}.
export function parseLayout(text) {
  const tables = {};
  const codes = {};
  for (const line of text.split('\n').filter(Boolean)) {
    const [name, rest] = line.split(':');
    const words = rest.trim().split(/\s+/);
    if (words[0].includes('=')) codes[name] = Object.fromEntries(words.map((w) => w.split('=')).map(([k, v]) => [k, Number(v)]));
    else tables[name] = words;
  }
  return { tables, codes };
}
