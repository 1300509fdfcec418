/* The 24 SPU voices: allocation with priorities and stealing, pitch and volume registers, and
 * the once-per-service flush of key offs, changed registers and key ons. */
#include "driver.h"
#include "tables.h"

Voice g_voices[VOICE_COUNT];
uint32_t g_keyOn, g_keyOff, g_reverbVoices;
uint32_t g_serviceCount;
int g_reverbOn;

static uint32_t s_keyOffLater; /* key offs of voices keyed on in the same service */
static uint32_t s_reverbWritten;

void VoicesInit(void) {
  memset(g_voices, 0, sizeof g_voices);
  g_keyOn = g_keyOff = g_reverbVoices = s_keyOffLater = s_reverbWritten = 0;
}

uint32_t PitchStep(int32_t u) {
  /* Octaves counted from 32 below, so that the arithmetic stays unsigned and free of division:
   * floor(x / 1536) = floor(floor(x / 512) / 3), and y x 171 >> 9 = floor(y / 3) for y < 256. */
  uint32_t biased, octave, rest, ratio;
  int32_t shift;
  if (u < -1536 * 24) u = -1536 * 24;
  if (u > 1536 * 24) u = 1536 * 24;
  biased = (uint32_t)(u + 1536 * 32);
  octave = ((biased >> 9) * 171u) >> 9;
  rest = biased - octave * 1536u;
  ratio = (uint32_t)SEMITONE_STEPS[rest >> 7] * FINE_STEPS[rest & 127u]; /* 2^30 = 1.0 */
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
  Voice *voice = &g_voices[v];
  const Sequence *s = &g_sequences[voice->owner < SEQUENCE_SLOTS ? voice->owner : 0];
  const Channel *c = &s->channels[voice->channel & 15u];
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
  l = (uint16_t)LevelToRegister(left);
  r = (uint16_t)LevelToRegister(right);
  if (l != voice->volL || r != voice->volR) {
    voice->volL = l;
    voice->volR = r;
    voice->dirty |= DIRTY_VOLUME;
  }
}

void VoiceUpdatePitch(int v) {
  Voice *voice = &g_voices[v];
  const Sequence *s = &g_sequences[voice->owner < SEQUENCE_SLOTS ? voice->owner : 0];
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

static uint32_t Envelope(int v) { return SpuRead(SPU_VOICE_ENVX(v)); }

int VoiceAllocate(uint32_t priority) {
  /* One pass; the lowest key wins. A free voice at once; then a voice whose envelope has died
   * (released, or a one-shot sample that ended) or the releasing voice with the lowest
   * envelope; then the sounding voice of lowest priority, the oldest among equals, if its
   * priority is not above the new tone's. */
  int v, best = -1;
  uint32_t bestKey = 0xFFFFFFFFu;
  for (v = 0; v < VOICE_COUNT; ++v) {
    const Voice *voice = &g_voices[v];
    uint32_t key;
    if (voice->state == VOICE_FREE) return v;
    key = 0xFFFFFFFFu;
    if (g_serviceCount - voice->startedAt >= 2) { /* before that the attack may not have begun */
      uint32_t env = SpuRead(SPU_VOICE_ENVX(v));
      if (voice->state == VOICE_RELEASING || env == 0) key = env;
    }
    if (key == 0xFFFFFFFFu && voice->priority <= priority)
      key = 0x10000000u | ((uint32_t)voice->priority << 20) | ((voice->startedAt - g_serviceCount) & 0xFFFFFu);
    if (key < bestKey) {
      bestKey = key;
      best = v;
    }
  }
  return best;
}

void VoiceKeyOff(int v) {
  uint32_t bit = 1u << v;
  if (g_voices[v].state == VOICE_FREE) return;
  g_voices[v].state = VOICE_RELEASING;
  if (g_keyOn & bit)
    s_keyOffLater |= bit; /* keyed on in this service: let the key on happen first */
  else
    g_keyOff |= bit;
}

void VoicesReap(void) {
  int v;
  for (v = 0; v < VOICE_COUNT; ++v) {
    Voice *voice = &g_voices[v];
    if (voice->state != VOICE_RELEASING) continue;
    if (g_serviceCount - voice->startedAt < 2) continue;
    if ((g_keyOff | s_keyOffLater) & (1u << v)) continue; /* key off not written yet */
    if (Envelope(v) == 0) voice->state = VOICE_FREE;
  }
}

uint32_t VoicesBusy(void) {
  uint32_t n = 0;
  int v;
  for (v = 0; v < VOICE_COUNT; ++v)
    if (g_voices[v].state != VOICE_FREE) ++n;
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
    Voice *voice = &g_voices[v];
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

void VoiceKeyOn(int v) {
  uint32_t bit = 1u << v;
  Voice *voice = &g_voices[v];
  voice->state = VOICE_ON;
  voice->startedAt = g_serviceCount;
  voice->dirty = DIRTY_VOLUME | DIRTY_PITCH | DIRTY_SOURCE;
  g_keyOn |= bit;
  g_keyOff &= ~bit;
  s_keyOffLater &= ~bit;
  if (voice->reverb)
    g_reverbVoices |= bit;
  else
    g_reverbVoices &= ~bit;
}
