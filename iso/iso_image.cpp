#include "iso/iso_image.h"

#include <cstring>
#include <set>

namespace o2s::iso {
namespace {

uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
uint32_t Be32(const unsigned char* p) {
  return static_cast<uint32_t>(p[3]) | static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[0]) << 24;
}
uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

std::string SectorName(uint64_t sector) { return "sector " + std::to_string(sector); }
std::string PathName(const Directory& dir) { return "/" + dir.path; }

// Sectors a piece of `bytes` bytes takes.
uint64_t SectorsOf(uint64_t bytes) { return (bytes + kSector - 1) / kSector; }

bool WithinVolume(const Image& image, uint64_t firstSector, uint64_t bytes) {
  return firstSector + SectorsOf(bytes) <= image.volumeSectors;
}

// A descriptor's root record and path tables.
IsoProblem ReadTreeHeader(const unsigned char* d, uint32_t sector, const Image& image, Tree* tree,
                          std::string* subject) {
  tree->present = true;
  tree->descriptorSector = sector;
  tree->pathTableSize = Le32(d + 132);
  tree->pathTables[0] = Le32(d + 140);
  tree->pathTables[1] = Le32(d + 144);
  tree->pathTables[2] = Be32(d + 148);
  tree->pathTables[3] = Be32(d + 152);
  *subject = SectorName(sector);
  if (tree->pathTableSize > kMaxDirectoryBytes) return IsoProblem::kPathTable;
  for (uint32_t table : tree->pathTables) {
    if (table != 0 && !WithinVolume(image, table, tree->pathTableSize)) return IsoProblem::kPathTable;
  }
  const unsigned char* root = d + 156;
  if (root[0] < 34 || root[32] != 1 || root[33] != 0 || (root[25] & 0x02) == 0) return IsoProblem::kBadRecord;
  Directory dir;
  dir.extent = Le32(root + 2);
  dir.size = Le32(root + 10);
  dir.recordOffset = static_cast<uint64_t>(sector) * kSector + 156;
  tree->directories.assign(1, dir);
  return IsoProblem::kNone;
}

bool IsName(const std::string& folded, const char* name) {
  return folded == name;
}

IsoProblem WalkTree(ImageReader& reader, const Image& image, Tree* tree, std::string* subject) {
  std::set<uint32_t> seen;
  seen.insert(tree->directories[0].extent);
  std::vector<Record> records;
  for (size_t i = 0; i < tree->directories.size(); ++i) {
    Directory dir = tree->directories[i];
    IsoProblem problem = ReadRecords(reader, image, *tree, dir, &records, subject);
    if (problem != IsoProblem::kNone) return problem;
    if (i == 0 && records[0].length >= 34 + 7) {
      // Rock Ridge announces itself in the root's "." record (SUSP "SP").
      unsigned char su[7];
      if (!reader.Read(records[0].offset + 34, su, sizeof su)) return IsoProblem::kUnreadable;
      if (su[0] == 'S' && su[1] == 'P' && su[4] == 0xBE && su[5] == 0xEF) {
        *subject = "/";
        return IsoProblem::kRockRidge;
      }
    }
    for (size_t r = 2; r < records.size(); ++r) {
      const Record& record = records[r];
      std::string name = NameOf(record, tree->joliet);
      if (!record.IsDirectory()) {
        ++tree->directories[i].files;
        std::string folded = FoldCase(name);
        if (IsName(folded, "txtsetup.sif")) tree->directories[i].holdsSetupFile = true;
        if (IsName(folded, "setupldr.bin")) tree->directories[i].holdsLoader = true;
        continue;
      }
      Directory child;
      child.path = dir.path.empty() ? name : dir.path + "/" + name;
      child.extent = record.extent;
      child.size = record.size;
      child.recordOffset = record.offset;
      child.parent = static_cast<int>(i);
      child.depth = dir.depth + 1;
      *subject = "/" + child.path;
      if (record.attributeSectors != 0) return IsoProblem::kExtendedAttributes;
      if (child.depth > kMaxDepth) return IsoProblem::kTooDeep;
      if (tree->directories.size() >= kMaxDirectories) return IsoProblem::kTooMany;
      if (!seen.insert(child.extent).second) return IsoProblem::kLoop;
      tree->directories.push_back(child);
    }
  }
  return IsoProblem::kNone;
}

bool HasTag(const unsigned char* d, const char* tag) { return memcmp(d + 1, tag, 5) == 0; }

}  // namespace

std::string FoldCase(const std::string& name) {
  std::string out = name;
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::vector<int> SetupFolders(const Image& image) {
  std::vector<int> found;
  for (size_t i = 0; i < image.iso.directories.size(); ++i) {
    if (image.iso.directories[i].holdsSetupFile) found.push_back(static_cast<int>(i));
  }
  return found;
}

int ChooseSetupFolder(const Image& image) {
  int best = -1;
  for (int i : SetupFolders(image)) {
    if (best < 0) {
      best = i;
      continue;
    }
    const Directory& a = image.iso.directories[i];
    const Directory& b = image.iso.directories[best];
    if (a.holdsLoader != b.holdsLoader ? a.holdsLoader : a.files > b.files) best = i;
  }
  return best;
}

std::string NameOf(const Record& record, bool joliet) {
  const std::string& id = record.identifier;
  if (id.size() == 1 && id[0] == 0) return ".";
  if (id.size() == 1 && id[0] == 1) return "..";
  std::string name;
  if (!joliet) {
    name = id;
  } else {
    for (size_t i = 0; i + 1 < id.size(); i += 2) {
      unsigned c = static_cast<unsigned char>(id[i]) << 8 | static_cast<unsigned char>(id[i + 1]);
      if (c >= 0xD800 && c <= 0xDBFF && i + 3 < id.size()) {
        unsigned low = static_cast<unsigned char>(id[i + 2]) << 8 | static_cast<unsigned char>(id[i + 3]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          i += 2;
        }
      }
      if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
      if (c < 0x80) {
        name += static_cast<char>(c);
      } else if (c < 0x800) {
        name += static_cast<char>(0xC0 | c >> 6);
        name += static_cast<char>(0x80 | (c & 0x3F));
      } else if (c < 0x10000) {
        name += static_cast<char>(0xE0 | c >> 12);
        name += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        name += static_cast<char>(0x80 | (c & 0x3F));
      } else {
        name += static_cast<char>(0xF0 | c >> 18);
        name += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        name += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        name += static_cast<char>(0x80 | (c & 0x3F));
      }
    }
  }
  size_t semicolon = name.rfind(';');
  if (semicolon != std::string::npos && semicolon + 1 < name.size() &&
      name.find_first_not_of("0123456789", semicolon + 1) == std::string::npos) {
    name.erase(semicolon);
  }
  if (name.size() > 1 && name.back() == '.') name.pop_back();
  return name;
}

IsoProblem ReadRecords(ImageReader& reader, const Image& image, const Tree& tree, const Directory& dir,
                       std::vector<Record>* records, std::string* subject) {
  (void)tree;
  records->clear();
  *subject = PathName(dir);
  if (dir.size == 0) return IsoProblem::kBadRecord;
  if (dir.size > kMaxDirectoryBytes) return IsoProblem::kTooMany;
  if (!WithinVolume(image, dir.extent, dir.size)) return IsoProblem::kPastEnd;
  std::string data(dir.size, '\0');
  uint64_t base = static_cast<uint64_t>(dir.extent) * kSector;
  if (!reader.Read(base, &data[0], data.size())) return IsoProblem::kUnreadable;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data.data());
  size_t pos = 0;
  while (pos < data.size()) {
    size_t sectorEnd = std::min(data.size(), (pos / kSector + 1) * kSector);
    unsigned length = bytes[pos];
    if (length == 0) {  // the rest of this sector is padding
      pos = sectorEnd;
      continue;
    }
    if (length < 34 || pos + length > sectorEnd) return IsoProblem::kBadRecord;
    const unsigned char* r = bytes + pos;
    unsigned nameLength = r[32];
    if (nameLength == 0 || 33u + nameLength > length) return IsoProblem::kBadRecord;
    Record record;
    record.length = static_cast<uint8_t>(length);
    record.attributeSectors = r[1];
    record.extent = Le32(r + 2);
    record.size = Le32(r + 10);
    record.flags = r[25];
    record.identifier.assign(reinterpret_cast<const char*>(r + 33), nameLength);
    record.offset = base + pos;
    record.raw.assign(reinterpret_cast<const char*>(r), length);
    size_t index = records->size();
    bool dot = nameLength == 1 && r[33] == 0, dotDot = nameLength == 1 && r[33] == 1;
    if ((index == 0) != dot || (index == 1) != dotDot) return IsoProblem::kBadRecord;
    if (index == 0 && record.extent != dir.extent) return IsoProblem::kBadRecord;
    if (index >= 2) *subject = PathName(dir) + "/" + NameOf(record, tree.joliet);
    if (r[26] != 0 || r[27] != 0) return IsoProblem::kInterleaved;
    if ((record.size > 0 || record.IsDirectory()) &&
        !WithinVolume(image, static_cast<uint64_t>(record.extent) + record.attributeSectors, record.size)) {
      return IsoProblem::kPastEnd;
    }
    if (record.IsDirectory() && record.size == 0) return IsoProblem::kBadRecord;
    *subject = PathName(dir);
    records->push_back(record);
    pos += length;
  }
  if (records->size() < 2) return IsoProblem::kBadRecord;
  return IsoProblem::kNone;
}

IsoProblem ReadFileData(ImageReader& reader, const Image& image, const Record& record, uint64_t limit,
                        std::string* bytes, std::string* subject) {
  if ((record.flags & 0x80) != 0) return IsoProblem::kMultiExtent;
  if (record.size > limit) return IsoProblem::kFileTooBig;
  uint64_t first = static_cast<uint64_t>(record.extent) + record.attributeSectors;
  if (!WithinVolume(image, first, record.size)) return IsoProblem::kPastEnd;
  bytes->assign(record.size, '\0');
  if (record.size > 0 && !reader.Read(first * kSector, &(*bytes)[0], record.size)) return IsoProblem::kUnreadable;
  (void)subject;
  return IsoProblem::kNone;
}

IsoProblem ReadImage(ImageReader& reader, Image* image, std::string* subject) {
  *image = Image();
  image->size = reader.Size();
  *subject = "";
  uint64_t fileSectors = image->size / kSector;
  if (fileSectors < 17) return IsoProblem::kNotIso;
  unsigned char d[kSector];
  unsigned char primary[kSector];
  unsigned char joliet[kSector];
  bool havePrimary = false;
  uint32_t sector = 16;
  for (;; ++sector) {
    *subject = SectorName(sector);
    if (sector >= fileSectors || sector >= 16 + 64) return havePrimary ? IsoProblem::kCut : IsoProblem::kNotIso;
    if (!reader.Read(static_cast<uint64_t>(sector) * kSector, d, kSector)) return IsoProblem::kUnreadable;
    if (!HasTag(d, "CD001")) {
      if (!havePrimary) return IsoProblem::kNotIso;
      if (HasTag(d, "BEA01") || HasTag(d, "NSR02") || HasTag(d, "NSR03")) return IsoProblem::kUdf;
      return IsoProblem::kBadRecord;  // the set ends without its terminator
    }
    if (d[0] == 255) break;
    if (d[0] == 0) continue;  // a boot record (El Torito): kept as it is
    if (d[0] == 1 && !havePrimary) {
      memcpy(primary, d, kSector);
      havePrimary = true;
      image->iso.descriptorSector = sector;
      continue;
    }
    bool isJoliet = d[0] == 2 && d[6] == 1 && d[88] == '%' && d[89] == '/' &&
                    (d[90] == '@' || d[90] == 'C' || d[90] == 'E');
    if (isJoliet && !image->joliet.present) {
      memcpy(joliet, d, kSector);
      image->joliet.present = true;
      image->joliet.descriptorSector = sector;
      continue;
    }
    return IsoProblem::kOtherDescriptor;
  }
  if (!havePrimary) return IsoProblem::kNotIso;
  image->terminatorSector = sector;
  *subject = SectorName(image->iso.descriptorSector);
  if (Le16(primary + 128) != kSector) return IsoProblem::kBlockSize;
  if (Le16(primary + 120) > 1) return IsoProblem::kSessions;
  image->volumeSectors = Le32(primary + 80);
  if (image->volumeSectors <= sector) return IsoProblem::kBadRecord;
  if (image->volumeSectors > fileSectors) {
    *subject = std::to_string(image->volumeSectors) + " sectors";
    return IsoProblem::kCut;
  }
  if (image->joliet.present) {
    *subject = SectorName(image->joliet.descriptorSector);
    if (Le16(joliet + 128) != kSector) return IsoProblem::kBlockSize;
    if (Le32(joliet + 80) != image->volumeSectors) return IsoProblem::kBadRecord;
  }
  // A UDF bridge's descriptors follow the set.
  for (uint32_t s = sector + 1; s < sector + 17 && s < fileSectors; ++s) {
    if (!reader.Read(static_cast<uint64_t>(s) * kSector, d, 8)) return IsoProblem::kUnreadable;
    if (HasTag(d, "BEA01") || HasTag(d, "NSR02") || HasTag(d, "NSR03") || HasTag(d, "TEA01")) {
      *subject = SectorName(s);
      return IsoProblem::kUdf;
    }
  }
  // Another session's descriptor set after the volume.
  for (uint64_t s = image->volumeSectors; s < fileSectors && s < image->volumeSectors + 1024ull; ++s) {
    if (!reader.Read(s * kSector, d, 8)) return IsoProblem::kUnreadable;
    if (HasTag(d, "CD001")) {
      *subject = SectorName(s);
      return IsoProblem::kSessions;
    }
  }
  // An MBR with partitions, or a GPT: an isohybrid image.
  if (!reader.Read(0, d, 1024)) return IsoProblem::kUnreadable;
  if (d[510] == 0x55 && d[511] == 0xAA) {
    for (int p = 0; p < 4; ++p) {
      if (d[446 + p * 16 + 4] != 0) {
        *subject = SectorName(0);
        return IsoProblem::kHybrid;
      }
    }
  }
  if (memcmp(d + 512, "EFI PART", 8) == 0) {
    *subject = SectorName(0);
    return IsoProblem::kHybrid;
  }
  IsoProblem problem = ReadTreeHeader(primary, image->iso.descriptorSector, *image, &image->iso, subject);
  if (problem != IsoProblem::kNone) return problem;
  problem = WalkTree(reader, *image, &image->iso, subject);
  if (problem != IsoProblem::kNone) return problem;
  if (image->joliet.present) {
    image->joliet.joliet = true;
    problem = ReadTreeHeader(joliet, image->joliet.descriptorSector, *image, &image->joliet, subject);
    if (problem != IsoProblem::kNone) return problem;
    problem = WalkTree(reader, *image, &image->joliet, subject);
    if (problem != IsoProblem::kNone) return problem;
  }
  *subject = "";
  return IsoProblem::kNone;
}

}  // namespace o2s::iso
