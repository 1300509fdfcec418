#include "ui/commands/drop_dispatch.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/failure.h"
#include "seq_test_files.h"
#include "support/temp_dir.h"

namespace {

using seq_testing::Bytes;
using seq_testing::ScopedWorkingDirectory;
using testing_support::TempDir;
using testing_support::WriteBytes;
using ui::DropKind;

using Names = std::vector<std::string>;

const Bytes SEQ{
    'p',  'Q',  'E',  'S',  0x00, 0x00, 0x00, 0x01, 0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x02,  // header
    0x00, 0xFF, 0x2F, 0x00,                                                                    // end of track
};

class DropDispatchTest : public ::testing::Test {
 protected:
  std::unique_ptr<ui::AppState> m_state = std::make_unique<ui::AppState>();
  TempDir m_dir;
};

TEST_F(DropDispatchTest, ExtensionChoosesTheConverterInAnyLetterCase) {
  ScopedWorkingDirectory inDir(m_dir.path());
  const std::pair<const char*, DropKind> cases[] = {
      {"a.exe", DropKind::ExeToPsf},  {"a.Psf", DropKind::PsfToExe},  {"a.SEP", DropKind::SepToSeq},
      {"a.sEq", DropKind::SeqToMidi}, {"a.vab", DropKind::VabToVags}, {"archive.minipsf", DropKind::None},
      {"a.psf2", DropKind::None},     {"noext", DropKind::None},      {"a.", DropKind::None},
  };
  for (const auto& [name, kind] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ui::DispatchDroppedFile(name, *m_state).kind, kind);
  }
  const ui::DropResult none = ui::DispatchDroppedFile("archive.minipsf", *m_state);
  EXPECT_FALSE(none.produced);
  EXPECT_EQ(none.reason, "not converted: the extension is none of EXE, PSF, SEP, SEQ, VAB");
}

TEST_F(DropDispatchTest, ConvertedFileReportsNoStaleReason) {
  WriteBytes(m_dir / "song.Seq", SEQ);
  core::SetFailureReason("left from earlier work");
  const ui::DropResult result = ui::DispatchDroppedFile((m_dir / "song.Seq").string(), *m_state);
  EXPECT_EQ(result.kind, DropKind::SeqToMidi);
  EXPECT_TRUE(result.produced);
  EXPECT_EQ(result.reason, "");
  EXPECT_EQ(m_dir.Listing(), (Names{"song.Seq", "song.mid"}));

  const ui::DropResult missing = ui::DispatchDroppedFile((m_dir / "gone.sep").string(), *m_state);
  EXPECT_FALSE(missing.produced);
  EXPECT_EQ(missing.reason, "cannot open: No such file or directory");
}

TEST_F(DropDispatchTest, VabGoesThroughTheSharedBankWhichIsEmptyAfterwards) {
  // One program whose tone 0 plays sample 1, of 2 units of 8 bytes.
  Bytes vab(2592 + 512 + 16, 0x00);
  vab[0x12] = 1;
  vab[0x16] = 1;
  vab[2080 + 22] = 1;
  vab[2080 + 512 + 2] = 2;
  WriteBytes(m_dir / "bank.VAB", vab);
  const ui::DropResult result = ui::DispatchDroppedFile((m_dir / "bank.VAB").string(), *m_state);
  EXPECT_TRUE(result.produced) << result.reason;
  EXPECT_FALSE(m_state->sharedBank.loaded);
  EXPECT_EQ(m_dir.Listing(), (Names{"bank.VAB", "bank00.vag"}));

  vab.resize(2000);  // shorter than any VH
  WriteBytes(m_dir / "cut.vab", vab);
  const ui::DropResult cut = ui::DispatchDroppedFile((m_dir / "cut.vab").string(), *m_state);
  EXPECT_FALSE(cut.produced);
  EXPECT_NE(cut.reason, "");
  EXPECT_FALSE(m_state->sharedBank.loaded);
  EXPECT_EQ(m_dir.Listing(), (Names{"bank.VAB", "bank00.vag", "cut.vab"}));
}

}  // namespace
