// The page of oem2sif: takes the files of a setup folder and of drivers,
// runs the tool on them in workers (an in-memory file system there), and
// shows and offers what it changed, with what the user must still do.
// Nothing leaves the page. This module holds the page's state, builds the
// view model of it once per change (view-model.js) and hands it to the
// views, and wires the workers in.
import { translator } from './texts.js';
import { OEM, SETUP } from './names.js';
import { entryOf, resolve, bytesOf, dropRepeatedPick, labeller, surveyLayout, applyLayout } from './picks.js';
import { viewModel } from './view-model.js';
import { workerBridge } from './worker-bridge.js';
import { runControl } from './run-control.js';
import { outputControl } from './output-control.js';
import { pickedFiles, droppedSource } from './intake.js';
import { $, el, nextTask } from '../views/dom.js';
import { renderPick, renderPickState } from '../views/pick-view.js';
import { renderKeys, note, clearConsole, appendConsole, echo } from '../views/run-view.js';
import { renderResults, renderPlan, outputStatus } from '../views/results-view.js';
import { renderChanges } from '../views/changes-view.js';

// A big pick is read in slices of this many milliseconds, the page showing
// how far it got in between.
const READ_SLICE = 50;

const state = {
  entries: new Map(),  // key -> entry (picks.js): what is in the picked folders
  picks: 0,            // folder picks and drops so far
  pickVersion: 0,      // changes with every change to the entries
  choices: new Map(),  // lower-case name -> the key the user chose among several
  ticks: new Map(),    // key of a txtsetup.oem -> ticked, where the user changed it
  // Key of a txtsetup.oem -> {entry, options}: its options as a run reads
  // them, null while they are being read.
  drivers: new Map(),
  optionTicks: new Map(),    // key of a txtsetup.oem -> (option index -> ticked), where the user changed it
  // The engine's survey of the pick: {setup, drivers (entries, in run
  // order), json (engine/survey_json.h's object)}; every option's tick and
  // why, and what the setup source is, come from it.
  survey: null,
  surveying: 0,              // work on the pick under way: its drivers read, the survey made
  pickState: null,     // {waiting}, {reading: count} or {read: count}
  reading: false,
  run: null,           // the runs in progress
  result: null,        // what the last runs did
  plan: null,          // the writes waiting for the user's confirmation
};
let t = translator('ja');
// The File System Access API (Chrome, Edge) writes into a folder the user
// picks; elsewhere the zip is the way.
const canWriteFolders = typeof window.showDirectoryPicker === 'function';
const bridge = workerBridge($('worker-source').textContent);

const pickHandlers = {
  choose: (lower, key) => {
    state.choices.set(lower, key);
    showPick();
    surveyPick();
  },
  tickOption: (driverKey, index, ticked) => {
    if (!state.optionTicks.has(driverKey)) state.optionTicks.set(driverKey, new Map());
    state.optionTicks.get(driverKey).set(index, ticked);
    surveyPick();
  },
  // The list stays as it is: the tick being clicked keeps its focus.
  tick: (path, ticked) => {
    state.ticks.set(path, ticked);
    renderPickState(update().pick, t);
  },
};
// What the page calls a picked file: worked out once per pick, not per name.
let labels = null;
const label = (entry) => {
  if (!labels || labels.version !== state.pickVersion) labels = { version: state.pickVersion, of: labeller(state.entries) };
  return labels.of(entry);
};

// The view model of the state as it is now: built once per change, and
// what every view then draws.
function update() {
  const picked = state.result ? output.pickedPlan(state.result) : null;
  return viewModel(state, { label, picked, canWriteFolders });
}
const showPick = () => renderPick(update().pick, t, pickHandlers);
const showKeys = () => renderKeys(state.run, t);
const changeHandlers = {
  showAllRows: (match) => {
    state.result.rowsShown.set(match, Infinity);
    renderChanges(update().changes, t, changeHandlers);
  },
};

const output = outputControl(state, {
  t: () => t,
  status: outputStatus,
  plan: () => renderPlan(update().plan, t, planHandlers),
  results: () => showResults(),
  focusPlan: () => $('write-confirm').focus(),
  zip: bridge.zip,
  check: bridge.check,
  refusal: bridge.refusal,
  download: (result, bytes, name) => {
    if (result.zipUrl) URL.revokeObjectURL(result.zipUrl);
    result.zipUrl = URL.createObjectURL(new Blob([bytes], { type: 'application/zip' }));
    const link = el('a', { href: result.zipUrl, download: name, hidden: true });
    document.body.append(link);
    link.click();
    link.remove();
  },
});
const planHandlers = {
  tick: (lower, replace) => output.tick(state.result, lower, replace), confirmPlan: output.confirmPlan, cancelPlan: output.cancelPlan,
};
// The results, the writes waiting for confirmation and the changes.
function showResults(model = update()) {
  const { results, plan, changes } = model;
  if (!results) return;
  renderResults(results, t, { canWriteFolders, urls: state.result.urls, on: planHandlers });
  renderPlan(plan, t, planHandlers);
  renderChanges(changes, t, changeHandlers);
}
// Every view of the state, from one view model.
function showAll() {
  const model = update();
  renderPick(model.pick, t, pickHandlers);
  showKeys();
  showResults(model);
}

function forgetResult() {
  if (state.result) {
    for (const url of state.result.urls.values()) URL.revokeObjectURL(url);
    if (state.result.zipUrl) URL.revokeObjectURL(state.result.zipUrl);
  }
  state.result = null;
  state.plan = null;
  $('results').hidden = true;
  $('downloads').replaceChildren();
}

// The pick as surveyed now, of the drivers run (entries) alone: their
// layout and ticks, numbered as the run takes them.
function runPick(run) {
  const { json, layout, ticks, drivers } = state.survey;
  const indices = run.map((entry) => drivers.indexOf(entry));
  const runLayout = { ...layout, drivers: indices.map((i) => layout.drivers[i]) };
  const runTicks = ticks.filter(([d]) => indices.includes(d)).map(([d, option, ticked]) => [indices.indexOf(d), option, ticked]);
  return { runLayout, runTicks, json };
}

const runs = runControl(state, bridge, {
  t: () => t,
  // The engine's apply of the pick as surveyed now, of the drivers run
  // (entries), with the user's answer to the menu (1 / 2), on the setup
  // folder (or `setupFiles`, picks.js's applyLayout) with `over` ([name,
  // bytes]: an earlier apply's files) laid over it; `onConsole(run, bytes)`
  // hears the runs' consoles as they are printed, `onStart(stop)` gets
  // what cancels the apply.
  applier: (run) => {
    const { runLayout, runTicks, json } = runPick(run);
    return (windows, over, setupFiles = null, onConsole = null, onStart = null) =>
      bridge.apply(applyLayout(runLayout, over, setupFiles), runTicks, windows, onConsole, onStart);
  },
  // The engine's survey of the drivers run alone ({setup, drivers, json}
  // as state.survey): what the results say of their files.
  surveyRun: async (run) => {
    const { runLayout, runTicks } = runPick(run);
    return { setup: state.survey.setup, drivers: run, json: await bridge.survey(runLayout, runTicks, 0) };
  },
  // What a run takes, as the pick shows it now.
  runPlan: () => update().pick,
  label,
  forgetResult,
  hideResults: () => { $('results').hidden = true; },
  pick: showPick,
  keys: showKeys,
  results: showResults,
  showAll,
  changes: () => renderChanges(update().changes, t, changeHandlers),
  note,
  clearConsole,
  appendConsole,
  echo,
  showRun: () => $('run-view').scrollIntoView({ block: 'start' }),
  showWaiting: () => $('keys').scrollIntoView({ block: 'nearest' }),
  showResults: () => {
    $('results').scrollIntoView({ block: 'start' });
    $('results-heading').focus({ preventScroll: true });
  },
});

async function addEntries(source) {
  if (state.reading || state.run !== null) return;
  state.reading = true;
  const pick = ++state.picks;
  let count = 0;
  state.pickState = { reading: 0 };
  showPick();
  await nextTask();
  let slice = performance.now();
  try {
    for await (const { path, file, inFolder } of source) {
      const entry = entryOf(pick, path, file, inFolder);
      state.entries.set(entry.key, entry);
      count++;
      if (performance.now() - slice > READ_SLICE) {
        state.pickState = { reading: count };
        showPick();
        await nextTask();
        slice = performance.now();
      }
    }
  } finally {
    dropRepeatedPick(state.entries, pick);
    state.pickVersion++;
    state.reading = false;
    state.pickState = { read: count };
    // The drivers and their files are read next: the pick is not settled.
    state.surveying++;
    if (state.result) showAll();
    else showPick();
  }
  let surveyed;
  try {
    await readDrivers();
  } finally {
    surveyed = surveyPick();
    state.surveying--;
  }
  await surveyed;
}

// The pick as the engine reads it: the setup file and the drivers it uses
// now, laid out (picks.js's surveyLayout), and the user's ticks of options.
function pickLayout() {
  const used = resolve(state.entries, state.choices, state.ticks);
  const setup = used[SETUP].entry;
  const drivers = used[OEM].drivers.map((d) => d.entry);
  const ticks = drivers.flatMap((entry, i) => [...(state.optionTicks.get(entry.key) || [])].map(([option, ticked]) => [i, option, ticked]));
  return { setup, drivers, layout: surveyLayout(state.entries, setup, drivers), ticks };
}

// The engine's survey of the pick as it is now: the setup source, each
// driver's options with their ticks and why, the conflicts. Surveys run one
// after another; one overtaken by a later change is not made.
let surveys = Promise.resolve();
let surveysAsked = 0;
function surveyPick() {
  const asked = ++surveysAsked;
  state.surveying++;
  showPick();
  surveys = surveys.then(async () => {
    if (asked !== surveysAsked) return;
    const { setup, drivers, layout, ticks } = pickLayout();
    const json = await bridge.survey(layout, ticks, 0);
    if (asked === surveysAsked) state.survey = { setup, drivers, json, layout, ticks };
  }).catch((error) => {
    $('pick-status').textContent = t('failed', error.message);
  }).finally(() => {
    state.surveying--;
    showPick();
  });
  return surveys;
}

// Reads the options of every txtsetup.oem not read yet, in one worker.
async function readDrivers() {
  const pending = [...state.entries.values()].filter((e) => e.lower === OEM &&
    (!state.drivers.has(e.key) || state.drivers.get(e.key).entry !== e));
  if (pending.length === 0) return;
  for (const entry of pending) state.drivers.set(entry.key, { entry, options: null });
  showPick();
  let lists;
  try {
    lists = await bridge.readDrivers(await Promise.all(pending.map(bytesOf)));
  } catch (error) {
    lists = pending.map(() => []);
    $('pick-status').textContent = t('failed', error.message);
  }
  pending.forEach((entry, i) => {
    const known = state.drivers.get(entry.key);
    if (!known || known.entry !== entry) return;
    known.options = lists[i];
  });
  showPick();
}

function applyLanguage() {
  document.documentElement.lang = t.language;
  for (const node of document.querySelectorAll('[data-t]')) node.textContent = t(node.dataset.t);
  $('language').textContent = t.language === 'ja' ? 'English' : '日本語';
  $('language').lang = t.language === 'ja' ? 'en' : 'ja';
  showAll();
}

$('language').addEventListener('click', () => {
  t = translator(t.language === 'ja' ? 'en' : 'ja');
  applyLanguage();
});
for (const id of ['pick-files', 'pick-folder']) {
  const input = $(id);
  // The files are taken before anything waits: clearing the input (so that
  // the same folder can be picked again) empties the list it gave, and an
  // earlier pick still being inspected would clear it under this one.
  input.addEventListener('change', () => {
    const files = [...input.files];
    input.value = '';
    addEntries(pickedFiles(files));
  });
}
// The browser lists a big folder before it tells the page anything.
let stateBeforeDialog = null;
$('pick-folder').addEventListener('click', () => {
  if (state.reading || state.run !== null) return;
  stateBeforeDialog = state.pickState;
  state.pickState = { waiting: true };
  showPick();
});
$('pick-folder').addEventListener('cancel', () => {
  state.pickState = stateBeforeDialog;
  showPick();
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
  addEntries(droppedSource(event.dataTransfer));
});
// A file dropped beside the box must not make the browser leave the page.
window.addEventListener('dragover', (event) => event.preventDefault());
window.addEventListener('drop', (event) => event.preventDefault());
$('run').addEventListener('click', runs.start);
$('cancel').addEventListener('click', runs.cancel);
$('save-zip').addEventListener('click', output.saveZip);
$('write-folder').addEventListener('click', output.writeIntoFolder);
$('clear').addEventListener('click', () => {
  state.entries.clear();
  state.choices.clear();
  state.ticks.clear();
  state.drivers.clear();
  state.optionTicks.clear();
  state.survey = null;
  state.pickState = null;
  state.pickVersion++;
  forgetResult();
  showPick();
});
$('key-1').addEventListener('click', () => runs.answer('1\n'));
$('key-2').addEventListener('click', () => runs.answer('2\n'));
$('key-enter').addEventListener('click', () => runs.answer('\n'));
document.addEventListener('keydown', (event) => {
  const run = state.run;
  if (run === null || !run.waiting || event.ctrlKey || event.altKey || event.metaKey) return;
  const text = run.phase === 'menu' ? { 1: '1\n', 2: '2\n', Enter: '\n' }[event.key] : { Enter: '\n' }[event.key];
  if (text === undefined) return;
  event.preventDefault();
  runs.answer(text);
});

applyLanguage();
