#include "tests/support/driver_files.h"

#include <zlib.h>

#include <stdexcept>

namespace o2s_test {
namespace {

void Put16(std::string* s, size_t at, unsigned v) {
  (*s)[at] = static_cast<char>(v);
  (*s)[at + 1] = static_cast<char>(v >> 8);
}

void Put32(std::string* s, size_t at, unsigned v) {
  Put16(s, at, v & 0xffff);
  Put16(s, at + 2, v >> 16);
}

}  // namespace

std::string MakeDriverImage(unsigned machine, const std::vector<std::string>& imports, size_t size) {
  const unsigned kPe = 0x80, kSectionRva = 0x1000, kSectionFile = 0x200;
  bool pe32 = machine == 0x014C;
  unsigned optionalSize = pe32 ? 224 : 240;
  std::string image(kSectionFile, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  Put32(&image, 0x3C, kPe);
  image.replace(kPe, 4, std::string("PE\0\0", 4));
  Put16(&image, kPe + 4, machine);
  Put16(&image, kPe + 6, 1);  // one section
  Put16(&image, kPe + 20, optionalSize);
  Put16(&image, kPe + 22, 0x0102);  // executable, 32-bit words
  size_t optional = kPe + 24;
  Put16(&image, optional, pe32 ? 0x10B : 0x20B);
  Put32(&image, optional + 60, kSectionFile);  // SizeOfHeaders
  Put16(&image, optional + 68, 1);             // native
  Put32(&image, optional + (pe32 ? 92 : 108), 16);

  // The section: descriptors, a closing one, then the names.
  std::string section((imports.size() + 1) * 20, '\0');
  for (size_t i = 0; i < imports.size(); ++i) {
    Put32(&section, i * 20 + 12, static_cast<unsigned>(kSectionRva + section.size()));
    Put32(&section, i * 20 + 16, kSectionRva);  // a thunk table, never read
    section += imports[i] + '\0';
  }
  Put32(&image, optional + (pe32 ? 96 : 112) + 8, kSectionRva);
  Put32(&image, optional + (pe32 ? 96 : 112) + 12, static_cast<unsigned>((imports.size() + 1) * 20));
  size_t header = optional + optionalSize;
  image.replace(header, 6, ".idata");
  Put32(&image, header + 8, static_cast<unsigned>(section.size()));
  Put32(&image, header + 12, kSectionRva);
  Put32(&image, header + 16, static_cast<unsigned>(section.size()));
  Put32(&image, header + 20, kSectionFile);
  image += section;
  for (unsigned line = 0; image.size() < size; ++line) {
    image += "driver code " + std::to_string(line * 7919 % 1000) + " \xE9\x90\x01 ";
  }
  // The section holds the code too, as a real driver's sections fill it:
  // a file cut short loses part of a section.
  Put32(&image, header + 16, static_cast<unsigned>(image.size() - kSectionFile));
  return image;
}

std::string MakeCabinet(const std::string& name, const std::string& bytes) {
  const size_t kBlock = 32768;
  std::string blocks;
  unsigned blockCount = 0;
  for (size_t at = 0; at < bytes.size(); at += kBlock, ++blockCount) {
    size_t length = std::min(kBlock, bytes.size() - at);
    z_stream z{};
    std::string packed(compressBound(static_cast<uLong>(length)) + 64, '\0');
    if (deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflate");
    size_t history = std::min(at, kBlock);
    deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(bytes.data() + at - history), static_cast<uInt>(history));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + at));
    z.avail_in = static_cast<uInt>(length);
    z.next_out = reinterpret_cast<Bytef*>(&packed[0]);
    z.avail_out = static_cast<uInt>(packed.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
    packed.resize(z.total_out);
    deflateEnd(&z);
    std::string data(8, '\0');
    Put16(&data, 4, static_cast<unsigned>(packed.size() + 2));
    Put16(&data, 6, static_cast<unsigned>(length));
    blocks += data + "CK" + packed;
  }
  std::string cab(36 + 8 + 16, '\0');
  cab += name + '\0';
  size_t dataAt = cab.size();
  cab += blocks;
  cab.replace(0, 4, "MSCF");
  Put32(&cab, 8, static_cast<unsigned>(cab.size()));
  Put32(&cab, 16, 44);  // the file entry
  cab[24] = 3;
  cab[25] = 1;  // version 1.3
  Put16(&cab, 26, 1);
  Put16(&cab, 28, 1);
  Put32(&cab, 36, static_cast<unsigned>(dataAt));
  Put16(&cab, 40, blockCount);
  Put16(&cab, 42, 1);  // MSZIP
  Put32(&cab, 44, static_cast<unsigned>(bytes.size()));
  Put16(&cab, 58, 0x20);  // archive
  return cab;
}

std::string MakeDosnet(const std::vector<std::string>& bootFiles, const std::vector<std::string>& files) {
  auto list = [](std::vector<std::string> names, const std::vector<std::string>& more) {
    names.insert(names.end(), more.begin(), more.end());
    std::string text;
    for (const std::string& name : names) text += "d1," + name + "\r\n";
    return text;
  };
  return "[Version]\r\nsignature=\"$Windows NT$\"\r\n\r\n[Directories]\r\nd1 = \\\r\n\r\n"
         "[Files]\r\n" + list({"1394bus.sys", "acpi.sys", "aic78xx.sys", "atapi.sys"}, files) +
         "\r\n[FloppyFiles.0]\r\nd1,ntdetect.com\r\nd1,setupldr.bin\r\n\r\n"
         "[FloppyFiles.1]\r\nd1,biosinfo.inf\r\nd1,setupdd.sys\r\n\r\n"
         "[FloppyFiles.2]\r\n; boot-time drivers\r\n" +
         list({"aic78xx.sys", "atapi.sys", "scsiport.sys"}, bootFiles) +
         "\r\n[FloppyFiles.3]\r\nd1,hal.dll\r\nd1,ntkrnlmp.exe\r\n\r\n"
         "[Strings]\r\ncdname = \"Windows XP \x83v\x83\x8d\x83t\x83" "F\x83" "b\x83V\x83\x87\x83i\x83\x8b\"\r\n";
}

std::string MakeStorageInf(const std::string& service, const std::vector<std::string>& ids,
                           const std::string& catalog, const std::vector<std::string>& files,
                           const std::vector<std::string>& coInstallers) {
  std::string inf = "; generated for the tests\r\n[Version]\r\nSignature=\"$WINDOWS NT$\"\r\nClass=SCSIAdapter\r\n"
                    "ClassGUID={4D36E97B-E325-11CE-BFC1-08002BE10318}\r\nProvider=%Mfg%\r\n";
  if (!catalog.empty()) inf += "CatalogFile=" + catalog + "\r\n";
  inf += "DriverVer=01/01/2010,1.0.0.0\r\n\r\n[SourceDisksNames]\r\n1 = %Disk%,,,\r\n\r\n[SourceDisksFiles]\r\n";
  for (const std::string& file : files) inf += file + " = 1\r\n";
  for (const std::string& file : coInstallers) inf += file + " = 1\r\n";
  inf += "\r\n[DestinationDirs]\r\nDriverFiles = 12\r\nCoInstallerFiles = 11\r\n\r\n"
         "[Manufacturer]\r\n%Mfg% = Models, NTx86, NTamd64\r\n\r\n[Models.NTx86]\r\n";
  for (const std::string& id : ids) inf += "%Desc% = Install, " + id + "\r\n";
  inf += "\r\n[Models.NTamd64]\r\n%Desc% = Install64, PCI\\VEN_FFFF&DEV_FFFF\r\n\r\n"
         "[Install.NTx86]\r\nCopyFiles = DriverFiles\r\n\r\n[Install.NTx86.Services]\r\n"
         "AddService = " + service + ", 0x00000002, ServiceInstall ; boot start\r\n\r\n"
         "[Install.NTx86.CoInstallers]\r\nCopyFiles = CoInstallerFiles\r\n\r\n"
         "[ServiceInstall]\r\nServiceType = 1\r\nStartType = 0\r\nErrorControl = 1\r\n"
         "ServiceBinary = %12%\\" + service + ".sys\r\nLoadOrderGroup = SCSI miniport\r\n\r\n[DriverFiles]\r\n";
  for (const std::string& file : files) inf += file + ",,,0x00004000 ; in use: rename\r\n";
  inf += "\r\n[CoInstallerFiles]\r\n";
  for (const std::string& file : coInstallers) inf += file + "\r\n";
  inf += "\r\n[Strings]\r\nMfg = \"Example\"\r\nDesc = \"Example storage controller\"\r\nDisk = \"Driver disk\"\r\n";
  return inf;
}

const char kVirtioOem[] =
    "[Disks]\r\n"
    "d1 = \"OEM DISK (SCSI) Win2003/32-bit\",\\disk1,\\i386\\Win2003\r\n"
    "d2 = \"OEM DISK (SCSI) Win2003/64-bit\",\\disk1,\\amd64\\Win2003\r\n"
    "\r\n[Defaults]\r\nSCSI = WNET32\r\n\r\n[scsi]\r\n"
    "WNET32 = \"Red Hat VirtIO SCSI Disk Device Win2003/32-bit\"\r\n"
    "WNET64 = \"Red Hat VirtIO SCSI Disk Device Win2003/64-bit\"\r\n"
    "\r\n[Files.scsi.WNET32]\r\ndriver = d1, viostor.sys, viostor\r\n"
    "\r\n[Files.scsi.WNET64]\r\ndriver = d2, viostor.sys, viostor\r\n"
    "\r\n[HardwareIds.scsi.WNET32]\r\nid = \"PCI\\VEN_1AF4&DEV_1001\", \"viostor\"\r\n"
    "\r\n[HardwareIds.scsi.WNET64]\r\nid = \"PCI\\VEN_1AF4&DEV_1001\", \"viostor\"\r\n"
    "\r\n[Config.viostor]\r\nvalue = Parameters\\PnpInterface,5,REG_DWORD,1\r\n";

}  // namespace o2s_test
