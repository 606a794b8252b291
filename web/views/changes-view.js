// The change view: what changed in txtsetup.sif, section by section. Draws
// the view model's `changes` (page/view-model.js).
import { $, el, say } from './dom.js';

// 0x1A (the end-of-file byte) and other control bytes, made visible.
const visible = (text) => text.replace(/[\x00-\x08\x0b-\x1f]/g, (c) => String.fromCharCode(0x2400 + c.charCodeAt(0)));

// `on.showAllRows(match)`: the user asks for every row of a section.
export function renderChanges(changes, t, on) {
  const box = $('changes');
  box.replaceChildren();
  if (!changes) return;
  box.setAttribute('aria-busy', String(changes.busy));
  $('change-summary').textContent = say(t, changes.summary);
  for (const section of changes.sections) {
    box.append(el('h3', {}, section.name ? `[${section.name}]` : t('beforeSections')));
    const table = el('table', { class: 'changes' },
      el('tr', {}, ...['line', 'kind', 'before', 'after'].map((k) => el('th', { scope: 'col' }, t(k)))));
    for (const row of section.rows) {
      const old = row.kind === 'replaced' ? `${row.key} = ${row.old}` : row.old || '';
      const now = row.kind === 'replaced' ? `${row.key} = ${row.now}` : row.now || '';
      table.append(el('tr', { class: row.kind },
        el('td', { class: 'line' }, row.line === null ? '' : String(row.line)),
        el('td', { class: 'kind' }, t(row.kind)),
        el('td', { class: 'old' }, visible(old)),
        el('td', { class: 'new' }, visible(now))));
    }
    box.append(table);
    if (section.more) {
      const more = el('button', { type: 'button', class: 'more' }, t('showAll', t.number(section.more)));
      more.addEventListener('click', () => on.showAllRows(section.match));
      box.append(more);
    }
  }
}
