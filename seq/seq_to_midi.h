#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace seq {

// Standard MIDI File written for a SEQ (format 0, one track; numbers big-endian):
//   0  4  "MThd"            4  4  00 00 00 06       8  2  00 00 (format 0)    10  2  00 01 (one track)
//  12  2  division: the SEQ's resolution bytes
//  14  4  "MTrk"           18  4  track length = 23 + n, the bytes from 22 to the end of the file
//  22  7  00 FF 51 03 + the SEQ's three tempo bytes                       (set tempo)
//  29  8  00 FF 58 04 + rhythm numerator, rhythm denominator, 18, 08      (time signature)
//  37  8  00 F0 05 7E 7F 09 01 F7                                         (General MIDI System On)
//  45  n  the SEQ's events from offset 15, in standard form, ending with FF 2F 00 (see MidiFromSeq)
inline constexpr std::size_t MIDI_PREFIX_SIZE = 45;
inline constexpr std::uint32_t MIDI_INSERTED_EVENTS_SIZE = 23;

// The MIDI file for a SEQ's bytes; nullopt (reason noted) for a SEP, a SEQ shorter than its header or with
// 00 FF 2F 00 inside its header, or events that stop before an end of track. The events are read as the
// driver reads them and written in standard form: channel events and delta times as they stand (running
// status kept, data bytes by their low 7 bits); a tempo FF 51 t1 t2 t3, or a bare 51 t1 t2 t3 under the
// running meta status, as FF 51 03 t1 t2 t3; the status byte written out for a channel event after a meta;
// and the end of track, or any other meta or system event, which ends the track there, as FF 2F 00.
std::optional<std::vector<std::uint8_t>> MidiFromSeq(std::span<const std::uint8_t> seq);

// Writes the MIDI file of an open SEQ (all of it, whatever its position) to target, whole or not at all.
// 1 when written; 0 (reason noted, nothing created) for a null file, a SEQ MidiFromSeq refuses, or an
// output that cannot be written.
int WriteMidiFromSeq(std::FILE* seqFile, const std::filesystem::path& target);

// Converts a SEQ to the MIDI file beside it (song.seq gives song.mid), replacing an existing one only by
// a complete new file. 1 when written, 0 (reason noted) otherwise.
int ConvertSeqToMidi(const std::filesystem::path& path);

}  // namespace seq
