#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "psf/song_settings.h"

namespace psf {

struct PsfBuilder;

// Fade the length tag asks for after a song that plays without end.
inline constexpr double ENDLESS_FADE_SECONDS = 10.0;
// The model stops at this much song time, or after this many events, and reports the song as endless.
inline constexpr std::uint64_t SONG_TIME_LIMIT_US = 24ull * 3600 * 1000000;
inline constexpr std::uint64_t SONG_EVENT_LIMIT = 5000000;
// How far the model goes before it gives up: SONG_TIME_LIMIT_US and SONG_EVENT_LIMIT unless a caller (a fuzz
// target, say) bounds the work more tightly.
struct SongLimits {
  std::uint64_t timeUs = SONG_TIME_LIMIT_US;
  std::uint64_t events = SONG_EVENT_LIMIT;
};
// A listing of a SEP's records stops after this many records, or once the records listed took the event limit.
inline constexpr std::size_t SEP_RECORDS_LISTED = 64;

// A loop the event data marks with controller 99 (value 20 at its start, 30 at its end).
struct LoopMark {
  std::uint64_t startTick = 0;  // ticks from the start of the data to the start mark
  std::uint64_t endTick = 0;    // to the end mark; 0 when the data holds none after the start
  std::uint32_t count = 0;      // the data entry after the start mark; 0 when none follows
  bool endless = false;         // count 0 or 127 and above: the loop end ends a pass and jumps back
};

// What the model found about one sequence the driver plays (one sequence slot).
struct SequenceFigures {
  bool fromSep = false;
  std::uint32_t sepId = 0;              // the SEP record played
  std::uint32_t resolution = 0;         // ticks per quarter note as played (Custom Tick Resolution applied)
  std::uint32_t tempo = 0;              // microseconds per quarter note at the start (Custom Tempo applied)
  std::uint16_t channelsWithNotes = 0;  // bit n: the data starts notes on channel n
  std::uint64_t events = 0;             // events in the data up to its end
  std::uint64_t firstPassTicks = 0;     // ticks the first pass took (Tick Skip included)
  std::vector<double> passEnds;         // seconds from the start at which each of its passes ended
  std::vector<LoopMark> loops;
};

enum class SongKind : std::uint8_t {
  None,      // nothing the driver plays at the sequence address
  Sequence,  // SEQ, or one or two records of a SEP
  Vag,       // a VAG sample
};

// The length of a song as the driver plays it, for the length and fade tags and a summary.
struct SongLength {
  SongKind kind = SongKind::None;
  bool endless = false;                    // plays without end: the length covers two passes and a fade follows
  std::uint64_t eventsPlayed = 0;          // events the model handled, passes and loops included
  bool reachedLimit = false;               // the model gave up at one of its limits
  double lengthSeconds = 0;                // song end plus release (or the end of the second pass when endless)
  double fadeSeconds = 0;                  // 0, or ENDLESS_FADE_SECONDS when endless
  double endSeconds = 0;                   // when the last pass ended (or the second, when endless)
  double releaseSeconds = 0;               // the part of the length after endSeconds: releases of the last notes
  double passSeconds = 0;                  // duration of the song's first pass
  std::vector<double> passEnds;            // seconds from the start at which each pass of the song ended
  std::uint32_t servicesPerSecond = 0;     // 0: one service per video frame
  std::vector<SequenceFigures> sequences;  // the sequences played, by slot
};

// The length of the song the driver would play: songArea holds RAM from the sequence address on (the driver
// reads a SEQ or SEP up to 256 KiB of it, a VAG up to the end of RAM), vh RAM from the VH address on (the
// tones' release envelopes; an empty span gives no releases). Bytes missing at the end of either span read
// as the end of the data.
SongLength ComputeSongLength(const SongSettings& settings, std::span<const std::uint8_t> songArea,
                             std::span<const std::uint8_t> vh, const SongLimits& limits = {});

// One record of a SEP and its length when played alone.
struct SepRecordLength {
  std::uint32_t id = 0;
  SongLength length;
};

// Every record of the SEP in songArea (up to SEP_RECORDS_LISTED, within the event limit in all), each played alone
// (Sequence Amount 1, its id as Sequence ID #1, the other settings as given), for a listing of a SEP's sequences; empty
// when songArea holds no SEP.
std::vector<SepRecordLength> ComputeSepRecordLengths(const SongSettings& settings,
                                                     std::span<const std::uint8_t> songArea,
                                                     std::span<const std::uint8_t> vh, const SongLimits& limits = {});

// The same for the builder's driver and the song placed in its image; a song of kind None when no driver is
// held or an address lies outside the RAM the driver accepts.
SongLength ComputeSongLength(const PsfBuilder& builder, const SongLimits& limits = {});

}  // namespace psf
