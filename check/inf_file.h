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

// The first model line of the INF that lists `id` as its hardware id or a
// compatible id (any ASCII letter case): true, and its install section's
// name in install (kInfNameCapacity bytes, zero-ended). The models
// sections are those [Manufacturer] names, undecorated or with any
// decoration (Intel, Intel.NTx86).
bool InfFindModel(const char* inf, size_t size, const char* id, size_t idLength, char* install);

// Whether an AddService directive of the INF names `service`.
bool InfAddsService(const char* inf, size_t size, const char* service, size_t length);

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
