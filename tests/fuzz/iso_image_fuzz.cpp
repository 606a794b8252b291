// Any bytes as a CD image (the input is the image from sector 16 on, the
// system area left zero, so that small inputs reach the descriptors): the
// image is read, its setup folder chosen, its files taken out and an
// update planned, as oem2sif-integrate --iso does. No crash, no access
// outside the buffers, and memory bounded whatever the records claim.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "iso/iso_update.h"
#include "iso/setup_extract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(16 * o2s::iso::kSector, '\0');
  bytes.append(reinterpret_cast<const char*>(data), size);
  o2s::iso::MemoryReader reader(bytes.data(), bytes.size());
  o2s::iso::Image image;
  std::string subject;
  if (o2s::iso::ReadImage(reader, &image, &subject) != o2s::iso::IsoProblem::kNone) return 0;
  int chosen = o2s::iso::ChooseSetupFolder(image);
  if (chosen < 0) return 0;
  std::vector<o2s::iso::Record> records;
  if (o2s::iso::ReadRecords(reader, image, image.iso, image.iso.directories[chosen], &records, &subject) !=
      o2s::iso::IsoProblem::kNone) {
    return 0;
  }
  std::vector<o2s::iso::NewFile> files;
  for (const auto& record : o2s::iso::RecordsToExtract(records, {"viostor.sys", "Readme.TXT"})) {
    std::string taken;
    if (o2s::iso::ReadFileData(reader, image, record, 1u << 20, &taken, &subject) == o2s::iso::IsoProblem::kNone) {
      files.push_back({o2s::iso::NameOf(record, false), taken + "changed"});
    }
  }
  files.push_back({"viostor.sys", std::string(3000, 'v')});
  o2s::iso::Update update;
  o2s::iso::PlanUpdate(reader, image, chosen, files, &update, &subject);
  return 0;
}
