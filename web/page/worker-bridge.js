// The only place that talks to workers. Each task gets a worker of its own,
// made of the source the page carries (its URL goes as soon as the worker
// is made), and ends it when it is done. The messages are ../worker/protocol.js's.
import { TO_WORKER, FROM_WORKER } from '../worker/protocol.js';

export const CANCELLED = new Error('cancelled');

export function workerBridge(source) {
  function makeWorker() {
    const url = URL.createObjectURL(new Blob([source], { type: 'text/javascript' }));
    const worker = new Worker(url);
    URL.revokeObjectURL(url);
    return worker;
  }

  // One request, answered by one message of `replyType`; `transfer`: the
  // buffers handed over with it, no longer the page's; `onConsole(run,
  // bytes)` hears the CONSOLE messages before the answer; `onStart(stop)`
  // gets what ends the task (its worker ended, the answer CANCELLED);
  // `give(paths)` answers the worker's NEED with [[path, bytes]].
  function task(message, replyType, transfer = [], onConsole = null, onStart = null, give = null) {
    const worker = makeWorker();
    return new Promise((resolve, reject) => {
      const end = (error) => {
        worker.terminate();
        reject(error);
      };
      if (onStart) onStart(() => end(CANCELLED));
      worker.onmessage = (event) => {
        if (event.data.type === FROM_WORKER.CONSOLE && onConsole) onConsole(event.data.run, event.data.bytes);
        if (event.data.type === FROM_WORKER.NEED && give) {
          give(event.data.paths).then((files) => worker.postMessage({ type: TO_WORKER.BYTES, files }, files.map(([, bytes]) => bytes.buffer)),
                                      end);
        }
        if (event.data.type === replyType) {
          worker.terminate();
          resolve(event.data);
        }
        if (event.data.type === FROM_WORKER.ERROR) end(new Error(event.data.message));
      };
      worker.onerror = (event) => {
        event.preventDefault();
        end(new Error(event.message || 'worker'));
      };
      worker.postMessage(message, transfer);
    });
  }

  // The options of each txtsetup.oem (bytes), as a run reads them.
  const readDrivers = async (files) => (await task({ type: TO_WORKER.DRIVERS, files }, FROM_WORKER.DRIVERS)).drivers;
  const zip = async (files) => (await task({ type: TO_WORKER.ZIP, files }, FROM_WORKER.ZIP)).bytes;

  // What changed from `old` to `now`, a setup file's bytes (copies go to
  // the worker): the change view's rows.
  const changes = async (old, now) =>
    (await task({ type: TO_WORKER.CHANGES, old: old ? old.slice() : null, now: now ? now.slice() : null }, FROM_WORKER.CHANGES)).rows;

  // The tool's menu ({menu, quit, quitStatus}): what the console shows
  // before the answer, and where the answer quits.
  const menu = async () => (await task({ type: TO_WORKER.MENU }, FROM_WORKER.MENU)).menu;

  // Why the results may not be written into a folder (engine/folder_refusal.h),
  // or null: its txtsetup.sif and backup (null where none), the picked
  // original, the txtsetup.sif the chain's sets started from and left
  // (`known`), the folder's names, the picked folder's (none where not
  // known) and the files the results bring. Copies of the bytes go.
  const refusal = async ({ setup, backup, original, known, names, picked, brought }) => {
    const files = [['original', original], ...known.map((bytes, i) => [`known${i}`, bytes]), ['setup', setup], ['backup', backup]]
      .filter(([, bytes]) => bytes).map(([name, bytes]) => [name, bytes.slice()]);
    const message = { type: TO_WORKER.REFUSAL, files, knownCount: known.length, names, picked, brought };
    const why = (await task(message, FROM_WORKER.REFUSAL, files.map(([, bytes]) => bytes.buffer))).refusal;
    return why === 'none' ? null : why;
  };

  // A layout's files as a worker takes them: bytes where the page has them
  // (given, or read for an earlier task), else their sizes alone; the
  // worker asks for the bytes the engine reads (NEED), read then from the
  // picked File. Always bytes, never the File: WebKit's workers cannot read
  // a File they are sent. Each picked file is read once, kept while its
  // File is.
  const read = new WeakMap();
  const bytesOfFile = async (file) => {
    if (!read.has(file)) read.set(file, file.arrayBuffer().then((buffer) => new Uint8Array(buffer)));
    return read.get(file);
  };
  // A layout's file: {path, and bytes, or a picked entry, or `load` (what
  // reads it; its size unknown to the worker till then)}.
  const sendable = (files) => Promise.all(files.map(async (f) => {
    if (f.bytes) return [f.path, f.bytes.slice()];
    const known = f.entry && read.get(f.entry.file);
    if (known) return [f.path, (await known).slice()];
    return [f.path, f.entry ? { size: f.entry.size } : { size: null }];
  }));
  const giver = (files) => {
    const byPath = new Map(files.filter((f) => f.entry || f.load).map((f) => [f.path, f]));
    return (paths) => Promise.all(paths.filter((path) => byPath.has(path)).map(async (path) => {
      const f = byPath.get(path);
      return [path, f.entry ? (await bytesOfFile(f.entry.file)).slice() : await f.load()];
    }));
  };
  // The check of a folder (its name; its files as a layout's, by name):
  // {status, machine, findings}, each finding with its `texts` in both
  // languages.
  // `message` with a layout's `files` as sendable gives them, its bytes
  // handed over; the worker's NEEDs answered from the same files.
  const layoutTask = async (message, files, replyType, onConsole = null, onStart = null) => {
    const sent = await sendable(files);
    const transfer = sent.filter(([, data]) => data instanceof Uint8Array).map(([, bytes]) => bytes.buffer);
    return task({ ...message, files: sent }, replyType, transfer, onConsole, onStart, giver(files));
  };
  const check = (folder, files) => layoutTask({ type: TO_WORKER.CHECK, folder }, files, FROM_WORKER.CHECKED);
  const engineTask = (type, replyType, { setup, drivers, files }, ticks, windows, onConsole = null, onStart = null) =>
    layoutTask({ type, setup, drivers, ticks, windows }, files, replyType, onConsole, onStart);

  // The engine's survey of a pick laid out by picks.js's surveyLayout, with
  // the user's ticks ([[driver, option, ticked]]) and forced answer (0 none):
  // engine/survey_json.h's object.
  const survey = async (layout, ticks, windows) => (await engineTask(TO_WORKER.SURVEY, FROM_WORKER.SURVEYED, layout, ticks, windows)).survey;
  // The engine's plan of the same carried out (picks.js's applyLayout), the
  // picked files only read: {outcome, files: [[name, bytes]]}, what it
  // wrote under the setup folder's names. `onConsole(run, bytes)` hears
  // each run's console as it is printed; `onStart(stop)` as task's.
  const apply = async (layout, ticks, windows, onConsole = null, onStart = null) => {
    const { outcome, files } = await engineTask(TO_WORKER.APPLY, FROM_WORKER.APPLIED, layout, ticks, windows, onConsole, onStart);
    return { outcome, files };
  };

  return { readDrivers, zip, check, changes, menu, survey, apply, refusal };
}
