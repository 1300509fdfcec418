// Song sets read through an in-memory file reader. The input is a list of files, each
//   u8 name (file "fN.psf", N = name % 8), u16 LE EXE length, EXE bytes, u16 LE tag length, tag text,
// wrapped here into PSFs (so that mutations reach the EXEs and the _lib tags rather than the checksums), and
// f0.psf is loaded with its set. Properties: a loaded set lays only files that exist; a file without library
// links gives its own program; and a minipsf made against the loaded program (as library) from the second
// EXE reads back as that EXE's RAM.

#include <zlib.h>

#include <map>
#include <string>

#include "core/byte_io.h"
#include "fuzz/fuzz_support.h"
#include "psf/psf_file.h"
#include "psf/psf_set.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A PSF of program and the tag text; stored, not compressed (zlib level 0): the properties do not depend on the
// level, and a set's program is up to 2 MiB.
Bytes MakePsf(std::span<const std::uint8_t> program, const std::string& tags) {
  uLongf length = compressBound(static_cast<uLong>(program.size()));
  Bytes file(16 + length);
  compress2(file.data() + 16, &length, program.data(), static_cast<uLong>(program.size()), Z_NO_COMPRESSION);
  file.resize(16 + length);
  std::copy_n("PSF\x01", 4, file.begin());
  core::StoreU32Le(file, 8, static_cast<std::uint32_t>(length));
  core::StoreU32Le(file, 12, static_cast<std::uint32_t>(crc32(0, file.data() + 16, static_cast<uInt>(length))));
  file.insert(file.end(), {'[', 'T', 'A', 'G', ']'});
  file.insert(file.end(), tags.begin(), tags.end());
  return file;
}

// RAM as a player lays the program image: its bytes from t_addr up to the end of RAM, zero elsewhere; empty
// when the header does not place them in RAM.
Bytes LaidRam(std::span<const std::uint8_t> program) {
  if (program.size() < psf::PSX_EXE_HEADER_SIZE) return {};
  const std::uint32_t tAddr = core::LoadU32Le(program, psf::EXE_T_ADDR_OFFSET);
  const auto offset = psf::RamOffset(tAddr, 0);
  if (!offset) return {};
  Bytes ram(psf::RAM_SIZE, 0);
  const std::size_t count = std::min(program.size() - psf::PSX_EXE_HEADER_SIZE, psf::RAM_SIZE - *offset);
  std::copy_n(program.begin() + psf::PSX_EXE_HEADER_SIZE, count, ram.begin() + static_cast<std::ptrdiff_t>(*offset));
  return ram;
}

psf::SetFileReader Reader(const std::map<std::string, Bytes>& files) {
  return [&files](const std::filesystem::path& path) -> std::optional<Bytes> {
    const auto found = files.find(path.generic_string());
    if (found == files.end()) return std::nullopt;
    return found->second;
  };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  std::map<std::string, Bytes> files;
  std::vector<Bytes> exes;
  std::size_t at = 0;
  // The next count bytes, fewer at the end of the input.
  const auto take = [&](std::size_t count) {
    const std::span<const std::uint8_t> part = input.subspan(at, std::min(count, input.size() - at));
    at += part.size();
    return part;
  };
  while (at < input.size() && exes.size() < 8) {
    const std::string name = "f" + std::to_string(take(1)[0] % 8) + ".psf";
    const std::span<const std::uint8_t> exe = take(core::LoadU16Le(take(2), 0));
    const std::span<const std::uint8_t> tags = take(core::LoadU16Le(take(2), 0));
    files[name] = MakePsf(exe, std::string(tags.begin(), tags.end()));
    exes.emplace_back(exe.begin(), exe.end());
  }
  if (files.find("f0.psf") == files.end()) return 0;

  const std::optional<psf::PsfSet> set = psf::LoadPsfSet("f0.psf", Reader(files));
  if (!set) return 0;
  FUZZ_CHECK(!set->files.empty() && set->files.size() <= psf::SET_FILE_LIMIT);
  for (const std::filesystem::path& file : set->files) FUZZ_CHECK(files.count(file.generic_string()) == 1);
  if (!psf::NamesPsfLibrary(set->tags)) {
    FUZZ_CHECK(set->files.size() == 1 && set->program == psf::DecodePsfProgram(files["f0.psf"]));
  }

  // The loaded program as a library, the second EXE (started as the library starts) as the build.
  if (exes.size() < 2 || set->program.size() > psf::DECODED_PROGRAM_LIMIT) return 0;
  Bytes build = exes[1];
  if (build.size() < psf::PSX_EXE_HEADER_SIZE) return 0;
  for (const std::size_t offset : {psf::EXE_PC0_OFFSET, std::size_t{0x14}, psf::EXE_S_ADDR_OFFSET}) {
    core::StoreU32Le(build, offset, core::LoadU32Le(set->program, offset));
  }
  const std::optional<Bytes> mini = psf::MakeMiniExe(set->program, build);
  if (!mini || mini->size() > psf::DECODED_PROGRAM_LIMIT) return 0;
  FUZZ_CHECK(mini->size() > psf::PSX_EXE_HEADER_SIZE);
  // Whole pages counted from the library's load address, but cut at either end of RAM; when nothing differs,
  // one page, moved down to end at the top of RAM when the library loads in its last page.
  const std::uint64_t origin = core::LoadU32Le(set->program, psf::EXE_T_ADDR_OFFSET);
  const std::uint64_t spanStart = core::LoadU32Le(*mini, psf::EXE_T_ADDR_OFFSET);
  const std::uint64_t spanEnd = spanStart + core::LoadU32Le(*mini, psf::EXE_T_SIZE_OFFSET);
  const auto onPageEdge = [&](std::uint64_t address) { return (address - origin) % psf::SET_PAGE_SIZE == 0; };
  FUZZ_CHECK(onPageEdge(spanStart) || spanStart == psf::RAM_BASE ||
             (spanEnd == psf::RAM_END && spanEnd - spanStart == psf::SET_PAGE_SIZE));
  FUZZ_CHECK(onPageEdge(spanEnd) || spanEnd == psf::RAM_END);
  std::map<std::string, Bytes> pair;  // filled by moves: an initializer list would copy 2 MiB files
  pair.emplace("lib.psflib", MakePsf(set->program, ""));
  pair.emplace("m.minipsf", MakePsf(*mini, "_lib=lib.psflib"));
  const std::optional<psf::PsfSet> back = psf::LoadPsfSet("m.minipsf", Reader(pair));
  FUZZ_CHECK(back.has_value());
  FUZZ_CHECK(LaidRam(back->program) == LaidRam(build));
  return 0;
}
