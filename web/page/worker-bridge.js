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
  // buffers handed over with it, no longer the page's.
  function task(message, replyType, transfer = []) {
    const worker = makeWorker();
    return new Promise((resolve, reject) => {
      const end = (error) => {
        worker.terminate();
        reject(error);
      };
      worker.onmessage = (event) => {
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
  // dosnet.inf's bytes with each driver file (a name) added.
  const addToDosnet = async (bytes, names) => (await task({ type: TO_WORKER.DOSNET, bytes, names }, FROM_WORKER.DOSNET)).bytes;
  // The check of a folder (its name; [[name, bytes]] of the files it reads,
  // bytes handed over to the worker; the names of the others): {status,
  // machine, findings}, each finding with its `texts` in both languages.
  const check = (folder, files, names) =>
    task({ type: TO_WORKER.CHECK, folder, files, names }, FROM_WORKER.CHECKED, files.map(([, bytes]) => bytes.buffer));

  // Runs the tool once on `files` ([lower-case name, bytes]) with
  // `typedAhead` already typed, and only the options at `keep` of the
  // driver's list (all where null). `result` settles when the tool ends, with
  // {status, files: [[name, bytes, state]], options, changes}, where
  // `changes` is a promise of the rows of the change view against
  // `baseline` (empty unless `changes` is asked for).
  function runTool(files, typedAhead, { onConsole, onWaiting, keep = null, baseline = null, changes = true }) {
    const worker = makeWorker();
    let settle;
    let settleChanges;
    const result = new Promise((resolve, reject) => { settle = { resolve, reject }; });
    const changeRows = new Promise((resolve, reject) => { settleChanges = { resolve, reject }; });
    changeRows.catch(() => {});  // a cancelled run has none, and no one waits for them
    const end = (error) => {
      worker.terminate();
      settle.reject(error);
      settleChanges.reject(error);
    };
    worker.onmessage = (event) => {
      const message = event.data;
      if (message.type === FROM_WORKER.CONSOLE) onConsole(message.bytes);
      if (message.type === FROM_WORKER.WAITING) onWaiting();
      if (message.type === FROM_WORKER.END) settle.resolve({ ...message, changes: changeRows });
      if (message.type === FROM_WORKER.CHANGES) {
        worker.terminate();
        settleChanges.resolve(message.rows);
      }
      if (message.type === FROM_WORKER.ERROR) end(new Error(message.message));
    };
    worker.onerror = (event) => {
      event.preventDefault();
      end(new Error(event.message || 'worker'));
    };
    const codes = (text) => [...text].map((c) => c.charCodeAt(0));
    worker.postMessage({ type: TO_WORKER.RUN, files, input: codes(typedAhead), keep, baseline, changes });
    return {
      result,
      answer: (text) => worker.postMessage({ type: TO_WORKER.INPUT, chars: codes(text) }),
      cancel: () => end(CANCELLED),
    };
  }

  // The engine's survey of a pick laid out by picks.js's surveyLayout, with
  // the user's ticks ([[driver, option, ticked]]) and forced answer (0 none):
  // engine/survey_json.h's object. The files the engine reads go as bytes,
  // the others as their sizes alone (all the engine asks of them), in every
  // browser: WebKit's workers cannot read a File they are sent, and a page
  // that tried first would wait there for an answer that never comes.
  async function survey({ setup, drivers, files }, ticks, windows) {
    const sent = await Promise.all(files.map(async ({ path, entry, read }) =>
      [path, read ? new Uint8Array(await entry.file.arrayBuffer()) : { size: entry.size }]));
    const message = { type: TO_WORKER.SURVEY, setup, drivers, files: sent, ticks, windows };
    return (await task(message, FROM_WORKER.SURVEYED, sent.filter(([, data]) => data instanceof Uint8Array).map(([, bytes]) => bytes.buffer))).survey;
  }

  return { readDrivers, zip, addToDosnet, check, runTool, survey };
}
