// The pack of three drivers that tools/test-web.sh lays out (pack/ of the
// work folder), and what the Linux build's runs of it leave, shared by the
// pack's cases and the cases that write into a folder.
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { workDir, read, sample } from './harness.mjs';

export const pack = join(workDir, 'pack');
export const packDrivers = ['drivers/Intel/8.9.8/TXTSETUP.OEM', 'drivers/Intel/11.2/TXTSETUP.OEM', 'drivers/ULi/TXTSETUP.OEM'];

// What the pack's runs leave in the setup folder, by name.
export const packResult = () => new Map([['TXTSETUP.SIF', read('sif-pack')], ['txtsetup.sif.orig', sample],
  ['DOSNET.INF', read('dosnet-pack')], ['dosnet.inf.orig', readFileSync(join(pack, 'setup/I386/DOSNET.INF'))],
  ['IASTOR.SYS', readFileSync(join(pack, 'drivers/Intel/11.2/IASTOR.SYS'))], ['M5228.SY_', readFileSync(join(pack, 'drivers/ULi/win_xp/M5228.SY_'))]]);

export const givePack = (p) => p.giveFolders([join(pack, 'setup/I386'), join(pack, 'drivers')], 3);
