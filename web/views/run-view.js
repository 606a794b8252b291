// The console of the runs and the answers to the tool.
import { $, el } from './dom.js';

const consoleView = () => $('console');

export function clearConsole() {
  consoleView().replaceChildren();
}

// The tool's own output, as a terminal shows it; kept in view at the end
// unless the user scrolled up.
export function appendConsole(text) {
  const view = consoleView();
  const atEnd = view.scrollTop + view.clientHeight >= view.scrollHeight - 8;
  view.append(text);
  if (atEnd) view.scrollTop = view.scrollHeight;
}

// What the user types shows as a terminal echoes it; it is not the tool's
// output.
export function echo(text) {
  consoleView().append(el('span', { class: 'echo' }, text));
}

// The page's own lines in the console, told apart from the tool's.
export function note(text) {
  const view = consoleView();
  view.append(el('span', { class: 'page-note' }, `${view.textContent ? '\n' : ''}${text}\n`));
  view.scrollTop = view.scrollHeight;
}

export function renderKeys(run, t) {
  const waiting = run !== null && run.waiting;
  const keys = [['key-1', 'key1', run && run.phase === 'menu'], ['key-2', 'key2', run && run.phase === 'menu'],
                ['key-enter', run && run.phase === 'end' ? 'keyEnd' : 'keyQuit', true]];
  // The answer the setup source's version takes is marked.
  const target = run && run.phase === 'menu' ? { 1: 'key-1', 2: 'key-2' }[run.target] : null;
  for (const [id, label, allowed] of keys) {
    $(id).textContent = t(label);
    $(id).classList.toggle('target', id === target);
    $(id).title = id === target ? t('keyTarget') : '';
    $(id).disabled = !waiting || !allowed;
    $(id).classList.toggle('waiting', waiting && Boolean(allowed));
  }
  $('cancel').disabled = run === null;
  consoleView().classList.toggle('running', run !== null);
  $('run-status').textContent = run === null ? '' : !waiting ? t('running')
    : run.phase === 'menu' ? t('waitingMenu') + (target ? t('waitingTarget', run.target) : '') : t('waitingEnd');
}
