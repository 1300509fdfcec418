/* The sound bank as placed in RAM: the VH indexed once at start-up, the VB uploaded to SPU RAM.
 *
 * VH layout (little-endian):
 *   +0x00  32-byte header: +0x12 u16 tone block count, +0x14 u16 tone count, +0x16 u16 sample
 *          count, +0x18 u8 bank volume, +0x19 u8 bank pan
 *   +0x20  128 program records of 16 bytes: +0 tone count, +1 volume, +2 priority, +3 mode, +4 pan
 *   +0x820 tone blocks, 16 records of 32 bytes each, handed out in program order to the programs
 *          whose tone count is not 0
 *   then   the sample size table: 256 u16, entry n = size of sample n (from 1) in 8-byte units */
#include "driver.h"

Bank g_bank;

#define VH_HEADER 0x20u
#define VH_PROGRAMS 0x800u
#define VH_TONE_BLOCK 0x200u
#define VH_SIZE_TABLE 0x200u

static uint32_t Read16(uint32_t address) { return RamRead8(address) | ((uint32_t)RamRead8(address + 1) << 8); }

void BankLoad(void) {
  uint32_t vh = g_settings.vhAddress, vb = g_settings.vbAddress;
  uint32_t blocks, samples, p, block, sizes, n, spu, vbBytes;

  memset(&g_bank, 0, sizeof g_bank);
  g_bank.spuEnd = SPU_SAMPLES;
  if (vh < 0x80010000u || vh > RAM_END - (VH_HEADER + VH_PROGRAMS + VH_SIZE_TABLE)) return;
  blocks = Read16(vh + 0x12);
  samples = Read16(vh + 0x16);
  if (blocks == 0 || blocks > 128 || samples > 255) return;
  sizes = vh + VH_HEADER + VH_PROGRAMS + VH_TONE_BLOCK * blocks;
  if (sizes + VH_SIZE_TABLE > RAM_END) return;

  g_bank.vh = vh;
  g_bank.programCount = blocks;
  g_bank.toneCount = Read16(vh + 0x14);
  g_bank.sampleCount = samples;
  g_bank.volume = RamRead8(vh + 0x18) & 0x7Fu;
  g_bank.pan = RamRead8(vh + 0x19) & 0x7Fu;

  /* Tone blocks go to the used programs in order. */
  block = 0;
  for (p = 0; p < 128; ++p) {
    uint32_t record = vh + VH_HEADER + 16u * p;
    uint32_t tones = RamRead8(record);
    g_bank.programVolume[p] = RamRead8(record + 1) & 0x7Fu;
    g_bank.programPan[p] = RamRead8(record + 4) & 0x7Fu;
    if (tones == 0 || block >= blocks) continue;
    g_bank.toneBlock[p] = vh + VH_HEADER + VH_PROGRAMS + VH_TONE_BLOCK * block;
    g_bank.toneCountOf[p] = (uint8_t)(tones > 16 ? 16 : tones);
    ++block;
  }

  /* Samples lie back to back from the start of the VB; upload what fits in SPU RAM. */
  if (vb < 0x80010000u || vb >= RAM_END) return;
  spu = SPU_SAMPLES;
  for (n = 1; n <= samples; ++n) {
    uint32_t bytes = Read16(sizes + 2u * n) * 8u;
    if (bytes == 0) continue;
    if (spu + bytes > SPU_RAM_SIZE) break;
    g_bank.sampleSsa[n] = (uint16_t)(spu >> 3);
    spu += bytes;
  }
  vbBytes = spu - SPU_SAMPLES;
  if (vb + vbBytes > RAM_END) {
    /* A VB running past the end of RAM: keep only the samples inside it. */
    for (n = 1; n <= samples; ++n) {
      uint32_t bytes = Read16(sizes + 2u * n) * 8u;
      uint32_t at = (uint32_t)g_bank.sampleSsa[n] << 3;
      if (at != 0 && vb + (at - SPU_SAMPLES) + bytes > RAM_END) g_bank.sampleSsa[n] = 0;
    }
    vbBytes = RAM_END - vb;
  }
  if (vbBytes > 0) SpuUpload(SPU_SAMPLES, vb, vbBytes);
  g_bank.spuEnd = SPU_SAMPLES + vbBytes;
}

int BankGetTone(uint32_t program, uint32_t t, uint32_t note, Tone* tone) {
  uint32_t record, sample;
  if (g_bank.vh == 0 || program >= 128 || t >= g_bank.toneCountOf[program]) return 0;
  record = g_bank.toneBlock[program] + 32u * t;
  if (note < RamRead8(record + 6) || note > RamRead8(record + 7)) return 0;
  sample = Read16(record + 22);
  if (sample == 0 || sample > g_bank.sampleCount || g_bank.sampleSsa[sample] == 0) return 0;
  tone->priority = RamRead8(record + 0);
  tone->mode = RamRead8(record + 1);
  tone->volume = RamRead8(record + 2) & 0x7Fu;
  tone->pan = RamRead8(record + 3) & 0x7Fu;
  tone->centre = RamRead8(record + 4) & 0x7Fu;
  tone->fine = RamRead8(record + 5) & 0x7Fu;
  tone->low = RamRead8(record + 6);
  tone->high = RamRead8(record + 7);
  tone->bendDown = RamRead8(record + 12);
  tone->bendUp = RamRead8(record + 13);
  tone->adsr1 = (uint16_t)Read16(record + 16);
  tone->adsr2 = (uint16_t)Read16(record + 18);
  tone->ssa = g_bank.sampleSsa[sample];
  return 1;
}
