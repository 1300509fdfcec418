#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "vab/vab_bank.h"

namespace vab {

// VAG header (64 bytes, numbers big-endian):
//   0   4   "VAGp"
//   4   4   version 0x20
//   12  4   data size: the sample's byteSize (its VB bytes plus the 16-byte end block)
//   16  4   sample rate in Hz: the rate at which the driver plays the sample at its tone's centre note
//   32  16  name: the output's base name, cut to 16 bytes, zero-padded, no terminator
//   (every other byte zero), then the sample's bytes and the end block.
//
// The bytes of a VAG file holding sample index of a loaded bank, with name in its name field: the header
// and the sample's data. Nothing (reason noted) when the bank is not loaded, index is not one of its
// samples, or the sample's data is missing.
std::optional<std::vector<std::uint8_t>> MakeVagBytes(const VabBank& bank, int index, std::string_view name);

// Writes sample index of a loaded bank as a VAG file at vagPath, whole or not at all. 1 when written; 0 when
// the bank is not loaded, index is not one of its samples, the sample's data is missing, or the file cannot
// be written.
// The name field holds the file's base name.
int ExtractVag(const VabBank& bank, const std::filesystem::path& vagPath, int index);

// What extracting every sample of a VAB did: whether it loaded, how many samples it holds, how many were written.
struct VagExtraction {
  bool loaded = false;
  int sampleCount = 0;
  int written = 0;
};

// ExtractAllVags, telling what it did.
VagExtraction ExtractVagsBeside(VabBank& bank, const std::filesystem::path& vabPath);

// Loads the VAB into the bank and writes every sample as DIR/BASENN.vag beside it (NN the index from 00;
// three digits from 100), then releases the bank. A sample that cannot be written does not stop the others;
// a VAB that cannot be read writes nothing. The reason of the last failure is noted.
void ExtractAllVags(VabBank& bank, const std::filesystem::path& vabPath);

}  // namespace vab
