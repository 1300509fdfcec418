#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace seq {

// Every multi-byte number of both layouts is big-endian. The event data behind the headers is close to a
// Standard MIDI File track body (delta time first, end of track last); seq_events reads it.

inline constexpr std::size_t SEQ_HEADER_SIZE = 15;
inline constexpr std::size_t SEP_RECORD_HEADER_SIZE = 13;
inline constexpr std::int64_t SEP_FIRST_RECORD_OFFSET = 6;
inline constexpr std::uint32_t SEQ_VERSION = 1;
inline constexpr std::array<std::uint8_t, 4> SEQ_MAGIC{'p', 'Q', 'E', 'S'};
// A zero delta time followed by the end-of-track meta event: where a sequence's event data ends.
inline constexpr std::array<std::uint8_t, 4> END_OF_TRACK_MARKER{0x00, 0xFF, 0x2F, 0x00};

// SEQ header, 15 bytes:
//   0  4  magic "pQES" (written, never checked on reading)
//   4  4  version (1 when written)
//   8  2  resolution, ticks per quarter note
//  10  3  tempo, microseconds per quarter note
//  13  1  rhythm numerator
//  14  1  rhythm denominator, as a power-of-two exponent
struct SeqHeader {
  std::array<std::uint8_t, 4> magic{};
  std::uint32_t version = 0;
  std::uint16_t resolution = 0;
  std::uint32_t tempo = 0;  // 24 bits
  std::uint8_t rhythmNumerator = 0;
  std::uint8_t rhythmDenominator = 0;
};

// Header of one sequence inside a SEP, 13 bytes, followed by dataSize bytes of event data:
//   0  2  sequence number (0 for the first record, one more for each after it)
//   2  2  resolution          } byte for byte the SEQ header's bytes 8 to 14
//   4  3  tempo               }
//   7  1  rhythm numerator    }
//   8  1  rhythm denominator  }
//   9  4  data size
// A SEP is "pQES", a 2-byte version 0, then the records back to back from offset 6 to the end of the file.
struct SepRecordHeader {
  std::uint16_t sequenceNumber = 0;
  std::uint16_t resolution = 0;
  std::uint32_t tempo = 0;  // 24 bits
  std::uint8_t rhythmNumerator = 0;
  std::uint8_t rhythmDenominator = 0;
  std::uint32_t dataSize = 0;
};

// Decodes the first 15 bytes; bytes the span does not hold read as zero.
SeqHeader DecodeSeqHeader(std::span<const std::uint8_t> bytes);
// The 15 header bytes of the record's sequence as a SEQ file of version 1.
std::array<std::uint8_t, SEQ_HEADER_SIZE> EncodeSeqHeader(const SepRecordHeader& record);
// Decodes the first 13 bytes; bytes the span does not hold read as zero.
SepRecordHeader DecodeSepRecordHeader(std::span<const std::uint8_t> bytes);

// One record of a SEP: its header and where its event data begins in the SEP's bytes.
struct SepRecord {
  SepRecordHeader header;
  std::size_t dataOffset = 0;
};

// The records of a SEP in file order: every record counted, a last one that runs past the end included.
struct SepLayout {
  std::vector<SepRecord> records;
  bool cut = false;  // the last record's header or data runs past the end of the bytes
};

// Walks the records of a SEP held in memory. Nothing when the bytes are not a SEP (bytes 4 to 7 are not
// four zero bytes: a SEQ has its version there). Otherwise the records from offset 6 whose sequence
// numbers follow on from 0 (16-bit, wrapping), at most INT32_MAX of them; a record whose header or data
// runs past the end (its missing bytes read as zero) is counted and ends the walk.
std::optional<SepLayout> ScanSepRecords(std::span<const std::uint8_t> sep);

// Where a writing scan puts its SEQ files, "<directory>/<baseName>NN.seq", and what became of them.
struct SepSplitTarget {
  std::string directory;
  std::string baseName;
  std::int32_t written = 0;  // SEQ files written
  bool failed = false;       // some accepted sequence could not be written (reason noted)
};

// Walks the sequences of a SEP stream (read whole; its position does not matter) as ScanSepRecords does.
// Returns 0 (count untouched) for a null stream or one that is not a SEP; otherwise sets count to the
// number of records and returns it. With a target, the sequences are written into it (WriteSepSplit);
// with none, nothing is written.
std::int32_t ScanSepSequences(std::FILE* file, std::int32_t& count, SepSplitTarget* write);

// Offset of the first 00 FF 2F 00 anywhere in the file, header included; -1 when there is none.
std::int32_t FindEndOfTrack(std::FILE* file);

}  // namespace seq
