// A setup folder the user picked to write into, through the File System
// Access API (Chrome, Edge): its files by name, their bytes, and the writes.
import { SETUP, foldName } from './names.js';
import { writeOrder } from './plan.js';

// A folder's files by lower-case name: the first name in byte order of
// those that differ only in letter case, as the tool's file operations take
// it.
async function listFolder(handle) {
  const files = new Map();
  const folders = new Map();
  const names = [];
  for await (const [name, child] of handle.entries()) names.push([name, child.kind]);
  names.sort(([a], [b]) => (a < b ? -1 : a > b ? 1 : 0));
  for (const [name, kind] of names) {
    const map = kind === 'file' ? files : folders;
    if (!map.has(foldName(name))) map.set(foldName(name), name);
  }
  return { files, folders };
}

export const readFileIn = async (folder, name) =>
  new Uint8Array(await (await (await folder.getFileHandle(name)).getFile()).arrayBuffer());

// The picked folder, or its I386, whichever holds txtsetup.sif: {handle,
// names (lower-case name -> name there)}, or null.
export async function setupFolderIn(picked) {
  let listing = await listFolder(picked);
  if (listing.files.has(SETUP)) return { handle: picked, names: listing.files };
  if (listing.folders.has('i386')) {
    const handle = await picked.getDirectoryHandle(listing.folders.get('i386'));
    listing = await listFolder(handle);
    if (listing.files.has(SETUP)) return { handle, names: listing.files };
  }
  return null;
}

// Writes the items ({name, bytes}) in their order (plan.js), each through
// createWritable(): the browser writes a swap file and puts it in place on
// close(), so a closed tab leaves the old file or the new one; each file's
// size is checked before the next is written. Returns them in the order
// written.
export async function writeFiles(folder, items) {
  const ordered = [...items].sort((a, b) => writeOrder(foldName(a.name)) - writeOrder(foldName(b.name)));
  for (const item of ordered) {
    const handle = await folder.handle.getFileHandle(item.name, { create: true });
    const writable = await handle.createWritable();
    try {
      await writable.write(item.bytes);
      await writable.close();
    } catch (error) {
      await writable.abort().catch(() => {});
      throw error;
    }
    // Checked before the next write: a driver file that did not land whole
    // stops the write before txtsetup.sif names it.
    const size = (await handle.getFile()).size;
    if (size !== item.bytes.length) throw new Error(`${item.name}: ${size} / ${item.bytes.length}`);
  }
  return ordered;
}

