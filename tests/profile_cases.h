// The profile-file contract as one table of cases: a file's bytes, one
// operation and what it must give. Run against every implementation of the
// contract (the engine on each system; the system's own functions on
// Windows, where they are compared, not judged).
#ifndef OEM2SIF_TESTS_PROFILE_CASES_H
#define OEM2SIF_TESTS_PROFILE_CASES_H

#include <string>

namespace o2s_test {

enum class ProfileOp {
  kSection,  // GetPrivateProfileSectionA(section) -> expected buffer up to and
             // including its final zero byte
  kString,   // GetPrivateProfileStringA(section, key, text) -> expected value
  kWrite,    // WritePrivateProfileStringA(section, key, text) -> expected file
};

struct ProfileCase {
  const char* name;
  std::string file;  // bytes of the file before; "<missing>" for none,
                     // "<null name>" for a null file name
  ProfileOp op;
  const char* section;
  const char* key;
  const char* text;  // default (kString) or value (kWrite)
  unsigned capacity; // kSection / kString buffer capacity
  std::string expected;
  // Set where Windows' own functions differ on purpose (a choice of ours):
  // the reason.
  const char* intendedDifference = nullptr;
};

using S = std::string;

inline const ProfileCase kProfileCases[] = {
    // --- line ends -------------------------------------------------------
    {"crlf", S("[scsi]\r\na = 1\r\nb=2\r\n"), ProfileOp::kSection, "scsi",
     nullptr, nullptr, 100, S("a=1\0b=2\0\0", 9)},
    {"lf", S("[scsi]\na = 1\nb=2\n"), ProfileOp::kSection, "scsi", nullptr,
     nullptr, 100, S("a=1\0b=2\0\0", 9)},
    {"lone_cr", S("[scsi]\ra = 1\rb=2"), ProfileOp::kSection, "scsi", nullptr,
     nullptr, 100, S("a=1\0b=2\0\0", 9),
     "lone CR ends a line here, as in setup"},
    {"no_final_line_end", S("[s]\r\nk=v"), ProfileOp::kString, "s", "k", "x",
     100, "v"},
    {"mixed_line_ends", S("[s]\r\na=1\nb=2\rc=3\r\n"), ProfileOp::kSection,
     "s", nullptr, nullptr, 100, S("a=1\0b=2\0c=3\0\0", 13),
     "lone CR ends a line here, as in setup"},
    // --- comments and stray lines ----------------------------------------
    {"comments_are_not_entries",
     S("[s]\r\n; c=1\r\n# d=2\r\n  ;e=3\r\n\t#f=4\r\nk=v\r\n"),
     ProfileOp::kSection, "s", nullptr, nullptr, 100, S("k=v\0\0", 5),
     "'#' starts a comment here, as in setup"},
    {"line_without_equals_dropped", S("[s]\r\nstray\r\nk=v\r\n"),
     ProfileOp::kSection, "s", nullptr, nullptr, 100, S("k=v\0\0", 5),
     "a line without '=' is not delivered"},
    {"inline_semicolon_is_value", S("[s]\r\nid = a, b ; note\r\n"),
     ProfileOp::kString, "s", "id", "", 100, "a, b ; note"},
    {"entries_before_first_header", S("k=v\r\n[s]\r\nj=w\r\n"),
     ProfileOp::kSection, "s", nullptr, nullptr, 100, S("j=w\0\0", 5)},
    // --- sections --------------------------------------------------------
    {"repeated_section_merged", S("[s]\r\na=1\r\n[t]\r\nx=0\r\n[S]\r\nb=2\r\n"),
     ProfileOp::kSection, "s", nullptr, nullptr, 100, S("a=1\0b=2\0\0", 9),
     "a repeated header continues the section, as in setup"},
    {"repeated_section_string_in_second",
     S("[s]\r\na=1\r\n[t]\r\nx=0\r\n[s]\r\nb=2\r\n"), ProfileOp::kString, "s",
     "b", "none", 100, "2", "a repeated header continues the section"},
    {"section_case_insensitive", S("[SCSI]\r\nk=v\r\n"), ProfileOp::kSection,
     "scsi", nullptr, nullptr, 100, S("k=v\0\0", 5)},
    {"section_high_bytes_exact", S("[\xc4nderung]\r\nk=v\r\n"),
     ProfileOp::kSection, "\xe4nderung", nullptr, nullptr, 100, S("\0\0", 2)},
    {"section_header_trimmed_with_comment",
     S("[ SCSI ]   ; HwComponent section\r\nk=v\r\n"), ProfileOp::kSection,
     "scsi", nullptr, nullptr, 100, S("k=v\0\0", 5)},
    {"missing_section", S("[s]\r\nk=v\r\n"), ProfileOp::kSection, "t",
     nullptr, nullptr, 100, S("\0\0", 2)},
    {"missing_file_section", "<missing>", ProfileOp::kSection, "t", nullptr,
     nullptr, 100, S("\0\0", 2)},
    // --- keys and values --------------------------------------------------
    {"repeated_key_delivered_twice", S("[s]\r\nid=1\r\nid=2\r\n"),
     ProfileOp::kSection, "s", nullptr, nullptr, 100, S("id=1\0id=2\0\0", 11)},
    {"repeated_key_first_wins", S("[s]\r\ndriver=a\r\ndriver=b\r\n"),
     ProfileOp::kString, "s", "driver", "null", 100, "a"},
    {"key_case_insensitive", S("[s]\r\nDriver = d1, x.sys\r\n"),
     ProfileOp::kString, "s", "driver", "null", 100, "d1, x.sys"},
    {"key_case_kept_in_section", S("[s]\r\nID = x\r\n"), ProfileOp::kSection,
     "s", nullptr, nullptr, 100, S("ID=x\0\0", 6)},
    {"white_space_trimmed", S("[s]\r\n \tk \t=\t v w \t\r\n"),
     ProfileOp::kSection, "s", nullptr, nullptr, 100, S("k=v w\0\0", 7)},
    {"quotes_kept_in_section", S("[s]\r\nk = \"a b\", c\r\n"),
     ProfileOp::kSection, "s", nullptr, nullptr, 100,
     S("k=\"a b\", c\0\0", 12)},
    {"one_pair_of_quotes_removed", S("[s]\r\nk = \"a b\"\r\n"),
     ProfileOp::kString, "s", "k", "", 100, "a b"},
    {"outer_quotes_of_two_fields", S("[s]\r\nk = \"a\" , \"b\"\r\n"),
     ProfileOp::kString, "s", "k", "", 100, "a\" , \"b"},
    {"lone_quote_kept", S("[s]\r\nk = \"\r\n"), ProfileOp::kString, "s", "k",
     "", 100, "\""},
    {"empty_key_delivered", S("[s]\r\n=v\r\nk=\r\n"), ProfileOp::kSection,
     "s", nullptr, nullptr, 100, S("=v\0k=\0\0", 7)},
    {"second_equals_in_value", S("[s]\r\nk=a=b\r\n"), ProfileOp::kSection,
     "s", nullptr, nullptr, 100, S("k=a=b\0\0", 7)},
    {"high_bytes_pass", S("[s]\r\nk=\x93\xfa\x96{\xa9\r\n"), ProfileOp::kString,
     "s", "k", "", 100, "\x93\xfa\x96{\xa9"},
    {"missing_key_default", S("[s]\r\nk=v\r\n"), ProfileOp::kString, "s",
     "driver", "null", 100, "null"},
    {"missing_file_default", "<missing>", ProfileOp::kString, "s", "driver",
     "null", 100, "null"},
    {"null_file_name_section", "<null name>", ProfileOp::kSection, "s", nullptr,
     nullptr, 100, S("\0\0", 2), "Windows reads win.ini"},
    {"null_file_name_default", "<null name>", ProfileOp::kString, "s", "k",
     "null", 100, "null", "Windows reads win.ini"},
    {"string_cut_to_capacity", S("[s]\r\nk=abcdef\r\n"), ProfileOp::kString,
     "s", "k", "", 3, "ab"},
    {"default_cut_to_capacity", S(""), ProfileOp::kString, "s", "k", "null",
     3, "nu"},
    // --- the end-of-file byte ---------------------------------------------
    {"eof_byte_at_end", S("[s]\r\nk=v\r\n\x1a"), ProfileOp::kSection, "s",
     nullptr, nullptr, 100, S("k=v\0\0", 5), "0x1A is white space here"},
    {"eof_byte_after_value", S("[s]\r\nk=v\x1a"), ProfileOp::kString, "s", "k",
     "", 100, "v", "0x1A is white space here"},
    {"eof_byte_in_middle", S("[s]\r\n\x1a\r\na=1\r\n\x1a\r\nb=2\r\n"),
     ProfileOp::kSection, "s", nullptr, nullptr, 100, S("a=1\0b=2\0\0", 9),
     "0x1A is white space here"},
    // --- writes: replacing ------------------------------------------------
    {"write_replaces_only_value", S("[S]\r\n  Key\t=  old  \r\nz = 1\r\n"),
     ProfileOp::kWrite, "s", "key", "\"new\"", 0,
     S("[S]\r\n  Key\t=  \"new\"  \r\nz = 1\r\n"),
     "Windows rewrites the whole line"},
    {"write_replaces_first_of_repeated_key", S("[s]\r\nk = 1\r\nk = 2\r\n"),
     ProfileOp::kWrite, "s", "K", "3", 0, S("[s]\r\nk = 3\r\nk = 2\r\n"),
     "Windows rewrites the whole line"},
    {"write_replaces_in_repeated_section",
     S("[s]\r\na = 1\r\n[t]\r\n[s]\r\nb = 2\r\n"), ProfileOp::kWrite, "s", "b",
     "3", 0, S("[s]\r\na = 1\r\n[t]\r\n[s]\r\nb = 3\r\n"),
     "a repeated header continues the section"},
    {"write_empty_old_value", S("[s]\r\nk =\r\n"), ProfileOp::kWrite, "s", "k",
     "v", 0, S("[s]\r\nk =v\r\n"), "Windows rewrites the whole line"},
    {"write_keeps_high_bytes_and_case",
     S("[HardwareIdsDatabase]\r\nPCI\\VEN_10DE = \"x\"\r\n; \x93\xfa\x96{\r\n"),
     ProfileOp::kWrite, "hardwareidsdatabase", "pci\\ven_10de", "\"nv\"", 0,
     S("[HardwareIdsDatabase]\r\nPCI\\VEN_10DE = \"nv\"\r\n; \x93\xfa\x96{\r\n"),
     "Windows rewrites the whole line"},
    // --- writes: adding ---------------------------------------------------
    {"write_new_key_after_last_entry",
     S("[S]\r\na = 1\r\n; note\r\n\r\n[T]\r\nx = 1\r\n"), ProfileOp::kWrite,
     "S", "b", "2", 0, S("[S]\r\na = 1\r\nb = 2\r\n; note\r\n\r\n[T]\r\nx = 1\r\n")},
    {"write_new_key_in_empty_section", S("[S]\r\n\r\n[T]\r\n"),
     ProfileOp::kWrite, "S", "b", "2", 0, S("[S]\r\nb = 2\r\n\r\n[T]\r\n"),
     "Windows writes key=value"},
    {"write_new_key_goes_to_first_occurrence",
     S("[s]\r\na = 1\r\n[t]\r\n[s]\r\nb = 2\r\n"), ProfileOp::kWrite, "s", "c",
     "3", 0, S("[s]\r\na = 1\r\nc = 3\r\n[t]\r\n[s]\r\nb = 2\r\n"),
     "a repeated header continues the section"},
    {"write_new_key_at_end_without_line_end", S("[S]\r\na = 1"),
     ProfileOp::kWrite, "S", "b", "2", 0, S("[S]\r\na = 1\r\nb = 2\r\n")},
    {"write_new_section", S("[S]\r\na = 1\r\n"), ProfileOp::kWrite, "N", "k",
     "v", 0, S("[S]\r\na = 1\r\n\r\n[N]\r\nk = v\r\n")},
    {"write_new_section_after_blank_line", S("[S]\r\na = 1\r\n\r\n"),
     ProfileOp::kWrite, "N", "k", "v", 0, S("[S]\r\na = 1\r\n\r\n[N]\r\nk = v\r\n")},
    {"write_new_section_without_line_end", S("[S]\r\na = 1"),
     ProfileOp::kWrite, "N", "k", "v", 0, S("[S]\r\na = 1\r\n\r\n[N]\r\nk = v\r\n")},
    {"write_creates_missing_file", "<missing>", ProfileOp::kWrite, "S", "k",
     "v", 0, S("[S]\r\nk = v\r\n")},
    {"write_into_empty_file", S(""), ProfileOp::kWrite, "S", "k", "v", 0,
     S("[S]\r\nk = v\r\n")},
    {"write_lf_file_keeps_lf", S("[S]\na = 1\n"), ProfileOp::kWrite, "S", "b",
     "2", 0, S("[S]\na = 1\nb = 2\n")},
    {"write_cr_file_keeps_cr", S("[S]\ra = 1\r"), ProfileOp::kWrite, "T", "b",
     "2", 0, S("[S]\ra = 1\r\r[T]\rb = 2\r")},
    // --- writes and the end-of-file byte ----------------------------------
    {"write_drops_trailing_eof_byte", S("[S]\r\na = 1\r\n\x1a"),
     ProfileOp::kWrite, "S", "a", "2", 0, S("[S]\r\na = 2\r\n"),
     "0x1A is white space here"},
    {"write_keeps_blank_lines_before_eof_byte",
     S("[S]\r\na = 1\r\n\r\n\r\n\x1a"), ProfileOp::kWrite, "S", "b", "2", 0,
     S("[S]\r\na = 1\r\nb = 2\r\n\r\n\r\n"), "0x1A is white space here"},
    {"write_drops_eof_run_from_its_first_byte",
     S("[S]\r\na = 1\r\n\r\n\x1a\r\n\r\n\x1a"), ProfileOp::kWrite, "S", "b", "2",
     0, S("[S]\r\na = 1\r\nb = 2\r\n\r\n"), "0x1A is white space here"},
    {"write_drops_eof_run_from_its_first_byte_lf",
     S("[S]\na = 1\n\n\n\x1a\n\n\x1a"), ProfileOp::kWrite, "S", "b", "2", 0,
     S("[S]\na = 1\nb = 2\n\n\n"), "0x1A is white space here"},
    {"write_drops_eof_byte_on_last_line", S("[S]\r\na = 1\x1a"),
     ProfileOp::kWrite, "S", "b", "2", 0, S("[S]\r\na = 1\r\nb = 2\r\n"),
     "0x1A is white space here"},
    {"write_keeps_eof_byte_in_middle", S("[S]\r\na = 1\r\n\x1a\r\n[T]\r\n"),
     ProfileOp::kWrite, "T", "b", "2", 0, S("[S]\r\na = 1\r\n\x1a\r\n[T]\r\nb = 2\r\n"),
     "0x1A is white space here"},
    {"write_same_value_drops_eof_byte", S("[S]\r\na = 1\r\n\x1a"),
     ProfileOp::kWrite, "S", "a", "1", 0, S("[S]\r\na = 1\r\n"),
     "0x1A is white space here"},
    {"write_keeps_blank_lines_without_eof_byte", S("[S]\r\na = 1\r\n\r\n\r\n"),
     ProfileOp::kWrite, "S", "a", "2", 0, S("[S]\r\na = 2\r\n\r\n\r\n")},
};

}  // namespace o2s_test

#endif
