// The operating-system layer of oem2sif: profile files, file operations,
// the append stream and the console. run/, oem/ and sif/ reach the system
// only through this header.
//
// Every name lives in namespace o2s, so the profile and file operations can
// keep their Windows names without clashing with <windows.h>.
//
// File names: a leading ".\" means the current folder, on every system and
// for every operation here (the append stream included). The folders of a
// name are used as they are; its last part matches in any ASCII letter
// case, as on Windows. On POSIX systems every operation here uses:
// - the entry of exactly that name, if there is one (a dangling symbolic
//   link too);
// - else the folder's entry whose name differs only in ASCII letter case
//   (bytes at 0x80 and above match exactly), the first in byte order of
//   several;
// - else the name as given, under which a missing file is created; so also
//   in a folder that cannot be listed.
// So an operation that never replaces fails when the name exists in any
// letter case. A folder's listing is read once and kept until this process
// creates, renames or deletes a name, or the folder's modification or
// status-change time changes (one read within 2 s of the folder's last
// change is not kept: a coarse clock would not tell a change in that time).
// A symbolic link found either way is treated as each operation below
// says.
//
// No operation throws. Results that report success are nonzero on success
// and 0 on failure; the tool itself mostly ignores them, tests do not.
#ifndef OEM2SIF_PLATFORM_PLATFORM_H
#define OEM2SIF_PLATFORM_PLATFORM_H

#include <cstdarg>
#include <cstddef>

namespace o2s {

// ---------------------------------------------------------------------------
// Profile files (Windows initialization files).
//
// How a file is read, on every system:
// - Lines end with CR LF, LF or a lone CR; the last line end may be missing.
// - White space is space, tab and the DOS end-of-file byte 0x1A.
// - A line whose first non-blank byte is '[' is a section header. The name
//   runs to the first ']' (or to the line end), trimmed of white space.
// - A line whose first non-blank byte is ';' or '#' is a comment.
// - Any other line with an '=' is an entry: key before the first '=', value
//   after it, both trimmed of white space. Other lines are ignored.
// - Section and key names match without regard to ASCII letter case; bytes
//   at 0x80 and above match exactly. A section whose header appears more than
//   once is one section, its entries in file order.
// - There is no limit on file size, line length or name length.
//
// A null file name reads as a missing file (Windows reads win.ini instead);
// a write refuses it.
//
// The engine keeps the parsed file in memory between calls and checks the
// file's identity before it trusts that copy: device, inode (file index on
// Windows), size, modification time and, on POSIX systems, the time of the
// last status change, which catches a rewrite that sets the modification
// time back (cp -p, touch -r); on Windows, GetFileInformationByHandle (all
// that Windows 2000 offers) has no such time. So another program's rewrite
// of the file in place, to the same size, goes unseen when it falls within
// one tick of the file system's clock (2 seconds on FAT, whose change time
// on Linux is its modification time; some milliseconds elsewhere), and on
// Windows also when it sets the modification time back.
//
// Calling WritePrivateProfileStringA with section, key and value all null
// drops the copy of that file, as on Windows.
// ---------------------------------------------------------------------------

// Fills buf with the entries of `section` as "key=value" texts, each ended by
// a zero byte, in file order, then one more zero byte. A key that occurs
// several times is delivered every time. A section that does not fit is cut
// between entries; both closing zero bytes always lie within `capacity`, and
// nothing is written at or past buf[capacity] (capacity 0 writes nothing,
// capacity 1 writes one zero byte). A missing or unreadable file, or a
// missing section, gives the empty list. Returns the bytes written before the
// final zero byte.
unsigned GetPrivateProfileSectionA(const char* section, char* buf,
                                   unsigned capacity, const char* fileName);

// Copies the value of the first occurrence of `key` in `section` into buf,
// with one pair of double quotes around the whole value removed, cut to
// capacity - 1 bytes and ended by a zero byte. When the file, the section or
// the key is missing, `defaultValue` is copied instead (under the same cut).
// Capacity 0 writes nothing. Returns the bytes copied before the zero byte.
unsigned GetPrivateProfileStringA(const char* section, const char* key,
                                  const char* defaultValue, char* buf,
                                  unsigned capacity, const char* fileName);

// Sets `key` in `section` to exactly the bytes of `value`.
// - An existing key (its first occurrence) has only its value bytes
//   replaced; the rest of that line stays.
// - A new key goes right after the last entry line of the section's first
//   occurrence, as "key = value". A new section goes at the end of the file
//   after a blank line (one is added unless the file ends with one). New
//   lines use the file's own line end (that of its first line; CR LF for a
//   new file or one without any line end).
// - The 0x1A run that ends the file is dropped, since setup stops reading at
//   the first 0x1A: from the first 0x1A byte of the trailing run of white
//   space and line ends to the end of the file. The blank lines and line
//   ends before that byte stay, byte for byte.
// - Every other byte of the file stays as it was.
// - A write that would not change the file does not touch it.
// - The new content is written to a temporary file created exclusively in
//   the same folder, with the old file's permission bits where the file
//   system keeps them (where it refuses them, FAT through FUSE say, the
//   write goes on), and renamed over the file: a crash leaves the old file
//   or the new one, never a torn one. Temporary files that killed runs left
//   beside a file (named after it, with the id of a process that is gone)
//   are removed by the first write to that file in a run, or copy from or
//   to it.
// - A file this user may not write (read-only) stays unchanged and the call
//   fails. A missing file is created.
// Returns nonzero when the file holds the entry afterwards. section, key and
// value all null: see above. Any other null argument fails and changes
// nothing (deleting keys or sections is not offered).
int WritePrivateProfileStringA(const char* section, const char* key,
                               const char* value, const char* fileName);

// One line of a profile file as the engine reads it (the rules above), for
// code that must read such a file line by line within its own buffer, with
// line numbers: the check of a setup folder.
enum ProfileLineKind {
  kProfileBlank,
  kProfileHeader,   // name: the section name
  kProfileEntry,    // name: the key; value: the value
  kProfileComment,
  kProfileOther,    // any other line (no '='): the text is the whole line
};
struct ProfileLine {
  size_t offset;       // first byte of the line in the file
  size_t length;       // bytes before the line end
  size_t nameOffset;   // section name or key, from the start of the file
  size_t nameLength;
  size_t valueOffset;  // entry value, from the start of the file
  size_t valueLength;
  unsigned endLength;  // 0 (the last line, without a line end), 1 or 2 (CR LF)
  ProfileLineKind kind;
};

// Reads the line of bytes[0, size) that starts at `offset` (below size).
// Returns the offset of the next line (size after the last one). Reads
// nothing at or past bytes[size].
size_t ReadProfileLine(const char* bytes, size_t size, size_t offset,
                       ProfileLine* line);

// ---------------------------------------------------------------------------
// File operations.
// ---------------------------------------------------------------------------

// Copies the bytes of `from` to `to`. With failIfExists zero an existing `to`
// is replaced as a whole (a symbolic link there is replaced, not followed);
// with failIfExists nonzero an existing `to` makes it fail, as MoveFileA
// does.
int CopyFileA(const char* from, const char* to, int failIfExists);

// Renames `from` to `to`; never replaces: fails when `to` exists (in any
// letter case, also as a dangling symbolic link). On POSIX systems it tries,
// in turn, a rename that the system refuses to let replace
// (RENAME_NOREPLACE), a hard link followed by the removal of `from`, and,
// where the file system offers neither (exFAT and FAT through FUSE, the
// page's in-memory file system), a check that `to` is free followed by a
// plain rename. That last step cannot stop another program that creates `to`
// between the check and the rename: that file is then replaced. Nothing
// else it does can replace a file. A kill between the link and the removal
// leaves both names for the same file.
int MoveFileA(const char* from, const char* to);

// Deletes the name (a symbolic link, not the file it points to), also when
// the file is read-only.
int DeleteFileA(const char* name);

// The append stream: opens `name` with mode "ab" (created when missing,
// writes go to its end, bytes pass unchanged). Returns a handle or null.
struct AppendStream;
AppendStream* OpenAppendStream(const char* name);
// Writes `size` bytes; returns nonzero when all were written.
int WriteAppendStream(AppendStream* stream, const void* bytes, size_t size);
// Closes the stream; returns nonzero when everything reached the file.
int CloseAppendStream(AppendStream* stream);

// Reading the files of a folder, for the check of a setup folder. Names
// are found as for every operation here (in any letter case). Nothing here
// waits on a file: a FIFO, a device or a socket is never opened, and a
// symbolic link is followed only while it stays within the folder that
// holds it.

enum FileKind {
  kFileKindMissing,  // no such name (also a link that leads nowhere)
  kFileKindRegular,  // a regular file, or a link to one within the folder
  kFileKindOther,    // a folder, FIFO, device or socket (also behind a link)
  // A symbolic link whose target lies outside the folder that holds the
  // name (its real path is not under the folder's): not followed. On
  // Windows every symbolic link or junction counts so: Windows 2000 offers
  // no way to learn where one leads.
  kFileKindOutside,
};

// What `name` is, without opening it (lstat, then realpath for a link).
FileKind GetFileKind(const char* name);

enum ReadFileResult {
  kFileRead,
  kFileMissing,
  kFileTooBig,
  kFileUnreadable,
  kFileNotRegular,  // GetFileKind: kFileKindOther; not opened
  kFileOutside,     // GetFileKind: kFileKindOutside; not opened
};

// Reads the whole file `name` into buf. kFileRead: *size bytes were read.
// kFileTooBig: the file holds more than `capacity` bytes (*size is its
// size; buf is unspecified). Nothing is written at or past buf[capacity].
// Only what GetFileKind calls a regular file is opened, and that without
// blocking (O_NONBLOCK, then fstat): one swapped for a FIFO in between is
// kFileNotRegular, never waited on.
ReadFileResult ReadFileBytes(const char* name, void* buf, size_t capacity,
                             size_t* size);

// Nonzero when GetFileKind(name) is kFileKindRegular.
int IsFilePresent(const char* name);

// Copies the folder's own name (the last part of its full path; "" or null
// names the current folder) into buf, cut to capacity - 1 bytes and ended
// by a zero byte. Returns the bytes before the zero byte: 0 when the path
// cannot be had (also a root folder, which has no name).
unsigned GetFolderName(const char* folder, char* buf, unsigned capacity);

// ---------------------------------------------------------------------------
// Decompression.
// ---------------------------------------------------------------------------

// Inflates one raw deflate stream (RFC 1951, no zlib or gzip wrapper) from
// input[0, inputSize) into output, with `dictionary` (the last
// dictionarySize bytes of output that came before, at most 32768 of them
// used; null and 0 for none) as the history that back references may reach,
// as a block of a Microsoft cabinet's MSZIP folder needs. Returns nonzero
// when the stream ended (its last block) and all its output fit `capacity`;
// *outputSize gets the bytes written. Bytes after the stream's end are
// ignored. Never writes at or past output[capacity], and never fails
// otherwise than by returning 0: on damaged input too.
// (zlib on Linux and Windows; the page's fflate in the browser.)
int InflateRaw(const void* input, size_t inputSize, const void* dictionary,
               size_t dictionarySize, void* output, size_t capacity,
               size_t* outputSize);

// ---------------------------------------------------------------------------
// Console. Message texts are Shift_JIS (code page 932) bytes.
// ---------------------------------------------------------------------------

// Sets up standard output: unbuffered when it is a terminal (a prompt shows
// before input is awaited), fully buffered otherwise. Call once, first.
void StartConsole();

// printf-style output to standard output. When standard output is a
// terminal that does not use code page 932 / Shift_JIS, the whole text is
// converted from code page 932 to the terminal's charset ('?' for what
// cannot be converted); otherwise the bytes go out as they are.
void PrintConsole(const char* format, ...)
    __attribute__((format(printf, 1, 2)));
void PrintConsoleV(const char* format, va_list args);

// Reads one byte of standard input in text mode: CR bytes are skipped.
// Returns the byte (0..255), or -1 at the end of input.
int ReadConsoleChar();

// The language the user reads the tool's words in.
enum class Language { kJapanese, kEnglish };

// POSIX: the first of LC_ALL, LC_MESSAGES and LANG that is set (not empty)
// decides; one that starts with "ja" is Japanese. Windows: a user interface
// language of LANG_JAPANESE, or a console of code page 932. The browser:
// English (the page has its own texts). Otherwise English.
Language UserLanguage();

// The POSIX rule, from the three variables' values (null where unset).
Language LanguageOfLocale(const char* lcAll, const char* lcMessages, const char* lang);

// Flushes standard output and ends the process with `status`.
[[noreturn]] void EndProcess(int status);

// Sends all later console text to `sink` (with `context`), as it would go
// to standard output before any conversion, instead of there; null sends it
// to standard output again. The integration engine keeps each run's text.
using ConsoleSink = void (*)(void* context, const char* text, size_t length);
void SetConsoleSink(ConsoleSink sink, void* context);

// ---------------------------------------------------------------------------
// The integration engine's scratch folder, where it runs the tool on copies.
// ---------------------------------------------------------------------------

// Makes a new folder that only this user may read, in the system's
// temporary folder (TMPDIR, else /tmp; GetTempPathA on Windows), and copies
// its path into buf. Returns 0 when none can be made or the path does not
// fit `capacity`.
int MakeScratchFolder(char* buf, size_t capacity);

// Deletes the files in `folder` (a link, not what it points to) and then
// the folder. Returns nonzero when the folder is gone.
int RemoveScratchFolder(const char* folder);

// Makes `folder` the current one, so that ".\" names it; LeaveFolder goes
// back to the folder that was current before (one level). Nonzero on
// success.
int EnterFolder(const char* folder);
int LeaveFolder();

// How many reads and writes of profile files and of the append stream have
// failed in this process (a missing file is no failure). The tool reports
// such failures only on its console, or not at all; the engine tells by
// this count that a run's writes did not all land.
unsigned FileFailures();

}  // namespace o2s

#endif  // OEM2SIF_PLATFORM_PLATFORM_H
