// The two forms of a file summary, against hand-written texts.

#include "ui/commands/info_report.h"

#include <gtest/gtest.h>

namespace {

ui::InfoReport SampleReport() {
  ui::InfoReport report;
  report.file = "dir/song \"1\".psf";
  report.type = "psf";
  report.facts = {{"program size", "2033664 bytes", 2033664}, {"driver", "LFQ 1.0", std::nullopt}};
  report.parameters = {{0, "Playback Type", 4, 1, 1}, {36, "Custom Tick Skip Unit", 1, 0x78, 0}};
  report.tags = {{"title", "Caf\xC3\xA9"}, {"comment", "one\ntwo"}};
  report.lengthSeconds = 44.25;
  report.fadeSeconds = 10;
  return report;
}

TEST(InfoReport, ReadableFormMarksChangedParametersAndShowsTagsAndLength) {
  EXPECT_EQ(ui::FormatInfoText(SampleReport()),
            "dir/song \"1\".psf: psf\n"
            "  program size: 2033664 bytes\n"
            "  driver: LFQ 1.0\n"
            "  parameters (* differs from the default):\n"
            "    00 Playback Type = 0x00000001\n"
            "   *36 Custom Tick Skip Unit = 0x78\n"
            "  tags:\n"
            "    title=Caf\xC3\xA9\n"
            "    comment=one\n"
            "            two\n"
            "  computed length: 44.25 s (0:44.3), fade 10.00 s\n");
}

TEST(InfoReport, JsonFormEscapesTextsAndCarriesNumbers) {
  EXPECT_EQ(ui::FormatInfoJson(SampleReport()),
            "{\"file\":\"dir/song \\\"1\\\".psf\",\"type\":\"psf\","
            "\"facts\":{\"program size\":2033664,\"driver\":\"LFQ 1.0\"},"
            "\"parameters\":[{\"index\":0,\"name\":\"Playback Type\",\"width\":4,\"value\":1,\"default\":1},"
            "{\"index\":36,\"name\":\"Custom Tick Skip Unit\",\"width\":1,\"value\":120,\"default\":0}],"
            "\"tags\":{\"title\":\"Caf\xC3\xA9\",\"comment\":\"one\\ntwo\"},\"length_s\":44.25,\"fade_s\":10}");
  ui::InfoReport bare;
  bare.file = "a\x01\xE9.seq";  // a control character and a Latin-1 byte
  bare.type = "seq";
  EXPECT_EQ(ui::FormatInfoJson(bare),
            "{\"file\":\"a\\u0001\\ufffd.seq\",\"type\":\"seq\",\"facts\":{},\"parameters\":[],\"tags\":{},"
            "\"length_s\":null,\"fade_s\":null}");
  // Names that differ only in bytes JSON cannot carry: one name, the values on separate lines.
  // A name holding U+FFFD itself (in UTF-8) reads as those do.
  bare.tags = {{"a\xE9", "1"}, {"b", "2"}, {"a\xE8", "3"}, {"a\xEF\xBF\xBD", "4"}};
  EXPECT_NE(ui::FormatInfoJson(bare).find("\"tags\":{\"a\\ufffd\":\"1\\n3\\n4\",\"b\":\"2\"}"), std::string::npos);
}

}  // namespace
