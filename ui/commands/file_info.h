#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "psf/psf_builder.h"
#include "psf/song_length.h"
#include "ui/commands/info_report.h"

namespace ui {

// Facts of a VH (or of the VH at the start of a VAB, with vbBytes the bytes behind it): programs, tones,
// samples, the VB size the VH gives and whether its signature is there. False (reason set) when the VH does
// not parse.
bool AddBankFacts(InfoReport& report, std::span<const std::uint8_t> vh, std::optional<std::size_t> vbBytes,
                  std::string& reason);

// Facts of a VAG file's bytes: sample rate, data size, ADPCM blocks, duration and whether it loops. False
// (reason set) when the bytes are not a VAG.
bool AddVagFacts(InfoReport& report, std::span<const std::uint8_t> vag, std::string& reason);

// Facts of the song a builder holds (what the song area holds, the bank at the VH address) and its computed
// length and fade. The limits bound the song-length model (a fuzz target keeps them tight).
void AddBuildFacts(InfoReport& report, const psf::PsfBuilder& builder, const psf::SongLimits& limits = {});

// Facts of a whole PSF's bytes: program, driver, song, bank, parameters, tags, length. False (reason set)
// when its program does not decode; a PSF of another driver gets its program facts and tags only.
bool AddPsfFacts(InfoReport& report, std::span<const std::uint8_t> psf, std::string& reason,
                 const psf::SongLimits& limits = {});

// The same for the PSF file at path whose bytes are given, loaded with its set when it names a library: the
// files of the set in the order laid, then driver, song, bank and length from the set's combined image. False
// (reason set) when the program does not decode or the set cannot be loaded.
bool AddPsfSetFacts(InfoReport& report, const std::filesystem::path& path, std::span<const std::uint8_t> psf,
                    std::string& reason);

// Facts of a SEQ or SEP file's bytes, played with the built-in driver's default parameters.
bool AddSequenceFacts(InfoReport& report, std::span<const std::uint8_t> sequence, std::string& reason,
                      const psf::SongLimits& limits = {});

// The summary of the file at path, by its kind (from its extension, then its signature); nothing (reason
// set) when it cannot be read or is of no kind the summary knows.
std::optional<InfoReport> DescribeFile(const std::filesystem::path& path, std::string& reason);

}  // namespace ui
