/* The 24 SPU voices: allocation with priorities and stealing, pitch and volume registers, and
 * the once-per-service flush of key offs, changed registers and key ons. */
#include "driver.h"
#include "tables.h"

Voice g_voices[VOICE_COUNT];
uint32_t g_keyOn, g_keyOff, g_reverbVoices;
uint32_t g_freeVoices;
uint32_t g_channelVoices[SEQUENCE_SLOTS][CHANNEL_COUNT];
uint32_t g_serviceCount;
int g_reverbOn;

static uint32_t s_keyOffLater; /* key offs of voices keyed on in the same service */
static uint32_t s_reverbWritten;

#define ALL_VOICES ((1u << VOICE_COUNT) - 1u)

static uint32_t s_master[2]; /* master volume per side, 0..128 */
static uint32_t s_releasing; /* voices in release */
static uint32_t s_reapNext;  /* the next sounding voice whose envelope is looked at */

/* Stealing order, kept per voice so that allocation is one short pass; lower goes first:
 * 0 for a voice found silent (a one-shot sample that ended), then releasing voices by the
 * service of their key off, then sounding voices by priority and age. Service numbers are
 * taken modulo 2^20, so the order can slip for a moment every 2^20 services. */
#define KEY_RELEASING 0x00100000u
#define KEY_SOUNDING 0x10000000u
static uint32_t s_stealKey[VOICE_COUNT];

void VoicesInit(void) {
  s_master[0] = Scale127(ClampU32(g_settings.masterVolume[0], 0, 127));
  s_master[1] = Scale127(ClampU32(g_settings.masterVolume[1], 0, 127));
  memset(g_voices, 0, sizeof g_voices);
  memset(g_channelVoices, 0, sizeof g_channelVoices);
  memset(s_stealKey, 0, sizeof s_stealKey);
  s_releasing = s_reapNext = 0;
  g_keyOn = g_keyOff = g_reverbVoices = s_keyOffLater = s_reverbWritten = 0;
  g_freeVoices = ALL_VOICES;
}

static uint32_t* ChannelMask(const Voice* voice) {
  return &g_channelVoices[voice->owner < SEQUENCE_SLOTS ? voice->owner : 0][voice->channel & 15u];
}

static void VoiceFree(int v) {
  Voice* voice = &g_voices[v];
  s_releasing &= ~(1u << v);
  *ChannelMask(voice) &= ~(1u << v);
  voice->state = VOICE_FREE;
  g_freeVoices |= 1u << v;
}

int LowestBit(uint32_t mask) {
  int v = 0;
  if ((mask & 0xFFFFu) == 0) {
    mask >>= 16;
    v = 16;
  }
  if ((mask & 0xFFu) == 0) {
    mask >>= 8;
    v += 8;
  }
  while ((mask & 1u) == 0) {
    mask >>= 1;
    ++v;
  }
  return v;
}

uint32_t PitchStep(int32_t u) {
  /* Octaves counted from 32 below, so that the arithmetic stays unsigned and free of division:
   * floor(x / 1536) = floor(floor(x / 512) / 3), and y x 171 >> 9 = floor(y / 3) for y < 256. */
  uint32_t biased, octave, rest, semitone, ratio;
  int32_t shift;
  if (u < -1536 * 24) u = -1536 * 24;
  if (u > 1536 * 24) u = 1536 * 24;
  biased = (uint32_t)(u + 1536 * 32);
  octave = ((biased >> 9) * 171u) >> 9;
  rest = biased - octave * 1536u;
  /* semitone x (1 + fraction / 2^20), with 2^30 = 1.0; the product stays below 2^32 */
  semitone = SEMITONE_STEPS[rest >> 7];
  ratio = (semitone << 15) + ((semitone * FINE_FRACTIONS[rest & 127u] + 16u) >> 5);
  /* step = 0x1000 x ratio / 2^30 x 2^(octave - 32) */
  shift = 18 - ((int32_t)octave - 32);
  if (shift <= 0) return 0x3FFFu;
  if (shift >= 31) return 1;
  ratio = (ratio + (1u << (shift - 1))) >> shift;
  return ClampU32(ratio, 1, 0x3FFFu);
}

uint32_t LevelToRegister(uint32_t level) {
  if (level > LEVEL_FULL) level = LEVEL_FULL;
  return ClampU32((level * level) >> 14, 0, 0x3FFFu);
}

void VoiceUpdateVolume(int v) {
  Voice* voice = &g_voices[v];
  const Sequence* s = &g_sequences[voice->owner < SEQUENCE_SLOTS ? voice->owner : 0];
  const Channel* c = &s->channels[voice->channel & 15u];
  uint32_t level = voice->level, left, right, panLeft, panRight;
  int32_t pan;
  uint16_t l, r;

  level = (level * Scale127(c->volume)) >> 7;
  level = (level * Scale127(c->expression)) >> 7;
  pan = (int32_t)c->pan + voice->panOffset;
  if (pan < 0) pan = 0;
  if (pan > 127) pan = 127;
  panLeft = pan <= 64 ? 128u : 2u * (uint32_t)(127 - pan);
  panRight = pan >= 64 ? 128u : 2u * (uint32_t)pan;
  left = (((level * panLeft) >> 7) * Scale127(s->volume[0])) >> 7;
  right = (((level * panRight) >> 7) * Scale127(s->volume[1])) >> 7;
  if (g_settings.channelOutput != 0) left = right = (left + right) >> 1;
  /* The master volume scales the register linearly (after the square law), as a main volume
   * would: 127 is full, 64 about -6 dB. */
  l = (uint16_t)((LevelToRegister(left) * s_master[0]) >> 7);
  r = (uint16_t)((LevelToRegister(right) * s_master[1]) >> 7);
  if (l != voice->volL || r != voice->volR) {
    voice->volL = l;
    voice->volR = r;
    voice->dirty |= DIRTY_VOLUME;
  }
}

void VoiceUpdatePitch(int v) {
  Voice* voice = &g_voices[v];
  const Sequence* s = &g_sequences[voice->owner < SEQUENCE_SLOTS ? voice->owner : 0];
  int32_t bend = (int32_t)s->channels[voice->channel & 15u].bend - 0x2000;
  int32_t range = bend >= 0 ? voice->bendUp : voice->bendDown;
  uint16_t step;
  /* (bend / 8192) x range semitones x 128; an arithmetic shift rounds toward minus infinity */
  step = (uint16_t)PitchStep(voice->pitchBase + ((bend * range) >> 6));
  if (step != voice->pitch) {
    voice->pitch = step;
    voice->dirty |= DIRTY_PITCH;
  }
}

int VoiceAllocate(uint32_t priority) {
  /* A free voice at once; else the lowest key, sounding voices only when their priority is
   * not above the new tone's. */
  uint32_t limit = KEY_SOUNDING + ((priority + 1u) << 20), bestKey = 0xFFFFFFFFu;
  int v, best = -1;
  if (g_freeVoices) return LowestBit(g_freeVoices);
  for (v = 0; v < VOICE_COUNT; ++v) {
    uint32_t key = s_stealKey[v];
    if (key < bestKey && key < limit) {
      bestKey = key;
      best = v;
    }
  }
  return best;
}

void VoiceKeyOff(int v) {
  uint32_t bit = 1u << v;
  if (g_voices[v].state == VOICE_FREE || g_voices[v].state == VOICE_RELEASING) return;
  g_voices[v].state = VOICE_RELEASING;
  s_releasing |= 1u << v;
  if (!g_voices[v].silent) s_stealKey[v] = KEY_RELEASING + (g_serviceCount & 0xFFFFFu);
  if (g_keyOn & bit)
    s_keyOffLater |= bit; /* keyed on in this service: let the key on happen first */
  else
    g_keyOff |= bit;
}

void VoicesReap(void) {
  /* Envelopes are read once a service for the releasing voices (at 0 the voice is free again)
   * and for four of the sounding ones in turn (at 0 its sample has ended: the first to take for
   * a new note). A voice keyed in the last two services may not have started its attack yet. */
  uint32_t check = s_releasing, n;
  for (n = 0; n < 4; ++n) {
    s_reapNext = s_reapNext + 1u >= VOICE_COUNT ? 0 : s_reapNext + 1u;
    check |= 1u << s_reapNext;
  }
  check &= ~(g_freeVoices | g_keyOff | s_keyOffLater); /* key offs not written yet wait */
  while (check) {
    int v = LowestBit(check);
    Voice* voice = &g_voices[v];
    check &= check - 1u;
    if (g_serviceCount - voice->startedAt < 2 || (voice->silent && voice->state != VOICE_RELEASING)) continue;
    if (SpuRead(SPU_VOICE_ENVX(v)) != 0) continue;
    if (voice->state == VOICE_RELEASING) {
      VoiceFree(v);
    } else {
      voice->silent = 1;
      s_stealKey[v] = 0;
    }
  }
}

uint32_t VoicesBusy(void) {
  uint32_t n = 0, busy = ~g_freeVoices & ALL_VOICES;
  while (busy) {
    busy &= busy - 1;
    ++n;
  }
  return n;
}

void VoicesFlush(void) {
  uint32_t off = g_keyOff & ~g_keyOn;
  uint32_t reverb = g_reverbOn ? g_reverbVoices : 0;
  int v;

  if (off) {
    SpuWrite(SPU_KOFF0, (uint16_t)off);
    SpuWrite(SPU_KOFF1, (uint16_t)(off >> 16));
  }
  for (v = 0; v < VOICE_COUNT; ++v) {
    Voice* voice = &g_voices[v];
    uint8_t dirty = voice->dirty;
    if (dirty == 0) continue;
    if (dirty & DIRTY_VOLUME) {
      SpuWrite(SPU_VOICE_VOLL(v), voice->volL);
      SpuWrite(SPU_VOICE_VOLR(v), voice->volR);
    }
    if (dirty & DIRTY_PITCH) SpuWrite(SPU_VOICE_PITCH(v), voice->pitch);
    if (dirty & DIRTY_SOURCE) {
      SpuWrite(SPU_VOICE_SSA(v), voice->ssa);
      SpuWrite(SPU_VOICE_ADSR1(v), voice->adsr1);
      SpuWrite(SPU_VOICE_ADSR2(v), voice->adsr2);
    }
    voice->dirty = 0;
  }
  if (reverb != s_reverbWritten) {
    SpuWrite(SPU_EON0, (uint16_t)reverb);
    SpuWrite(SPU_EON1, (uint16_t)(reverb >> 16));
    s_reverbWritten = reverb;
  }
  if (g_keyOn) {
    SpuWrite(SPU_KON0, (uint16_t)g_keyOn);
    SpuWrite(SPU_KON1, (uint16_t)(g_keyOn >> 16));
  }
  g_keyOn = 0;
  g_keyOff = s_keyOffLater;
  s_keyOffLater = 0;
}

void VoiceAssign(int v, uint32_t owner, uint32_t channel) {
  Voice* voice = &g_voices[v];
  if (voice->state != VOICE_FREE) *ChannelMask(voice) &= ~(1u << v);
  voice->owner = (uint8_t)owner;
  voice->channel = (uint8_t)channel;
  voice->state = VOICE_ON;
  voice->silent = 0;
  s_releasing &= ~(1u << v);
  g_freeVoices &= ~(1u << v);
  *ChannelMask(voice) |= 1u << v;
}

void VoiceKeyOn(int v) {
  uint32_t bit = 1u << v;
  Voice* voice = &g_voices[v];
  voice->state = VOICE_ON;
  voice->silent = 0;
  s_releasing &= ~bit;
  voice->startedAt = g_serviceCount;
  s_stealKey[v] = KEY_SOUNDING + ((uint32_t)voice->priority << 20) + (g_serviceCount & 0xFFFFFu);
  voice->dirty = DIRTY_VOLUME | DIRTY_PITCH | DIRTY_SOURCE;
  g_keyOn |= bit;
  g_keyOff &= ~bit;
  s_keyOffLater &= ~bit;
  if (voice->reverb)
    g_reverbVoices |= bit;
  else
    g_reverbVoices &= ~bit;
}
