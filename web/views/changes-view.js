// The change view: what changed in txtsetup.sif, section by section.
import { $, el } from './dom.js';

// Rows of the change view shown per section before "show all".
const ROWS_SHOWN = 100;

// 0x1A (the end-of-file byte) and other control bytes, made visible.
const visible = (text) => text.replace(/[\x00-\x08\x0b-\x1f]/g, (c) => String.fromCharCode(0x2400 + c.charCodeAt(0)));

export function renderChanges(result, t) {
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
    ? t('summary', t.number(count('inserted')), t.number(count('replaced')), t.number(count('removed'))) : t('noChanges');
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
      const more = el('button', { type: 'button', class: 'more' }, t('showAll', t.number(sectionRows.length - shown)));
      more.addEventListener('click', () => {
        result.rowsShown.set(match, sectionRows.length);
        renderChanges(result, t);
      });
      box.append(more);
    }
  }
}
