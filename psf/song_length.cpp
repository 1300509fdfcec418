#include "psf/song_length.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

#include "core/byte_io.h"
#include "psf/played_sequences.h"
#include "psf/psf_builder.h"
#include "psf/ram_image.h"
#include "psf/service_clock.h"
#include "psf/tone_releases.h"
#include "seq/seq_events.h"

namespace psf {

namespace {

// What the driver's sequencer does, restated on events read once: the same tick accumulator, event budget,
// pass ends, loops and voice releases, at the service times of ServiceClock.
constexpr std::uint32_t EVENTS_PER_SERVICE = 512;
constexpr std::uint32_t EVENTS_FOR_SKIP = 200000;
constexpr std::uint32_t ACC_LIMIT = 0x40000000;
constexpr std::uint32_t STEP_LIMIT_US = 16000;
constexpr std::uint32_t CHANNELS = 16;
constexpr std::size_t VOICES = 24;
constexpr std::uint32_t SLOTS = 2;
constexpr double US_PER_SECOND = 1e6;

constexpr std::uint32_t DEFAULT_RESOLUTION = 480;
constexpr std::uint32_t DEFAULT_TEMPO = 500000;
constexpr std::uint32_t TEMPO_MIN = 1000;
constexpr std::uint32_t TEMPO_MAX = 0xFFFFFF;

// VAG: "VAGp", big-endian data size at +0x0C and sample rate at +0x10, ADPCM blocks from +0x30.
constexpr std::size_t VAG_DATA = 0x30;
constexpr std::size_t VAG_MINIMUM = 0x40;
constexpr std::uint32_t VAG_RATE_LIMIT = 176400;
constexpr std::uint32_t SPU_RAM_SIZE = 0x80000;
constexpr std::uint32_t SPU_SAMPLES = 0x1010;
constexpr std::uint32_t SAMPLES_PER_BLOCK = 28;
constexpr std::uint32_t VAG_PASS_LIMIT_MS = 4000000;
constexpr std::uint32_t VAG_PASS_EXTRA_US = 20000;  // the driver lets a pass run 20 ms past the sample

bool HasMagic(std::span<const std::uint8_t> bytes, const char (&magic)[5]) {
  for (std::size_t i = 0; i < 4; ++i)
    if (core::LoadU8(bytes, i) != static_cast<std::uint8_t>(magic[i])) return false;
  return true;
}

double Seconds(std::uint64_t us) { return static_cast<double>(us) / US_PER_SECOND; }

std::vector<double> SecondsOf(const std::vector<std::uint64_t>& us) {
  std::vector<double> out;
  out.reserve(us.size());
  for (std::uint64_t t : us) out.push_back(Seconds(t));
  return out;
}

// ---- Event data --------------------------------------------------------------------------------------------

enum class Op : std::uint8_t { Other, NoteOn, NoteOff, Controller, Program, Tempo, End };

// 8 bytes an event: a tempo keeps its 24 bits in channel, a and b.
struct Event {
  std::uint32_t delta = 0;
  Op op = Op::Other;
  std::uint8_t channel = 0, a = 0, b = 0;

  std::uint32_t tempo() const { return (std::uint32_t{channel} << 16) | (std::uint32_t{a} << 8) | b; }
};

struct Track {
  std::vector<Event> events;  // always ends with an End
  std::uint32_t resolution = DEFAULT_RESOLUTION;
  std::uint32_t headerTempo = DEFAULT_TEMPO;
  SequenceFigures figures;
};

Event Convert(const seq::SeqEvent& e) {
  Event out;
  out.delta = e.delta;
  out.channel = e.channel();
  out.a = e.data[0];
  out.b = e.data[1];
  switch (e.kind) {
    case seq::SeqEventKind::Tempo: {
      const std::uint32_t tempo = std::clamp(e.tempo(), TEMPO_MIN, TEMPO_MAX);
      out.op = Op::Tempo;
      out.channel = static_cast<std::uint8_t>(tempo >> 16);
      out.a = static_cast<std::uint8_t>(tempo >> 8);
      out.b = static_cast<std::uint8_t>(tempo);
      return out;
    }
    case seq::SeqEventKind::EndOfTrack:
    case seq::SeqEventKind::TrackCut:
      out.op = Op::End;
      return out;
    case seq::SeqEventKind::Channel:
      break;
  }
  switch (e.status >> 4) {
    case 0x8:
      out.op = Op::NoteOff;
      break;
    case 0x9:
      out.op = e.data[1] != 0 ? Op::NoteOn : Op::NoteOff;
      break;
    case 0xB:
      out.op = Op::Controller;
      break;
    case 0xC:
      out.op = Op::Program;
      break;
    default:
      break;
  }
  return out;
}

// Loop marks as written: a start (99 = 20), the count of the data entry after it, the end (99 = 30).
void NoteLoopMark(std::vector<LoopMark>& loops, bool& awaitingCount, const Event& e, std::uint64_t tick) {
  if (e.op != Op::Controller) return;
  if (e.a == seq::LOOP_MARK_CONTROLLER && e.b == seq::LOOP_START_MARK) {
    loops.push_back({tick, 0, 0, true});
    awaitingCount = true;
  } else if (e.a == seq::LOOP_COUNT_CONTROLLER && awaitingCount) {
    awaitingCount = false;
    loops.back().count = e.b;
    loops.back().endless = e.b == 0 || e.b >= 127;
  } else if (e.a == seq::LOOP_MARK_CONTROLLER && e.b == seq::LOOP_END_MARK && !loops.empty() &&
             loops.back().endTick == 0) {
    loops.back().endTick = tick;
  }
}

// Reads the event data once. Where the reader stops before an end of track (data cut short, a delta time
// too long, data without a status), the driver ends the pass there too: an End with no delta stands in.
Track ReadTrack(std::span<const std::uint8_t> data, std::span<const std::uint8_t> header,
                const SongSettings& settings) {
  Track track;
  std::uint32_t resolution = core::LoadU16Be(header, 0);
  std::uint32_t tempo = core::LoadU24Be(header, 2);
  if (settings.customResolution != 0) resolution = settings.customResolution;
  if (resolution == 0) resolution = DEFAULT_RESOLUTION;
  if (tempo == 0) tempo = DEFAULT_TEMPO;
  if (settings.customTempo && settings.customTempoValue != 0) tempo = 60000000u / settings.customTempoValue;
  track.resolution = std::clamp<std::uint32_t>(resolution, 1, 0xFFFF);
  track.headerTempo = std::clamp(tempo, TEMPO_MIN, TEMPO_MAX);
  track.figures.resolution = track.resolution;
  track.figures.tempo = track.headerTempo;

  seq::SeqEvent e;
  std::size_t count = 0;
  for (seq::SeqEventReader counter(data); counter.Next(e);) ++count;
  track.events.reserve(count + 1);
  seq::SeqEventReader reader(data);
  bool awaitingCount = false;
  while (reader.Next(e)) {
    const Event event = Convert(e);
    track.events.push_back(event);
    ++track.figures.events;
    if (event.op == Op::NoteOn) track.figures.channelsWithNotes |= static_cast<std::uint16_t>(1u << event.channel);
    NoteLoopMark(track.figures.loops, awaitingCount, event, e.tick);
  }
  if (track.events.empty() || track.events.back().op != Op::End) track.events.push_back(Event{0, Op::End});
  return track;
}

// The sequences the driver finds at the sequence address: one for a SEQ, one or two records of a SEP.
std::vector<Track> FindTracks(std::span<const std::uint8_t> songArea, const SongSettings& settings) {
  std::vector<Track> tracks;
  for (const PlayedSequence& sequence : FindPlayedSequences(settings, songArea)) {
    Track track = ReadTrack(sequence.events, sequence.header, settings);
    track.figures.fromSep = sequence.fromSep;
    track.figures.sepId = sequence.sepId;
    tracks.push_back(std::move(track));
  }
  return tracks;
}

// ---- Voices ------------------------------------------------------------------------------------------------

enum class VoiceState : std::uint8_t { On, Sustained, Releasing };

struct Voice {
  std::uint8_t slot = 0, channel = 0, note = 0, priority = 0;
  VoiceState state = VoiceState::On;
  std::uint32_t releaseUs = 0;
  std::uint64_t order = 0;       // when keyed on or off, for the stealing order
  std::uint64_t releaseEnd = 0;  // while releasing: when the envelope reaches zero
};

// The 24 voices as far as the length needs them: which tones still sound and when their releases end.
class Voices {
 public:
  Voices(const BankTones& bank, const SongSettings& settings) : m_bank(bank), m_settings(settings) {}

  void NoteOn(std::uint32_t slot, std::uint32_t channel, std::uint32_t program, std::uint32_t note, std::uint64_t now,
              std::uint64_t service) {
    if ((m_settings.muteMask >> channel) & 1u) return;
    for (const ToneRelease& tone : m_bank.programs[program & 127u]) {
      if (note < tone.low || note > tone.high) continue;
      const std::uint8_t priority = m_settings.highPriority ? 127 : tone.priority;
      Voice* voice = Allocate(priority, now);
      if (voice == nullptr) continue;
      *voice = Voice{static_cast<std::uint8_t>(slot),
                     static_cast<std::uint8_t>(channel),
                     static_cast<std::uint8_t>(note),
                     priority,
                     VoiceState::On,
                     tone.releaseUs,
                     service,
                     0};
    }
  }

  void NoteOff(std::uint32_t slot, std::uint32_t channel, std::uint32_t note, bool sustain, std::uint64_t now,
               std::uint64_t service) {
    for (Voice& v : m_voices) {
      if (v.slot != slot || v.channel != channel || v.note != note || v.state != VoiceState::On) continue;
      if (sustain) {
        v.state = VoiceState::Sustained;
      } else {
        KeyOff(v, now, service);
      }
    }
  }

  // Keys off the voices of a channel (all channels for channel < 0) in the given states.
  void Release(std::uint32_t slot, int channel, bool held, bool sustained, std::uint64_t now, std::uint64_t service) {
    for (Voice& v : m_voices) {
      if (v.slot != slot || (channel >= 0 && v.channel != channel)) continue;
      if ((held && v.state == VoiceState::On) || (sustained && v.state == VoiceState::Sustained))
        KeyOff(v, now, service);
    }
  }

  // When the last sound ends if every voice still held is keyed off at now.
  std::uint64_t SilentAt(std::uint64_t now) const {
    std::uint64_t end = now;
    for (const Voice& v : m_voices)
      end = std::max(end, v.state == VoiceState::Releasing ? v.releaseEnd : now + v.releaseUs);
    return end;
  }

 private:
  static void KeyOff(Voice& v, std::uint64_t now, std::uint64_t service) {
    v.state = VoiceState::Releasing;
    v.order = service;
    v.releaseEnd = now + v.releaseUs;
  }

  // A free voice; else the releasing voice keyed off first; else the sounding voice of the lowest priority
  // not above the new tone's, the oldest among equals; else none, and the note is dropped.
  Voice* Allocate(std::uint8_t priority, std::uint64_t now) {
    std::erase_if(m_voices, [&](const Voice& v) { return v.state == VoiceState::Releasing && v.releaseEnd <= now; });
    if (m_voices.size() < VOICES) return &m_voices.emplace_back();
    Voice* best = nullptr;
    for (Voice& v : m_voices) {
      if (v.state != VoiceState::Releasing) continue;
      if (best == nullptr || v.order < best->order) best = &v;
    }
    if (best != nullptr) return best;
    for (Voice& v : m_voices) {
      if (v.priority > priority) continue;
      if (best == nullptr || v.priority < best->priority || (v.priority == best->priority && v.order < best->order))
        best = &v;
    }
    return best;
  }

  const BankTones& m_bank;
  const SongSettings& m_settings;
  std::vector<Voice> m_voices;
};

// ---- Sequencer ---------------------------------------------------------------------------------------------

struct Slot {
  const Track* track = nullptr;
  bool active = false;
  std::size_t pos = 0, next = 0;
  std::uint32_t wait = 0, tempo = DEFAULT_TEMPO, acc = 0;
  bool loopSet = false, loopAwaitCount = false, jumped = false, lastPassSilent = false;
  std::uint32_t loopCount = 0;
  std::size_t loopPos = 0;
  std::uint64_t loopTick = 0, tick = 0, ticksThisPass = 0;
  std::uint32_t passes = 0;
  std::array<std::uint8_t, CHANNELS> program{};
  std::array<bool, CHANNELS> sustain{};
  std::vector<std::uint64_t> passEnds;
  std::uint64_t firstPassTicks = 0;
  std::uint64_t finishedAt = 0;
};

class Sequencer {
 public:
  Sequencer(const std::vector<Track>& tracks, const SongSettings& settings, const BankTones& bank)
      : m_settings(settings), m_voices(bank, settings) {
    m_slotCount = static_cast<std::uint32_t>(std::min<std::size_t>(tracks.size(), SLOTS));
    m_inTurn = m_slotCount == 2 && settings.sepInTurn;
    for (std::uint32_t i = 0; i < m_slotCount; ++i) {
      m_slots[i].track = &tracks[i];
      m_slots[i].active = !(m_inTurn && i == 1);
      if (m_slots[i].active) Rewind(m_slots[i]);
    }
    if (settings.tickSkip && settings.tickSkipValue != 0) {
      for (std::uint32_t i = 0; i < m_slotCount; ++i)
        if (m_slots[i].active)
          Skip(m_slots[i], settings.tickSkipValue * (settings.tickSkipUnit != 0 ? tracks[i].resolution : 1u));
    }
  }

  // One service that advances the song by dt microseconds of song time at song clock now.
  void Service(std::uint32_t dt, std::uint64_t now, std::uint64_t service) {
    m_now = now;
    m_service = service;
    if (m_inTurn) {
      const int current = m_slots[0].active ? 0 : (m_slots[1].active ? 1 : -1);
      if (current < 0) return;
      Advance(m_slots[current], dt);
      // The other sequence took over: it starts within this service.
      if (!m_slots[current].active && m_slots[current ^ 1].active) Advance(m_slots[current ^ 1], 0);
      return;
    }
    for (std::uint32_t i = 0; i < m_slotCount; ++i)
      if (m_slots[i].active) Advance(m_slots[i], dt);
  }

  // Song time until the next event of a playing sequence falls due; 0 when one is due now, nothing when no
  // sequence plays.
  std::optional<std::uint64_t> TimeToNextEvent() const {
    std::optional<std::uint64_t> soonest;
    for (std::uint32_t i = 0; i < m_slotCount; ++i) {
      const Slot& s = m_slots[i];
      if (!s.active) continue;
      const std::uint64_t owed = std::uint64_t{s.wait} * s.tempo;
      const std::uint64_t need = owed > s.acc ? (owed - s.acc + s.track->resolution - 1) / s.track->resolution : 0;
      soonest = soonest ? std::min(*soonest, need) : need;
    }
    return soonest;
  }

  // Advances every playing sequence by dt song microseconds in which, as TimeToNextEvent promises, no
  // event falls due: the same ticks the driver counts over the services in between.
  void Coast(std::uint64_t dt) {
    for (std::uint32_t i = 0; i < m_slotCount; ++i) {
      Slot& s = m_slots[i];
      if (!s.active) continue;
      const std::uint64_t acc = s.acc + dt * s.track->resolution;
      const auto due = static_cast<std::uint32_t>(std::min<std::uint64_t>(acc / s.tempo, s.wait));
      s.wait -= due;
      s.acc = static_cast<std::uint32_t>(acc - std::uint64_t{due} * s.tempo);
      Count(s, due);
    }
  }

  bool Playing() const {
    for (std::uint32_t i = 0; i < m_slotCount; ++i)
      if (m_slots[i].active) return true;
    return false;
  }

  // True once every sequence still playing has finished two passes (of the pair, when in turn).
  bool TwoPassesPlayed() const {
    if (m_inTurn) return m_groupPassEnds.size() >= 2;
    for (std::uint32_t i = 0; i < m_slotCount; ++i)
      if (m_slots[i].active && m_slots[i].passes < 2) return false;
    return true;
  }

  // The song's pass ends: of the pair when in turn, else of the sequence whose passes end last.
  const std::vector<std::uint64_t>& SongPassEnds() const {
    if (m_inTurn) return m_groupPassEnds;
    const Slot* latest = &m_slots[0];
    for (std::uint32_t i = 1; i < m_slotCount; ++i)
      if (!m_slots[i].passEnds.empty() &&
          (latest->passEnds.empty() || m_slots[i].passEnds.back() > latest->passEnds.back()))
        latest = &m_slots[i];
    return latest->passEnds;
  }

  std::uint64_t FinishedAt() const {
    std::uint64_t end = 0;
    for (std::uint32_t i = 0; i < m_slotCount; ++i) end = std::max(end, m_slots[i].finishedAt);
    return end;
  }

  std::uint64_t SilentAt(std::uint64_t now) const { return m_voices.SilentAt(now); }
  std::uint64_t events() const { return m_events; }
  std::uint32_t slotCount() const { return m_slotCount; }
  const Slot& slot(std::uint32_t i) const { return m_slots[i]; }

 private:
  bool MorePasses(std::uint32_t passes) const {
    return m_settings.playbackAmount == 0 || passes < m_settings.playbackAmount;
  }

  std::uint32_t SlotIndex(const Slot& s) const { return &s == &m_slots[0] ? 0 : 1; }

  static void Count(Slot& s, std::uint64_t ticks) {
    s.tick += ticks;
    s.ticksThisPass += ticks;
  }

  void Rewind(Slot& s) {
    s.pos = 0;
    s.loopSet = s.loopAwaitCount = false;
    s.tempo = s.track->headerTempo;
    s.ticksThisPass = 0;
    s.program.fill(0);
    s.sustain.fill(false);
    s.wait = s.track->events[0].delta;
  }

  void ReleaseAll(Slot& s) { m_voices.Release(SlotIndex(s), -1, true, true, m_now, m_service); }

  void Finish(Slot& s) {
    s.active = false;
    s.finishedAt = m_now;
    if (m_settings.automaticStop) ReleaseAll(s);
  }

  // The end of one pass: the end of the data, or the jump back of an endless loop.
  void PassEnd(Slot& s, bool loopJump) {
    const bool silentPass = s.ticksThisPass == 0;
    s.jumped = true;
    if (++s.passes == 1) s.firstPassTicks = s.ticksThisPass;
    s.ticksThisPass = 0;
    s.passEnds.push_back(m_now);

    if (m_inTurn) {
      Slot& other = m_slots[SlotIndex(s) ^ 1];
      s.active = false;
      ReleaseAll(s);
      s.lastPassSilent = silentPass;
      if (SlotIndex(s) == 1) {
        m_groupPassEnds.push_back(m_now);
        if (!MorePasses(static_cast<std::uint32_t>(m_groupPassEnds.size())) || (silentPass && other.lastPassSilent)) {
          Finish(s);
          return;
        }
      }
      other.active = true;
      other.acc = 0;
      Rewind(other);
      return;
    }
    if (silentPass || !MorePasses(s.passes)) {
      Finish(s);
      return;
    }
    if (loopJump) {
      s.pos = s.loopPos;
      s.wait = s.track->events[s.pos].delta;
      return;
    }
    ReleaseAll(s);
    Rewind(s);
  }

  void Controller(Slot& s, std::uint32_t channel, std::uint32_t number, std::uint32_t value) {
    const std::uint32_t slot = SlotIndex(s);
    switch (number) {
      case seq::LOOP_COUNT_CONTROLLER:
        if (s.loopAwaitCount) {
          s.loopAwaitCount = false;
          s.loopCount = value;
          s.loopPos = s.next;
        }
        break;
      case 64:
        s.sustain[channel] = value >= 64;
        if (!s.sustain[channel]) m_voices.Release(slot, static_cast<int>(channel), false, true, m_now, m_service);
        break;
      case 120:
      case 123:
        s.sustain[channel] = false;
        m_voices.Release(slot, static_cast<int>(channel), true, true, m_now, m_service);
        break;
      case 121:
        s.sustain[channel] = false;
        m_voices.Release(slot, static_cast<int>(channel), false, true, m_now, m_service);
        break;
      case seq::LOOP_MARK_CONTROLLER:
        if (value == seq::LOOP_START_MARK) {
          s.loopSet = s.loopAwaitCount = true;
          s.loopCount = 0;
          s.loopPos = s.next;
          s.loopTick = s.tick;
        } else if (value == seq::LOOP_END_MARK && s.loopSet) {
          if (s.loopCount == 0 || s.loopCount >= 127) {
            if (s.tick != s.loopTick) PassEnd(s, true);  // an empty endless loop is passed over
          } else if (--s.loopCount > 0) {
            s.next = s.loopPos;
          } else {
            s.loopSet = false;
          }
        }
        break;
      default:
        break;
    }
  }

  // Handles the event at the read position and takes the delta time of the one behind it.
  void DoEvent(Slot& s) {
    const Event& e = s.track->events[s.pos];
    ++m_events;
    s.jumped = false;
    s.next = s.pos + 1;
    switch (e.op) {
      case Op::End:
        PassEnd(s, false);
        return;
      case Op::Tempo:
        if (!(m_settings.customTempo && m_settings.customTempoValue != 0)) s.tempo = e.tempo();
        break;
      case Op::NoteOn:
        if (!m_skipping) m_voices.NoteOn(SlotIndex(s), e.channel, s.program[e.channel], e.a, m_now, m_service);
        break;
      case Op::NoteOff:
        m_voices.NoteOff(SlotIndex(s), e.channel, e.a, s.sustain[e.channel], m_now, m_service);
        break;
      case Op::Controller:
        Controller(s, e.channel, e.a, e.b);
        if (s.jumped) return;  // the pass ended: the read position is set already
        break;
      case Op::Program:
        s.program[e.channel] = e.a;
        break;
      case Op::Other:
        break;
    }
    s.pos = s.next;
    s.wait = s.track->events[s.pos].delta;
  }

  // Turns dt microseconds into ticks and handles the events that fall due, at most 512 of them.
  void Advance(Slot& s, std::uint32_t dt) {
    std::uint32_t budget = EVENTS_PER_SERVICE;
    do {
      const std::uint32_t step = std::min(dt, STEP_LIMIT_US);
      dt -= step;
      s.acc += step * s.track->resolution;
      while (s.active) {
        if (s.wait != 0) {
          const std::uint32_t due = s.acc / s.tempo;
          if (due < s.wait) {
            s.wait -= due;
            s.acc -= due * s.tempo;
            Count(s, due);
            break;
          }
          s.acc -= s.wait * s.tempo;
          Count(s, s.wait);
          s.wait = 0;
        }
        if (budget == 0) break;
        --budget;
        DoEvent(s);
      }
      s.acc = std::min(s.acc, ACC_LIMIT);
    } while (dt > 0 && s.active);
  }

  // Fast-forwards over ticks at start-up without sounding notes.
  void Skip(Slot& s, std::uint32_t ticks) {
    std::uint32_t budget = EVENTS_FOR_SKIP;
    m_skipping = true;
    while (s.active && budget-- > 0) {
      if (s.wait >= ticks) {
        s.wait -= ticks;
        Count(s, ticks);
        break;
      }
      ticks -= s.wait;
      Count(s, s.wait);
      s.wait = 0;
      DoEvent(s);
    }
    m_skipping = false;
  }

  const SongSettings& m_settings;
  Voices m_voices;
  std::array<Slot, SLOTS> m_slots{};
  std::uint32_t m_slotCount = 0;
  bool m_inTurn = false;
  bool m_skipping = false;
  std::vector<std::uint64_t> m_groupPassEnds;
  std::uint64_t m_now = 0, m_service = 0, m_events = 0;
};

// Runs the services until the song stops, plays its second pass without end, or the model's limits.
void PlaySequences(const std::vector<Track>& tracks, const SongSettings& settings, const BankTones& bank,
                   const SongLimits& limits, SongLength& result) {
  const ServiceClock clock(settings);
  const SpeedRamp ramp(settings, tracks[0].headerTempo);
  Sequencer sequencer(tracks, settings, bank);
  std::uint64_t n = 0, now = 0;
  sequencer.Service(0, 0, 0);
  bool limited = false;
  while (sequencer.Playing() && !(settings.playbackAmount == 0 && sequencer.TwoPassesPlayed())) {
    if (now >= limits.timeUs || sequencer.events() >= limits.events) {
      limited = true;
      break;
    }
    // At an even speed nothing happens until the service at which the next event falls due.
    if (ramp.settledSpeed() == 256 && now / 1000 >= ramp.settledAfterMs()) {
      const auto wait = sequencer.TimeToNextEvent();
      // An event due beyond the limit: coast to the limit and stop there, not at that event.
      if (wait && now + *wait >= limits.timeUs) {
        sequencer.Coast(limits.timeUs - now);
        now = limits.timeUs;
        limited = true;
        break;
      }
      const std::uint64_t target = wait ? clock.FirstAtOrAfter(now + *wait) : n + 1;
      if (target > n + 1) {
        const std::uint64_t before = clock.TimeOf(target - 1);
        sequencer.Coast(before - now);
        n = target - 1;
        now = before;
      }
    }
    ++n;
    const std::uint64_t at = clock.TimeOf(n);
    const std::uint64_t dt = at - now;
    now = at;
    sequencer.Service(static_cast<std::uint32_t>(dt * ramp.SpeedAt(now / 1000) >> 8), now, n);
  }

  const bool stopped = !sequencer.Playing();
  result.endless = !stopped;
  result.reachedLimit = limited;
  result.eventsPlayed = sequencer.events();
  const auto& passEnds = sequencer.SongPassEnds();
  result.passEnds = SecondsOf(passEnds);
  std::uint64_t end = now, silent = now;
  if (stopped) {
    end = sequencer.FinishedAt();
    silent = sequencer.SilentAt(end);
  } else if (!limited) {
    end = 0;
    for (std::uint32_t i = 0; i < sequencer.slotCount(); ++i) {
      const auto& ends = sequencer.slot(i).passEnds;
      if (ends.size() >= 2) end = std::max(end, ends[1]);
    }
    silent = end;
  }
  result.endSeconds = Seconds(end);
  result.lengthSeconds = Seconds(silent);
  result.releaseSeconds = Seconds(silent - end);
  result.passSeconds = passEnds.empty() ? 0 : Seconds(passEnds[0]);
  result.servicesPerSecond = clock.rate();
  for (std::uint32_t i = 0; i < sequencer.slotCount(); ++i) {
    SequenceFigures figures = tracks[i].figures;
    figures.passEnds = SecondsOf(sequencer.slot(i).passEnds);
    figures.firstPassTicks = sequencer.slot(i).passes > 0 ? sequencer.slot(i).firstPassTicks : sequencer.slot(i).tick;
    result.sequences.push_back(std::move(figures));
  }
}

// ---- VAG ---------------------------------------------------------------------------------------------------

// A VAG at the sequence address, as the driver plays it on one voice: a pass lasts the sample up to its first
// end block and 20 ms more, and ends at the first service after that; a sample whose end block repeats (other
// than the silent end block the utility appends) plays on by itself without end.
bool PlayVag(std::span<const std::uint8_t> songArea, const SongSettings& settings, const SongLimits& limits,
             SongLength& result) {
  if (songArea.size() < VAG_MINIMUM || !HasMagic(songArea, "VAGp")) return false;
  std::uint32_t size = core::LoadU32Be(songArea, 0x0C);
  const std::uint32_t rate = core::LoadU32Be(songArea, 0x10);
  if (size == 0 || rate == 0 || rate > VAG_RATE_LIMIT) return false;
  size = std::min(size, SPU_RAM_SIZE);
  std::size_t bytes = std::min<std::size_t>(size + 16u, songArea.size() - VAG_DATA);
  bytes = std::min<std::size_t>(bytes, SPU_RAM_SIZE - SPU_SAMPLES) & ~std::size_t{15};
  if (bytes == 0) return false;

  bool looped = false;
  std::size_t block = 0, loopStart = 0;
  for (; block < bytes / 16; ++block) {
    const std::size_t at = VAG_DATA + 16 * block;
    const std::uint32_t flags = songArea[at + 1];
    if (flags & 4u) loopStart = block;
    if ((flags & 1u) == 0) continue;
    if ((flags & 2u) && !(flags == 7u && songArea[at] == 0 && songArea[at + 2] == 0x77)) looped = true;
    break;
  }
  const std::uint64_t samples = (block + 1) * SAMPLES_PER_BLOCK;
  const ServiceClock clock(settings);
  result.kind = SongKind::Vag;
  result.servicesPerSecond = clock.rate();
  // A pass that would end beyond the time limit is not played: the model stops at the limit, as for a sequence.
  const auto addPassEnd = [&](std::uint64_t endUs) {
    if (endUs > limits.timeUs) {
      result.reachedLimit = true;
      return false;
    }
    result.passEnds.push_back(Seconds(endUs));
    return true;
  };
  if (looped) {
    // Plays on by itself: the run to the loop end and the loop once more.
    const std::uint64_t loop = (block + 1 - loopStart) * SAMPLES_PER_BLOCK;
    const std::uint64_t first = samples * 1000000 / rate;
    result.endless = true;
    if (addPassEnd(first)) addPassEnd(first + loop * 1000000 / rate);
  } else {
    const std::uint64_t ms = samples * 1000 / rate;
    const std::uint64_t passUs = std::min<std::uint64_t>(ms, VAG_PASS_LIMIT_MS) * 1000 + VAG_PASS_EXTRA_US;
    const std::uint64_t passes = settings.playbackAmount == 0 ? 2 : settings.playbackAmount;
    std::uint64_t now = 0;
    for (std::uint64_t pass = 0; pass < passes; ++pass) {
      now = clock.TimeOf(clock.FirstAtOrAfter(now + passUs));
      if (!addPassEnd(now)) break;
    }
    result.endless = settings.playbackAmount == 0 || result.reachedLimit;
  }
  // A sample that ended has nothing left to release.
  result.endSeconds = result.lengthSeconds = result.reachedLimit ? Seconds(limits.timeUs) : result.passEnds.back();
  result.passSeconds = result.passEnds.empty() ? 0 : result.passEnds.front();
  return true;
}

}  // namespace

SongLength ComputeSongLength(const SongSettings& settings, std::span<const std::uint8_t> songArea,
                             std::span<const std::uint8_t> vh, const SongLimits& limits) {
  SongLength result;
  const std::vector<Track> tracks = FindTracks(songArea, settings);
  if (!tracks.empty()) {
    result.kind = SongKind::Sequence;
    PlaySequences(tracks, settings, ReadBankTones(vh), limits, result);
  } else if (!PlayVag(songArea, settings, limits, result)) {
    return result;
  }
  if (result.endless) result.fadeSeconds = ENDLESS_FADE_SECONDS;
  return result;
}

std::vector<SepRecordLength> ComputeSepRecordLengths(const SongSettings& settings,
                                                     std::span<const std::uint8_t> songArea,
                                                     std::span<const std::uint8_t> vh, const SongLimits& limits) {
  std::vector<SepRecordLength> records;
  if (songArea.size() < 16 || !HasMagic(songArea, "pQES") || core::LoadU32Be(songArea, 4) != 0) return records;
  const auto region = songArea.first(std::min(songArea.size(), SEQUENCE_READ_SIZE));
  SongSettings alone = settings;
  alone.sequenceAmount = 1;
  // A hostile SEP may hold thousands of records that each play up to the limits: the listing shares one budget.
  std::uint64_t events = 0;
  for (std::uint32_t id = 0; records.size() < SEP_RECORDS_LISTED && events < limits.events && FindSepRecord(region, id);
       ++id) {
    alone.sequenceId[0] = id;
    records.push_back({id, ComputeSongLength(alone, songArea, vh, limits)});
    events += records.back().length.eventsPlayed;
  }
  return records;
}

SongLength ComputeSongLength(const PsfBuilder& builder, const SongLimits& limits) {
  if (!builder.held) return {};
  const SongSettings settings = ReadSongSettings(builder);
  // The driver takes song data and banks only from above its own program.
  constexpr std::uint32_t LOWEST_DATA_ADDRESS = 0x80010000;
  const auto rest = [&](std::uint32_t address) -> std::span<const std::uint8_t> {
    if (address < LOWEST_DATA_ADDRESS) return {};
    const auto bytes = RamBytes(builder.image, address, static_cast<std::size_t>(RAM_END - address));
    return bytes ? *bytes : std::span<const std::uint8_t>{};
  };
  return ComputeSongLength(settings, rest(settings.sequenceAddress), rest(settings.vhAddress), limits);
}

}  // namespace psf
