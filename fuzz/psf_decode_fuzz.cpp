// PSF decoding and driver loading (OPEN). Bits 0-1 of the first input byte pick what the rest is:
//   0  a PSF file as it stands (most mutations stop at the header or the checksum);
//   1  a PSF file whose version, reserved size, length and checksum are repaired first, so mutations
//      reach zlib and the loader;
//   2, 3  a program (PS-X EXE) wrapped in a valid PSF, so mutations reach the EXE loader and the driver tables.
// Properties: a PSF that does not decode leaves the held driver as it was, one that decodes but is refused
// leaves the builder empty; a loaded driver's header declares what its PSF carries.
// With bit 7 set, the in-memory and stream decoders must agree; for one such input in eight (they cost a
// quarter megabyte to a few passes over 2 MiB), a decoded program re-encodes to itself and the PSF written
// from a loaded driver (OUT) opens again to the same image.

#include <zlib.h>

#include "core/failure.h"
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

// Makes file a PSF whose program section is a zlib stream of stored (uncompressed) blocks holding program,
// written here directly: cheaper than zlib's deflate, whose state is a quarter megabyte to set up. The
// caller's buffer is reused: fresh megabytes are slow under AddressSanitizer.
void MakeStoredPsf(std::span<const std::uint8_t> program, std::vector<std::uint8_t>& file) {
  constexpr std::size_t BLOCK = 0xFFFF;
  file.assign({'P', 'S', 'F', psf::PSF_VERSION_PLAYSTATION, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  file.push_back(0x78);  // deflate, 32 KiB window
  file.push_back(0x01);  // no dictionary, header check
  std::size_t done = 0;
  do {
    const std::size_t length = std::min(BLOCK, program.size() - done);
    const bool last = done + length == program.size();
    const std::uint8_t block[] = {static_cast<std::uint8_t>(last ? 1 : 0), static_cast<std::uint8_t>(length),
                                  static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(~length),
                                  static_cast<std::uint8_t>(~length >> 8)};
    file.insert(file.end(), std::begin(block), std::end(block));
    file.insert(file.end(), program.begin() + static_cast<std::ptrdiff_t>(done),
                program.begin() + static_cast<std::ptrdiff_t>(done + length));
    done += length;
  } while (done < program.size());
  const auto adler =
      static_cast<std::uint32_t>(adler32(adler32(0, Z_NULL, 0), program.data(), static_cast<uInt>(program.size())));
  for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<std::uint8_t>(adler >> shift));
  const std::span<const std::uint8_t> section = std::span<const std::uint8_t>(file).subspan(HEADER);
  StoreU32Le(file, 8, static_cast<std::uint32_t>(section.size()));
  StoreU32Le(file, 12, Crc(section));
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
  static psf::PsfBuilder reopened;  // lives across inputs, as the application's builder does
  static std::vector<std::uint8_t> file;
  MakeStoredPsf(program, file);
  if (!psf::LoadDriverFromPsfBytes(reopened, file)) {
    std::fprintf(stderr, "OPEN refuses the PSF OUT made: %s\n", core::TakeFailureReason().c_str());
    FUZZ_CHECK(false);
  }
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
  // The re-encoding (zlib's level-9 state alone is a quarter megabyte) and the OUT-then-OPEN round trip (some
  // 4 MiB) run for one such input in eight, picked by the input's checksum so that a replay runs them again.
  const bool costly = crossCheck && Crc(std::span<const std::uint8_t>(data, size)) % 8 == 0;
  const std::span<const std::uint8_t> rest(data + 1, size - 1);
  static std::vector<std::uint8_t> file;
  if (mode >= 2) {
    MakeStoredPsf(rest, file);
  } else {
    file.assign(rest.begin(), rest.end());
    if (mode == 1) RepairHeader(file);
  }

  // Decoded into a buffer that lives across inputs: a refusal leaves the last program there as it was.
  static std::vector<std::uint8_t> program;
  const std::size_t sizeBefore = program.size();
  const std::uint32_t crcBefore =
      Crc(std::span<const std::uint8_t>(program).first(std::min<std::size_t>(sizeBefore, 64)));
  const bool decoded = psf::DecodePsfProgramInto(file, program);
  if (decoded) FUZZ_CHECK(program.size() <= psf::DECODED_PROGRAM_LIMIT);
  if (!decoded) {
    FUZZ_CHECK(program.size() == sizeBefore);
    FUZZ_CHECK(Crc(std::span<const std::uint8_t>(program).first(std::min<std::size_t>(sizeBefore, 64))) == crcBefore);
  }
  if (mode >= 2) FUZZ_CHECK(decoded && std::equal(program.begin(), program.end(), rest.begin(), rest.end()));
  if (crossCheck) {
    const auto stream = fuzz_support::MemoryStream(file);
    const auto streamed = psf::DecodePsfProgram(stream.get());
    FUZZ_CHECK(streamed.has_value() == decoded && (!decoded || *streamed == program));
  }
  if (costly && decoded && program.size() <= 0x10000) {
    const auto encoded = psf::EncodePsfProgram(program, psf::BUILD_COMPRESSED_LIMIT);
    FUZZ_CHECK(encoded && psf::DecodePsfProgram(std::span<const std::uint8_t>(*encoded)) == program);
  }

  // One builder for the whole run, as in the application: each load replaces the driver the last input left
  // (reusing its RAM buffer), and a PSF that does not decode leaves that driver held as it was.
  static psf::PsfBuilder builder;
  const bool heldBefore = builder.held;
  const auto headerBefore = builder.image.header;
  const std::uint32_t countBefore = builder.parameterCount;
  const bool loaded = psf::LoadDriverFromPsfBytes(builder, file);
  FUZZ_CHECK(loaded == builder.held || !decoded);
  if (!decoded) {
    FUZZ_CHECK(!loaded && builder.held == heldBefore && builder.image.loaded == heldBefore);
    FUZZ_CHECK(builder.image.header == headerBefore && builder.parameterCount == countBefore);
    return 0;
  }
  if (!loaded) {
    FUZZ_CHECK(!builder.image.loaded && builder.image.ram.empty() && builder.parameters.empty());
    return 0;
  }
  CheckLoadedDriver(builder);
  if (costly) CheckReopens(builder);
  return 0;
}
