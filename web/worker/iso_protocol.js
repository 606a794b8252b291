// An ISO image as the setup source, between the worker and the module
// (web/iso_web.cpp): the result's layout as the module tells it
// (o2s_iso_layout; web/test/iso-export.test.mjs holds this declaration to
// it), the rounds that fetch what the module lacks, and the new image as
// parts for a Blob or a save-file stream. The module decides everything;
// this only carries bytes.

export const ISO = Object.freeze({
  iso: ['stop', 'problem', 'subject', 'needed', 'cached', 'setupFolder', 'survey', 'files', 'pieces', 'size', 'check'],
  isoPiece: ['from', 'size', 'bytes'],
  isoCheck: ['done', 'count', 'problems'],
  isoStop: ['none', 'needRanges', 'imageRefused', 'noSetupFolder', 'scratchFailed', 'unusable', 'noVersion', 'nothingTicked',
            'applyFailed', 'updateRefused', 'cacheFull', 'noImage', 'noMemory'],
  isoProblem: ['unreadable', 'notIso', 'blockSize', 'cut', 'sessions', 'udf', 'otherDescriptor', 'rockRidge', 'hybrid',
               'interleaved', 'extendedAttributes', 'pastEnd', 'loop', 'badRecord', 'tooDeep', 'tooMany', 'pathTable',
               'multiExtent', 'nameTooLong', 'nameNotAscii', 'fileTooBig', 'nameTaken', 'noJolietFolder', 'tooBig'],
});

// One call of the module's integration over what its cache holds.
function integrateOnce(module, driverFolders, ticks, windows) {
  const size = module._malloc(4);
  try {
    const at = module.ccall('o2s_iso_integrate', 'number', ['string', 'string', 'number', 'number'],
                            [driverFolders.join('\n'), ticks.map((t) => t.map(Number).join(' ')).join('\n'), windows, size]);
    return JSON.parse(new TextDecoder().decode(module.HEAPU8.subarray(at, at + module.HEAPU32[size >> 2])));
  } finally {
    module._free(size);
  }
}

// The module's integration of an image of `imageSize` bytes with the driver
// folders laid out in its file system (as for o2s_apply), ticks as
// [[driver, option, ticked]] and `windows` (0, 1, 2). `readRange(offset,
// size)` gives a promise of the image's bytes there (a File's slice in the
// page). Each round adds what the last one lacked; the module bounds the
// rounds (its cache only grows, up to its limit: then stop "cacheFull").
// Returns the last result (ISO.iso's fields) with `rounds` and `fetched`.
export async function integrateImage(module, imageSize, readRange, driverFolders, ticks = [], windows = 0) {
  if (!module._o2s_iso_open(imageSize)) return { stop: 'noImage', rounds: 0, fetched: 0 };
  let fetched = 0;
  for (let rounds = 1; ; rounds++) {
    const result = integrateOnce(module, driverFolders, ticks, windows);
    if (result.stop !== 'needRanges' || result.needed.length === 0) return { ...result, rounds, fetched };
    for (const [offset, size] of result.needed) {
      const bytes = new Uint8Array(await readRange(offset, size));
      const at = module._malloc(bytes.length || 1);
      module.HEAPU8.set(bytes, at);
      const added = module._o2s_iso_add(offset, at, bytes.length);
      module._free(at);
      fetched += bytes.length;
      if (!added) return { ...result, stop: 'cacheFull', rounds, fetched };
    }
  }
}

// The new image as parts in order: `slice(from, to)` of the original (the
// File's slice: never read into memory) or copies of the module's bytes.
// new Blob(parts) is the image; a save-file stream takes them one by one.
export function imageParts(module, result, slice) {
  const size = module._malloc(4);
  try {
    return result.pieces.map((piece) => {
      if (piece.from !== null) return slice(piece.from, piece.from + piece.size);
      const at = module._o2s_iso_piece(piece.bytes, size);
      return module.HEAPU8.slice(at, at + module.HEAPU32[size >> 2]);
    });
  } finally {
    module._free(size);
  }
}
