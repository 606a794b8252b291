// A device INF file as GUI-mode setup's Plug and Play reads it, for the
// check of a setup folder and the integration engine: which models list a
// hardware id, which install section Windows takes, what it copies and
// which services it adds. One reading for both, within the caller's
// buffers: nothing is allocated.
//
// Lines are read as the profile engine reads them (platform.h); section
// and key names compare without regard to ASCII letter case. A value is a
// list of fields split at commas; blanks around a field are dropped, and
// one pair of double quotes around it; a ';' outside quotes ends the value
// (a comment). Includes, Needs and string substitutions (%name%) are not
// followed: a name written with one is taken as it is.
#ifndef OEM2SIF_CHECK_INF_FILE_H
#define OEM2SIF_CHECK_INF_FILE_H

#include <cstddef>

namespace o2s {

// Section names longer than this, less one, are cut.
const size_t kInfNameCapacity = 128;

// The INF's text in single bytes, into out (capacity bytes): a UTF-16LE
// file (one that begins FF FE) is decoded, each character above 0xFF made
// '?', its BOM dropped; any other file is copied. Returns the size written;
// what does not fit is cut.
size_t InfText(const unsigned char* raw, size_t size, char* out, size_t capacity);

// Field `index` (from 0) of the value text[0, length), as described above.
// False where the value has fewer fields.
bool InfField(const char* text, size_t length, unsigned index, const char** field,
              size_t* fieldLength);

// Each [Manufacturer] entry and each file list is one pass over the INF:
// only the first kInfMaxManufacturers entries are read, and the first
// kInfMaxFileLists file lists of one InfCopiedFiles call, so that a hostile
// INF costs at most that many passes. Real ones have a handful of each.
const unsigned kInfMaxManufacturers = 32;
const unsigned kInfMaxFileLists = 64;

// The first model line of the INF that lists `id` as its hardware id or a
// compatible id (any ASCII letter case): true, and its install section's
// name in install (kInfNameCapacity bytes, zero-ended). The models
// sections are those [Manufacturer] names, undecorated or with any
// decoration (Intel, Intel.NTx86).
bool InfFindModel(const char* inf, size_t size, const char* id, size_t idLength, char* install);

// Calls visit(context, install, installLength, id, idLength) for each
// hardware or compatible id of each model line, in file order, in the
// models sections InfFindModel reads: two passes over the INF, for a
// caller that looks up many ids at once. Returns how many were visited.
typedef void (*InfModelVisitor)(void* context, const char* install, size_t installLength, const char* id,
                                size_t idLength);
unsigned InfModelIds(const char* inf, size_t size, InfModelVisitor visit, void* context);

// The forms of hardware id id[0, length) that a model line may list for
// the device, as Plug and Play matches them: the id itself, then the id cut
// before each '&' after its first one (PCI\VEN_1AF4&DEV_1001&SUBSYS_0 is
// served by a model listing PCI\VEN_1AF4&DEV_1001). Writes each form's
// length into lengths (at most `capacity`), longest first; returns how many.
unsigned InfIdForms(const char* id, size_t length, size_t* lengths, unsigned capacity);

// Whether an AddService directive of the INF names `service`.
bool InfAddsService(const char* inf, size_t size, const char* service, size_t length);

// Calls visit(context, service, length) for the service each AddService
// directive names, in file order. Returns how many were visited.
typedef void (*InfNameVisitor)(void* context, const char* name, size_t length);
unsigned InfAddedServices(const char* inf, size_t size, InfNameVisitor visit, void* context);

// The install section Windows takes for `base` on `machine` (check/
// pe_image.h's kMachine*; 0 unknown), into out (kInfNameCapacity bytes):
// base.NT<arch> (NTx86, NTamd64, NTia64) where the INF has that section,
// else base.NT where it has that, else base.
void InfInstallSection(const char* inf, size_t size, const char* base, unsigned machine, char* out);

// Calls visit(context, name, length) for each file the CopyFiles
// directives of section `install` and of `install`.CoInstallers name: a
// file list's line gives its source name (its second field where that is
// not empty, else its first), "@name" the name itself. Names come as the
// INF spells them, unchecked: the caller takes them as file names only
// after its own checks. Returns how many were visited.
typedef void (*InfFileVisitor)(void* context, const char* name, size_t length);
unsigned InfCopiedFiles(const char* inf, size_t size, const char* install, InfFileVisitor visit,
                        void* context);

}  // namespace o2s

#endif  // OEM2SIF_CHECK_INF_FILE_H
