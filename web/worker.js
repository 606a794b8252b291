// The tool's run, in a worker of the page, so that the page never waits for
// it. One run per message: a new instance of the module (a fresh file system
// and fresh static state, as a new process has), the given files in its
// folder, the given input typed ahead. The page hears the console as it is
// written, is asked for input when the tool waits, and gets every file of
// the folder when the run ends, with what changed in txtsetup.sif since
// `baseline` (the setup file before the first of several runs) and what the
// run wrote: the driver files, services and hardware ids. Terminating the
// worker cancels the run. The same worker also reads the options of drivers
// (through the run's own reading) and zips the results.
//
// From the page: {type: 'run', files: [[name, bytes]], input: [char codes],
//                 baseline: bytes or null, changes: boolean}
//                {type: 'input', chars: [char codes]}
//                {type: 'options', files: [bytes]}
//                {type: 'zip', files: [[name, bytes]]}
// To the page:   {type: 'console', bytes}, {type: 'waiting'},
//                {type: 'end', status, files: [[name, bytes, state]], drivers, ids},
//                then {type: 'changes', rows} (rows empty unless asked for);
//                {type: 'options', drivers: [[{key, description}]]};
//                {type: 'zip', bytes}; or {type: 'error', message}.
// A file's state is created, changed, unchanged or deleted (bytes null).
// The changes come in a message of their own, so that the page can offer the
// files first and no one message keeps its main thread busy for long.
'use strict';
(function () {
  const FOLDER = '/setup';
  const SETUP = 'txtsetup.sif';
  // Console bytes are passed on at most this often (ms), so that the page
  // gets a few messages a second rather than one per dot.
  const CONSOLE_INTERVAL = 40;

  const input = [];
  let waiter = null;
  let pending = [];
  let lastSent = 0;

  function sendConsole() {
    if (pending.length === 0) return;
    const size = pending.reduce((sum, bytes) => sum + bytes.length, 0);
    const bytes = new Uint8Array(size);
    let at = 0;
    for (const part of pending) {
      bytes.set(part, at);
      at += part.length;
    }
    pending = [];
    lastSent = performance.now();
    postMessage({ type: 'console', bytes }, [bytes.buffer]);
  }

  function deliverInput() {
    if (waiter && input.length) {
      const resolve = waiter;
      waiter = null;
      resolve(input.shift());
    }
  }

  self.onmessage = (event) => {
    const message = event.data;
    const failed = (error) => postMessage({ type: 'error', message: String(error) });
    if (message.type === 'run') run(message).catch(failed);
    if (message.type === 'options') readOptions(message.files).catch(failed);
    if (message.type === 'zip') {
      const bytes = fflate.zipSync(Object.fromEntries(message.files));
      postMessage({ type: 'zip', bytes }, [bytes.buffer]);
    }
    if (message.type === 'input') {
      input.push(...message.chars);
      deliverInput();
    }
  };

  async function run({ files, input: typedAhead, baseline, changes }) {
    input.push(...typedAhead);
    const writes = [];
    const options = {
      noInitialRun: true,
      preRun: [(m) => {
        m.FS.mkdir(FOLDER);
        m.FS.chdir(FOLDER);
        for (const [name, bytes] of files) m.FS.writeFile(name, bytes);
      }],
      onConsoleBytes: (bytes) => {
        pending.push(bytes);
        if (performance.now() - lastSent >= CONSOLE_INTERVAL) sendConsole();
      },
      readConsoleChar: () => new Promise((resolve) => {
        sendConsole();
        waiter = resolve;
        if (input.length) deliverInput();
        else postMessage({ type: 'waiting' });
      }),
      onProfileWrite: (section, key, value, keyMatch) => writes.push({ section, key, value, keyMatch }),
      print: (text) => console.log(text),
      printErr: (text) => console.warn(text),
    };
    const module = await createOem2sif(options);
    // The tool ends with exit(), which throws ExitStatus out of main; the
    // runtime stays, so the files and the line reader can still be used.
    let status;
    try {
      status = await module.ccall('main', 'number', ['number', 'number'], [0, 0], { async: true });
    } catch (error) {
      if (!error || error.name !== 'ExitStatus') throw error;
      status = error.status;
    }
    sendConsole();
    const after = new Map(module.FS.readdir(FOLDER).filter((name) => name !== '.' && name !== '..')
      .map((name) => [name, module.FS.readFile(`${FOLDER}/${name}`)]));
    const before = new Map(files);
    const states = [...before].filter(([name]) => !after.has(name)).map(([name]) => [name, null, 'deleted']);
    for (const [name, bytes] of after) {
      const old = before.get(name);
      states.push([name, bytes, !old ? 'created' : sameBytes(old, bytes) ? 'unchanged' : 'changed']);
    }
    const newSetup = changes && after.get(SETUP) && after.get(SETUP).slice();
    postMessage({ type: 'end', status, files: states, drivers: driverFiles(writes), ids: hardwareIds(writes) },
                [...after.values()].map((bytes) => bytes.buffer));
    postMessage({ type: 'changes', rows: changes ? changeRows(module, baseline || before.get(SETUP), newSetup) : [] });
  }

  // The options of each txtsetup.oem, each read in a folder of its own as a
  // run reads them.
  async function readOptions(files) {
    const module = await createOem2sif({ noInitialRun: true });
    const count = module._malloc(4);
    const drivers = files.map((bytes, i) => {
      const folder = `/drivers/${i}`;
      module.FS.mkdirTree(folder);
      module.FS.writeFile(`${folder}/txtsetup.oem`, bytes);
      module.FS.chdir(folder);
      const list = module._o2s_driver_options(count) >> 2;
      const options = [];
      for (let n = 0; n < module.HEAPU32[count >> 2]; n++) {
        const [key, description] = [0, 1].map((k) => text(zeroEnded(module.HEAPU8, module.HEAPU32[list + 2 * n + k])));
        options.push({ key, description });
      }
      return options;
    });
    module._free(count);
    postMessage({ type: 'options', drivers });
  }

  function zeroEnded(heap, at) {
    let end = at;
    while (heap[end]) end++;
    return heap.subarray(at, end);
  }

  function sameBytes(a, b) {
    if (a.length !== b.length) return false;
    for (let i = 0; i < a.length; i++) if (a[i] !== b[i]) return false;
    return true;
  }

  const sjis = new TextDecoder('shift_jis');
  const text = (bytes) => sjis.decode(bytes);

  // Each driver option the run wrote names its driver file in [SCSI.Load]
  // as "file,4", and its description in [SCSI], both under its service. A
  // service written twice keeps its last entries, as the file does.
  function driverFiles(writes) {
    const descriptions = new Map();
    const files = new Map();
    for (const write of writes) {
      const section = text(write.section);
      if (section === 'SCSI') descriptions.set(text(write.key), text(write.value));
      if (section === 'SCSI.Load') files.set(text(write.key), text(write.value).split(',')[0]);
    }
    return [...files].map(([service, file]) => ({ service, file, description: descriptions.get(service) || '' }));
  }

  // The hardware ids the run mapped, each with its service (the value
  // written is the service in quotes) and its key as the engine compares it;
  // the last write of an id counts, as the file keeps it.
  function hardwareIds(writes) {
    const ids = new Map();
    for (const write of writes) {
      if (text(write.section) !== 'HardwareIdsDatabase') continue;
      ids.set(text(write.keyMatch), { id: text(write.key), service: text(write.value).slice(1, -1) });
    }
    return [...ids].map(([match, { id, service }]) => ({ match, id, service }));
  }

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
    const index = module._o2s_index_lines(data, size, folded, count) >> 2;
    const lineCount = module.HEAPU32[count >> 2];
    const heap = module.HEAPU8;
    const numbers = module.HEAPU32;
    const lines = [];
    let section = { name: '', match: '' };
    for (let i = 0; i < lineCount; i++) {
      const [offset, length, kind, nameAt, nameLength, valueAt, valueLength] = numbers.subarray(index + 7 * i, index + 7 * i + 7);
      const name = text(heap.subarray(data + nameAt, data + nameAt + nameLength));
      const match = text(heap.subarray(folded + nameAt, folded + nameAt + nameLength));
      if (kind === 1) section = { name, match };
      const line = { text: text(heap.subarray(data + offset, data + offset + length)), section };
      if (kind === 2) Object.assign(line, { key: name, keyMatch: match, value: text(heap.subarray(data + valueAt, data + valueAt + valueLength)) });
      lines.push(line);
    }
    module._free(data);
    module._free(folded);
    module._free(count);
    return lines;
  }

  // jsdiff over whole files takes time in proportion to lines times changes
  // (a second for a heavy run). Lines that occur once in each file, kept in
  // the longest order both files agree on, split them into small gaps that
  // jsdiff compares alone. Returns jsdiff's parts: {count, added, removed}.
  function diffLines(a, b) {
    const seen = new Map();  // line -> [count in a, index in a, count in b, index in b]
    a.forEach((line, i) => {
      const entry = seen.get(line) || [0, 0, 0, 0];
      entry[0]++;
      entry[1] = i;
      seen.set(line, entry);
    });
    b.forEach((line, i) => {
      const entry = seen.get(line);
      if (entry) {
        entry[2]++;
        entry[3] = i;
      }
    });
    const pairs = [...seen.values()].filter((e) => e[0] === 1 && e[2] === 1).map((e) => [e[1], e[3]]);
    pairs.sort((x, y) => x[0] - y[0]);
    // The longest run of pairs that also ascends in b (patience sorting).
    const tails = [];
    const previous = [];
    pairs.forEach(([, at], i) => {
      let low = 0;
      let high = tails.length;
      while (low < high) {
        const middle = (low + high) >> 1;
        if (pairs[tails[middle]][1] < at) low = middle + 1;
        else high = middle;
      }
      previous[i] = low > 0 ? tails[low - 1] : -1;
      tails[low] = i;
    });
    const anchors = [];
    for (let i = tails.length ? tails[tails.length - 1] : -1; i >= 0; i = previous[i]) anchors.push(pairs[i]);
    anchors.reverse().push([a.length, b.length]);
    const parts = [];
    let fromA = 0;
    let fromB = 0;
    for (const [atA, atB] of anchors) {
      parts.push(...Diff.diffArrays(a.slice(fromA, atA), b.slice(fromB, atB)));
      if (atA < a.length) parts.push({ count: 1, added: false, removed: false });
      fromA = atA + 1;
      fromB = atB + 1;
    }
    return parts;
  }

  // Groups the line diff into rows per section: a removed and an added
  // entry with the same key in the same section are one replaced value.
  function changeRows(module, oldBytes, newBytes) {
    const oldLines = readLines(module, oldBytes);
    const newLines = readLines(module, newBytes);
    const parts = diffLines(oldLines.map((l) => l.text), newLines.map((l) => l.text));
    const rows = [];
    const row = (kind, line, fields) => rows.push({ kind, section: line.section.name, sectionMatch: line.section.match, ...fields });
    let oldIndex = 0;
    let newIndex = 0;
    for (let p = 0; p < parts.length; p++) {
      if (!parts[p].added && !parts[p].removed) {
        oldIndex += parts[p].count;
        newIndex += parts[p].count;
        continue;
      }
      // One change: the removed lines, then the added lines.
      const removed = [];
      const added = [];
      for (; p < parts.length && (parts[p].added || parts[p].removed); p++) {
        for (let n = 0; n < parts[p].count; n++) {
          if (parts[p].removed) removed.push(oldLines[oldIndex++]);
          else added.push({ line: newLines[newIndex], number: ++newIndex });
        }
      }
      p--;
      for (const { line, number } of added) {
        const match = line.key === undefined ? null : removed.find((r) => !r.used && r.keyMatch === line.keyMatch &&
                                                                      r.section.match === line.section.match);
        if (match) {
          match.used = true;
          row('replaced', line, { line: number, key: line.key, old: match.value, now: line.value });
        } else {
          row('inserted', line, { line: number, now: line.text });
        }
      }
      for (const line of removed) if (!line.used) row('removed', line, { line: null, old: line.text });
    }
    return rows;
  }
})();
