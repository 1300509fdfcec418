#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "seq/seq_format.h"

namespace seq {

// The SEQ file of one SEP record: the 15-byte SEQ header of version 1 carrying the record's resolution,
// tempo and rhythm bytes, then the record's event data.
std::vector<std::uint8_t> SeqFromSepRecord(const SepRecordHeader& header, std::span<const std::uint8_t> data);

// What a SEP splits into.
struct SepSplit {
  std::int32_t count = 0;                           // records counted, a cut last one included
  std::vector<std::vector<std::uint8_t>> seqFiles;  // the SEQ file of each complete record, in order
  bool cut = false;                                 // the last record counted runs past the end
};

// Splits a SEP held in memory (records as ScanSepRecords walks them); nothing when the bytes are not a SEP.
std::optional<SepSplit> SplitSepBytes(std::span<const std::uint8_t> sep);

// Writes seq as the file "<directory>/<baseName>NN.seq" of the target (NN the number, two digits at
// least), whole or not at all; false (reason noted) when it could not be written.
bool WriteSeqFile(std::int32_t number, std::span<const std::uint8_t> seq, const SepSplitTarget& target);

// Writes the split's SEQ files into the target in order (one that cannot be written does not stop the
// others), counting them in written; a file not written or a cut last record marks the target failed with
// the reason noted.
void WriteSepSplit(const SepSplit& split, SepSplitTarget& target);

// Splits a SEP into one SEQ per sequence beside it (music.sep gives music00.seq, music01.seq, ...),
// replacing existing files of those names. Sets count to the number of sequences found (0 when the file
// is not a SEP; untouched when it cannot be opened). True when every sequence found was written; false
// with the reason noted otherwise (the sequences before a bad one are still written).
bool ConvertSepToSeq(const std::filesystem::path& path, std::int32_t& count);

}  // namespace seq
