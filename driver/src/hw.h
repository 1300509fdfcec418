/* PlayStation hardware the driver touches: SPU, DMA channel 4, root counter 2 and the interrupt
 * status latch. Every SPU access is a 16-bit load or store; RAM is addressed through KSEG0.
 *
 * With LFQ_HOST defined the same accessors go to a simulated machine (tests/driver), so the
 * sequencer can run and be inspected on the build host. */
#ifndef LFQ_DRIVER_HW_H
#define LFQ_DRIVER_HW_H

#include <stdint.h>

/* SPU registers, offsets from 0x1F801C00. */
#define SPU_VOICE_VOLL(v) (0x000u + 16u * (v))
#define SPU_VOICE_VOLR(v) (0x002u + 16u * (v))
#define SPU_VOICE_PITCH(v) (0x004u + 16u * (v))
#define SPU_VOICE_SSA(v) (0x006u + 16u * (v))
#define SPU_VOICE_ADSR1(v) (0x008u + 16u * (v))
#define SPU_VOICE_ADSR2(v) (0x00Au + 16u * (v))
#define SPU_VOICE_ENVX(v) (0x00Cu + 16u * (v))
#define SPU_MVOLL 0x180u
#define SPU_MVOLR 0x182u
#define SPU_VLOUT 0x184u
#define SPU_VROUT 0x186u
#define SPU_KON0 0x188u
#define SPU_KON1 0x18Au
#define SPU_KOFF0 0x18Cu
#define SPU_KOFF1 0x18Eu
#define SPU_PMON0 0x190u
#define SPU_PMON1 0x192u
#define SPU_NON0 0x194u
#define SPU_NON1 0x196u
#define SPU_EON0 0x198u
#define SPU_EON1 0x19Au
#define SPU_MBASE 0x1A2u
#define SPU_TSA 0x1A6u
#define SPU_CNT 0x1AAu
#define SPU_TCTRL 0x1ACu
#define SPU_STAT 0x1AEu
#define SPU_CDVOLL 0x1B0u
#define SPU_CDVOLR 0x1B2u
#define SPU_EXTVOLL 0x1B4u
#define SPU_EXTVOLR 0x1B6u
#define SPU_REVERB_REGS 0x1C0u /* 32 registers, 0x1C0-0x1FE */

#define SPUCNT_ON 0xC000u     /* enable + unmute */
#define SPUCNT_REVERB 0x0080u /* reverb work area writes enabled */
#define SPUCNT_DMA_WRITE 0x0020u

/* Other I/O, full addresses. */
#define IO_I_STAT 0x1F801070u
#define IO_I_MASK 0x1F801074u
#define IO_DMA4_MADR 0x1F8010C0u
#define IO_DMA4_BCR 0x1F8010C4u
#define IO_DMA4_CHCR 0x1F8010C8u
#define IO_DPCR 0x1F8010F0u
#define IO_T2_VALUE 0x1F801120u
#define IO_T2_MODE 0x1F801124u
#define IO_T2_TARGET 0x1F801128u

#define IRQ_VBLANK 0x01u
#define IRQ_TIMER2 0x40u

#ifndef LFQ_HOST

static inline void SpuWrite(uint32_t offset, uint16_t value) { *(volatile uint16_t*)(0x1F801C00u + offset) = value; }
static inline uint16_t SpuRead(uint32_t offset) { return *(volatile uint16_t*)(0x1F801C00u + offset); }
static inline void IoWrite32(uint32_t address, uint32_t value) { *(volatile uint32_t*)address = value; }
static inline uint32_t IoRead32(uint32_t address) { return *(volatile uint32_t*)address; }
static inline void IoWrite16(uint32_t address, uint16_t value) { *(volatile uint16_t*)address = value; }
static inline uint16_t IoRead16(uint32_t address) { return *(volatile uint16_t*)address; }

/* Song data and driver blocks in main RAM, by PlayStation address. */
static inline uint8_t RamRead8(uint32_t address) { return *(const volatile uint8_t*)address; }
static inline uint16_t RamRead16(uint32_t address) { return *(const volatile uint16_t*)address; }
static inline uint32_t RamRead32(uint32_t address) { return *(const volatile uint32_t*)address; }
static inline void RamWrite32(uint32_t address, uint32_t value) { *(volatile uint32_t*)address = value; }
static inline uint32_t RamAddressOf(const void* pointer) { return (uint32_t)pointer; }

static inline void DisableInterrupts(void) {
  uint32_t sr;
  __asm__ volatile("mfc0 %0, $12\n\tnop" : "=r"(sr));
  sr &= ~0xFF01u; /* IEc and the interrupt mask bits */
  __asm__ volatile("mtc0 %0, $12\n\tnop\n\tnop" : : "r"(sr));
}

#else /* LFQ_HOST */

void SpuWrite(uint32_t offset, uint16_t value);
uint16_t SpuRead(uint32_t offset);
void IoWrite32(uint32_t address, uint32_t value);
uint32_t IoRead32(uint32_t address);
void IoWrite16(uint32_t address, uint16_t value);
uint16_t IoRead16(uint32_t address);
uint8_t RamRead8(uint32_t address);
uint16_t RamRead16(uint32_t address);
uint32_t RamRead32(uint32_t address);
void RamWrite32(uint32_t address, uint32_t value);
uint32_t RamAddressOf(const void* pointer);
void DisableInterrupts(void);

#endif /* LFQ_HOST */

#endif /* LFQ_DRIVER_HW_H */
