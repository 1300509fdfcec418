/* Renders a PSF (or a minipsf with its set) through libupse into a WAV: 44,100 Hz, 16-bit stereo.
 *
 *   upse_render FILE OUT.wav SECONDS
 *
 * Exit status 0 with the WAV written, 1 when libupse refused the file or the output cannot be written. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <upse.h>

enum { RATE = 44100, CHANNELS = 2 };

struct Capture {
  FILE* out;
  long wanted; /* frames */
  long taken;
};

static void* OpenFile(char* path, char* mode) { return fopen(path, mode); }
static size_t ReadFile(void* ptr, size_t size, size_t count, void* file) { return fread(ptr, size, count, file); }
static int SeekFile(void* file, long offset, int whence) { return fseek(file, offset, whence); }
static int CloseFile(void* file) { return fclose(file); }

/* Keeps the frames until enough came, then stops the engine. */
static void TakeAudio(unsigned char* buffer, long bytes, void* user) {
  struct Capture* capture = user;
  long frames = bytes / (2 * CHANNELS);
  if (frames > capture->wanted - capture->taken) frames = capture->wanted - capture->taken;
  if (frames > 0) fwrite(buffer, 2 * CHANNELS, (size_t)frames, capture->out);
  capture->taken += frames;
  if (capture->taken >= capture->wanted) upse_stop();
}

static void PutU32(unsigned char* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = (unsigned char)(value >> (8 * i));
}

static void WriteWavHeader(FILE* out, uint32_t frames) {
  unsigned char header[44] = "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\0\0\0\0\0\0\0\0\x04\0\x10\0data";
  const uint32_t bytes = frames * 2 * CHANNELS;
  PutU32(header + 4, 36 + bytes);
  PutU32(header + 24, RATE);
  PutU32(header + 28, RATE * 2 * CHANNELS);
  PutU32(header + 40, bytes);
  fseek(out, 0, SEEK_SET);
  fwrite(header, 1, sizeof header, out);
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: upse_render FILE OUT.wav SECONDS\n");
    return 2;
  }
  upse_iofuncs_t io = {OpenFile, ReadFile, SeekFile, CloseFile};
  upse_psf_t* psf = upse_load(argv[1], &io);
  if (psf == NULL) {
    fprintf(stderr, "upse_render: libupse refused %s\n", argv[1]);
    return 1;
  }
  struct Capture capture = {fopen(argv[2], "wb"), atol(argv[3]) * RATE, 0};
  if (capture.out == NULL) {
    fprintf(stderr, "upse_render: cannot write %s\n", argv[2]);
    return 1;
  }
  WriteWavHeader(capture.out, 0);
  upse_set_audio_callback(TakeAudio, &capture);
  upse_execute();
  WriteWavHeader(capture.out, (uint32_t)capture.taken);
  return fclose(capture.out) == 0 ? 0 : 1;
}
