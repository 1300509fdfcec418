#include "psf/psf_file.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

#include "core/byte_io.h"
#include "core/failure.h"
#include "core/output_file.h"
#include "core/text.h"

namespace psf {

namespace {

constexpr int COMPRESSION_LEVEL = 9;

// The program section of a PSF whose 16-byte header and N program bytes are given.
std::optional<std::vector<std::uint8_t>> DecodeProgramSection(std::span<const std::uint8_t> header,
                                                              std::span<const std::uint8_t> compressed) {
  const std::uint32_t expectedCrc = core::LoadU32Le(header, 12);
  // crc32 and uncompress take 32-bit lengths; larger sections were refused by the callers' length checks.
  const uLong crc = crc32(crc32(0, Z_NULL, 0), compressed.data(), static_cast<uInt>(compressed.size()));
  if (static_cast<std::uint32_t>(crc) != expectedCrc) {
    core::SetFailureReason(core::FormatText("PSF checksum 0x%08X does not match its program (0x%08X)", expectedCrc,
                                            static_cast<std::uint32_t>(crc)));
    return std::nullopt;
  }
  std::vector<std::uint8_t> program(DECODED_PROGRAM_LIMIT);
  uLongf length = static_cast<uLongf>(program.size());
  const int result = uncompress(program.data(), &length, compressed.data(), static_cast<uLong>(compressed.size()));
  if (result != Z_OK) {
    core::SetFailureReason(result == Z_BUF_ERROR && length == program.size()
                               ? "PSF program does not decompress into 2033664 bytes or fewer"
                               : "PSF program section is not a valid zlib stream");
    return std::nullopt;
  }
  program.resize(length);
  return program;
}

// Checks the 16-byte header; the program length N on success.
std::optional<std::uint32_t> CheckPsfHeader(std::span<const std::uint8_t> header, std::uint64_t fileLength) {
  if (header.size() < PSF_HEADER_SIZE || fileLength < PSF_HEADER_SIZE) {
    core::SetFailureReason("not a PSF: shorter than its 16-byte header");
    return std::nullopt;
  }
  if (header[3] != PSF_VERSION_PLAYSTATION) {
    core::SetFailureReason(core::FormatText("not a PlayStation PSF: version byte 0x%02X", header[3]));
    return std::nullopt;
  }
  if (core::LoadU32Le(header, 4) != 0) {
    core::SetFailureReason("PSF has a reserved area");
    return std::nullopt;
  }
  const std::uint32_t length = core::LoadU32Le(header, 8);
  if (length > fileLength - PSF_HEADER_SIZE) {
    core::SetFailureReason(core::FormatText("PSF program section (%u bytes) runs past the end of the file", length));
    return std::nullopt;
  }
  return length;
}

}  // namespace

std::vector<std::uint8_t> BuildProgramImage(const RamImage& image) {
  if (!image.loaded) return {};
  const std::uint32_t loadAddress = ImageLoadAddress(image);
  const auto offset = RamOffset(loadAddress, 0);
  if (!offset) return {};
  const auto ram = RamBytes(image, loadAddress, RAM_SIZE - *offset);
  if (!ram) return {};
  std::vector<std::uint8_t> program(PSX_EXE_HEADER_SIZE + ram->size());
  std::copy(image.header.begin(), image.header.end(), program.begin());
  std::copy(ram->begin(), ram->end(), program.begin() + PSX_EXE_HEADER_SIZE);
  return program;
}

std::optional<std::vector<std::uint8_t>> EncodePsfProgram(std::span<const std::uint8_t> program,
                                                          std::size_t compressedLimit) {
  if (program.size() > std::numeric_limits<uLong>::max() >> 1) {
    core::SetFailureReason("program too large to compress");
    return std::nullopt;
  }
  std::vector<std::uint8_t> file(PSF_HEADER_SIZE + compressedLimit);
  uLongf length = static_cast<uLongf>(compressedLimit);
  const int result = compress2(file.data() + PSF_HEADER_SIZE, &length, program.data(),
                               static_cast<uLong>(program.size()), COMPRESSION_LEVEL);
  if (result != Z_OK) {
    core::SetFailureReason(result == Z_BUF_ERROR
                               ? core::FormatText("compressed program exceeds %zu bytes", compressedLimit)
                               : core::FormatText("compression failed (zlib %d)", result));
    return std::nullopt;
  }
  const std::span<const std::uint8_t> compressed(file.data() + PSF_HEADER_SIZE, length);
  const uLong crc = crc32(crc32(0, Z_NULL, 0), compressed.data(), static_cast<uInt>(compressed.size()));
  file[0] = 'P';
  file[1] = 'S';
  file[2] = 'F';
  file[3] = PSF_VERSION_PLAYSTATION;
  core::StoreU32Le(file, 4, 0);  // no reserved area
  core::StoreU32Le(file, 8, static_cast<std::uint32_t>(length));
  core::StoreU32Le(file, 12, static_cast<std::uint32_t>(crc));
  file.resize(PSF_HEADER_SIZE + length);
  return file;
}

bool WritePsfFile(PsfBuilder& builder, const std::filesystem::path& path) {
  if (!builder.held) {
    core::SetFailureReason("no driver loaded");
    return false;
  }
  const std::vector<std::uint8_t> program = BuildProgramImage(builder.image);
  if (program.empty()) {
    core::SetFailureReason("the driver's RAM image is not loaded");
    return false;
  }
  const auto encoded = EncodePsfProgram(program, BUILD_COMPRESSED_LIMIT);
  if (!encoded) return false;
  auto output = core::OutputFile::Create(path);
  if (!output) return false;
  std::fwrite(encoded->data(), 1, encoded->size(), output->stream());
  WriteTagSection(output->stream(), builder);
  return output->Commit();
}

void WriteTagSection(std::FILE* file, PsfBuilder& builder) {
  if (file != nullptr) {
    std::fwrite(TAG_HEADER.data(), 1, TAG_HEADER.size(), file);
    if (builder.tagText) std::fwrite(builder.tagText->data(), 1, builder.tagText->size(), file);
  }
  if (builder.tagText) std::fill(builder.tagText->begin(), builder.tagText->end(), '\0');
  builder.tagText.reset();
}

std::optional<std::vector<std::uint8_t>> DecodePsfProgram(std::span<const std::uint8_t> file) {
  const auto length = CheckPsfHeader(file.first(std::min(file.size(), PSF_HEADER_SIZE)), file.size());
  if (!length) return std::nullopt;
  return DecodeProgramSection(file.first(PSF_HEADER_SIZE), file.subspan(PSF_HEADER_SIZE, *length));
}

std::optional<std::vector<std::uint8_t>> DecodePsfProgram(std::FILE* file) {
  if (file == nullptr) {
    core::SetFailureReason("cannot read the PSF");
    return std::nullopt;
  }
  if (std::fseek(file, 0, SEEK_END) != 0) {
    core::SetFailureReason(core::DescribeSystemError("cannot read"));
    return std::nullopt;
  }
  const long end = std::ftell(file);
  if (end < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
    core::SetFailureReason(core::DescribeSystemError("cannot read"));
    return std::nullopt;
  }
  std::array<std::uint8_t, PSF_HEADER_SIZE> header{};
  const std::size_t got = std::fread(header.data(), 1, header.size(), file);
  const auto length = CheckPsfHeader(std::span<const std::uint8_t>(header).first(got), static_cast<std::uint64_t>(end));
  if (!length) return std::nullopt;
  std::vector<std::uint8_t> compressed(*length);
  if (std::fread(compressed.data(), 1, compressed.size(), file) != compressed.size()) {
    core::SetFailureReason("PSF program section cannot be read whole");
    return std::nullopt;
  }
  return DecodeProgramSection(header, compressed);
}

}  // namespace psf
