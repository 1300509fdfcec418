#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>

#include "psf/psf_contents.h"
#include "ui/commands/batch_run.h"

namespace ui {

// Loads a PSF for taking apart: its program image and tags. Nothing (reason noted) when it cannot be read.
std::optional<psf::PsfContents> LoadPsfForUnpack(const std::filesystem::path& path);

// UNPACK FILE.psf DIR: writes the PSF's song (NAME.seq, .sep or .vag), NAME.vh, NAME.vb and NAME.cmd, the
// command that builds it again, into DIR (made when missing); NAME is the PSF's base name. Existing files of
// those names are replaced, as OUT replaces its file, but never the PSF itself. What could not be taken out,
// or would not rebuild exactly, is a warning; a PSF that cannot be read or holds no driver-info block of this
// driver, or a file that cannot be written, is a failure.
void RunUnpack(BatchRun& run, std::size_t index);

}  // namespace ui
