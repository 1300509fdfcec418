/* The playback driver's shared state and the interfaces between its parts. */
#ifndef LFQ_DRIVER_DRIVER_H
#define LFQ_DRIVER_DRIVER_H

#include <stdint.h>

#include "hw.h"

/* ---- Fixed blocks the utility fills in after the program is built ---------------------- */

#define MUTE_BLOCK 0x80022860u      /* 16 mute words, enable word, mask */
#define PARAMETER_BLOCK 0x800228A8u /* 196 bytes of parameters */
#define STATUS_BLOCK 0x8002296Cu    /* 164 bytes the driver writes while it runs */

/* ParameterBlock offsets and widths. */
#define PB_SEQUENCE_ADDRESS 0x00u   /* u32 */
#define PB_VH_ADDRESS 0x04u         /* u32 */
#define PB_VB_ADDRESS 0x08u         /* u32 */
#define PB_PLAYBACK_TYPE 0x18u      /* u32 */
#define PB_SEP_PLAY_MODE 0x1Cu      /* u32 */
#define PB_VIDEO_MODE 0x20u         /* u32 */
#define PB_CHANNEL_OUTPUT 0x24u     /* u32 */
#define PB_TRANSFER_MODE 0x28u      /* u16 */
#define PB_PLAYBACK_AMOUNT 0x2Cu    /* u32 */
#define PB_VAB_ID 0x34u             /* u16 */
#define PB_SEQUENCE_ID1 0x36u       /* u16 */
#define PB_SEQUENCE_ID2 0x38u       /* u16 */
#define PB_SEQUENCE_AMOUNT 0x3Cu    /* u16 */
#define PB_AUTOMATIC_STOP 0x40u     /* u32 */
#define PB_MASTER_VOLUME_L 0x6Cu    /* u16 */
#define PB_MASTER_VOLUME_R 0x6Eu    /* u16 */
#define PB_REVERB_VOLUME_L 0x70u    /* u16 */
#define PB_REVERB_VOLUME_R 0x72u    /* u16 */
#define PB_SEQUENCE_VOLUME_L 0x74u  /* u16 */
#define PB_SEQUENCE_VOLUME_R 0x76u  /* u16 */
#define PB_RAMP_VOLUME 0x78u        /* u16, "De/Crescendo Volume" */
#define PB_REVERB_MODE 0x80u        /* u32 */
#define PB_REVERB_DEPTH_L 0x84u     /* u16 */
#define PB_REVERB_DEPTH_R 0x86u     /* u16 */
#define PB_REVERB_DELAY 0x88u       /* u32 */
#define PB_REVERB_FEEDBACK 0x8Cu    /* u32 */
#define PB_NON_ZERO_VOLUME 0x90u    /* u32 */
#define PB_HIGH_PRIORITY 0x94u      /* u32 */
#define PB_CUSTOM_TEMPO 0x98u       /* u32 flag */
#define PB_ACCELERANDO 0x9Cu        /* u32 */
#define PB_CRESCENDO 0xA0u          /* u32 */
#define PB_DECRESCENDO 0xA4u        /* u32 */
#define PB_RITARDANDO 0xA8u         /* u32 */
#define PB_TICK_SKIP 0xACu          /* u32 flag */
#define PB_CUSTOM_TEMPO_VALUE 0xB0u /* u16 */
#define PB_TICK_MODE 0xB4u          /* u32 */
#define PB_CUSTOM_RESOLUTION 0xB8u  /* u32 */
#define PB_CUSTOM_TICK_RATE 0xBCu   /* u32 */
#define PB_TICK_SKIP_UNIT 0xC0u     /* u8 */
#define PB_TICK_SKIP_VALUE 0xC2u    /* u16 */

/* The parameters as the driver uses them, zeros replaced by the utility's defaults. */
typedef struct Settings {
  uint32_t sequenceAddress, vhAddress, vbAddress;
  uint32_t playbackType, sepPlayMode, videoMode, channelOutput, transferMode;
  uint32_t playbackAmount, automaticStop;
  uint32_t sequenceId[2], sequenceAmount;
  uint32_t masterVolume[2], reverbVolume[2], sequenceVolume[2], rampVolume;
  uint32_t reverbMode, reverbDepth[2], reverbDelay, reverbFeedback;
  uint32_t nonZeroVolume, highPriority;
  uint32_t customTempo, customTempoValue, accelerando, ritardando, crescendo, decrescendo;
  uint32_t tickSkip, tickSkipUnit, tickSkipValue;
  uint32_t tickMode, customResolution, customTickRate;
} Settings;

extern Settings g_settings;

/* ---- Limits ----------------------------------------------------------------------------- */

#define VOICE_COUNT 24
#define CHANNEL_COUNT 16
#define SEQUENCE_SLOTS 2
#define RAM_START 0x80000000u
#define RAM_END 0x80200000u
#define SEQUENCE_REGION_SIZE 0x40000u

/* SPU RAM */
#define SPU_RAM_SIZE 0x80000u
#define SPU_SILENT_BLOCK 0x1000u
#define SPU_SAMPLES 0x1010u

/* ---- Sound bank ----------------------------------------------------------------------- */

/* A tone as a note-on needs it, decoded from its 32-byte record. */
typedef struct Tone {
  uint8_t priority, mode, volume, pan, centre, fine, low, high, bendDown, bendUp;
  uint16_t adsr1, adsr2, ssa; /* ssa: start address / 8 in SPU RAM */
} Tone;

typedef struct Bank {
  uint32_t vh; /* 0 when no usable bank */
  uint32_t programCount, toneCount, sampleCount;
  uint8_t volume, pan;
  uint32_t toneBlock[128];  /* PS address of each program's 16 tone records, 0 = no tones */
  uint8_t toneCountOf[128]; /* tones used in each program's block */
  uint8_t programVolume[128], programPan[128];
  uint16_t sampleSsa[256]; /* SPU address / 8 of sample number n (1-based); 0 = not uploaded */
  uint32_t spuEnd;         /* first SPU RAM byte after the uploaded samples */
} Bank;

extern Bank g_bank;

/* Prepares the bank index from the VH and uploads the VB; leaves an empty bank when the VH is
 * unusable. */
void BankLoad(void);
/* Decodes tone t of a program if it answers the note; 0 when the program has no such tone, the
 * note lies outside its key range or its sample is missing. */
int BankGetTone(uint32_t program, uint32_t t, uint32_t note, Tone* tone);

/* ---- SPU -------------------------------------------------------------------------------- */

void SpuInit(void);
/* Copies bytes from RAM into SPU RAM by DMA; returns the number of bytes moved. */
uint32_t SpuUpload(uint32_t spuAddress, uint32_t ramAddress, uint32_t bytes);
/* Sets up reverb for the current settings above the given SPU RAM end; returns 1 if on. */
int SpuSetupReverb(uint32_t usedEnd);
void SpuSetMasterVolume(void);

/* ---- Voices ------------------------------------------------------------------------------ */

enum { VOICE_FREE = 0, VOICE_ON, VOICE_SUSTAINED, VOICE_RELEASING };

typedef struct Voice {
  uint8_t state, owner, channel, note; /* owner: sequence slot, or 2 for the VAG voice */
  uint8_t priority, bendDown, bendUp, reverb;
  int16_t panOffset; /* tone + program + bank pan offsets from centre */
  uint16_t level;    /* velocity x tone x program x bank, 0..LEVEL_FULL */
  int32_t pitchBase; /* 1/128 semitones relative to the centre note */
  uint16_t ssa, adsr1, adsr2;
  uint16_t volL, volR, pitch; /* register values */
  uint8_t dirty;              /* DIRTY_* bits to write at the next flush */
  uint32_t startedAt;         /* service number of the key on */
  uint8_t silent;             /* sounding, but its envelope was found at 0 */
  uint8_t pad[3];
} Voice;

#define DIRTY_VOLUME 1u
#define DIRTY_PITCH 2u
#define DIRTY_SOURCE 4u

extern Voice g_voices[VOICE_COUNT];
extern uint32_t g_freeVoices;                                   /* bit v: voice v is free */
extern uint32_t g_channelVoices[SEQUENCE_SLOTS][CHANNEL_COUNT]; /* voices of each channel */
extern uint32_t g_keyOn, g_keyOff, g_reverbVoices;
extern uint32_t g_serviceCount;
extern int g_reverbOn;

void VoicesInit(void);
/* Picks a voice for a new tone of the given priority, or -1 to drop the note. */
int VoiceAllocate(uint32_t priority);
/* Takes a voice (free or stolen) for a channel of a sequence slot. */
void VoiceAssign(int v, uint32_t owner, uint32_t channel);
int LowestBit(uint32_t mask);
/* Marks a prepared voice for key on at the next flush (cancelling a pending key off). */
void VoiceKeyOn(int v);
void VoiceKeyOff(int v);
/* Recomputes the volume or pitch registers of a voice from its sequence and channel. */
void VoiceUpdateVolume(int v);
void VoiceUpdatePitch(int v);
/* Frees releasing voices whose envelope has ended. */
void VoicesReap(void);
/* Writes key offs, changed registers and key ons to the SPU. */
void VoicesFlush(void);
uint32_t VoicesBusy(void);

/* Pitch step for u 1/128 semitones above 0x1000 (44.1 kHz), clamped to 1..0x3FFF. */
uint32_t PitchStep(int32_t u);
/* Linear levels are fractions of LEVEL_FULL (1 << 14); volumes 0..127 scale them through
 * Scale127, which maps 127 to 128/128 and 64 to 65/128 without a division. */
#define LEVEL_FULL 16384u
static inline uint32_t Scale127(uint32_t volume) { return volume + (volume >> 6); }
/* Volume register value (0..0x3FFF) for a linear level 0..LEVEL_FULL, square law. */
uint32_t LevelToRegister(uint32_t level);

/* ---- Sequencer ------------------------------------------------------------------------- */

typedef struct Channel {
  uint8_t program, volume, expression, pan, sustain, pad[3];
  uint16_t bend;
} Channel;

typedef struct Sequence {
  uint8_t active, status, loopStatus, loopAwaitCount;
  uint8_t loopSet, loopCount, overrun, slot;
  uint8_t jumped, lastPassSilent, pad[2];
  uint32_t start, end, pos; /* PS addresses of the event data */
  uint32_t loopPos;
  uint32_t loopTick; /* song tick of the loop start */
  uint32_t wait;     /* ticks until the next event */
  uint32_t tempo;    /* microseconds per quarter note */
  uint32_t headerTempo;
  uint32_t resolution; /* ticks per quarter note */
  uint32_t acc;        /* elapsed time not yet turned into ticks, in microseconds x resolution */
  uint32_t passes;     /* completed passes */
  uint32_t ticksThisPass;
  uint32_t tick;      /* ticks since start, for the status block */
  uint32_t volume[2]; /* 0..127 per side, ramps applied */
  Channel channels[CHANNEL_COUNT];
} Sequence;

extern Sequence g_sequences[SEQUENCE_SLOTS];
extern uint32_t g_muteMask;

/* Finds the sequence data and prepares the slots; returns the number of slots that play. */
int SequencerStart(void);
/* Advances every playing sequence by dt microseconds of song time. */
void SequencerAdvance(uint32_t dt);
/* Re-reads the mute words; releases voices of newly muted channels. */
void SequencerReadMutes(void);
int SequencerBusy(void);
/* Updates the volume of every voice that a sequence owns. */
void SequencerRefreshVolumes(void);

/* ---- VAG sample ----------------------------------------------------------------------- */

int VagStart(void);
void VagAdvance(uint32_t dtMicroseconds);
int VagBusy(void);

/* ---- Clock ------------------------------------------------------------------------- */

/* Takes heartbeats from the interrupt latch into the song clock; called between events too,
 * so that a long service loses no heartbeat. 1 when a heartbeat was taken. */
int ClockPoll(void);

/* ---- Small helpers ---------------------------------------------------------------------- */

#ifndef LFQ_HOST
void* memset(void* d, int c, unsigned int n);
void* memcpy(void* d, const void* s, unsigned int n);
#else
#include <string.h>
#endif

static inline uint32_t ClampU32(uint32_t v, uint32_t low, uint32_t high) {
  return v < low ? low : (v > high ? high : v);
}

/* Maps any RAM address form (KUSEG, KSEG0, KSEG1) to KSEG0; 0 for addresses outside RAM. */
static inline uint32_t NormaliseRamAddress(uint32_t address) {
  if ((address & 0x1FE00000u) != 0) return 0;
  if ((address & 0xE0000000u) != 0 && (address & 0xE0000000u) != 0x80000000u && (address & 0xE0000000u) != 0xA0000000u)
    return 0;
  return 0x80000000u | (address & 0x1FFFFFu);
}

#endif /* LFQ_DRIVER_DRIVER_H */
