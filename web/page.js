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
  // Options of a driver shown before "more".
  const OPTIONS_SHOWN = 4;

  const TEXT = {
    ja: {
      tagline: 'txtsetup.oem の SCSI ドライバーを txtsetup.sif に書き込みます (Windows 2000 / XP のセットアップ用)。',
      offline: 'このページは何も送信しません。ファイルはこのブラウザーの中だけで処理されます。',
      filesHeading: '1. セットアップフォルダーとドライバー',
      filesHelp: 'I386 フォルダー (または CD のルート) と、ドライバーのフォルダー (txtsetup.oem とドライバーファイルのあるフォルダー。いくつでも、ドライバーパックのように入れ子でもかまいません) を選ぶかドロップしてください。見つかった txtsetup.oem がそれぞれ 1 つのドライバーです。組み込むものにチェックを付けると、上から順に 1 つずつ実行し、ドライバーファイルも集めます。前の実行の txtsetup.sif.orig は、txtsetup.sif と同じフォルダーにあれば使います。名前の大文字・小文字は区別しません。',
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
      chooseDrivers: (n) => n > 1 ? `ドライバー ${n} 個。組み込むものにチェックを付けてください (上から順に実行します):` : 'ドライバー:',
      readingDrivers: 'ドライバーの内容を読んでいます…',
      options: (n) => `${n} 個のオプション`,
      moreOptions: (n) => `ほか ${n} 個`,
      noOptions: '[scsi] にオプションがありません。',
      noDriverTicked: 'ドライバーにチェックを付けてください。',
      missing: (names) => `${names.join(' と ')} がありません。`,
      mustChoose: (names) => `${names.join(' と ')} をどれにするか選んでください。`,
      run: '実行',
      runDrivers: (n) => `実行 (${n} 個のドライバー)`,
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
      runOf: (i, n, path) => `── ${i} / ${n}: ${path} ──`,
      answered: (text) => `(同じ答え ${text} を入力します)`,
      failed: (message) => `実行できませんでした: ${message}`,
      resultsHeading: '3. 結果',
      exited: (s) => `終了しました (終了コード ${s})。`,
      exitedRuns: (n, s) => `${n} 個のドライバーを順に実行しました (終了コード ${s.join('、')})。`,
      conflictService: (a, b, services) => `${a} と ${b} は同じサービス ${services.join('、')} を書きます。後の ${b} の内容が残ります。`,
      conflictId: (a, b, ids) => `${a} と ${b} は、同じハードウェア ID を別のサービスに割り当てます: ${ids.join('、')}。後の ${b} の割り当てが残ります。`,
      missingHeading: '見つからないドライバーファイル',
      missingFile: (file, folder) => `${file}: ドライバーのフォルダー (${folder}) にもセットアップフォルダーにもありません。このままでは、テキストモードのセットアップが「ファイルが見つかりません」で止まります。ドライバーのフォルダーを、ドライバーファイルごと選び直してください。`,
      outputHeading: 'セットアップフォルダーに入れる',
      outputHelp: (folder) => `次のファイルを ${folder} に入れると、作業は終わりです。`,
      writeFolder: 'セットアップフォルダーに書き込む',
      saveZip: 'zip で保存 (セットアップフォルダーに展開して上書き)',
      outputSif: 'ドライバーを書き込んだ txtsetup.sif', outputBackup: '元の txtsetup.sif (バックアップ)',
      outputDriver: (path) => `ドライバーファイル (${path})`,
      zipping: 'zip を作っています…',
      pickSetupFolder: 'セットアップフォルダー (txtsetup.sif のあるフォルダー、または CD のルート) を選んでください…',
      noSetupHere: (name) => `「${name}」にも、その中の I386 にも txtsetup.sif がありません。書き込みませんでした。`,
      otherSetup: (name) => `「${name}」の txtsetup.sif は、実行に使ったものと違います。別のフォルダーか、その後に変わったファイルです。書き込みませんでした。`,
      planHeading: (name) => `「${name}」に書き込む内容`,
      planReplace: (name) => `${name} を置き換えます (途中で止まっても、元のファイルか新しいファイルのどちらかが残ります)。`,
      planCreate: (name) => `${name} を作ります。`,
      planKeepBackup: (name) => `${name} はすでにあるので、そのままにします (バックアップは置き換えません)。`,
      planSame: (name) => `${name} は同じ内容ですでにあります。`,
      planConflict: (name) => `${name} は別の内容ですでにあります。置き換える`,
      writeConfirm: '書き込む',
      writeCancel: 'やめる',
      writing: '書き込んでいます…',
      written: (name, names) => `「${name}」に書き込みました: ${names.join('、')}。`,
      writtenNothing: (name) => `「${name}」はすでにこの結果のとおりです。書き込むものはありません。`,
      writeFailed: (message) => `書き込めませんでした: ${message}`,
      created: '作成', changed: '変更', unchanged: '変更なし', deleted: '削除',
      download: 'ダウンロード',
      nextHeading: '次にすること',
      folderLabel: (folder) => folder ? `「${folder}」フォルダー` : 'セットアップフォルダー (I386)',
      stepWrite: (folder) => `いちばん簡単なのは「セットアップフォルダーに書き込む」です。${folder} を選ぶと、txtsetup.sif、txtsetup.sif.orig、ドライバーファイルをそこに書き込みます (Chrome と Edge)。`,
      stepZip: (folder) => `または「zip で保存」して、${folder} に展開し、上書きします。txtsetup.sif.orig がすでにあるときは、それは上書きしないでください (元のファイルのバックアップです)。`,
      stepByHand: '手で 1 つずつ入れるときは:',
      stepDownload: (names) => `「ダウンロード」で ${names.join(' と ')} を保存します。`,
      stepReplace: (folder) => `保存した txtsetup.sif で、${folder} の txtsetup.sif を置き換えます。ブラウザーが「txtsetup (1).sif」のような名前で保存したときは、名前を txtsetup.sif に直してください。`,
      stepBackup: (folder) => `txtsetup.sif.orig (元の txtsetup.sif) も ${folder} に置きます。次に実行するときも、これで元のファイルが残ります。CD には入れなくてかまいません。`,
      stepDrivers: (folder) => `下の表のドライバーファイルを ${folder} にコピーします。忘れると、テキストモードのセットアップが「ファイルが見つかりません」で止まります。`,
      stepMissing: '「見つからないドライバーファイル」は、どの方法でも手で入れる必要があります。',
      stepNothing: 'txtsetup.sif は変わっていません。ダウンロードするものはありません。',
      driversHeading: 'ドライバーファイル ([SCSI.Load] に書いたもの)',
      service: 'サービス', description: '説明', driverFile: 'ファイル', inFolder: 'セットアップフォルダーに', fromDriver: 'ドライバーのフォルダーから',
      taken: (path) => `入れます (${path})`,
      notTaken: '見つかりません',
      present: (path) => `あります (${path})`,
      compressed: (path) => `圧縮した形であります (${path})`,
      absent: 'ありません。コピーしてください。',
      absentTaken: 'ありません (結果に入れます)。',
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
      filesHeading: '1. The setup folder and the drivers',
      filesHelp: 'Pick or drop the I386 folder (or the CD\'s root) and the drivers\' folders (each with its txtsetup.oem and driver files; as many as you like, nested as in a driver pack). Every txtsetup.oem found is one driver. Tick the ones to integrate: they run one after another, top to bottom, and their driver files are collected. A txtsetup.sif.orig of an earlier run is used when it is in the folder of txtsetup.sif. Names match in any letter case.',
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
      chooseDrivers: (n) => n > 1 ? `${n} drivers. Tick the ones to integrate (they run top to bottom):` : 'Driver:',
      readingDrivers: 'Reading the drivers…',
      options: (n) => `${n} options`,
      moreOptions: (n) => `${n} more`,
      noOptions: 'No options in [scsi].',
      noDriverTicked: 'Tick a driver.',
      missing: (names) => `${names.join(' and ')} ${names.length > 1 ? 'are' : 'is'} missing.`,
      mustChoose: (names) => `Choose which ${names.join(' and ')} to use.`,
      run: 'Run',
      runDrivers: (n) => `Run (${n} drivers)`,
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
      runOf: (i, n, path) => `── ${i} of ${n}: ${path} ──`,
      answered: (text) => `(the same answer, ${text}, typed)`,
      failed: (message) => `The run failed: ${message}`,
      resultsHeading: '3. Results',
      exited: (s) => `The run ended (exit status ${s}).`,
      exitedRuns: (n, s) => `${n} drivers ran one after another (exit status ${s.join(', ')}).`,
      conflictService: (a, b, services) => `${a} and ${b} write the same service ${services.join(', ')}. The entries of ${b}, the later, stay.`,
      conflictId: (a, b, ids) => `${a} and ${b} map the same hardware ids to different services: ${ids.join(', ')}. The mapping of ${b}, the later, stays.`,
      missingHeading: 'Driver files not found',
      missingFile: (file, folder) => `${file}: neither in the driver's folder (${folder}) nor in the setup folder. Without it text-mode setup stops with "file not found". Pick the driver's folder with its driver files.`,
      outputHeading: 'Into the setup folder',
      outputHelp: (folder) => `Put these files into ${folder}, and you are done.`,
      writeFolder: 'Write into the setup folder',
      saveZip: 'Save as a zip (extract it over the setup folder)',
      outputSif: 'txtsetup.sif with the drivers', outputBackup: 'the original txtsetup.sif (backup)',
      outputDriver: (path) => `driver file (${path})`,
      zipping: 'Making the zip…',
      pickSetupFolder: 'Pick the setup folder (the folder of txtsetup.sif, or the CD\'s root)…',
      noSetupHere: (name) => `Neither "${name}" nor an I386 in it holds txtsetup.sif. Nothing was written.`,
      otherSetup: (name) => `The txtsetup.sif in "${name}" is not the one the run started from: another folder, or the file changed since. Nothing was written.`,
      planHeading: (name) => `What goes into "${name}"`,
      planReplace: (name) => `${name} is replaced (if it stops halfway, the old file or the new one is there, never a torn one).`,
      planCreate: (name) => `${name} is created.`,
      planKeepBackup: (name) => `${name} exists and stays as it is (a backup is never replaced).`,
      planSame: (name) => `${name} is there already, with the same bytes.`,
      planConflict: (name) => `${name} is there with other bytes. Replace it`,
      writeConfirm: 'Write',
      writeCancel: 'Cancel',
      writing: 'Writing…',
      written: (name, names) => `Written into "${name}": ${names.join(', ')}.`,
      writtenNothing: (name) => `"${name}" is already as this result: nothing to write.`,
      writeFailed: (message) => `Could not write: ${message}`,
      created: 'created', changed: 'changed', unchanged: 'unchanged', deleted: 'deleted',
      download: 'Download',
      nextHeading: 'What to do next',
      folderLabel: (folder) => folder ? `the folder "${folder}"` : 'the setup folder (I386)',
      stepWrite: (folder) => `Easiest: "Write into the setup folder". Pick ${folder}, and txtsetup.sif, txtsetup.sif.orig and the driver files are written into it (Chrome and Edge).`,
      stepZip: (folder) => `Or "Save as a zip", and extract it over ${folder}, replacing files. Where a txtsetup.sif.orig is there already, keep it (it is the backup of the original).`,
      stepByHand: 'By hand, one file at a time:',
      stepDownload: (names) => `Save ${names.join(' and ')} with "Download".`,
      stepReplace: (folder) => `Replace the txtsetup.sif in ${folder} with the saved one. If the browser saved it under another name, such as "txtsetup (1).sif", rename it to txtsetup.sif.`,
      stepBackup: (folder) => `Put txtsetup.sif.orig (the original txtsetup.sif) into ${folder} too, so that later runs keep the original. It need not go on the CD.`,
      stepDrivers: (folder) => `Copy the driver files in the table below into ${folder}. Without them text-mode setup stops with "file not found".`,
      stepMissing: 'The driver files "not found" must be put there by hand, whichever way you take.',
      stepNothing: 'txtsetup.sif did not change: there is nothing to download.',
      driversHeading: 'Driver files (as written in [SCSI.Load])',
      service: 'service', description: 'description', driverFile: 'file', inFolder: 'in the setup folder', fromDriver: 'from the driver\'s folder',
      taken: (path) => `taken (${path})`,
      notTaken: 'not found',
      present: (path) => `present (${path})`,
      compressed: (path) => `present, compressed (${path})`,
      absent: 'missing: copy it there.',
      absentTaken: 'missing (the results bring it).',
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
  // Path of a txtsetup.oem -> whether the user ticked it; the others follow
  // the defaults of resolve().
  const ticks = new Map();
  // Path of a txtsetup.oem -> {entry, options}: its options as a run reads
  // them ([{key, description}]), null while they are being read.
  const driverOptions = new Map();
  let pickState = null;  // {waiting}, {reading: count} or {read: count}
  let reading = false;

  // File names match in any ASCII letter case, as the tool's own file
  // operations match them (platform/platform.h).
  const foldName = (name) => name.replace(/[A-Z]+/g, (letters) => letters.toLowerCase());
  // Drivers are shown, and run, in the order of their paths, numbers taken
  // as numbers ("8.9.8" before "11.2").
  const collator = new Intl.Collator('en', { numeric: true });
  const byPath = (a, b) => collator.compare(a.path, b.path) || (a.path < b.path ? -1 : a.path > b.path ? 1 : 0);

  function entryOf(path, file, inFolder) {
    const slash = path.lastIndexOf('/');
    return { path, folder: path.slice(0, slash + 1), name: file.name, lower: foldName(file.name),
             size: file.size, file, bytes: null, inFolder };
  }

  const entriesNamed = (lower) => [...entries.values()].filter((e) => e.lower === lower);
  const bytesOf = async (entry) => entry.bytes || new Uint8Array(await entry.file.arrayBuffer());

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
    await readOptions();
  }

  // Reads the options of every txtsetup.oem not read yet, in one worker.
  async function readOptions() {
    const pending = entriesNamed(OEM).filter((e) => !driverOptions.has(e.path) || driverOptions.get(e.path).entry !== e);
    if (pending.length === 0) return;
    for (const entry of pending) driverOptions.set(entry.path, { entry, options: null });
    renderPick();
    let lists;
    try {
      const files = await Promise.all(pending.map(bytesOf));
      lists = (await workerTask({ type: 'options', files }, 'options')).drivers;
    } catch (error) {
      lists = pending.map(() => []);
      $('pick-status').textContent = t('failed', error.message);
    }
    // In place, so that a box being ticked stays where it is.
    const shown = [...document.querySelectorAll('.drivers-pick .driver')];
    pending.forEach((entry, i) => {
      const known = driverOptions.get(entry.path);
      if (!known || known.entry !== entry) return;
      known.options = lists[i];
      const node = shown.find((n) => n.dataset.path === entry.path);
      if (node) node.querySelector('.options').replaceWith(optionList(known.options));
    });
    renderPickState(resolve());
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

  // What a run would use: txtsetup.sif is the one file or the user's
  // choice; txtsetup.sif.orig must be in its folder. Every txtsetup.oem is a
  // driver ({entry, ticked, preferred}); one alone is ticked, and of several
  // only the one in the folder of txtsetup.sif, when there is exactly one.
  function resolve() {
    const pick = (lower) => {
      const list = entriesNamed(lower);
      if (list.length <= 1) return { entry: list[0] || null, list };
      return { entry: list.find((e) => e.path === choices.get(lower)) || null, list };
    };
    const setup = pick(SETUP);
    const folder = setup.entry ? setup.entry.folder : null;
    // An empty txtsetup.sif.orig holds nothing to go back to (a tab closed
    // while the page wrote a backup leaves one): it is no backup, and the
    // run takes a new one.
    const backup = entriesNamed(BACKUP).find((e) => e.folder === folder && e.size > 0) || null;
    const oems = entriesNamed(OEM).sort(byPath);
    const near = oems.filter((e) => e.folder === folder);
    const preferred = oems.length > 1 && near.length === 1 ? near[0] : null;
    const drivers = oems.map((entry) => ({
      entry, preferred: entry === preferred,
      ticked: ticks.has(entry.path) ? ticks.get(entry.path) : oems.length === 1 || entry === preferred,
    }));
    return { [OEM]: { drivers, list: oems }, [SETUP]: setup, [BACKUP]: { entry: backup, list: backup ? [backup] : [] } };
  }

  const optionsPending = () => [...driverOptions.values()].some((known) => known.options === null);
  const tickedDrivers = (used) => used[OEM].drivers.filter((d) => d.ticked).map((d) => d.entry);

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
      const { entry, list } = used[lower];
      const cell = el('td', {});
      if (lower === OEM && list.length) cell.append(driverChoice(used[OEM].drivers));
      else if (list.length > 1) {
        const group = el('fieldset', { class: 'choice' }, el('legend', {}, t('choose', lower, list.length)));
        for (const candidate of list) {
          const radio = el('input', { type: 'radio', name: `choose-${lower}`, value: candidate.path, checked: candidate === entry });
          radio.addEventListener('change', () => {
            choices.set(lower, candidate.path);
            renderPick();
          });
          group.append(el('label', {}, radio, describe(candidate)));
        }
        cell.append(group);
      } else {
        cell.append(entry ? describe(entry) : t(lower === BACKUP && used[SETUP].entry ? 'noBackup' : 'none'));
      }
      table.append(el('tr', { 'data-name': lower }, el('th', { scope: 'row' }, lower), cell));
    }
    renderPickState(used);
  }

  // What the pick lacks, and whether it can run.
  function renderPickState(used) {
    const missing = [OEM, SETUP].filter((n) => used[n].list.length === 0);
    const unchosen = [SETUP].filter((n) => used[n].list.length > 1 && !used[n].entry);
    const ticked = tickedDrivers(used);
    const problem = $('pick-problem');
    problem.textContent = [missing.length ? t('missing', missing) : '', unchosen.length ? t('mustChoose', unchosen) : '',
                           used[OEM].list.length && !ticked.length ? t('noDriverTicked') : ''].join(' ').trim();
    problem.classList.toggle('problem', entries.size > 0);
    $('run').disabled = run !== null || reading || optionsPending() || !ticked.length || !used[SETUP].entry;
    $('run').textContent = lastResult ? t('runAgain') : ticked.length > 1 ? t('runDrivers', ticked.length) : t('run');
    $('clear').disabled = run !== null || reading;
  }

  // The drivers, each with its options, to tick; several make a choice.
  function driverChoice(drivers) {
    const group = drivers.length > 1
      ? el('fieldset', { class: 'choice drivers-pick' }, el('legend', {}, t('chooseDrivers', drivers.length)))
      : el('div', { class: 'drivers-pick' });
    for (const { entry, ticked, preferred } of drivers) {
      const box = el('input', { type: 'checkbox', value: entry.path, checked: ticked });
      box.addEventListener('change', () => {
        ticks.set(entry.path, box.checked);
        renderPickState(resolve());
      });
      const known = driverOptions.get(entry.path);
      group.append(el('div', { class: 'driver', 'data-path': entry.path },
                      el('label', {}, box, describe(entry), preferred ? el('span', { class: 'tag' }, t('sameFolder')) : null),
                      optionList(known && known.entry === entry ? known.options : null)));
    }
    return group;
  }

  // A long list shows its first few options, the rest one click away.
  function optionList(options) {
    if (options === null) return el('p', { class: 'options' }, t('readingDrivers'));
    if (options.length === 0) return el('p', { class: 'options' }, t('noOptions'));
    const items = options.map(({ key, description }) => el('li', { title: key }, description));
    const first = options.length > OPTIONS_SHOWN + 1 ? OPTIONS_SHOWN : options.length;
    const more = first < options.length
      ? el('li', {}, el('details', {}, el('summary', {}, t('moreOptions', options.length - first)), el('ul', {}, ...items.slice(first)))) : null;
    return el('ul', { class: 'options', 'aria-label': t('options', options.length) }, ...items.slice(0, first), more);
  }

  function describe(entry) {
    return `${entry.path} (${t('bytes', number(entry.size))}${entry.bytes ? `, ${t('fromRun')}` : ''})`;
  }

  // ---- The run ----

  const CANCELLED = new Error('cancelled');

  // A worker made of the source the page carries; its URL is taken when the
  // worker is made, so it can go at once.
  function makeWorker() {
    const url = URL.createObjectURL(new Blob([$('worker-source').textContent], { type: 'text/javascript' }));
    const worker = new Worker(url);
    URL.revokeObjectURL(url);
    return worker;
  }

  // One request to a new worker, answered by one message of `replyType`.
  function workerTask(message, replyType) {
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
        if (event.data.type === 'error') end(new Error(event.data.message));
      };
      worker.onerror = (event) => {
        event.preventDefault();
        end(new Error(event.message || 'worker'));
      };
      worker.postMessage(message);
    });
  }

  // Runs the tool once, in a new worker, on `files` ([lower-case name,
  // bytes]) with `typedAhead` already typed. `result` settles when the tool
  // ends, with {status, files: [[name, bytes, state]], drivers, ids,
  // changes}, where `changes` is a promise of the rows of the change view
  // against `baseline` (empty unless `changes` is asked for).
  function runTool(files, typedAhead, { onConsole, onWaiting, baseline = null, changes = true }) {
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
      if (message.type === 'console') onConsole(message.bytes);
      if (message.type === 'waiting') onWaiting();
      if (message.type === 'end') settle.resolve({ ...message, changes: changeRows });
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
    worker.postMessage({ type: 'run', files, input: codes(typedAhead), baseline, changes });
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

  // The ticked drivers, one run each, in the order shown, on one folder in
  // memory: each run gets the files the one before left, with its own
  // txtsetup.oem in place, as successive runs in a console would. The user
  // answers the first run's menu; the later runs get the same answer typed
  // ahead, and the last one waits for the final Enter.
  async function startRun() {
    const used = resolve();
    const drivers = tickedDrivers(used);
    if (run !== null || reading || optionsPending() || !drivers.length || !used[SETUP].entry) return;
    const thisRun = { phase: 'menu', waiting: false, answer: null, drivers, runs: [],
                      setup: used[SETUP].entry, backup: used[BACKUP].entry, decoder: new TextDecoder('shift_jis') };
    run = thisRun;
    forgetResult();
    consoleView.replaceChildren();
    renderPick();
    renderKeys();
    $('run-view').scrollIntoView({ block: 'start' });
    const folder = new Map();  // lower-case name -> bytes
    let oems;
    try {
      folder.set(SETUP, await bytesOf(thisRun.setup));
      if (thisRun.backup) folder.set(BACKUP, await bytesOf(thisRun.backup));
      oems = await Promise.all(drivers.map(bytesOf));
    } catch (error) {
      failRun(thisRun, error);
      return;
    }
    const initial = new Map(folder);
    for (let i = 0; i < drivers.length && run === thisRun; i++) {
      const last = i === drivers.length - 1;
      if (drivers.length > 1) {
        note(t('runOf', i + 1, drivers.length, drivers[i].path) + (i ? ` ${t('answered', thisRun.answer.trim())}` : ''));
      }
      const files = [...folder].filter(([name]) => name !== OEM).concat([[OEM, oems[i]]]);
      const typedAhead = i === 0 ? '' : thisRun.answer + (last ? '' : '\n');
      thisRun.phase = i === 0 ? 'menu' : 'end';
      thisRun.tool = runTool(files, typedAhead, {
        baseline: initial.get(SETUP),
        changes: last,
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
      let result;
      try {
        result = await thisRun.tool.result;
      } catch (error) {
        failRun(thisRun, error);
        return;
      }
      if (run !== thisRun) return;
      thisRun.runs.push({ driver: drivers[i], status: result.status, drivers: result.drivers, ids: result.ids });
      for (const [name, bytes, state] of result.files) {
        if (state === 'deleted') folder.delete(name);
        else if (state !== 'unchanged') folder.set(name, bytes);
      }
      // Left at the menu: the later runs would leave too.
      if (last || thisRun.answer === null) finishRun(thisRun, initial, folder, result.changes);
    }
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
  // tool's output. With more drivers to run, the first run's final Enter is
  // typed at once.
  function answer(text) {
    if (run === null || !run.waiting) return;
    run.waiting = false;
    if (run.phase === 'menu' && text !== '\n') {
      run.answer = text;
      if (run.drivers.length > 1) text += '\n';
    }
    run.phase = 'end';
    consoleView.append(el('span', { class: 'echo' }, text));
    run.tool.answer(text);
    renderKeys();
  }

  // The runs' files replace those they were given (as the tool leaves the
  // folder); a file they made joins the folder of txtsetup.sif.
  function finishRun(thisRun, initial, folder, changes) {
    if (run !== thisRun) return;
    run = null;
    const setup = thisRun.setup;
    const files = [];
    for (const lower of [SETUP, BACKUP]) {
      const before = initial.get(lower);
      const after = folder.get(lower);
      if (!before && !after) continue;
      const state = !before ? 'created' : !after ? 'deleted' : sameBytes(before, after) ? 'unchanged' : 'changed';
      let entry = lower === SETUP ? setup : thisRun.backup;
      if (state === 'created') {
        entry = { path: setup.folder + lower, folder: setup.folder, name: lower, lower, size: 0, file: null, inFolder: setup.inFolder };
        entries.set(entry.path, entry);
      }
      if (state === 'deleted') entries.delete(entry.path);
      else if (state !== 'unchanged') Object.assign(entry, { bytes: after, size: after.length });
      files.push({ name: entry.name, lower, state, bytes: after, url: null });
    }
    lastResult = { statuses: thisRun.runs.map((r) => r.status), runs: thisRun.runs, files, changes: null,
                   changesFailed: null, drivers: combinedDrivers(thisRun.runs), conflicts: conflicts(thisRun.runs),
                   setup, initialSetup: initial.get(SETUP), zipUrl: null, rowsShown: new Map() };
    const shown = lastResult;
    changes.then((rows) => {
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

  function sameBytes(a, b) {
    if (a.length !== b.length) return false;
    for (let i = 0; i < a.length; i++) if (a[i] !== b[i]) return false;
    return true;
  }

  // Per service, the entries that stay: the last run's that wrote it, with
  // the driver whose folder holds its file.
  function combinedDrivers(runs) {
    const byService = new Map();
    runs.forEach(({ driver, drivers }, index) => drivers.forEach((d) => byService.set(d.service, { ...d, driver, run: index })));
    return [...byService.values()];
  }

  // What two runs wrote over each other: the same service, or one hardware
  // id for different services. The later run's entries stay.
  function conflicts(runs) {
    const found = [];
    runs.forEach((later, j) => runs.slice(0, j).forEach((earlier) => {
      const services = new Set(earlier.drivers.map((d) => d.service));
      const shared = later.drivers.map((d) => d.service).filter((s) => services.has(s));
      const idServices = new Map(earlier.ids.map((id) => [id.match, id.service]));
      const remapped = later.ids.filter((id) => idServices.has(id.match) && idServices.get(id.match) !== id.service)
        .map((id) => `${id.id} (${idServices.get(id.match)} → ${id.service})`);
      const [a, b] = [earlier.driver.path, later.driver.path];
      if (shared.length) found.push({ a, b, kind: 'conflictService', list: shared });
      if (remapped.length) found.push({ a, b, kind: 'conflictId', list: remapped });
    }));
    return found;
  }

  function forgetResult() {
    if (lastResult) {
      for (const file of lastResult.files) if (file.url) URL.revokeObjectURL(file.url);
      if (lastResult.zipUrl) URL.revokeObjectURL(lastResult.zipUrl);
    }
    lastResult = null;
    plan = null;
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
    $('outcome').textContent = result.runs.length > 1 ? t('exitedRuns', result.runs.length, result.statuses)
      : t('exited', result.statuses[0]);
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
    const files = result.drivers.map((d) => driverFile(result, d));
    const shown = (list) => list.length > 8 ? [...list.slice(0, 8), `… (+${list.length - 8})`] : list;
    $('conflicts').replaceChildren(...result.conflicts.map(({ a, b, kind, list }) => el('li', {}, t(kind, a, b, shown(list)))));
    $('conflicts').hidden = result.conflicts.length === 0;
    const missing = files.filter((f) => f.missing);
    $('missing').hidden = missing.length === 0;
    $('missing-files').replaceChildren(...missing.map((f) => el('li', { 'data-file': foldName(f.file) },
                                                                  t('missingFile', f.file, f.driver.folder || f.driver.path))));
    const output = outputFiles(result, files);
    renderOutput(result, output);
    renderNextSteps(result, missing.length > 0, output.length > 0);
    renderDrivers(result, files);
    renderChanges(result);
  }

  function renderNextSteps(result, missing, anyOutput) {
    const offered = result.files.filter((f) => f.state === 'created' || f.state === 'changed');
    const folder = t('folderLabel', result.setup.folder.replace(/\/$/, ''));
    const steps = [];
    const byHand = [];
    if (anyOutput) {
      if (canWriteFolders) steps.push(t('stepWrite', folder));
      steps.push(t('stepZip', folder));
    }
    if (missing) steps.push(t('stepMissing'));
    if (offered.length) {
      byHand.push(t('stepDownload', offered.map((f) => f.name)));
      if (offered.some((f) => f.lower === SETUP)) byHand.push(t('stepReplace', folder));
      if (offered.some((f) => f.lower === BACKUP)) byHand.push(t('stepBackup', folder));
    }
    if (result.drivers.length) byHand.push(t('stepDrivers', folder));
    if (!steps.length && !byHand.length) steps.push(t('stepNothing'));
    const items = steps.map((step) => el('li', {}, step));
    if (byHand.length) items.push(el('li', {}, t('stepByHand'), el('ol', {}, ...byHand.map((step) => el('li', {}, step)))));
    $('next-steps').replaceChildren(...items);
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

  // A driver file a run named: where the setup folder has it (state) and
  // the file in the driver's own folder, as it is or compressed (source).
  function driverFile(result, d) {
    const { folder, inFolder } = result.setup;
    const plain = inFolder ? findIn(folder, d.file) : null;
    const packed = inFolder && !plain ? findIn(folder, compressedName(d.file)) : null;
    const source = findIn(d.driver.folder, d.file) || findIn(d.driver.folder, compressedName(d.file));
    const state = !inFolder ? 'unknown' : plain ? 'present' : packed ? 'compressed' : 'absent';
    return { ...d, state, plain, packed, source, missing: !source && !plain && !packed };
  }

  // What goes into the setup folder: the setup files the runs made or
  // changed, and each driver file found in its driver's folder (of two with
  // one name, the later run's, as its entries stay), under the name the
  // setup folder already uses for it.
  // `drivers`: result.drivers through driverFile(), where already at hand.
  function outputFiles(result, drivers = result.drivers.map((d) => driverFile(result, d))) {
    const out = result.files.filter((f) => f.state === 'created' || f.state === 'changed')
      .map((f) => ({ name: f.name, lower: f.lower, what: t(f.lower === SETUP ? 'outputSif' : 'outputBackup'), read: async () => f.bytes }));
    const taken = new Map();
    const files = drivers.filter((f) => f.source && f.source.folder !== result.setup.folder);
    for (const f of files.sort((a, b) => a.run - b.run)) taken.set(f.source.lower, f.source);
    for (const [lower, source] of taken) {
      const there = result.setup.inFolder ? findIn(result.setup.folder, source.name) : null;
      out.push({ name: there ? there.name : source.name, lower, what: t('outputDriver', source.path), read: () => bytesOf(source) });
    }
    return out;
  }

  function renderDrivers(result, files) {
    $('driver-view').hidden = files.length === 0;
    const table = $('drivers');
    table.replaceChildren(el('tr', {}, ...['service', 'description', 'driverFile', 'inFolder', 'fromDriver']
      .map((k) => el('th', { scope: 'col' }, t(k)))));
    for (const f of files) {
      const text = f.plain ? t('present', f.plain.path) : f.packed ? t('compressed', f.packed.path)
        : f.state === 'absent' && f.source ? t('absentTaken') : t(f.state);
      table.append(el('tr', { 'data-state': f.state, 'data-taken': f.source ? 'yes' : 'no' },
                      el('td', {}, f.service), el('td', {}, f.description), el('td', { class: 'file' }, f.file),
                      el('td', { class: 'presence' }, text),
                      el('td', { class: 'source' }, f.source ? t('taken', f.source.path) : t('notTaken'))));
    }
  }

  // ---- Into the setup folder ----

  // The File System Access API (Chrome, Edge) writes into a folder the user
  // picks; elsewhere the zip is the way.
  const canWriteFolders = typeof window.showDirectoryPicker === 'function';
  let plan = null;  // the writes waiting for the user's confirmation

  function renderOutput(result, files) {
    $('output').hidden = files.length === 0;
    $('output-help').textContent = t('outputHelp', t('folderLabel', result.setup.folder.replace(/\/$/, '')));
    $('output-files').replaceChildren(...files.map((f) => el('tr', { 'data-file': f.lower },
      el('th', { scope: 'row' }, f.name), el('td', {}, f.what))));
    $('write-folder').hidden = !canWriteFolders;
    renderPlan();
  }

  function outputStatus(text, problem = false) {
    $('output-status').textContent = text;
    $('output-status').classList.toggle('problem', problem);
  }

  async function saveZip() {
    const result = lastResult;
    outputStatus(t('zipping'));
    try {
      const files = await Promise.all(outputFiles(result).map(async (f) => [f.name, await f.read()]));
      const { bytes } = await workerTask({ type: 'zip', files }, 'zip');
      if (lastResult !== result) return;
      if (result.zipUrl) URL.revokeObjectURL(result.zipUrl);
      result.zipUrl = URL.createObjectURL(new Blob([bytes], { type: 'application/zip' }));
      const folderName = result.setup.folder.replace(/\/$/, '').split('/').pop();
      const link = el('a', { href: result.zipUrl, download: `oem2sif-${folderName || 'setup'}.zip`, hidden: true });
      document.body.append(link);
      link.click();
      link.remove();
      outputStatus('');
    } catch (error) {
      outputStatus(t('failed', error.message), true);
    }
  }

  // A folder's files by lower-case name: the first name in byte order of
  // those that differ only in letter case, as the tool's file operations
  // take it.
  async function listFolder(handle) {
    const files = new Map();
    const folders = new Map();
    const names = [];
    for await (const [name, child] of handle.entries()) names.push([name, child.kind]);
    names.sort(([a], [b]) => (a < b ? -1 : a > b ? 1 : 0));
    for (const [name, kind] of names) {
      const map = kind === 'file' ? files : folders;
      if (!map.has(foldName(name))) map.set(foldName(name), name);
    }
    return { files, folders };
  }

  const readHandleFile = async (folder, name) => new Uint8Array(await (await (await folder.getFileHandle(name)).getFile()).arrayBuffer());

  // The picked folder, or its I386, whichever holds txtsetup.sif.
  async function setupFolderIn(picked) {
    let listing = await listFolder(picked);
    if (listing.files.has(SETUP)) return { handle: picked, listing };
    if (listing.folders.has('i386')) {
      const handle = await picked.getDirectoryHandle(listing.folders.get('i386'));
      listing = await listFolder(handle);
      if (listing.files.has(SETUP)) return { handle, listing };
    }
    return null;
  }

  async function writeIntoFolder() {
    const result = lastResult;
    plan = null;
    renderPlan();
    outputStatus(t('pickSetupFolder'));
    let picked;
    try {
      picked = await window.showDirectoryPicker({ id: 'oem2sif-setup', mode: 'readwrite' });
    } catch (error) {
      outputStatus(error.name === 'AbortError' ? '' : t('writeFailed', error.message), error.name !== 'AbortError');
      return;
    }
    try {
      const folder = await setupFolderIn(picked);
      if (!folder) return outputStatus(t('noSetupHere', picked.name), true);
      const items = await planWrites(result, folder);
      if (!items) return outputStatus(t('otherSetup', folder.handle.name), true);
      if (lastResult !== result) return;
      plan = { result, folder, items };
      outputStatus('');
      renderPlan();
      $('write-confirm').focus();
    } catch (error) {
      outputStatus(t('writeFailed', error.message), true);
    }
  }

  // What each output file does to the folder; null when its txtsetup.sif is
  // neither the one the runs started from nor their result.
  async function planWrites(result, folder) {
    const { files } = folder.listing;
    const current = await readHandleFile(folder.handle, files.get(SETUP));
    const output = outputFiles(result);
    const finalSetup = output.find((f) => f.lower === SETUP);
    if (!sameBytes(current, result.initialSetup) && !(finalSetup && sameBytes(current, await finalSetup.read()))) return null;
    const items = [];
    for (const f of output) {
      const bytes = await f.read();
      const name = files.get(f.lower);
      if (f.lower === BACKUP) {
        const empty = name && (await readHandleFile(folder.handle, name)).length === 0;  // no backup, see resolve()
        items.push({ name: name || f.name, bytes, action: name && !empty ? 'planKeepBackup' : 'planCreate' });
      }
      else if (!name) items.push({ name: f.name, bytes, action: 'planCreate' });
      else if (sameBytes(await readHandleFile(folder.handle, name), bytes)) items.push({ name, bytes, action: 'planSame' });
      else items.push({ name, bytes, action: f.lower === SETUP ? 'planReplace' : 'planConflict', replace: false });
    }
    return items;
  }

  const toWrite = (item) => item.action === 'planCreate' || item.action === 'planReplace' || (item.action === 'planConflict' && item.replace);

  function renderPlan() {
    const box = $('write-plan');
    box.hidden = plan === null || plan.result !== lastResult;
    if (box.hidden) return;
    const list = el('ul', {}, ...plan.items.map((item) => {
      if (item.action !== 'planConflict') return el('li', { 'data-action': item.action }, t(item.action, item.name));
      const box = el('input', { type: 'checkbox', checked: item.replace, 'data-file': foldName(item.name) });
      box.addEventListener('change', () => { item.replace = box.checked; });
      return el('li', { 'data-action': item.action }, el('label', {}, box, t(item.action, item.name)));
    }));
    const confirm = el('button', { type: 'button', id: 'write-confirm', class: 'primary' }, t('writeConfirm'));
    const cancel = el('button', { type: 'button', id: 'write-cancel' }, t('writeCancel'));
    confirm.addEventListener('click', writePlan);
    cancel.addEventListener('click', () => {
      plan = null;
      renderPlan();
    });
    box.replaceChildren(el('h4', {}, t('planHeading', plan.folder.handle.name)), list, el('p', { class: 'actions' }, confirm, cancel));
  }

  // Driver files first, then the backup, then txtsetup.sif, each through
  // createWritable(): the browser writes a swap file and puts it in place
  // on close(), so a closed tab leaves the old file or the new one. The
  // folder is read again first: the backup is never replaced, and
  // txtsetup.sif only when it is still what the plan was made for.
  async function writePlan() {
    const { result, folder, items } = plan;
    plan = null;
    renderPlan();
    outputStatus(t('writing'));
    try {
      const fresh = await setupFolderIn(folder.handle);
      const again = fresh && await planWrites(result, fresh);
      if (!again) return outputStatus(t('otherSetup', folder.handle.name), true);
      const replace = new Set(items.filter(toWrite).map((item) => item.name));
      const chosen = again.filter((item) => toWrite(item) || (item.action === 'planConflict' && replace.has(item.name)));
      const order = (item) => (foldName(item.name) === SETUP ? 2 : foldName(item.name) === BACKUP ? 1 : 0);
      for (const item of chosen.sort((a, b) => order(a) - order(b))) {
        const writable = await (await folder.handle.getFileHandle(item.name, { create: true })).createWritable();
        try {
          await writable.write(item.bytes);
          await writable.close();
        } catch (error) {
          await writable.abort().catch(() => {});
          throw error;
        }
      }
      outputStatus(chosen.length ? t('written', folder.handle.name, chosen.map((item) => item.name)) : t('writtenNothing', folder.handle.name));
    } catch (error) {
      outputStatus(t('writeFailed', error.message), true);
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
    // The items are readable only during the event. Files that carry their
    // path within a folder (as a folder pick gives them) keep it.
    const files = [...event.dataTransfer.files];
    const items = [...event.dataTransfer.items].map((item) => item.webkitGetAsEntry && item.webkitGetAsEntry());
    if (files.length && files.every((file) => file.webkitRelativePath)) addEntries(pickedFiles(files));
    else if (items.length && items.every(Boolean)) addEntries(droppedFiles(items));
    else addEntries(pickedFiles(files));
  });
  // A file dropped beside the box must not make the browser leave the page.
  window.addEventListener('dragover', (event) => event.preventDefault());
  window.addEventListener('drop', (event) => event.preventDefault());
  $('run').addEventListener('click', startRun);
  $('cancel').addEventListener('click', cancelRun);
  $('save-zip').addEventListener('click', saveZip);
  $('write-folder').addEventListener('click', writeIntoFolder);
  $('clear').addEventListener('click', () => {
    entries.clear();
    choices.clear();
    ticks.clear();
    driverOptions.clear();
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
