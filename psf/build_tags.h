#pragma once

#include <optional>
#include <string>

#include "psf/psf_builder.h"
#include "psf/psf_tags.h"

namespace psf {

// The tags of a PSF written from the builder: the tags of the PSF its driver was opened from, with edits
// applied in order (an empty value removes the tag). A length or fade of "auto" stays as it is here.
TagList ApplyTagEdits(const PsfBuilder& builder, const TagList& edits);

// The tag text of a PSF written from the builder: ApplyTagEdits, then "length=3:00.000" when no length is set,
// and a length of "auto" computed from the song (rounded up to a tenth of a second) together with its fade (0
// for a song that ends, 10 s for one without end) unless the edits set the fade to a time; a fade of "auto"
// alone is computed too. Nothing (reason set) when the tag section would be too large.
std::optional<std::string> ComposeTagText(const PsfBuilder& builder, const TagList& edits, std::string& reason);

}  // namespace psf
