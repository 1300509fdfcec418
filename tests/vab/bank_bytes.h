#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

// Sound-bank bytes written out field by field in the tests, independently of the code under test.
// VH: header 32 | program table 2048 | 512 per program | size table 512, numbers little-endian.
namespace vab_testing {

using Bytes = std::vector<std::uint8_t>;

inline void Put(Bytes& bytes, std::size_t offset, std::initializer_list<std::uint8_t> values) {
  for (std::uint8_t value : values) bytes.at(offset++) = value;
}

inline std::uint8_t Lo(unsigned value) { return static_cast<std::uint8_t>(value & 0xFF); }
inline std::uint8_t Hi(unsigned value) { return static_cast<std::uint8_t>((value >> 8) & 0xFF); }

// Offsets of the pieces, spelled out rather than taken from the library.
constexpr std::size_t TONES_AT = 2080;
inline std::size_t TableAt(unsigned programs) { return 2080 + 512 * programs; }
inline std::size_t ToneAt(unsigned program, unsigned tone) { return TONES_AT + 512 * program + 32 * tone; }

// A VH of the right length for its program count, with the three counts set and a recognisable header:
// "pBAV", version 7, bank id 0, a file size that nobody recomputes (0x11223344), master volume 0x7F,
// pan 0x40, attributes 0xA1 0xA2, reserved bytes 0xEE.
inline Bytes MakeVh(unsigned programs, unsigned tones, unsigned samples) {
  Bytes vh(2592 + 512 * programs, 0);
  Put(vh, 0x00, {'p', 'B', 'A', 'V'});          // format identifier
  Put(vh, 0x04, {0x07, 0x00, 0x00, 0x00});      // version
  Put(vh, 0x0C, {0x44, 0x33, 0x22, 0x11});      // total file size (carried)
  Put(vh, 0x10, {0xEE, 0xEE});                  // reserved
  Put(vh, 0x12, {Lo(programs), Hi(programs)});  // programCount
  Put(vh, 0x14, {Lo(tones), Hi(tones)});        // toneCount
  Put(vh, 0x16, {Lo(samples), Hi(samples)});    // sampleCount
  Put(vh, 0x18, {0x7F, 0x40, 0xA1, 0xA2});      // master volume, pan, attributes
  Put(vh, 0x1C, {0xEE, 0xEE, 0xEE, 0xEE});      // reserved
  // Program records carry something recognisable: number of tones and volume of program p.
  for (unsigned p = 0; p < 128; ++p) Put(vh, 32 + 16 * p, {static_cast<std::uint8_t>(p % 16 + 1), 0x64});
  return vh;
}

// Tone t of program p: center note 60, the fine tuning, and the sample number (sample index + 1, s16).
inline void SetTone(Bytes& vh, unsigned program, unsigned tone, std::uint8_t fineTuning, int sampleNumber) {
  const std::size_t at = ToneAt(program, tone);
  Put(vh, at + 4, {60, fineTuning});  // center note, fine tuning
  const auto number = static_cast<unsigned>(static_cast<std::uint16_t>(sampleNumber));
  Put(vh, at + 22, {Lo(number), Hi(number)});
}

// Size entry of sample index (entry index + 1), in 8-byte units.
inline void SetSize(Bytes& vh, unsigned programs, unsigned sampleIndex, unsigned units) {
  Put(vh, TableAt(programs) + 2 + 2 * sampleIndex, {Lo(units), Hi(units)});
}

// count bytes of sample data: 0x10 * (sample + 1) + byte position, so samples are told apart.
inline Bytes SampleBytes(unsigned sample, std::size_t count) {
  Bytes data(count);
  for (std::size_t i = 0; i < count; ++i) data[i] = static_cast<std::uint8_t>(0x10 * (sample + 1) + i);
  return data;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

inline const Bytes END_BLOCK = {0x00, 0x07, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77,
                                0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77};

}  // namespace vab_testing
