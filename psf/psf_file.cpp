#include "psf/psf_file.h"

#define ZLIB_CONST  // zlib's input pointers are const
#include <zlib.h>

#include <algorithm>
#include <array>
#include <limits>
#include <memory>

#include "core/byte_io.h"
#include "core/failure.h"
#include "core/file_io.h"
#include "core/output_file.h"
#include "core/text.h"

namespace psf {

namespace {

#ifdef LFQ_FUZZ_FAST_DEFLATE
// Long fuzz campaigns only (never a shipped build): most of their time went into level-9 deflate of the
// 2 MiB program image, and zlib is not what they test. Level 1 keeps every stream valid and well under the
// size limits for the campaign's inputs; only the ratio differs.
constexpr int COMPRESSION_LEVEL = 1;
#else
constexpr int COMPRESSION_LEVEL = 9;
#endif

enum class InflateResult { Complete, TooLarge, Invalid };

// Runs a zlib stream through inflate into a small scratch buffer, only to check it and count its bytes
// (at most 2,033,664); bytes behind the stream's end are ignored, as zlib's uncompress does.
InflateResult CheckInflate(z_stream& stream, std::span<const std::uint8_t> compressed, std::size_t& size) {
  stream.next_in = compressed.data();
  stream.avail_in = static_cast<uInt>(compressed.size());
  std::array<std::uint8_t, 0x8000> scratch;  // not zeroed: only zlib writes it, nothing reads it
  size = 0;
  int result = Z_OK;
  while (result == Z_OK) {
    if (size == DECODED_PROGRAM_LIMIT) {
      // Full: the stream must end here without another byte.
      std::uint8_t probe = 0;
      stream.next_out = &probe;
      stream.avail_out = 1;
      result = inflate(&stream, Z_NO_FLUSH);
      if (stream.avail_out == 0) return InflateResult::TooLarge;
      continue;
    }
    const std::size_t step = std::min(scratch.size(), DECODED_PROGRAM_LIMIT - size);
    stream.next_out = scratch.data();
    stream.avail_out = static_cast<uInt>(step);
    result = inflate(&stream, Z_NO_FLUSH);
    size += step - stream.avail_out;
    // No progress with input left over means the stream is cut short or broken.
    if (result == Z_BUF_ERROR) break;
  }
  return result == Z_STREAM_END ? InflateResult::Complete : InflateResult::Invalid;
}

// Runs the stream a check accepted again, into output, which is exactly as long as the check counted.
bool FillInflate(z_stream& stream, std::span<const std::uint8_t> compressed, std::span<std::uint8_t> output) {
  stream.next_in = compressed.data();
  stream.avail_in = static_cast<uInt>(compressed.size());
  std::uint8_t none = 0;  // zlib wants somewhere to write even when nothing is to be written
  stream.next_out = output.empty() ? &none : output.data();
  stream.avail_out = static_cast<uInt>(output.size());
  int result = Z_OK;
  while (result == Z_OK) result = inflate(&stream, Z_NO_FLUSH);
  return result == Z_STREAM_END && stream.avail_out == 0;
}

// Inflates the stream into program (its contents replaced, its memory reused): at most 2,033,664 bytes;
// false (reason noted) when the stream is broken or longer. The stream is checked and its bytes counted
// before program is touched, so a refused one leaves it as it was and costs no program buffer (most broken
// streams run on for a long way before zlib notices), and a good one is inflated once more straight into a
// buffer of its size.
bool InflateProgram(std::span<const std::uint8_t> compressed, std::vector<std::uint8_t>& program) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) {
    core::SetFailureReason("PSF program cannot be decompressed: zlib could not start");
    return false;
  }
  const std::unique_ptr<z_stream, decltype(&inflateEnd)> ending(&stream, &inflateEnd);
  std::size_t size = 0;
  const InflateResult check = CheckInflate(stream, compressed, size);
  if (check == InflateResult::TooLarge) {
    core::SetFailureReason("PSF program does not decompress into 2033664 bytes or fewer");
    return false;
  }
  if (check == InflateResult::Complete && inflateReset(&stream) == Z_OK) {
    program.clear();
    program.resize(size);
    // The same stream again: it cannot fail now, but a failure still refuses rather than keeping a part.
    if (FillInflate(stream, compressed, program)) return true;
    program.clear();
  }
  core::SetFailureReason("PSF program section is not a valid zlib stream");
  return false;
}

// The program section of a PSF whose 16-byte header and N program bytes are given, inflated into program.
bool DecodeProgramSection(std::span<const std::uint8_t> header, std::span<const std::uint8_t> compressed,
                          std::vector<std::uint8_t>& program) {
  const std::uint32_t expectedCrc = core::LoadU32Le(header, 12);
  // crc32 and uncompress take 32-bit lengths; larger sections were refused by the callers' length checks.
  const uLong crc = crc32(crc32(0, Z_NULL, 0), compressed.data(), static_cast<uInt>(compressed.size()));
  if (static_cast<std::uint32_t>(crc) != expectedCrc) {
    core::SetFailureReason(core::FormatText("PSF checksum 0x%08X does not match its program (0x%08X)", expectedCrc,
                                            static_cast<std::uint32_t>(crc)));
    return false;
  }
  return InflateProgram(compressed, program);
}

std::optional<std::vector<std::uint8_t>> DecodeProgramSection(std::span<const std::uint8_t> header,
                                                              std::span<const std::uint8_t> compressed) {
  std::vector<std::uint8_t> program;
  if (!DecodeProgramSection(header, compressed, program)) return std::nullopt;
  return program;
}

// The RAM that follows the header in the program image: from t_addr to 0x801FFFFF; nothing when the image
// is not loaded or t_addr lies outside RAM.
std::optional<std::span<const std::uint8_t>> ProgramRam(const RamImage& image) {
  const std::uint32_t loadAddress = ImageLoadAddress(image);
  const auto offset = RamOffset(loadAddress, 0);
  if (!offset) return std::nullopt;
  return RamBytes(image, loadAddress, RAM_SIZE - *offset);
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

// The PSF header and program section for the concatenation of pieces. The stream is byte for byte what one
// compress2 call at level 9 over the concatenated bytes yields: zlib's output does not depend on how its
// input is handed over as long as nothing is flushed before the end, so the pieces need not be copied
// together first.
std::optional<std::vector<std::uint8_t>> EncodePsfPieces(std::span<const std::span<const std::uint8_t>> pieces,
                                                         std::size_t compressedLimit) {
  z_stream stream{};
  if (deflateInit(&stream, COMPRESSION_LEVEL) != Z_OK) {
    core::SetFailureReason("compression failed: zlib could not start");
    return std::nullopt;
  }
  // Not zeroed: zlib writes what it produces, and only that part is kept. No larger than the most zlib can
  // make of the input, so a small program takes no 2 MiB.
  std::size_t inputSize = 0;
  for (const std::span<const std::uint8_t> piece : pieces) inputSize += piece.size();
  const std::size_t outputSize =
      std::min<std::size_t>(compressedLimit, deflateBound(&stream, static_cast<uLong>(inputSize)));
  const auto output = std::make_unique_for_overwrite<std::uint8_t[]>(outputSize);
  stream.next_out = output.get();
  std::size_t outputLeft = outputSize;
  constexpr std::size_t STEP = std::numeric_limits<uInt>::max();  // zlib counts in uInt
  const auto run = [&](const std::uint8_t* input, std::size_t size, int flush) {
    stream.next_in = input;
    stream.avail_in = static_cast<uInt>(size);
    for (;;) {
      const std::size_t offered = std::min(outputLeft, STEP);
      stream.avail_out = static_cast<uInt>(offered);
      const int result = deflate(&stream, flush);
      outputLeft -= offered - stream.avail_out;
      if (result == Z_STREAM_END) return true;
      if (result != Z_OK && result != Z_BUF_ERROR) return false;
      if (result == Z_BUF_ERROR && stream.avail_out != 0) return false;  // no progress possible
      if (flush != Z_FINISH && stream.avail_in == 0) return true;
      if (stream.avail_out == 0 && outputLeft == 0) return false;  // the limit is reached
    }
  };
  bool compressed = true;
  for (const std::span<const std::uint8_t> piece : pieces) {
    for (std::size_t done = 0; compressed && done < piece.size(); done += STEP) {
      compressed = run(piece.data() + done, std::min(STEP, piece.size() - done), Z_NO_FLUSH);
    }
  }
  compressed = compressed && run(nullptr, 0, Z_FINISH);
  const std::size_t length = outputSize - outputLeft;
  deflateEnd(&stream);
  if (!compressed) {
    core::SetFailureReason(core::FormatText("compressed program exceeds %zu bytes", compressedLimit));
    return std::nullopt;
  }
  const std::span<const std::uint8_t> section(output.get(), length);
  const uLong crc = crc32(crc32(0, Z_NULL, 0), section.data(), static_cast<uInt>(section.size()));
  core::ByteWriter file;
  file.Text("PSF");
  file.U8(PSF_VERSION_PLAYSTATION);
  file.U32Le(0);  // no reserved area
  file.U32Le(static_cast<std::uint32_t>(length));
  file.U32Le(static_cast<std::uint32_t>(crc));
  file.Bytes(section);
  return file.Take();
}

}  // namespace

std::vector<std::uint8_t> BuildProgramImage(const RamImage& image) {
  const auto ram = ProgramRam(image);
  if (!ram) return {};
  // Appended piece by piece, so the 2 MiB are written once and not zeroed first.
  std::vector<std::uint8_t> program;
  program.reserve(PSX_EXE_HEADER_SIZE + ram->size());
  program.insert(program.end(), image.header.begin(), image.header.end());
  program.resize(PSX_EXE_HEADER_SIZE, 0);
  program.insert(program.end(), ram->begin(), ram->end());
  return program;
}

std::optional<std::vector<std::uint8_t>> EncodePsfProgram(std::span<const std::uint8_t> program,
                                                          std::size_t compressedLimit) {
  const std::span<const std::uint8_t> pieces[] = {program};
  return EncodePsfPieces(pieces, compressedLimit);
}

bool WritePsfFile(PsfBuilder& builder, const std::filesystem::path& path) {
  if (!builder.held) {
    core::SetFailureReason("no driver loaded");
    return false;
  }
  // The program image, handed to zlib in its three pieces rather than copied together first.
  const auto ram = ProgramRam(builder.image);
  if (!ram) {
    core::SetFailureReason("the driver's RAM image is not loaded");
    return false;
  }
  static constexpr std::array<std::uint8_t, PSX_EXE_HEADER_SIZE - KEPT_HEADER_SIZE> HEADER_PADDING{};
  const std::span<const std::uint8_t> pieces[] = {builder.image.header, HEADER_PADDING, *ram};
  const auto encoded = EncodePsfPieces(pieces, BUILD_COMPRESSED_LIMIT);
  if (!encoded) return false;
  auto output = core::OutputFile::Create(path);
  if (!output) return false;
  std::fwrite(encoded->data(), 1, encoded->size(), output->stream());
  WriteTagSection(output->stream(), builder);
  return output->Commit();
}

void WriteTagSection(std::FILE* file, PsfBuilder& builder) {
  if (file != nullptr) std::fwrite(TAG_HEADER.data(), 1, TAG_HEADER.size(), file);
  if (!builder.tagText) return;
  std::string& text = *builder.tagText;
  if (file != nullptr) std::fwrite(text.data(), 1, text.size(), file);
  std::fill(text.begin(), text.end(), '\0');
  builder.tagText.reset();
}

std::optional<std::vector<std::uint8_t>> DecodePsfProgram(std::span<const std::uint8_t> file) {
  std::vector<std::uint8_t> program;
  if (!DecodePsfProgramInto(file, program)) return std::nullopt;
  return program;
}

bool DecodePsfProgramInto(std::span<const std::uint8_t> file, std::vector<std::uint8_t>& program) {
  const auto length = CheckPsfHeader(file.first(std::min(file.size(), PSF_HEADER_SIZE)), file.size());
  if (!length) return false;
  return DecodeProgramSection(file.first(PSF_HEADER_SIZE), file.subspan(PSF_HEADER_SIZE, *length), program);
}

std::optional<std::vector<std::uint8_t>> DecodePsfProgram(std::FILE* file) {
  if (file == nullptr) {
    core::SetFailureReason("cannot read the PSF");
    return std::nullopt;
  }
  if (!core::SeekFileStream(file, 0, SEEK_END)) {
    core::SetFailureReason(core::DescribeSystemError("cannot read"));
    return std::nullopt;
  }
  const std::int64_t end = core::TellFileStream(file);
  if (end < 0 || !core::SeekFileStream(file, 0, SEEK_SET)) {
    core::SetFailureReason(core::DescribeSystemError("cannot read"));
    return std::nullopt;
  }
  std::array<std::uint8_t, PSF_HEADER_SIZE> header{};
  const std::size_t got = std::fread(header.data(), 1, header.size(), file);
  const auto length = CheckPsfHeader(std::span<const std::uint8_t>(header).first(got), static_cast<std::uint64_t>(end));
  if (!length) return std::nullopt;
  // Not zeroed: a short read refuses the file, so no unfilled byte is ever used.
  const auto compressed = std::make_unique_for_overwrite<std::uint8_t[]>(*length);
  if (std::fread(compressed.get(), 1, *length, file) != *length) {
    core::SetFailureReason("PSF program section cannot be read whole");
    return std::nullopt;
  }
  return DecodeProgramSection(header, std::span<const std::uint8_t>(compressed.get(), *length));
}

std::optional<std::vector<std::uint8_t>> DecodePsfFile(const std::filesystem::path& path) {
  const core::FileHandle file = core::OpenFile(path, "rb");
  if (!file) {
    core::SetFailureReason(core::DescribeSystemError("cannot open"));
    return std::nullopt;
  }
  return DecodePsfProgram(file.get());
}

}  // namespace psf
