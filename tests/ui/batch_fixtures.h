#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

// A small sound bank: one program, one tone, two samples of 16 and 8 bytes. The size table's first entry
// holds 0x1234, which nothing reads and every writer puts out as 0.
std::vector<std::uint8_t> SmallVh();
// The VH as the builder places it and as a VAB writer writes it: SmallVh() with the first size entry 0.
std::vector<std::uint8_t> SmallVhAsWritten();
// The 24 sample bytes of SmallVh(), plus 8 trailing bytes that no sample claims.
std::vector<std::uint8_t> SmallVb();
// The 24 bytes that a reader takes from SmallVb().
std::vector<std::uint8_t> SmallVbAsWritten();
// A short SEQ file: the 15-byte header and a few events.
std::vector<std::uint8_t> SmallSeq();

// Little-endian 32-bit words in a byte buffer.
std::uint32_t GetU32(const std::vector<std::uint8_t>& bytes, std::size_t offset);
void PutU32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value);

// The decompressed program section of a PSF's bytes; nothing when the header, CRC or stream is wrong.
std::optional<std::vector<std::uint8_t>> DecodeProgram(const std::vector<std::uint8_t>& psf);

// The bytes after the program section of a PSF.
std::vector<std::uint8_t> TagSection(const std::vector<std::uint8_t>& psf);

// Program image addressing (a decoded PSF program, or the built-in driver as a PS-X EXE): the byte of PS
// address A sits at 2048 + A - load address 0x80010000.
constexpr std::uint32_t PROGRAM_LOAD_ADDRESS = 0x80010000u;
constexpr std::size_t PROGRAM_HEADER_SIZE = 2048;
std::size_t ProgramOffset(std::uint32_t address);

// The little-endian value of width bytes at a PS address of a program image; 0xDEADDEAD when out of range.
std::uint32_t ValueAt(const std::vector<std::uint8_t>& program, std::uint32_t address, int width);

// The bytes at a PS address of a program image.
std::vector<std::uint8_t> BytesAt(const std::vector<std::uint8_t>& program, std::uint32_t address, std::size_t count);

// Adds the zlib stream of program to a PSF header with a correct CRC, and optional tag bytes.
std::vector<std::uint8_t> MakePsf(const std::vector<std::uint8_t>& program, const std::string& tags = "");

// The built-in driver as a PS-X EXE: its header, then its 0x14000 bytes of text.
std::vector<std::uint8_t> BuiltinDriverExe();

// A PSF of the built-in driver whose parameter list holds as many entries as a list may (65,535), every one
// named by the same name of nameLength letters 'a' (up to 65,534, the longest text the image reads) and
// with its 4-byte value at 0x80100000: the costliest list a driver from a PSF can bring.
std::vector<std::uint8_t> LongParameterListPsf(std::size_t nameLength);

}  // namespace testing_support
