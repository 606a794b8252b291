// The check of a finished setup folder: a folder like a CD's I386 after two
// integrations, clean, then with each fault planted once; the command as a
// process; the dosnet.inf edit; the cabinet and PE readers at their edges.
#include <fcntl.h>
#include <sys/stat.h>
#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "check/cabinet.h"
#include "check/check.h"
#include "check/dosnet.h"
#include "check/driver_image.h"
#include "check/finding_text.h"
#include "check/pe_image.h"
#include "check/setup_identity.h"
#include "check/setup_names.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "sif/sif_writer.h"
#include "tests/support/driver_files.h"
#include "tests/support/setup_file_generator.h"
#include "tests/support/test_support.h"

namespace o2s_test {
namespace {

struct Driver {
  const char* service;
  const char* file;
  const char* id;
};
const Driver kViostor{"viostor", "viostor.sys", "PCI\\VEN_1AF4&DEV_1001&SUBSYS_00021AF4"};
const Driver kIastor{"iastor", "iastor.sys", "PCI\\VEN_8086&DEV_2822&CC_0104"};

// A device INF as driver packages ship them: its models list `id` for an
// install section (decorated NTx86 or not) that copies the driver and, from
// its .CoInstallers section, the co-installer; CR LF lines.
std::string MakeDeviceInf(const Driver& d, const std::string& coInstaller, bool decorated,
                          const std::string& copied = "") {
  const std::string service = d.service, install = service + "_inst" + (decorated ? ".NTx86" : "");
  std::string inf = "; " + service + ".inf, generated\n[Version]\nSignature=\"$Windows NT$\"\nClass=SCSIAdapter\n"
                    "ClassGUID={4D36E97B-E325-11CE-BFC1-08002BE10318}\nProvider=%Vendor%\nCatalogFile=" +
                    service + ".cat\nDriverVer=01/01/2020,1.0.0.0\n\n[SourceDisksNames]\n1 = %Disk%,,,\"\"\n\n"
                    "[DestinationDirs]\nDefaultDestDir = 12\nCoInstaller_CopyFiles = 11\n\n[Manufacturer]\n"
                    "%Vendor% = Models" + (decorated ? ", NTx86" : "") + "\n\n[Models" + (decorated ? ".NTx86" : "") +
                    "]\n%Device% = " + service + "_inst, " + d.id + "\n\n[" + install + "]\nCopyFiles = Driver_Files\n\n"
                    "[Driver_Files]\n" + (copied.empty() ? d.file : copied) + ",,,2\n\n[" + install +
                    ".Services]\nAddService = " + service + ", 0x00000002, Service_Inst\n\n[Service_Inst]\n"
                    "ServiceType = 1\nStartType = 0\nErrorControl = 1\nServiceBinary = %12%\\" + d.file +
                    "\nLoadOrderGroup = SCSI miniport\n";
  if (!coInstaller.empty()) {
    inf += "\n[" + install + ".CoInstallers]\nAddReg = CoInstaller_AddReg\nCopyFiles = CoInstaller_CopyFiles\n\n"
           "[CoInstaller_CopyFiles]\n" + coInstaller + "\n\n[CoInstaller_AddReg]\nHKR,,CoInstallers32,0x00010000,\"" +
           coInstaller + ",CoInstaller\"\n";
  }
  inf += "\n[Strings]\nVendor = \"Test Vendor\"\nDevice = \"Test Adapter\"\nDisk = \"Test Disk\"\n";
  std::string crlf;
  for (char c : inf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return crlf;
}

std::string Utf16(const std::string& text) {
  std::string out = "\xff\xfe";
  for (char c : text) out += std::string(1, c) + '\0';
  return out;
}

o2s::CheckWorkspace gWorkspace;

uint32_t Read32At(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<size_t>(i)]);
  return v;
}

// One finding as text, so that a failure shows all of it.
std::string Describe(const o2s::Finding& f) {
  return std::to_string(f.kind) + " " + f.service + " " + f.file + " " + f.extra + " @" +
         std::to_string(f.place) + ":" + std::to_string(f.line);
}

class SetupFolder : public ::testing::Test {
 protected:
  // A setup folder after two integrations: viostor.sys plain, iastor.sys
  // compressed (100 KB: four cabinet blocks), the modules they import as
  // compressed names in capitals; each with its INF and catalog in the inf
  // folder's rows (viostor.inf plain, with a co-installer; iastor.in_
  // compressed), dosnet.inf naming them all.
  void Build(const std::string& folder = "I386", const std::string& original = GenerateSetupFile(3000)) {
    folder_ = dir_ / ("case" + std::to_string(++cases_));
    mkdir(folder_.c_str(), 0755);
    folder_ += "/" + folder;
    mkdir(folder_.c_str(), 0755);
    Put("txtsetup.sif.orig", original);
    Put("txtsetup.sif", original);
    ::testing::internal::CaptureStdout();  // the writer's progress
    Integrate(kViostor);
    Integrate(kIastor);
    ::testing::internal::GetCapturedStdout();
    for (const char* row : {"viostor.inf", "viostor.cat", "iastor.inf", "iastor.cat"}) AddRow(row, "20");
    AddRow("viocoins.dll", "2");
    Put("txtsetup.sif", Get("txtsetup.sif") + "\x1a");  // the profile writer drops it; setup files end so
    Put("viostor.sys", MakeDriverImage(o2s::kMachineX86, {"ntoskrnl.exe", "HAL.dll", "SCSIPORT.SYS"}));
    Put("iastor.sy_", IastorCabinet({"ntoskrnl.exe", "scsiport.sys"}));
    for (const char* name : {"NTOSKRNL.EX_", "HAL.DL_", "SCSIPORT.SY_"}) Put(name, "");
    Put("viostor.inf", MakeDeviceInf(kViostor, "viocoins.dll", true));
    Put("iastor.in_", MakeCabinet("iastor.inf", MakeDeviceInf(kIastor, "", false)));
    Put("viostor.cat", "catalog");
    Put("IASTOR.CA_", "catalog");
    Put("VIOCOINS.DL_", "");
    Put("dosnet.inf", Dosnet({"viostor.sys", "iastor.sys"}, {"viostor.sys", "iastor.sys"}));
  }
  // dosnet.inf naming `files` and the INFs' files in [Files].
  static std::string Dosnet(const std::vector<std::string>& boot, std::vector<std::string> files) {
    for (const char* name : {"viostor.inf", "viostor.cat", "viocoins.dll", "iastor.inf", "iastor.cat"}) {
      files.push_back(name);
    }
    return MakeDosnet(boot, files);
  }
  // A [SourceDisksFiles] row as an integration writes it: disk 1, into the
  // [WinntDirectories] folder `directory` (20 inf, 2 system32).
  void AddRow(const std::string& name, const std::string& directory) {
    o2s::WritePrivateProfileStringA("SourceDisksFiles", name.c_str(), ("1,,,,,,," + directory + ",0,0").c_str(),
                                    Path("txtsetup.sif").c_str());
  }
  void Integrate(const Driver& d) {
    char scratch[o2s::kScratchCapacity];
    std::string id = d.id, service = d.service;
    char* ids[] = {&id[0]};
    char* services[] = {&service[0]};
    o2s::WriteDriverOption(Path("txtsetup.sif").c_str(), scratch, d.service, "Test Adapter", d.file,
                           ids, services, 1, 0);
  }
  static std::string IastorCabinet(const std::vector<std::string>& imports) {
    return MakeCabinet("iastor.sys", MakeDriverImage(o2s::kMachineX86, imports, 100000));
  }
  void RemoveRow(const std::string& name) {
    std::string text = Get("txtsetup.sif");
    size_t at = text.find("\n" + name + " = 1,");
    ASSERT_NE(at, std::string::npos) << name;
    Put("txtsetup.sif", text.erase(at + 1, text.find('\n', at + 1) - at));
  }
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  void Put(const std::string& name, const std::string& bytes) { WriteFile(Path(name), bytes); }
  std::string Get(const std::string& name) { return ReadFile(Path(name)); }
  void Replace(const std::string& name, const std::string& from, const std::string& to) {
    std::string text = Get(name);
    size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    Put(name, text.replace(at, from.size(), to));
  }
  unsigned LineOf(const std::string& name, const std::string& needle) {
    std::string text = Get(name);
    size_t at = text.find(needle);
    EXPECT_NE(at, std::string::npos) << needle;
    return 1 + static_cast<unsigned>(std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
  }
  std::vector<std::string> Check(o2s::CheckResult* got = nullptr) {
    o2s::Finding findings[64];
    o2s::CheckResult local;
    o2s::CheckResult& result = got != nullptr ? *got : local;
    EXPECT_EQ(o2s::CheckSetupFolder(folder_.c_str(), &gWorkspace, findings, 64, &result), o2s::kCheckDone);
    std::vector<std::string> out;
    for (unsigned i = 0; i < result.count; ++i) out.push_back(Describe(findings[i]));
    return out;
  }
  std::string Expect(o2s::FindingKind kind, const std::string& service, const std::string& file,
                     const std::string& extra, o2s::FindingPlace place, unsigned line) {
    o2s::Finding f{kind, place, line, 0, {}, {}, {}, {}};
    strcpy(f.service, service.c_str());
    strcpy(f.file, file.c_str());
    strcpy(f.extra, extra.c_str());
    return Describe(f);
  }

  ScratchDir dir_;
  std::string folder_;
  int cases_ = 0;
};

TEST_F(SetupFolder, CleanFolderHasNoFindingAndEachPlantedFaultIsFoundOnce) {
  Build();
  EXPECT_EQ(Check(), std::vector<std::string>{});

  using o2s::kInDosnet;
  using o2s::kInSetupFile;
  struct Plant {
    const char* what;
    std::function<void()> plant;
    std::function<std::vector<std::string>()> expected;
  };
  auto viostor = [&](o2s::FindingKind kind, const std::string& file, const std::string& extra) {
    return std::vector<std::string>{
        Expect(kind, "viostor", file, extra, kInSetupFile, LineOf("txtsetup.sif", "viostor = viostor.sys,4"))};
  };
  // A row of the inf folder's finding, after every service's.
  auto infRow = [&](o2s::FindingKind kind, const std::string& file, const std::string& extra,
                    const std::string& row = "") {
    return std::vector<std::string>{Expect(kind, "", file, extra, kInSetupFile,
                                           LineOf("txtsetup.sif", (row.empty() ? file : row) + " = 1,"))};
  };
  auto dosnet = [&](o2s::FindingKind kind, const char* header) {
    return std::vector<std::string>{
        Expect(kind, "viostor", "viostor.sys", "", kInDosnet, LineOf("dosnet.inf", header))};
  };
  const Plant plants[] = {
      {"driver file missing", [&] { unlink(Path("viostor.sys").c_str()); },
       [&] { return viostor(o2s::kFindingDriverMissing, "viostor.sys", "viostor.sy_"); }},
      {"no [SourceDisksFiles] entry", [&] { Replace("txtsetup.sif", "viostor.sys = 1,,,,,,4_,4,1,,,1,4\r\n", ""); },
       [&] { return viostor(o2s::kFindingNoSourceDisksFiles, "viostor.sys", ""); }},
      {"[SCSI] without the service", [&] { Replace("txtsetup.sif", "viostor = \"Test Adapter\"\r\n", ""); },
       [&] { return viostor(o2s::kFindingNotInScsi, "viostor.sys", ""); }},
      {"an id whose service is not loaded",
       [&] { o2s::WritePrivateProfileStringA("HardwareIdsDatabase", "PCI\\VEN_DEAD&DEV_BEEF", "\"ghost\"",
                                             Path("txtsetup.sif").c_str()); },
       [&] {
         return std::vector<std::string>{Expect(o2s::kFindingIdWithoutLoad, "ghost", "", "PCI\\VEN_DEAD&DEV_BEEF",
                                                kInSetupFile, LineOf("txtsetup.sif", "PCI\\VEN_DEAD"))};
       }},
      {"empty driver file", [&] { Put("viostor.sys", ""); },
       [&] { return viostor(o2s::kFindingDriverEmpty, "viostor.sys", ""); }},
      {"no PE image", [&] { Put("viostor.sys", "MZ, but no more"); },
       [&] { return viostor(o2s::kFindingNotDriver, "viostor.sys", ""); }},
      {"a 64-bit driver in a 32-bit source",
       [&] { Put("viostor.sys", MakeDriverImage(o2s::kMachineX64, {"ntoskrnl.exe"})); },
       [&] { return viostor(o2s::kFindingWrongMachine, "viostor.sys", "x64"); }},
      {"a compressed driver that imports storport.sys",
       [&] { Put("iastor.sy_", IastorCabinet({"ntoskrnl.exe", "storport.sys"})); },
       [&] {
         return std::vector<std::string>{Expect(o2s::kFindingImportMissing, "iastor", "iastor.sy_", "storport.sys",
                                                kInSetupFile, LineOf("txtsetup.sif", "iastor = iastor.sys,4"))};
       }},
      {"a damaged cabinet", [&] { Put("iastor.sy_", Get("iastor.sy_").substr(0, 2000)); },
       [&] {
         return std::vector<std::string>{Expect(o2s::kFindingDamagedCabinet, "iastor", "iastor.sy_", "",
                                                kInSetupFile, LineOf("txtsetup.sif", "iastor = iastor.sys,4"))};
       }},
      {"missing from [FloppyFiles.2]", [&] { Put("dosnet.inf", Dosnet({"iastor.sys"}, {"VIOSTOR.SYS", "iastor.sys"})); },
       [&] { return dosnet(o2s::kFindingNotInBootFiles, "[FloppyFiles.2]"); }},
      {"missing from [Files]", [&] { Put("dosnet.inf", Dosnet({"viostor.sys", "iastor.sys"}, {"iastor.sys"})); },
       [&] { return dosnet(o2s::kFindingNotInDosnetFiles, "[Files]"); }},
      {"a lone LF", [&] { Replace("txtsetup.sif", "\r\n[Strings]", "\n[Strings]"); },
       [&] {
         return std::vector<std::string>{Expect(o2s::kFindingMixedLineEnds, "", "txtsetup.sif", "", kInSetupFile,
                                                LineOf("txtsetup.sif", "[Strings]") - 1)};
       }},
      {"a line after the 0x1A", [&] { Put("txtsetup.sif", Get("txtsetup.sif") + "\r\nlate = 1\r\n"); },
       [&] {
         return std::vector<std::string>{Expect(o2s::kFindingTextAfterEnd, "", "txtsetup.sif", "", kInSetupFile,
                                                LineOf("txtsetup.sif", "late = 1"))};
       }},
      // printf 'junk\n' >> txtsetup.sif: its lone LF is past what setup reads.
      {"junk after the 0x1A", [&] { Put("txtsetup.sif", Get("txtsetup.sif") + "junk\n"); },
       [&] {
         return std::vector<std::string>{Expect(o2s::kFindingTextAfterEnd, "", "txtsetup.sif", "", kInSetupFile,
                                                LineOf("txtsetup.sif", "junk"))};
       }},
      {"a [SCSI.Load] entry after the 0x1A",
       [&] { Put("txtsetup.sif", Get("txtsetup.sif") + "\r\n[SCSI.Load]\r\nlate = late.sys,4\r\n"); },
       [&] {
         return std::vector<std::string>{Expect(o2s::kFindingTextAfterEnd, "", "txtsetup.sif", "", kInSetupFile,
                                                LineOf("txtsetup.sif", "[SCSI.Load]\r\nlate"))};
       }},
      {"a driver cut at half", [&] {
         Put("viostor.sys", MakeDriverImage(o2s::kMachineX86, {"ntoskrnl.exe"}, 131072).substr(0, 66304));
       },
       [&] { return viostor(o2s::kFindingDriverCut, "viostor.sys", ""); }},
      {"a cut driver in a cabinet",
       [&] { Put("iastor.sy_", MakeCabinet("iastor.sys", MakeDriverImage(o2s::kMachineX86, {}, 100000).substr(0, 50000))); },
       [&] {
         return std::vector<std::string>{Expect(o2s::kFindingDriverCut, "iastor", "iastor.sy_", "", kInSetupFile,
                                                LineOf("txtsetup.sif", "iastor = iastor.sys,4"))};
       }},
      {"an emptied txtsetup.sif", [&] { Put("txtsetup.sif", ""); },
       [&] {
         return std::vector<std::string>{Expect(o2s::kFindingSetupFileLost, "", "txtsetup.sif", "[Version] signature",
                                                o2s::kInNoFile, LineOf("txtsetup.sif.orig", "signature"))};
       }},
      {"an all-NUL txtsetup.sif", [&] { Put("txtsetup.sif", std::string(Get("txtsetup.sif").size(), '\0')); },
       [&] {
         return std::vector<std::string>{Expect(o2s::kFindingSetupFileLost, "", "txtsetup.sif", "[Version] signature",
                                                o2s::kInNoFile, LineOf("txtsetup.sif.orig", "signature"))};
       }},
      {"an import outside the folder",
       [&] { Put("viostor.sys", MakeDriverImage(o2s::kMachineX86, {"ntoskrnl.exe", "../../../../../../etc/passwd"})); },
       [&] { return viostor(o2s::kFindingUnsafeName, "viostor.sys", "../../../../../../etc/passwd"); }},
      {"a cabinet of compression type 7", [&] {
         std::string cabinet = Get("iastor.sy_");
         cabinet[42] = 7;  // the folder's compression type
         Put("iastor.sy_", cabinet);
       },
       [&] {
         return std::vector<std::string>{Expect(o2s::kFindingUnknownPacking, "iastor", "iastor.sy_", "", kInSetupFile,
                                                LineOf("txtsetup.sif", "iastor = iastor.sys,4"))};
       }},
      {"a cabinet continued from another", [&] {
         std::string cabinet = Get("iastor.sy_");
         cabinet[30] = static_cast<char>(cabinet[30] | 1);
         Put("iastor.sy_", cabinet);
       },
       [&] {
         return std::vector<std::string>{Expect(o2s::kFindingContinuedCabinet, "iastor", "iastor.sy_", "",
                                                kInSetupFile, LineOf("txtsetup.sif", "iastor = iastor.sys,4"))};
       }},
      {"random bytes as a compressed driver", [&] {
         std::string noise(5000, '\0');
         for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>(i * 2654435761u >> 13);
         Put("iastor.sy_", noise);
       },
       [&] {
         return std::vector<std::string>{Expect(o2s::kFindingDamagedCabinet, "iastor", "iastor.sy_", "",
                                                kInSetupFile, LineOf("txtsetup.sif", "iastor = iastor.sys,4"))};
       }},
      // GUI-mode setup's INFs.
      {"no INF at all", [&] {
         for (const char* row : {"viostor.inf", "viostor.cat"}) RemoveRow(row);
         unlink(Path("viostor.inf").c_str());
       },
       [&] { return viostor(o2s::kFindingNoInf, "", kViostor.id); }},
      {"an INF row whose file is not there", [&] { unlink(Path("viostor.inf").c_str()); },
       [&] { return infRow(o2s::kFindingInfMissing, "viostor.inf", "viostor.in_"); }},
      {"a catalog row whose file is not there", [&] { unlink(Path("IASTOR.CA_").c_str()); },
       [&] { return infRow(o2s::kFindingInfMissing, "iastor.cat", "iastor.ca_"); }},
      {"an INF that adds the service but lists none of its ids",
       [&] { Put("viostor.inf", MakeDeviceInf({"viostor", "viostor.sys", "PCI\\VEN_1AF4&DEV_1004"}, "viocoins.dll", true)); },
       [&] { return viostor(o2s::kFindingInfLacksIds, "viostor.inf", kViostor.id); }},
      {"the co-installer the INF copies is not there", [&] { unlink(Path("VIOCOINS.DL_").c_str()); },
       [&] { return viostor(o2s::kFindingInfFileMissing, "viostor.inf", "viocoins.dll"); }},
      {"an INF that copies a file from outside the folder",
       [&] { Put("viostor.inf", MakeDeviceInf(kViostor, "viocoins.dll", true, "..\\x.sys")); },
       [&] { return viostor(o2s::kFindingUnsafeName, "viostor.inf", "..\\x.sys"); }},
      {"the INF missing from dosnet.inf's [Files]",
       [&] { Replace("dosnet.inf", "d1,viostor.inf\r\n", ""); },
       [&] {
         return std::vector<std::string>{Expect(o2s::kFindingNotInDosnetFiles, "viostor", "viostor.inf", "", kInDosnet,
                                                LineOf("dosnet.inf", "[Files]"))};
       }},
      {"a compressed INF in a cabinet cut short", [&] { Put("iastor.in_", Get("iastor.in_").substr(0, 100)); },
       [&] { return infRow(o2s::kFindingDamagedCabinet, "iastor.in_", "", "iastor.inf"); }},
      {"a service without hardware ids, added by its INF", [&] {
         std::string text = Get("txtsetup.sif");
         size_t at = text.find(std::string(kViostor.id) + " = ");
         ASSERT_NE(at, std::string::npos);
         Put("txtsetup.sif", text.erase(at, text.find('\n', at) + 1 - at));
       },
       [] { return std::vector<std::string>{}; }},
      {"a UTF-16 INF", [&] { Put("viostor.inf", Utf16(MakeDeviceInf(kViostor, "viocoins.dll", true))); },
       [] { return std::vector<std::string>{}; }},
      {"the inf folder under another [WinntDirectories] number", [&] {
         std::string text = Get("txtsetup.sif");
         for (size_t at; (at = text.find(",,20,0,0")) != std::string::npos;) text.replace(at, 8, ",,21,0,0");
         Put("txtsetup.sif", text);
         o2s::WritePrivateProfileStringA("WinntDirectories", "20", "system32\\drivers", Path("txtsetup.sif").c_str());
         o2s::WritePrivateProfileStringA("WinntDirectories", "21", "\"INF\"", Path("txtsetup.sif").c_str());
       },
       [] { return std::vector<std::string>{}; }},
      {"a PE whose subsystem is 0", [&] {
         std::string image = MakeDriverImage(o2s::kMachineX86, {"ntoskrnl.exe"});
         image[0x80 + 24 + 68] = 0;
         Put("viostor.sys", image);
       },
       [&] { return viostor(o2s::kFindingNotNative, "viostor.sys", ""); }},
  };
  for (const Plant& p : plants) {
    SCOPED_TRACE(p.what);
    Build();
    p.plant();
    EXPECT_EQ(Check(), p.expected());
  }
}

TEST_F(SetupFolder, ArchitectureFromTheSetupFileAndNotesWithoutBackup) {
  // Not named I386: the sections of an x64 source make both drivers wrong.
  Build("setup");
  for (const char* file : {"txtsetup.sif", "txtsetup.sif.orig"}) {
    Replace(file, "[SourceDisksFiles.x86]", "[SourceDisksFiles.amd64]");
    Replace(file, "[SourceDisksNames.x86]", "[SourceDisksNames.amd64]");
  }
  unsigned viostor = LineOf("txtsetup.sif", "viostor = viostor.sys,4");
  unsigned iastor = LineOf("txtsetup.sif", "iastor = iastor.sys,4");
  EXPECT_EQ(Check(), (std::vector<std::string>{
                         Expect(o2s::kFindingWrongMachine, "viostor", "viostor.sys", "x86", o2s::kInSetupFile, viostor),
                         Expect(o2s::kFindingWrongMachine, "iastor", "iastor.sy_", "x86", o2s::kInSetupFile, iastor)}));
  // An empty backup is none: every [SCSI.Load] entry is judged, the
  // generated source's own drivers among them (no files for them here).
  Put("txtsetup.sif.orig", "");
  std::vector<std::string> found = Check();
  ASSERT_GT(found.size(), 2u);
  EXPECT_EQ(found[0], Expect(o2s::kNoteNoBackup, "", "txtsetup.sif.orig", "", o2s::kInNoFile, 0));
  EXPECT_EQ(found[1], Expect(o2s::kFindingNoSourceDisksFiles, "scsidrv0", "scsidrv0.sys", "", o2s::kInSetupFile,
                             LineOf("txtsetup.sif", "scsidrv0 = scsidrv0.sys,4")));
}

// An XP source's txtsetup.sif names the 64-bit machines too: what it says
// of itself ([SetupData] Architecture) decides, whatever the folder is
// called; then the folder's name; then the platform section with most
// entries.
TEST_F(SetupFolder, MachineOfAnXpSourceWhateverItsFolderIsCalled) {
  struct Case {
    const char* folder;
    XpSetupFile xp;
    unsigned machine;
    o2s::MachineEvidence evidence;
  };
  XpSetupFile xp, bare, nameless, win2000, win2003;
  bare.setupData = false;
  nameless.architecture = "";
  win2000.minorVersion = 0;
  win2003.minorVersion = 2;
  const Case cases[] = {
      {"I386", xp, o2s::kMachineX86, o2s::kMachineFromSetupData},
      {"xp", xp, o2s::kMachineX86, o2s::kMachineFromSetupData},
      {"I386 - Copy", xp, o2s::kMachineX86, o2s::kMachineFromSetupData},
      {"amd64", xp, o2s::kMachineX86, o2s::kMachineFromSetupData},
      {"xp", win2000, o2s::kMachineX86, o2s::kMachineFromSetupData},
      {"xp", win2003, o2s::kMachineX86, o2s::kMachineFromSetupData},
      {"i386", bare, o2s::kMachineX86, o2s::kMachineFromFolderName},
      {"xp", bare, o2s::kMachineX86, o2s::kMachineFromSections},
      {"I386 - Copy", nameless, o2s::kMachineX86, o2s::kMachineFromSections},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.folder) + (c.xp.setupData ? "" : ", no [SetupData]") +
                 (c.xp.architecture.empty() ? ", no Architecture" : "") + " " +
                 std::to_string(c.xp.minorVersion));
    Build(c.folder, GenerateXpSetupFile(c.xp));
    o2s::CheckResult result;
    EXPECT_EQ(Check(&result), std::vector<std::string>{});
    EXPECT_EQ(result.machine, c.machine);
    EXPECT_EQ(result.machineEvidence, c.evidence);
    EXPECT_EQ(result.majorVersion, c.xp.setupData ? 5u : 0u);
    EXPECT_EQ(result.minorVersion, c.xp.setupData ? c.xp.minorVersion : 0u);
  }
  // The folder's name comes before the sections: x86 drivers in a folder
  // named AMD64 whose file does not say.
  Build("AMD64", GenerateXpSetupFile(bare));
  o2s::CheckResult result;
  EXPECT_EQ(Check(&result).size(), 2u);
  EXPECT_EQ(result.machine, o2s::kMachineX64);
  EXPECT_EQ(result.machineEvidence, o2s::kMachineFromFolderName);
}

TEST(SetupIdentity, ReadsOnlyWhatSetupReadsAndFirstOccurrences) {
  auto identity = [](const std::string& text, const char* folder = "") {
    o2s::SetupIdentity id;
    o2s::ReadSetupIdentity(text.data(), text.size(), folder, &id);
    return std::to_string(id.machine) + " " + std::to_string(id.evidence) + " " +
           std::to_string(id.majorVersion) + "." + std::to_string(id.minorVersion);
  };
  const std::string x86 = std::to_string(o2s::kMachineX86), x64 = std::to_string(o2s::kMachineX64);
  // A [SetupData] in two parts is one section; its first Architecture counts.
  EXPECT_EQ(identity("[SetupData]\r\nMajorVersion=5\r\n[x]\r\n[setupdata]\r\nArchitecture = \"amd64\"\r\n"
                     "Architecture=i386\r\nMinorVersion = 2\r\n"),
            x64 + " 1 5.2");
  // After the first 0x1A nothing counts.
  EXPECT_EQ(identity("[SetupData]\r\nMajorVersion=5\r\n\x1a\r\n[SetupData]\r\nArchitecture=amd64\r\nMinorVersion=1\r\n",
                     "I386"),
            x86 + " 2 5.0");
  EXPECT_EQ(identity("[SourceDisksNames.amd64]\n1=a\n\x1a[SourceDisksFiles.amd64]\na=1\n[SourceDisksNames.x86]\n1=a\n"),
            x64 + " 3 0.0");
  // Not a number, an unknown architecture, a tie: nothing decided.
  EXPECT_EQ(identity("[SetupData]\nArchitecture=mips\nMajorVersion=five\nMinorVersion=1x\n"
                     "[SourceDisksNames.amd64]\n1=a\n[SourceDisksNames.x86]\n1=a\n",
                     "setup"),
            "0 0 0.0");
  EXPECT_EQ(identity(""), "0 0 0.0");
  EXPECT_EQ(identity(GenerateXpSetupFile(), "AMD64"), x86 + " 1 5.1");
}

TEST(SetupNames, PlainNamesAndTheSetupsOwnFiles) {
  auto plain = [](const std::string& name) { return o2s::IsPlainFileName(name.data(), name.size()); };
  auto own = [](const std::string& name) { return o2s::IsSetupOwnFile(name.data(), name.size()); };
  for (const char* name : {"viostor.sys", "a", ".sys", "x..y", "\x82\xa0.sys", "with space.sys", "console.sys",
                           "com10.sys", "nul_.sys", "lpt0"}) {
    EXPECT_TRUE(plain(name)) << name;
  }
  for (const std::string& name : {std::string(""), std::string("."), std::string(".."), std::string("../x.sys"),
                                  std::string("a/b"), std::string("a\\b"), std::string("c:x.sys"),
                                  std::string("a\tb"), std::string("a\0b", 3), std::string("..."),
                                  // What Windows opens as another file, or as a device.
                                  std::string("txtsetup.sif."), std::string("txtsetup.sif "), std::string("a*.sys"),
                                  std::string("a?.sys"), std::string("a\"b"), std::string("a<b"), std::string("a|b"),
                                  std::string("CON"), std::string("nul.sys"), std::string("Aux .sys"),
                                  std::string("COM1.sys"), std::string("lpt9"), std::string("a\x7f")}) {
    EXPECT_FALSE(plain(name)) << name;
  }
  for (const char* name : {"txtsetup.sif", "TXTSETUP.SIF", "txtsetup.si_", "dosnet.inf", "DOSNET.IN_",
                           "txtsetup.sif.orig", "TxtSetup.Sif.Ori_", "dosnet.inf.orig", "txtsetup.sif.temp"}) {
    EXPECT_TRUE(own(name)) << name;
  }
  for (const char* name : {"txtsetup.oem", "txtsetup.sif.bak", "dosnet.inf2", "txtsetup.sif.orig.orig", ""}) {
    EXPECT_FALSE(own(name)) << name;
  }
}

// The check in a child process, so that one that would wait on a FIFO
// fails the test rather than stopping it: the status, then the findings.
// The limit only stops a hang: a hundred times a clean check, 10 s at least.
std::vector<std::string> CheckInChild(const std::string& folder, double limitSeconds) {
  int fds[2];
  if (pipe(fds) != 0) return {"no pipe"};
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    static o2s::Finding findings[64];
    o2s::CheckResult result;
    std::string out = std::to_string(o2s::CheckSetupFolder(folder.c_str(), &gWorkspace, findings, 64, &result));
    for (unsigned i = 0; i < result.count; ++i) out += "\n" + Describe(findings[i]);
    ssize_t ignored = write(fds[1], out.data(), out.size());
    (void)ignored;
    _exit(0);
  }
  close(fds[1]);
  std::string text;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(limitSeconds);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fds[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
      kill(child, SIGKILL);
      text = "hung";
      break;
    }
    char buf[4096];
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  close(fds[0]);
  waitpid(child, nullptr, 0);
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) lines.push_back(text.substr(at, end - at));
  lines.push_back(text.substr(at));
  return lines;
}

bool Has(const std::vector<std::string>& found, const std::string& finding) {
  return std::find(found.begin(), found.end(), finding) != found.end();
}

TEST_F(SetupFolder, HostileFolderNeverHangsNorLeadsOutside) {
  Build();
  auto started = std::chrono::steady_clock::now();
  Check();
  double limit = std::max(10.0, 100 * std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  using o2s::kInNoFile;
  using o2s::kInSetupFile;
  auto fifo = [&](const std::string& name) {
    unlink(Path(name).c_str());
    ASSERT_EQ(mkfifo(Path(name).c_str(), 0644), 0);
  };
  const std::string done = std::to_string(o2s::kCheckDone);
  auto viostorLine = [&] { return LineOf("txtsetup.sif", "viostor = "); };

  // FIFOs in place of each file the check reads: never opened.
  fifo("txtsetup.sif");
  EXPECT_EQ(CheckInChild(folder_, limit), std::vector<std::string>{std::to_string(o2s::kCheckUnreadable)});
  Build();
  fifo("txtsetup.sif.orig");
  std::vector<std::string> found = CheckInChild(folder_, limit);
  ASSERT_GT(found.size(), 2u);
  EXPECT_EQ(found[0], done);
  EXPECT_EQ(found[1], Expect(o2s::kFindingNotRegularFile, "", "txtsetup.sif.orig", "", kInNoFile, 0));
  Build();
  fifo("dosnet.inf");
  EXPECT_EQ(CheckInChild(folder_, limit),
            (std::vector<std::string>{done, Expect(o2s::kFindingNotRegularFile, "", "dosnet.inf", "", kInNoFile, 0)}));
  Build();
  fifo("viostor.sys");
  EXPECT_EQ(CheckInChild(folder_, limit),
            (std::vector<std::string>{done, Expect(o2s::kFindingNotRegularFile, "viostor", "viostor.sys", "",
                                                   kInSetupFile, viostorLine())}));
  Build();
  fifo("viostor.inf");
  EXPECT_EQ(CheckInChild(folder_, limit),
            (std::vector<std::string>{done, Expect(o2s::kFindingNotRegularFile, "", "viostor.inf", "", kInSetupFile,
                                                   LineOf("txtsetup.sif", "viostor.inf = "))}));

  // A [SCSI.Load] value that leads out of the folder: a finding, never
  // opened (here it would have been a file that exists).
  Build();
  Replace("txtsetup.sif", "viostor = viostor.sys,4", "viostor = ../../../../../../../../etc/passwd,4");
  found = CheckInChild(folder_, limit);
  EXPECT_TRUE(Has(found, Expect(o2s::kFindingUnsafeName, "viostor", "../../../../../../../../etc/passwd", "",
                                kInSetupFile, viostorLine())))
      << ::testing::PrintToString(found);
  for (const std::string& f : found) EXPECT_EQ(f.find("6 viostor"), std::string::npos) << f;  // not read as a driver

  // Symbolic links: one inside the folder is followed, one leading out is
  // reported and not followed (the driver there is a good one).
  Build();
  const std::string outside = dir_ / "outside";
  mkdir(outside.c_str(), 0755);
  WriteFile(outside + "/viostor.sys", Get("viostor.sys"));
  mkdir(Path("sub").c_str(), 0755);
  WriteFile(Path("sub/viostor.sys"), Get("viostor.sys"));
  unlink(Path("viostor.sys").c_str());
  ASSERT_EQ(symlink("sub/viostor.sys", Path("viostor.sys").c_str()), 0);
  EXPECT_EQ(CheckInChild(folder_, limit), std::vector<std::string>{done});
  unlink(Path("viostor.sys").c_str());
  ASSERT_EQ(symlink((outside + "/viostor.sys").c_str(), Path("viostor.sys").c_str()), 0);
  EXPECT_EQ(CheckInChild(folder_, limit),
            (std::vector<std::string>{done, Expect(o2s::kFindingLinkOutside, "viostor", "viostor.sys", "",
                                                   kInSetupFile, viostorLine())}));
  unlink(Path("viostor.sys").c_str());
  Put("viostor.sys", ReadFile(outside + "/viostor.sys"));
  unlink(Path("HAL.DL_").c_str());
  ASSERT_EQ(symlink("../../outside/viostor.sys", Path("HAL.DL_").c_str()), 0);
  found = CheckInChild(folder_, limit);
  EXPECT_TRUE(Has(found, Expect(o2s::kFindingLinkOutside, "viostor", "HAL.dl_", "", kInSetupFile, viostorLine())))
      << ::testing::PrintToString(found);

  // A txtsetup.sif cut short lost the backup's later sections.
  Build();
  const std::string whole = Get("txtsetup.sif");
  Put("txtsetup.sif", whole.substr(0, whole.size() / 2));
  found = CheckInChild(folder_, limit);
  ASSERT_GT(found.size(), 1u);
  EXPECT_EQ(found[1].compare(0, 3, "16 "), 0) << found[1];
}

// Without a backup every row of the inf folder is judged, as on an XP CD's
// I386 with its hundreds of INFs, compressed with LZX: those are not
// unpacked, plain ones are read up to the bound, and where some are not
// read a service no read INF serves is a note, not a problem.
TEST_F(SetupFolder, InfsOfASourceWithoutBackupAreReadWithinTheBound) {
  Build("xp", GenerateXpSetupFile());
  unlink(Path("txtsetup.sif.orig").c_str());
  std::string lzx = MakeCabinet("stock.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
  lzx[42] = 3;  // the folder's compression type: LZX
  std::string rows;
  for (int i = 0; i < 700; ++i) {
    std::string name = "stock" + std::to_string(1000 + i);
    rows += name + ".inf = 1,,,,,,,20,0,0\r\n";
    if (i < 400) {
      Put(name + ".in_", lzx);
    } else {
      Put(name + ".inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n[Manufacturer]\r\n%M% = M\r\n[M]\r\n"
                         "%D% = d_inst, PCI\\VEN_0000&DEV_" + std::to_string(i) + "\r\n");
    }
  }
  // Rows of another disk and of a subfolder: their files are not here.
  rows += "intl.inf = 2,,,,,,,20,0,0\r\nsub.inf = 1,lang,,,,,,20,0,0\r\n";
  Replace("txtsetup.sif", "[SourceDisksFiles]\r\n", "[SourceDisksFiles]\r\n" + rows);
  for (const char* gone : {"stock1000.in_", "stock1500.inf"}) unlink(Path(gone).c_str());
  std::vector<o2s::Finding> findings(1024);
  o2s::CheckResult result;
  ASSERT_EQ(o2s::CheckSetupFolder(folder_.c_str(), &gWorkspace, findings.data(), 1024, &result), o2s::kCheckDone);
  std::vector<std::string> inf;
  unsigned notRead = 0;
  for (unsigned i = 0; i < result.count; ++i) {
    const o2s::Finding& f = findings[i];
    if (f.kind == o2s::kNoteInfsNotRead) notRead = f.number;
    if (f.kind >= o2s::kFindingNoInf && f.kind <= o2s::kFindingInfFileMissing) inf.push_back(Describe(f));
  }
  // The two missing; no service found without an INF. Not read: 399 packed
  // with LZX, iastor.in_, and the plain ones past the 256 read (299 stock
  // and viostor.inf, last, less one missing).
  EXPECT_EQ(inf, (std::vector<std::string>{
                     Expect(o2s::kFindingInfMissing, "", "stock1000.inf", "stock1000.in_", o2s::kInSetupFile,
                            LineOf("txtsetup.sif", "stock1000.inf")),
                     Expect(o2s::kFindingInfMissing, "", "stock1500.inf", "stock1500.in_", o2s::kInSetupFile,
                            LineOf("txtsetup.sif", "stock1500.inf"))}));
  EXPECT_EQ(notRead, 399u + 1u + (300u - 1u + 1u - o2s::kMaxInfReads));
}

// Names in other letter cases (as on a CD) in a big folder: the folder is
// listed once for the whole check, not once per miss.
TEST_F(SetupFolder, ReadsABigFolderOnceForEveryLetterCaseMiss) {
  Build();
  for (int i = 0; i < 2000; ++i) Put("FILE" + std::to_string(10000 + i) + ".DL_", "");
  for (const char* name : {"viostor.sys", "iastor.sy_"}) {
    std::string upper = name;
    for (char& ch : upper) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
    rename(Path(name).c_str(), Path(upper).c_str());
  }
  // A folder last changed an hour ago, as a user's is when checked.
  timespec old[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, folder_.c_str(), old, 0), 0);
  unsigned before = o2s::FolderListingsRead();
  EXPECT_EQ(Check(), std::vector<std::string>{});
  EXPECT_EQ(o2s::FolderListingsRead() - before, 1u);
  // A file rewritten in place changes no name: the listing stands.
  Put("IASTOR.SY_", IastorCabinet({"ntoskrnl.exe", "storport.sys"}));
  EXPECT_EQ(Check().size(), 1u);
  EXPECT_EQ(o2s::FolderListingsRead() - before, 1u);
  // One added since is seen, also when its folder's time is set back.
  Put("STORPORT.SY_", "");
  ASSERT_EQ(utimensat(AT_FDCWD, folder_.c_str(), old, 0), 0);
  EXPECT_EQ(Check(), std::vector<std::string>{});
  EXPECT_EQ(o2s::FolderListingsRead() - before, 2u);
}

// The command: the tool under test's sibling, or the one named by
// OEM2SIF_CHECK_TOOL (a Windows .exe runs under Wine).
std::string CheckTool() {
  const char* chosen = getenv("OEM2SIF_CHECK_TOOL");
  return chosen != nullptr && *chosen ? chosen : OEM2SIF_CHECK_TOOL_PATH;
}

std::string CheckOutput(const std::string& utf8) {
  std::string text = Utf8ToCp932(utf8);
  if (CheckTool().size() < 4 || CheckTool().compare(CheckTool().size() - 4, 4, ".exe") != 0) return text;
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return crlf;
}

TEST_F(SetupFolder, CommandExitsZeroOnlyWhenNothingIsWrong) {
  Build();
  const std::string parent = folder_.substr(0, folder_.rfind('/'));
  ProcessResult clean = RunProcess(CheckTool(), folder_, "");
  EXPECT_EQ(clean.status, 0);
  EXPECT_EQ(clean.out, CheckOutput("見つかった問題: 0 件\n"));

  Put("iastor.sy_", IastorCabinet({"ntoskrnl.exe", "storport.sys"}));
  ProcessResult found = RunProcess(CheckTool(), parent, "", {"I386"});
  EXPECT_EQ(found.status, 1);
  EXPECT_EQ(found.out,
            CheckOutput("ERROR! txtsetup.sif " + std::to_string(LineOf("txtsetup.sif", "iastor = iastor.sys,4")) +
                        "行目、サービス iastor、ファイル iastor.sy_\n"
                        "  iastor.sy_ が使う storport.sys がフォルダーにありません"
                        " (Windows 2000 / XP にはないファイルかもしれません)。\n"
                        "  セットアップはこのドライバーを読み込めず、「ファイル iastor.sy_ を読み込めません」"
                        "と表示して止まります。\n\n見つかった問題: 1 件\n"))
      << Cp932ToUtf8(found.out);

  ProcessResult missing = RunProcess(CheckTool(), parent, "");
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.out, CheckOutput("ERROR! . に txtsetup.sif がありません。\n"));
  EXPECT_EQ(RunProcess(CheckTool(), parent, "", {"I386", "more"}).status, 2);
}

// The first option of a corpus file that names a driver: its key, the
// driver file and the service.
struct CorpusDriver {
  std::string option, file, service;
};
bool FirstCorpusDriver(const std::string& path, CorpusDriver* d) {
  static char options[1 << 16], files[1 << 16];
  o2s::GetPrivateProfileSectionA("scsi", options, sizeof options, path.c_str());
  for (const char* o = options; *o != '\0'; o += strlen(o) + 1) {
    std::string key(o, strcspn(o, "="));
    o2s::GetPrivateProfileSectionA(("Files.scsi." + key).c_str(), files, sizeof files, path.c_str());
    for (const char* f = files; *f != '\0'; f += strlen(f) + 1) {
      if (strncasecmp(f, "driver=", 7) != 0) continue;
      std::vector<std::string> fields;
      std::string field;
      for (const char* c = f + 7;; ++c) {
        if (*c == ',' || *c == '\0') {
          field.erase(0, field.find_first_not_of(" \t"));
          field.erase(field.find_last_not_of(" \t") + 1);
          fields.push_back(field);
          field.clear();
          if (*c == '\0') break;
        } else {
          field += *c;
        }
      }
      if (fields.size() < 3 || fields[1].empty() || fields[2].empty()) continue;
      *d = {key, fields[1], fields[2]};
      return true;
    }
  }
  return false;
}

// 22 correct 32-bit integrations, one driver of each corpus file, into an
// XP source in a folder named as users name theirs: the command finds
// nothing wrong, and says which way it knew the machine when it does.
TEST_F(SetupFolder, CommandOnAnXpFolderAfterTheCorpusIntegrations) {
  Build("xp", GenerateXpSetupFile());
  std::vector<std::string> boot = {"viostor.sys", "iastor.sys"};
  std::vector<std::string> infs = {"viostor.inf", "viostor.cat", "viocoins.dll", "iastor.inf", "iastor.cat"};
  std::vector<std::string> names;
  ::testing::internal::CaptureStdout();
  for (const std::string& file : CorpusFiles()) {
    CorpusDriver d;
    if (!FirstCorpusDriver(CorpusDir() + "/" + file, &d)) continue;
    bool seen = std::find(names.begin(), names.end(), d.service) != names.end();
    names.push_back(d.service);
    if (seen) continue;
    // Each with its own id, and its INF listing it.
    const std::string id = "PCI\\VEN_1234&DEV_" + std::to_string(5000 + names.size());
    const Driver driver{d.service.c_str(), d.file.c_str(), id.c_str()};
    Integrate(driver);
    const std::string inf = d.service + ".inf";
    AddRow(inf, "20");
    Put(inf, MakeDeviceInf(driver, "", names.size() % 3 == 0));
    std::string image = MakeDriverImage(o2s::kMachineX86, {"ntoskrnl.exe", "hal.dll"}, 3000);
    if (names.size() % 2 == 0) {
      char packed[o2s::kFindingTextCapacity];
      o2s::CompressedName(d.file.c_str(), packed, sizeof packed);
      Put(packed, MakeCabinet(d.file, image));
    } else {
      Put(d.file, image);
    }
    boot.push_back(d.file);
    infs.push_back(inf);
  }
  ::testing::internal::GetCapturedStdout();
  EXPECT_GE(boot.size(), 2u + 18u);  // one file names no driver, some share one
  std::vector<std::string> files = boot;
  files.insert(files.end(), infs.begin(), infs.end());
  Put("dosnet.inf", MakeDosnet(boot, files));
  ProcessResult clean = RunProcess(CheckTool(), folder_, "");
  EXPECT_EQ(clean.status, 0);
  EXPECT_EQ(clean.out, CheckOutput("見つかった問題: 0 件\n")) << Cp932ToUtf8(clean.out);

  // One 64-bit file among them: the finding says how the machine is known.
  Put("viostor.sys", MakeDriverImage(o2s::kMachineX64, {"ntoskrnl.exe"}));
  ProcessResult wrong = RunProcess(CheckTool(), folder_, "");
  EXPECT_EQ(wrong.status, 1);
  // It says how the machine is known, and the remedy names the option whose
  // line is wrong, not "take the x86 build".
  EXPECT_NE(wrong.out.find(CheckOutput("  セットアップが x86 用であることは、txtsetup.sif の [SetupData] の "
                                       "Architecture からわかります。\n")),
            std::string::npos)
      << Cp932ToUtf8(wrong.out);
  EXPECT_NE(wrong.out.find(CheckOutput("  オプション「Test Adapter」の [SCSI.Load] の行が、このファイルを指しています。\n"
                                       "  この行が x86 用のドライバー ファイルを指すよう、x86 用のオプションを統合し直してください。\n")),
            std::string::npos)
      << Cp932ToUtf8(wrong.out);
}

// Every kind's block in both languages: the same shape (where, then what is
// wrong and what setup does, each line ended), the English one ASCII with
// every argument in its place; the problem that setup reads as a damaged
// txtsetup.sif says so in both.
TEST(FindingText, EveryKindHasItsBlockInBothLanguages) {
  o2s::CheckResult result{3, 2, 1, o2s::kMachineX64, o2s::kMachineFromSetupData, 5, 2};
  std::vector<unsigned> kinds;
  for (unsigned kind = 1; kind <= 26; ++kind) kinds.push_back(kind);
  for (unsigned kind = 101; kind <= 105; ++kind) kinds.push_back(kind);
  for (unsigned kind : kinds) {
    for (unsigned number : {0u, 2u, 3u}) {
      SCOPED_TRACE(std::to_string(kind) + " number " + std::to_string(number));
      o2s::Finding f{static_cast<o2s::FindingKind>(kind), o2s::kInSetupFile, 7, number, {}, {}, {}, {}};
      strcpy(f.service, "svc");
      strcpy(f.file, "drv.sys");
      strcpy(f.extra, kind == o2s::kNoteNotChecked ? "too big" : "x86");
      strcpy(f.option, "The option");
      char ja[2048], en[2048];
      size_t jaLength = o2s::FormatFinding(f, result, ja, sizeof ja);
      size_t enLength = o2s::FormatFinding(f, result, en, sizeof en, o2s::Language::kEnglish);
      ASSERT_EQ(strlen(en), enLength);
      ASSERT_EQ(strlen(ja), jaLength);
      std::string text(en);
      EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return c > 0 && c < 0x7f; })) << text;
      EXPECT_EQ(text.find('%'), std::string::npos) << text;
      EXPECT_EQ(text.rfind(o2s::IsProblem(f.kind) ? "ERROR! txtsetup.sif line 7, service svc" : "Note: txtsetup.sif line 7", 0), 0u)
          << text;
      EXPECT_EQ(std::string(ja).rfind(o2s::IsProblem(f.kind) ? "ERROR! " : "\x92\x8d\x88\xd3: ", 0), 0u) << ja;
      // Where, then one to four lines of what, each indented and ended.
      for (const std::string* block : {&text}) {
        size_t lines = static_cast<size_t>(std::count(block->begin(), block->end(), '\n'));
        EXPECT_GE(lines, 2u) << *block;
        EXPECT_EQ(block->back(), '\n');
        EXPECT_NE(block->find("\n  "), std::string::npos) << *block;
      }
      EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')),
                static_cast<size_t>(std::count(ja, ja + jaLength, '\n')))
          << text << ja;
    }
  }
  o2s::Finding noEntry{o2s::kFindingNoSourceDisksFiles, o2s::kInSetupFile, 7, 0, "svc", "drv.sys", "", ""};
  char en[1024];
  o2s::FormatFinding(noEntry, result, en, sizeof en, o2s::Language::kEnglish);
  EXPECT_NE(std::string(en).find("txtsetup.sif is corrupt or missing"), std::string::npos) << en;
  // GUI-mode setup's: what happens, and what to do.
  o2s::Finding noInf{o2s::kFindingNoInf, o2s::kInSetupFile, 7, 0, "viostor", "", "PCI\\VEN_1AF4&DEV_1001", ""};
  o2s::FormatFinding(noInf, result, en, sizeof en, o2s::Language::kEnglish);
  EXPECT_STREQ(en,
               "ERROR! txtsetup.sif line 7, service viostor\n"
               "  GUI-mode setup finds no INF file in the folder to install the device of the service viostor"
               " (PCI\\VEN_1AF4&DEV_1001) from.\n"
               "  The first start after setup stops with STOP 0x7B, or Windows says that it found new hardware.\n"
               "  Integrate the option again with its driver package's INF file (oem2sif-integrate and the page bring"
               " it where the package has one); with a package that has none, install its driver after setup.\n");
  char ja[1024];
  o2s::FormatFinding(noInf, result, ja, sizeof ja);
  EXPECT_EQ(Cp932ToUtf8(ja),
            "ERROR! txtsetup.sif 7行目、サービス viostor\n"
            "  GUI モードのセットアップで、サービス viostor の機器 (PCI\\VEN_1AF4&DEV_1001) を組み込む INF ファイルが"
            "フォルダーにありません。\n"
            "  セットアップ後の最初の起動が STOP 0x7B で止まるか、「新しいハードウェアが見つかりました」となります。\n"
            "  ドライバー パッケージの INF ファイルとともに統合し直してください (oem2sif-integrate とページは、パッケージ"
            "にあれば持ってきます)。INF ファイルのないパッケージなら、ドライバーはセットアップの後でインストールしてください。\n");
  o2s::Finding copied{o2s::kFindingUnsafeName, o2s::kInSetupFile, 7, 2, "viostor", "viostor.inf", "..\\x.sys", ""};
  o2s::FormatFinding(copied, result, en, sizeof en, o2s::Language::kEnglish);
  EXPECT_STREQ(en,
               "ERROR! txtsetup.sif line 7, service viostor, file viostor.inf\n"
               "  viostor.inf copies ..\\x.sys, which is not the name of a file in the folder (a path separator, a"
               " drive's colon or ..). It was not opened.\n"
               "  GUI-mode setup asks for the file, or cannot install the driver from this INF file.\n");
  o2s::FormatFindingCount(result, en, sizeof en, o2s::Language::kEnglish);
  EXPECT_STREQ(en, "(1 more not shown.)\nProblems found: 2\n");
  // A block cut short stays whole characters and zero-ended.
  o2s::Finding wrong{o2s::kFindingWrongMachine, o2s::kInSetupFile, 7, o2s::kMachineX86, "svc", "drv.sys", "x86", "Opt"};
  char small[40];
  EXPECT_EQ(o2s::FormatFinding(wrong, result, small, sizeof small, o2s::Language::kEnglish), sizeof small - 1);
  EXPECT_EQ(strlen(small), sizeof small - 1);
}

TEST(DosnetEdit, AddsBothLinesOnceKeepingEveryOtherByte) {
  const std::string before = MakeDosnet({"viostor.sys"}, {"viostor.sys"});
  std::vector<char> out(before.size() + 200);
  size_t size = 0;
  ASSERT_EQ(o2s::AddDriverToDosnet(before.data(), before.size(), "iaStor.sys", out.data(), out.size(), &size),
            o2s::kDosnetChanged);
  const std::string after(out.data(), size);
  EXPECT_EQ(after, MakeDosnet({"viostor.sys", "iaStor.sys"}, {"viostor.sys", "iaStor.sys"}));
  // Once: the lines are there, in any letter case.
  std::vector<char> again(after.size());
  ASSERT_EQ(o2s::AddDriverToDosnet(after.data(), after.size(), "IASTOR.SYS", again.data(), again.size(), &size),
            o2s::kDosnetUnchanged);
  EXPECT_EQ(std::string(again.data(), size), after);
  EXPECT_EQ(o2s::AddDriverToDosnet(before.data(), before.size(), "a,b.sys", out.data(), out.size(), &size),
            o2s::kDosnetBadName);
  EXPECT_EQ(o2s::AddDriverToDosnet(before.data(), before.size(), "x.sys", out.data(), before.size(), &size),
            o2s::kDosnetTooBig);
}

TEST(DosnetEdit, MissingSectionsGoBeforeTheEndMarkerWithTheFilesLineEnds) {
  const std::string before = "[Version]\nsignature=\"$Windows NT$\"\n[Files]\nd1,atapi.sys\x1a\n\x1a";
  std::vector<char> out(before.size() + 200);
  size_t size = 0;
  ASSERT_EQ(o2s::AddDriverToDosnet(before.data(), before.size(), "x.sys", out.data(), out.size(), &size),
            o2s::kDosnetChanged);
  EXPECT_EQ(std::string(out.data(), size),
            "[Version]\nsignature=\"$Windows NT$\"\n[Files]\nd1,atapi.sys\nd1,x.sys\n\n"
            "[FloppyFiles.2]\nd1,x.sys\n\x1a\n\x1a");
}

TEST(DriverImage, CabinetsUnpackAndNoInputIsReadPastItsEnd) {
  const std::string image = MakeDriverImage(o2s::kMachineX64, {"ntoskrnl.exe", "storport.sys"}, 70000);
  std::string cabinet = MakeCabinet("x.sys", image);
  static unsigned char unpacked[1 << 17];
  size_t size = 0;
  ASSERT_EQ(o2s::UnpackFirstCabinetFile(reinterpret_cast<const unsigned char*>(cabinet.data()), cabinet.size(),
                                        unpacked, sizeof unpacked, &size),
            o2s::kCabinetUnpacked);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(unpacked), size), image);
  o2s::PeImage pe;
  auto read = [&](const std::string& bytes, size_t capacity = sizeof unpacked) {
    return o2s::ReadDriverImage(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), unpacked,
                                capacity, &pe);
  };
  ASSERT_EQ(read(cabinet), o2s::kDriverImage);
  EXPECT_EQ(pe.machine, o2s::kMachineX64);
  ASSERT_EQ(pe.importCount, 2u);
  EXPECT_STREQ(pe.imports[1], "storport.sys");
  EXPECT_EQ(read(cabinet, image.size() - 1), o2s::kDriverTooBig);
  cabinet[42] = 3;  // LZX
  EXPECT_EQ(read(cabinet), o2s::kDriverOtherPacking);
  // Every cut of both readers' input, in a buffer of exactly that size
  // (AddressSanitizer sees a read past it).
  cabinet[42] = 1;
  for (const std::string& whole : {image.substr(0, 700), cabinet.substr(0, 700)}) {
    for (size_t cut = 0; cut < whole.size(); ++cut) {
      std::vector<unsigned char> part(whole.begin(), whole.begin() + static_cast<long>(cut));
      o2s::ReadDriverImage(part.data(), part.size(), unpacked, sizeof unpacked, &pe);
    }
  }
}

// Headers that claim what no file holds: nothing is read past the bytes,
// and a cabinet's claims are held to the caller's capacity.
TEST(DriverImage, AbsurdHeadersAndCabinetBombs) {
  static unsigned char unpacked[1 << 17];
  o2s::PeImage pe;
  auto read = [&](const std::string& bytes) {
    std::vector<unsigned char> exact(bytes.begin(), bytes.end());
    return o2s::ReadDriverImage(exact.data(), exact.size(), unpacked, sizeof unpacked, &pe);
  };
  auto put32 = [](std::string* s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) (*s)[at + i] = static_cast<char>(v >> (8 * i));
  };
  const std::string image = MakeDriverImage(o2s::kMachineX86, {"ntoskrnl.exe"}, 4096);
  const size_t optional = 0x80 + 24, section = optional + 224;
  ASSERT_EQ(read(image), o2s::kDriverImage);
  std::string pe32 = image;
  pe32[0x80 + 6] = '\xff';  // 65,535 sections: the table runs past the file
  pe32[0x80 + 7] = '\xff';
  EXPECT_EQ(read(pe32), o2s::kDriverCut);
  pe32 = image;
  put32(&pe32, optional + 60, 0xFFFFFFFFu);  // SizeOfHeaders
  EXPECT_EQ(read(pe32), o2s::kDriverCut);
  pe32 = image;
  put32(&pe32, section + 20, 0xFFFFFFF0u);  // the section's bytes far past the end
  EXPECT_EQ(read(pe32), o2s::kDriverCut);
  pe32 = image;
  put32(&pe32, 0x3C, 0xFFFFFFF0u);  // "PE" far past the end
  EXPECT_EQ(read(pe32), o2s::kDriverNotImage);
  pe32 = image;
  pe32[0x80 + 20] = '\xff';  // an optional header larger than the file
  pe32[0x80 + 21] = '\xff';
  EXPECT_EQ(read(pe32), o2s::kDriverNotImage);

  const std::string cabinet = MakeCabinet("x.sys", image);
  std::string bomb = cabinet;
  put32(&bomb, Read32At(cabinet, 16), 0xFFFFFFFFu);  // its file claims 4 GB
  EXPECT_EQ(read(bomb), o2s::kDriverTooBig);
  bomb = cabinet;
  bomb[36 + 4] = '\xff';  // 65,535 blocks where it has one: unpacking stops at the file's end
  bomb[36 + 5] = '\xff';
  EXPECT_EQ(read(bomb), o2s::kDriverImage);
  // Many empty stored blocks that claim to unpack to nothing: the block
  // count bounds the loop; the file is never produced.
  std::string empty = cabinet.substr(0, Read32At(cabinet, 36));
  empty[36 + 6] = 0;  // stored
  empty[36 + 4] = '\xff';
  empty[36 + 5] = '\xff';
  for (int i = 0; i < 2000; ++i) empty += std::string(8, '\0');
  EXPECT_EQ(read(empty), o2s::kDriverDamagedCabinet);
}

}  // namespace
}  // namespace o2s_test
