#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "vab/vab_bank.h"

namespace vab {

// Loads a VH file into the bank, replacing what it held. Bytes of VH parsed (2592 + 512 x programCount), or
// 0: unreadable file (bank unchanged), or a VH the parse refuses (bank empty).
std::size_t LoadVh(VabBank& bank, const std::filesystem::path& path);

// Loads a VB file into a bank that holds a VH and no VB. Bytes of VB taken (the sum of the sample sizes), or
// 0: unreadable file, no VH, or a VB already held (bank unchanged in each); a file shorter than the sizes
// (bank released); or simply no sample bytes to take (TryLoadVb tells this success apart).
std::size_t LoadVb(VabBank& bank, const std::filesystem::path& path);

// Loads a VAB file (a VH followed at once by its VB) into the bank. Bytes of VH and VB parsed, or 0:
// unreadable file (bank unchanged) or a VH or VB the parse refuses (bank empty). Bytes behind the last
// sample are ignored.
std::size_t LoadVab(VabBank& bank, const std::filesystem::path& path);

// The same loads with a status: nothing on failure (reason noted), so a caller can tell a failure from a
// successful load of nothing (a VB of a bank without samples).
std::optional<std::size_t> TryLoadVh(VabBank& bank, const std::filesystem::path& path);
std::optional<std::size_t> TryLoadVb(VabBank& bank, const std::filesystem::path& path);
std::optional<std::size_t> TryLoadVab(VabBank& bank, const std::filesystem::path& path);

// Writes the bank's VH at offset 0 of an open file, each piece at its absolute offset: header as read,
// program table, tone blocks, size table (entry 0 and the entries from sampleCount up written as 0).
// Bytes written (where a following VB begins), or 0 for a bank that holds no VH; a null file releases the
// bank and gives 0.
std::size_t WriteVh(std::FILE* file, VabBank& bank);

// Writes the bank's samples back to back from startOffset, without their end blocks. Bytes written, or 0
// when there is no file or the bank does not hold its VB (nothing is written from missing data).
std::size_t WriteVb(std::FILE* file, const VabBank& bank, std::size_t startOffset);

// Writes the bank as a VAB file (VH then VB), whole or not at all. Bytes written, or 0 and no file when the
// bank does not hold both VH and VB or the file cannot be written.
std::size_t WriteVab(VabBank& bank, const std::filesystem::path& path);

// The VH that WriteVh writes, as a new buffer; nothing for a bank that holds no VH.
std::optional<std::vector<std::uint8_t>> BuildVhImage(const VabBank& bank);

// The VB that WriteVb writes, as a new buffer; nothing for a bank that does not hold its VB. A bank whose
// samples are all empty gives an empty buffer.
std::optional<std::vector<std::uint8_t>> BuildVbImage(const VabBank& bank);

}  // namespace vab
