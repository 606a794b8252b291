#include "tests/support/setup_file_generator.h"

#include <cstdio>

namespace o2s_test {
namespace {

struct Builder {
  std::string text;
  size_t lines = 0;
  void Line(const std::string& line) {
    text += line;
    text += "\r\n";
    ++lines;
  }
  void Header(const char* name) {
    if (!text.empty()) Line("");
    Line(std::string("[") + name + "]");
  }
};

std::string Hex4(unsigned value) {
  char buf[8];
  snprintf(buf, sizeof buf, "%04X", value & 0xffffu);
  return buf;
}

// The XP-like parts go in only with `xp`; without it the bytes are those the
// benchmarks and e2e tests were written against.
std::string Generate(size_t lines, const XpSetupFile* xp) {
  // Shares of the body; the rest is fixed-size sections.
  size_t files = lines * 45 / 100;  // five [SourceDisksFiles] sections
  size_t ids = lines * 30 / 100;    // [HardwareIdsDatabase]
  size_t drivers = lines * 3 / 100; // [SCSI] / [SCSI.Load] / [Map.Computer]
  size_t strings = lines * 8 / 100; // localised [Strings]

  Builder b;
  b.Line("; Generated setup information file for tests");
  b.Header("Version");
  b.Line("signature = \"$Windows NT$\"");
  b.Line("LayoutInf = layout.inf");
  if (xp == nullptr || xp->setupData) {
    b.Header("SetupData");
    if (xp != nullptr && !xp->architecture.empty()) b.Line("Architecture = " + xp->architecture);
    b.Line("ProductType = 0");
    b.Line("MajorVersion = " + std::to_string(xp != nullptr ? xp->majorVersion : 5));
    b.Line("MinorVersion = " + std::to_string(xp != nullptr ? xp->minorVersion : 1));
    b.Line("DefaultPath=\\WINDOWS");
    b.Line("LoadIdentifier = \"Windows Setup\"");
    b.Line("OsLoadOptionsVar=\"/fastdetect\"");
  }
  b.Header("SourceDisksNames.x86");
  b.Line("1 = \"%cdname%\",%cdtagfilei%,,\\i386");
  b.Line("2 = \"%cdname%\",%cdtagfilei%,,\\i386\\lang");
  if (xp != nullptr) {
    // A 32-bit source names the 64-bit machines' boot folders too.
    b.Header("SourceDisksNames.amd64");
    b.Line("1 = \"%cdname%\",%cdtagfilea%,,\\amd64");
    b.Line("2 = \"%cdname%\",%cdtagfilea%,,\\amd64\\lang");
    b.Header("SourceDisksNames.ia64");
    b.Line("1 = \"%cdname%\",%cdtagfilei%,,\\ia64");
    b.Line("2 = \"%cdname%\",%cdtagfilei%,,\\ia64\\lang");
  }

  size_t fileNo = 0;
  for (int part = 0; part < 5; ++part) {
    b.Header("SourceDisksFiles");
    for (size_t i = 0; i < files / 5; ++i, ++fileNo) {
      char line[160];
      snprintf(line, sizeof line, "drvfile%05zu.%s = 1,,,,,,%s,%d,0,0,,1,%d", fileNo,
               fileNo % 3 == 0 ? "dll" : (fileNo % 3 == 1 ? "sys" : "inf"),
               fileNo % 2 ? "_x" : "3_", static_cast<int>(fileNo % 4 + 1),
               static_cast<int>(fileNo % 3 + 2));
      b.Line(line);
    }
    if (part == 1) {
      b.Header("SourceDisksFiles.x86");
      b.Line("ntoskrnl.exe = 1,,,,,,3_,2,0,0,,1,2");
      if (xp != nullptr) {
        for (const char* name : {"ntkrnlpa.exe", "hal.dll", "halacpi.dll", "halapic.dll", "halaacpi.dll",
                                 "halmacpi.dll", "halmps.dll", "ntdetect.com", "ntldr", "setupldr.bin",
                                 "bootvid.dll", "kdcom.dll"}) {
          b.Line(std::string(name) + " = 1,,,,,,3_,2,0,0,,1,2");
        }
      }
    }
    if (xp != nullptr && (part == 2 || part == 4)) {
      // Each in two parts: one section to setup.
      b.Header("SourceDisksFiles.amd64");
      b.Line(part == 2 ? "ntdetect.com = 1,,,,,,,1,3,,,1,2" : "ntldr = 1,,,,,,,1,3,,,1,2");
      b.Line(part == 2 ? "setupldr.bin = 1,,,,,,,1,3,,,1,2" : "bootfont.bin = 1,,,,,,,1,3,,,1,2");
      b.Header("SourceDisksFiles.ia64");
      b.Line(part == 2 ? "setupldr.efi = 1,,,,,,,1,3,,,1,2" : "ntdetect.com = 1,,,,,,,1,3,,,1,2");
      b.Line(part == 2 ? "ntldr = 1,,,,,,,1,3,,,1,2" : "bootfont.bin = 1,,,,,,,1,3,,,1,2");
    }
  }

  b.Header("SCSI.Load");
  for (size_t i = 0; i < drivers; ++i) b.Line("scsidrv" + std::to_string(i) + " = scsidrv" + std::to_string(i) + ".sys,4");
  b.Line("atapi = atapi.sys,4");

  b.Header("HardwareIdsDatabase");
  for (size_t i = 0; i < ids; ++i) {
    b.Line("PCI\\VEN_" + Hex4(static_cast<unsigned>(0x1000 + i / 64)) + "&DEV_" +
           Hex4(static_cast<unsigned>(i * 7)) + (i % 2 ? "&SUBSYS_" + Hex4(static_cast<unsigned>(i)) + "1043" : "") +
           " = \"scsidrv" + std::to_string(i % (drivers + 1)) + "\"");
  }

  b.Header("SCSI");
  for (size_t i = 0; i < drivers; ++i) b.Line("scsidrv" + std::to_string(i) + " = \"SCSI Adapter " + std::to_string(i) + "\"");

  b.Header("Map.Computer");
  for (size_t i = 0; i < drivers; ++i) b.Line("pc" + std::to_string(i) + " = \"PC" + std::to_string(i) + "\",*,halx.dll");

  b.Header("Strings");
  // cp932: ｢Windows セットアップ｣ and 日本語, bytes above 0x7F on purpose.
  const std::string japanese = "\x83Z\x83\x62\x83g\x83\x41\x83\x62\x83v \x93\xfa\x96{\x8c\xea";
  for (size_t i = 0; b.lines + 1 < lines && i < strings; ++i) {
    b.Line("str" + std::to_string(i) + " = \"" + japanese + " " + std::to_string(i) + "\"");
  }

  b.Header("DiskDriverMap");
  for (size_t i = 0; b.lines + 1 < lines; ++i) {
    b.Line("disk" + std::to_string(i) + " = \"Generic Disk Driver " + std::to_string(i) + "\",disk" + std::to_string(i) + ".sys,,diskclass");
  }
  // The end of a real txtsetup.sif: four blank lines, then 0x1A.
  b.text += "\r\n\r\n\r\n\r\n\x1a";
  return b.text;
}

}  // namespace

std::string GenerateSetupFile(size_t lines) { return Generate(lines, nullptr); }

std::string GenerateXpSetupFile(const XpSetupFile& xp) { return Generate(xp.lines, &xp); }

std::string GenerateDriverFile(int options, int ids) {
  std::string text = "[Disks]\r\nd1 = \"Bench Disk\",\\disk1,\\\r\n\r\n[scsi]\r\n";
  for (int o = 0; o < options; ++o) text += "opt" + std::to_string(o) + " = \"Bench Controller " + std::to_string(o) + "\"\r\n";
  for (int o = 0; o < options; ++o) {
    std::string key = "opt" + std::to_string(o);
    text += "\r\n[Files.scsi." + key + "]\r\ndriver = d1, bench" + std::to_string(o) + ".sys, bench\r\n";
    text += "\r\n[HardwareIds.scsi." + key + "]\r\n";
    for (int i = 0; i < ids; ++i) {
      char id[80];
      snprintf(id, sizeof id, "id = \"PCI\\VEN_BE%02X&DEV_%04X&CC_0106\", \"bench%d\"\r\n", o, i, o);
      text += id;
    }
  }
  return text;
}

}  // namespace o2s_test
