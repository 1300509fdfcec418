#include "batch_fixtures.h"

#include <zlib.h>

#include <algorithm>

#include "assets/driver_image.h"

namespace testing_support {

namespace {

void PutU16(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint16_t value) {
  bytes[offset] = static_cast<std::uint8_t>(value);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

constexpr std::size_t SMALL_VH_SIZE = 2592 + 512 * 1;
constexpr std::size_t SIZE_TABLE = 2080 + 512 * 1;
constexpr std::size_t MAX_PROGRAM_SIZE = 0x1F0800;

}  // namespace

std::vector<std::uint8_t> SmallVh() {
  std::vector<std::uint8_t> vh(SMALL_VH_SIZE, 0);
  const std::uint8_t header[32] = {
      'p',  'B',  'A',  'V',   // format identifier
      0x07, 0,    0,    0,     // format version
      0x00, 0,    0,    0,     // bank identifier
      0x38, 0x0C, 0,    0,     // total file size 3128
      0xEE, 0xEE,              // reserved
      0x01, 0x00,              // programCount 1
      0x01, 0x00,              // toneCount 1
      0x02, 0x00,              // sampleCount 2
      0x7F, 0x40, 0x00, 0x00,  // master volume, master pan, attributes
      0xAA, 0xBB, 0xCC, 0xDD,  // reserved
  };
  std::copy(std::begin(header), std::end(header), vh.begin());
  // Program 0: one tone, volume 0x7F, priority 8, mode 0, pan 0x40.
  const std::uint8_t program[16] = {0x01, 0x7F, 0x08, 0x00, 0x40, 0xFF, 0x00, 0x00,
                                    0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
  std::copy(std::begin(program), std::end(program), vh.begin() + 32);
  // Tone 0 of program 0: center note 60, fine tuning 0, notes 0-127, owned by program 0, sample number 1.
  const std::uint8_t tone[32] = {
      0x08, 0x00, 0x7F, 0x40, 60,   0x00, 0, 127,  // priority, mode, volume, pan, center, fine, low, high
      0,    0,    0,    0,    0x02, 0x02, 0, 0,    // vibrato, portamento, pitch bend, reserved
      0xFF, 0x80, 0xC0, 0x5F,                      // envelope settings 1 and 2
      0x00, 0x00,                                  // owning program 0
      0x01, 0x00,                                  // sample number 1
      0,    0,    0,    0,    0,    0,    0, 0,    // reserved
  };
  std::copy(std::begin(tone), std::end(tone), vh.begin() + 2080);
  PutU16(vh, SIZE_TABLE + 0, 0x1234);  // entry 0: never read
  PutU16(vh, SIZE_TABLE + 2, 2);       // sample 0: 16 bytes
  PutU16(vh, SIZE_TABLE + 4, 1);       // sample 1: 8 bytes
  PutU16(vh, SIZE_TABLE + 6, 0x0999);  // above sampleCount: never read
  return vh;
}

std::vector<std::uint8_t> SmallVhAsWritten() {
  std::vector<std::uint8_t> vh = SmallVh();
  PutU16(vh, SIZE_TABLE + 0, 0);
  PutU16(vh, SIZE_TABLE + 6, 0);
  return vh;
}

std::vector<std::uint8_t> SmallVb() {
  std::vector<std::uint8_t> vb = SmallVbAsWritten();
  for (std::uint8_t i = 0; i < 8; ++i) vb.push_back(static_cast<std::uint8_t>(0xE0 + i));
  return vb;
}

std::vector<std::uint8_t> SmallVbAsWritten() {
  std::vector<std::uint8_t> vb;
  for (std::uint8_t i = 0; i < 16; ++i) vb.push_back(static_cast<std::uint8_t>(0xA0 + i));  // sample 0
  for (std::uint8_t i = 0; i < 8; ++i) vb.push_back(static_cast<std::uint8_t>(0xC0 + i));   // sample 1
  return vb;
}

std::vector<std::uint8_t> SmallSeq() {
  return {
      'p',  'Q',  'E',  'S',   // identifier
      0x00, 0x00, 0x00, 0x01,  // version 1, big-endian
      0x01, 0xE0,              // resolution 480
      0x07, 0xA1, 0x20,        // tempo 500000 microseconds per beat
      0x04, 0x02,              // 4/4
      0x00, 0x90, 0x3C, 0x64,  // note on
      0x60, 0x3C, 0x00,        // running status note off after 96 ticks
      0x00, 0xFF, 0x2F, 0x00,  // end of track
  };
}

std::uint32_t GetU32(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes[offset]) | static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[offset + 2]) << 16 | static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

void PutU32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::optional<std::vector<std::uint8_t>> DecodeProgram(const std::vector<std::uint8_t>& psf) {
  if (psf.size() < 16 || psf[0] != 'P' || psf[1] != 'S' || psf[2] != 'F' || psf[3] != 0x01) return std::nullopt;
  if (GetU32(psf, 4) != 0) return std::nullopt;
  const std::uint32_t length = GetU32(psf, 8);
  if (length > psf.size() - 16) return std::nullopt;
  if (::crc32(0, psf.data() + 16, length) != GetU32(psf, 12)) return std::nullopt;
  std::vector<std::uint8_t> program(MAX_PROGRAM_SIZE);
  uLongf programLength = program.size();
  if (::uncompress(program.data(), &programLength, psf.data() + 16, length) != Z_OK) return std::nullopt;
  program.resize(programLength);
  return program;
}

std::vector<std::uint8_t> TagSection(const std::vector<std::uint8_t>& psf) {
  if (psf.size() < 16) return {};
  const std::uint32_t length = GetU32(psf, 8);
  if (length > psf.size() - 16) return {};
  return std::vector<std::uint8_t>(psf.begin() + 16 + length, psf.end());
}

std::size_t ProgramOffset(std::uint32_t address) { return PROGRAM_HEADER_SIZE + (address - PROGRAM_LOAD_ADDRESS); }

std::uint32_t ValueAt(const std::vector<std::uint8_t>& program, std::uint32_t address, int width) {
  const std::size_t offset = ProgramOffset(address);
  if (address < PROGRAM_LOAD_ADDRESS || offset + static_cast<std::size_t>(width) > program.size()) return 0xDEADDEAD;
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | program[offset + static_cast<std::size_t>(i)];
  return value;
}

std::vector<std::uint8_t> BytesAt(const std::vector<std::uint8_t>& program, std::uint32_t address, std::size_t count) {
  const std::size_t offset = ProgramOffset(address);
  if (address < PROGRAM_LOAD_ADDRESS || offset + count > program.size()) return {};
  return std::vector<std::uint8_t>(program.begin() + static_cast<std::ptrdiff_t>(offset),
                                   program.begin() + static_cast<std::ptrdiff_t>(offset + count));
}

std::vector<std::uint8_t> MakePsf(const std::vector<std::uint8_t>& program, const std::string& tags) {
  std::vector<std::uint8_t> compressed(::compressBound(program.size()));
  uLongf compressedLength = compressed.size();
  ::compress2(compressed.data(), &compressedLength, program.data(), program.size(), 9);
  compressed.resize(compressedLength);
  const std::uint32_t crc = static_cast<std::uint32_t>(::crc32(0, compressed.data(), compressed.size()));
  std::vector<std::uint8_t> psf = {'P', 'S', 'F', 0x01, 0, 0, 0, 0};
  for (const std::uint32_t word : {static_cast<std::uint32_t>(compressed.size()), crc})
    for (int i = 0; i < 4; ++i) psf.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
  psf.insert(psf.end(), compressed.begin(), compressed.end());
  psf.insert(psf.end(), tags.begin(), tags.end());
  return psf;
}

std::vector<std::uint8_t> BuiltinDriverExe() {
  std::vector<std::uint8_t> exe(assets::BuiltinDriverHeader().begin(), assets::BuiltinDriverHeader().end());
  exe.insert(exe.end(), assets::BuiltinDriverText().begin(), assets::BuiltinDriverText().end());
  return exe;
}

std::vector<std::uint8_t> LongParameterListPsf(std::size_t nameLength) {
  constexpr std::uint32_t ENTRIES = 65535;
  constexpr std::uint32_t LIST = 0x800225BC;
  constexpr std::uint32_t NAME = 0x800E2600;  // behind the list's 65,536 entries
  std::vector<std::uint8_t> exe = BuiltinDriverExe();
  nameLength = std::min<std::size_t>(nameLength, 65534);
  const std::size_t textSize = (NAME - PROGRAM_LOAD_ADDRESS) + nameLength + 1;
  exe.resize(PROGRAM_HEADER_SIZE + textSize, 0x00);
  PutU32(exe, 0x1C, static_cast<std::uint32_t>(textSize));
  for (std::uint32_t i = 0; i < ENTRIES; ++i) {
    const std::size_t entry = ProgramOffset(LIST + 12 * i);
    PutU32(exe, entry, NAME);
    PutU32(exe, entry + 4, 0x80100000u);
    PutU32(exe, entry + 8, 4);
  }
  PutU32(exe, ProgramOffset(LIST + 12 * ENTRIES), 0);  // the end of the list
  // The list runs over the built-in mute and parameter blocks: they move behind the name, where loading the
  // driver may write them.
  PutU32(exe, ProgramOffset(0x80022570 + 0x30), 0x80180000);
  PutU32(exe, ProgramOffset(0x80022570 + 0x38), 0x80180100);
  std::fill_n(exe.begin() + static_cast<std::ptrdiff_t>(ProgramOffset(NAME)), nameLength, std::uint8_t{'a'});
  return MakePsf(exe);
}

}  // namespace testing_support
