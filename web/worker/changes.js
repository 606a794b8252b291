// What changed in a setup file, section by section, for the change view:
// the lines as the engine reads them (the worker's readLines), compared.
// Decides only; the page shows the rows.

// jsdiff over whole files takes time in proportion to lines times changes
// (a second for a heavy run). Lines that occur once in each file, kept in
// the longest order both files agree on, split them into small gaps that
// jsdiff compares alone. Returns jsdiff's parts: {count, added, removed}.
export function diffLines(a, b, diffArrays) {
  const seen = new Map();  // line -> [count in a, index in a, count in b, index in b]
  a.forEach((line, i) => {
    const entry = seen.get(line) || [0, 0, 0, 0];
    entry[0]++;
    entry[1] = i;
    seen.set(line, entry);
  });
  b.forEach((line, i) => {
    const entry = seen.get(line);
    if (entry) {
      entry[2]++;
      entry[3] = i;
    }
  });
  const pairs = [...seen.values()].filter((e) => e[0] === 1 && e[2] === 1).map((e) => [e[1], e[3]]);
  pairs.sort((x, y) => x[0] - y[0]);
  // The longest run of pairs that also ascends in b (patience sorting).
  const tails = [];
  const previous = [];
  pairs.forEach(([, at], i) => {
    let low = 0;
    let high = tails.length;
    while (low < high) {
      const middle = (low + high) >> 1;
      if (pairs[tails[middle]][1] < at) low = middle + 1;
      else high = middle;
    }
    previous[i] = low > 0 ? tails[low - 1] : -1;
    tails[low] = i;
  });
  const anchors = [];
  for (let i = tails.length ? tails[tails.length - 1] : -1; i >= 0; i = previous[i]) anchors.push(pairs[i]);
  anchors.reverse().push([a.length, b.length]);
  const parts = [];
  let fromA = 0;
  let fromB = 0;
  for (const [atA, atB] of anchors) {
    parts.push(...diffArrays(a.slice(fromA, atA), b.slice(fromB, atB)));
    if (atA < a.length) parts.push({ count: 1, added: false, removed: false });
    fromA = atA + 1;
    fromB = atB + 1;
  }
  return parts;
}

// Groups the line diff into rows per section: a removed and an added entry
// with the same key in the same section are one replaced value. Lines are
// {text, section: {name, match}, key, keyMatch, value} as the engine reads
// them (`match`: the name as the engine compares it).
export function changeRows(oldLines, newLines, diffArrays) {
  const parts = diffLines(oldLines.map((l) => l.text), newLines.map((l) => l.text), diffArrays);
  const rows = [];
  const row = (kind, line, fields) => rows.push({ kind, section: line.section.name, sectionMatch: line.section.match, ...fields });
  let oldIndex = 0;
  let newIndex = 0;
  for (let p = 0; p < parts.length; p++) {
    if (!parts[p].added && !parts[p].removed) {
      oldIndex += parts[p].count;
      newIndex += parts[p].count;
      continue;
    }
    // One change: the removed lines, then the added lines.
    const removed = [];
    const added = [];
    for (; p < parts.length && (parts[p].added || parts[p].removed); p++) {
      for (let n = 0; n < parts[p].count; n++) {
        if (parts[p].removed) removed.push({ line: oldLines[oldIndex++], used: false });
        else added.push({ line: newLines[newIndex], number: ++newIndex });
      }
    }
    p--;
    for (const { line, number } of added) {
      const match = line.key === undefined ? null : removed.find((r) => !r.used && r.line.keyMatch === line.keyMatch &&
                                                                    r.line.section.match === line.section.match);
      if (match) {
        match.used = true;
        row('replaced', line, { line: number, key: line.key, old: match.line.value, now: line.value });
      } else {
        row('inserted', line, { line: number, now: line.text });
      }
    }
    for (const { line, used } of removed) if (!used) row('removed', line, { line: null, old: line.text });
  }
  return rows;
}
