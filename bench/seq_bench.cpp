// SEQ to MIDI of a 4 MiB SEQ of about 1.4 million events whose end-of-track marker closes it, and SEP to
// SEQ of a 4 MiB SEP of 200 sequences, each against plain copies of the same bytes (read with fread,
// written with fwrite, no rename). The split should cost no more than about three times its copy. SEQ to
// MIDI reads every event and holds the SEQ and the MIDI whole in memory: expect some 10 ns an event plus
// the fresh memory of both buffers, about 15 to 30 times the copy (which streams through one small
// buffer). A real SEQ fits the PlayStation's 2 MiB of RAM and is mostly a few kilobytes. The split runs twice:
// replacing its 200 outputs in every iteration, and into a directory cleared between iterations (the
// file system's cost of creating and replacing files dominates it).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/file_io.h"
#include "seq/sep_split.h"
#include "seq/seq_to_midi.h"

namespace {

constexpr std::size_t FILE_SIZE = 4 * 1024 * 1024;
constexpr int SEP_RECORDS = 200;

const std::filesystem::path& BenchDirectory() {
  static const std::filesystem::path directory = [] {
    const auto path = std::filesystem::temp_directory_path() / "lfq-bench-seq";
    std::filesystem::create_directories(path);
    return path;
  }();
  return directory;
}

void Save(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  core::FileHandle out = core::OpenFile(path, "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), out.get());
}

// Note-on and note-off pairs under running status, with no end-of-track marker among them.
void FillEvents(std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t to) {
  static constexpr std::uint8_t PATTERN[] = {0x10, 0x3C, 0x40, 0x10, 0x3C, 0x00};
  for (std::size_t i = from; i < to; ++i) bytes[i] = PATTERN[(i - from) % sizeof PATTERN];
  if (to > from) bytes[from] = 0x00, bytes[from + 1] = 0x90;
}

// Whole note-on and note-off events filling [from, to) exactly, mostly under running status (the converter
// reads every event); a 4-byte event with its status where 3-byte ones would not come out even.
void FillSeqEvents(std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t to) {
  bool on = true;
  for (std::size_t at = from; at < to; on = !on) {
    const bool withStatus = at == from || (to - at) % 3 != 0;
    bytes[at++] = 0x10;
    if (withStatus) bytes[at++] = 0x90;
    bytes[at++] = 0x3C;
    bytes[at++] = on ? 0x40 : 0x00;
  }
}

const std::filesystem::path& SeqFile() {
  static const std::filesystem::path path = [] {
    std::vector<std::uint8_t> bytes(FILE_SIZE);
    const std::uint8_t header[] = {'p', 'Q', 'E', 'S', 0, 0, 0, 1, 0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x02};
    std::copy(std::begin(header), std::end(header), bytes.begin());
    FillSeqEvents(bytes, 15, FILE_SIZE - 4);
    const std::uint8_t end[] = {0x00, 0xFF, 0x2F, 0x00};
    std::copy(std::begin(end), std::end(end), bytes.end() - 4);
    const auto file = BenchDirectory() / "song.seq";
    Save(file, bytes);
    return file;
  }();
  return path;
}

// Data sizes of the SEP's records; they fill the file exactly.
std::vector<std::size_t> SepDataSizes() {
  const std::size_t room = FILE_SIZE - 6 - 13 * SEP_RECORDS;
  std::vector<std::size_t> sizes(SEP_RECORDS, room / SEP_RECORDS);
  sizes.back() += room % SEP_RECORDS;
  return sizes;
}

const std::filesystem::path& SepFile() {
  static const std::filesystem::path path = [] {
    std::vector<std::uint8_t> bytes(FILE_SIZE);
    const std::uint8_t start[] = {'p', 'Q', 'E', 'S', 0, 0};
    std::copy(std::begin(start), std::end(start), bytes.begin());
    std::size_t at = 6;
    int number = 0;
    for (const std::size_t size : SepDataSizes()) {
      const std::uint8_t header[] = {static_cast<std::uint8_t>(number >> 8),
                                     static_cast<std::uint8_t>(number),
                                     0x01,
                                     0xE0,
                                     0x07,
                                     0xA1,
                                     0x20,
                                     0x04,
                                     0x02,
                                     static_cast<std::uint8_t>(size >> 24),
                                     static_cast<std::uint8_t>(size >> 16),
                                     static_cast<std::uint8_t>(size >> 8),
                                     static_cast<std::uint8_t>(size)};
      std::copy(std::begin(header), std::end(header), bytes.begin() + static_cast<std::ptrdiff_t>(at));
      FillEvents(bytes, at + 13, at + 13 + size);
      at += 13 + size;
      ++number;
    }
    const auto file = BenchDirectory() / "music.sep";
    Save(file, bytes);
    return file;
  }();
  return path;
}

// Reads count bytes from the stream's position and writes them to a new file.
void PlainCopy(std::FILE* from, std::size_t count, const std::filesystem::path& to, std::vector<std::uint8_t>& buffer) {
  core::FileHandle out = core::OpenFile(to, "wb");
  while (count > 0) {
    const std::size_t got = std::fread(buffer.data(), 1, std::min(count, buffer.size()), from);
    if (got == 0) break;
    std::fwrite(buffer.data(), 1, got, out.get());
    count -= got;
  }
}

void BM_CopySeqPlain(benchmark::State& state) {
  std::vector<std::uint8_t> buffer(256 * 1024);
  for (auto _ : state) {
    core::FileHandle in = core::OpenFile(SeqFile(), "rb");
    PlainCopy(in.get(), FILE_SIZE, BenchDirectory() / "copy.mid", buffer);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * FILE_SIZE));
}
BENCHMARK(BM_CopySeqPlain)->Unit(benchmark::kMillisecond);

void BM_ConvertSeqToMidi(benchmark::State& state) {
  for (auto _ : state) {
    if (seq::ConvertSeqToMidi(SeqFile()) != 1) state.SkipWithError("conversion failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * FILE_SIZE));
}
BENCHMARK(BM_ConvertSeqToMidi)->Unit(benchmark::kMillisecond);

// The plain counterpart of the split: each record's header and data copied to a file of its own.
void CopySepRecordsPlainly(const std::vector<std::size_t>& sizes, std::vector<std::uint8_t>& buffer) {
  core::FileHandle in = core::OpenFile(SepFile(), "rb");
  std::fseek(in.get(), 6, SEEK_SET);
  for (int n = 0; n < SEP_RECORDS; ++n) {
    PlainCopy(in.get(), 13 + sizes[static_cast<std::size_t>(n)],
              BenchDirectory() / ("copy" + std::to_string(n) + ".seq"), buffer);
  }
}

void BM_CopySepPlain(benchmark::State& state) {
  std::vector<std::uint8_t> buffer(256 * 1024);
  const std::vector<std::size_t> sizes = SepDataSizes();
  for (auto _ : state) {
    CopySepRecordsPlainly(sizes, buffer);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * FILE_SIZE));
}
BENCHMARK(BM_CopySepPlain)->Unit(benchmark::kMillisecond);

void BM_ConvertSepToSeq(benchmark::State& state) {
  for (auto _ : state) {
    std::int32_t count = 0;
    if (!seq::ConvertSepToSeq(SepFile(), count) || count != SEP_RECORDS) state.SkipWithError("split failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * FILE_SIZE));
}
BENCHMARK(BM_ConvertSepToSeq)->Unit(benchmark::kMillisecond);

// Removes the outputs of the split and of its plain copy, outside the timing.
void RemoveSplitOutputs(benchmark::State& state) {
  state.PauseTiming();
  for (int n = 0; n < SEP_RECORDS; ++n) {
    std::error_code ignored;
    std::filesystem::remove(BenchDirectory() / ("copy" + std::to_string(n) + ".seq"), ignored);
    std::filesystem::remove(
        BenchDirectory() / (n < 10 ? "music0" + std::to_string(n) + ".seq" : "music" + std::to_string(n) + ".seq"),
        ignored);
  }
  state.ResumeTiming();
}

void BM_CopySepPlainFresh(benchmark::State& state) {
  std::vector<std::uint8_t> buffer(256 * 1024);
  const std::vector<std::size_t> sizes = SepDataSizes();
  for (auto _ : state) {
    RemoveSplitOutputs(state);
    CopySepRecordsPlainly(sizes, buffer);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * FILE_SIZE));
}
BENCHMARK(BM_CopySepPlainFresh)->Unit(benchmark::kMillisecond);

void BM_ConvertSepToSeqFresh(benchmark::State& state) {
  for (auto _ : state) {
    RemoveSplitOutputs(state);
    std::int32_t count = 0;
    if (!seq::ConvertSepToSeq(SepFile(), count) || count != SEP_RECORDS) state.SkipWithError("split failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * FILE_SIZE));
}
BENCHMARK(BM_ConvertSepToSeqFresh)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
