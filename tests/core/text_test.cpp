#include "core/text.h"

#include <gtest/gtest.h>

namespace {

TEST(FormatText, FormatsLikePrintf) {
  EXPECT_EQ(core::FormatText("%s", ""), "");
  EXPECT_EQ(core::FormatText("[%s]", "TAG"), "[TAG]");
  EXPECT_EQ(core::FormatText("%02d %s", 7, "Reverb Mode"), "07 Reverb Mode");
  EXPECT_EQ(core::FormatText("%02d", 100), "100");
  EXPECT_EQ(core::FormatText("%X", 0x800A0000U), "800A0000");
  // A data text with a percent sign stays a plain character when passed through "%s".
  EXPECT_EQ(core::FormatText("%s", "50%d.seq"), "50%d.seq");
  const std::string longText(5000, 'x');
  EXPECT_EQ(core::FormatText("%s!", longText.c_str()).size(), 5001U);
}

TEST(FormatWideText, FormatsWideTexts) {
  EXPECT_EQ(core::FormatWideText(L"%ls/%d", L"dir", 5), L"dir/5");
  const std::wstring longText(3000, L'y');
  EXPECT_EQ(core::FormatWideText(L"%ls", longText.c_str()), longText);
}

TEST(ToAnsiText, ConvertsWithoutLoss) {
  // A character outside any single-byte code page survives as UTF-8 instead of becoming '?'.
  EXPECT_EQ(core::ToAnsiText(L"%ls", L"\u97f3\u697d/t\u00f6wn.seq"), "\xe9\x9f\xb3\xe6\xa5\xbd/t\xc3\xb6wn.seq");
  EXPECT_EQ(core::ToAnsiText(L"%ls", L"\U0001F3B5"), "\xf0\x9f\x8e\xb5");
  EXPECT_EQ(core::Utf8ToWide("\xe9\x9f\xb3 \xf0\x9f\x8e\xb5"), L"\u97f3 \U0001F3B5");
  EXPECT_EQ(core::WideToUtf8(core::Utf8ToWide("plain")), "plain");
}

TEST(ToUpperText, ChangesOnlyAsciiLetters) {
  EXPECT_EQ(core::ToUpperText("make"), "MAKE");
  EXPECT_EQ(core::ToUpperText("Param 50%s \xe9\xff_z{"), "PARAM 50%S \xe9\xff_Z{");
}

}  // namespace
