#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "seq/seq_format.h"

namespace seq {

// Writes one sequence of a SEP as the SEQ file "<directory>/<baseName>NN.seq" of the target (NN the
// record's 0-based position, two digits at least): the 15-byte SEQ header of version 1 carrying the
// record's resolution, tempo and rhythm bytes, then dataSize bytes of event data copied from the SEP at
// dataOffset. The file appears whole or not at all; false (reason noted) when it could not be written.
bool WriteSeqRecord(std::int32_t number, const SepRecordHeader& header, std::FILE* sepFile, std::int64_t dataOffset,
                    std::uint32_t dataSize, const SepSplitTarget& target);

// Splits a SEP into one SEQ per sequence beside it (music.sep gives music00.seq, music01.seq, ...),
// replacing existing files of those names. Sets count to the number of sequences found (0 when the file
// is not a SEP; untouched when it cannot be opened). True when every sequence found was written; false
// with the reason noted otherwise (the sequences before a bad one are still written).
bool ConvertSepToSeq(const std::filesystem::path& path, std::int32_t& count);

}  // namespace seq
