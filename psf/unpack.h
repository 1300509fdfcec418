#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "psf/psf_tags.h"

namespace psf {

// One file that taking a PSF apart yields: a bare file name (no directory part) and its bytes.
struct UnpackedFile {
  std::string name;
  std::vector<std::uint8_t> bytes;
};

// A PSF taken apart: its song, bank and the command that builds it again.
struct UnpackedPsf {
  std::vector<UnpackedFile> files;      // NAME.seq/.sep/.vag, NAME.vh, NAME.vb as found, NAME.cmd last
  std::vector<std::string> command;     // the rebuild's arguments, "lfqutil" first; NAME.cmd holds them quoted
  std::vector<std::string> shortfalls;  // what could not be taken out, or where the rebuild would differ
};

// Takes apart the program of a PSF (a PS-X EXE) whose driver carries a driver-info block of this driver's
// layout: the song at the sequence address cut to its real length (a SEQ through its end of track, a SEP
// through its last whole record, a VAG as far as the driver reads it: 64 bytes of header and the data size
// the header gives), the VH and the VB the VH sizes, and a
// command "lfqutil MAKE TAG ... PARAM ... SEQ|VAG NAME.ext VH NAME.vh VB NAME.vb OUT NAME.psf" naming every
// tag a TAG can set and every parameter that differs from the built-in driver's value after MAKE. The
// rebuild is worked out in memory; each way it would differ from program or tags is a shortfall. Nothing
// (reason set) when the program does not load or holds no usable driver-info block.
std::optional<UnpackedPsf> UnpackPsfProgram(std::span<const std::uint8_t> program, const TagList& tags,
                                            std::string_view name, std::string& reason);

// The argument as one word of a POSIX shell: as it stands when it holds only characters no shell treats
// specially, otherwise in single quotes (a quote inside written '\'').
std::string QuoteShellWord(std::string_view argument);

// The arguments as one shell command line, each quoted as needed, separated by blanks (no line end).
std::string FormatShellCommand(const std::vector<std::string>& arguments);

}  // namespace psf
