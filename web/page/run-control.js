// The ticked drivers, one run each, in the order shown, on one folder in
// memory: each run gets the files the one before left, with its own
// txtsetup.oem in place, as successive runs in a console would. The user
// answers the first run's menu; the later runs get the same answer typed
// ahead, and the last one waits for the final Enter.
import { OEM, SETUP, BACKUP, sameBytes } from './names.js';
import { resolve, tickedDrivers, canRun, bytesOf } from './picks.js';
import { runOutcome, combinedDrivers, conflicts } from './plan.js';
import { CANCELLED } from './worker-bridge.js';

// `ui`: t() for the current language, and what the views do: pick(),
// keys(), results(), changes(result), note(text), clearConsole(),
// appendConsole(text), echo(text), showRun(), showWaiting(), failed(error).
export function runControl(state, bridge, ui) {
  async function start() {
    const used = resolve(state.entries, state.choices, state.ticks);
    const drivers = tickedDrivers(used);
    if (state.run !== null || state.reading || ui.optionsPending() || !canRun(used)) return;
    const run = { phase: 'menu', waiting: false, answer: null, drivers, runs: [],
                  setup: used[SETUP].entry, backup: used[BACKUP].entry, decoder: new TextDecoder('shift_jis') };
    state.run = run;
    ui.forgetResult();
    ui.clearConsole();
    ui.pick();
    ui.keys();
    ui.showRun();
    const folder = new Map();  // lower-case name -> bytes
    let oems;
    try {
      folder.set(SETUP, await bytesOf(run.setup));
      if (run.backup) folder.set(BACKUP, await bytesOf(run.backup));
      oems = await Promise.all(drivers.map(bytesOf));
    } catch (error) {
      fail(run, error);
      return;
    }
    const initial = new Map(folder);
    for (let i = 0; i < drivers.length && state.run === run; i++) {
      const last = i === drivers.length - 1;
      const t = ui.t();
      if (drivers.length > 1) {
        ui.note(t('runOf', i + 1, drivers.length, drivers[i].path) + (i ? ` ${t('answered', run.answer.trim())}` : ''));
      }
      const files = [...folder].filter(([name]) => name !== OEM).concat([[OEM, oems[i]]]);
      const typedAhead = i === 0 ? '' : run.answer + (last ? '' : '\n');
      run.phase = i === 0 ? 'menu' : 'end';
      run.tool = bridge.runTool(files, typedAhead, {
        baseline: initial.get(SETUP),
        changes: last,
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
      for (const [name, bytes, fileState] of result.files) {
        if (fileState === 'deleted') folder.delete(name);
        else if (fileState !== 'unchanged') folder.set(name, bytes);
      }
      // Left at the menu: the later runs would leave too.
      if (last || run.answer === null) finish(run, initial, folder, result.changes);
    }
  }

  function fail(run, error) {
    if (state.run !== run) return;
    state.run = null;
    if (error !== CANCELLED) {
      console.error(error);
      ui.note(ui.t()('failed', error.message));
    }
    ui.pick();
    ui.keys();
  }

  function cancel() {
    if (state.run === null) return;
    const run = state.run;
    if (run.tool) run.tool.cancel();
    state.run = null;
    ui.note(ui.t()('cancelled'));
    ui.pick();
    ui.keys();
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

  // The runs' files replace those they were given (as the tool leaves the
  // folder); a file they made joins the folder of txtsetup.sif.
  function finish(run, initial, folder, changes) {
    if (state.run !== run) return;
    state.run = null;
    const setup = run.setup;
    const files = [];
    for (const lower of [SETUP, BACKUP]) {
      const before = initial.get(lower);
      const after = folder.get(lower);
      if (!before && !after) continue;
      const fileState = !before ? 'created' : !after ? 'deleted' : sameBytes(before, after) ? 'unchanged' : 'changed';
      let entry = lower === SETUP ? setup : run.backup;
      if (fileState === 'created') {
        entry = { path: setup.folder + lower, folder: setup.folder, name: lower, lower, size: 0, file: null, inFolder: setup.inFolder };
        state.entries.set(entry.path, entry);
      }
      if (fileState === 'deleted') state.entries.delete(entry.path);
      else if (fileState !== 'unchanged') Object.assign(entry, { bytes: after, size: after.length });
      files.push({ name: entry.name, lower, state: fileState, bytes: after, url: null });
    }
    const result = { statuses: run.runs.map((r) => r.status), runs: run.runs, files, changes: null,
                     changesFailed: null, drivers: combinedDrivers(run.runs), conflicts: conflicts(run.runs),
                     setup, initialSetup: initial.get(SETUP), zipUrl: null, rowsShown: new Map() };
    state.result = result;
    changes.then((rows) => {
      result.changes = rows;
      if (state.result === result) ui.changes(result);
    }, (error) => {
      console.error(error);
      result.changesFailed = error.message;
      if (state.result === result) ui.changes(result);
    });
    ui.pick();
    ui.keys();
    ui.results();
    ui.showResults();
  }

  return { start, cancel, answer };
}
