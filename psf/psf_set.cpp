#include "psf/psf_set.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "core/byte_io.h"
#include "core/failure.h"
#include "core/file_io.h"
#include "core/output_file.h"
#include "core/path_names.h"
#include "core/text.h"
#include "psf/build_tags.h"
#include "psf/ps_exe.h"
#include "psf/psf_file.h"

namespace psf {

namespace {

constexpr std::size_t EXE_GP0_OFFSET = 0x14;

// The text of a program image as players lay it: every byte behind the header from t_addr on, cut at the end
// of RAM. The header's own t_size must fit RAM and the bytes held.
struct ProgramText {
  std::uint32_t address = 0;
  std::span<const std::uint8_t> bytes;
  std::uint64_t End() const { return address + std::uint64_t{bytes.size()}; }
};

std::optional<ProgramText> ReadProgramText(std::span<const std::uint8_t> program) {
  if (program.size() < PSX_EXE_HEADER_SIZE) {
    core::SetFailureReason(
        core::FormatText("program is %zu bytes long, shorter than a PS-X EXE header", program.size()));
    return std::nullopt;
  }
  const std::uint32_t tAddr = core::LoadU32Le(program, EXE_T_ADDR_OFFSET);
  const std::uint32_t tSize = core::LoadU32Le(program, EXE_T_SIZE_OFFSET);
  const std::optional<std::size_t> offset = RamOffset(tAddr, tSize);
  if (!offset || program.size() - PSX_EXE_HEADER_SIZE < tSize) {
    core::SetFailureReason(
        core::FormatText("program text (0x%08X bytes at 0x%08X) does not fit the RAM image or "
                         "the program",
                         tSize, tAddr));
    return std::nullopt;
  }
  const std::size_t laid = std::min(program.size() - PSX_EXE_HEADER_SIZE, RAM_SIZE - *offset);
  return ProgramText{tAddr, program.subspan(PSX_EXE_HEADER_SIZE, laid)};
}

// The bytes of text over [from, to), or an empty span when the text does not reach there (zeros). The
// caller picks ranges that lie wholly inside or wholly outside the text.
std::span<const std::uint8_t> Cover(const ProgramText& text, std::uint64_t from, std::uint64_t to) {
  if (from < text.address || to > text.End()) return {};
  return text.bytes.subspan(static_cast<std::size_t>(from - text.address), static_cast<std::size_t>(to - from));
}

// The range boundaries at which either text starts or ends, in order: within each range each side is all
// text or all zeros.
std::vector<std::uint64_t> Boundaries(const ProgramText& a, const ProgramText& b) {
  std::vector<std::uint64_t> points = {a.address, a.End(), b.address, b.End()};
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  return points;
}

// Index of the first (or last) byte where two equally long ranges differ; an empty range reads as zeros.
// Whole blocks are compared with memcmp first, since a song set's ranges are megabytes that mostly agree.
std::optional<std::size_t> FindDifference(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b,
                                          std::size_t length, bool last) {
  static constexpr std::array<std::uint8_t, 4096> ZEROS{};
  if (a.empty() && b.empty()) return std::nullopt;
  const auto byteAt = [](std::span<const std::uint8_t> bytes, std::size_t index) {
    return bytes.empty() ? std::uint8_t{0} : bytes[index];
  };
  const auto blockAt = [](std::span<const std::uint8_t> bytes, std::size_t index) {
    return bytes.empty() ? ZEROS.data() : bytes.data() + index;
  };
  const std::size_t blocks = (length + ZEROS.size() - 1) / ZEROS.size();
  for (std::size_t step = 0; step < blocks; ++step) {
    const std::size_t block = last ? blocks - 1 - step : step;
    const std::size_t from = block * ZEROS.size();
    const std::size_t count = std::min(ZEROS.size(), length - from);
    if (std::memcmp(blockAt(a, from), blockAt(b, from), count) == 0) continue;
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t index = last ? from + count - 1 - i : from + i;
      if (byteAt(a, index) != byteAt(b, index)) return index;
    }
  }
  return std::nullopt;
}

// The first (or last) PS address where the two texts differ.
std::optional<std::uint64_t> FindDifferingAddress(const ProgramText& library, const ProgramText& program, bool last) {
  const std::vector<std::uint64_t> points = Boundaries(library, program);
  for (std::size_t i = 0; i + 1 < points.size(); ++i) {
    const std::size_t range = last ? points.size() - 2 - i : i;
    const std::uint64_t from = points[range];
    const std::uint64_t to = points[range + 1];
    const std::size_t length = static_cast<std::size_t>(to - from);
    const auto at = FindDifference(Cover(library, from, to), Cover(program, from, to), length, last);
    if (at) return from + *at;
  }
  return std::nullopt;
}

// The page origin plus whole pages, rounded down (or up) from address.
std::int64_t PageBoundary(std::int64_t origin, std::int64_t address, bool up) {
  const std::int64_t page = SET_PAGE_SIZE;
  std::int64_t offset = address - origin;
  std::int64_t pages = offset >= 0 ? offset / page : -((-offset + page - 1) / page);
  if (up && pages * page < offset) ++pages;
  return origin + pages * page;
}

std::string PathText(const std::filesystem::path& path) { return core::PathToText(path); }

// The absolute, normal path of a file that may not exist yet, its symbolic links followed as far as they
// exist.
std::filesystem::path ResolvedPath(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
  if (error) resolved = std::filesystem::absolute(path, error);
  return resolved.lexically_normal();
}

// Lays the files of a set into zeroed RAM in the order players load them.
class SetLoader {
 public:
  explicit SetLoader(const SetFileReader& read) : read_(read) {}

  // Lays the file (decoded program and tags) with its libraries: "_lib" first, then the file, then "_lib2",
  // "_lib3", ... until a number is missing.
  bool LayFile(const std::filesystem::path& path, std::span<const std::uint8_t> program, const TagList& tags,
               std::size_t depth) {
    ++started_;
    chain_.push_back(path);
    bool laid = LoadLinked(tags, "_lib", depth) && LayProgram(path, program);
    for (int number = 2; laid; ++number) {
      const std::string name = "_lib" + std::to_string(number);
      if (FindTag(tags, name).value_or("").empty()) break;
      laid = LoadLinked(tags, name, depth);
    }
    chain_.pop_back();
    return laid;
  }

  // The program image of everything laid.
  std::vector<std::uint8_t> TakeProgram() {
    const std::size_t offset = lowest_ - RAM_BASE;
    std::vector<std::uint8_t> program;
    program.reserve(PSX_EXE_HEADER_SIZE + RAM_SIZE - offset);
    program.insert(program.end(), header_.begin(), header_.end());
    program.resize(PSX_EXE_HEADER_SIZE, 0);
    program.insert(program.end(), ram_.begin() + static_cast<std::ptrdiff_t>(offset), ram_.end());
    core::StoreU32Le(program, EXE_T_ADDR_OFFSET, lowest_);
    core::StoreU32Le(program, EXE_T_SIZE_OFFSET, LoadedTextSize(lowest_));
    ram_ = {};
    return program;
  }

  std::vector<std::filesystem::path> TakeFiles() { return std::move(files_); }

 private:
  // Loads the library the tag names, if it names one, from the file at the top of the chain.
  bool LoadLinked(const TagList& tags, const std::string& name, std::size_t depth) {
    const std::string link = FindTag(tags, name).value_or("");
    if (link.empty()) return true;
    const std::filesystem::path& namedBy = chain_.back();
    const std::filesystem::path path = ResolveLibraryLink(namedBy, link);
    if (std::find(chain_.begin(), chain_.end(), path) != chain_.end()) {
      std::string loop;
      for (const std::filesystem::path& file : chain_) loop += PathText(file) + " -> ";
      core::SetFailureReason("_lib chain loops: " + loop + PathText(path));
      return false;
    }
    if (depth + 1 > LIB_DEPTH_LIMIT) {
      core::SetFailureReason(core::FormatText("%s %s (named by %s) lies more than %zu _lib levels deep", name.c_str(),
                                              PathText(path).c_str(), PathText(namedBy).c_str(), LIB_DEPTH_LIMIT));
      return false;
    }
    if (started_ >= SET_FILE_LIMIT) {
      core::SetFailureReason(core::FormatText("%s %s (named by %s): the set would lay more than %zu files",
                                              name.c_str(), PathText(path).c_str(), PathText(namedBy).c_str(),
                                              SET_FILE_LIMIT));
      return false;
    }
    const auto fail = [&](const char* what) {
      const std::string noted = core::TakeFailureReason();
      core::SetFailureReason(core::FormatText("%s %s (named by %s): %s", name.c_str(), PathText(path).c_str(),
                                              PathText(namedBy).c_str(), noted.empty() ? what : noted.c_str()));
      return false;
    };
    const std::optional<std::vector<std::uint8_t>> file = read_(path);
    if (!file) return fail("cannot read");
    const std::optional<std::vector<std::uint8_t>> program = DecodePsfProgram(*file);
    if (!program) return fail("not a PSF");
    const std::optional<std::string_view> text = FindTagText(*file);
    const TagList libraryTags = text ? ParseTagText(*text) : TagList{};
    return LayFile(path, *program, libraryTags, depth + 1);
  }

  bool LayProgram(const std::filesystem::path& path, std::span<const std::uint8_t> program) {
    const std::optional<ProgramText> text = ReadProgramText(program);
    if (!text) {
      core::SetFailureReason(PathText(path) + ": " + core::TakeFailureReason());
      return false;
    }
    if (ram_.empty()) {
      ram_.assign(RAM_SIZE, 0);
      std::copy_n(program.begin(), KEPT_HEADER_SIZE, header_.begin());
    }
    std::copy(text->bytes.begin(), text->bytes.end(),
              ram_.begin() + static_cast<std::ptrdiff_t>(text->address - RAM_BASE));
    lowest_ = std::min(lowest_, text->address);
    files_.push_back(path);
    return true;
  }

  const SetFileReader& read_;
  std::vector<std::filesystem::path> chain_;  // the file being laid and the files that named it
  std::vector<std::filesystem::path> files_;
  std::vector<std::uint8_t> ram_;
  std::array<std::uint8_t, KEPT_HEADER_SIZE> header_{};
  std::uint32_t lowest_ = std::numeric_limits<std::uint32_t>::max();
  std::size_t started_ = 0;  // files whose laying began
};

PageSpan ChangedPages(const ProgramText& library, const ProgramText& build) {
  const std::int64_t origin = library.address;
  const std::optional<std::uint64_t> first = FindDifferingAddress(library, build, false);
  std::int64_t start = 0;
  std::int64_t end = 0;
  if (first) {
    const std::uint64_t last = FindDifferingAddress(library, build, true).value_or(*first);
    start = PageBoundary(origin, static_cast<std::int64_t>(*first), false);
    end = PageBoundary(origin, static_cast<std::int64_t>(last) + 1, true);
  } else {
    // Players need a text to lay: the first page of the library, which changes nothing.
    start = std::min<std::int64_t>(origin, static_cast<std::int64_t>(RAM_END) - SET_PAGE_SIZE);
    end = start + SET_PAGE_SIZE;
  }
  start = std::max<std::int64_t>(start, RAM_BASE);
  end = std::min<std::int64_t>(end, static_cast<std::int64_t>(RAM_END));
  return PageSpan{static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end - start)};
}

// The minipsf's EXE: the library's 2048-byte header with the span, then the build's bytes of the span.
std::optional<std::vector<std::uint8_t>> ComposeExe(std::span<const std::uint8_t> libraryHeader,
                                                    const ProgramText& build, PageSpan span) {
  if (!RamOffset(span.address, span.size)) {
    core::SetFailureReason(
        core::FormatText("pages 0x%08X-0x%08X lie outside RAM", span.address, span.address + span.size));
    return std::nullopt;
  }
  std::vector<std::uint8_t> exe(libraryHeader.begin(), libraryHeader.end());
  exe.resize(PSX_EXE_HEADER_SIZE, 0);
  core::StoreU32Le(exe, EXE_T_ADDR_OFFSET, span.address);
  core::StoreU32Le(exe, EXE_T_SIZE_OFFSET, span.size);
  exe.resize(PSX_EXE_HEADER_SIZE + span.size, 0);
  const std::uint64_t from = std::max<std::uint64_t>(span.address, build.address);
  const std::uint64_t to = std::min<std::uint64_t>(span.address + std::uint64_t{span.size}, build.End());
  if (from < to) {
    const std::span<const std::uint8_t> bytes = Cover(build, from, to);
    std::copy(bytes.begin(), bytes.end(),
              exe.begin() + static_cast<std::ptrdiff_t>(PSX_EXE_HEADER_SIZE + from - span.address));
  }
  return exe;
}

// The minipsf's EXE from both headers and texts; refused when the two start differently.
std::optional<std::vector<std::uint8_t>> MakeExe(std::span<const std::uint8_t> libraryHeader,
                                                 const ProgramText& library, std::span<const std::uint8_t> buildHeader,
                                                 const ProgramText& build) {
  for (const std::size_t offset : {EXE_PC0_OFFSET, EXE_GP0_OFFSET, EXE_S_ADDR_OFFSET}) {
    if (core::LoadU32Le(libraryHeader, offset) != core::LoadU32Le(buildHeader, offset)) {
      core::SetFailureReason(
          "the build's driver starts differently from the psflib's (entry point, gp or stack): write a new psflib");
      return std::nullopt;
    }
  }
  return ComposeExe(libraryHeader.first(std::min(libraryHeader.size(), PSX_EXE_HEADER_SIZE)), build,
                    ChangedPages(library, build));
}

}  // namespace

bool NamesPsfLibrary(const TagList& tags) {
  return !FindTag(tags, "_lib").value_or("").empty() || !FindTag(tags, "_lib2").value_or("").empty();
}

std::optional<PageSpan> FindChangedPages(std::span<const std::uint8_t> libraryProgram,
                                         std::span<const std::uint8_t> program) {
  const std::optional<ProgramText> library = ReadProgramText(libraryProgram);
  if (!library) return std::nullopt;
  const std::optional<ProgramText> build = ReadProgramText(program);
  if (!build) return std::nullopt;
  return ChangedPages(*library, *build);
}

std::optional<std::vector<std::uint8_t>> ComposeMiniExe(std::span<const std::uint8_t> libraryProgram,
                                                        std::span<const std::uint8_t> program, PageSpan span) {
  if (!ReadProgramText(libraryProgram)) return std::nullopt;
  const std::optional<ProgramText> build = ReadProgramText(program);
  if (!build) return std::nullopt;
  return ComposeExe(libraryProgram.first(PSX_EXE_HEADER_SIZE), *build, span);
}

std::optional<std::vector<std::uint8_t>> MakeMiniExe(std::span<const std::uint8_t> libraryProgram,
                                                     std::span<const std::uint8_t> program) {
  const std::optional<ProgramText> library = ReadProgramText(libraryProgram);
  if (!library) return std::nullopt;
  const std::optional<ProgramText> build = ReadProgramText(program);
  if (!build) return std::nullopt;
  return MakeExe(libraryProgram, *library, program, *build);
}

std::optional<std::string> LibraryLinkName(const std::filesystem::path& directory,
                                           const std::filesystem::path& library) {
  const std::filesystem::path relative = library.lexically_relative(directory);
  if (relative.empty()) {
    core::SetFailureReason(core::FormatText("no relative path leads from %s to the psflib %s",
                                            PathText(directory).c_str(), PathText(library).c_str()));
    return std::nullopt;
  }
  const std::u8string generic = relative.generic_u8string();
  std::string link(reinterpret_cast<const char*>(generic.data()), generic.size());
  const auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20; };
  // Players trim blanks around a value and split it at line ends.
  if (std::any_of(link.begin(), link.end(), control) || link.front() == ' ' || link.back() == ' ') {
    core::SetFailureReason(
        core::FormatText("the psflib's path \"%s\" holds characters a _lib tag cannot carry", link.c_str()));
    return std::nullopt;
  }
  return link;
}

std::filesystem::path ResolveLibraryLink(const std::filesystem::path& file, std::string_view link) {
  std::string text(link);
  std::replace(text.begin(), text.end(), '\\', '/');
  return (file.parent_path() / core::TextToPath(text)).lexically_normal();
}

std::optional<PsfSet> LoadPsfSet(const std::filesystem::path& path, const SetFileReader& read) {
  std::optional<std::vector<std::uint8_t>> file = read(path);
  if (!file) return std::nullopt;
  std::optional<std::vector<std::uint8_t>> program = DecodePsfProgram(*file);
  if (!program) return std::nullopt;
  PsfSet set;
  if (const std::optional<std::string_view> text = FindTagText(*file)) set.tags = ParseTagText(*text);
  if (!NamesPsfLibrary(set.tags)) {
    set.program = std::move(*program);
    set.files = {path};
    return set;
  }
  SetLoader loader(read);
  if (!loader.LayFile(path.lexically_normal(), *program, set.tags, 0)) return std::nullopt;
  set.program = loader.TakeProgram();
  set.files = loader.TakeFiles();
  return set;
}

std::optional<PsfSet> LoadPsfSetFile(const std::filesystem::path& path) {
  const SetFileReader read = [](const std::filesystem::path& file) -> std::optional<std::vector<std::uint8_t>> {
    // A device or pipe named by a link would be read without end or block the run.
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(file, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
      core::SetFailureReason("cannot open: not a regular file");
      return std::nullopt;
    }
    std::optional<std::vector<std::uint8_t>> bytes = core::LoadWholeFile(file);
    if (!bytes) core::SetFailureReason(core::DescribeSystemError("cannot open"));
    return bytes;
  };
  return LoadPsfSet(path, read);
}

bool LoadDriverFromPsfSet(PsfBuilder& builder, const std::filesystem::path& path) {
  std::optional<PsfSet> set = LoadPsfSetFile(path);
  if (!set || !LoadDriverFromProgramImage(builder, std::move(set->program), std::move(set->tags))) return false;
  RecordBuildInput(builder, path);
  for (const std::filesystem::path& file : set->files) RecordBuildInput(builder, file);
  return true;
}

std::optional<PsfLibrary> WritePsfLibrary(const PsfBuilder& builder, const std::filesystem::path& path) {
  if (!builder.held) {
    core::SetFailureReason("no driver loaded");
    return std::nullopt;
  }
  PsfLibrary library{ResolvedPath(path), BuildProgramImage(builder.image)};
  if (library.program.empty()) {
    core::SetFailureReason("the driver's RAM image is not loaded");
    return std::nullopt;
  }
  const std::optional<std::vector<std::uint8_t>> encoded = EncodePsfProgram(library.program, BUILD_COMPRESSED_LIMIT);
  if (!encoded || !core::WriteWholeFile(path, *encoded)) return std::nullopt;
  return library;
}

bool WriteMiniPsf(const PsfBuilder& builder, const PsfLibrary& library, const TagList& edits,
                  const std::filesystem::path& path) {
  if (!builder.held) {
    core::SetFailureReason("no driver loaded");
    return false;
  }
  const std::filesystem::path target = ResolvedPath(path);
  if (target == library.path) {
    core::SetFailureReason(core::FormatText("not written: it is the psflib %s", PathText(library.path).c_str()));
    return false;
  }
  const std::optional<std::string> link = LibraryLinkName(target.parent_path(), library.path);
  if (!link) return false;
  // The build's RAM is compared where it lies: a copy of its 2 MiB per minipsf would cost more than the rest.
  const std::optional<ProgramText> libraryText = ReadProgramText(library.program);
  const std::uint32_t loadAddress = ImageLoadAddress(builder.image);
  const std::optional<std::size_t> offset = RamOffset(loadAddress, 0);
  const auto ram = offset ? RamBytes(builder.image, loadAddress, RAM_SIZE - *offset) : std::nullopt;
  if (!libraryText || !ram) {
    if (!ram) core::SetFailureReason("the driver's RAM image is not loaded");
    return false;
  }
  const std::optional<std::vector<std::uint8_t>> exe =
      MakeExe(library.program, *libraryText, builder.image.header, ProgramText{loadAddress, *ram});
  if (!exe) return false;
  TagList tags = {{"_lib", *link}};
  tags.insert(tags.end(), edits.begin(), edits.end());
  std::string reason;
  const std::optional<std::string> tagText = ComposeTagText(builder, tags, reason);
  if (!tagText) {
    core::SetFailureReason(reason);
    return false;
  }
  std::optional<std::vector<std::uint8_t>> file = EncodePsfProgram(*exe, BUILD_COMPRESSED_LIMIT);
  if (!file) return false;
  file->insert(file->end(), TAG_HEADER.begin(), TAG_HEADER.end());
  file->insert(file->end(), tagText->begin(), tagText->end());
  return core::WriteWholeFile(path, *file);
}

}  // namespace psf
