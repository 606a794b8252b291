#include "iso/iso_update.h"

#include <algorithm>
#include <cstring>

namespace o2s::iso {
namespace {

void PutBoth32(unsigned char* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    p[i] = static_cast<unsigned char>(value >> (8 * i));
    p[7 - i] = static_cast<unsigned char>(value >> (8 * i));
  }
}

uint64_t SectorsOf(uint64_t bytes) { return (bytes + kSector - 1) / kSector; }

// The moved directories' bytes at most, both trees: memory stays bounded
// whatever the tree below the setup folder holds (an XP CD's I386 moves
// well under 1 MB).
const uint64_t kMaxMovedBytes = 16u << 20;

// Patched sectors, read from the image the first time each is touched.
class Patches {
 public:
  Patches(ImageReader& reader, std::map<uint32_t, std::string>* sectors) : reader_(reader), sectors_(sectors) {}

  // Writes `bytes` at image offset `offset` (it may cross sectors).
  bool Put(uint64_t offset, const unsigned char* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      uint64_t at = offset + i;
      std::string* sector = Sector(static_cast<uint32_t>(at / kSector));
      if (sector == nullptr) return false;
      (*sector)[at % kSector] = static_cast<char>(bytes[i]);
    }
    return true;
  }
  bool PutBoth32(uint64_t offset, uint32_t value) {
    unsigned char both[8];
    iso::PutBoth32(both, value);
    return Put(offset, both, sizeof both);
  }

 private:
  std::string* Sector(uint32_t number) {
    auto found = sectors_->find(number);
    if (found != sectors_->end()) return &found->second;
    std::string bytes(kSector, '\0');
    if (!reader_.Read(static_cast<uint64_t>(number) * kSector, &bytes[0], kSector)) return nullptr;
    std::string& stored = (*sectors_)[number];
    stored = bytes;
    return &stored;
  }

  ImageReader& reader_;
  std::map<uint32_t, std::string>* sectors_;
};

// ISO 9660's order of identifiers: the name, then the extension, each
// padded with spaces; the version left out.
bool IdentifierBefore(const std::string& a, const std::string& b) {
  auto parts = [](const std::string& id) {
    std::string plain = id.substr(0, id.find(';'));
    size_t dot = plain.find('.');
    std::string name = dot == std::string::npos ? plain : plain.substr(0, dot);
    std::string ext = dot == std::string::npos ? "" : plain.substr(dot + 1);
    return std::make_pair(name, ext);
  };
  auto pa = parts(a), pb = parts(b);
  auto padded = [](std::string s, size_t n) {
    s.resize(std::max(s.size(), n), ' ');
    return s;
  };
  size_t n = std::max(pa.first.size(), pb.first.size());
  std::string na = padded(pa.first, n), nb = padded(pb.first, n);
  if (na != nb) return na < nb;
  size_t e = std::max(pa.second.size(), pb.second.size());
  return padded(pa.second, e) < padded(pb.second, e);
}

// Joliet's: the UCS-2 code units, the version left out.
bool JolietBefore(const std::string& a, const std::string& b) {
  auto plain = [](const std::string& id) {
    for (size_t i = 0; i + 1 < id.size(); i += 2) {
      if (id[i] == 0 && id[i + 1] == ';') return id.substr(0, i);
    }
    return id;
  };
  return plain(a) < plain(b);
}

bool HasVersion(const std::vector<Record>& records, bool joliet) {
  for (size_t r = 2; r < records.size(); ++r) {
    if (records[r].IsDirectory()) continue;
    const std::string& id = records[r].identifier;
    if (!joliet && id.find(';') != std::string::npos) return true;
    if (joliet) {
      for (size_t i = 0; i + 1 < id.size(); i += 2) {
        if (id[i] == 0 && id[i + 1] == ';') return true;
      }
    }
  }
  return false;
}

// Puts each of `added` before the first record after "." and ".." whose
// identifier `before` orders after it.
void InsertInOrder(std::vector<std::string>* raws, const std::vector<std::string>& added,
                   bool (*before)(const std::string&, const std::string&)) {
  auto identifier = [](const std::string& raw) { return raw.substr(33, static_cast<unsigned char>(raw[32])); };
  for (const std::string& raw : added) {
    size_t at = 2;
    while (at < raws->size() && !before(identifier(raw), identifier((*raws)[at]))) ++at;
    raws->insert(raws->begin() + static_cast<long>(at), raw);
  }
}

// A new file record after `model` (a record of the same folder: its date
// and volume sequence number), for `identifier`.
std::string NewRecord(const Record& model, const std::string& identifier) {
  size_t length = 33 + identifier.size() + (identifier.size() % 2 == 0 ? 1 : 0);
  std::string raw(length, '\0');
  memcpy(&raw[0], model.raw.data(), 33);
  raw[0] = static_cast<char>(length);
  raw[1] = 0;
  raw[25] = 0;  // a plain file
  raw[26] = raw[27] = 0;
  raw[32] = static_cast<char>(identifier.size());
  memcpy(&raw[33], identifier.data(), identifier.size());
  return raw;
}

void SetExtent(std::string* raw, uint32_t extent, uint32_t size) {
  PutBoth32(reinterpret_cast<unsigned char*>(&(*raw)[2]), extent);
  PutBoth32(reinterpret_cast<unsigned char*>(&(*raw)[10]), size);
}

// Lays records out as a directory: none crosses a sector.
std::string LayOut(const std::vector<std::string>& records) {
  std::string out;
  for (const std::string& raw : records) {
    size_t used = out.size() % kSector;
    if (used != 0 && used + raw.size() > kSector) out.resize(out.size() + kSector - used, '\0');
    out += raw;
  }
  out.resize(SectorsOf(out.size()) * kSector, '\0');
  return out;
}

// One tree's setup folder, rewritten.
struct FolderPlan {
  const Tree* tree = nullptr;
  const Directory* dir = nullptr;
  std::vector<Record> records;
  std::vector<std::string> raws;  // the new directory's records, "." and ".." first
  std::string bytes;
  uint32_t extent = 0;
};

IsoProblem PatchPathTables(ImageReader& reader, const Tree& tree, uint32_t oldExtent, uint32_t newExtent,
                           Patches* patches, std::string* subject) {
  *subject = "path table of sector " + std::to_string(tree.descriptorSector);
  for (int t = 0; t < 4; ++t) {
    uint32_t table = tree.pathTables[t];
    if (table == 0) continue;
    bool bigEndian = t >= 2;
    std::string bytes(tree.pathTableSize, '\0');
    if (!bytes.empty() && !reader.Read(static_cast<uint64_t>(table) * kSector, &bytes[0], bytes.size())) {
      return IsoProblem::kUnreadable;
    }
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    bool found = false;
    for (size_t pos = 0; pos + 8 <= bytes.size();) {
      unsigned idLength = p[pos];
      if (idLength == 0) break;
      const unsigned char* e = p + pos + 2;
      uint32_t extent = bigEndian ? (uint32_t(e[0]) << 24 | uint32_t(e[1]) << 16 | uint32_t(e[2]) << 8 | e[3])
                                  : (uint32_t(e[3]) << 24 | uint32_t(e[2]) << 16 | uint32_t(e[1]) << 8 | e[0]);
      if (extent == oldExtent) {
        unsigned char value[4];
        for (int i = 0; i < 4; ++i) {
          value[bigEndian ? 3 - i : i] = static_cast<unsigned char>(newExtent >> (8 * i));
        }
        if (!patches->Put(static_cast<uint64_t>(table) * kSector + pos + 2, value, 4)) return IsoProblem::kUnreadable;
        found = true;
      }
      pos += 8 + idLength + (idLength % 2);
    }
    if (!found) return IsoProblem::kPathTable;
  }
  return IsoProblem::kNone;
}

}  // namespace

IsoProblem PlanUpdate(ImageReader& reader, const Image& image, int setupFolder, const std::vector<NewFile>& given,
                      Update* update, std::string* subject) {
  *update = Update();
  *subject = "";
  if (setupFolder < 0 || static_cast<size_t>(setupFolder) >= image.iso.directories.size()) {
    return IsoProblem::kBadRecord;
  }
  // Of two files of one name, the later.
  std::vector<NewFile> files;
  for (const NewFile& file : given) {
    auto same = [&](const NewFile& other) { return FoldCase(other.name) == FoldCase(file.name); };
    files.erase(std::remove_if(files.begin(), files.end(), same), files.end());
    files.push_back(file);
  }

  FolderPlan iso;
  iso.tree = &image.iso;
  iso.dir = &image.iso.directories[setupFolder];
  IsoProblem problem = ReadRecords(reader, image, image.iso, *iso.dir, &iso.records, subject);
  if (problem != IsoProblem::kNone) return problem;
  const Record* setupFile = nullptr;
  for (size_t r = 2; r < iso.records.size(); ++r) {
    const Record& record = iso.records[r];
    if (!record.IsDirectory() && FoldCase(NameOf(record, false)) == "txtsetup.sif") setupFile = &record;
  }
  if (setupFile == nullptr) {
    *subject = "/" + iso.dir->path;
    return IsoProblem::kBadRecord;
  }
  FolderPlan joliet;
  if (image.joliet.present) {
    joliet.tree = &image.joliet;
    std::vector<Record> records;
    for (const Directory& dir : image.joliet.directories) {
      problem = ReadRecords(reader, image, image.joliet, dir, &records, subject);
      if (problem != IsoProblem::kNone) return problem;
      bool holds = std::any_of(records.begin() + 2, records.end(), [&](const Record& r) {
        return !r.IsDirectory() && r.extent == setupFile->extent && r.size == setupFile->size;
      });
      if (holds) {
        joliet.dir = &dir;
        joliet.records = records;
        break;
      }
    }
    if (joliet.dir == nullptr) {
      *subject = "/" + iso.dir->path;
      return IsoProblem::kNoJolietFolder;
    }
  }
  for (FolderPlan* folder : {&iso, &joliet}) {
    for (const Record& record : folder->records) {
      if ((record.flags & 0x80) != 0) {
        *subject = "/" + folder->dir->path + "/" + NameOf(record, folder->tree->joliet);
        return IsoProblem::kMultiExtent;
      }
    }
  }

  // Where each file goes, and its records.
  uint64_t cursor = std::max<uint64_t>(image.volumeSectors, SectorsOf(image.size));
  update->appendOffset = cursor * kSector;
  bool isoVersion = HasVersion(iso.records, false), jolietVersion = HasVersion(joliet.records, true);
  size_t isoLimit = 31 + (isoVersion ? 2 : 0);
  for (size_t r = 2; r < iso.records.size(); ++r) isoLimit = std::max(isoLimit, iso.records[r].identifier.size());
  iso.raws.clear();
  for (const Record& record : iso.records) iso.raws.push_back(record.raw);
  for (const Record& record : joliet.records) joliet.raws.push_back(record.raw);
  // New records go in once every replaced one is patched: the indices of
  // the folder's records hold until then.
  std::vector<std::string> isoAdded, jolietAdded;
  for (const NewFile& file : files) {
    *subject = "/" + iso.dir->path + "/" + file.name;
    FileChange change;
    change.extent = static_cast<uint32_t>(cursor);
    change.size = static_cast<uint32_t>(file.bytes.size());
    if (file.bytes.size() > 0xFFFFFFFFu) return IsoProblem::kFileTooBig;
    std::string folded = FoldCase(file.name);
    int isoIndex = -1, jolietIndex = -1;
    for (size_t r = 2; r < iso.records.size(); ++r) {
      if (FoldCase(NameOf(iso.records[r], false)) != folded) continue;
      if (iso.records[r].IsDirectory()) return IsoProblem::kNameTaken;
      isoIndex = static_cast<int>(r);
    }
    for (size_t r = 2; r < joliet.records.size() && isoIndex >= 0; ++r) {
      const Record& j = joliet.records[r];
      if (!j.IsDirectory() && j.extent == iso.records[isoIndex].extent && j.size == iso.records[isoIndex].size) {
        jolietIndex = static_cast<int>(r);
      }
    }
    for (size_t r = 2; r < joliet.records.size() && jolietIndex < 0; ++r) {
      if (FoldCase(NameOf(joliet.records[r], true)) != folded) continue;
      if (joliet.records[r].IsDirectory()) return IsoProblem::kNameTaken;
      jolietIndex = static_cast<int>(r);
    }
    for (unsigned char c : file.name) {
      if (c < 0x20 || c >= 0x7F || c == '/' || c == '\\' || c == ';') return IsoProblem::kNameNotAscii;
    }
    if (isoIndex >= 0) {
      change.replaced = true;
      change.isoIdentifier = iso.records[isoIndex].identifier;
      SetExtent(&iso.raws[isoIndex], change.extent, change.size);
    } else {
      std::string id = file.name;
      for (char& c : id) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      }
      if (isoVersion) id += ";1";
      if (id.size() > isoLimit) return IsoProblem::kNameTooLong;
      change.isoIdentifier = id;
      std::string raw = NewRecord(*setupFile, id);
      SetExtent(&raw, change.extent, change.size);
      isoAdded.push_back(raw);
    }
    if (image.joliet.present) {
      if (jolietIndex >= 0) {
        change.jolietIdentifier = joliet.records[jolietIndex].identifier;
        SetExtent(&joliet.raws[jolietIndex], change.extent, change.size);
      } else {
        std::string id;
        for (char c : file.name + (jolietVersion ? ";1" : "")) {
          id += '\0';
          id += c;
        }
        if (id.size() > 128 + (jolietVersion ? 4 : 0)) return IsoProblem::kNameTooLong;
        change.jolietIdentifier = id;
        std::string raw = NewRecord(*setupFile, id);
        SetExtent(&raw, change.extent, change.size);
        jolietAdded.push_back(raw);
      }
    }
    std::string piece = file.bytes;
    piece.resize(SectorsOf(piece.size()) * kSector, '\0');
    cursor += SectorsOf(file.bytes.size());
    update->appended.push_back(std::move(piece));
    update->files.push_back(change);
  }

  InsertInOrder(&iso.raws, isoAdded, IdentifierBefore);
  InsertInOrder(&joliet.raws, jolietAdded, JolietBefore);

  // The folders' new directories, with every folder below them: a reader
  // that reads directories in the order they lie on the disc (libarchive)
  // meets each after its parent. Then the patches that lead to them.
  std::map<uint32_t, std::string>& sectors = update->patches;
  Patches patches(reader, &sectors);
  uint64_t movedBytes = 0;
  for (FolderPlan* folder : {&iso, &joliet}) {
    if (folder->dir == nullptr) continue;
    const Tree& tree = *folder->tree;
    int top = static_cast<int>(folder->dir - tree.directories.data());
    // The moved directories, in tree order (parents first).
    std::vector<int> moved;
    std::map<uint32_t, size_t> movedByExtent;
    for (size_t d = 0; d < tree.directories.size(); ++d) {
      int up = static_cast<int>(d);
      while (up >= 0 && up != top) up = tree.directories[up].parent;
      if (up != top) continue;
      movedByExtent[tree.directories[d].extent] = moved.size();
      moved.push_back(static_cast<int>(d));
    }
    std::vector<std::vector<std::string>> raws(moved.size());
    std::vector<uint32_t> extents(moved.size()), sizes(moved.size());
    std::vector<Record> records;
    for (size_t m = 0; m < moved.size(); ++m) {
      if (m == 0) {
        raws[m] = folder->raws;
      } else {
        problem = ReadRecords(reader, image, tree, tree.directories[moved[m]], &records, subject);
        if (problem != IsoProblem::kNone) return problem;
        for (const Record& record : records) raws[m].push_back(record.raw);
      }
      sizes[m] = static_cast<uint32_t>(LayOut(raws[m]).size());
      movedBytes += sizes[m];
      if (movedBytes > kMaxMovedBytes) return IsoProblem::kTooMany;
      extents[m] = static_cast<uint32_t>(cursor);
      cursor += SectorsOf(sizes[m]);
      if (cursor > 0xFFFFFFFFu) return IsoProblem::kTooBig;
    }
    for (size_t m = 0; m < moved.size(); ++m) {
      const Directory& dir = tree.directories[moved[m]];
      SetExtent(&raws[m][0], extents[m], sizes[m]);
      if (dir.parent < 0) SetExtent(&raws[m][1], extents[m], sizes[m]);
      if (m != 0) {
        size_t parent = movedByExtent.at(tree.directories[dir.parent].extent);
        SetExtent(&raws[m][1], extents[parent], sizes[parent]);
      }
      for (size_t r = 2; r < raws[m].size(); ++r) {
        std::string& raw = raws[m][r];
        if ((static_cast<unsigned char>(raw[25]) & 0x02) == 0) continue;
        uint32_t old = static_cast<unsigned char>(raw[2]) | static_cast<unsigned char>(raw[3]) << 8 |
                       static_cast<unsigned char>(raw[4]) << 16 | static_cast<uint32_t>(static_cast<unsigned char>(raw[5])) << 24;
        auto child = movedByExtent.find(old);
        if (child != movedByExtent.end()) SetExtent(&raw, extents[child->second], sizes[child->second]);
      }
      update->appended.push_back(LayOut(raws[m]));
    }
    folder->extent = extents[0];
    *subject = "/" + folder->dir->path;
    if (!patches.PutBoth32(folder->dir->recordOffset + 2, extents[0]) ||
        !patches.PutBoth32(folder->dir->recordOffset + 10, sizes[0])) {
      return IsoProblem::kUnreadable;
    }
    for (size_t m = 0; m < moved.size(); ++m) {
      problem = PatchPathTables(reader, tree, tree.directories[moved[m]].extent, extents[m], &patches, subject);
      if (problem != IsoProblem::kNone) return problem;
    }
  }
  update->isoFolderExtent = iso.extent;
  update->jolietFolderExtent = joliet.extent;
  if (cursor > 0xFFFFFFFFu) return IsoProblem::kTooBig;
  update->volumeSectors = static_cast<uint32_t>(cursor);
  for (const Tree* tree : {&image.iso, &image.joliet}) {
    if (!tree->present) continue;
    if (!patches.PutBoth32(static_cast<uint64_t>(tree->descriptorSector) * kSector + 80, update->volumeSectors)) {
      return IsoProblem::kUnreadable;
    }
  }
  *subject = "";
  return IsoProblem::kNone;
}

std::vector<OutputPiece> LayOut(const Update& update, uint64_t inputSize) {
  std::vector<OutputPiece> pieces;
  uint64_t kept = inputSize < update.appendOffset ? inputSize : update.appendOffset;
  uint64_t at = 0;
  auto copy = [&](uint64_t end) {
    if (end > kept) end = kept;
    if (end <= at) return;
    OutputPiece piece;
    piece.fromInput = true;
    piece.from = at;
    piece.size = end - at;
    pieces.push_back(piece);
    at = end;
  };
  for (const auto& patch : update.patches) {
    uint64_t start = static_cast<uint64_t>(patch.first) * kSector;
    if (start >= update.appendOffset) break;
    copy(start);
    if (at < start) {  // the patch lies past the input: zeros before it
      pieces.push_back({false, 0, start - at, std::string(static_cast<size_t>(start - at), '\0')});
      at = start;
    }
    pieces.push_back({false, 0, patch.second.size(), patch.second});
    at = start + patch.second.size();
  }
  copy(update.appendOffset);
  if (at < update.appendOffset) {
    pieces.push_back({false, 0, update.appendOffset - at, std::string(static_cast<size_t>(update.appendOffset - at), '\0')});
  }
  for (const std::string& piece : update.appended) pieces.push_back({false, 0, piece.size(), piece});
  return pieces;
}

}  // namespace o2s::iso
