// The ticked drivers, one run each, in the order shown, on one folder in
// memory: each run gets the files the one before left, with its own
// txtsetup.oem in place, as successive runs in a console would. The user
// answers the first run's menu; the later runs get the same answer typed
// ahead, and the last one waits for the final Enter. The runs are what the
// console shows, the menu and its answer as the tool asks; the files the
// results offer are the engine's apply of the same plan with that answer
// (the result's `engine`), each on the files the one before left.
import { OEM, SETUP, BACKUP, DOSNET, DOSNET_BACKUP, foldName } from './names.js';
import { bytesOf } from './picks.js';
import { runOutcome, surveyedDrivers, conflicts } from './plan.js';
import { CANCELLED } from './worker-bridge.js';

// `ui`: t() for the current language, label(entry), applier(entries) (the
// engine's apply of those drivers as surveyed now: (answer, over) => the
// worker's apply), surveyRun(entries) (the engine's survey of those
// drivers alone, as main.js keeps a survey), runPlan() (the view
// model's pick: whether it can run, and what a run takes), and what the
// views do: pick(), keys(), results(), showAll() (the three from one view
// model), changes(), note(text),
// clearConsole(), appendConsole(text), echo(text), showRun(),
// showWaiting(), showResults(), hideResults(), forgetResult().
export function runControl(state, bridge, ui) {
  async function start() {
    const pick = ui.runPlan();
    if (state.run !== null || state.reading || pick.optionsPending || state.surveying > 0 || !pick.run.canRun) return;
    // Each driver with the options ticked in it; one with none is left out.
    const kept = new Map(pick.run.drivers.map(({ entry, keep }) => [entry, keep]));
    const drivers = [...kept.keys()];
    if (drivers.length === 0) return;
    // "Run again" goes on from the runs' files, while the same txtsetup.sif
    // is chosen; the result keeps the original the chain began with.
    const chain = state.result && state.result.setup === pick.run.setup ? state.result : null;
    const run = { phase: 'menu', waiting: false, answer: null, drivers, runs: [], chain, target: pick.run.target,
                  setup: pick.run.setup, backup: pick.run.backup, decoder: new TextDecoder('shift_jis'),
                  apply: ui.applier(drivers), sources: null, survey: null };
    state.run = run;
    // The last result stays until these runs end: a cancelled run loses
    // nothing.
    ui.hideResults();
    ui.clearConsole();
    ui.pick();
    ui.keys();
    ui.showRun();
    let folder;  // lower-case name -> bytes
    let oems;
    try {
      // The engine's survey of the drivers run: the pick's survey takes
      // in the drivers left unticked too.
      const surveyed = ui.surveyRun(drivers);
      surveyed.catch(() => {});  // awaited below, unless a read fails first
      folder = chain ? new Map(chain.folder) : new Map([[SETUP, await bytesOf(run.setup)]]);
      if (!chain && run.backup) folder.set(BACKUP, await bytesOf(run.backup));
      oems = await Promise.all(drivers.map(bytesOf));
      run.survey = await surveyed;
      run.sources = sourcesOf(run.survey, drivers);
    } catch (error) {
      fail(run, error);
      return;
    }
    const initial = new Map(folder);
    for (let i = 0; i < drivers.length && state.run === run; i++) {
      const last = i === drivers.length - 1;
      const t = ui.t();
      if (drivers.length > 1) {
        ui.note(t('runOf', i + 1, drivers.length, ui.label(drivers[i])) + (i ? ` ${t('answered', run.answer.trim())}` : ''));
      }
      const files = [...folder].filter(([name]) => name !== OEM).concat([[OEM, oems[i]]]);
      const typedAhead = i === 0 ? '' : run.answer + (last ? '' : '\n');
      run.phase = i === 0 ? 'menu' : 'end';
      run.tool = bridge.runTool(files, typedAhead, {
        keep: kept.get(drivers[i]),
        onConsole: (bytes) => ui.appendConsole(run.decoder.decode(bytes, { stream: true })),
        onWaiting: () => {
          run.waiting = true;
          ui.keys();
          ui.showWaiting();
        },
      });
      let result;
      try {
        result = await run.tool.result;
      } catch (error) {
        fail(run, error);
        return;
      }
      if (state.run !== run) return;
      run.runs.push(runOutcome(drivers[i], result));
      for (const [name, bytes, fileState, blob] of result.files) {
        if (fileState === 'deleted') folder.delete(name);
        else if (fileState !== 'unchanged') folder.set(name, bytes);
        if (blob) state.blobs.set(bytes, blob);
      }
      // Left at the menu: the later runs would leave too.
      if (last || run.answer === null) finish(run, initial, folder);
    }
  }

  function fail(run, error) {
    if (state.run !== run) return;
    state.run = null;
    if (error !== CANCELLED) {
      console.error(error);
      ui.note(ui.t()('failed', error.message));
    }
    ui.showAll();
  }

  function cancel() {
    if (state.run === null) return;
    const run = state.run;
    if (run.tool) run.tool.cancel();
    state.run = null;
    ui.note(ui.t()('cancelled'));
    ui.showAll();
  }

  // With more drivers to run, the first run's final Enter is typed at once.
  function answer(text) {
    const run = state.run;
    if (run === null || !run.waiting) return;
    run.waiting = false;
    if (run.phase === 'menu' && text !== '\n') {
      run.answer = text;
      if (run.drivers.length > 1) text += '\n';
    }
    run.phase = 'end';
    ui.echo(text);
    run.tool.answer(text);
    ui.keys();
  }

  // The result is the chain's: the runs' files, the original it began
  // with, every run of it (their driver files all stay named, `drivers`).
  function finish(run, initial, folder) {
    if (state.run !== run) return;
    state.run = null;
    const { chain } = run;
    const runs = [...(chain ? chain.runs : []), ...run.runs];
    const result = {
      setup: run.setup, original: chain ? chain.original : initial.get(SETUP),
      pickedBackup: chain ? chain.pickedBackup : run.backup,
      starts: [...(chain ? chain.starts : []), initial.get(SETUP)], folder, runs, lastRuns: run.runs,
      // The engine's survey of this set's pick; none where the user left
      // at the menu (nothing written).
      drivers: surveyedDrivers(chain ? chain.drivers : [], run.answer === null ? null : run.survey),
      conflicts: conflicts(runs, ui.label),
      changes: null, changesFailed: null, urls: new Map(), rowsShown: new Map(), replace: new Set(), picked: null,
      engine: null, engineFailed: null, survey: run.survey,
    };
    ui.forgetResult();
    state.result = result;
    applyEngine(run, result);
    ui.showAll();
    ui.showResults();
  }

  // The engine's apply with the user's answer, on what the chain's earlier
  // applies wrote: the result's files (appliedFiles), and the change view
  // of the txtsetup.sif among them.
  function applyEngine(run, result) {
    const earlier = run.chain && run.chain.engine ? run.chain.engine.files : new Map();
    result.sets = [...(run.chain ? run.chain.sets || [] : [])];
    if (run.answer === null) {
      result.engine = { outcome: null, files: new Map(earlier) };
      showChanges(result);
      return;
    }
    const set = { apply: run.apply, windows: Number(run.answer.trim()), sources: run.sources };
    result.sets.push(set);
    set.apply(set.windows, overOf(earlier)).then((applied) => {
      result.engine = { outcome: applied.outcome, files: appliedFiles(earlier, applied, set.sources) };
      if (applied.outcome.failure) result.engineFailed = `${applied.outcome.failure} ${applied.outcome.subject}`;
    }, (error) => {
      console.error(error);
      result.engine = { outcome: null, files: new Map() };
      result.engineFailed = error.message;
    }).finally(() => {
      if (state.result === result) ui.results();
      showChanges(result);
    });
  }

  // What changed in the engine's txtsetup.sif (the zip's) since the
  // original the chain began with; none where the engine wrote none.
  function showChanges(result) {
    const written = result.engine.files.get(SETUP);
    const changed = result.engineFailed ? Promise.reject(new Error(result.engineFailed))
      : written && written.bytes ? bridge.changes(result.original, written.bytes) : Promise.resolve([]);
    changed.then((rows) => {
      result.changes = rows;
    }, (error) => {
      console.error(error);
      result.changesFailed = error.message;
    }).finally(() => {
      if (state.result === result) ui.changes();
    });
  }

  return { start, cancel, answer };
}

// Where each file the survey's runs bring comes from, by its lower-case
// name, as the page names it ({path: the driver's path, then the file's
// below it, support: a file for GUI-mode setup}).
function sourcesOf(survey, drivers) {
  const sources = new Map();
  if (!survey) return sources;
  for (const run of survey.json.runs) {
    const entry = survey.drivers[run.driver];
    if (!drivers.includes(entry)) continue;
    const folder = entry.path.slice(0, entry.path.lastIndexOf('/') + 1);
    for (const file of run.files) sources.set(foldName(file.name), { path: folder + file.source, support: file.support });
  }
  return sources;
}

// What an earlier apply wrote of the setup's own files (txtsetup.sif,
// dosnet.inf, their backups), laid over the setup folder for the next, as
// each run goes on from the txtsetup.sif the one before left. The files it
// brought are not: the later run's stand, as its entries do (a file of one
// name from two folders).
const OWN = [SETUP, BACKUP, DOSNET, DOSNET_BACKUP];
export const overOf = (files) => [...files.values()].filter((f) => f.bytes && OWN.includes(foldName(f.name))).map((f) => [f.name, f.bytes]);

// The files of a chain of applies, by lower-case name {name, bytes (null
// where no apply wrote it), action, path (a brought file's source),
// support (a file for GUI-mode setup)}: those
// of `earlier` with what `applied` (the worker's apply) wrote over them;
// the later's action where it wrote a file, else the first's.
export function appliedFiles(earlier, { outcome, files }, sources) {
  const written = new Map(files);
  const all = new Map(earlier);
  for (const { name, action } of outcome.files) {
    const lower = foldName(name);
    const bytes = written.get(name) || null;
    const source = sources.get(lower);
    if (bytes || !all.has(lower)) all.set(lower, { name, bytes, action, path: source ? source.path : null, support: Boolean(source && source.support) });
  }
  return all;
}
