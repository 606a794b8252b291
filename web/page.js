// The page of oem2sif: takes the files of a setup folder, runs the tool on
// them in a worker (an in-memory file system there), and shows and offers
// what it changed, with what the user must still do. Nothing leaves the
// page.
'use strict';
(function () {
  const OEM = 'txtsetup.oem';
  const SETUP = 'txtsetup.sif';
  const BACKUP = 'txtsetup.sif.orig';
  const NAMES = [OEM, SETUP, BACKUP];
  // Rows of the change view shown per section before "show all".
  const ROWS_SHOWN = 100;
  // A big pick is read in slices of this many milliseconds, the page
  // showing how far it got in between.
  const READ_SLICE = 50;

  const TEXT = {
    ja: {
      tagline: 'txtsetup.oem の SCSI ドライバーを txtsetup.sif に書き込みます (Windows 2000 / XP のセットアップ用)。',
      offline: 'このページは何も送信しません。ファイルはこのブラウザーの中だけで処理されます。',
      filesHeading: '1. セットアップフォルダーのファイル',
      filesHelp: 'I386 フォルダー (または CD のルート) を選ぶかドロップし、ドライバーの txtsetup.oem も渡してください (txtsetup.oem を I386 にコピーしてあれば、フォルダーだけで足ります)。前の実行の txtsetup.sif.orig は、txtsetup.sif と同じフォルダーにあれば使います。名前の大文字・小文字は区別しません。',
      dropHere: 'フォルダーかファイルをここにドロップ',
      pickFiles: 'ファイルを選ぶ',
      pickFolder: 'フォルダーを選ぶ',
      reading: (n) => `読み込んでいます… ${n} ファイル`,
      waitingForBrowser: 'フォルダーを読み込んでいます。大きなフォルダーでは、ブラウザーが数秒かかることがあります…',
      read: (n) => `${n} ファイルを読み込みました。使うファイルは下の表のとおりです。`,
      name: 'ファイル', used: '使うファイル (選んだフォルダーの中の場所)',
      none: '(なし)',
      noBackup: '(なし。実行すると作られます)',
      bytes: (n) => `${n} バイト`,
      fromRun: '前の実行の結果',
      sameFolder: 'txtsetup.sif と同じフォルダー',
      choose: (name, n) => `${name} が ${n} 個あります。使うものを選んでください:`,
      missing: (names) => `${names.join(' と ')} がありません。`,
      mustChoose: (names) => `${names.join(' と ')} をどれにするか選んでください。`,
      run: '実行',
      runAgain: 'もう一度実行 (この結果のフォルダーで)',
      clear: 'ファイルをクリア',
      consoleHeading: '2. 実行',
      key1: '1: Windows 2000',
      key2: '2: Windows XP',
      keyQuit: 'Enter: 何もせずに終了',
      keyEnd: 'Enter: 終了',
      cancel: '中止',
      running: '実行中…',
      waitingMenu: 'ボタンかキー (1、2、Enter) で答えてください。',
      waitingEnd: 'Enter で終わります。',
      cancelled: '中止しました。ファイルは何も変わっていません。',
      failed: (message) => `実行できませんでした: ${message}`,
      resultsHeading: '3. 結果',
      exited: (s) => `終了しました (終了コード ${s})。`,
      created: '作成', changed: '変更', unchanged: '変更なし', deleted: '削除',
      download: 'ダウンロード',
      nextHeading: '次にすること',
      folderLabel: (folder) => folder ? `「${folder}」フォルダー` : 'セットアップフォルダー (I386)',
      stepDownload: (names) => `「ダウンロード」で ${names.join(' と ')} を保存します。`,
      stepReplace: (folder) => `保存した txtsetup.sif で、${folder} の txtsetup.sif を置き換えます。ブラウザーが「txtsetup (1).sif」のような名前で保存したときは、名前を txtsetup.sif に直してください。`,
      stepBackup: (folder) => `txtsetup.sif.orig (元の txtsetup.sif) も ${folder} に置きます。次に実行するときも、これで元のファイルが残ります。CD には入れなくてかまいません。`,
      stepDrivers: (folder) => `下の表のドライバーファイルを ${folder} にコピーします。忘れると、テキストモードのセットアップが「ファイルが見つかりません」で止まります。`,
      stepNothing: 'txtsetup.sif は変わっていません。ダウンロードするものはありません。',
      driversHeading: 'ドライバーファイル ([SCSI.Load] に書いたもの)',
      service: 'サービス', description: '説明', driverFile: 'ファイル', inFolder: 'セットアップフォルダーに',
      present: (path) => `あります (${path})`,
      compressed: (path) => `圧縮した形であります (${path})`,
      absent: 'ありません。コピーしてください。',
      absentFrom: (path) => `ありません。ドライバーのフォルダーの ${path} をコピーしてください。`,
      unknown: '確かめられません (フォルダーを選ぶと確かめます)。',
      changesHeading: 'txtsetup.sif の変更',
      noChanges: 'txtsetup.sif は変更されていません。',
      comparing: '比べています…',
      changesFailed: (message) => `変更点を表示できませんでした: ${message}`,
      summary: (i, r, d) => `挿入 ${i} 行、値の置き換え ${r} 件、削除 ${d} 行。`,
      line: '行', kind: '種類', before: '変更前', after: '変更後',
      inserted: '挿入', replaced: '置き換え', removed: '削除',
      beforeSections: '(最初のセクションより前)',
      showAll: (n) => `残りの ${n} 行も表示`,
    },
    en: {
      tagline: 'Writes the SCSI drivers of txtsetup.oem into txtsetup.sif (for Windows 2000 / XP setup).',
      offline: 'This page sends nothing anywhere: your files are processed inside this browser only.',
      filesHeading: '1. Files of the setup folder',
      filesHelp: 'Pick or drop the I386 folder (or the CD\'s root), and give the driver\'s txtsetup.oem too (if you copied txtsetup.oem into I386, the folder is enough). A txtsetup.sif.orig of an earlier run is used when it is in the folder of txtsetup.sif. Names match in any letter case.',
      dropHere: 'Drop a folder or files here',
      pickFiles: 'Pick files',
      pickFolder: 'Pick a folder',
      reading: (n) => `Reading… ${n} files`,
      waitingForBrowser: 'Reading the folder. For a big folder the browser may take a few seconds…',
      read: (n) => `Read ${n} files; the table below shows the ones used.`,
      name: 'file', used: 'used file (where it is in what you picked)',
      none: '(none)',
      noBackup: '(none; the run makes it)',
      bytes: (n) => `${n} bytes`,
      fromRun: 'as the last run left it',
      sameFolder: 'in the folder of txtsetup.sif',
      choose: (name, n) => `There are ${n} files named ${name}. Choose the one to use:`,
      missing: (names) => `${names.join(' and ')} ${names.length > 1 ? 'are' : 'is'} missing.`,
      mustChoose: (names) => `Choose which ${names.join(' and ')} to use.`,
      run: 'Run',
      runAgain: 'Run again (on the folder as this run left it)',
      clear: 'Clear files',
      consoleHeading: '2. Run',
      key1: '1: Windows 2000',
      key2: '2: Windows XP',
      keyQuit: 'Enter: quit, changing nothing',
      keyEnd: 'Enter: finish',
      cancel: 'Cancel',
      running: 'Running…',
      waitingMenu: 'Answer with a button or a key (1, 2, Enter).',
      waitingEnd: 'Enter finishes.',
      cancelled: 'Cancelled. No file was changed.',
      failed: (message) => `The run failed: ${message}`,
      resultsHeading: '3. Results',
      exited: (s) => `The run ended (exit status ${s}).`,
      created: 'created', changed: 'changed', unchanged: 'unchanged', deleted: 'deleted',
      download: 'Download',
      nextHeading: 'What to do next',
      folderLabel: (folder) => folder ? `the folder "${folder}"` : 'the setup folder (I386)',
      stepDownload: (names) => `Save ${names.join(' and ')} with "Download".`,
      stepReplace: (folder) => `Replace the txtsetup.sif in ${folder} with the saved one. If the browser saved it under another name, such as "txtsetup (1).sif", rename it to txtsetup.sif.`,
      stepBackup: (folder) => `Put txtsetup.sif.orig (the original txtsetup.sif) into ${folder} too, so that later runs keep the original. It need not go on the CD.`,
      stepDrivers: (folder) => `Copy the driver files in the table below into ${folder}. Without them text-mode setup stops with "file not found".`,
      stepNothing: 'txtsetup.sif did not change: there is nothing to download.',
      driversHeading: 'Driver files (as written in [SCSI.Load])',
      service: 'service', description: 'description', driverFile: 'file', inFolder: 'in the setup folder',
      present: (path) => `present (${path})`,
      compressed: (path) => `present, compressed (${path})`,
      absent: 'missing: copy it there.',
      absentFrom: (path) => `missing: copy ${path} from the driver's folder.`,
      unknown: 'cannot tell (pick the folder to have it checked).',
      changesHeading: 'Changes to txtsetup.sif',
      noChanges: 'txtsetup.sif was not changed.',
      comparing: 'Comparing…',
      changesFailed: (message) => `The changes could not be shown: ${message}`,
      summary: (i, r, d) => `${i} lines inserted, ${r} values replaced, ${d} lines removed.`,
      line: 'line', kind: 'change', before: 'before', after: 'after',
      inserted: 'inserted', replaced: 'replaced', removed: 'removed',
      beforeSections: '(before the first section)',
      showAll: (n) => `Show the other ${n} rows`,
    },
  };

  const $ = (id) => document.getElementById(id);
  let language = 'ja';
  const number = (n) => n.toLocaleString(language === 'ja' ? 'ja-JP' : 'en-US');
  const t = (key, ...args) => {
    const text = TEXT[language][key];
    return typeof text === 'function' ? text(...args) : text;
  };

  function el(tag, attributes, ...children) {
    const node = document.createElement(tag);
    for (const [key, value] of Object.entries(attributes || {})) {
      if (value !== false && value !== undefined) node.setAttribute(key, value === true ? '' : value);
    }
    for (const child of children) if (child !== null) node.append(child);
    return node;
  }
  const nextTask = () => new Promise((resolve) => setTimeout(resolve, 0));

  // ---- The pick ----

  // Every file given, by its path within what was picked or dropped
  // ("I386/txtsetup.sif"; a file given alone is its name, and giving it
  // again replaces it). inFolder: it came with its folder, so the folder's
  // other files are known too.
  const entries = new Map();
  // Lower-case name -> the path the user chose among several.
  const choices = new Map();
  let pickState = null;  // {waiting}, {reading: count} or {read: count}
  let reading = false;

  // File names match in any ASCII letter case, as the tool's own file
  // operations match them (platform/platform.h).
  const foldName = (name) => name.replace(/[A-Z]+/g, (letters) => letters.toLowerCase());

  function entryOf(path, file, inFolder) {
    const slash = path.lastIndexOf('/');
    return { path, folder: path.slice(0, slash + 1), name: file.name, lower: foldName(file.name),
             size: file.size, file, bytes: null, inFolder };
  }

  async function addEntries(source) {
    if (reading || run !== null) return;
    reading = true;
    let count = 0;
    pickState = { reading: 0 };
    renderPick();
    await nextTask();
    let slice = performance.now();
    try {
      for await (const { path, file, inFolder } of source) {
        const entry = entryOf(path, file, inFolder);
        entries.set(entry.path, entry);
        count++;
        if (performance.now() - slice > READ_SLICE) {
          pickState = { reading: count };
          renderPick();
          await nextTask();
          slice = performance.now();
        }
      }
    } finally {
      reading = false;
      pickState = { read: count };
      renderPick();
      if (lastResult) renderResults();
    }
  }

  function* pickedFiles(fileList) {
    for (const file of fileList) {
      const path = file.webkitRelativePath || file.name;
      yield { path, file, inFolder: path.includes('/') };
    }
  }

  // A dropped folder, walked through; its files come with their paths.
  async function* droppedFiles(roots) {
    for (const root of roots) yield* walk(root);
  }

  async function* walk(entry) {
    if (entry.isFile) {
      const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
      const path = entry.fullPath.replace(/^\//, '');
      yield { path, file, inFolder: path.includes('/') };
      return;
    }
    const reader = entry.createReader();
    for (;;) {
      const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
      if (batch.length === 0) return;
      for (const child of batch) yield* walk(child);
    }
  }

  // What a run would use, per name: {entry, list, preferred}. txtsetup.sif
  // is the one file or the user's choice; txtsetup.sif.orig must be in its
  // folder; of several txtsetup.oem, the one in that folder is preferred.
  function resolve() {
    const candidates = (lower) => [...entries.values()].filter((e) => e.lower === lower);
    const pick = (lower, preferredFolder) => {
      const list = candidates(lower);
      if (list.length <= 1) return { entry: list[0] || null, list, preferred: null };
      const near = list.filter((e) => e.folder === preferredFolder);
      const preferred = near.length === 1 ? near[0] : null;
      return { entry: list.find((e) => e.path === choices.get(lower)) || preferred, list, preferred };
    };
    const setup = pick(SETUP, null);
    const folder = setup.entry ? setup.entry.folder : null;
    const backup = candidates(BACKUP).find((e) => e.folder === folder) || null;
    return { [OEM]: pick(OEM, folder), [SETUP]: setup, [BACKUP]: { entry: backup, list: backup ? [backup] : [], preferred: null } };
  }

  function renderPick() {
    const status = $('pick-status');
    if (pickState === null) status.textContent = '';
    else if ('waiting' in pickState) status.textContent = t('waitingForBrowser');
    else if ('reading' in pickState) status.textContent = t('reading', number(pickState.reading));
    else if ('read' in pickState) status.textContent = t('read', number(pickState.read));
    const used = resolve();
    const table = $('files');
    table.replaceChildren(el('tr', {}, el('th', { scope: 'col' }, t('name')), el('th', { scope: 'col' }, t('used'))));
    for (const lower of NAMES) {
      const { entry, list, preferred } = used[lower];
      const cell = el('td', {});
      if (list.length > 1) {
        const group = el('fieldset', { class: 'choice' }, el('legend', {}, t('choose', lower, list.length)));
        for (const candidate of list) {
          const radio = el('input', { type: 'radio', name: `choose-${lower}`, value: candidate.path, checked: candidate === entry });
          radio.addEventListener('change', () => {
            choices.set(lower, candidate.path);
            renderPick();
          });
          group.append(el('label', {}, radio, describe(candidate),
                          candidate === preferred ? el('span', { class: 'tag' }, t('sameFolder')) : null));
        }
        cell.append(group);
      } else {
        cell.append(entry ? describe(entry) : t(lower === BACKUP && used[SETUP].entry ? 'noBackup' : 'none'));
      }
      table.append(el('tr', { 'data-name': lower }, el('th', { scope: 'row' }, lower), cell));
    }
    const missing = [OEM, SETUP].filter((n) => used[n].list.length === 0);
    const unchosen = NAMES.filter((n) => used[n].list.length > 1 && !used[n].entry);
    const problem = $('pick-problem');
    problem.textContent = [missing.length ? t('missing', missing) : '', unchosen.length ? t('mustChoose', unchosen) : ''].join(' ').trim();
    problem.classList.toggle('problem', entries.size > 0);
    $('run').disabled = run !== null || reading || !used[OEM].entry || !used[SETUP].entry;
    $('run').textContent = lastResult ? t('runAgain') : t('run');
    $('clear').disabled = run !== null || reading;
  }

  function describe(entry) {
    return `${entry.path} (${t('bytes', number(entry.size))}${entry.bytes ? `, ${t('fromRun')}` : ''})`;
  }

  // ---- The run ----

  const CANCELLED = new Error('cancelled');

  // Runs the tool once, in a new worker, on `files` ([lower-case name,
  // bytes]) with `typedAhead` already typed. `result` settles when the tool
  // ends, with {status, files: [[name, bytes, state]], drivers, changes},
  // where `changes` is a promise of the rows of the change view.
  function runTool(files, typedAhead, { onConsole, onWaiting }) {
    // The worker is made of the source the page carries; its URL is taken
    // when the worker is made, so it can go at once.
    const url = URL.createObjectURL(new Blob([$('worker-source').textContent], { type: 'text/javascript' }));
    const worker = new Worker(url);
    URL.revokeObjectURL(url);
    let settle;
    let settleChanges;
    const result = new Promise((resolve, reject) => { settle = { resolve, reject }; });
    const changes = new Promise((resolve, reject) => { settleChanges = { resolve, reject }; });
    changes.catch(() => {});  // a cancelled run has none, and no one waits for them
    const end = (error) => {
      worker.terminate();
      settle.reject(error);
      settleChanges.reject(error);
    };
    worker.onmessage = (event) => {
      const message = event.data;
      if (message.type === 'console') onConsole(message.bytes);
      if (message.type === 'waiting') onWaiting();
      if (message.type === 'end') settle.resolve({ ...message, changes });
      if (message.type === 'changes') {
        worker.terminate();
        settleChanges.resolve(message.rows);
      }
      if (message.type === 'error') end(new Error(message.message));
    };
    worker.onerror = (event) => {
      event.preventDefault();
      end(new Error(event.message || 'worker'));
    };
    const codes = (text) => [...text].map((c) => c.charCodeAt(0));
    worker.postMessage({ type: 'run', files, input: codes(typedAhead) });
    return {
      result,
      answer: (text) => worker.postMessage({ type: 'input', chars: codes(text) }),
      cancel: () => end(CANCELLED),
    };
  }

  let run = null;         // the run in progress
  let lastResult = null;  // what the last run did
  const consoleView = $('console');

  function note(text) {
    consoleView.append(el('span', { class: 'page-note' }, `${consoleView.textContent ? '\n' : ''}${text}\n`));
    consoleView.scrollTop = consoleView.scrollHeight;
  }

  async function startRun() {
    const used = resolve();
    if (run !== null || reading || !used[OEM].entry || !used[SETUP].entry) return;
    const usedEntries = Object.fromEntries(NAMES.map((n) => [n, used[n].entry]));
    const thisRun = { phase: 'menu', waiting: false, used: usedEntries, decoder: new TextDecoder('shift_jis') };
    run = thisRun;
    forgetResult();
    consoleView.replaceChildren();
    renderPick();
    renderKeys();
    $('run-view').scrollIntoView({ block: 'start' });
    let files;
    try {
      files = [];
      for (const lower of NAMES) {
        const entry = usedEntries[lower];
        if (entry) files.push([lower, entry.bytes || new Uint8Array(await entry.file.arrayBuffer())]);
      }
    } catch (error) {
      failRun(thisRun, error);
      return;
    }
    if (run !== thisRun) return;
    thisRun.tool = runTool(files, '', {
      onConsole: (bytes) => {
        const atEnd = consoleView.scrollTop + consoleView.clientHeight >= consoleView.scrollHeight - 8;
        consoleView.append(thisRun.decoder.decode(bytes, { stream: true }));
        if (atEnd) consoleView.scrollTop = consoleView.scrollHeight;
      },
      onWaiting: () => {
        thisRun.waiting = true;
        renderKeys();
        $('keys').scrollIntoView({ block: 'nearest' });
      },
    });
    thisRun.tool.result.then((result) => finishRun(thisRun, result), (error) => failRun(thisRun, error));
  }

  function failRun(thisRun, error) {
    if (run !== thisRun) return;
    run = null;
    if (error !== CANCELLED) {
      console.error(error);
      note(t('failed', error.message));
    }
    renderPick();
    renderKeys();
  }

  function cancelRun() {
    if (run === null) return;
    const thisRun = run;
    if (thisRun.tool) thisRun.tool.cancel();
    run = null;
    note(t('cancelled'));
    renderPick();
    renderKeys();
  }

  // What the user types shows as a terminal echoes it; it is not the
  // tool's output.
  function answer(text) {
    if (run === null || !run.waiting) return;
    run.waiting = false;
    run.phase = 'end';
    consoleView.append(el('span', { class: 'echo' }, text));
    run.tool.answer(text);
    renderKeys();
  }

  // The run's files replace those it was given (as the tool leaves the
  // folder); a file it made joins the folder of txtsetup.sif.
  function finishRun(thisRun, result) {
    if (run !== thisRun) return;
    run = null;
    const setup = thisRun.used[SETUP];
    const files = [];
    const order = ([a], [b]) => NAMES.indexOf(a) - NAMES.indexOf(b);
    for (const [lower, bytes, state] of result.files.filter(([name]) => NAMES.includes(name)).sort(order)) {
      let entry = thisRun.used[lower];
      if (state === 'created') {
        entry = { path: setup.folder + lower, folder: setup.folder, name: lower, lower, size: 0, file: null, inFolder: setup.inFolder };
        entries.set(entry.path, entry);
      }
      if (state === 'deleted') entries.delete(entry.path);
      else if (state !== 'unchanged') Object.assign(entry, { bytes, size: bytes.length });
      files.push({ name: entry.name, lower, state, bytes, url: null });
    }
    lastResult = { status: result.status, files, changes: null, changesFailed: null, drivers: result.drivers,
                   setup, oem: thisRun.used[OEM], rowsShown: new Map() };
    const shown = lastResult;
    result.changes.then((rows) => {
      shown.changes = rows;
      if (lastResult === shown) renderChanges(shown);
    }, (error) => {
      console.error(error);
      shown.changesFailed = error.message;
      if (lastResult === shown) renderChanges(shown);
    });
    renderPick();
    renderKeys();
    renderResults();
    $('results').scrollIntoView({ block: 'start' });
    $('results-heading').focus({ preventScroll: true });
  }

  function forgetResult() {
    if (lastResult) for (const file of lastResult.files) if (file.url) URL.revokeObjectURL(file.url);
    lastResult = null;
    $('results').hidden = true;
  }

  function renderKeys() {
    const waiting = run !== null && run.waiting;
    const keys = [['key-1', 'key1', run && run.phase === 'menu'], ['key-2', 'key2', run && run.phase === 'menu'],
                  ['key-enter', run && run.phase === 'end' ? 'keyEnd' : 'keyQuit', true]];
    for (const [id, label, allowed] of keys) {
      $(id).textContent = t(label);
      $(id).disabled = !waiting || !allowed;
      $(id).classList.toggle('waiting', waiting && Boolean(allowed));
    }
    $('cancel').disabled = run === null;
    consoleView.classList.toggle('running', run !== null);
    $('run-status').textContent = run === null ? '' : !waiting ? t('running') : t(run.phase === 'menu' ? 'waitingMenu' : 'waitingEnd');
  }

  // ---- Results ----

  function renderResults() {
    if (!lastResult) return;
    const result = lastResult;
    $('results').hidden = false;
    $('outcome').textContent = t('exited', result.status);
    const table = $('downloads');
    table.replaceChildren();
    for (const file of result.files) {
      const cell = el('td', {});
      if (file.state === 'created' || file.state === 'changed') {
        if (!file.url) file.url = URL.createObjectURL(new Blob([file.bytes], { type: 'application/octet-stream' }));
        cell.append(el('a', { href: file.url, download: file.name, class: 'button download', 'data-file': file.lower },
                       `${t('download')}: ${file.name}`));
      }
      table.append(el('tr', { 'data-state': file.state }, el('td', {}, file.name), el('td', {}, t(file.state)), cell));
    }
    renderNextSteps(result);
    renderDrivers(result);
    renderChanges(result);
  }

  function renderNextSteps(result) {
    const offered = result.files.filter((f) => f.state === 'created' || f.state === 'changed');
    const folder = t('folderLabel', result.setup.folder.replace(/\/$/, ''));
    const steps = [];
    if (offered.length === 0) steps.push(t('stepNothing'));
    else {
      steps.push(t('stepDownload', offered.map((f) => f.name)));
      if (offered.some((f) => f.lower === SETUP)) steps.push(t('stepReplace', folder));
      if (offered.some((f) => f.lower === BACKUP)) steps.push(t('stepBackup', folder));
    }
    if (result.drivers.length) steps.push(t('stepDrivers', folder));
    $('next-steps').replaceChildren(...steps.map((step) => el('li', {}, step)));
  }

  // Setup reads a driver file as it is or compressed, with the last letter
  // of its extension made "_" (a short or missing extension gets one).
  function compressedName(name) {
    const dot = name.lastIndexOf('.');
    if (dot < 0) return `${name}._`;
    return name.length - dot - 1 < 3 ? `${name}_` : `${name.slice(0, -1)}_`;
  }

  function findIn(folder, name) {
    const lower = foldName(name);
    for (const entry of entries.values()) if (entry.folder === folder && entry.lower === lower) return entry;
    return null;
  }

  function renderDrivers(result) {
    $('driver-view').hidden = result.drivers.length === 0;
    const table = $('drivers');
    table.replaceChildren(el('tr', {}, ...['service', 'description', 'driverFile', 'inFolder'].map((k) => el('th', { scope: 'col' }, t(k)))));
    for (const driver of result.drivers) {
      const { folder, inFolder } = result.setup;
      const plain = inFolder && findIn(folder, driver.file);
      const packed = inFolder && !plain && findIn(folder, compressedName(driver.file));
      const source = result.oem.inFolder && (findIn(result.oem.folder, driver.file) || findIn(result.oem.folder, compressedName(driver.file)));
      const state = !inFolder ? 'unknown' : plain ? 'present' : packed ? 'compressed' : 'absent';
      const text = plain ? t('present', plain.path) : packed ? t('compressed', packed.path)
        : state === 'absent' && source ? t('absentFrom', source.path) : t(state);
      table.append(el('tr', { 'data-state': state }, el('td', {}, driver.service), el('td', {}, driver.description),
                      el('td', { class: 'file' }, driver.file), el('td', { class: 'presence' }, text)));
    }
  }

  // 0x1A (the end-of-file byte) and other control bytes, made visible.
  const visible = (text) => text.replace(/[\x00-\x08\x0b-\x1f]/g, (c) => String.fromCharCode(0x2400 + c.charCodeAt(0)));

  function renderChanges(result) {
    const box = $('changes');
    box.replaceChildren();
    box.setAttribute('aria-busy', String(result.changes === null && !result.changesFailed));
    const rows = result.changes || [];
    if (result.changes === null) {
      $('change-summary').textContent = result.changesFailed ? t('changesFailed', result.changesFailed) : t('comparing');
      return;
    }
    const count = (kind) => rows.filter((r) => r.kind === kind).length;
    $('change-summary').textContent = rows.length
      ? t('summary', number(count('inserted')), number(count('replaced')), number(count('removed'))) : t('noChanges');
    const bySection = new Map();
    for (const row of rows) {
      if (!bySection.has(row.sectionMatch)) bySection.set(row.sectionMatch, { name: row.section, rows: [] });
      bySection.get(row.sectionMatch).rows.push(row);
    }
    for (const [match, { name, rows: sectionRows }] of bySection) {
      box.append(el('h3', {}, name ? `[${name}]` : t('beforeSections')));
      const table = el('table', { class: 'changes' },
        el('tr', {}, ...['line', 'kind', 'before', 'after'].map((k) => el('th', { scope: 'col' }, t(k)))));
      const shown = result.rowsShown.get(match) || ROWS_SHOWN;
      for (const row of sectionRows.slice(0, shown)) {
        const old = row.kind === 'replaced' ? `${row.key} = ${row.old}` : row.old || '';
        const now = row.kind === 'replaced' ? `${row.key} = ${row.now}` : row.now || '';
        table.append(el('tr', { class: row.kind },
          el('td', { class: 'line' }, row.line === null ? '' : String(row.line)),
          el('td', { class: 'kind' }, t(row.kind)),
          el('td', { class: 'old' }, visible(old)),
          el('td', { class: 'new' }, visible(now))));
      }
      box.append(table);
      if (sectionRows.length > shown) {
        const more = el('button', { type: 'button', class: 'more' }, t('showAll', number(sectionRows.length - shown)));
        more.addEventListener('click', () => {
          result.rowsShown.set(match, sectionRows.length);
          renderChanges(result);
        });
        box.append(more);
      }
    }
  }

  // ---- Language ----

  function applyLanguage() {
    document.documentElement.lang = language;
    for (const node of document.querySelectorAll('[data-t]')) node.textContent = t(node.dataset.t);
    $('language').textContent = language === 'ja' ? 'English' : '日本語';
    $('language').lang = language === 'ja' ? 'en' : 'ja';
    renderPick();
    renderKeys();
    renderResults();
  }

  // ---- Wiring ----

  $('language').addEventListener('click', () => {
    language = language === 'ja' ? 'en' : 'ja';
    applyLanguage();
  });
  for (const id of ['pick-files', 'pick-folder']) {
    const input = $(id);
    input.addEventListener('change', async () => {
      await addEntries(pickedFiles(input.files));
      input.value = '';
    });
  }
  // The browser lists a big folder before it tells the page anything.
  let stateBeforeDialog = null;
  $('pick-folder').addEventListener('click', () => {
    if (reading || run !== null) return;
    stateBeforeDialog = pickState;
    pickState = { waiting: true };
    renderPick();
  });
  $('pick-folder').addEventListener('cancel', () => {
    pickState = stateBeforeDialog;
    renderPick();
  });
  const drop = $('drop');
  drop.addEventListener('dragover', (event) => {
    event.preventDefault();
    drop.classList.add('over');
  });
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', (event) => {
    event.preventDefault();
    drop.classList.remove('over');
    // The items are readable only during the event.
    const items = [...event.dataTransfer.items].map((item) => item.webkitGetAsEntry && item.webkitGetAsEntry());
    if (items.length && items.every(Boolean)) addEntries(droppedFiles(items));
    else addEntries(pickedFiles(event.dataTransfer.files));
  });
  // A file dropped beside the box must not make the browser leave the page.
  window.addEventListener('dragover', (event) => event.preventDefault());
  window.addEventListener('drop', (event) => event.preventDefault());
  $('run').addEventListener('click', startRun);
  $('cancel').addEventListener('click', cancelRun);
  $('clear').addEventListener('click', () => {
    entries.clear();
    choices.clear();
    pickState = null;
    forgetResult();
    renderPick();
  });
  $('key-1').addEventListener('click', () => answer('1\n'));
  $('key-2').addEventListener('click', () => answer('2\n'));
  $('key-enter').addEventListener('click', () => answer('\n'));
  document.addEventListener('keydown', (event) => {
    if (run === null || !run.waiting || event.ctrlKey || event.altKey || event.metaKey) return;
    const text = run.phase === 'menu' ? { 1: '1\n', 2: '2\n', Enter: '\n' }[event.key] : { Enter: '\n' }[event.key];
    if (text === undefined) return;
    event.preventDefault();
    answer(text);
  });

  applyLanguage();
})();
