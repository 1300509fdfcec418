/* Constant tables of the driver. */
#ifndef LFQ_DRIVER_TABLES_H
#define LFQ_DRIVER_TABLES_H

#include <stdint.h>

extern const uint16_t SEMITONE_STEPS[12];
extern const uint16_t FINE_FRACTIONS[128];

#define REVERB_PRESET_COUNT 10
#define REVERB_ECHO 7
#define REVERB_DELAY 8

/* Register indexes inside a preset. */
#define RV_VWALL 7
#define RV_MLCOMB1 12
#define RV_MRCOMB1 13
#define RV_DLSAME 16
#define RV_DRSAME 17
#define RV_VLIN 30
#define RV_VRIN 31

typedef struct ReverbPreset {
  uint32_t workSize;
  uint16_t registers[32];
} ReverbPreset;

extern const ReverbPreset REVERB_PRESETS[REVERB_PRESET_COUNT];

#endif /* LFQ_DRIVER_TABLES_H */
