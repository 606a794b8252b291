// The reading of a device INF: models, the install section Windows takes,
// what it copies and which services it adds. The INFs are generated here,
// shaped as storage vendors ship them (decorated models, a co-installer,
// comments, quotes, UTF-16), and cut or bent as hostile ones are.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "check/inf_file.h"
#include "check/pe_image.h"

namespace o2s_test {
namespace {

using o2s::kInfNameCapacity;

// A storage INF as XP-era packages have it: models for x86 and x64, a
// co-installer, file lists with flags and comments.
const char kStorageInf[] =
    "; generated\r\n"
    "[Version]\r\n"
    "Signature=\"$WINDOWS NT$\"\r\n"
    "Class=SCSIAdapter\r\n"
    "CatalogFile=vstor.cat\r\n"
    "\r\n"
    "[Manufacturer]\r\n"
    "%Vendor% = Vendor, NTx86, NTamd64\r\n"
    "\r\n"
    "[Vendor.NTx86]\r\n"
    "%Dev1% = vstor_Inst, PCI\\VEN_1AF4&DEV_1001&SUBSYS_00021AF4, PCI\\VEN_1AF4&DEV_1001 ; both\r\n"
    "\"%Dev2%\" = \"vstor_Inst\" , \"PCI\\VEN_1AF4&DEV_1042\"\r\n"
    "\r\n"
    "[Vendor.NTamd64]\r\n"
    "%Dev1% = vstor64_Inst, PCI\\VEN_1AF4&DEV_1048\r\n"
    "\r\n"
    "[vstor_Inst]\r\n"
    "CopyFiles = Win9x_Files\r\n"
    "[vstor_Inst.NT]\r\n"
    "CopyFiles = Generic_Files\r\n"
    "[vstor_Inst.NTx86]\r\n"
    "CopyFiles = Driver_Files, @vstorhlp.sys\r\n"
    "[vstor_Inst.NTx86.Services]\r\n"
    "AddService = VStor, 0x00000002, vstor_Service ; boot start\r\n"
    "[vstor_Inst.NTx86.CoInstallers]\r\n"
    "CopyFiles = CoInst_Files\r\n"
    "[Driver_Files]\r\n"
    "vstor.sys,,,0x00004000 ; COPYFLG_IN_USE_RENAME, a=b in a comment\r\n"
    "vstormp.sys , vstormp_x86.sys\r\n"
    "\r\n"
    "[CoInst_Files]\r\n"
    "vstorco.dll\r\n"
    "[Generic_Files]\r\n"
    "generic.sys\r\n"
    "[Strings]\r\n"
    "Vendor=\"Example\"\r\n";

std::string Utf16(const std::string& text) {
  std::string out = "\xFF\xFE";
  for (char c : text) {
    out += c;
    out += '\0';
  }
  return out;
}

std::string Install(const std::string& inf, const std::string& id) {
  char install[kInfNameCapacity];
  if (!o2s::InfFindModel(inf.data(), inf.size(), id.data(), id.size(), install)) return "(none)";
  return install;
}

void Collect(void* context, const char* name, size_t length) {
  static_cast<std::vector<std::string>*>(context)->emplace_back(name, length);
}

std::vector<std::string> Copied(const std::string& inf, const std::string& base, unsigned machine) {
  char install[kInfNameCapacity];
  o2s::InfInstallSection(inf.data(), inf.size(), base.c_str(), machine, install);
  std::vector<std::string> names;
  o2s::InfCopiedFiles(inf.data(), inf.size(), install, Collect, &names);
  return names;
}

TEST(InfFile, FindsTheModelOfAnIdInAnyDecorationAndLetterCase) {
  std::string inf = kStorageInf;
  EXPECT_EQ(Install(inf, "PCI\\VEN_1AF4&DEV_1001"), "vstor_Inst");
  EXPECT_EQ(Install(inf, "pci\\ven_1af4&dev_1001&subsys_00021af4"), "vstor_Inst");
  EXPECT_EQ(Install(inf, "PCI\\VEN_1AF4&DEV_1042"), "vstor_Inst");  // quoted fields
  EXPECT_EQ(Install(inf, "PCI\\VEN_1AF4&DEV_1048"), "vstor64_Inst");
  EXPECT_EQ(Install(inf, "PCI\\VEN_1AF4&DEV_1000"), "(none)");
  EXPECT_EQ(Install(inf, "PCI\\VEN_1AF4"), "(none)");  // no prefix match
  EXPECT_EQ(Install(inf, ""), "(none)");
  // A description is no id; nor is the install section.
  EXPECT_EQ(Install(inf, "%Dev1%"), "(none)");
  EXPECT_EQ(Install(inf, "vstor_Inst"), "(none)");
}

void CollectModelId(void* context, const char* install, size_t installLength, const char* id, size_t idLength) {
  static_cast<std::vector<std::string>*>(context)->push_back(std::string(install, installLength) + " " +
                                                              std::string(id, idLength));
}

// One pass over every model's ids, for a caller with many ids to look up:
// the same models as InfFindModel, in file order; a [Manufacturer] with
// more entries than the bound, and one that names no section, read none
// past the bound.
TEST(InfFile, VisitsEveryModelIdAndEveryAddedServiceInOnePass) {
  std::string inf = kStorageInf;
  std::vector<std::string> ids;
  EXPECT_EQ(o2s::InfModelIds(inf.data(), inf.size(), CollectModelId, &ids), 4u);
  EXPECT_EQ(ids, (std::vector<std::string>{"vstor_Inst PCI\\VEN_1AF4&DEV_1001&SUBSYS_00021AF4",
                                           "vstor_Inst PCI\\VEN_1AF4&DEV_1001", "vstor_Inst PCI\\VEN_1AF4&DEV_1042",
                                           "vstor64_Inst PCI\\VEN_1AF4&DEV_1048"}));
  for (const std::string& model : ids) {
    size_t space = model.find(' ');
    EXPECT_EQ(Install(inf, model.substr(space + 1)), model.substr(0, space));
  }
  std::string many = "[Manufacturer]\r\n";
  for (unsigned i = 0; i < o2s::kInfMaxManufacturers + 5; ++i) many += "%V% = M" + std::to_string(i) + "\r\n";
  for (unsigned i = 0; i < o2s::kInfMaxManufacturers + 5; ++i) {
    many += "[M" + std::to_string(i) + ".NTx86]\r\n%D% = i" + std::to_string(i) + ", ID" + std::to_string(i) + "\r\n";
  }
  ids.clear();
  EXPECT_EQ(o2s::InfModelIds(many.data(), many.size(), CollectModelId, &ids), o2s::kInfMaxManufacturers);
  EXPECT_EQ(ids.back(), "i31 ID31");

  std::vector<std::string> services;
  const std::string two = inf + "[Other.Services]\r\nAddService = \"second\" , 2, s2\r\nAddService = ,2,s3\r\n";
  EXPECT_EQ(o2s::InfAddedServices(two.data(), two.size(), Collect, &services), 2u);
  EXPECT_EQ(services, (std::vector<std::string>{"VStor", "second"}));
}

// A hostile INF of 1 MB: 100,000 file lists on one CopyFiles line and
// 20,000 [Manufacturer] entries. Each list or entry is a pass over the
// INF, so only the first ones are read: the call ends (a reading of all
// would take hours), and what it reads is right.
TEST(InfFile, AHostileInfCostsBoundedPasses) {
  std::string inf = "[Manufacturer]\r\n";
  for (int i = 0; i < 20000; ++i) inf += "%V% = M" + std::to_string(i) + "\r\n";
  inf += "[inst]\r\nCopyFiles = ";
  for (int i = 0; i < 100000; ++i) inf += "L,";
  inf += "@last.sys\r\n[L]\r\nx.sys\r\n[M5.NTx86]\r\n%D% = five, ID5\r\n[M40]\r\n%D% = forty, ID40\r\n";
  while (inf.size() < (1u << 20)) inf += "; padding\r\n";
  std::vector<std::string> names;
  EXPECT_EQ(o2s::InfCopiedFiles(inf.data(), inf.size(), "inst", Collect, &names), o2s::kInfMaxFileLists + 1);
  EXPECT_EQ(names.back(), "last.sys");
  EXPECT_EQ(Install(inf, "ID5"), "five");
  EXPECT_EQ(Install(inf, "ID40"), "(none)");  // past the bound
  std::vector<std::string> ids;
  EXPECT_EQ(o2s::InfModelIds(inf.data(), inf.size(), CollectModelId, &ids), 1u);
}

// A device reports its less specific ids too: a model listing one of them
// serves it; never a vendor alone, never a more specific one.
TEST(InfFile, AModelListingALessSpecificIdServesTheDevice) {
  std::string inf = kStorageInf;
  EXPECT_EQ(Install(inf, "PCI\\VEN_1AF4&DEV_1001&SUBSYS_00000000"), "vstor_Inst");
  EXPECT_EQ(Install(inf, "PCI\\VEN_1AF4&DEV_1042&SUBSYS_00000000&REV_00"), "vstor_Inst");
  EXPECT_EQ(Install(inf, "PCI\\VEN_1AF4&DEV_10"), "(none)");
  std::string vendorOnly = "[Manufacturer]\nM=Models\n[Models]\nd=Inst,PCI\\VEN_1AF4\n";
  EXPECT_EQ(Install(vendorOnly, "PCI\\VEN_1AF4&DEV_1001"), "(none)");
  size_t forms[4];
  const char id[] = "PCI\\VEN_1&DEV_2&SUBSYS_3&REV_4";
  ASSERT_EQ(o2s::InfIdForms(id, strlen(id), forms, 4), 3u);
  EXPECT_EQ(std::string(id, forms[1]), "PCI\\VEN_1&DEV_2&SUBSYS_3");
  EXPECT_EQ(std::string(id, forms[2]), "PCI\\VEN_1&DEV_2");
}

TEST(InfFile, TakesTheInstallSectionWindowsTakes) {
  std::string inf = kStorageInf;
  char install[kInfNameCapacity];
  o2s::InfInstallSection(inf.data(), inf.size(), "vstor_Inst", o2s::kMachineX86, install);
  EXPECT_STREQ(install, "vstor_Inst.NTx86");
  o2s::InfInstallSection(inf.data(), inf.size(), "vstor_Inst", o2s::kMachineX64, install);
  EXPECT_STREQ(install, "vstor_Inst.NT");
  o2s::InfInstallSection(inf.data(), inf.size(), "VSTOR_INST", 0, install);
  EXPECT_STREQ(install, "VSTOR_INST.NT");
  o2s::InfInstallSection(inf.data(), inf.size(), "vstor64_Inst", o2s::kMachineX64, install);
  EXPECT_STREQ(install, "vstor64_Inst");
}

TEST(InfFile, ListsWhatTheInstallSectionAndItsCoInstallersCopy) {
  std::string inf = kStorageInf;
  EXPECT_EQ(Copied(inf, "vstor_Inst", o2s::kMachineX86),
            (std::vector<std::string>{"vstor.sys", "vstormp_x86.sys", "vstorhlp.sys", "vstorco.dll"}));
  EXPECT_EQ(Copied(inf, "vstor_Inst", o2s::kMachineX64), (std::vector<std::string>{"generic.sys"}));
  EXPECT_EQ(Copied(inf, "missing_Inst", o2s::kMachineX86), (std::vector<std::string>{}));
}

TEST(InfFile, FindsTheServicesItAdds) {
  std::string inf = kStorageInf;
  EXPECT_TRUE(o2s::InfAddsService(inf.data(), inf.size(), "vstor", 5));
  EXPECT_TRUE(o2s::InfAddsService(inf.data(), inf.size(), "VSTOR", 5));
  EXPECT_FALSE(o2s::InfAddsService(inf.data(), inf.size(), "vsto", 4));
  EXPECT_FALSE(o2s::InfAddsService(inf.data(), inf.size(), "vstor_Service", 13));
}

TEST(InfFile, ReadsUtf16AndDropsByteOrderMarks) {
  std::string raw = Utf16(kStorageInf);
  std::vector<char> text(raw.size());
  size_t size = o2s::InfText(reinterpret_cast<const unsigned char*>(raw.data()), raw.size(), text.data(), text.size());
  EXPECT_EQ(std::string(text.data(), size), kStorageInf);
  std::string inf(text.data(), size);
  EXPECT_EQ(Install(inf, "PCI\\VEN_1AF4&DEV_1042"), "vstor_Inst");

  std::string utf8 = std::string("\xEF\xBB\xBF") + kStorageInf;
  size = o2s::InfText(reinterpret_cast<const unsigned char*>(utf8.data()), utf8.size(), text.data(), text.size());
  EXPECT_EQ(std::string(text.data(), size), kStorageInf);

  // A character beyond Latin-1 is '?'; an odd last byte is dropped; the
  // output is cut at its capacity.
  const unsigned char wide[] = {0xFF, 0xFE, 'a', 0, 0x42, 0x30, 'b', 0, 'c'};
  size = o2s::InfText(wide, sizeof wide, text.data(), text.size());
  EXPECT_EQ(std::string(text.data(), size), "a?b");
  size = o2s::InfText(wide, sizeof wide, text.data(), 2);
  EXPECT_EQ(std::string(text.data(), size), "a?");
}

TEST(InfFile, SplitsFieldsAsSetupDoes) {
  struct Case {
    const char* value;
    unsigned index;
    const char* field;  // null: no such field
  } cases[] = {
      {"a, b ,c", 1, "b"},
      {"a, b ,c", 2, "c"},
      {"a, b ,c", 3, nullptr},
      {"\"x, y\" , z", 0, "x, y"},
      {"\"x; y\" ; z", 1, nullptr},
      {"a ; b, c", 1, nullptr},
      {"", 0, ""},
      {",,", 2, ""},
      {"\"unclosed, b", 1, nullptr},
      {"\"\"", 0, ""},
  };
  for (const Case& c : cases) {
    const char* field;
    size_t length;
    bool found = o2s::InfField(c.value, strlen(c.value), c.index, &field, &length);
    SCOPED_TRACE(std::string(c.value) + " #" + std::to_string(c.index));
    ASSERT_EQ(found, c.field != nullptr);
    if (found) {
      EXPECT_EQ(std::string(field, length), c.field);
    }
  }
}

// Hostile INFs: nothing read past the end, nothing named past a cut, long
// names cut, sections that name themselves read once.
TEST(InfFile, StaysWithinCutAndBentFiles) {
  std::string inf = kStorageInf;
  for (size_t cut = 0; cut <= inf.size(); ++cut) {
    std::vector<char> copy(inf.begin(), inf.begin() + static_cast<long>(cut));  // no terminator
    char install[kInfNameCapacity];
    o2s::InfFindModel(copy.data(), copy.size(), "PCI\\VEN_1AF4&DEV_1001", 21, install);
    o2s::InfInstallSection(copy.data(), copy.size(), "vstor_Inst", o2s::kMachineX86, install);
    std::vector<std::string> names;
    o2s::InfCopiedFiles(copy.data(), copy.size(), install, Collect, &names);
    for (const std::string& name : names) {
      EXPECT_EQ(name.find_first_of("\r\n"), std::string::npos) << cut;
    }
  }
  std::string loop =
      "[Manufacturer]\nM=Models\n[Models]\nd=Loop,ID\n[Loop]\nCopyFiles=Loop,Loop.CoInstallers\n"
      "[Loop.CoInstallers]\nCopyFiles=Loop\n";
  EXPECT_EQ(Copied(loop, "Loop", o2s::kMachineX86),
            (std::vector<std::string>{"Loop.CoInstallers", "CopyFiles=Loop", "Loop.CoInstallers"}));
  std::string longName = "[Manufacturer]\nM=Models\n[Models]\nd=" + std::string(500, 'i') + ",ID\n";
  EXPECT_EQ(Install(longName, "ID"), std::string(kInfNameCapacity - 1, 'i'));
  char install[kInfNameCapacity];
  o2s::InfInstallSection(longName.data(), longName.size(), std::string(kInfNameCapacity - 1, 'i').c_str(),
                         o2s::kMachineX86, install);
  EXPECT_EQ(std::string(install), std::string(kInfNameCapacity - 1, 'i'));
}

}  // namespace
}  // namespace o2s_test
