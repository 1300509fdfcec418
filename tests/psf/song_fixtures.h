// Songs with hand-written bytes for the song-length model and the host-run driver: each case holds the bytes
// placed at the sequence address, the parameter block as the driver reads it, and a one-tone bank whose
// release envelope the case picks.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace song_fixtures {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint32_t SEQ_AT = 0x800A0000;
inline constexpr std::uint32_t VH_AT = 0x800E0000;
inline constexpr std::uint32_t VB_AT = 0x80160000;
inline constexpr std::uint32_t PARAMETERS_AT = 0x800228A8;

// ADSR2 release settings (bit 5 exponential, bits 0-4 shift).
inline constexpr std::uint16_t RELEASE_LINEAR_10 = 0x000A;  // 16 a sample: 2048 samples
inline constexpr std::uint16_t RELEASE_LINEAR_13 = 0x000D;  // 8 every 4 samples: 16384 samples

// "pQES", version 1, resolution, tempo (24 bits), 4/4, then the events.
inline Bytes Seq(std::uint16_t resolution, std::uint32_t tempo, std::initializer_list<int> events) {
  Bytes seq = {'p',
               'Q',
               'E',
               'S',
               0,
               0,
               0,
               1,
               static_cast<std::uint8_t>(resolution >> 8),
               static_cast<std::uint8_t>(resolution),
               static_cast<std::uint8_t>(tempo >> 16),
               static_cast<std::uint8_t>(tempo >> 8),
               static_cast<std::uint8_t>(tempo),
               4,
               2};
  for (int b : events) seq.push_back(static_cast<std::uint8_t>(b));
  return seq;
}

// A SEP record: id, resolution, tempo, 4/4, data size, events.
inline void AppendSepRecord(Bytes& sep, std::uint16_t id, std::uint16_t resolution, std::uint32_t tempo,
                            std::initializer_list<int> events) {
  const auto size = static_cast<std::uint32_t>(events.size());
  const std::uint32_t id32 = id, resolution32 = resolution;
  for (std::uint32_t b : {id32 >> 8, id32, resolution32 >> 8, resolution32, tempo >> 16, tempo >> 8, tempo, 4u, 2u,
                          size >> 24, size >> 16, size >> 8, size})
    sep.push_back(static_cast<std::uint8_t>(b));
  for (int b : events) sep.push_back(static_cast<std::uint8_t>(b));
}

// A VH with program 0 holding one tone over every key on sample 1 (32 bytes), priority 64, ADSR1 0x80FF.
inline Bytes OneToneVh(std::uint16_t adsr2) {
  Bytes vh(32 + 2048 + 512 + 512, 0);
  vh[0] = 'p', vh[1] = 'B', vh[2] = 'A', vh[3] = 'V';
  vh[0x12] = 1;                                 // tone blocks
  vh[0x14] = 1;                                 // tones
  vh[0x16] = 1;                                 // samples
  vh[0x18] = 127, vh[0x19] = 64;                // bank volume, pan
  vh[0x20] = 1, vh[0x21] = 127, vh[0x24] = 64;  // program 0: one tone, volume, pan
  std::uint8_t* tone = &vh[0x820];
  tone[0] = 64;                               // priority
  tone[2] = 127, tone[3] = 64, tone[4] = 60;  // volume, pan, centre note
  tone[6] = 0, tone[7] = 127;                 // key range
  tone[16] = 0xFF, tone[17] = 0x80;           // ADSR1
  tone[18] = static_cast<std::uint8_t>(adsr2), tone[19] = static_cast<std::uint8_t>(adsr2 >> 8);
  tone[22] = 1;       // sample 1
  vh[0xA20 + 2] = 4;  // sample 1: 4 units of 8 bytes
  return vh;
}

// The 196-byte ParameterBlock, all zero (the driver's defaults) until set.
struct Parameters {
  std::array<std::uint8_t, 196> block{};
  Parameters& Set32(std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) block[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    return *this;
  }
  Parameters& Set16(std::size_t offset, std::uint16_t value) {
    block[offset] = static_cast<std::uint8_t>(value), block[offset + 1] = static_cast<std::uint8_t>(value >> 8);
    return *this;
  }
  Parameters& PlaybackAmount(std::uint32_t n) { return Set32(0x2C, n); }
  Parameters& AutomaticStop() { return Set32(0x40, 1); }
  Parameters& SequenceId(std::uint16_t id1, std::uint16_t id2 = 0) { return Set16(0x36, id1).Set16(0x38, id2); }
  Parameters& SequenceAmount(std::uint16_t n) { return Set16(0x3C, n); }
  Parameters& SepInTurn() { return Set32(0x1C, 1); }
  Parameters& TickMode(std::uint32_t mode) { return Set32(0xB4, mode); }
  Parameters& TickRate(std::uint32_t rate) { return Set32(0xBC, rate); }
  Parameters& CustomTempo(std::uint16_t bpm) { return Set32(0x98, 1).Set16(0xB0, bpm); }
  Parameters& Accelerando(std::uint32_t seconds, std::uint16_t bpm) { return Set32(0x9C, seconds).Set16(0xB0, bpm); }
  Parameters& TickSkip(std::uint8_t unit, std::uint16_t value) {
    block[0xC0] = unit;
    return Set32(0xAC, 1).Set16(0xC2, value);
  }
};

struct SongCase {
  std::string name;
  Bytes song;  // placed at SEQ_AT
  std::uint16_t release = RELEASE_LINEAR_10;
  Parameters parameters;
};

// Resolution 96, 120 bpm; a note held 100 ticks, then tempo 300,000 us and 50 ticks to the end; two passes.
inline SongCase TempoChangeSong() {
  return {"TempoChange",
          Seq(96, 500000,
              {0x00, 0x90, 60, 100,                 // note on
               0x64, 0x80, 60, 0,                   // 100 ticks: note off
               0x00, 0xFF, 0x51, 0x04, 0x93, 0xE0,  // tempo 300,000 us
               0x32, 0xFF, 0x2F, 0x00}),            // 50 ticks: end
          RELEASE_LINEAR_10, Parameters{}.PlaybackAmount(2)};
}

// Resolution 480, 120 bpm; 250 ticks of intro, then an endless loop of 500 ticks; Playback Amount 0.
inline SongCase EndlessLoopSong() {
  return {"EndlessLoop", Seq(480, 500000, {0x00, 0x90, 48,   100,      // intro note
                                           0x81, 0x7A, 0x80, 48,  0,   // 250 ticks: off
                                           0x00, 0xB0, 99,   20,       // loop start
                                           0x00, 6,    0,              // count 0: endless (running status)
                                           0x00, 0x90, 60,   100,      // loop note
                                           0x81, 0x7A, 60,   0,        // 250 ticks: off (running status)
                                           0x81, 0x7A, 0xB0, 99,  30,  // 250 ticks: loop end
                                           0x00, 0xFF, 0x2F, 0x00}),
          RELEASE_LINEAR_10, Parameters{}};
}

// A SEP of three records; Sequence ID #1 = 1 picks the 100 bpm one at resolution 96, a note of 190 ticks.
inline SongCase SepByIdSong() {
  Bytes sep = {'p', 'Q', 'E', 'S', 0, 0};
  AppendSepRecord(sep, 0, 480, 500000, {0x00, 0x90, 60, 100, 0x83, 0x60, 0xFF, 0x2F, 0x00});  // 480 ticks
  AppendSepRecord(sep, 1, 96, 600000,
                  {0x00, 0x90, 64, 100,                                                // note on
                   0x81, 0x3E, 0x80, 64, 0,                                            // 190 ticks: note off
                   0x00, 0xFF, 0x2F, 0x00});                                           // end
  AppendSepRecord(sep, 2, 96, 250000, {0x00, 0x90, 67, 100, 0x60, 0xFF, 0x2F, 0x00});  // 96 ticks
  return {"SepById", sep, RELEASE_LINEAR_10, Parameters{}.SequenceId(1).PlaybackAmount(1)};
}

// Resolution 480, 120 bpm; a note still held at the end after 1000 ticks; one pass with Automatic Stop.
inline SongCase AutomaticStopSong() {
  return {"AutomaticStop",
          Seq(480, 500000,
              {0x00, 0x90, 60, 100,             // note on, never off
               0x87, 0x68, 0xFF, 0x2F, 0x00}),  // 1000 ticks: end
          RELEASE_LINEAR_13, Parameters{}.PlaybackAmount(1).AutomaticStop()};
}

// Resolution 480, 120 bpm, 120 ticks a pass, three passes, 30 services a second.
inline SongCase TickRateSong() {
  return {"TickRate",
          Seq(480, 500000,
              {0x00, 0x90, 60, 100,  // note on
               0x78, 0x80, 60, 0,    // 120 ticks: off
               0x00, 0xFF, 0x2F, 0x00}),
          RELEASE_LINEAR_10, Parameters{}.PlaybackAmount(3).TickRate(30)};
}

// Resolution 96, 120 bpm and a tempo event to 250,000 us, both overridden by Custom Tempo 90 bpm; 100 ticks.
inline SongCase CustomTempoSong() {
  return {"CustomTempo",
          Seq(96, 500000,
              {0x00, 0xFF, 0x51, 0x03, 0xD0, 0x90,  // tempo 250,000 us (ignored)
               0x00, 0x90, 60, 100,                 // note on
               0x64, 0x80, 60, 0,                   // 100 ticks: off
               0x00, 0xFF, 0x2F, 0x00}),
          RELEASE_LINEAR_10, Parameters{}.PlaybackAmount(1).CustomTempo(90)};
}

// Checked against the driver only: an accelerando over 2 s toward 180 bpm, a Tick Skip of two quarter notes,
// two SEP records in turn at 240 services a second, an event budget and services per video frame.
inline SongCase AccelerandoSong() {
  return {"Accelerando",
          Seq(480, 500000,
              {0x00, 0x90, 60, 100,      // note on
               0x8F, 0x00, 0x80, 60, 0,  // 1920 ticks: off
               0x00, 0xFF, 0x2F, 0x00}),
          RELEASE_LINEAR_10, Parameters{}.PlaybackAmount(2).Accelerando(2, 180)};
}

inline SongCase TickSkipSong() {
  return {"TickSkip",
          Seq(96, 500000,
              {0x00, 0x90, 60, 100,             // note on (skipped)
               0x81, 0x00, 0x80, 60, 0,         // 128 ticks: off
               0x81, 0x00, 0xFF, 0x2F, 0x00}),  // 128 ticks: end
          RELEASE_LINEAR_10, Parameters{}.PlaybackAmount(2).TickSkip(1, 2)};
}

inline SongCase SepInTurnSong() {
  Bytes sep = {'p', 'Q', 'E', 'S', 0, 0};
  AppendSepRecord(sep, 0, 96, 500000, {0x00, 0x90, 60, 100, 0x50, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00});  // 80
  AppendSepRecord(sep, 1, 120, 400000, {0x00, 0x91, 64, 100, 0x6F, 0xFF, 0x2F, 0x00});                    // 111
  return {"SepInTurn", sep, RELEASE_LINEAR_10,
          Parameters{}.SequenceAmount(2).SequenceId(0, 1).SepInTurn().PlaybackAmount(2).TickMode(2)};
}

// 1100 controller events at tick 0, then the end 1 tick later: the driver handles 512 events a service.
inline SongCase EventBudgetSong() {
  Bytes seq = Seq(480, 500000, {0x00, 0xB0, 7, 100});
  for (int i = 1; i < 1100; ++i) seq.insert(seq.end(), {0x00, 7, 100});
  seq.insert(seq.end(), {0x01, 0xFF, 0x2F, 0x00});
  return {"EventBudget", seq, RELEASE_LINEAR_10, Parameters{}.PlaybackAmount(2)};
}

// 500 ticks at 120 bpm, two passes, one service per video frame.
inline SongCase VideoFrameSong() {
  return {"VideoFrame", Seq(480, 500000, {0x00, 0x90, 60, 100, 0x83, 0x74, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00}),
          RELEASE_LINEAR_10, Parameters{}.PlaybackAmount(2).TickMode(5)};
}

}  // namespace song_fixtures
