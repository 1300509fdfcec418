// The host stand-in for the PlayStation: see host_machine.h.
#include "host_machine.h"

#include <setjmp.h>
#include <string.h>

#include "driver/src/hw.h"

HostMachine g_host;
void (*g_hostRamWriteHook)(uint32_t address, uint32_t value);

static jmp_buf s_stop;
static uint32_t s_lastBeatUs, s_lastFrameUs;
static uint32_t s_stat;
static uint32_t s_dmaMadr, s_dmaBcr;

int DriverMain(void);

void HostReset(void) {
  memset(&g_host, 0, sizeof g_host);
  g_hostRamWriteHook = NULL;
  g_host.pollUs = 5;
  s_lastBeatUs = s_lastFrameUs = 0;
  s_stat = 0;
}

void HostWrite(uint32_t address, const void* data, uint32_t length) {
  uint32_t offset = address & 0x1FFFFFu;
  if (offset + length > HOST_RAM_SIZE) length = HOST_RAM_SIZE - offset;
  memcpy(g_host.ram + offset, data, length);
}

void HostWrite32(uint32_t address, uint32_t value) {
  uint8_t bytes[4] = {(uint8_t)value, (uint8_t)(value >> 8), (uint8_t)(value >> 16), (uint8_t)(value >> 24)};
  HostWrite(address, bytes, 4);
}

void HostWrite16(uint32_t address, uint16_t value) {
  uint8_t bytes[2] = {(uint8_t)value, (uint8_t)(value >> 8)};
  HostWrite(address, bytes, 2);
}

int HostRunDriver(uint32_t stopUs) {
  g_host.stopUs = stopUs;
  if (setjmp(s_stop) == 0) DriverMain();
  return g_host.eventCount;
}

static void Log(int voice, int on) {
  HostKeyEvent* e;
  if (g_host.eventCount >= HOST_MAX_EVENTS) return;
  e = &g_host.events[g_host.eventCount++];
  e->timeUs = g_host.timeUs;
  e->on = on;
  e->voice = voice;
  e->volL = g_host.spu[(16 * voice + 0) / 2];
  e->volR = g_host.spu[(16 * voice + 2) / 2];
  e->pitch = g_host.spu[(16 * voice + 4) / 2];
  e->ssa = g_host.spu[(16 * voice + 6) / 2];
  e->adsr1 = g_host.spu[(16 * voice + 8) / 2];
  e->adsr2 = g_host.spu[(16 * voice + 10) / 2];
}

static void KeyBits(uint32_t bits, int first, int on) {
  int v;
  for (v = 0; v < 16; ++v) {
    if (!(bits & (1u << v)) || first + v >= 24) continue;
    Log(first + v, on);
    g_host.voiceOn[first + v] = on;
    if (on)
      g_host.keyOnAt[first + v] = g_host.timeUs;
    else
      g_host.keyOffAt[first + v] = g_host.timeUs;
  }
}

void SpuWrite(uint32_t offset, uint16_t value) {
  if (offset >= 0x400u || (offset & 1u)) {
    ++g_host.badAccesses;
    return;
  }
  g_host.spu[offset / 2] = value;
  if (offset == 0x188u) KeyBits(value, 0, 1);
  if (offset == 0x18Au) KeyBits(value, 16, 1);
  if (offset == 0x18Cu) KeyBits(value, 0, 0);
  if (offset == 0x18Eu) KeyBits(value, 16, 0);
  if (offset == 0x198u) g_host.eon = value;
  if (offset == 0x1A2u) g_host.reverbBase = (uint32_t)value * 8u;
}

uint16_t SpuRead(uint32_t offset) {
  if (offset >= 0x400u || (offset & 1u)) {
    ++g_host.badAccesses;
    return 0;
  }
  if (offset == 0x1AEu) return g_host.spu[0x1AA / 2] & 0x3Fu;  // SPUSTAT mirrors the mode bits
  if (offset < 0x180u && (offset & 15u) == 0x0Cu) {
    // Envelope: up while keyed on, falling to 0 within 50 ms of a key off.
    int v = (int)(offset / 16u);
    if (g_host.voiceOn[v]) return 0x4000;
    return g_host.timeUs - g_host.keyOffAt[v] < 50000u ? 0x1000 : 0;
  }
  return g_host.spu[offset / 2];
}

// Every poll of the interrupt latch takes pollUs; the heartbeat and the video frame latch.
static void Advance(void) {
  g_host.timeUs += g_host.pollUs;
  if (g_host.timeUs - s_lastBeatUs >= 2500u) {
    s_lastBeatUs += 2500u;
    s_stat |= 0x40u;
  }
  if (g_host.timeUs - s_lastFrameUs >= 16667u) {
    s_lastFrameUs += 16667u;
    s_stat |= 0x01u;
  }
  if (g_host.timeUs >= g_host.stopUs) longjmp(s_stop, 1);
}

void IoWrite32(uint32_t address, uint32_t value) {
  switch (address) {
    case 0x1F801070u:
      s_stat &= value;  // writing 0 clears a bit
      break;
    case 0x1F8010C0u:
      s_dmaMadr = value;
      break;
    case 0x1F8010C4u:
      s_dmaBcr = value;
      break;
    case 0x1F8010C8u:
      if (value == 0x01000201u) {
        const uint32_t bytes = (s_dmaBcr >> 16) * (s_dmaBcr & 0xFFFFu) * 4u;
        if (s_dmaMadr + bytes > HOST_RAM_SIZE) ++g_host.badAccesses;  // the transfer reads beyond main RAM
        g_host.dmaBytes += bytes;
      }
      break;
    default:
      break;
  }
}

uint32_t IoRead32(uint32_t address) {
  if (address == 0x1F801070u) {
    Advance();
    return s_stat;
  }
  return 0;  // DMA done, counters idle
}

void IoWrite16(uint32_t address, uint16_t value) { IoWrite32(address, value); }
uint16_t IoRead16(uint32_t address) { return (uint16_t)IoRead32(address); }

static int InRam(uint32_t address, uint32_t length) {
  if (address < 0x80000000u || address - 0x80000000u + length > HOST_RAM_SIZE) {
    ++g_host.badAccesses;
    return 0;
  }
  return 1;
}

uint8_t RamRead8(uint32_t address) { return InRam(address, 1) ? g_host.ram[address - 0x80000000u] : 0; }

uint16_t RamRead16(uint32_t address) {
  if (!InRam(address, 2)) return 0;
  if (address & 1u) {
    ++g_host.badAccesses;  // the R3000 would fault
    return 0;
  }
  return (uint16_t)(g_host.ram[address - 0x80000000u] | (g_host.ram[address - 0x80000000u + 1] << 8));
}

uint32_t RamRead32(uint32_t address) {
  if (!InRam(address, 4)) return 0;
  if (address & 3u) {
    ++g_host.badAccesses;
    return 0;
  }
  return (uint32_t)RamRead16(address) | ((uint32_t)RamRead16(address + 2) << 16);
}

void RamWrite32(uint32_t address, uint32_t value) {
  if (!InRam(address, 4)) return;
  if (address & 3u) {
    ++g_host.badAccesses;
    return;
  }
  HostWrite32(address, value);
  if (g_hostRamWriteHook) g_hostRamWriteHook(address, value);
}

uint32_t RamAddressOf(const void* pointer) {
  (void)pointer;
  return 0x80000000u;  // the driver's own buffers: the stand-in does not copy DMA data
}

void DisableInterrupts(void) {}
