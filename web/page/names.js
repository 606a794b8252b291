// The names the page goes by: the three files of a run, and how file names
// compare and sort.
export const OEM = 'txtsetup.oem';
export const SETUP = 'txtsetup.sif';
export const BACKUP = 'txtsetup.sif.orig';
export const NAMES = [OEM, SETUP, BACKUP];
// Where the setup source has it: the list of files winnt32.exe (and the
// ways to put setup on a USB stick) copy, and the page's backup of it.
export const DOSNET = 'dosnet.inf';
export const DOSNET_BACKUP = 'dosnet.inf.orig';

// File names match in any ASCII letter case, as the tool's own file
// operations match them (platform/platform.h).
export const foldName = (name) => name.replace(/[A-Z]+/g, (letters) => letters.toLowerCase());

// Setup reads a driver file as it is or compressed, with the last letter of
// its extension made "_" (a short or missing extension gets one).
export function compressedName(name) {
  const dot = name.lastIndexOf('.');
  if (dot < 0) return `${name}._`;
  return name.length - dot - 1 < 3 ? `${name}_` : `${name.slice(0, -1)}_`;
}

// Drivers are shown, and run, in the order of their paths, numbers taken as
// numbers ("8.9.8" before "11.2").
const collator = new Intl.Collator('en', { numeric: true });
export const byPath = (a, b) => collator.compare(a.path, b.path) || (a.path < b.path ? -1 : a.path > b.path ? 1 : 0);

// A file that holds nothing (an entry's size, or bytes read) counts as not
// there: what a write cut short, or a tab closed while the page wrote,
// leaves. The file, or null.
export const present = (file) => (file && (file.size ?? file.length) > 0 ? file : null);

// Compared four bytes at a time where both are aligned alike: a 10 MB
// setup file is compared several times per change.
export function sameBytes(a, b) {
  if (a.length !== b.length) return false;
  if (a === b) return true;
  let i = 0;
  const head = (4 - (a.byteOffset % 4)) % 4;
  if ((a.byteOffset - b.byteOffset) % 4 === 0 && a.length >= head + 4) {
    for (; i < head; i++) if (a[i] !== b[i]) return false;
    const words = (a.length - head) >> 2;
    const wa = new Int32Array(a.buffer, a.byteOffset + head, words);
    const wb = new Int32Array(b.buffer, b.byteOffset + head, words);
    for (let w = 0; w < words; w++) if (wa[w] !== wb[w]) return false;
    i = head + words * 4;
  }
  for (; i < a.length; i++) if (a[i] !== b[i]) return false;
  return true;
}
