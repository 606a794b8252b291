// oem2sif-integrate --iso on a CD image made in the test with Debian's
// tools, laid out as an XP CD: I386 with a generated TXTSETUP.SIF and
// DOSNET.INF, thousands of small files, subfolders, compressed names and a
// '~' name, ISO 9660 level 2 without version suffixes and Joliet, and a
// hidden no-emulation boot image (assembled here) that finds
// I386/SETUPLDR.BIN by its exact name, loads it and jumps to it; the
// stand-in SETUPLDR.BIN writes a marker to the serial port. The new image
// boots, every reader lists both trees without an error, its files are
// those the same integration writes into a folder, and no byte outside the
// patched sectors changed. Hostile images are refused and nothing is
// written.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "check/pe_image.h"
#include "tests/support/driver_files.h"
#include "tests/support/setup_file_generator.h"
#include "tests/support/iso_bytes.h"
#include "tests/support/test_support.h"

namespace o2s_test {
namespace {

const uint32_t kSector = 2048;

// The CD's boot code: reads the primary descriptor, walks the directory
// records from the root to I386 and then SETUPLDR.BIN by their exact ISO
// 9660 names (int 13h extended reads on the boot drive), loads the file at
// 2000:0000 and jumps there.
const char kBootCode[] = R"(bits 16
org 0
  cli
  mov ax, 0x07C0
  mov ds, ax
  xor ax, ax
  mov ss, ax
  mov sp, 0x7C00
  sti
  mov [drive], dl
  mov eax, 16
  mov bx, 0x1000
  call read_sector
  mov ax, 0x1000
  mov es, ax
  mov eax, [es:158]
  mov ecx, [es:166]
  mov si, name_dir
  mov byte [namelen], 4
  call find
  mov si, name_ldr
  mov byte [namelen], 12
  call find
  mov bx, 0x2000
  call read_sector
  jmp 0x2000:0
find:
  push eax
  push ecx
  mov bx, 0x1000
  call read_sector
  mov es, bx
  pop ecx
  pop eax
  xor di, di
.rec:
  cmp di, 2048
  jae .advance
  mov bl, [es:di]
  test bl, bl
  jz .advance
  mov bh, [es:di+32]
  cmp bh, [namelen]
  jne .skip
  push si
  push di
  push cx
  movzx cx, bh
  add di, 33
  repe cmpsb
  pop cx
  pop di
  pop si
  je .found
.skip:
  movzx bx, bl
  add di, bx
  jmp .rec
.advance:
  cmp ecx, 2048
  jbe fail
  sub ecx, 2048
  inc eax
  jmp find
.found:
  mov eax, [es:di+2]
  mov ecx, [es:di+10]
  ret
read_sector:
  push si
  mov [dap_lba], eax
  mov [dap_segment], bx
  mov si, dap
  mov ah, 0x42
  mov dl, [drive]
  int 0x13
  pop si
  jc fail
  ret
fail:
  mov si, msg_fail
.out:
  lodsb
  test al, al
  jz .halt
  mov dx, 0x3F8
  out dx, al
  jmp .out
.halt:
  cli
  hlt
  jmp .halt
drive db 0
namelen db 0
name_dir db "I386"
name_ldr db "SETUPLDR.BIN"
msg_fail db "BOOT CODE FAILED", 13, 10, 0
align 4
dap:
  db 16, 0
  dw 1
  dw 0
dap_segment dw 0
dap_lba dd 0, 0
times 2048-($-$$) db 0
)";

const char kLoader[] = R"(bits 16
org 0
  mov ax, cs
  mov ds, ax
  mov si, msg
.out:
  lodsb
  test al, al
  jz .halt
  mov dx, 0x3F8
  out dx, al
  jmp .out
.halt:
  cli
  hlt
  jmp .halt
msg db "SETUPLDR STAND-IN REACHED", 13, 10, 0
)";
const char kMarker[] = "SETUPLDR STAND-IN REACHED";

bool HaveTool(const std::string& name) {
  return RunProcess("/bin/sh", "/", "", {"-c", "command -v " + name + " >/dev/null"}).status == 0;
}

// Runs a shell command in `dir`, standard error with standard output.
ProcessResult Shell(const std::string& dir, const std::string& command) {
  return RunProcess("/bin/sh", dir, "", {"-c", command + " 2>&1"});
}

std::string Sector(const std::string& image, uint64_t sector) {
  return sector * kSector < image.size() ? image.substr(sector * kSector, kSector) : std::string();
}


// virtio's block driver as a package that ships its INF, catalog and
// co-installer (GUI-mode setup needs the INF: the check says so), at drv/.
// viostor.sys imports `imports`.
void PutDriver(const ScratchDir& root, const std::vector<std::string>& imports) {
  Put(root, "drv/txtsetup.oem", VirtioOemWithInf());
  Put(root, "drv/i386/win2003/viostor.sys", MakeDriverImage(o2s::kMachineX86, imports));
  Put(root, "drv/i386/win2003/viostor.inf",
      MakeStorageInf("viostor", {"PCI\\VEN_1AF4&DEV_1001"}, "viostor.cat", {"viostor.sys"}, {"vioco.dll"}));
  Put(root, "drv/i386/win2003/viostor.cat", "catalog");
  Put(root, "drv/i386/win2003/vioco.dll", "co-installer");
}

// Every regular file below `root`, by its path there, with its bytes.
std::map<std::string, std::string> FilesBelow(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files[entry.path().string().substr(root.size() + 1)] = ReadFile(entry.path().string());
  }
  return files;
}

// What one set holds that the other does not, for a failure's message.
std::string Difference(const std::set<std::string>& a, const std::set<std::string>& b) {
  std::string out;
  for (const std::string& name : a) {
    if (b.count(name) == 0) out += " +" + name;
  }
  for (const std::string& name : b) {
    if (a.count(name) == 0) out += " -" + name;
  }
  return out;
}

class IsoImage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    missing_.clear();
    for (const char* tool : {"genisoimage", "nasm", "isoinfo", "xorriso", "bsdtar", "qemu-system-i386"}) {
      if (!HaveTool(tool)) missing_ += std::string(missing_.empty() ? "" : ", ") + tool;
    }
    // Debian's pycdlib (python3-pycdlib), for Debian's python.
  if (Shell("/", "/usr/bin/python3 -c 'import pycdlib'").status != 0) missing_ += (missing_.empty() ? "" : ", ") + std::string("pycdlib");
    if (!missing_.empty()) return;
    root_ = new ScratchDir();
    const ScratchDir& root = *root_;
    WriteFile(root / "boot.asm", kBootCode);
    WriteFile(root / "ldr.asm", kLoader);
    ASSERT_EQ(Shell(root.path(), "nasm -f bin -o boot.bin boot.asm && nasm -f bin -o ldr.bin ldr.asm").status, 0);
    XpSetupFile xp;
    xp.lines = 3000;
    Put(root, "cd/I386/TXTSETUP.SIF", GenerateXpSetupFile(xp));
    Put(root, "cd/I386/DOSNET.INF", MakeDosnet({"ntkrnlmp.exe"}, {"ntkrnlmp.exe"}));
    Put(root, "cd/I386/SETUPLDR.BIN", ReadFile(root / "ldr.bin"));
    Put(root, "cd/I386/NTOSKRNL.EX_", MakeCabinet("ntoskrnl.exe", MakeDriverImage(o2s::kMachineX86, {})));
    Put(root, "cd/I386/SCSIPORT.SYS", MakeDriverImage(o2s::kMachineX86, {"ntoskrnl.exe"}));
    Put(root, "cd/I386/BACHSB~1.RM_", "a name setup spells with a tilde");
    for (int i = 0; i < 2500; ++i) {
      char name[32];
      snprintf(name, sizeof name, "cd/I386/F%05d.%s", i, i % 3 == 0 ? "SY_" : i % 3 == 1 ? "DL_" : "INF");
      Put(root, name, "file " + std::to_string(i) + "\r\n");
    }
    for (int i = 0; i < 40; ++i) Put(root, "cd/I386/ASMS/A" + std::to_string(i) + "/B/X.MAN", "manifest " + std::to_string(i));
    Put(root, "cd/I386/SYSTEM32/SMSS.EXE", "smss");
    Put(root, "cd/I386/LANG/JPN.TXT", "lang");
    Put(root, "cd/WIN51", "marker file");
    Put(root, "cd/boot.bin", ReadFile(root / "boot.bin"));
    // The driver: viostor.sys new to the CD; its scsiport.sys import is there.
    PutDriver(root, {"ntoskrnl.exe", "scsiport.sys"});
    ProcessResult made = Shell(root.path(),
                               "genisoimage -quiet -iso-level 2 -N -J -relaxed-filenames -no-emul-boot -boot-load-seg 0x7C0 "
                               "-boot-load-size 4 -b boot.bin -hide boot.bin -hide-joliet boot.bin -V XPCD -o in.iso cd");
    ASSERT_EQ(made.status, 0) << made.out;
    run_ = new ProcessResult(RunProcess(OEM2SIF_INTEGRATE_TOOL_PATH, root.path(), "",
                                        {"--iso", "in.iso", "--output", "out.iso", "drv"}));
  }
  static void TearDownTestSuite() {
    delete root_;
    root_ = nullptr;
    delete run_;
    run_ = nullptr;
  }
  void SetUp() override {
    if (!missing_.empty()) GTEST_SKIP() << "needs " << missing_ << " (tools/install-deps.sh --tests installs them)";
    ASSERT_NE(root_, nullptr);
  }

  static std::string missing_;
  static ScratchDir* root_;
  static ProcessResult* run_;
};
std::string IsoImage::missing_;
ScratchDir* IsoImage::root_ = nullptr;
ProcessResult* IsoImage::run_ = nullptr;

TEST_F(IsoImage, TheCommandSaysWhatItWroteAndTheCheckFindsNoProblem) {
  EXPECT_EQ(run_->status, 0) << run_->out;
  EXPECT_EQ(run_->out.rfind("Image: in.iso, setup folder /I386\nSetup folder: in.iso:/I386 (TXTSETUP.SIF)\n", 0), 0u)
      << run_->out;
  EXPECT_NE(run_->out.find("Written:\n  viostor.sys: created\n  viostor.inf: created\n  viostor.cat: created\n"
                           "  vioco.dll: created\n  txtsetup.sif.orig: created\n  dosnet.inf.orig: created\n"
                           "  DOSNET.INF: replaced\n  TXTSETUP.SIF: replaced\n"),
            std::string::npos)
      << run_->out;
  EXPECT_NE(run_->out.find("Image written: out.iso (6 new files, 2 replaced; "), std::string::npos) << run_->out;
  EXPECT_NE(run_->out.find("Problems found: 0"), std::string::npos) << run_->out;
}

// Boots `image` in QEMU (TCG) until the serial port shows `marker`, or
// QEMU stops; returns what the serial port showed.
std::string Boot(const std::string& image, const std::string& log, const std::string& marker) {
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    std::string serial = "file:" + log;
    execlp("qemu-system-i386", "qemu-system-i386", "-display", "none", "-monitor", "none", "-serial", serial.c_str(),
           "-cdrom", image.c_str(), "-boot", "d", "-no-reboot", "-m", "32", static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid < 0) return "";
  // A measured boot takes about a second under TCG; the limit only stops a
  // hang.
  auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(180);
  bool reached = false, exited = false;
  while (!reached && !exited && std::chrono::steady_clock::now() < limit) {
    reached = ReadFile(log).find(marker) != std::string::npos;
    int status = 0;
    exited = !reached && waitpid(pid, &status, WNOHANG) == pid;
    if (!reached && !exited) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!exited) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  return ReadFile(log);
}

// The boot code finds SETUPLDR.BIN through the moved I386 directory: the
// old one, zeroed, is not needed.
TEST_F(IsoImage, TheNewImageBoots) {
  std::string in = ReadFile(*root_ / "in.iso"), out = ReadFile(*root_ / "out.iso");
  size_t i386 = RecordOf(in, "I386");
  ASSERT_NE(i386, std::string::npos);
  size_t old = static_cast<size_t>(Le32(in, i386 + 2)) * kSector;
  out.replace(old, Le32(in, i386 + 10), std::string(Le32(in, i386 + 10), '\0'));
  WriteFile(*root_ / "boot-test.iso", out);
  EXPECT_NE(Boot(*root_ / "boot-test.iso", *root_ / "serial.log", kMarker).find(kMarker), std::string::npos);
}

// The boot code is as strict as a CD's: a rebuild that adds ";1" to the
// names does not boot.
TEST_F(IsoImage, TheBootCodeNeedsTheExactName) {
  ProcessResult made = Shell(root_->path(),
                             "genisoimage -quiet -iso-level 2 -J -relaxed-filenames -no-emul-boot -boot-load-seg 0x7C0 "
                             "-boot-load-size 4 -b boot.bin -hide boot.bin -hide-joliet boot.bin -o versioned.iso cd");
  ASSERT_EQ(made.status, 0) << made.out;
  std::string serial = Boot(*root_ / "versioned.iso", *root_ / "serial-versioned.log", "BOOT CODE FAILED");
  EXPECT_NE(serial.find("BOOT CODE FAILED"), std::string::npos) << serial;
  EXPECT_EQ(serial.find(kMarker), std::string::npos) << serial;
}

// isoinfo, xorriso, bsdtar and pycdlib read both trees without an error,
// and list every file of the original with the new ones.
TEST_F(IsoImage, ReadersAgreeOnBothTrees) {
  const std::string dir = root_->path();
  ProcessResult isoinfo = Shell(dir, "isoinfo -R -f -i out.iso >/dev/null && isoinfo -f -i out.iso | sort");
  ASSERT_EQ(isoinfo.status, 0) << isoinfo.out;
  ProcessResult joliet = Shell(dir, "isoinfo -J -f -i out.iso | sort");
  ASSERT_EQ(joliet.status, 0) << joliet.out;
  ProcessResult listing = Shell(dir, "isoinfo -l -i out.iso >/dev/null && isoinfo -J -l -i out.iso > /dev/null");
  EXPECT_EQ(listing.status, 0);
  EXPECT_EQ(listing.out, "");
  ProcessResult xorriso = Shell(dir, "xorriso -indev out.iso -find / -type f -- | sort");
  ASSERT_EQ(xorriso.status, 0) << xorriso.out;
  // Its one warning is the original's: the boot image no file names.
  ProcessResult original = Shell(dir, "xorriso -indev in.iso -find / -type f -- | grep -E 'WARNING|SORRY|FAILURE'");
  ProcessResult complaints = Shell(dir, "xorriso -indev out.iso -find / -type f -- | grep -E 'WARNING|SORRY|FAILURE'");
  EXPECT_EQ(complaints.out, original.out);
  ProcessResult bsdtar = Shell(dir, "bsdtar -tf out.iso | sort");
  ASSERT_EQ(bsdtar.status, 0) << bsdtar.out;
  const char* kPycdlib = R"(
import sys, pycdlib
iso = pycdlib.PyCdlib()
iso.open('out.iso')
for kind in ('iso_path', 'joliet_path'):
    for top, dirs, files in iso.walk(**{kind: '/'}):
        for name in sorted(files):
            # An ISO 9660 name without an extension ends in its '.'.
            if kind == 'iso_path' and name.endswith('.'):
                name = name[:-1]
            print(kind, (top.rstrip('/') + '/' + name))
iso.close()
)";
  WriteFile(*root_ / "walk.py", kPycdlib);
  ProcessResult pycdlib = Shell(dir, "/usr/bin/python3 walk.py | sort");
  ASSERT_EQ(pycdlib.status, 0) << pycdlib.out;

  // The original's files, in each reader's spelling, with the new ones.
  std::set<std::string> isoNames, jolietNames;
  for (const auto& file : FilesBelow(*root_ / "cd")) {
    if (file.first == "boot.bin") continue;
    std::string upper = file.first;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    isoNames.insert("/" + upper);
    jolietNames.insert("/" + file.first);
  }
  for (const char* name : {"/I386/VIOSTOR.SYS", "/I386/VIOSTOR.INF", "/I386/VIOSTOR.CAT", "/I386/VIOCO.DLL",
                           "/I386/TXTSETUP.SIF.ORIG", "/I386/DOSNET.INF.ORIG", "/BOOT.CATALOG"}) {
    isoNames.insert(name);
  }
  for (const char* name : {"/I386/viostor.sys", "/I386/viostor.inf", "/I386/viostor.cat", "/I386/vioco.dll",
                           "/I386/txtsetup.sif.orig", "/I386/dosnet.inf.orig", "/boot.catalog"}) {
    jolietNames.insert(name);
  }
  auto lines = [](const std::string& text, const std::string& prefix, const std::string& strip) {
    std::set<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      start = end + 1;
      if (line.rfind(prefix, 0) != 0) continue;
      line = line.substr(prefix.size());
      if (!strip.empty() && line.size() >= strip.size() && line.compare(line.size() - strip.size(), strip.size(), strip) == 0) {
        line.erase(line.size() - strip.size());
      }
      out.insert(line);
    }
    return out;
  };
  std::set<std::string> isoinfoFiles;
  for (std::string name : lines(isoinfo.out, "/", "")) {
    if (!name.empty() && name.back() == '.') name.pop_back();  // a name without an extension
    if (isoNames.count("/" + name) != 0) isoinfoFiles.insert("/" + name);
  }
  EXPECT_EQ(isoinfoFiles, isoNames) << Difference(isoinfoFiles, isoNames);
  std::set<std::string> jolietListed;
  for (const std::string& name : lines(joliet.out, "/", "")) {
    if (jolietNames.count("/" + name) != 0) jolietListed.insert("/" + name);
  }
  EXPECT_EQ(jolietListed, jolietNames) << Difference(jolietListed, jolietNames);
  std::set<std::string> xorrisoFiles;
  for (const std::string& name : lines(xorriso.out, "'", "'")) xorrisoFiles.insert(name);
  xorrisoFiles.insert("/boot.catalog");  // xorriso shows the boot catalog as no file
  EXPECT_EQ(xorrisoFiles, jolietNames) << Difference(xorrisoFiles, jolietNames);
  std::set<std::string> bsdtarFiles;
  for (const std::string& name : lines(bsdtar.out, "", "")) {
    if (!name.empty() && name.back() != '/' && jolietNames.count("/" + name) != 0) bsdtarFiles.insert("/" + name);
  }
  EXPECT_EQ(bsdtarFiles, jolietNames) << Difference(bsdtarFiles, jolietNames);
  EXPECT_EQ(lines(pycdlib.out, "iso_path ", ""), isoNames) << Difference(lines(pycdlib.out, "iso_path ", ""), isoNames);
  EXPECT_EQ(lines(pycdlib.out, "joliet_path ", ""), jolietNames)
      << Difference(lines(pycdlib.out, "joliet_path ", ""), jolietNames);
}

// The files in the new image are those oem2sif-integrate writes into an
// extracted copy of the same CD, byte for byte, in both trees.
TEST_F(IsoImage, TheImageHoldsWhatTheSameIntegrationWritesIntoAFolder) {
  const std::string dir = root_->path();
  ScratchDir copy;
  std::filesystem::copy(*root_ / "cd/I386", copy / "I386", std::filesystem::copy_options::recursive);
  ProcessResult folder = RunProcess(OEM2SIF_INTEGRATE_TOOL_PATH, copy.path(), "", {"I386", *root_ / "drv"});
  ASSERT_EQ(folder.status, 0) << folder.out;
  auto expected = FilesBelow(copy / "I386");
  ScratchDir joliet, plain;
  ProcessResult extract = Shell(dir, "bsdtar -xf out.iso -C " + joliet.path() + " I386");
  ASSERT_EQ(extract.status, 0) << extract.out;
  EXPECT_EQ(FilesBelow(joliet / "I386"), expected);
  // The ISO 9660 tree, through pycdlib (its names upper case).
  const char* kPycdlib = R"(
import os, sys, pycdlib
iso = pycdlib.PyCdlib()
iso.open('out.iso')
for top, dirs, files in iso.walk(iso_path='/I386'):
    for name in files:
        path = top + '/' + name
        os.makedirs(sys.argv[1] + top, exist_ok=True)
        with open(sys.argv[1] + path, 'wb') as out:
            iso.get_file_from_iso_fp(out, iso_path=path)
iso.close()
)";
  WriteFile(*root_ / "take.py", kPycdlib);
  ProcessResult take = Shell(dir, "/usr/bin/python3 take.py " + plain.path());
  ASSERT_EQ(take.status, 0) << take.out;
  std::map<std::string, std::string> upperExpected;
  for (const auto& file : expected) {
    std::string upper = file.first;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    upperExpected[upper] = file.second;
  }
  EXPECT_EQ(FilesBelow(plain / "I386"), upperExpected);
}

// Every sector of the original outside the patched ones is unchanged (the
// boot image among them), and the patched ones are those the command
// counts: the two descriptors, I386's record in each root, and the path
// tables.
TEST_F(IsoImage, NothingElseChanged) {
  std::string in = ReadFile(*root_ / "in.iso"), out = ReadFile(*root_ / "out.iso");
  ASSERT_GT(out.size(), in.size());
  ASSERT_EQ(in.size() % kSector, 0u);
  std::set<uint32_t> changed;
  for (uint32_t s = 0; s < in.size() / kSector; ++s) {
    if (Sector(in, s) != Sector(out, s)) changed.insert(s);
  }
  std::string pvd = Sector(in, 16);
  std::set<uint32_t> allowed = {16};
  uint32_t svdSector = 0;
  for (uint32_t s = 17; s < 32; ++s) {
    std::string d = Sector(in, s);
    if (d[0] == 2) svdSector = s;
    if (static_cast<unsigned char>(d[0]) == 255) break;
  }
  ASSERT_NE(svdSector, 0u);
  allowed.insert(svdSector);
  for (const std::string& d : {pvd, Sector(in, svdSector)}) {
    allowed.insert(Le32(d, 156 + 2));  // the root directory: I386's record
    uint32_t tableSize = Le32(d, 132);
    for (uint32_t table : {Le32(d, 140), Le32(d, 144)}) {
      for (uint32_t s = table; table != 0 && s <= table + (tableSize - 1) / kSector; ++s) allowed.insert(s);
    }
    for (size_t at : {148u, 152u}) {
      uint32_t table = static_cast<unsigned char>(d[at]) << 24 | static_cast<unsigned char>(d[at + 1]) << 16 |
                       static_cast<unsigned char>(d[at + 2]) << 8 | static_cast<unsigned char>(d[at + 3]);
      for (uint32_t s = table; table != 0 && s <= table + (tableSize - 1) / kSector; ++s) allowed.insert(s);
    }
  }
  for (uint32_t s : changed) EXPECT_EQ(allowed.count(s), 1u) << "sector " << s << " changed";
  EXPECT_NE(run_->out.find("; " + std::to_string(changed.size()) + " sectors of the image patched"), std::string::npos)
      << changed.size() << " sectors changed; " << run_->out;
  // The boot image no directory names, from the El Torito catalog.
  std::string catalog = Sector(in, Le32(Sector(in, 17), 0x47));
  uint32_t bootSector = Le32(catalog, 32 + 8);
  EXPECT_EQ(out.substr(static_cast<size_t>(bootSector) * kSector, kSector), ReadFile(*root_ / "boot.bin"));
  // The volume grew by what was appended; the descriptors say so.
  EXPECT_EQ(Le32(Sector(out, 16), 80), out.size() / kSector);
  EXPECT_EQ(Le32(Sector(out, svdSector), 80), out.size() / kSector);
}

// Hostile and unsupported images: each refused with a clear message, and
// nothing written.
TEST_F(IsoImage, HostileImagesAreRefusedAndNothingIsWritten) {
  ScratchDir hostile;
  std::string in = ReadFile(*root_ / "in.iso");
  const uint32_t volume = Le32(in, 16 * kSector + 80);
  size_t setupRecord = RecordOf(in, "TXTSETUP.SIF");
  size_t i386Record = RecordOf(in, "I386");
  size_t system32Record = RecordOf(in, "SYSTEM32");
  size_t tildeRecord = RecordOf(in, "BACHSB~1.RM_");
  ASSERT_NE(setupRecord, std::string::npos);
  ASSERT_NE(i386Record, std::string::npos);
  ASSERT_NE(system32Record, std::string::npos);
  ASSERT_NE(tildeRecord, std::string::npos);
  uint32_t i386Extent = Le32(in, i386Record + 2);
  struct Case {
    std::string name;
    std::string bytes;
    std::string says;
  };
  std::vector<Case> cases;
  cases.push_back({"not an image", std::string(40 * kSector, 'x'), "no ISO 9660 volume"});
  cases.push_back({"cut short", in.substr(0, in.size() / 2), "the image is cut short"});
  std::string loop = in;
  PutBoth32(&loop, system32Record + 2, i386Extent);
  cases.push_back({"loop", loop, "a folder reached twice (a loop) (/I386/SYSTEM32)"});
  std::string pastEnd = in;
  PutBoth32(&pastEnd, setupRecord + 2, volume + 10);
  cases.push_back({"past the end", pastEnd, "an extent past the end of the volume (/I386/TXTSETUP.SIF)"});
  std::string zeroLength = in;
  zeroLength[static_cast<size_t>(i386Extent) * kSector] = 0;
  cases.push_back({"zero-length record", zeroLength, "a damaged directory record (/I386)"});
  std::string interleaved = in;
  interleaved[tildeRecord + 26] = 1;
  cases.push_back({"interleaved", interleaved, "an interleaved file (/I386/BACHSB~1.RM_)"});
  std::string multiExtent = in;
  multiExtent[tildeRecord + 25] = static_cast<char>(0x80);
  cases.push_back({"multi-extent", multiExtent, "a file of the setup folder in several extents (/I386/BACHSB~1.RM_)"});
  std::string sessions = in + in.substr(0, 20 * kSector);
  cases.push_back({"sessions", sessions, "several sessions or volumes (sector " + std::to_string(volume + 16) + ")"});
  std::string hybrid = in;
  hybrid[446 + 4] = 0x17;
  hybrid[510] = 0x55;
  hybrid[511] = static_cast<char>(0xAA);
  cases.push_back({"hybrid", hybrid, "a partition table (a hybrid image), which would not grow"});
  for (const Case& c : cases) {
    WriteFile(hostile / "in.iso", c.bytes);
    ProcessResult result = RunProcess(OEM2SIF_INTEGRATE_TOOL_PATH, hostile.path(), "",
                                      {"--iso", "in.iso", "--output", "out.iso", *root_ / "drv"});
    EXPECT_EQ(result.status, 2) << c.name << ": " << result.out;
    EXPECT_NE(result.out.find("ERROR! in.iso cannot be used: " + c.says), std::string::npos) << c.name << ": " << result.out;
    EXPECT_EQ(ListDir(hostile.path()), std::vector<std::string>{"in.iso"}) << c.name;
  }

  // A 4 GB sparse image whose TXTSETUP.SIF claims nearly all of it: refused
  // without reading it, in bounded memory.
  {
    std::string big = in;
    uint32_t sectors = 0x201000;  // 4 GB and 8 MB
    PutBoth32(&big, 16 * kSector + 80, sectors);
    for (uint32_t s = 17; s < 32; ++s) {
      if (big[s * kSector] == 2) PutBoth32(&big, s * kSector + 80, sectors);
    }
    PutBoth32(&big, setupRecord + 10, 0xFFFFF000u);
    WriteFile(hostile / "in.iso", big);
    ASSERT_EQ(truncate((hostile / "in.iso").c_str(), static_cast<off_t>(sectors) * kSector), 0);
    // Its peak memory, far below the 4 GB it claims (room for the
    // sanitizers' own), measured by a fresh python that starts it: a
    // process forked from this one would count this one's pages too.
    const char* kMeasure =
        "import resource, subprocess, sys\n"
        "code = subprocess.run(sys.argv[1:], stdout=subprocess.PIPE).returncode\n"
        "print('exit', code, 'peak', resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n";
    ProcessResult measured = RunProcess("/usr/bin/python3", hostile.path(), "",
                                        {"-c", kMeasure, OEM2SIF_INTEGRATE_TOOL_PATH, "--iso", "in.iso", "--output",
                                         "out.iso", *root_ / "drv"});
    long peakKb = 0;
    int exitCode = -1;
    ASSERT_EQ(sscanf(measured.out.c_str(), "exit %d peak %ld", &exitCode, &peakKb), 2) << measured.out;
    EXPECT_EQ(exitCode, 2);
    EXPECT_LT(peakKb, 256 * 1024) << "KB at the peak";
    ProcessResult result = RunProcess(OEM2SIF_INTEGRATE_TOOL_PATH, hostile.path(), "",
                                      {"--iso", "in.iso", "--output", "out.iso", *root_ / "drv"});
    std::string out = result.out;
    EXPECT_NE(out.find("ERROR! in.iso cannot be used: a file far bigger than any setup or driver file (/I386/TXTSETUP.SIF)"),
              std::string::npos)
        << out;
    EXPECT_EQ(ListDir(hostile.path()), std::vector<std::string>{"in.iso"});
  }

  // Trees it would leave stale: a UDF bridge, Rock Ridge.
  for (const auto& option : std::vector<std::pair<std::string, std::string>>{
           {"-udf", "a UDF bridge, whose tree would go stale"}, {"-R", "Rock Ridge, which new files would lack (/)"}}) {
    ProcessResult made = Shell(root_->path(), "genisoimage -quiet -iso-level 2 -N -J " + option.first + " -o " +
                                                  (hostile / "in.iso") + " cd/I386/SYSTEM32 cd/I386/TXTSETUP.SIF");
    ASSERT_EQ(made.status, 0) << made.out;
    ProcessResult result = RunProcess(OEM2SIF_INTEGRATE_TOOL_PATH, hostile.path(), "",
                                      {"--iso", "in.iso", "--output", "out.iso", *root_ / "drv"});
    EXPECT_EQ(result.status, 2) << result.out;
    EXPECT_NE(result.out.find("ERROR! in.iso cannot be used: " + option.second), std::string::npos) << result.out;
    EXPECT_EQ(ListDir(hostile.path()), std::vector<std::string>{"in.iso"});
  }
}

// Small images, each made for its case.
class IsoCases : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"genisoimage", "isoinfo", "bsdtar"}) {
      if (!HaveTool(tool)) GTEST_SKIP() << "needs " << tool << " (tools/install-deps.sh --tests installs it)";
    }
    XpSetupFile xp;
    xp.lines = 400;
    setup_ = GenerateXpSetupFile(xp);
    PutDriver(root_, {"ntoskrnl.exe"});
  }
  // Makes in.iso from folder cd with genisoimage's `options`.
  void Make(const std::string& options) {
    ProcessResult made = Shell(root_.path(), "genisoimage -quiet -no-pad -J " + options + " -o in.iso cd");
    ASSERT_EQ(made.status, 0) << made.out;
  }
  ProcessResult Integrate(const std::string& output = "out.iso") {
    return RunProcess(OEM2SIF_INTEGRATE_TOOL_PATH, root_.path(), "", {"--iso", "in.iso", "--output", output, "drv"});
  }

  ScratchDir root_;
  std::string setup_;
};

// A setup folder at the image's root: the descriptors' root records lead
// to the moved root, whose "." and ".." both name it.
TEST_F(IsoCases, ASetupFolderAtTheRoot) {
  Put(root_, "cd/TXTSETUP.SIF", setup_);
  Put(root_, "cd/NTOSKRNL.EXE", MakeDriverImage(o2s::kMachineX86, {}));
  Put(root_, "cd/SUB/INNER.TXT", "inner");
  Make("-iso-level 2 -N");
  ProcessResult run = Integrate();
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out.rfind("Image: in.iso, setup folder /\n", 0), 0u) << run.out;
  ProcessResult listing = Shell(root_.path(), "isoinfo -l -i out.iso && isoinfo -J -l -i out.iso");
  ASSERT_EQ(listing.status, 0) << listing.out;
  EXPECT_NE(listing.out.find("VIOSTOR.SYS"), std::string::npos) << listing.out;
  EXPECT_NE(listing.out.find("viostor.sys"), std::string::npos) << listing.out;
  ScratchDir extracted;
  ProcessResult tar = Shell(root_.path(), "bsdtar -xf out.iso -C " + extracted.path());
  ASSERT_EQ(tar.status, 0) << tar.out;
  EXPECT_EQ(ReadFile(extracted / "SUB/INNER.TXT"), "inner");
  EXPECT_EQ(ReadFile(extracted / "viostor.sys"), ReadFile(root_ / "drv/i386/win2003/viostor.sys"));
}

// The check takes out of the image what it asks for: here a file the INF
// copies that only the CD holds. Without it on the CD, it is a finding.
TEST_F(IsoCases, TheCheckTakesOutWhatItNeeds) {
  Put(root_, "drv/i386/win2003/viostor.inf",
      MakeStorageInf("viostor", {"PCI\\VEN_1AF4&DEV_1001"}, "viostor.cat", {"viostor.sys", "cdonly.sys"}, {"vioco.dll"}));
  Put(root_, "cd/I386/TXTSETUP.SIF", setup_);
  Put(root_, "cd/I386/NTOSKRNL.EXE", MakeDriverImage(o2s::kMachineX86, {}));
  Put(root_, "cd/I386/CDONLY.SY_", MakeCabinet("cdonly.sys", "on the CD"));
  Make("-iso-level 2 -N");
  ProcessResult run = Integrate();
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("Problems found: 0"), std::string::npos) << run.out;
  std::filesystem::remove(root_ / "cd/I386/CDONLY.SY_");
  std::filesystem::remove(root_ / "in.iso");
  std::filesystem::remove(root_ / "out.iso");
  Make("-iso-level 2 -N");
  run = Integrate();
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find("cdonly.sys"), std::string::npos) << run.out;
}

// The plan printed for an image is the plan printed for the same folder,
// also for a driver file that only the CD holds (the option names it, the
// driver folder lacks it).
TEST_F(IsoCases, ThePlanIsTheFoldersPlan) {
  std::filesystem::remove(root_ / "drv/i386/win2003/viostor.sys");
  Put(root_, "cd/I386/TXTSETUP.SIF", setup_);
  Put(root_, "cd/I386/VIOSTOR.SYS", MakeDriverImage(o2s::kMachineX86, {}));
  Make("-iso-level 2 -N");
  ProcessResult image = RunProcess(OEM2SIF_INTEGRATE_TOOL_PATH, root_.path(), "", {"--iso", "in.iso", "drv", "--dry-run"});
  ProcessResult folder = RunProcess(OEM2SIF_INTEGRATE_TOOL_PATH, root_ / "cd", "", {"I386", "../drv", "--dry-run"});
  EXPECT_EQ(image.status, folder.status);
  auto plan = [](std::string out, const std::string& drv) {
    out = out.substr(out.find("\n", out.find("Setup folder: ")));  // from after the setup folder's line
    for (size_t at = 0; (at = out.find(drv, at)) != std::string::npos; at += 3) out.replace(at, drv.size(), "drv");
    return out;
  };
  EXPECT_EQ(plan(image.out, "drv"), plan(folder.out, "../drv"));
  EXPECT_NE(folder.out.find("viostor.sys"), std::string::npos) << folder.out;
  EXPECT_NE(image.out.find("Image: in.iso, setup folder /I386\nSetup folder: in.iso:/I386 (TXTSETUP.SIF)\n"),
            std::string::npos)
      << image.out;
}

// An image without a Joliet tree: only the ISO 9660 tree changes.
TEST_F(IsoCases, AnImageWithoutJoliet) {
  Put(root_, "cd/I386/TXTSETUP.SIF", setup_);
  Put(root_, "cd/I386/NTOSKRNL.EXE", MakeDriverImage(o2s::kMachineX86, {}));
  ProcessResult made = Shell(root_.path(), "genisoimage -quiet -no-pad -iso-level 2 -N -o in.iso cd");
  ASSERT_EQ(made.status, 0) << made.out;
  ProcessResult run = Integrate();
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("; 4 sectors of the image patched"), std::string::npos) << run.out;  // PVD, root, L and M
  ScratchDir extracted;
  ProcessResult tar = Shell(root_.path(), "bsdtar -xf out.iso -C " + extracted.path());
  ASSERT_EQ(tar.status, 0) << tar.out;
  EXPECT_EQ(ReadFile(extracted / "I386/VIOSTOR.SYS"), ReadFile(root_ / "drv/i386/win2003/viostor.sys"));
}

// An image whose names carry ";1" gets its new names with ";1", and the
// same input gives the same bytes.
TEST_F(IsoCases, NamesFollowTheImagesSpellingAndTheOutputIsRepeatable) {
  Put(root_, "cd/I386/TXTSETUP.SIF", setup_);
  Put(root_, "cd/I386/NTOSKRNL.EXE", MakeDriverImage(o2s::kMachineX86, {}));
  Make("-iso-level 2");
  ASSERT_EQ(Integrate().status, 0);
  ProcessResult listing = Shell(root_.path(), "isoinfo -l -i out.iso");
  EXPECT_NE(listing.out.find(" VIOSTOR.SYS;1 "), std::string::npos) << listing.out;
  EXPECT_NE(listing.out.find(" TXTSETUP.SIF.ORIG;1 "), std::string::npos) << listing.out;
  EXPECT_NE(listing.out.find(" TXTSETUP.SIF;1 "), std::string::npos) << listing.out;
  ASSERT_EQ(Integrate("again.iso").status, 0);
  EXPECT_TRUE(ReadFile(root_ / "out.iso") == ReadFile(root_ / "again.iso"));
}

// I386 and AMD64 both hold TXTSETUP.SIF: the one the CD boots is used,
// and the command says so.
TEST_F(IsoCases, OfSeveralSetupFoldersTheOneWithTheLoaderIsUsed) {
  Put(root_, "cd/AMD64/TXTSETUP.SIF", setup_);
  for (int i = 0; i < 5; ++i) Put(root_, "cd/AMD64/F" + std::to_string(i) + ".DLL", "x");
  Put(root_, "cd/I386/TXTSETUP.SIF", setup_);
  Put(root_, "cd/I386/SETUPLDR.BIN", "loader");
  Make("-iso-level 2 -N");
  ProcessResult run = Integrate();
  EXPECT_EQ(run.out.rfind("Image: in.iso, setup folder /I386\n"
                          "  Folders with TXTSETUP.SIF: /AMD64, /I386; /I386 is used: it holds SETUPLDR.BIN, which "
                          "the CD boots.\n",
                          0),
            0u)
      << run.out;
}

// A file of the driver's name already in the image with other bytes: the
// engine sees it, as in a folder, and leaves it alone.
TEST_F(IsoCases, AFileOfTheSameNameInTheImageIsAConflictAsInAFolder) {
  Put(root_, "cd/I386/TXTSETUP.SIF", setup_);
  Put(root_, "cd/I386/VIOSTOR.SYS", "another driver of that name");
  Make("-iso-level 2 -N");
  ProcessResult run = Integrate();
  EXPECT_NE(run.out.find("there with other bytes: left alone."), std::string::npos)
      << run.out;
  ScratchDir extracted;
  ASSERT_EQ(Shell(root_.path(), "bsdtar -xf out.iso -C " + extracted.path()).status, 0);
  EXPECT_EQ(ReadFile(extracted / "I386/VIOSTOR.SYS"), "another driver of that name");
}

// --iso needs --output, except for a dry run; --json prints JSON alone; a
// killed run's temporary file beside the output is removed.
TEST_F(IsoCases, UsageDryRunJsonAndAKilledRunsLeftovers) {
  Put(root_, "cd/I386/TXTSETUP.SIF", setup_);
  Put(root_, "cd/I386/NTOSKRNL.EXE", MakeDriverImage(o2s::kMachineX86, {}));
  Make("-iso-level 2 -N");
  ProcessResult noOutput = RunProcess(OEM2SIF_INTEGRATE_TOOL_PATH, root_.path(), "", {"--iso", "in.iso", "drv"});
  EXPECT_EQ(noOutput.status, 2);
  EXPECT_EQ(noOutput.out, "ERROR! --iso needs --output OUT.iso: the new image goes there, the image given stays as it is.\n");
  ProcessResult dryRun = RunProcess(OEM2SIF_INTEGRATE_TOOL_PATH, root_.path(), "", {"--iso", "in.iso", "drv", "--dry-run"});
  EXPECT_EQ(dryRun.status, 0) << dryRun.out;
  EXPECT_NE(dryRun.out.find("Dry run: nothing written.\n"), std::string::npos) << dryRun.out;
  ProcessResult json = RunProcess(OEM2SIF_INTEGRATE_TOOL_PATH, root_.path(), "", {"--iso", "in.iso", "drv", "--json"});
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(json.out.rfind("{\"setup\":{\"folder\":\"in.iso:/I386\",", 0), 0u) << json.out;
  EXPECT_EQ(ListDir(root_.path()), (std::vector<std::string>{"cd", "drv", "in.iso"}));
  // A process id no process has (above the kernel's pid_max).
  WriteFile(root_ / ".out.iso.999999999.tmp", "a killed run's");
  ProcessResult run = Integrate();
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(ListDir(root_.path()), (std::vector<std::string>{"cd", "drv", "in.iso", "out.iso"}));
}

// The tool's own output read again: the same drivers change nothing, so
// no image is written, and it says so.
TEST_F(IsoCases, AnImageItWroteIsReadAgain) {
  Put(root_, "cd/I386/TXTSETUP.SIF", setup_);
  Put(root_, "cd/I386/NTOSKRNL.EXE", MakeDriverImage(o2s::kMachineX86, {}));
  Make("-iso-level 2 -N");
  ASSERT_EQ(Integrate().status, 0);
  ProcessResult again = RunProcess(OEM2SIF_INTEGRATE_TOOL_PATH, root_.path(), "",
                                   {"--iso", "out.iso", "--output", "again.iso", "drv"});
  EXPECT_EQ(again.status, 0) << again.out;
  EXPECT_NE(again.out.find("  TXTSETUP.SIF: already as planned, untouched\n"
                           "Nothing to write into the image: again.iso was not written.\n"),
            std::string::npos)
      << again.out;
  EXPECT_FALSE(FileExists(root_ / "again.iso"));
}

TEST_F(IsoCases, TheOutputMayNotBeTheImageItself) {
  Put(root_, "cd/I386/TXTSETUP.SIF", setup_);
  Make("-iso-level 2 -N");
  std::string before = ReadFile(root_ / "in.iso");
  ProcessResult run = Integrate("in.iso");
  EXPECT_EQ(run.status, 2) << run.out;
  EXPECT_NE(run.out.find("ERROR! --output names the image itself (in.iso): give another name. Nothing was written.\n"),
            std::string::npos)
      << run.out;
  EXPECT_TRUE(ReadFile(root_ / "in.iso") == before);
  EXPECT_EQ(ListDir(root_.path()), (std::vector<std::string>{"cd", "drv", "in.iso"}));
}

}  // namespace
}  // namespace o2s_test
