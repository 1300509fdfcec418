// Tags of a PSF: the names a user may set, the text written after "[TAG]", reading it back, durations.

#include "psf/psf_tags.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

psf::TagList Tags(std::initializer_list<std::pair<std::string, std::string>> pairs) {
  psf::TagList tags;
  std::string reason;
  for (const auto& [name, value] : pairs) EXPECT_TRUE(psf::SetTag(tags, name, value, reason)) << reason;
  return tags;
}

std::string Format(const psf::TagList& tags) {
  std::string reason;
  const std::optional<std::string> text = psf::FormatTagText(tags, reason);
  EXPECT_TRUE(text) << reason;
  return text.value_or("");
}

TEST(PsfTags, TextHoldsOneLinePerValueLineWithLfAndMarksUtf8) {
  EXPECT_EQ(Format(Tags({{"Title", "Town"}, {"ARTIST", "Someone"}, {"length", "1:02.5"}})),
            "title=Town\nartist=Someone\nlength=1:02.5");
  // Each line of a value of several lines (LF, CR LF or CR) is a line "name=..." of its own.
  EXPECT_EQ(Format(Tags({{"comment", "one\r\ntwo\nthree\rfour"}})),
            "comment=one\ncomment=two\ncomment=three\ncomment=four");
  // "Caf\u00e9" in UTF-8: C3 A9; utf8=1 follows once, whatever the user set for it.
  EXPECT_EQ(Format(Tags({{"title", "Caf\xC3\xA9"}, {"utf8", "1"}, {"game", "G"}})),
            "title=Caf\xC3\xA9\ngame=G\nutf8=1");
  // Setting again keeps the place; an empty value removes.
  psf::TagList tags = Tags({{"title", "A"}, {"artist", "B"}, {"title", "C"}, {"artist", ""}});
  EXPECT_EQ(Format(tags), "title=C");
}

TEST(PsfTags, RefusesBadNamesValuesAndOversizedSections) {
  psf::TagList tags;
  std::string reason;
  for (const char* name : {"", "9lives", "my-tag", "t\xC3\xA9", "_lib", "_LIB2", "_", "a b"}) {
    EXPECT_FALSE(psf::SetTag(tags, name, "x", reason)) << name;
    EXPECT_FALSE(reason.empty());
  }
  EXPECT_TRUE(psf::SetTag(tags, "_Refresh", "50", reason));
  EXPECT_FALSE(psf::SetTag(tags, "_refresh", "55", reason));
  EXPECT_FALSE(psf::SetTag(tags, "title", "bad \xC3(", reason));     // broken sequence
  EXPECT_FALSE(psf::SetTag(tags, "title", "\xC0\xAF", reason));      // overlong '/'
  EXPECT_FALSE(psf::SetTag(tags, "title", "\xED\xA0\x80", reason));  // surrogate
  EXPECT_FALSE(psf::SetTag(tags, "length", "3 minutes", reason));
  EXPECT_TRUE(psf::SetTag(tags, "length", "auto", reason));
  EXPECT_TRUE(psf::SetTag(tags, "fade", "10", reason));
  EXPECT_EQ(Format(tags), "_refresh=50\nlength=auto\nfade=10");

  // "[TAG]" (5) + "comment=" (8) + value: 49,987 bytes of value fit exactly, one more does not.
  tags = Tags({{"comment", std::string(49987, 'x')}});
  EXPECT_EQ(Format(tags).size(), 49995U);
  tags = Tags({{"comment", std::string(49988, 'x')}});
  EXPECT_FALSE(psf::FormatTagText(tags, reason));
  EXPECT_NE(reason.find("50000"), std::string::npos);
}

TEST(PsfTags, ReadsTagSectionsAsPlayersDo) {
  // Header: "PSF" 01, reserved 2 bytes, program 3 bytes, CRC (not checked here), then the sections.
  std::vector<std::uint8_t> psf = {'P', 'S', 'F', 1, 2, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0xAA, 0xBB, 1, 2, 3};
  EXPECT_FALSE(psf::FindTagText(psf));
  const std::string section = "[TAG] Title = Town \r\nartist=A\ncomment=one\nnot a tag\nCOMMENT=two\n=x\n";
  psf.insert(psf.end(), section.begin(), section.end());
  const std::optional<std::string_view> text = psf::FindTagText(psf);
  ASSERT_TRUE(text);
  const psf::TagList tags = psf::ParseTagText(*text);
  ASSERT_EQ(tags.size(), 3U);
  EXPECT_EQ(tags[0].name, "title");
  EXPECT_EQ(tags[0].value, "Town");
  EXPECT_EQ(psf::FindTag(tags, "ARTIST"), "A");
  EXPECT_EQ(psf::FindTag(tags, "comment"), "one\ntwo");
  EXPECT_FALSE(psf::FindTag(tags, "game"));
  // A program length running past the end of the file: no tags.
  psf[8] = 0xFF;
  EXPECT_FALSE(psf::FindTagText(psf));
}

TEST(PsfTags, DurationsReadAndWriteAsPlayersExpect) {
  EXPECT_EQ(psf::ParseTagDuration("5"), 5000U);
  EXPECT_EQ(psf::ParseTagDuration("3:00.000"), 180000U);
  EXPECT_EQ(psf::ParseTagDuration("1:02:03.4"), 3723400U);
  EXPECT_EQ(psf::ParseTagDuration("0:01.05"), 1050U);
  EXPECT_EQ(psf::ParseTagDuration("0.1234"), 123U);
  for (const char* bad : {"", ":5", "1:", "1::2", "1.2.3", "1:2:3:4", "5.", "-1", "1e3", "auto"}) {
    EXPECT_FALSE(psf::ParseTagDuration(bad)) << bad;
  }
  // Rounded up to the next tenth, one fraction digit.
  EXPECT_EQ(psf::FormatTagDuration(0.0), "0:00.0");
  EXPECT_EQ(psf::FormatTagDuration(44.01), "0:44.1");
  EXPECT_EQ(psf::FormatTagDuration(44.1), "0:44.1");
  EXPECT_EQ(psf::FormatTagDuration(59.95), "1:00.0");
  EXPECT_EQ(psf::FormatTagDuration(3725.0), "62:05.0");
}

}  // namespace
