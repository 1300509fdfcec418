// The --info summary of arbitrary bytes. Byte 0 picks the kind (bits 0-2: 0 a PSF as it stands, 1 a PSF made
// here from the rest (program bytes, then tag text after a "[TAG]" in them), 2 a SEQ or SEP, 3 a VAB, 4 a VH,
// 5 a VAG; 6-7 as 0-1); byte 1 the length of a file name taken from the bytes that follow, then the file.
// Properties: the JSON form is one line of strict JSON (UTF-8, no name twice in an object) whatever the
// bytes and the name; the readable form is not empty and starts with the name; a refused file gives a reason.

#include <zlib.h>

#include <cmath>

#include "fuzz/fuzz_support.h"
#include "fuzz/json_check.h"
#include "psf/psf_file.h"
#include "ui/commands/file_info.h"
#include "ui/commands/info_report.h"

namespace {

// The song-length model's limits for this target, tighter than the song_length target's (which checks the
// model itself): the summary around it is what this target is for, and walking events was a third of its time.
constexpr psf::SongLimits LIMITS{.timeUs = 60'000'000, .events = 5'000};

// A PSF of program (compressed) followed by the tag section, its header and CRC right.
std::vector<std::uint8_t> WrapPsf(std::span<const std::uint8_t> program, std::span<const std::uint8_t> tags) {
  uLongf packedSize = compressBound(program.size());
  std::vector<std::uint8_t> packed(packedSize);
  FUZZ_CHECK(compress2(packed.data(), &packedSize, program.data(), program.size(), 1) == Z_OK);
  packed.resize(packedSize);
  std::vector<std::uint8_t> psf = {'P', 'S', 'F', 1};
  psf.resize(psf::PSF_HEADER_SIZE);
  fuzz_support::StoreU32Le(psf, 8, static_cast<std::uint32_t>(packed.size()));
  fuzz_support::StoreU32Le(psf, 12, static_cast<std::uint32_t>(crc32(0, packed.data(), packed.size())));
  psf.insert(psf.end(), packed.begin(), packed.end());
  psf.insert(psf.end(), tags.begin(), tags.end());
  return psf;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int mode = data[0] & 7;
  const std::size_t nameSize = std::min<std::size_t>(data[1], size - 2);
  const std::span<const std::uint8_t> file(data + 2 + nameSize, size - 2 - nameSize);

  ui::InfoReport report;
  report.file.assign(reinterpret_cast<const char*>(data + 2), nameSize);
  std::string reason;
  bool described = false;
  switch (mode) {
    case 1:
    case 7: {
      const std::string_view text(reinterpret_cast<const char*>(file.data()), file.size());
      const std::size_t tags = std::min(text.find("[TAG]"), text.size());
      const std::vector<std::uint8_t> psf = WrapPsf(file.first(tags), file.subspan(tags));
      report.type = "psf";
      described = ui::AddPsfFacts(report, psf, reason, LIMITS);
      break;
    }
    case 2:
      described = ui::AddSequenceFacts(report, file, reason, LIMITS);
      break;
    case 3:
    case 4: {
      report.type = mode == 3 ? "vab" : "vh";
      vab::VabBank probe;
      const std::size_t vhSize = vab::ParseVh(probe, file);
      vab::ReleaseBank(probe);
      const std::optional<std::size_t> vbBytes =
          mode == 3 && vhSize != 0 ? std::optional<std::size_t>(file.size() - vhSize) : std::nullopt;
      described = ui::AddBankFacts(report, file, vbBytes, reason);
      break;
    }
    case 5:
      report.type = "vag";
      described = ui::AddVagFacts(report, file, reason);
      break;
    default:
      report.type = "psf";
      described = ui::AddPsfFacts(report, file, reason, LIMITS);
      break;
  }
  if (!described) {
    FUZZ_CHECK(!reason.empty());
    return 0;
  }

  const std::string json = ui::FormatInfoJson(report);
  if (!fuzz_support::IsStrictJson(json) || json.find('\n') != std::string::npos || json.front() != '{') {
    std::fprintf(stderr, "not strict one-line JSON: %s\n", json.c_str());
    FUZZ_CHECK(false);
  }
  const std::string text = ui::FormatInfoText(report);
  FUZZ_CHECK(!text.empty() && text.back() == '\n');
  if (report.file.find('\0') == std::string::npos) FUZZ_CHECK(text.starts_with(report.file + ": "));
  if (report.lengthSeconds) {
    FUZZ_CHECK(std::isfinite(*report.lengthSeconds) && *report.lengthSeconds >= 0);
  }
  return 0;
}
