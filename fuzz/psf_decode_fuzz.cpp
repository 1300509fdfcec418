// PSF decoding and driver loading (OPEN). Bits 0-1 of the first input byte pick what the rest is:
//   0  a PSF file as it stands (most mutations stop at the header or the checksum);
//   1  a PSF file whose version, reserved size, length and checksum are repaired first, so mutations
//      reach zlib and the loader;
//   2, 3  a program (PS-X EXE) wrapped in a valid PSF, so mutations reach the EXE loader and the driver tables.
// Properties: a refused PSF leaves the builder empty; a loaded driver's header declares what its PSF carries.
// With bit 7 set, the costlier cross-checks run as well (each is a few passes over 2 MiB for a driver): the
// in-memory and stream decoders agree, a decoded program re-encodes to itself, and the PSF written from a
// loaded driver (OUT) opens again to the same image.

#include <zlib.h>

#include "fuzz/fuzz_support.h"
#include "psf/psf_builder.h"
#include "psf/psf_file.h"
#include "psf/ram_image.h"

namespace {

using fuzz_support::LoadU32Le;
using fuzz_support::StoreU32Le;

constexpr std::size_t HEADER = psf::PSF_HEADER_SIZE;

std::uint32_t Crc(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint32_t>(crc32(crc32(0, Z_NULL, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

// A PSF whose program section holds program in stored (uncompressed) deflate blocks: cheap to make.
std::vector<std::uint8_t> StoredPsf(std::span<const std::uint8_t> program) {
  uLongf length = compressBound(static_cast<uLong>(program.size()));
  std::vector<std::uint8_t> file(HEADER + length);
  FUZZ_CHECK(compress2(file.data() + HEADER, &length, program.data(), static_cast<uLong>(program.size()), 0) == Z_OK);
  file.resize(HEADER + length);
  file[0] = 'P';
  file[1] = 'S';
  file[2] = 'F';
  file[3] = psf::PSF_VERSION_PLAYSTATION;
  StoreU32Le(file, 8, static_cast<std::uint32_t>(length));
  StoreU32Le(file, 12, Crc(std::span<const std::uint8_t>(file).subspan(HEADER)));
  return file;
}

// Version 1, no reserved area, a length that fits the file and the checksum of the section it names.
void RepairHeader(std::vector<std::uint8_t>& file) {
  if (file.size() < HEADER) return;
  file[3] = psf::PSF_VERSION_PLAYSTATION;
  StoreU32Le(file, 4, 0);
  const std::uint32_t length = std::min<std::uint32_t>(LoadU32Le(file, 8), file.size() - HEADER);
  StoreU32Le(file, 8, length);
  StoreU32Le(file, 12, Crc(std::span<const std::uint8_t>(file).subspan(HEADER, length)));
}

void CheckLoadedDriver(const psf::PsfBuilder& builder) {
  FUZZ_CHECK(builder.held && builder.image.loaded && builder.image.ram.size() == psf::RAM_SIZE);
  FUZZ_CHECK(builder.parameterCount == builder.parameters.size());
  const std::uint32_t tAddr = psf::ImageLoadAddress(builder.image);
  FUZZ_CHECK(tAddr >= psf::LOWEST_DRIVER_LOAD_ADDRESS);
  FUZZ_CHECK(LoadU32Le(builder.image.header, psf::EXE_T_SIZE_OFFSET) == psf::LoadedTextSize(tAddr));
  FUZZ_CHECK(LoadU32Le(builder.image.header, psf::EXE_S_SIZE_OFFSET) == psf::LOADED_S_SIZE);
  FUZZ_CHECK(psf::CheckDriverSignature(builder.image));
  for (std::uint32_t index = 0; index < std::min<std::uint32_t>(builder.parameterCount, 64); ++index) {
    psf::GetParameter(builder, index);
    FUZZ_CHECK(psf::GetParameterName(builder, index).size() <= psf::IMAGE_STRING_LIMIT);
  }
  FUZZ_CHECK(psf::GetParameter(builder, builder.parameterCount) == 0);
}

// OUT then OPEN: the program image a PSF of this driver carries loads again to the same driver. The 16 bytes
// above the stack top travel in the PSF but lie outside the declared text, so only RAM below them is compared.
void CheckReopens(const psf::PsfBuilder& builder) {
  const std::vector<std::uint8_t> program = psf::BuildProgramImage(builder.image);
  FUZZ_CHECK(program.size() == psf::RAM_END + psf::PSX_EXE_HEADER_SIZE - psf::ImageLoadAddress(builder.image));
  FUZZ_CHECK(program.size() <= psf::DECODED_PROGRAM_LIMIT);
  psf::PsfBuilder reopened;
  FUZZ_CHECK(psf::LoadDriverFromPsfBytes(reopened, StoredPsf(program)));
  FUZZ_CHECK(reopened.image.header == builder.image.header);
  constexpr std::size_t STACK_TOP_OFFSET = psf::LOADED_STACK_TOP - psf::RAM_BASE;
  FUZZ_CHECK(
      std::equal(builder.image.ram.begin(), builder.image.ram.begin() + STACK_TOP_OFFSET, reopened.image.ram.begin()));
  FUZZ_CHECK(reopened.parameterCopy == builder.parameterCopy && reopened.muteCopy == builder.muteCopy);
  FUZZ_CHECK(reopened.parameterCount == builder.parameterCount);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int mode = data[0] & 3;
  const bool crossCheck = (data[0] & 0x80) != 0;
  const std::span<const std::uint8_t> rest(data + 1, size - 1);
  std::vector<std::uint8_t> file;
  if (mode >= 2) {
    file = StoredPsf(rest);
  } else {
    file.assign(rest.begin(), rest.end());
    if (mode == 1) RepairHeader(file);
  }

  const auto decoded = psf::DecodePsfProgram(std::span<const std::uint8_t>(file));
  if (decoded) FUZZ_CHECK(decoded->size() <= psf::DECODED_PROGRAM_LIMIT);
  if (mode >= 2) FUZZ_CHECK(decoded && std::equal(decoded->begin(), decoded->end(), rest.begin(), rest.end()));
  if (crossCheck) {
    const auto stream = fuzz_support::MemoryStream(file);
    FUZZ_CHECK(psf::DecodePsfProgram(stream.get()) == decoded);
    if (decoded && decoded->size() <= 0x10000) {
      const auto encoded = psf::EncodePsfProgram(*decoded, psf::BUILD_COMPRESSED_LIMIT);
      FUZZ_CHECK(encoded && psf::DecodePsfProgram(std::span<const std::uint8_t>(*encoded)) == decoded);
    }
  }

  psf::PsfBuilder builder;
  const bool loaded = psf::LoadDriverFromPsfBytes(builder, file);
  FUZZ_CHECK(loaded == builder.held);
  if (!decoded) FUZZ_CHECK(!loaded);
  if (!loaded) {
    FUZZ_CHECK(!builder.image.loaded && builder.parameters.empty());
    return 0;
  }
  CheckLoadedDriver(builder);
  if (crossCheck) CheckReopens(builder);
  return 0;
}
