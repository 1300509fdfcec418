#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

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

// The summary of the file at path, by its kind (from its extension, then its signature); nothing (reason
// set) when it cannot be read or is of no kind the summary knows.
std::optional<InfoReport> DescribeFile(const std::filesystem::path& path, std::string& reason);

}  // namespace ui
