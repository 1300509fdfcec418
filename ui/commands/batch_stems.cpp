#include "ui/commands/batch_stems.h"

#include <string>
#include <vector>

#include "core/failure.h"
#include "core/path_names.h"
#include "core/text.h"
#include "psf/build_tags.h"
#include "psf/driver_info.h"
#include "psf/psf_file.h"
#include "psf/psf_set.h"
#include "psf/song_stems.h"

namespace ui {

namespace {

// Writes one stem (mutes applied, tag text set) whole or not at all: a minipsf against the run's psflib when
// there is one, else a PSF. False (reason noted) when it could not be written.
bool WriteStemFile(BatchRun& run, psf::PsfBuilder& stem, const std::filesystem::path& path) {
  if (run.lastLibrary) return psf::WriteMiniPsf(stem, *run.lastLibrary, run.tagEdits, path);
  return psf::WritePsfFile(stem, path);
}

}  // namespace

void RunStems(BatchRun& run, std::size_t index) {
  const std::string& base = run.Argument(index + 1);
  if (base.empty()) {
    run.Report("STEMS", "", "missing file name");
    return;
  }
  psf::PsfBuilder& builder = run.builder();
  if (!builder.held) {
    run.Report("STEMS", base, "no driver loaded (MAKE or OPEN first)");
    return;
  }
  if (run.buildFailed) {
    run.Report("STEMS", base, "not written: an earlier step failed");
    return;
  }
  if (run.libraryFailed) {
    run.Report("STEMS", base, "not written: the LIB it refers to failed");
    return;
  }
  const std::uint16_t channels = psf::SongChannelsWithNotes(builder);
  if (channels == 0) {
    run.Report("STEMS", base, "not written: the song starts no note on any channel");
    return;
  }
  std::vector<std::pair<std::uint32_t, std::string>> stems;
  for (std::uint32_t channel = 0; channel < psf::MUTE_CHANNELS; ++channel) {
    if ((channels >> channel & 1u) == 0) continue;
    // After a LIB the stems join its set as minipsfs.
    stems.emplace_back(channel, base + core::FormatText(run.lastLibrary ? "_ch%02u.minipsf" : "_ch%02u.psf", channel));
    // One stem over an input of the build is refused before any is written.
    if (!run.CheckBuildOutput("STEMS", stems.back().second)) return;
  }
  // The mutes go to a copy: keywords after STEMS build on the song as it was.
  psf::PsfBuilder stem = builder;
  for (const auto& [channel, path] : stems) {
    core::TakeFailureReason();
    if (!psf::SoloChannel(stem, channel)) {
      run.ReportNoted("STEMS", path, "cannot mute the other channels");
      return;
    }
    std::string reason;
    stem.tagText = psf::ComposeTagText(stem, run.tagEdits, reason);
    if (!stem.tagText) {
      run.Report("STEMS", path, reason);
      return;
    }
    if (!WriteStemFile(run, stem, core::TextToPath(path))) run.ReportNoted("STEMS", path, "cannot write the stem");
  }
}

}  // namespace ui
