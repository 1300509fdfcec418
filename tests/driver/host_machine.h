// A small stand-in for the PlayStation that the driver's C code runs against on the build host:
// 2 MiB of main RAM, SPU registers with a log of key ons and key offs, the interrupt latch with a
// 2.5 ms heartbeat, and a clock that advances with every poll of the latch.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define HOST_RAM_SIZE 0x200000u

// One key on or key off as the SPU saw it, with the voice's registers at that moment.
typedef struct HostKeyEvent {
  uint32_t timeUs;  // simulated time
  int on;           // 1 key on, 0 key off
  int voice;
  uint16_t pitch, ssa, adsr1, adsr2, volL, volR;
} HostKeyEvent;

#define HOST_MAX_EVENTS 20000

typedef struct HostMachine {
  uint8_t ram[HOST_RAM_SIZE];
  uint16_t spu[0x200];  // SPU registers by offset / 2
  uint32_t timeUs;      // simulated time
  uint32_t stopUs;      // the run ends when the time reaches this
  uint32_t pollUs;      // time one poll of the interrupt latch takes
  uint32_t keyOnAt[24], keyOffAt[24];
  int voiceOn[24];
  HostKeyEvent events[HOST_MAX_EVENTS];
  int eventCount;
  int badAccesses;      // RAM reads or writes outside main RAM (DMA sources included)
  uint32_t dmaBytes;    // bytes moved to SPU RAM by DMA
  uint32_t reverbBase;  // last work area start written, in bytes
  uint16_t eon;         // reverb voices 0-15
} HostMachine;

// The machine the driver's accessors use; HostReset clears it.
extern HostMachine g_host;

void HostReset(void);
void HostWrite(uint32_t address, const void* data, uint32_t length);
void HostWrite32(uint32_t address, uint32_t value);
void HostWrite16(uint32_t address, uint16_t value);
// Called after each 32-bit word the driver writes to main RAM (the status block, once a service), with the
// simulated time in g_host; none while NULL. HostReset clears it.
extern void (*g_hostRamWriteHook)(uint32_t address, uint32_t value);

// Runs the driver from its entry until the simulated time reaches stopUs; returns the number of
// key events logged.
int HostRunDriver(uint32_t stopUs);

#ifdef __cplusplus
}
#endif
