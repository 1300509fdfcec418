/* SPU set-up: registers to a known state, sample upload by DMA channel 4, reverb. */
#include "driver.h"
#include "tables.h"

/* Polls before a hardware wait gives up; players may never report the state waited for. */
#define WAIT_POLLS 4000u
#define DMA_WAIT_POLLS 200000u

/* One DMA block is 16 words. */
#define DMA_BLOCK_BYTES 64u

static uint32_t s_transferBuffer[256]; /* 1 KiB: zeros for the reverb area, bounce for unaligned data */

static int s_statusMirrors; /* SPUSTAT shows the SPUCNT mode bits (hardware; not every player) */

static void WaitSpuMode(uint16_t mode) {
  uint32_t n;
  if (!s_statusMirrors) return;
  for (n = 0; n < WAIT_POLLS; ++n) {
    if ((SpuRead(SPU_STAT) & 0x3Fu) == (mode & 0x3Fu)) return;
  }
}

static void SetSpuControl(uint16_t value) {
  SpuWrite(SPU_CNT, value);
  WaitSpuMode(value);
}

static uint16_t s_controlRunning = SPUCNT_ON;

void SpuInit(void) {
  uint32_t v, n;
  /* Does the status register follow the control register? Players that never show the mode
   * bits would make every later wait run to its bound. */
  s_statusMirrors = 0;
  SpuWrite(SPU_CNT, SPUCNT_ON | SPUCNT_DMA_WRITE);
  for (n = 0; n < WAIT_POLLS && !s_statusMirrors; ++n)
    if ((SpuRead(SPU_STAT) & 0x3Fu) == SPUCNT_DMA_WRITE) s_statusMirrors = 1;
  SpuWrite(SPU_CNT, 0);
  WaitSpuMode(0);
  SpuWrite(SPU_TCTRL, 4);
  SpuWrite(SPU_MVOLL, 0);
  SpuWrite(SPU_MVOLR, 0);
  SpuWrite(SPU_VLOUT, 0);
  SpuWrite(SPU_VROUT, 0);
  SpuWrite(SPU_CDVOLL, 0);
  SpuWrite(SPU_CDVOLR, 0);
  SpuWrite(SPU_EXTVOLL, 0);
  SpuWrite(SPU_EXTVOLR, 0);
  SpuWrite(SPU_KOFF0, 0xFFFFu);
  SpuWrite(SPU_KOFF1, 0x00FFu);
  SpuWrite(SPU_PMON0, 0);
  SpuWrite(SPU_PMON1, 0);
  SpuWrite(SPU_NON0, 0);
  SpuWrite(SPU_NON1, 0);
  SpuWrite(SPU_EON0, 0);
  SpuWrite(SPU_EON1, 0);
  for (v = 0; v < VOICE_COUNT; ++v) {
    SpuWrite(SPU_VOICE_VOLL(v), 0);
    SpuWrite(SPU_VOICE_VOLR(v), 0);
    SpuWrite(SPU_VOICE_PITCH(v), 0x1000u);
    SpuWrite(SPU_VOICE_SSA(v), SPU_SILENT_BLOCK >> 3);
    SpuWrite(SPU_VOICE_ADSR1(v), 0x00FFu);
    SpuWrite(SPU_VOICE_ADSR2(v), 0x0000u);
  }
  s_controlRunning = SPUCNT_ON;
  SetSpuControl(SPUCNT_ON);

  /* The idle block every voice points at: silence, loop flags on itself. */
  memset(s_transferBuffer, 0, sizeof s_transferBuffer);
  ((uint8_t*)s_transferBuffer)[1] = 0x07;
  SpuUpload(SPU_SILENT_BLOCK, RamAddressOf(s_transferBuffer), 16);
  ((uint8_t*)s_transferBuffer)[1] = 0;
}

/* One DMA transfer of whole 64-byte blocks from a word-aligned RAM address. */
static void DmaToSpu(uint32_t spuAddress, uint32_t ramAddress, uint32_t blocks) {
  uint32_t n;
  SetSpuControl(s_controlRunning);
  SpuWrite(SPU_TSA, (uint16_t)(spuAddress >> 3));
  SetSpuControl((uint16_t)(s_controlRunning | SPUCNT_DMA_WRITE));
  IoWrite32(IO_DPCR, IoRead32(IO_DPCR) | 0x00080000u);
  IoWrite32(IO_DMA4_MADR, ramAddress & 0x00FFFFFCu);
  IoWrite32(IO_DMA4_BCR, (blocks << 16) | 16u);
  IoWrite32(IO_DMA4_CHCR, 0x01000201u);
  for (n = 0; n < DMA_WAIT_POLLS; ++n) {
    if ((IoRead32(IO_DMA4_CHCR) & 0x01000000u) == 0) break;
  }
  SetSpuControl(s_controlRunning);
}

uint32_t SpuUpload(uint32_t spuAddress, uint32_t ramAddress, uint32_t bytes) {
  uint32_t done = 0;
  if (spuAddress >= SPU_RAM_SIZE) return 0;
  if (bytes > SPU_RAM_SIZE - spuAddress) bytes = SPU_RAM_SIZE - spuAddress;
  spuAddress &= ~7u;
  if ((ramAddress & 3u) == 0 && g_settings.transferMode == 0) {
    /* Whole blocks straight from the song data; the last block may carry up to 60 bytes past
     * the end, which lands in SPU RAM above the data and is overwritten or unused. Near the end
     * of RAM that block would read beyond it: the rest then goes through the bounce buffer. */
    uint32_t blocks = (bytes + DMA_BLOCK_BYTES - 1) / DMA_BLOCK_BYTES;
    if (blocks * DMA_BLOCK_BYTES > RAM_END - ramAddress) blocks = bytes / DMA_BLOCK_BYTES;
    while (blocks > 0) {
      uint32_t part = blocks > 0xFFFFu ? 0xFFFFu : blocks;
      DmaToSpu(spuAddress + done, ramAddress + done, part);
      done += part * DMA_BLOCK_BYTES;
      blocks -= part;
    }
    if (done >= bytes) return bytes;
  }
  /* Unaligned source, transfer mode non-zero or the tail at the end of RAM: through the bounce
   * buffer, 1 KiB at a time. */
  while (done < bytes) {
    uint32_t part = bytes - done;
    uint32_t i;
    uint8_t* out = (uint8_t*)s_transferBuffer;
    if (part > sizeof s_transferBuffer) part = sizeof s_transferBuffer;
    for (i = 0; i < part; ++i) out[i] = RamRead8(ramAddress + done + i);
    for (; i < sizeof s_transferBuffer; ++i) out[i] = 0;
    DmaToSpu(spuAddress + done, RamAddressOf(s_transferBuffer), (part + DMA_BLOCK_BYTES - 1) / DMA_BLOCK_BYTES);
    done += part;
  }
  memset(s_transferBuffer, 0, sizeof s_transferBuffer);
  return bytes;
}

static uint16_t Negated(uint32_t magnitude) { return (uint16_t)(0x10000u - magnitude); }

int SpuSetupReverb(uint32_t usedEnd) {
  const ReverbPreset* preset;
  uint32_t base, i, mode = g_settings.reverbMode;
  uint16_t regs[32];

  if (mode >= REVERB_PRESET_COUNT) mode = 0;
  preset = &REVERB_PRESETS[mode];
  base = (SPU_RAM_SIZE - preset->workSize) & ~7u;
  if (mode != 0 && base < ((usedEnd + DMA_BLOCK_BYTES - 1) & ~(DMA_BLOCK_BYTES - 1))) mode = 0; /* no room */
  if (mode == 0) {
    preset = &REVERB_PRESETS[0];
    base = (SPU_RAM_SIZE - preset->workSize) & ~7u;
  }

  /* Off while the work area is set up. */
  SetSpuControl(s_controlRunning & (uint16_t)~SPUCNT_REVERB);
  SpuWrite(SPU_VLOUT, 0);
  SpuWrite(SPU_VROUT, 0);
  SpuWrite(SPU_EON0, 0);
  SpuWrite(SPU_EON1, 0);
  SpuWrite(SPU_TCTRL, 4);
  SpuWrite(SPU_MBASE, (uint16_t)(base >> 3));

  if (mode != 0) {
    /* The transfer buffer is all zeros here. */
    uint32_t at;
    for (at = base; at < SPU_RAM_SIZE; at += sizeof s_transferBuffer) {
      uint32_t part = SPU_RAM_SIZE - at;
      if (part > sizeof s_transferBuffer) part = sizeof s_transferBuffer;
      DmaToSpu(at, RamAddressOf(s_transferBuffer), (part + DMA_BLOCK_BYTES - 1) / DMA_BLOCK_BYTES);
    }
  }

  for (i = 0; i < 32; ++i) regs[i] = preset->registers[i];
  if (mode == REVERB_ECHO || mode == REVERB_DELAY) {
    uint32_t d = g_settings.reverbDelay * 0x20u;
    if (d < 1) d = 1;
    if (d > 0xFFEu) d = 0xFFEu;
    regs[RV_MLCOMB1] = regs[RV_DLSAME] = (uint16_t)(0x1FFFu - d);
    regs[RV_MRCOMB1] = regs[RV_DRSAME] = (uint16_t)(0x0FFFu - d);
    regs[RV_VWALL] = mode == REVERB_ECHO ? Negated(ClampU32(g_settings.reverbFeedback, 0, 127) * 256u) : 0;
  }
  if (mode != 0) {
    regs[RV_VLIN] = Negated(ClampU32(g_settings.reverbVolume[0], 0, 127) * 0x8000u / 127u);
    regs[RV_VRIN] = Negated(ClampU32(g_settings.reverbVolume[1], 0, 127) * 0x8000u / 127u);
  }
  for (i = 0; i < 32; ++i) SpuWrite(SPU_REVERB_REGS + 2u * i, regs[i]);

  if (mode == 0) {
    s_controlRunning = SPUCNT_ON;
    SetSpuControl(s_controlRunning);
    return 0;
  }
  SpuWrite(SPU_VLOUT, (uint16_t)(ClampU32(g_settings.reverbDepth[0], 0, 127) * 0x7FFFu / 127u));
  SpuWrite(SPU_VROUT, (uint16_t)(ClampU32(g_settings.reverbDepth[1], 0, 127) * 0x7FFFu / 127u));
  s_controlRunning = SPUCNT_ON | SPUCNT_REVERB;
  SetSpuControl(s_controlRunning);
  return 1;
}

/* The main volume stays full: some players ignore it, so the master volume is applied to
 * every voice instead (VoiceUpdateVolume). */
void SpuSetMasterVolume(void) {
  SpuWrite(SPU_MVOLL, 0x3FFFu);
  SpuWrite(SPU_MVOLR, 0x3FFFu);
}
