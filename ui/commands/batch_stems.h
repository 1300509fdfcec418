#pragma once

#include <cstddef>
#include <filesystem>

#include "psf/psf_builder.h"
#include "ui/commands/batch_run.h"

namespace ui {

// Writes one stem: the build with its mutes applied and its tag text set, as a PSF at path, whole or not at
// all. False (reason noted) when it could not be written.
bool WriteStemFile(psf::PsfBuilder& stem, const std::filesystem::path& path);

// STEMS BASE: for every sequence channel NN (00-15) on which the song starts notes, BASE_chNN.psf with every
// other channel muted through the driver's mute parameters and the build's tags; the build stays as it was.
// Nothing is written after a failed build step, nor when a stem would replace a file the build read.
void RunStems(BatchRun& run, std::size_t index);

}  // namespace ui
