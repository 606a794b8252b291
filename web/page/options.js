// What the results say of an option on their own: the name of a machine,
// and a file line the page refuses. Which options are ticked, and why, and
// where two write over each other, is the engine's survey's
// (engine/survey.h). Decides only: no DOM, no worker.
import { CODES } from '../worker/protocol.js';

// The machines of PE headers, as the module tells them.
export const { x86: X86, x64: X64, ia64: IA64 } = CODES.machine;

export const machineName = (machine) => ({ [X86]: 'x86', [X64]: 'x64', [IA64]: 'IA64' })[machine] || null;

// A file line the page refuses to bring into the setup folder, as the
// module's reading of the option marks it (not a plain file name, or one of
// the setup's own files: txtsetup.sif, dosnet.inf, their backups): the
// first such line, or null.
export const refusedFile = (option) =>
  (option.driverFileRefused ? { name: option.driverFile, why: option.driverFileRefused }
    : (option.files || []).filter((f) => f.refused).map((f) => ({ name: f.name, why: f.refused }))[0] || null);
