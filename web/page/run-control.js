// The ticked drivers, one run each, in the order shown, on one folder in
// memory: each run gets the files the one before left, with its own
// txtsetup.oem in place, as successive runs in a console would. The user
// answers the first run's menu; the later runs get the same answer typed
// ahead, and the last one waits for the final Enter.
import { OEM, SETUP, BACKUP } from './names.js';
import { bytesOf } from './picks.js';
import { runOutcome, combinedDrivers, conflicts } from './plan.js';
import { CANCELLED } from './worker-bridge.js';

// `ui`: t() for the current language, label(entry), runPlan() (the view
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
                  setup: pick.run.setup, backup: pick.run.backup, decoder: new TextDecoder('shift_jis') };
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
      folder = chain ? new Map(chain.folder) : new Map([[SETUP, await bytesOf(run.setup)]]);
      if (!chain && run.backup) folder.set(BACKUP, await bytesOf(run.backup));
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
        ui.note(t('runOf', i + 1, drivers.length, ui.label(drivers[i])) + (i ? ` ${t('answered', run.answer.trim())}` : ''));
      }
      const files = [...folder].filter(([name]) => name !== OEM).concat([[OEM, oems[i]]]);
      const typedAhead = i === 0 ? '' : run.answer + (last ? '' : '\n');
      run.phase = i === 0 ? 'menu' : 'end';
      run.tool = bridge.runTool(files, typedAhead, {
        keep: kept.get(drivers[i]),
        baseline: chain ? chain.original : initial.get(SETUP),
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
      for (const [name, bytes, fileState, blob] of result.files) {
        if (fileState === 'deleted') folder.delete(name);
        else if (fileState !== 'unchanged') folder.set(name, bytes);
        if (blob) state.blobs.set(bytes, blob);
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
  // with, every run of it (their driver files all stay named).
  function finish(run, initial, folder, changes) {
    if (state.run !== run) return;
    state.run = null;
    const { chain } = run;
    const runs = [...(chain ? chain.runs : []), ...run.runs];
    const result = {
      setup: run.setup, original: chain ? chain.original : initial.get(SETUP),
      pickedBackup: chain ? chain.pickedBackup : run.backup,
      starts: [...(chain ? chain.starts : []), initial.get(SETUP)], folder, runs, lastRuns: run.runs,
      drivers: combinedDrivers(runs), conflicts: conflicts(runs, ui.label),
      changes: null, changesFailed: null, urls: new Map(), rowsShown: new Map(), replace: new Set(), picked: null,
    };
    ui.forgetResult();
    state.result = result;
    changes.then((rows) => {
      result.changes = rows;
      if (state.result === result) ui.changes();
    }, (error) => {
      console.error(error);
      result.changesFailed = error.message;
      if (state.result === result) ui.changes();
    });
    ui.showAll();
    ui.showResults();
  }

  return { start, cancel, answer };
}
