/* The two library routines the compiler may call for structure copies and clears. */
#include "driver.h"

void* memset(void* d, int c, unsigned int n) {
  uint8_t* p = (uint8_t*)d;
  while (n--) *p++ = (uint8_t)c;
  return d;
}

void* memcpy(void* d, const void* s, unsigned int n) {
  uint8_t* p = (uint8_t*)d;
  const uint8_t* q = (const uint8_t*)s;
  while (n--) *p++ = *q++;
  return d;
}
