// The engine reads the picked files it needs, and the page has their bytes
// (a worker of WebKit cannot read a File it is sent): a round of the
// engine runs on what the worker has, notes each file it read without its
// bytes, and is run again once the page gave them.

// What `round(files, needed)` gives once a round read only files it has the
// bytes of. `files` (a Map of path -> bytes or {size}) starts as `sent` and
// grows by what `ask(paths)` ([[path, bytes]]) gives for the paths a round
// put into `needed`. Ends too when the page gives nothing new: that
// round's outcome, the engine's own word on a file it could not read.
// Each further round has one file more at least, so rounds <= files + 1.
export async function inRounds(sent, round, ask) {
  const files = new Map(sent);
  for (;;) {
    const needed = new Set();
    const outcome = await round(files, needed);
    if (needed.size === 0) return outcome;
    const given = await ask([...needed]);
    const fresh = given.filter(([path, bytes]) => bytes instanceof Uint8Array && needed.has(path) && !(files.get(path) instanceof Uint8Array));
    if (fresh.length === 0) return outcome;
    for (const [path, bytes] of fresh) files.set(path, bytes);
  }
}
