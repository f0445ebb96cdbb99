// How large an archive an updater executable can carry. Windows maps the
// whole updater, its archive resource included, into the process as one
// image before the updater runs, so the archive's size decides whether
// Windows can start the updater at all. build-exe refuses an archive past
// its architecture's limit before it links anything.
#pragma once

#include <cstdint>
#include <string>

// win32, the shipped build: 1 GiB.
//
// The image is one contiguous range of the process's address space. The
// 32-bit updater is linked without IMAGE_FILE_LARGE_ADDRESS_AWARE, so its
// process has 2 GiB of user address space on 32-bit and on 64-bit Windows
// alike (0x00010000-0x7FFEFFFF). The image goes near its preferred base,
// 0x00400000 (ASLR moves an executable by at most 16 MiB), and must end
// below the system DLLs, which lie towards the 2 GiB boundary where ASLR
// places them on each boot: on a measured Windows 7 x64 the largest image
// that still loaded was about 1.8 GB. Beside the image the process needs
// the DLLs it loads itself and those other software injects (an input
// method, security software), its heap and stack (reserved 1 MiB and
// 2 MiB by the image's header), the updater's working memory, about
// 16 MiB, and the entry being written, which the updater decodes whole
// (its unpacked size, and its stored size again when it is scrambled),
// each in a free range of its own. An archive of 1 GiB keeps the image
// below 0x41500000 (1045 MiB) even at the highest ASLR base, which leaves
// about 670 MiB below the measured ceiling for all of that, for system
// DLLs placed lower on another system, and for fragmentation: room for
// entries of up to a few hundred MB, which this limit does not judge.
constexpr uint64_t kWin32LargestArchive = uint64_t(1) << 30;

// win64: 2 GiB less 16 MiB.
//
// A 64-bit process has terabytes of address space, but Windows restricts
// every executable image, 64-bit ones included, to less than 2 GiB (32-bit
// displacements reach all of its data). The updater's own code, data and
// resources take under 1 MiB of the image; 16 MiB leaves it room to grow.
// Wine 8 maps a larger image but gives zeros for everything past its first
// 2 GiB, so the updater finds its archive damaged (measured: archives of
// 2032 MiB pass the digest check, of 2080, 2048 and 3072 MiB fail it). The
// linker writes such images without complaint, 32-bit ones too.
constexpr uint64_t kWin64LargestArchive = (uint64_t(2) << 30) - (uint64_t(16) << 20);

// The largest archive that an updater for `architecture` ("win32" or
// "win64") carries.
uint64_t LargestArchiveFor(const std::string& architecture);

// True when an archive of `size` bytes fits an updater for `architecture`;
// otherwise false with `error` set to the refusal, one line that names the
// archive (`name`, a path; empty for an archive packed from files), its
// size, the limit and what to do instead.
bool ArchiveFits(const std::string& architecture, uint64_t size, const std::string& name,
                 std::string* error);

// The same for the file `path` named by --archive, before it is read: an
// archive file is judged by its size. An updater executable (its archive
// is a part of it) and a file that cannot be examined pass here; they are
// judged once read.
bool ArchiveFileFits(const std::string& architecture, const std::string& path, std::string* error);
