/* The sequencer: SEQ and SEP event data as placed in RAM, one or two sequences at a time.
 *
 * SEQ (big-endian): "pQES", u32 version, u16 resolution, u24 tempo (microseconds per quarter),
 * rhythm numerator and denominator, then the events from +15.
 * SEP: "pQES", u16 0, then records: u16 id (0, 1, 2, ... in order), u16 resolution, u24 tempo,
 * rhythm, u32 data size, then that many bytes of events.
 * Events: a delta time (7 bits a byte, high bit = more), then a MIDI channel message with
 * running status, FF 51 t t t (tempo, no length byte) or FF 2F (end). Controller 99 = 20 marks
 * a loop start (the data entry that follows is the count, 0 or 127 endless), 99 = 30 its end. */
#include "driver.h"

Sequence g_sequences[SEQUENCE_SLOTS];
uint32_t g_muteMask;

/* Events one sequence may handle in one service; more are left for the next one. */
#define EVENTS_PER_SERVICE 512u
#define EVENTS_FOR_SKIP 200000u
#define ACC_LIMIT 0x40000000u
#define LOOP_START_MARK 20u
#define LOOP_END_MARK 30u

static uint32_t s_slotCount; /* slots that hold a sequence */
static int s_inTurn;         /* two sequences played one after the other */
static uint32_t s_groupPasses;
static int s_skipping; /* fast-forward: events take effect, notes do not sound */

static uint32_t Be16(uint32_t a) { return ((uint32_t)RamRead8(a) << 8) | RamRead8(a + 1); }
static uint32_t Be24(uint32_t a) { return (Be16(a) << 8) | RamRead8(a + 2); }
static uint32_t Be32(uint32_t a) { return (Be16(a) << 16) | Be16(a + 2); }

static int HasMagic(uint32_t a, const char* magic) {
  int i;
  for (i = 0; i < 4; ++i)
    if (RamRead8(a + (uint32_t)i) != (uint8_t)magic[i]) return 0;
  return 1;
}

/* ---- Voices of a channel -------------------------------------------------------------- */

static void ForChannelVoices(const Sequence* s, uint32_t ch, void (*action)(int)) {
  uint32_t mask = g_channelVoices[s->slot][ch];
  while (mask) {
    int v = LowestBit(mask);
    mask &= mask - 1u;
    action(v);
  }
}

static void ReleaseIfHeld(int v) {
  if (g_voices[v].state == VOICE_ON || g_voices[v].state == VOICE_SUSTAINED) VoiceKeyOff(v);
}

static void ReleaseIfSustained(int v) {
  if (g_voices[v].state == VOICE_SUSTAINED) VoiceKeyOff(v);
}

static void ReleaseSequenceVoices(const Sequence* s) {
  uint32_t ch;
  for (ch = 0; ch < CHANNEL_COUNT; ++ch) ForChannelVoices(s, ch, ReleaseIfHeld);
}

static void ResetChannels(Sequence* s) {
  uint32_t ch;
  for (ch = 0; ch < CHANNEL_COUNT; ++ch) {
    Channel* c = &s->channels[ch];
    c->program = 0;
    c->volume = 127;
    c->expression = 127;
    c->pan = 64;
    c->sustain = 0;
    c->bend = 0x2000;
  }
}

/* ---- Reading the event data ------------------------------------------------------------ */

static uint32_t Next(Sequence* s) {
  if (s->pos >= s->end) {
    s->overrun = 1;
    return 0;
  }
  return RamRead8(s->pos++);
}

static uint32_t ReadDelta(Sequence* s) {
  uint32_t value = 0, i, b;
  for (i = 0; i < 4; ++i) {
    b = Next(s);
    value = (value << 7) | (b & 0x7Fu);
    if ((b & 0x80u) == 0) return value;
  }
  s->overrun = 1; /* more than four bytes: not a delta time */
  return 0;
}

/* Puts a sequence at the start of its data with fresh channels. */
static void Rewind(Sequence* s) {
  s->pos = s->start;
  s->status = 0;
  s->loopSet = 0;
  s->loopAwaitCount = 0;
  s->overrun = 0;
  s->tempo = s->headerTempo;
  s->ticksThisPass = 0;
  ResetChannels(s);
  s->wait = ReadDelta(s);
  if (s->overrun) s->active = 0;
}

/* ---- Passes -------------------------------------------------------------------------- */

static void Finish(Sequence* s) {
  s->active = 0;
  if (g_settings.automaticStop) ReleaseSequenceVoices(s);
}

static int MorePasses(uint32_t passes) { return g_settings.playbackAmount == 0 || passes < g_settings.playbackAmount; }

/* The end of one pass: the end of the data, or the jump back of an endless loop. */
static void PassEnd(Sequence* s, int loopJump) {
  int silentPass = s->ticksThisPass == 0;
  s->jumped = 1;
  ++s->passes;
  s->ticksThisPass = 0;

  if (s_inTurn) {
    Sequence* other = &g_sequences[s->slot ^ 1u];
    s->active = 0;
    ReleaseSequenceVoices(s);
    s->lastPassSilent = (uint8_t)silentPass;
    if (s->slot == 1) {
      ++s_groupPasses;
      if (!MorePasses(s_groupPasses) || (silentPass && other->lastPassSilent)) {
        Finish(s);
        return;
      }
    }
    other->active = 1;
    other->acc = 0;
    Rewind(other);
    return;
  }

  if (silentPass || !MorePasses(s->passes)) {
    Finish(s);
    return;
  }
  if (loopJump) {
    s->pos = s->loopPos;
    s->status = s->loopStatus;
    s->wait = ReadDelta(s);
    if (s->overrun) Finish(s);
    return;
  }
  ReleaseSequenceVoices(s);
  Rewind(s);
}

/* ---- Events -------------------------------------------------------------------------- */

static void NoteOff(Sequence* s, uint32_t ch, uint32_t note) {
  uint32_t mask = g_channelVoices[s->slot][ch];
  while (mask) {
    int v = LowestBit(mask);
    Voice* voice = &g_voices[v];
    mask &= mask - 1u;
    if (voice->state != VOICE_ON || voice->note != note) continue;
    if (s->channels[ch].sustain)
      voice->state = VOICE_SUSTAINED;
    else
      VoiceKeyOff(v);
  }
}

static uint32_t NonZero(uint32_t volume) { return volume == 0 && g_settings.nonZeroVolume ? 127u : volume; }

static void NoteOn(Sequence* s, uint32_t ch, uint32_t note, uint32_t velocity) {
  uint32_t program = s->channels[ch].program, count, t;
  if (s_skipping || (g_muteMask & (1u << ch)) || program >= 128) return;
  count = g_bank.toneCountOf[program];
  for (t = 0; t < count; ++t) {
    Tone tone;
    Voice* voice;
    uint32_t priority, level;
    int v;
    if (!BankGetTone(program, t, note, &tone)) continue;
    ClockPoll();
    priority = g_settings.highPriority ? 127u : tone.priority;
    v = VoiceAllocate(priority);
    if (v < 0) continue;
    VoiceAssign(v, s->slot, ch);
    voice = &g_voices[v];
    voice->note = (uint8_t)note;
    voice->priority = (uint8_t)priority;
    voice->bendDown = tone.bendDown;
    voice->bendUp = tone.bendUp;
    voice->reverb = (tone.mode & 4u) != 0;
    level = Scale127(velocity) * Scale127(NonZero(tone.volume)) * Scale127(NonZero(g_bank.programVolume[program]));
    voice->level = (uint16_t)((level * Scale127(NonZero(g_bank.volume))) >> 14);
    voice->panOffset = (int16_t)((int32_t)tone.pan + g_bank.programPan[program] + g_bank.pan - 3 * 64);
    voice->pitchBase = 128 * ((int32_t)note - (int32_t)tone.centre) + (int32_t)tone.fine;
    voice->ssa = tone.ssa;
    voice->adsr1 = tone.adsr1;
    voice->adsr2 = tone.adsr2;
    VoiceKeyOn(v);
    VoiceUpdateVolume(v);
    VoiceUpdatePitch(v);
  }
}

static void Controller(Sequence* s, uint32_t ch, uint32_t number, uint32_t value) {
  Channel* c = &s->channels[ch];
  switch (number) {
    case 6: /* data entry: the count of a loop just marked */
      if (s->loopAwaitCount) {
        s->loopAwaitCount = 0;
        s->loopCount = (uint8_t)value;
        s->loopPos = s->pos;
        s->loopStatus = s->status;
      }
      break;
    case 7:
      c->volume = (uint8_t)value;
      ForChannelVoices(s, ch, VoiceUpdateVolume);
      break;
    case 10:
      c->pan = (uint8_t)value;
      ForChannelVoices(s, ch, VoiceUpdateVolume);
      break;
    case 11:
      c->expression = (uint8_t)value;
      ForChannelVoices(s, ch, VoiceUpdateVolume);
      break;
    case 64:
      c->sustain = value >= 64;
      if (!c->sustain) ForChannelVoices(s, ch, ReleaseIfSustained);
      break;
    case 99:
      if (value == LOOP_START_MARK) {
        s->loopSet = 1;
        s->loopAwaitCount = 1;
        s->loopCount = 0;
        s->loopPos = s->pos;
        s->loopStatus = s->status;
        s->loopTick = s->tick;
      } else if (value == LOOP_END_MARK && s->loopSet) {
        if (s->loopCount == 0 || s->loopCount >= 127) {
          if (s->tick != s->loopTick) PassEnd(s, 1); /* an empty endless loop is passed over */
        } else if (--s->loopCount > 0) {
          s->pos = s->loopPos;
          s->status = s->loopStatus;
        } else {
          s->loopSet = 0;
        }
      }
      break;
    case 120:
    case 123:
      c->sustain = 0;
      ForChannelVoices(s, ch, ReleaseIfHeld);
      break;
    case 121:
      c->expression = 127;
      c->bend = 0x2000;
      c->sustain = 0;
      ForChannelVoices(s, ch, ReleaseIfSustained);
      ForChannelVoices(s, ch, VoiceUpdateVolume);
      ForChannelVoices(s, ch, VoiceUpdatePitch);
      break;
    default:
      break;
  }
}

static void SetTempo(Sequence* s, uint32_t tempo) {
  if (g_settings.customTempo && g_settings.customTempoValue) return; /* the user's tempo holds */
  s->tempo = ClampU32(tempo, 1000u, 0xFFFFFFu);
}

/* Handles the event at the read position and reads the delta time behind it. */
static void DoEvent(Sequence* s) {
  uint32_t b = Next(s), status, d1, d2, ch;
  s->jumped = 0;
  if (b & 0x80u) {
    status = b;
    d1 = Next(s);
  } else {
    status = s->status;
    d1 = b;
  }
  if (status < 0x80u) {
    PassEnd(s, 0); /* data where no status is known: the data is not a sequence */
    return;
  }
  s->status = (uint8_t)status;
  ch = status & 15u;
  d1 &= 0x7Fu;
  switch (status >> 4) {
    case 0x8:
      Next(s);
      NoteOff(s, ch, d1);
      break;
    case 0x9:
      d2 = Next(s) & 0x7Fu;
      if (d2 == 0)
        NoteOff(s, ch, d1);
      else
        NoteOn(s, ch, d1, d2);
      break;
    case 0xA:
      Next(s);
      break;
    case 0xB:
      d2 = Next(s) & 0x7Fu;
      if (s->overrun) break;
      Controller(s, ch, d1, d2);
      if (s->jumped) return; /* the pass ended: the read position is set already */
      break;
    case 0xC:
      s->channels[ch].program = (uint8_t)d1;
      break;
    case 0xD:
      break;
    case 0xE:
      d2 = Next(s) & 0x7Fu;
      s->channels[ch].bend = (uint16_t)(d1 | (d2 << 7));
      ForChannelVoices(s, ch, VoiceUpdatePitch);
      break;
    default:
      if (status == 0xFFu && d1 == 0x51u) {
        uint32_t t = Next(s) << 16;
        t |= Next(s) << 8;
        t |= Next(s);
        if (!s->overrun) SetTempo(s, t);
        break;
      }
      /* FF 2F ends the track; other metas and system exclusive carry no length here and
       * cannot be skipped: the track ends there too. */
      PassEnd(s, 0);
      return;
  }
  if (!s->overrun) s->wait = ReadDelta(s);
  if (s->overrun) PassEnd(s, 0);
}

/* ---- Time ---------------------------------------------------------------------------- */

static void CountTicks(Sequence* s, uint32_t ticks) {
  s->tick += ticks;
  s->ticksThisPass += ticks;
}

/* Turns dt microseconds into ticks and handles the events that fall due. */
static void AdvanceSequence(Sequence* s, uint32_t dt) {
  uint32_t budget = EVENTS_PER_SERVICE;
  do {
    uint32_t step = dt > 16000u ? 16000u : dt; /* keeps step x resolution inside 32 bits */
    dt -= step;
    s->acc += step * s->resolution;
    while (s->active) {
      if (s->wait) {
        uint32_t due = s->acc / s->tempo;
        if (due < s->wait) {
          s->wait -= due;
          s->acc -= due * s->tempo;
          CountTicks(s, due);
          break;
        }
        s->acc -= s->wait * s->tempo;
        CountTicks(s, s->wait);
        s->wait = 0;
      }
      if (budget == 0) break;
      --budget;
      DoEvent(s);
      /* A long service: let what is ready sound now rather than at its end. */
      if (ClockPoll()) VoicesFlush();
    }
    if (s->acc > ACC_LIMIT) s->acc = ACC_LIMIT;
  } while (dt > 0 && s->active);
}

void SequencerAdvance(uint32_t dt) {
  uint32_t i;
  if (s_inTurn) {
    int current = g_sequences[0].active ? 0 : (g_sequences[1].active ? 1 : -1);
    if (current < 0) return;
    AdvanceSequence(&g_sequences[current], dt);
    /* The other sequence took over: let it start within this service. */
    if (!g_sequences[current].active && g_sequences[current ^ 1].active) AdvanceSequence(&g_sequences[current ^ 1], 0);
    return;
  }
  for (i = 0; i < s_slotCount; ++i)
    if (g_sequences[i].active) AdvanceSequence(&g_sequences[i], dt);
}

/* Fast-forwards over the given number of ticks without sounding notes. */
static void Skip(Sequence* s, uint32_t ticks) {
  uint32_t budget = EVENTS_FOR_SKIP;
  s_skipping = 1;
  while (s->active && budget-- > 0) {
    if (s->wait >= ticks) {
      s->wait -= ticks;
      CountTicks(s, ticks);
      break;
    }
    ticks -= s->wait;
    CountTicks(s, s->wait);
    s->wait = 0;
    DoEvent(s);
  }
  s_skipping = 0;
}

/* ---- Start ---------------------------------------------------------------------------- */

/* Reads resolution and tempo from the five header bytes at a (SEQ +8, SEP record +2). */
static void TakeHeader(Sequence* s, uint32_t a) {
  uint32_t resolution = Be16(a), tempo = Be24(a + 2);
  if (g_settings.customResolution) resolution = g_settings.customResolution;
  if (resolution == 0) resolution = 480;
  if (tempo == 0) tempo = 500000;
  if (g_settings.customTempo && g_settings.customTempoValue) tempo = 60000000u / g_settings.customTempoValue;
  s->resolution = ClampU32(resolution, 1, 0xFFFFu);
  s->headerTempo = ClampU32(tempo, 1000u, 0xFFFFFFu);
}

/* Finds the SEP record with the given id; 1 when found. */
static int FindSepRecord(uint32_t base, uint32_t regionEnd, uint32_t id, Sequence* s) {
  uint32_t record = base + 6, expected = 0;
  while (record + 13 <= regionEnd && expected <= 0xFFFFu) {
    uint32_t size, data = record + 13;
    if (Be16(record) != expected) return 0;
    size = Be32(record + 9);
    if (expected == id) {
      s->start = data;
      s->end = size > regionEnd - data ? regionEnd : data + size;
      TakeHeader(s, record + 2);
      return 1;
    }
    if (size > regionEnd - data) return 0;
    record = data + size;
    ++expected;
  }
  return 0;
}

int SequencerStart(void) {
  uint32_t base = g_settings.sequenceAddress, regionEnd, i, amount;
  int found[SEQUENCE_SLOTS] = {0, 0};

  memset(g_sequences, 0, sizeof g_sequences);
  for (i = 0; i < SEQUENCE_SLOTS; ++i) {
    g_sequences[i].slot = (uint8_t)i;
    g_sequences[i].tempo = g_sequences[i].headerTempo = 500000;
    g_sequences[i].resolution = 480;
    ResetChannels(&g_sequences[i]);
  }
  s_slotCount = 0;
  s_inTurn = 0;
  s_groupPasses = 0;
  s_skipping = 0;
  g_muteMask = 0;
  if (base < 0x80010000u || base > RAM_END - 16u || !HasMagic(base, "pQES")) return 0;
  regionEnd = RAM_END - base > SEQUENCE_REGION_SIZE ? base + SEQUENCE_REGION_SIZE : RAM_END;

  if (Be32(base + 4) == 0) {
    amount = ClampU32(g_settings.sequenceAmount, 1, SEQUENCE_SLOTS);
    for (i = 0; i < amount; ++i) found[i] = FindSepRecord(base, regionEnd, g_settings.sequenceId[i], &g_sequences[i]);
    if (!found[0] && found[1]) {
      g_sequences[0] = g_sequences[1];
      g_sequences[0].slot = 0;
      found[0] = 1;
      found[1] = 0;
    }
  } else {
    Sequence* s = &g_sequences[0];
    s->start = base + 15;
    s->end = regionEnd;
    TakeHeader(s, base + 8);
    found[0] = 1;
  }
  if (!found[0]) return 0;
  s_slotCount = found[1] ? 2 : 1;
  s_inTurn = s_slotCount == 2 && g_settings.sepPlayMode != 0;

  for (i = 0; i < s_slotCount; ++i) {
    Sequence* s = &g_sequences[i];
    s->active = 1;
    Rewind(s);
    if (s_inTurn && i == 1) s->active = 0;
  }
  if (g_settings.tickSkip && g_settings.tickSkipValue) {
    for (i = 0; i < s_slotCount; ++i) {
      Sequence* s = &g_sequences[i];
      if (s->active) Skip(s, g_settings.tickSkipValue * (g_settings.tickSkipUnit ? s->resolution : 1u));
    }
  }
  return (int)s_slotCount;
}

/* ---- Mutes and volumes ---------------------------------------------------------------- */

static void ReleaseVoice(int v) { ReleaseIfHeld(v); }

void SequencerReadMutes(void) {
  uint32_t mask = 0, ch, added, i;
  for (ch = 0; ch < CHANNEL_COUNT; ++ch)
    if (RamRead32(MUTE_BLOCK + 4u * ch) != 0) mask |= 1u << ch;
  added = mask & ~g_muteMask;
  g_muteMask = mask;
  if (added == 0) return;
  for (i = 0; i < SEQUENCE_SLOTS; ++i)
    for (ch = 0; ch < CHANNEL_COUNT; ++ch)
      if (added & (1u << ch)) ForChannelVoices(&g_sequences[i], ch, ReleaseVoice);
}

int SequencerBusy(void) {
  uint32_t i;
  for (i = 0; i < s_slotCount; ++i)
    if (g_sequences[i].active) return 1;
  return 0;
}

void SequencerRefreshVolumes(void) {
  int v;
  for (v = 0; v < VOICE_COUNT; ++v)
    if (g_voices[v].state != VOICE_FREE) VoiceUpdateVolume(v);
}
