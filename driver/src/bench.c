/* Test builds only (LFQ_BENCH, with LFQ_COST_PROBE): counts how many of a few driver operations
 * fit in one 2.5 ms heartbeat, at start-up, for the cost probe to report. */
#include "driver.h"

#ifdef LFQ_BENCH

#define BENCH_COUNT 8
#define BENCH_BEATS 8u

static uint32_t s_results[BENCH_COUNT];

static void WaitBeat(void) {
  uint32_t n;
  for (n = 0; n < 1000000u && !(IoRead32(IO_I_STAT) & IRQ_TIMER2); ++n) {
  }
  IoWrite32(IO_I_STAT, ~IRQ_TIMER2);
}

static uint32_t CountOps(int op) {
  uint32_t beats = 0, n = 0;
  Tone tone;
  WaitBeat();
  while (beats < BENCH_BEATS && n < 10000000u) {
    if (IoRead32(IO_I_STAT) & IRQ_TIMER2) {
      IoWrite32(IO_I_STAT, ~IRQ_TIMER2);
      ++beats;
    }
    switch (op) {
      case 1:
        g_voices[0].volL ^= 1u;
        VoiceUpdateVolume(0);
        break;
      case 2:
        g_voices[0].pitch ^= 1u;
        VoiceUpdatePitch(0);
        break;
      case 3:
        VoiceAllocate(64);
        break;
      case 4:
        BankGetTone(0, 0, 60, &tone);
        break;
      case 5:
        (void)SpuRead(SPU_VOICE_ENVX(3));
        break;
      case 6:
        VoicesReap();
        break;
      case 7:
        (void)PitchStep((int32_t)n & 0x3FF);
        break;
      default:
        break;
    }
    ++n;
  }
  return n / BENCH_BEATS;
}

void BenchRun(void) {
  int v, op;
  for (v = 0; v < VOICE_COUNT; ++v) {
    g_voices[v].state = VOICE_ON;
    g_voices[v].startedAt = 0;
    g_voices[v].priority = 64;
  }
  g_freeVoices = 0;
  g_serviceCount = 10;
  for (op = 0; op < BENCH_COUNT; ++op) s_results[op] = CountOps(op);
  for (v = 0; v < VOICE_COUNT; ++v) g_voices[v].state = VOICE_FREE;
  g_freeVoices = (1u << VOICE_COUNT) - 1u;
  g_serviceCount = 0;
}

uint32_t BenchResult(int k) { return s_results[k & (BENCH_COUNT - 1)]; }

#else
typedef int BenchUnused; /* keeps the translation unit non-empty */
#endif
