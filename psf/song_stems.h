#pragma once

#include <cstdint>

#include "psf/psf_builder.h"

namespace psf {

// Bit n set when the song placed in the builder's image starts a note on sequence channel n (0-15): the SEQ,
// or the SEP records the parameters choose. 0 with no driver, no sequence (a VAG included) or no note.
std::uint16_t SongChannelsWithNotes(const PsfBuilder& builder);

// Mutes every channel but channel through the driver's "Mute Channel N" parameters (0 for channel, 1 for the
// others), as PARAM would set them. False (reason noted) when the driver lacks one of the sixteen.
bool SoloChannel(PsfBuilder& builder, std::uint32_t channel);

}  // namespace psf
