#include "core/path_names.h"

#include <gtest/gtest.h>

namespace {

struct PathCase {
  const char* path;
  const char* directory;
  const char* baseName;
  const char* extension;
};

// The Windows shapes, read with both separators and written with a backslash.
TEST(PathNames, SplitsWindowsPaths) {
  const PathCase cases[] = {
      {R"(C:\music\town.seq)", R"(C:\music)", "town", "seq"},
      {"C:/music/town.seq", R"(C:\music)", "town", "seq"},
      {R"(C:\town.seq)", "C:", "town", "seq"},
      {R"(\town.seq)", "", "town", "seq"},
      {R"(C:\music\town.alt.seq)", R"(C:\music)", "town.alt", "seq"},
      {R"(C:\music\town)", R"(C:\music\town)", "", R"(C:\music\town)"},
      {R"(C:\my.dir\town)", R"(C:\my.dir\town)", "", R"(dir\town)"},
      {R"(C:\music\town.)", R"(C:\music)", "town", ""},
      {R"(C:\music\)", R"(C:\music\)", "", R"(C:\music\)"},
      {"town.seq", ".", "town", "seq"},
      {R"(C:\music\TOWN.SEQ)", R"(C:\music)", "TOWN", "SEQ"},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(core::GetDirectoryPart(c.path, core::WINDOWS_PATHS), c.directory);
    EXPECT_EQ(core::GetBaseName(c.path, core::WINDOWS_PATHS), c.baseName);
    EXPECT_EQ(core::GetExtensionPart(c.path), c.extension);
  }
}

TEST(PathNames, SplitsPosixPaths) {
  const PathCase cases[] = {
      {"/music/town.seq", "/music", "town", "seq"},
      {"/town.seq", "", "town", "seq"},
      {"music/town.alt.seq", "music", "town.alt", "seq"},
      {"/music/town", "/music/town", "", "/music/town"},
      {"/my.dir/town", "/my.dir/town", "", "dir/town"},
      {"/music/town.", "/music", "town", ""},
      {"/music/", "/music/", "", "/music/"},
      {"town.seq", ".", "town", "seq"},
      {"town", ".", "", "town"},
      // A backslash is an ordinary character of a Linux file name.
      {R"(/music/a\b.seq)", "/music", R"(a\b)", "seq"},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(core::GetDirectoryPart(c.path, core::POSIX_PATHS), c.directory);
    EXPECT_EQ(core::GetBaseName(c.path, core::POSIX_PATHS), c.baseName);
    EXPECT_EQ(core::GetExtensionPart(c.path), c.extension);
  }
}

TEST(PathNames, JoinsOutputNames) {
  EXPECT_EQ(core::OutputNameBeside("/music/town.seq", "mid", core::POSIX_PATHS), "/music/town.mid");
  EXPECT_EQ(core::OutputNameBeside("town.exe", "psf", core::POSIX_PATHS), "./town.psf");
  // Without any dot the base name is empty: the directory, a separator, a dot and the extension.
  EXPECT_EQ(core::OutputNameBeside("/music/town", "psf", core::POSIX_PATHS), "/music/town/.psf");
  EXPECT_EQ(core::OutputNameBeside(R"(C:\music\town.seq)", "mid", core::WINDOWS_PATHS), R"(C:\music\town.mid)");
  EXPECT_EQ(core::JoinNumberedOutputName("/m", "bank", 0, "vag", core::POSIX_PATHS), "/m/bank00.vag");
  EXPECT_EQ(core::JoinNumberedOutputName("/m", "bank", 7, "seq", core::POSIX_PATHS), "/m/bank07.seq");
  EXPECT_EQ(core::JoinNumberedOutputName("/m", "bank", 100, "seq", core::POSIX_PATHS), "/m/bank100.seq");
  EXPECT_EQ(core::JoinNumberedOutputName(R"(C:\m)", "b", 3, "vag", core::WINDOWS_PATHS), R"(C:\m\b03.vag)");
}

}  // namespace
