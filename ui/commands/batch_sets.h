#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "ui/commands/batch_run.h"

namespace ui {

// LIB FILE: writes the build's whole program image as a psflib, without tags, and makes it the library of
// the minipsfs written after it. Refused as OUT is; a failed LIB leaves the run without a library.
void RunLib(BatchRun& run, std::size_t index);

// MINI FILE: writes the build as a minipsf against the run's last psflib.
void RunMini(BatchRun& run, std::size_t index);

// Writes the build as a minipsf at path against the psflib the run wrote last, with the run's tags; failures
// are reported under keyword. False (reported, nothing written) after a failed step, over a build input, with
// no psflib written before it, or when the minipsf cannot be made or written.
bool WriteBuildAsMinipsf(BatchRun& run, std::string_view keyword, const std::string& path);

}  // namespace ui
