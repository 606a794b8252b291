// Stand-ins for the files a driver brings and a setup folder holds: minimal
// PE driver images, cabinets of one file as setup's compressed files are,
// and a dosnet.inf laid out like the real one.
#ifndef OEM2SIF_TESTS_SUPPORT_DRIVER_FILES_H
#define OEM2SIF_TESTS_SUPPORT_DRIVER_FILES_H

#include <cstddef>
#include <string>
#include <vector>

namespace o2s_test {

// A PE image of `machine` (PE32 for x86, PE32+ otherwise) and the native
// subsystem, whose one section holds an import directory naming `imports`,
// then text that compresses well but not to nothing, to at least `size`
// bytes; the section runs to the file's end.
std::string MakeDriverImage(unsigned machine, const std::vector<std::string>& imports,
                            size_t size = 1024);

// A cabinet holding `bytes` as the file `name`, in one MSZIP folder of
// 32 KB blocks, each deflated by zlib with the blocks before it as its
// dictionary, as Microsoft's tools make them.
std::string MakeCabinet(const std::string& name, const std::string& bytes);

// A dosnet.inf in CR LF: [Version], [Directories], [Files] and
// [FloppyFiles.0] to [FloppyFiles.3] with a few of Windows' own files each,
// `bootFiles` ending [FloppyFiles.2] and `files` ending [Files], as d1,NAME
// lines, then [Strings].
std::string MakeDosnet(const std::vector<std::string>& bootFiles,
                       const std::vector<std::string>& files);

// A storage driver's INF as vendors ship it, in CR LF: [Version] naming
// `catalog`, [Manufacturer] decorated for x86 and x64, a models line for
// each of `ids` (x86) installing service `service`, whose x86 install
// section copies `files` and whose co-installer section copies
// `coInstallers`.
std::string MakeStorageInf(const std::string& service, const std::vector<std::string>& ids,
                           const std::string& catalog, const std::vector<std::string>& files,
                           const std::vector<std::string>& coInstallers);

// virtio's txtsetup.oem as it ships: an x86 option and an x64 one, each
// disk in its own folder.
extern const char kVirtioOem[];

}  // namespace o2s_test

#endif
