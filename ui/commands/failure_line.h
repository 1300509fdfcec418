#pragma once

#include <cstdio>
#include <string>

namespace ui {

// Writes one failure line ("lfqutil: ...: reason") on the stream. Control characters of a file name or
// reason show as '?', so that each failure stays on one line.
void WriteFailureLine(std::FILE* stream, std::string line);

}  // namespace ui
