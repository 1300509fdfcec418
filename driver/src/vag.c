/* A VAG sample at the sequence address, played on one voice at the rate its header gives.
 *
 * VAG (big-endian numbers): "VAGp", u32 version, u32 0, u32 data size at +0x0C, u32 sample rate
 * at +0x10, name at +0x20; the ADPCM blocks start at +0x30 (a silent block first, or the rest of
 * a 64-byte header, which is zero and plays as silence). */
#include "driver.h"

#define VAG_VOICE 0
#define VAG_DATA 0x30u

static int s_active;
static int s_looped;        /* the sample repeats by itself: one endless pass */
static uint32_t s_lengthUs; /* one pass, in microseconds, at most about 71 minutes */
static uint32_t s_elapsedUs;
static uint32_t s_passes;

static uint32_t Be32(uint32_t a) {
  return ((uint32_t)RamRead8(a) << 24) | ((uint32_t)RamRead8(a + 1) << 16) | ((uint32_t)RamRead8(a + 2) << 8) |
         RamRead8(a + 3);
}

static void KeyVoice(void) {
  VoiceAssign(VAG_VOICE, 0, 0);
  VoiceKeyOn(VAG_VOICE);
  VoiceUpdateVolume(VAG_VOICE);
  s_elapsedUs = 0;
}

int VagStart(void) {
  uint32_t base = g_settings.sequenceAddress, size, rate, bytes, samples, ms, block;
  Voice* voice = &g_voices[VAG_VOICE];

  s_active = 0;
  s_passes = 0;
  if (base < 0x80010000u || base > RAM_END - 0x40u) return 0;
  if (RamRead8(base) != 'V' || RamRead8(base + 1) != 'A' || RamRead8(base + 2) != 'G' || RamRead8(base + 3) != 'p')
    return 0;
  size = Be32(base + 0x0C);
  rate = Be32(base + 0x10);
  if (size == 0 || rate == 0 || rate > 176400u) return 0;
  if (size > SPU_RAM_SIZE) size = SPU_RAM_SIZE; /* more than SPU RAM holds: cut below */
  bytes = size + 16u; /* the data behind a 48-byte header; 16 bytes more than a 64-byte one needs */
  if (bytes > RAM_END - (base + VAG_DATA)) bytes = RAM_END - (base + VAG_DATA);
  if (bytes > SPU_RAM_SIZE - SPU_SAMPLES) bytes = SPU_RAM_SIZE - SPU_SAMPLES;
  bytes &= ~15u;
  if (bytes == 0) return 0;
  SpuUpload(SPU_SAMPLES, base + VAG_DATA, bytes);
  g_bank.spuEnd = SPU_SAMPLES + bytes;

  /* One pass lasts up to the first block that ends the sample; a sample that loops (an end
   * block that repeats, other than the silent end block the utility appends) never ends. */
  s_looped = 0;
  for (block = 0; block < bytes / 16u; ++block) {
    uint32_t at = base + VAG_DATA + 16u * block, flags = RamRead8(at + 1);
    if ((flags & 1u) == 0) continue;
    if ((flags & 2u) && !(flags == 7u && RamRead8(at) == 0 && RamRead8(at + 2) == 0x77u)) s_looped = 1;
    break;
  }
  samples = (block + 1u) * 28u;
  ms = samples * 1000u / rate;
  s_lengthUs = (ms > 4000000u ? 4000000u : ms) * 1000u + 20000u;

  memset(voice, 0, sizeof *voice);
  VoiceAssign(VAG_VOICE, 0, 0);
  voice->priority = 127;
  voice->reverb = 1;
  voice->level = LEVEL_FULL;
  voice->ssa = (uint16_t)(SPU_SAMPLES >> 3);
  voice->adsr1 = 0x00FFu;
  voice->adsr2 = 0x1FEAu;
  /* The nearest step: a rate written as floor(step x 44100 / 4096) gives its step back. */
  voice->pitch = (uint16_t)ClampU32((rate * 4096u + 22050u) / 44100u, 1, 0x3FFFu);
  KeyVoice();
  s_active = 1;
  return 1;
}

void VagAdvance(uint32_t dtMicroseconds) {
  if (!s_active || s_looped) return;
  s_elapsedUs += dtMicroseconds;
  if (s_elapsedUs < s_lengthUs) return;
  ++s_passes;
  if (g_settings.playbackAmount == 0 || s_passes < g_settings.playbackAmount) {
    KeyVoice();
    return;
  }
  s_active = 0;
  if (g_settings.automaticStop) VoiceKeyOff(VAG_VOICE);
}

int VagBusy(void) { return s_active; }
