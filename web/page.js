// The page of oem2sif: takes the files of a setup folder, runs the tool on
// them in an in-memory file system, and shows and offers what it changed.
// Nothing leaves the page.
'use strict';
(function () {
  const OEM = 'txtsetup.oem';
  const SETUP = 'txtsetup.sif';
  const BACKUP = 'txtsetup.sif.orig';
  const NAMES = [OEM, SETUP, BACKUP];
  const FOLDER = '/setup';

  const TEXT = {
    ja: {
      tagline: 'txtsetup.oem の SCSI ドライバーを txtsetup.sif に書き込みます (Windows 2000 / XP のセットアップ用)。',
      offline: 'このページは何も送信しません。ファイルはこのブラウザーの中だけで処理されます。',
      filesHeading: '1. セットアップフォルダーのファイル',
      filesHelp: 'txtsetup.oem と txtsetup.sif (あれば txtsetup.sif.orig も) を選ぶか、ここにドロップしてください。名前の大文字・小文字は区別しません。',
      dropHere: 'ここにファイルをドロップ',
      pickFiles: 'ファイルを選ぶ',
      pickFolder: 'フォルダーを選ぶ',
      run: '実行',
      clear: 'ファイルをクリア',
      consoleHeading: '2. 実行',
      keysHelp: 'キーボードの 1、2、Enter でも答えられます。',
      resultsHeading: '3. 結果',
      changesHeading: 'txtsetup.sif の変更',
      missing: '(なし)',
      loaded: (n) => `${n} バイト`,
      ignored: (names) => `使わないファイル: ${names.join(', ')}`,
      needFiles: 'txtsetup.oem と txtsetup.sif が必要です。',
      exited: (s) => `終了しました (終了コード ${s})。`,
      created: '作成', changed: '変更', unchanged: '変更なし', deleted: '削除',
      download: 'ダウンロード',
      noChanges: 'txtsetup.sif は変更されていません。',
      summary: (i, r, d) => `挿入 ${i} 行、値の置き換え ${r} 件、削除 ${d} 行。`,
      line: '行', kind: '種類', before: '変更前', after: '変更後',
      inserted: '挿入', replaced: '置き換え', removed: '削除',
      beforeSections: '(最初のセクションより前)',
      runAgain: 'もう一度実行 (この結果のフォルダーで)',
    },
    en: {
      tagline: 'Writes the SCSI drivers of txtsetup.oem into txtsetup.sif (for Windows 2000 / XP setup).',
      offline: 'This page sends nothing anywhere: your files are processed inside this browser only.',
      filesHeading: '1. Files of the setup folder',
      filesHelp: 'Pick or drop txtsetup.oem and txtsetup.sif (and txtsetup.sif.orig if there is one). Names match in any letter case.',
      dropHere: 'Drop files here',
      pickFiles: 'Pick files',
      pickFolder: 'Pick a folder',
      run: 'Run',
      clear: 'Clear files',
      consoleHeading: '2. Run',
      keysHelp: 'The keys 1, 2 and Enter answer too.',
      resultsHeading: '3. Results',
      changesHeading: 'Changes to txtsetup.sif',
      missing: '(none)',
      loaded: (n) => `${n} bytes`,
      ignored: (names) => `Not used: ${names.join(', ')}`,
      needFiles: 'txtsetup.oem and txtsetup.sif are needed.',
      exited: (s) => `The run ended (exit status ${s}).`,
      created: 'created', changed: 'changed', unchanged: 'unchanged', deleted: 'deleted',
      download: 'Download',
      noChanges: 'txtsetup.sif was not changed.',
      summary: (i, r, d) => `${i} lines inserted, ${r} values replaced, ${d} lines removed.`,
      line: 'line', kind: 'change', before: 'before', after: 'after',
      inserted: 'inserted', replaced: 'replaced', removed: 'removed',
      beforeSections: '(before the first section)',
      runAgain: 'Run again (on the folder as this run left it)',
    },
  };

  const $ = (id) => document.getElementById(id);
  let language = 'ja';
  const t = (key, ...args) => {
    const text = TEXT[language][key];
    return typeof text === 'function' ? text(...args) : text;
  };

  // The setup folder: lower-case name -> {name as the user gave it, bytes}.
  // Windows matches names in any case, so one entry per lower-case name.
  const folder = new Map();
  let ignoredNames = [];
  let run = null;         // the run in progress
  let lastResult = null;  // what the last run changed

  function el(tag, attributes, ...children) {
    const node = document.createElement(tag);
    for (const [key, value] of Object.entries(attributes || {})) node.setAttribute(key, value);
    for (const child of children) node.append(child);
    return node;
  }

  function sameBytes(a, b) {
    if (!a || !b || a.length !== b.length) return false;
    for (let i = 0; i < a.length; i++) if (a[i] !== b[i]) return false;
    return true;
  }

  // ---- Files ----

  async function addFiles(files) {
    if (run !== null) return;  // the run's results will replace the folder
    ignoredNames = [];
    for (const file of files) {
      const lower = file.name.toLowerCase();
      if (!NAMES.includes(lower)) {
        ignoredNames.push(file.name);
        continue;
      }
      folder.set(lower, { name: file.name, bytes: new Uint8Array(await file.arrayBuffer()) });
    }
    // A folder pick brings every file of I386; listing them all helps nobody.
    if (ignoredNames.length > 8) ignoredNames = ignoredNames.slice(0, 8).concat(['...']);
    renderFiles();
  }

  function renderFiles() {
    const table = $('files');
    table.replaceChildren();
    for (const lower of NAMES) {
      const file = folder.get(lower);
      table.append(el('tr', {}, el('td', {}, file ? file.name : lower),
                      el('td', {}, file ? t('loaded', file.bytes.length) : t('missing'))));
    }
    $('ignored').textContent = ignoredNames.length ? t('ignored', ignoredNames) : '';
    const ready = folder.has(OEM) && folder.has(SETUP);
    $('run').disabled = !ready || run !== null;
    $('run').textContent = lastResult ? t('runAgain') : t('run');
    $('clear').disabled = run !== null;
    if (!ready && run === null) $('ignored').textContent += (ignoredNames.length ? ' ' : '') + t('needFiles');
  }

  // ---- The console ----

  const consoleView = $('console');
  let decoder = null;

  function showConsoleBytes(bytes) {
    consoleView.append(document.createTextNode(decoder.decode(bytes, { stream: true })));
    consoleView.scrollTop = consoleView.scrollHeight;
  }

  // What the user types shows as a terminal echoes it; it is not the tool's
  // output.
  function echo(text) {
    consoleView.append(el('span', { class: 'echo' }, text));
  }

  function answer(text) {
    if (run === null || run.ended) return;
    echo(text);
    for (const ch of text) run.input.push(ch.charCodeAt(0));
    deliverInput();
  }

  function deliverInput() {
    if (run.waiter && run.input.length) {
      const resolve = run.waiter;
      run.waiter = null;
      showWaiting(false);
      resolve(run.input.shift());
    }
  }

  function showWaiting(waiting) {
    for (const id of ['key-1', 'key-2', 'key-enter']) {
      $(id).disabled = run === null || run.ended;
      $(id).classList.toggle('waiting', waiting);
    }
  }

  // ---- The run ----

  function startRun() {
    if (run !== null || !folder.has(OEM) || !folder.has(SETUP)) return;
    const before = new Map([...folder].map(([lower, file]) => [lower, file.bytes]));
    run = { input: [], waiter: null, ended: false };
    const thisRun = run;
    decoder = new TextDecoder('shift_jis');
    consoleView.replaceChildren();
    $('results').hidden = true;
    renderFiles();
    showWaiting(false);
    // A new instance of the module for every run: a fresh file system and
    // fresh static state, as a new process has. The options object becomes
    // the module.
    const options = {
      noInitialRun: true,
      preRun: [(m) => {
        m.FS.mkdir(FOLDER);
        m.FS.chdir(FOLDER);
        for (const [lower, bytes] of before) m.FS.writeFile(lower, bytes);
      }],
      onConsoleBytes: showConsoleBytes,
      readConsoleChar: () => new Promise((resolve) => {
        thisRun.waiter = resolve;
        showWaiting(true);
        deliverInput();
      }),
      print: (text) => console.log(text),
      printErr: (text) => console.warn(text),
    };
    // The tool ends with exit(), which throws ExitStatus from inside an
    // awaited read. Run as an async ccall, that settles this promise; run
    // as the module's own main, it escaped as an unhandled rejection, which
    // Firefox reports as an error even when the page cancels the event.
    createOem2sif(options)
      .then((module) => module.ccall('main', 'number', ['number', 'number'], [0, 0], { async: true }))
      .then((status) => finishRun(options, status, before), (error) => {
        if (error && error.name === 'ExitStatus') finishRun(options, error.status, before);
        else if (!thisRun.ended) console.error(error);
      });
  }

  function finishRun(module, status, before) {
    run.ended = true;
    const after = new Map();
    for (const lower of NAMES) {
      const path = `${FOLDER}/${lower}`;
      if (module.FS.analyzePath(path).exists) after.set(lower, module.FS.readFile(path));
    }
    const files = [];
    for (const lower of NAMES) {
      const old = before.get(lower);
      const now = after.get(lower);
      if (!old && !now) continue;
      const state = !old ? 'created' : !now ? 'deleted' : sameBytes(old, now) ? 'unchanged' : 'changed';
      const name = folder.has(lower) ? folder.get(lower).name : lower;
      files.push({ name, state, bytes: now });
      if (now) folder.set(lower, { name, bytes: now });
      else folder.delete(lower);
    }
    lastResult = { status, files, oldSetup: before.get(SETUP), newSetup: after.get(SETUP) };
    run = null;
    showWaiting(false);
    renderFiles();
    renderResults();
  }

  // ---- Results ----

  function renderResults() {
    if (!lastResult) return;
    $('results').hidden = false;
    $('outcome').textContent = t('exited', lastResult.status);
    const table = $('downloads');
    table.replaceChildren();
    for (const file of lastResult.files) {
      const row = el('tr', { 'data-state': file.state }, el('td', {}, file.name), el('td', {}, t(file.state)));
      const cell = el('td', {});
      if (file.state === 'created' || file.state === 'changed') {
        const link = el('a', { download: file.name, class: 'button download', 'data-file': file.name.toLowerCase() },
                        t('download'));
        link.href = URL.createObjectURL(new Blob([file.bytes], { type: 'application/octet-stream' }));
        cell.append(link);
      }
      row.append(cell);
      table.append(row);
    }
    renderChanges(lastResult.oldSetup, lastResult.newSetup);
  }

  // Lines of a setup file as text, without their line ends (CR LF, LF or CR).
  function lines(bytes) {
    if (!bytes || bytes.length === 0) return [];
    const text = new TextDecoder('shift_jis').decode(bytes);
    const list = text.split(/\r\n|\n|\r/);
    if (list[list.length - 1] === '') list.pop();
    return list;
  }

  function sectionOf(line) {
    const match = /^[ \t\x1a]*\[([^\]]*)/.exec(line);
    return match ? match[1].trim() : null;
  }

  function keyOf(line) {
    const trimmed = line.replace(/^[ \t\x1a]+/, '');
    if (trimmed.startsWith(';') || trimmed.startsWith('#')) return null;
    const eq = line.indexOf('=');
    return eq < 0 ? null : line.slice(0, eq).trim().toLowerCase();
  }

  function valueOf(line) {
    return line.slice(line.indexOf('=') + 1).trim();
  }

  // The section each line is in, by line index.
  function sections(list) {
    let current = '';
    return list.map((line) => {
      const name = sectionOf(line);
      if (name !== null) current = name;
      return current;
    });
  }

  // Groups the line diff into rows per section: a removed and an added
  // line with the same key in the same section are one replaced value.
  function changeRows(oldLines, newLines) {
    const oldSections = sections(oldLines);
    const newSections = sections(newLines);
    const parts = Diff.diffArrays(oldLines, newLines);
    const rows = [];
    let oldIndex = 0;
    let newIndex = 0;
    for (let p = 0; p < parts.length; p++) {
      const part = parts[p];
      if (!part.added && !part.removed) {
        oldIndex += part.count;
        newIndex += part.count;
        continue;
      }
      // One change: the removed lines, then the added lines, as the diff
      // gives them.
      const removed = [];
      const added = [];
      for (; p < parts.length && (parts[p].added || parts[p].removed); p++) {
        for (const line of parts[p].value) {
          if (parts[p].removed) removed.push({ line, index: oldIndex++, section: oldSections[oldIndex - 1] });
          else added.push({ line, index: newIndex++, section: newSections[newIndex - 1] });
        }
      }
      p--;
      for (const add of added) {
        const key = keyOf(add.line);
        const match = key === null ? -1 : removed.findIndex(
          (r) => !r.used && r.section.toLowerCase() === add.section.toLowerCase() && keyOf(r.line) === key);
        if (match >= 0) {
          removed[match].used = true;
          rows.push({ kind: 'replaced', section: add.section, line: add.index + 1, key: add.line.slice(0, add.line.indexOf('=')).trim(),
                      old: valueOf(removed[match].line), now: valueOf(add.line) });
        } else {
          rows.push({ kind: 'inserted', section: add.section, line: add.index + 1, now: add.line });
        }
      }
      for (const r of removed) {
        if (!r.used) rows.push({ kind: 'removed', section: r.section, line: null, old: r.line });
      }
    }
    return rows;
  }

  // 0x1A (the end-of-file byte) and other control bytes, made visible.
  const visible = (text) => text.replace(/[\x00-\x08\x0b-\x1f]/g, (c) => String.fromCharCode(0x2400 + c.charCodeAt(0)));

  function renderChanges(oldBytes, newBytes) {
    const box = $('changes');
    box.replaceChildren();
    const rows = changeRows(lines(oldBytes), lines(newBytes));
    const count = (kind) => rows.filter((r) => r.kind === kind).length;
    $('change-summary').textContent = rows.length
      ? t('summary', count('inserted'), count('replaced'), count('removed')) : t('noChanges');
    const bySection = new Map();
    for (const row of rows) {
      const key = row.section.toLowerCase();
      if (!bySection.has(key)) bySection.set(key, { name: row.section, rows: [] });
      bySection.get(key).rows.push(row);
    }
    for (const { name, rows: sectionRows } of bySection.values()) {
      box.append(el('h3', {}, name ? `[${name}]` : t('beforeSections')));
      const table = el('table', { class: 'changes' },
        el('tr', {}, el('th', {}, t('line')), el('th', {}, t('kind')), el('th', {}, t('before')), el('th', {}, t('after'))));
      for (const row of sectionRows) {
        const old = row.kind === 'replaced' ? `${row.key} = ${row.old}` : row.old || '';
        const now = row.kind === 'replaced' ? `${row.key} = ${row.now}` : row.now || '';
        table.append(el('tr', { class: row.kind },
          el('td', { class: 'line' }, row.line === null ? '' : String(row.line)),
          el('td', { class: 'kind' }, t(row.kind)),
          el('td', { class: 'old' }, visible(old)),
          el('td', { class: 'new' }, visible(now))));
      }
      box.append(table);
    }
  }

  // ---- Language ----

  function applyLanguage() {
    document.documentElement.lang = language;
    for (const node of document.querySelectorAll('[data-t]')) node.textContent = t(node.dataset.t);
    $('language').textContent = language === 'ja' ? 'English' : '日本語';
    $('language').lang = language === 'ja' ? 'en' : 'ja';
    renderFiles();
    renderResults();
  }

  // ---- Wiring ----

  $('language').addEventListener('click', () => {
    language = language === 'ja' ? 'en' : 'ja';
    applyLanguage();
  });
  for (const id of ['pick-files', 'pick-folder']) {
    $(id).addEventListener('change', async (event) => {
      await addFiles(event.target.files);
      event.target.value = '';
    });
  }
  const drop = $('drop');
  drop.addEventListener('dragover', (event) => {
    event.preventDefault();
    drop.classList.add('over');
  });
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', (event) => {
    event.preventDefault();
    drop.classList.remove('over');
    addFiles(event.dataTransfer.files);
  });
  // A file dropped beside the box must not make the browser leave the page.
  window.addEventListener('dragover', (event) => event.preventDefault());
  window.addEventListener('drop', (event) => event.preventDefault());
  $('run').addEventListener('click', startRun);
  $('clear').addEventListener('click', () => {
    folder.clear();
    ignoredNames = [];
    lastResult = null;
    $('results').hidden = true;
    renderFiles();
  });
  $('key-1').addEventListener('click', () => answer('1\n'));
  $('key-2').addEventListener('click', () => answer('2\n'));
  $('key-enter').addEventListener('click', () => answer('\n'));
  document.addEventListener('keydown', (event) => {
    if (run === null || event.ctrlKey || event.altKey || event.metaKey) return;
    const text = { 1: '1\n', 2: '2\n', Enter: '\n' }[event.key];
    if (text === undefined) return;
    event.preventDefault();
    answer(text);
  });

  applyLanguage();
})();
