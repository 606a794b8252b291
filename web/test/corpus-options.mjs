// The options of a corpus txtsetup.oem roughly as the module's reading of a
// driver gives them to the page (web/driver_web.cpp): key, description,
// driver file, ids with services, file lines with their disk's folder below
// the driver's. Enough for the page's rules; the engine's own reading is
// tested in C++.
import { readFileSync } from 'node:fs';
import { fileURLToPath } from 'node:url';

const corpus = fileURLToPath(new URL('../../tests/corpus/', import.meta.url));

function sections(text) {
  const found = new Map();
  let lines = null;
  for (const raw of text.split(/\r?\n/)) {
    const line = raw.replace(/[;#].*$/, '').trim();
    const header = line.match(/^\[(.*)\]$/);
    if (header) {
      const name = header[1].trim().toLowerCase();
      if (!found.has(name)) found.set(name, []);
      lines = found.get(name);
    } else if (line && lines) {
      const at = line.indexOf('=');
      if (at > 0) lines.push([line.slice(0, at).trim(), line.slice(at + 1).split(',').map((f) => f.trim().replace(/^"|"$/g, ''))]);
    }
  }
  return found;
}

const below = (directory) => (directory === undefined ? null : directory.replace(/\\/g, '/').replace(/^\/+|\/+$/g, ''));

export function corpusOptions(file) {
  const all = sections(readFileSync(corpus + file, 'latin1'));
  const disks = new Map((all.get('disks') || []).map(([tag, fields]) => [tag.toLowerCase(), below(fields[2])]));
  return (all.get('scsi') || []).map(([key, fields], index) => {
    const files = (all.get(`files.scsi.${key.toLowerCase()}`) || [])
      .filter(([kind]) => ['driver', 'inf', 'catalog', 'dll'].includes(kind.toLowerCase()))
      .map(([kind, [disk, name]]) => ({ kind: kind.toLowerCase(), disk, name, directory: disks.get(disk.toLowerCase()) ?? null, refused: null }));
    // Only lines keyed "id", in that letter case, as the tool reads them
    // (LSI's MegaRAID names each line after its option: the tool skips it).
    const ids = (all.get(`hardwareids.scsi.${key.toLowerCase()}`) || []).filter(([name]) => name === 'id')
      .map(([, [id, service]]) => ({ id, match: id.toLowerCase(), service: (service || '').toLowerCase() }));
    const driver = files.find((f) => f.kind === 'driver');
    return { index, key, description: fields[0], driverFile: driver ? driver.name : null, driverFileRefused: null,
             ids, files, service: ids.length ? ids[0].service : null, messages: '' };
  });
}
