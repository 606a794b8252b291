// The ticked drivers, one run each, in the order shown: the engine's apply
// of them with the user's answer, on the files the chain's earlier applies
// left. The console shows the tool's menu and waits for the answer, then
// shows each run's console as the engine's apply printed it (the later runs
// with the same answer typed ahead), and waits for the final Enter.
import { SETUP, BACKUP, DOSNET, DOSNET_BACKUP, foldName } from './names.js';
import { bytesOf } from './picks.js';
import { surveyedDrivers } from './plan.js';
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
// `bridge`: the worker's menu(), apply and changes.
export function runControl(state, bridge, ui) {
  async function start() {
    const pick = ui.runPlan();
    if (state.run !== null || state.reading || pick.optionsPending || state.surveying > 0 || !pick.run.canRun) return;
    // Each driver with the options ticked in it; one with none is left out.
    const drivers = pick.run.drivers.map(({ entry }) => entry);
    if (drivers.length === 0) return;
    // "Run again" goes on from the applies' files, while the same
    // txtsetup.sif is chosen; the result keeps the original the chain
    // began with.
    const chain = state.result && state.result.setup === pick.run.setup ? state.result : null;
    const run = { phase: 'menu', waiting: false, answer: null, drivers, chain, target: pick.run.target,
                  setup: pick.run.setup, backup: pick.run.backup, apply: ui.applier(drivers), sources: null, survey: null,
                  menu: null, folder: null, set: null, applied: null, stop: null };
    state.run = run;
    // The last result stays until these runs end: a cancelled run loses
    // nothing.
    ui.hideResults();
    ui.clearConsole();
    ui.pick();
    ui.keys();
    ui.showRun();
    try {
      // The engine's survey of the drivers run: the pick's survey takes
      // in the drivers left unticked too.
      const surveyed = ui.surveyRun(drivers);
      surveyed.catch(() => {});  // awaited below, unless a read fails first
      const menu = bridge.menu();
      menu.catch(() => {});
      // txtsetup.sif and its backup as this set starts from them.
      run.folder = chain ? new Map(chain.folder) : new Map([[SETUP, await bytesOf(run.setup)]]);
      if (!chain && run.backup) run.folder.set(BACKUP, await bytesOf(run.backup));
      run.menu = await menu;
      run.survey = await surveyed;
      run.sources = sourcesOf(run.survey, drivers);
    } catch (error) {
      fail(run, error);
      return;
    }
    if (state.run !== run) return;
    if (drivers.length > 1) ui.note(ui.t()('runOf', 1, drivers.length, ui.label(drivers[0])));
    ui.appendConsole(run.menu.menu);
    wait(run);
  }

  function wait(run) {
    run.waiting = true;
    ui.keys();
    ui.showWaiting();
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
    if (run.stop) run.stop();
    state.run = null;
    ui.note(ui.t()('cancelled'));
    ui.showAll();
  }

  // At the menu: 1 or 2 applies, Enter leaves as the tool does (its quit
  // text); then the final Enter ends the runs. With more drivers to run,
  // the first run's final Enter is typed at once.
  function answer(text) {
    const run = state.run;
    if (run === null || !run.waiting) return;
    run.waiting = false;
    if (run.phase === 'menu' && text === '\n') {
      ui.echo(text);
      ui.appendConsole(run.menu.quit);
      finish(run, null);
      return;
    }
    if (run.phase === 'menu') {
      run.answer = text;
      ui.echo(run.drivers.length > 1 ? `${text}\n` : text);
      ui.keys();
      applyAnswer(run);
      return;
    }
    ui.echo(text);
    finish(run, run.applied);
  }

  // The engine's apply with the user's answer, on what the chain's earlier
  // applies wrote: each run's console shown as it is printed (the tool's
  // Shift_JIS bytes), then the final Enter awaited.
  async function applyAnswer(run) {
    const earlier = run.chain && run.chain.engine ? run.chain.engine.files : new Map();
    run.set = { apply: run.apply, windows: Number(run.answer.trim()), sources: run.sources };
    const planned = run.survey.json.runs;
    const shown = { run: 0, decoder: new TextDecoder('shift_jis'), menuLeft: run.menu.menu.length };
    const show = (text) => {
      // The first run's menu is on the console already.
      const skipped = Math.min(shown.menuLeft, text.length);
      shown.menuLeft -= skipped;
      if (text.length > skipped) ui.appendConsole(text.slice(skipped));
    };
    const onConsole = (index, bytes) => {
      if (state.run !== run) return;
      while (shown.run < index) {
        show(shown.decoder.decode());
        shown.run++;
        const t = ui.t();
        const next = planned[shown.run];
        ui.note(`${t('runOf', shown.run + 1, run.drivers.length, ui.label(run.survey.drivers[next ? next.driver : shown.run]))} `
                + t('answered', run.answer.trim()));
        shown.menuLeft = 0;
      }
      show(shown.decoder.decode(bytes, { stream: true }));
    };
    try {
      run.applied = await run.set.apply(run.set.windows, overOf(earlier), null, onConsole, (stop) => { run.stop = stop; });
    } catch (error) {
      fail(run, error);
      return;
    }
    if (state.run !== run) return;
    show(shown.decoder.decode());
    run.phase = 'end';
    wait(run);
  }

  // The result is the chain's: the applies' files, the original it began
  // with, each set's survey (their driver files all stay named, `drivers`).
  // `applied`: this set's apply, null where the user left at the menu.
  function finish(run, applied) {
    if (state.run !== run) return;
    state.run = null;
    const { chain } = run;
    const earlier = chain && chain.engine ? chain.engine.files : new Map();
    const folder = new Map(run.folder);
    const result = {
      setup: run.setup, original: chain ? chain.original : run.folder.get(SETUP),
      pickedBackup: chain ? chain.pickedBackup : run.backup,
      starts: [...(chain ? chain.starts : []), run.folder.get(SETUP)], folder,
      // The surveys of the sets that ran, with the conflicts their applies
      // found, which the results warn of; the drivers run last, whose
      // refused options they name.
      surveys: [...(chain ? chain.surveys : []), ...(applied ? [{ ...run.survey, conflicts: applied.outcome.conflicts }] : [])],
      lastDrivers: applied ? run.drivers : run.drivers.slice(0, 1),
      statuses: applied ? applied.outcome.statuses : [run.menu.quitStatus],
      // The engine's survey of this set's pick; none where the user left
      // at the menu (nothing written).
      drivers: surveyedDrivers(chain ? chain.drivers : [], applied ? run.survey : null),
      changes: null, changesFailed: null, urls: new Map(), rowsShown: new Map(), replace: new Set(), picked: null,
      engine: null, engineFailed: null, survey: run.survey,
      sets: [...(chain ? chain.sets || [] : []), ...(applied ? [run.set] : [])],
    };
    if (applied) {
      result.engine = { outcome: applied.outcome, files: appliedFiles(earlier, applied, run.set.sources) };
      if (applied.outcome.failure) result.engineFailed = `${applied.outcome.failure} ${applied.outcome.subject}`;
      // txtsetup.sif and its backup as the apply left them.
      for (const lower of [SETUP, BACKUP]) {
        const file = result.engine.files.get(lower);
        if (file && file.bytes) folder.set(lower, file.bytes);
      }
    } else {
      result.engine = { outcome: null, files: new Map(earlier) };
    }
    ui.forgetResult();
    state.result = result;
    ui.showAll();
    ui.showResults();
    showChanges(result);
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
