#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "vab/vab_bank.h"

namespace vab {

// The two parts of a VAB, as SPLIT writes them.
struct VabParts {
  std::vector<std::uint8_t> vh;  // the VH as WriteVh writes it
  std::vector<std::uint8_t> vb;  // the samples back to back, as WriteVb writes them
};

// The VH and VB parts of a VAB held in memory; nothing (reason noted) when its VH or VB does not parse.
// Bytes behind the last sample are dropped.
std::optional<VabParts> SplitVabBytes(std::span<const std::uint8_t> vab);

// The VAB that joins a VH and a VB held in memory, as COMBINE writes it: the VH decides the layout, each
// non-empty sample taking exactly its size from the VB in order (VB bytes behind them dropped). Nothing
// (reason noted) when the VH does not parse or the VB is shorter than its sample sizes.
std::optional<std::vector<std::uint8_t>> CombineVabBytes(std::span<const std::uint8_t> vh,
                                                         std::span<const std::uint8_t> vb);

// Writes the VH and VB parts of a VAB file beside it as DIR/BASE.vh and DIR/BASE.vb (lower-case extensions),
// as SplitVabBytes makes them; the bank is released. 1 when both files were written; 0 when the VAB cannot be
// read or refuses to parse (no file created), a part would replace the VAB itself (nothing read or written),
// or an output cannot be written (a VH already put in place stays).
int SplitVab(VabBank& bank, const std::filesystem::path& vabPath);

// Joins a VH file and a VB file into the VAB file vabPath, as CombineVabBytes does; the bank is released. The
// VH decides the layout: each non-empty sample takes exactly its size from the VB in order; VB bytes behind
// them are dropped. 1 when the VAB was written; 0 and no VAB when the VH or the VB cannot be read, the VB is
// shorter than the VH's sample sizes, the VAB is the same file as the VH or the VB (nothing read or written),
// or the VAB cannot be written.
int CombineVab(VabBank& bank, const std::filesystem::path& vabPath, const std::filesystem::path& vhPath,
               const std::filesystem::path& vbPath);

}  // namespace vab
