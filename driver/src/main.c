/* Start-up and the main loop: parameters, SPU and bank set-up, then services paced by root
 * counter 2 (a 2.5 ms heartbeat polled in the interrupt status latch, no interrupts taken). */
#include "driver.h"

Settings g_settings;

#define HEARTBEAT_US 2500u
#define HEARTBEAT_TARGET 10584u /* 2.5 ms at the system clock / 8 */
#define TIMER_MODE_HEARTBEAT 0x0258u
#define LOST_POLLS 300000u /* polls without a heartbeat before timing falls back */

/* Status block words, for RAM dumps and debuggers. */
#define ST_MARKER 0x00u
#define ST_HEARTBEATS 0x04u
#define ST_SERVICES 0x08u
#define ST_TICK0 0x0Cu
#define ST_TICK1 0x10u
#define ST_PASSES0 0x14u
#define ST_PASSES1 0x18u
#define ST_VOICES 0x1Cu
#define ST_MAX_COST 0x20u /* most microseconds of heartbeats during one service */
#define ST_LAST_COST 0x24u
#define ST_TIMING 0x28u
#define ST_MUTES 0x2Cu
#define ST_SONG_KIND 0x30u

enum { SONG_NONE = 0, SONG_SEQUENCE = 1, SONG_VAG = 2 };
enum { TIMING_COUNTER = 0, TIMING_VBLANK = 1, TIMING_POLLS = 2 };

static uint32_t P32(uint32_t offset) { return RamRead32(PARAMETER_BLOCK + offset); }
static uint32_t P16(uint32_t offset) { return RamRead16(PARAMETER_BLOCK + offset); }
static uint32_t P8(uint32_t offset) { return RamRead8(PARAMETER_BLOCK + offset); }
static uint32_t Or(uint32_t value, uint32_t fallback) { return value ? value : fallback; }

/* The parameters, with the utility's defaults where a value is 0. */
static void ReadSettings(void) {
  Settings* s = &g_settings;
  s->playbackType = Or(P32(PB_PLAYBACK_TYPE), 1);
  s->sequenceAddress =
      NormaliseRamAddress(Or(P32(PB_SEQUENCE_ADDRESS), s->playbackType == 2 ? 0x80030000u : 0x800A0000u));
  s->vhAddress = NormaliseRamAddress(Or(P32(PB_VH_ADDRESS), 0x800E0000u));
  s->vbAddress = NormaliseRamAddress(Or(P32(PB_VB_ADDRESS), 0x80160000u));
  s->sepPlayMode = P32(PB_SEP_PLAY_MODE);
  s->videoMode = P32(PB_VIDEO_MODE);
  s->channelOutput = P32(PB_CHANNEL_OUTPUT);
  s->transferMode = P16(PB_TRANSFER_MODE);
  s->playbackAmount = P32(PB_PLAYBACK_AMOUNT);
  s->automaticStop = P32(PB_AUTOMATIC_STOP);
  s->sequenceId[0] = P16(PB_SEQUENCE_ID1);
  s->sequenceId[1] = P16(PB_SEQUENCE_ID2);
  s->sequenceAmount = Or(P16(PB_SEQUENCE_AMOUNT), 1);
  s->masterVolume[0] = Or(P16(PB_MASTER_VOLUME_L), 127);
  s->masterVolume[1] = Or(P16(PB_MASTER_VOLUME_R), 127);
  s->reverbVolume[0] = Or(P16(PB_REVERB_VOLUME_L), 127);
  s->reverbVolume[1] = Or(P16(PB_REVERB_VOLUME_R), 127);
  s->sequenceVolume[0] = ClampU32(Or(P16(PB_SEQUENCE_VOLUME_L), 110), 0, 127);
  s->sequenceVolume[1] = ClampU32(Or(P16(PB_SEQUENCE_VOLUME_R), 110), 0, 127);
  s->rampVolume = ClampU32(P16(PB_RAMP_VOLUME), 0, 127);
  s->reverbMode = P32(PB_REVERB_MODE);
  s->reverbDepth[0] = Or(P16(PB_REVERB_DEPTH_L), 80);
  s->reverbDepth[1] = Or(P16(PB_REVERB_DEPTH_R), 80);
  s->reverbDelay = ClampU32(Or(P32(PB_REVERB_DELAY), 80), 0, 127);
  s->reverbFeedback = ClampU32(Or(P32(PB_REVERB_FEEDBACK), 80), 0, 127);
  s->nonZeroVolume = P32(PB_NON_ZERO_VOLUME);
  s->highPriority = P32(PB_HIGH_PRIORITY);
  s->customTempo = P32(PB_CUSTOM_TEMPO);
  s->customTempoValue = P16(PB_CUSTOM_TEMPO_VALUE);
  s->accelerando = ClampU32(P32(PB_ACCELERANDO), 0, 3600);
  s->ritardando = ClampU32(P32(PB_RITARDANDO), 0, 3600);
  s->crescendo = ClampU32(P32(PB_CRESCENDO), 0, 3600);
  s->decrescendo = ClampU32(P32(PB_DECRESCENDO), 0, 3600);
  s->tickSkip = P32(PB_TICK_SKIP);
  s->tickSkipUnit = P8(PB_TICK_SKIP_UNIT);
  s->tickSkipValue = P16(PB_TICK_SKIP_VALUE);
  s->tickMode = Or(P32(PB_TICK_MODE), 1);
  s->customResolution = P32(PB_CUSTOM_RESOLUTION);
  s->customTickRate = ClampU32(P32(PB_CUSTOM_TICK_RATE), 0, 400);
}

static uint32_t VideoRate(void) { return g_settings.videoMode ? 50u : 60u; }

/* Services per second for the tick settings; 0 means one per video frame. */
static uint32_t ServiceRate(void) {
  if (g_settings.customTickRate) return g_settings.customTickRate;
  switch (g_settings.tickMode) {
    case 1:
      return VideoRate();
    case 2:
      return 240;
    case 3:
      return 120;
    case 4:
      return 50;
    case 5:
      return 0;
    default:
      return 1000000u / HEARTBEAT_US;
  }
}

/* ---- Ramps: crescendo, decrescendo, accelerando, ritardando ---------------------------- */

static uint32_t s_elapsedMs;
static uint32_t s_elapsedRemainderUs;
static uint32_t s_rampLevel; /* last sequence level factor, 0..127; 0xFFFFFFFF = none yet */
static uint32_t s_speed;     /* song time per real time, 256 = as written */

/* Linear move from a to b over duration ms, t ms in. Long ramps count coarser, so that the
 * product of a distance (up to 2048) and t stays inside 32 bits. */
static uint32_t Ramp(uint32_t a, uint32_t b, uint32_t t, uint32_t duration) {
  if (t >= duration) return b;
  while (duration > 0xFFFFFu) {
    t >>= 1;
    duration >>= 1;
  }
  if (b >= a) return a + (b - a) * t / duration;
  return a - (a - b) * t / duration;
}

static uint32_t TargetSpeed(int faster) {
  uint32_t target = 0;
  if (g_settings.customTempoValue) {
    uint32_t targetUs = 60000000u / g_settings.customTempoValue;
    if (targetUs) target = (g_sequences[0].headerTempo << 8) / targetUs;
  }
  if (faster && target <= 256) target = 512;
  if (!faster && (target >= 256 || target == 0)) target = 128;
  return ClampU32(target, 32, 2048);
}

static void UpdateRamps(uint32_t dt) {
  uint32_t level = 127, t, cresc = g_settings.crescendo * 1000u, decresc = g_settings.decrescendo * 1000u;
  uint32_t accel = g_settings.accelerando * 1000u, rit = g_settings.ritardando * 1000u, i;

  s_elapsedRemainderUs += dt;
  if (s_elapsedMs < 0x7FFFFFFFu) {
    s_elapsedMs += s_elapsedRemainderUs / 1000u;
  }
  s_elapsedRemainderUs %= 1000u;
  t = s_elapsedMs;

  if (cresc && t < cresc) {
    level = Ramp(g_settings.rampVolume, 127, t, cresc);
  } else if (decresc) {
    level = Ramp(127, g_settings.rampVolume, cresc ? t - cresc : t, decresc);
  }
  if (level != s_rampLevel) {
    s_rampLevel = level;
    for (i = 0; i < SEQUENCE_SLOTS; ++i) {
      g_sequences[i].volume[0] = g_settings.sequenceVolume[0] * level / 127u;
      g_sequences[i].volume[1] = g_settings.sequenceVolume[1] * level / 127u;
    }
    SequencerRefreshVolumes();
  }

  if (accel && t < accel) {
    s_speed = Ramp(256, TargetSpeed(1), t, accel);
  } else if (rit) {
    uint32_t from = accel ? TargetSpeed(1) : 256;
    s_speed = Ramp(from, TargetSpeed(0), accel ? t - accel : t, rit);
  } else if (accel) {
    s_speed = TargetSpeed(1);
  }
}

/* ---- Service ------------------------------------------------------------------------ */

static uint32_t s_now;    /* song clock in microseconds */
static uint32_t s_frames; /* video frames seen (or made up from the clock) */
static uint32_t s_sinceBeat, s_sinceFrame, s_frameClock;
static int s_songKind;
static uint32_t s_heartbeats;
static uint32_t s_maxCost;
static uint32_t s_timing;

static void WriteStatus(uint32_t cost) {
  RamWrite32(STATUS_BLOCK + ST_HEARTBEATS, s_heartbeats);
  RamWrite32(STATUS_BLOCK + ST_SERVICES, g_serviceCount);
  RamWrite32(STATUS_BLOCK + ST_TICK0, g_sequences[0].tick);
  RamWrite32(STATUS_BLOCK + ST_TICK1, g_sequences[1].tick);
  RamWrite32(STATUS_BLOCK + ST_PASSES0, g_sequences[0].passes);
  RamWrite32(STATUS_BLOCK + ST_PASSES1, g_sequences[1].passes);
  RamWrite32(STATUS_BLOCK + ST_VOICES, VoicesBusy());
  RamWrite32(STATUS_BLOCK + ST_MAX_COST, s_maxCost);
  RamWrite32(STATUS_BLOCK + ST_LAST_COST, cost);
  RamWrite32(STATUS_BLOCK + ST_TIMING, s_timing);
  RamWrite32(STATUS_BLOCK + ST_MUTES, g_muteMask);
}

#ifdef LFQ_BENCH
void BenchRun(void);
uint32_t BenchResult(int k);
#endif
#ifdef LFQ_COST_PROBE
/* Test builds only. Main loop polls are counted between heartbeats while the song plays; at
 * 20 s the song stops and one voice (sample 1, pitch step 0x800 + value) reports for a second
 * each: from 20.5 s the fewest polls in one heartbeat, from 21.5 s the mean, from 22.5 s the
 * longest service in microseconds / 10, and with LFQ_BENCH from 23.5 s eight operation counts
 * for half a second each (bench.c). Compared with a render of no song, the polls give the time
 * the services take. */
static uint32_t s_probeUs;
static uint32_t s_pollsTotal, s_beatsCounted, s_pollsMin = 0xFFFFFFFFu;

static uint32_t ProbeValue(uint32_t t) {
  if (t < 21500000u) return s_pollsMin;
  if (t < 22500000u) return s_beatsCounted ? s_pollsTotal / s_beatsCounted : 0;
  if (t < 23500000u) return s_maxCost / 10u;
#ifdef LFQ_BENCH
  return BenchResult((int)((t - 23500000u) / 500000u));
#else
  return 0;
#endif
}

static int ProbeService(uint32_t dt) {
  Voice* voice = &g_voices[0];
  int v;
  s_probeUs += dt;
  if (s_probeUs < 20000000u) return 0;
  if (s_songKind != SONG_NONE) {
    s_songKind = SONG_NONE;
    for (v = 0; v < VOICE_COUNT; ++v) {
      VoiceKeyOff(v);
      g_voices[v].volL = g_voices[v].volR = 0;
      g_voices[v].dirty |= DIRTY_VOLUME;
    }
    return 1;
  }
  if (s_probeUs < 20500000u) return 1;
  if (voice->state != VOICE_ON) {
    VoiceAssign(0, 0, 0);
    voice->level = LEVEL_FULL;
    voice->panOffset = 0;
    voice->ssa = g_bank.sampleSsa[1];
    voice->adsr1 = 0x00FFu;
    voice->adsr2 = 0x1FC0u;
    g_sequences[0].channels[0].volume = 127;
    g_sequences[0].channels[0].expression = 127;
    g_sequences[0].channels[0].pan = 64;
    VoiceKeyOn(0);
    VoiceUpdateVolume(0);
  }
  voice->pitch = (uint16_t)ClampU32(0x800u + ProbeValue(s_probeUs), 1, 0x3FFFu);
  voice->dirty |= DIRTY_PITCH;
  return 1;
}
#endif

static void Service(uint32_t dt) {
  uint32_t begin = s_now, cost;
  ++g_serviceCount;
#ifdef LFQ_COST_PROBE
  if (ProbeService(dt)) {
    VoicesFlush();
    return;
  }
#endif
  VoicesReap();
  UpdateRamps(dt);
  if (s_songKind == SONG_SEQUENCE) {
    SequencerReadMutes();
    SequencerAdvance(dt * s_speed >> 8);
  } else if (s_songKind == SONG_VAG) {
    VagAdvance(dt);
  }
  VoicesFlush();

  /* Heartbeats that came while the service ran, as microseconds: 0 for a quick service. */
  cost = s_now - begin;
  if (cost > s_maxCost) s_maxCost = cost;
  WriteStatus(cost);
}

/* ---- Start-up and the main loop ------------------------------------------------------- */

static void StartHeartbeat(void) {
  IoWrite32(IO_I_MASK, IRQ_TIMER2 | IRQ_VBLANK);
  IoWrite32(IO_I_STAT, 0);
  IoWrite32(IO_T2_TARGET, HEARTBEAT_TARGET); /* the target first: a zero target is not safe */
  IoWrite32(IO_T2_MODE, TIMER_MODE_HEARTBEAT);
}

/* ---- Clock ------------------------------------------------------------------------- */

#define POLLS_PER_BEAT 1000u /* rough stand-in for a heartbeat when the player gives none */

#ifdef LFQ_COST_PROBE
static uint32_t s_polls;
#endif

int ClockPoll(void) {
  uint32_t stat = IoRead32(IO_I_STAT);
  if (stat & IRQ_TIMER2) IoWrite32(IO_I_STAT, ~IRQ_TIMER2);
  if (stat & IRQ_VBLANK) {
    IoWrite32(IO_I_STAT, ~IRQ_VBLANK);
    ++s_frames;
  }
  if (stat & IRQ_TIMER2) {
#ifdef LFQ_COST_PROBE
    if (s_probeUs > 100000u && s_probeUs < 20000000u) {
      if (s_polls < s_pollsMin) s_pollsMin = s_polls;
      s_pollsTotal += s_polls;
      ++s_beatsCounted;
    }
    s_polls = 0;
#endif
    s_now += HEARTBEAT_US;
    ++s_heartbeats;
    s_sinceBeat = 0;
    s_timing = TIMING_COUNTER;
    return 1;
  }
  /* No heartbeat for long: the player runs no root counters. Take time from video frames,
   * and without those from the number of polls. */
  if (s_sinceBeat < LOST_POLLS) {
    ++s_sinceBeat;
    return 0;
  }
  if (stat & IRQ_VBLANK) {
    s_now += 1000000u / VideoRate();
    s_sinceFrame = 0;
    s_timing = TIMING_VBLANK;
  } else if (++s_sinceFrame >= LOST_POLLS + POLLS_PER_BEAT) {
    s_sinceFrame = LOST_POLLS;
    s_now += HEARTBEAT_US;
    s_timing = TIMING_POLLS;
    s_frameClock += HEARTBEAT_US;
    if (s_frameClock >= 1000000u / VideoRate()) {
      s_frameClock -= 1000000u / VideoRate();
      ++s_frames;
    }
  }
  return 0;
}

/* Every variable starts from here, not from initialised data: the program owns the machine
 * once, but a test harness may start it again. */
static void ResetState(void) {
  s_elapsedMs = s_elapsedRemainderUs = 0;
  s_rampLevel = 0xFFFFFFFFu;
  s_speed = 256;
  s_now = s_frames = s_sinceBeat = s_sinceFrame = s_frameClock = 0;
  s_heartbeats = s_maxCost = 0;
  s_timing = TIMING_COUNTER;
  g_serviceCount = 0;
}

#ifdef LFQ_HOST
#define main DriverMain /* on the build host the test harness calls the driver as a function */
#endif

int main(void) {
  uint32_t lastService = 0, nextService = 0, period = 0, rate, lastFrames = 0;

  DisableInterrupts();
  ResetState();
  IoWrite32(IO_I_MASK, 0);
  IoWrite32(IO_I_STAT, 0);
  ReadSettings();
  RamWrite32(STATUS_BLOCK + ST_MARKER, 0x4451464Cu); /* "LFQD" */

  VoicesInit();
  SpuInit();
  BankLoad();
  s_songKind = SONG_NONE;
  if (SequencerStart()) {
    s_songKind = SONG_SEQUENCE;
  } else if (VagStart()) {
    s_songKind = SONG_VAG;
  }
  g_reverbOn = SpuSetupReverb(g_bank.spuEnd);
  SpuSetMasterVolume();
  RamWrite32(STATUS_BLOCK + ST_SONG_KIND, (uint32_t)s_songKind);
  UpdateRamps(0);
  VoicesFlush(); /* a VAG keys its voice at once */

  rate = ServiceRate();
  if (rate) period = 1000000u / rate;
  nextService = period;
  s_timing = TIMING_COUNTER;
  StartHeartbeat();
#ifdef LFQ_BENCH
  BenchRun();
#endif
  Service(0); /* events at tick 0 sound at once */

  for (;;) {
    uint32_t at;
#ifdef LFQ_COST_PROBE
    ++s_polls;
#endif
    ClockPoll();
    if (period == 0) {
      if (s_frames == lastFrames) continue; /* one service per video frame */
      lastFrames = s_frames;
    } else {
      if ((int32_t)(s_now - nextService) < 0) continue;
      nextService += period;
      if ((int32_t)(s_now - nextService) >= 0) nextService = s_now + period; /* fell behind: do not hurry */
    }
    /* Heartbeats that come while the service runs count toward the next one. */
    at = s_now;
    Service(at - lastService);
    lastService = at;
  }
  return 0;
}
