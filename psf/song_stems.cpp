#include "psf/song_stems.h"

#include <span>
#include <string>
#include <vector>

#include "core/failure.h"
#include "core/text.h"
#include "psf/driver_info.h"
#include "psf/played_sequences.h"
#include "psf/ram_image.h"
#include "psf/song_settings.h"

namespace psf {

namespace {

// The driver takes song data only from above its own program.
constexpr std::uint32_t LOWEST_DATA_ADDRESS = 0x80010000;

}  // namespace

std::uint16_t SongChannelsWithNotes(const PsfBuilder& builder) {
  if (!builder.held) return 0;
  const SongSettings settings = ReadSongSettings(builder);
  if (settings.sequenceAddress < LOWEST_DATA_ADDRESS) return 0;
  const auto song =
      RamBytes(builder.image, settings.sequenceAddress, static_cast<std::size_t>(RAM_END - settings.sequenceAddress));
  return song ? FindChannelsWithNotes(settings, *song) : 0;
}

bool SoloChannel(PsfBuilder& builder, std::uint32_t channel) {
  for (std::uint32_t muted = 0; muted < MUTE_CHANNELS; ++muted) {
    const std::string name = core::FormatText("Mute Channel %u", muted);
    const std::vector<std::uint32_t> parameters = FindParameters(builder, name);
    if (parameters.empty()) {
      core::SetFailureReason(core::FormatText("the driver has no parameter \"%s\"", name.c_str()));
      return false;
    }
    for (const std::uint32_t index : parameters) SetParameter(builder, muted == channel ? 0 : 1, index);
  }
  return true;
}

}  // namespace psf
