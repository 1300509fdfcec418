#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "psf/psf_builder.h"
#include "psf/ram_image.h"

namespace psf {

// PSF file, u32 little-endian:
//   0       3  "PSF" (not examined when reading)
//   3       1  version byte 0x01 (PlayStation)
//   4       4  size of the reserved area: 0
//   8       4  N, length of the compressed program
//   12      4  CRC-32 of the N compressed bytes
//   16      N  zlib stream of a PS-X EXE
//   16 + N     tag section: "[TAG]" and the tag text, nothing between or after
inline constexpr std::size_t PSF_HEADER_SIZE = 16;
inline constexpr std::uint8_t PSF_VERSION_PLAYSTATION = 0x01;
inline constexpr std::string_view TAG_HEADER = "[TAG]";
// The tag text the batch mode and the EXE-to-PSF conversion write.
inline constexpr std::string_view DEFAULT_TAG_TEXT = "length=3:00.000";

// Largest compressed program a builder PSF may hold, and largest decompressed program read back.
inline constexpr std::size_t BUILD_COMPRESSED_LIMIT = 0x200000;
inline constexpr std::size_t DECODED_PROGRAM_LIMIT = 0x1F0800;  // 2,033,664

// Lowest load address of a driver whose builder PSF reads back: the program image of a driver at t_addr is
// 0x80200800 - t_addr bytes, which must not exceed the decoded limit.
inline constexpr std::uint32_t LOWEST_DRIVER_LOAD_ADDRESS =
    static_cast<std::uint32_t>(RAM_END + PSX_EXE_HEADER_SIZE - DECODED_PROGRAM_LIMIT);
static_assert(LOWEST_DRIVER_LOAD_ADDRESS == 0x80010000);

// The program image of a loaded RAM image: the 132 kept header bytes, zeros up to 2048, then RAM from t_addr
// to 0x801FFFFF; 0x80200800 - t_addr bytes. Empty when the image is not loaded.
std::vector<std::uint8_t> BuildProgramImage(const RamImage& image);

// Writes the builder's image as a PSF at path (zlib level 9, CRC-32, tag section), whole or not at all.
// False (reason noted, nothing written) with no driver held, a compressed program above 2 MiB, or an output
// that cannot be written.
bool WritePsfFile(PsfBuilder& builder, const std::filesystem::path& path);

// Writes "[TAG]" and the builder's tag text unchanged at the stream's position, then drops the tag text.
void WriteTagSection(std::FILE* file, PsfBuilder& builder);

// The decompressed program section of an open PSF. Nothing (reason noted) on a version byte other than 0x01,
// a reserved area, a program section running past the end of the file, a CRC mismatch, or a stream that does
// not decompress into 2,033,664 bytes or fewer. Tags behind the program are ignored.
std::optional<std::vector<std::uint8_t>> DecodePsfProgram(std::FILE* file);

// The same for a PSF held in memory.
std::optional<std::vector<std::uint8_t>> DecodePsfProgram(std::span<const std::uint8_t> file);

// The same into a caller's buffer, whose memory is reused: true with program holding exactly the decoded
// bytes; false (reason noted) as above, program left as it was: the stream is checked whole before program
// is touched (should zlib then fail it after all, program is emptied).
bool DecodePsfProgramInto(std::span<const std::uint8_t> file, std::vector<std::uint8_t>& program);

// The decompressed program section of the PSF file at path; nothing (reason noted) when the file cannot be
// opened or does not decode.
std::optional<std::vector<std::uint8_t>> DecodePsfFile(const std::filesystem::path& path);

// The PSF header and program section (no tag section) for program compressed with zlib compress2 at level 9;
// nothing (reason noted) when compression fails or the result does not fit compressedLimit bytes.
std::optional<std::vector<std::uint8_t>> EncodePsfProgram(std::span<const std::uint8_t> program,
                                                          std::size_t compressedLimit);

}  // namespace psf
