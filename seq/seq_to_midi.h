#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace seq {

// Standard MIDI File written for a SEQ (format 0, one track; numbers big-endian):
//   0  4  "MThd"            4  4  00 00 00 06       8  2  00 00 (format 0)    10  2  00 01 (one track)
//  12  2  division: the SEQ's resolution bytes
//  14  4  "MTrk"           18  4  track length = event-data length + 23
//  22  7  00 FF 51 03 + the SEQ's three tempo bytes                       (set tempo)
//  29  8  00 FF 58 04 + rhythm numerator, rhythm denominator, 18, 08      (time signature)
//  37  8  00 F0 05 7E 7F 09 01 F7                                         (General MIDI System On)
//  45  n  the SEQ's event data, from offset 15 up to and including the first 00 FF 2F 00
inline constexpr std::size_t MIDI_PREFIX_SIZE = 45;
inline constexpr std::uint32_t MIDI_INSERTED_EVENTS_SIZE = 23;

// Writes the MIDI file of an open SEQ to target, whole or not at all; every read is absolute. 1 when
// written; 0 (reason noted, nothing created) for a null file, a SEP, a file without 00 FF 2F 00, a file
// whose first 00 FF 2F 00 starts inside the 15-byte header, or an output that cannot be written.
int WriteMidiFromSeq(std::FILE* seqFile, const std::filesystem::path& target);

// Converts a SEQ to the MIDI file beside it (song.seq gives song.mid), replacing an existing one only by
// a complete new file. 1 when written, 0 (reason noted) otherwise.
int ConvertSeqToMidi(const std::filesystem::path& path);

}  // namespace seq
