// What the browser gives the page: the files of a pick or a drop, each with
// its path within what was given.

export function* pickedFiles(fileList) {
  for (const file of fileList) {
    const path = file.webkitRelativePath || file.name;
    yield { path, file, inFolder: path.includes('/') };
  }
}

// A dropped folder, walked through; its files come with their paths.
export async function* droppedFiles(roots) {
  for (const root of roots) yield* walk(root);
}

async function* walk(entry) {
  if (entry.isFile) {
    const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
    const path = entry.fullPath.replace(/^\//, '');
    yield { path, file, inFolder: path.includes('/') };
    return;
  }
  const reader = entry.createReader();
  for (;;) {
    const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
    if (batch.length === 0) return;
    for (const child of batch) yield* walk(child);
  }
}

// The items of a drop are readable only during the event. Files that carry
// their path within a folder (as a folder pick gives them) keep it.
export function droppedSource(dataTransfer) {
  const files = [...dataTransfer.files];
  const items = [...dataTransfer.items].map((item) => item.webkitGetAsEntry && item.webkitGetAsEntry());
  if (files.length && files.every((file) => file.webkitRelativePath)) return pickedFiles(files);
  if (items.length && items.every(Boolean)) return droppedFiles(items);
  return pickedFiles(files);
}
