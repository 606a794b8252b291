// Every change to the setup information file (txtsetup.sif) and its
// companions txtsetup.sif.temp and txtsetup.sif.orig.
#ifndef OEM2SIF_SIF_SIF_WRITER_H
#define OEM2SIF_SIF_SIF_WRITER_H

namespace o2s {

// Bytes in the scratch buffer that WriteDriverOption formats into,
// terminator included.
const unsigned kScratchCapacity = 100;

// Once per run, before anything is read: when .\txtsetup.sif exists and
// .\txtsetup.sif.orig does not, the file becomes .\txtsetup.sif.orig and a
// fresh copy of it becomes .\txtsetup.sif. An existing .\txtsetup.sif.orig is
// never changed; a left-over .\txtsetup.sif.temp stands in for a missing
// .\txtsetup.sif. Prints nothing; failures are silent, but never leave the
// run without .\txtsetup.sif when it had one.
void RotateSetupBackup();

// Writes one driver option into `fileName` (always .\txtsetup.sif):
// "SCSI" and "SCSI.Load" entries keyed by services[0], the driver file under
// "SourceDisksFiles" with the value for the target (targetIsWindows2000
// nonzero: Windows 2000, zero: Windows XP), every id under
// "HardwareIdsDatabase" mapped to services[0]; then appends one 0x1A byte.
// Refuses the option, with a message and without writing anything, when
// `driverFile` is null, `idCount` is 0, or services[0] does not fit its
// quoted value. A description too long for its quoted value is cut at a
// character boundary; the printed one stays whole. Prints progress, a
// warning per id whose service differs, and the write-protection message
// when the file cannot be opened for appending; when it can, but one of
// the option's writes did not land, a message that writing failed. `scratch` must hold
// kScratchCapacity bytes; nothing is written past it. `optionKey` serves
// only the messages.
void WriteDriverOption(const char* fileName, char* scratch,
                       const char* optionKey, const char* description,
                       const char* driverFile, char* const* ids,
                       char* const* services, unsigned idCount,
                       unsigned char targetIsWindows2000);

}  // namespace o2s

#endif  // OEM2SIF_SIF_SIF_WRITER_H
