#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "psf/psf_builder.h"
#include "psf/psf_tags.h"

namespace psf {

// A song set is one psflib holding the driver and the bank, and minipsfs holding only the pages where a song
// differs from it. A player loads the file named by "_lib" first (its own "_lib" before it, and so on), lays
// the minipsf's EXE over it, then loads "_lib2", "_lib3", ... in turn; the entry point, gp and stack come from
// the first file it loads.
inline constexpr std::uint32_t SET_PAGE_SIZE = 2048;
// How many "_lib" links a chain may follow from the file opened.
inline constexpr std::size_t LIB_DEPTH_LIMIT = 10;
// How many files one set may lay: a file may name the same library many times over, and a chain of such
// files would otherwise multiply its loads level by level.
inline constexpr std::size_t SET_FILE_LIMIT = 64;

// A run of whole pages of RAM: the PS address of its first byte and its length in bytes.
struct PageSpan {
  std::uint32_t address = 0;
  std::uint32_t size = 0;
};

// The smallest span of 2048-byte pages, counted from the library's load address, that covers every RAM byte
// where program differs from libraryProgram. Both are program images (a PS-X EXE header, then the text from
// t_addr; RAM outside the text reads as zero). When nothing differs, the one page at the library's load
// address (the last page of RAM when that one would run past its end). Pages are cut at the ends of RAM.
// Nothing (reason noted) when either is not a PS-X EXE whose text fits RAM.
std::optional<PageSpan> FindChangedPages(std::span<const std::uint8_t> libraryProgram,
                                         std::span<const std::uint8_t> program);

// The PS-X EXE a minipsf carries: the library's 2048-byte header with t_addr and t_size set to span, then
// program's bytes of span (zero where its text does not reach). Nothing (reason noted) when either is not a
// PS-X EXE whose text fits RAM or span lies outside RAM.
std::optional<std::vector<std::uint8_t>> ComposeMiniExe(std::span<const std::uint8_t> libraryProgram,
                                                        std::span<const std::uint8_t> program, PageSpan span);

// The minipsf's EXE for program against libraryProgram: its changed pages over the library's header. Refused
// (nothing, reason noted) when the two start differently (entry point, gp or stack base), since players start
// a set as its library says.
std::optional<std::vector<std::uint8_t>> MakeMiniExe(std::span<const std::uint8_t> libraryProgram,
                                                     std::span<const std::uint8_t> program);

// The "_lib" value naming library from a minipsf in directory: the relative path with '/' between names.
// Both must be absolute and normal. Nothing (reason noted) when no relative path leads there (another drive
// or root) or the name holds a byte a tag cannot carry (control characters, blanks at either end).
std::optional<std::string> LibraryLinkName(const std::filesystem::path& directory,
                                           const std::filesystem::path& library);

// The path a "_lib" value names from the file holding it: relative to that file's directory, '\' read as
// a separator too.
std::filesystem::path ResolveLibraryLink(const std::filesystem::path& file, std::string_view link);

// Whether a file with these tags names a library ("_lib" or "_lib2"), so that it plays only with its set.
bool NamesPsfLibrary(const TagList& tags);

// Reads one file of a set: its bytes, or nothing with the reason noted.
using SetFileReader = std::function<std::optional<std::vector<std::uint8_t>>(const std::filesystem::path&)>;

// A PSF loaded with its set.
struct PsfSet {
  std::vector<std::uint8_t> program;         // program image of the whole set (the file's own for a plain PSF)
  TagList tags;                              // the tags of the file itself, library links included
  std::vector<std::filesystem::path> files;  // the files whose program was laid, in the order laid
};

// Loads the PSF at path through read. A file without "_lib" or "_lib2" gives its own decoded program. A set
// is laid as players lay it into zeroed RAM and given as one program image: the header of the first file
// laid, t_addr the lowest text address, t_size up to the stack top, RAM from there to its end. Nothing
// (reason noted, naming the file at fault and the one that named it) when a file cannot be read or decoded,
// its text does not fit RAM, a chain runs more than 10 levels deep or comes back to a file it came from, or
// the set would lay more than 64 files.
std::optional<PsfSet> LoadPsfSet(const std::filesystem::path& path, const SetFileReader& read);

// The same, reading regular files from disk.
std::optional<PsfSet> LoadPsfSetFile(const std::filesystem::path& path);

// Makes the PSF at path, with its set, the builder's driver, with the file's own tags; every file of the set
// counts as read by the build. False (reason noted) as LoadPsfSetFile and LoadDriverFromProgramImage.
bool LoadDriverFromPsfSet(PsfBuilder& builder, const std::filesystem::path& path);

// A psflib as written: its absolute, normal path and the program image it carries.
struct PsfLibrary {
  std::filesystem::path path;
  std::vector<std::uint8_t> program;
};

// Writes the builder's whole program image as a psflib at path (no tag section), whole or not at all; the
// library written, or nothing (reason noted) with no driver held or a file that cannot be written.
std::optional<PsfLibrary> WritePsfLibrary(const PsfBuilder& builder, const std::filesystem::path& path);

// Writes the builder's image as a minipsf at path against library: the changed pages, the tag text of the
// build for edits (as ComposeTagText) with "_lib" naming the library. False (reason noted, nothing written)
// with no driver held, path being the library itself, no relative path to the library, a driver that starts
// differently from the library's, or a file that cannot be written.
bool WriteMiniPsf(const PsfBuilder& builder, const PsfLibrary& library, const TagList& edits,
                  const std::filesystem::path& path);

}  // namespace psf
