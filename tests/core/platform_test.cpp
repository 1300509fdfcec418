#include "core/platform.h"

#include <gtest/gtest.h>

#include "support/fake_platform.h"

namespace {

TEST(Platform, UtilityMessageUsesTheUtilityCaption) {
  testing_support::FakePlatform platform;
  EXPECT_EQ(core::ShowUtilityMessage(platform, "Main Window Fail!"), 1);
  ASSERT_EQ(platform.messages.size(), 1U);
  EXPECT_EQ(platform.messages[0].first, "Lanternfieldquarrystone Utility");
  EXPECT_EQ(platform.messages[0].second, "Main Window Fail!");
}

TEST(Platform, FilterPatternsIgnoreLetterCase) {
  EXPECT_TRUE(core::MatchesFilterPattern("song.seq", "*.SEQ"));
  EXPECT_TRUE(core::MatchesFilterPattern("SONG.Seq", "*.SEQ"));
  EXPECT_FALSE(core::MatchesFilterPattern("song.sep", "*.SEQ"));
  EXPECT_FALSE(core::MatchesFilterPattern("song.seq.bak", "*.SEQ"));
  EXPECT_TRUE(core::MatchesFilterPattern("README", "*.*"));
  EXPECT_TRUE(core::MatchesFilterPattern("a.vh", "*.VB;*.VH"));
}

}  // namespace
