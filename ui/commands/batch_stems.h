#pragma once

#include <cstddef>

#include "ui/commands/batch_run.h"

namespace ui {

// STEMS BASE: for every sequence channel NN (00-15) on which the song starts notes, BASE_chNN.psf with every
// other channel muted through the driver's mute parameters and the build's tags; the build stays as it was.
// After a LIB in the run the stems are minipsfs of its set, BASE_chNN.minipsf.
// Nothing is written after a failed build step, nor when a stem would replace a file the build read.
void RunStems(BatchRun& run, std::size_t index);

}  // namespace ui
