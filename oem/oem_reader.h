// Reads the driver options of an OEM driver description file (txtsetup.oem):
// the option list, each option's driver file and its hardware ids with
// their services. Reads only through the platform's profile operations and
// never writes the file. Problems are printed, never fatal.
#ifndef OEM2SIF_OEM_OEM_READER_H
#define OEM2SIF_OEM_OEM_READER_H

namespace o2s {

// The delimiters the lookups split values with: space, comma, double quote.
extern const char kValueDelimiters[];

// Splits a modifiable text into tokens, like strtok. A first call names the
// text; a call with null continues where the previous one stopped (one
// continuation for the whole program). Delimiters at the current position
// are skipped; at the end of the text there is no token (null), nothing is
// written and later calls find none either. Otherwise the token runs to the
// next delimiter, which is overwritten with a zero byte, or to the end of the
// text. Byte by byte: double-byte characters are not recognised.
char* TakeNextToken(char* text, const char* delimiters);

// Reads `sectionName` of `fileName` into `buffer` (cut to `capacity` by the
// platform, between entries) and splits its "key=value" lines in place.
// Lines without '=', with an empty key or with an empty value are dropped
// and use no slot; only the first '=' splits. Fills keys[i] and values[i]
// (views into `buffer`) for every i below the result, in file order, and
// ignores lines once `slotLimit` entries are accepted. Returns that count.
// Never reads at or past buffer[capacity].
unsigned ReadSectionEntries(const char* fileName, const char* sectionName,
                            char* buffer, unsigned capacity, char** keys,
                            char** values, unsigned slotLimit);

// Returns the driver file name, the second field of key "driver" in
// `sectionName` (a view into `valueBuffer`, whose value is cut to
// capacity - 1 bytes before it is split), or null after printing why:
// a value without any field is a format error; one field only (also the
// default "null" of a missing file, section or key) has no driver.
// `optionKey` serves only the messages.
char* ReadDriverFile(const char* fileName, const char* sectionName,
                     char* valueBuffer, unsigned capacity,
                     const char* optionKey);

// The most hardware ids one option can have, and the most entries of its
// hardware-id section that are looked at.
const unsigned kMaxHardwareIds = 100;

// Reads the "id" entries (key compared exactly) of `sectionName` into
// `sectionBuffer`: ids[i] gets the first field of each value, services[i]
// the second, lowered in place (ASCII letters only). Entries without a
// field, or without a second field, print a message and are skipped. Prints
// a message when no id is found. Returns the count, 0 to kMaxHardwareIds;
// `ids` and `services` need kMaxHardwareIds slots each. `optionKey` serves
// only the messages.
unsigned ReadHardwareIds(const char* fileName, const char* sectionName,
                         char* sectionBuffer, unsigned capacity, char** ids,
                         char** services, const char* optionKey);

}  // namespace o2s

#endif  // OEM2SIF_OEM_OEM_READER_H
