#pragma once

#include <filesystem>

#include "vab/vab_bank.h"

namespace vab {

// Writes the VH and VB parts of a VAB file beside it as DIR/BASE.vh and DIR/BASE.vb (lower-case extensions),
// using the bank, which is released afterwards. 1 when both files were written; 0 when the VAB cannot be
// read or refuses to parse (no file created), a part would replace the VAB itself (nothing read or written),
// or an output cannot be written (a VH already put in place stays).
int SplitVab(VabBank& bank, const std::filesystem::path& vabPath);

// Joins a VH file and a VB file into the VAB file vabPath, using the bank, which is released afterwards. The
// VH decides the layout: each non-empty sample takes exactly its size from the VB in order; VB bytes behind
// them are dropped. 1 when the VAB was written; 0 and no VAB when the VH or the VB cannot be read, the VB is
// shorter than the VH's sample sizes, the VAB is the same file as the VH or the VB (nothing read or written),
// or the VAB cannot be written.
int CombineVab(VabBank& bank, const std::filesystem::path& vabPath, const std::filesystem::path& vhPath,
               const std::filesystem::path& vbPath);

}  // namespace vab
