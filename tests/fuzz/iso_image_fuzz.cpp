// Any bytes as a CD image (the input is the image from sector 16 on, the
// system area left zero, so that small inputs reach the descriptors): the
// image is read, its setup folder chosen, its files taken out and an
// update planned, as oem2sif-integrate --iso does. No crash, no access
// outside the buffers, and memory bounded whatever the records claim.
// The same steps over a cache of one-sector chunks, fetched round after
// round as the page does (iso/range_cache_reader.h), end as the run over
// the whole image does, in at most one round per sector.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "iso/iso_update.h"
#include "iso/range_cache_reader.h"
#include "iso/setup_extract.h"

namespace {

// Where the steps stopped, and what they planned.
struct Outcome {
  int step = 0;
  o2s::iso::IsoProblem problem = o2s::iso::IsoProblem::kNone;
  std::vector<std::string> taken;
  o2s::iso::Update update;
};

Outcome Run(o2s::iso::ImageReader& reader) {
  Outcome out;
  o2s::iso::Image image;
  std::string subject;
  if ((out.problem = o2s::iso::ReadImage(reader, &image, &subject)) != o2s::iso::IsoProblem::kNone) return out;
  out.step = 1;
  int chosen = o2s::iso::ChooseSetupFolder(image);
  if (chosen < 0) return out;
  out.step = 2;
  std::vector<o2s::iso::Record> records;
  if ((out.problem = o2s::iso::ReadRecords(reader, image, image.iso, image.iso.directories[chosen], &records, &subject)) !=
      o2s::iso::IsoProblem::kNone) {
    return out;
  }
  out.step = 3;
  std::vector<o2s::iso::NewFile> files;
  for (const auto& record : o2s::iso::RecordsToExtract(records, {"viostor.sys", "Readme.TXT"})) {
    std::string taken;
    if (o2s::iso::ReadFileData(reader, image, record, 1u << 20, &taken, &subject) == o2s::iso::IsoProblem::kNone) {
      files.push_back({o2s::iso::NameOf(record, false), taken + "changed"});
      out.taken.push_back(taken);
    }
  }
  files.push_back({"viostor.sys", std::string(3000, 'v')});
  out.step = 4;
  out.problem = o2s::iso::PlanUpdate(reader, image, chosen, files, &out.update, &subject);
  return out;
}

bool Same(const Outcome& a, const Outcome& b) {
  return a.step == b.step && a.problem == b.problem && a.taken == b.taken &&
         a.update.appendOffset == b.update.appendOffset && a.update.appended == b.update.appended &&
         a.update.patches == b.update.patches && a.update.volumeSectors == b.update.volumeSectors;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(16 * o2s::iso::kSector, '\0');
  bytes.append(reinterpret_cast<const char*>(data), size);
  o2s::iso::MemoryReader whole(bytes.data(), bytes.size());
  Outcome expected = Run(whole);

  o2s::iso::RangeCacheReader cache(bytes.size(), bytes.size(), o2s::iso::kSector);
  for (size_t round = 0;; ++round) {
    if (round > bytes.size() / o2s::iso::kSector + 1) __builtin_trap();  // a round that fetched nothing new
    cache.ForgetNeeded();
    Outcome got = Run(cache);
    if (!cache.Lacking()) {
      if (!Same(got, expected)) __builtin_trap();
      break;
    }
    for (const o2s::iso::ByteRange& range : cache.Needed()) {
      if (!cache.Add(range.offset, bytes.substr(range.offset, range.size))) __builtin_trap();
    }
  }
  return 0;
}
