// Song sets: the pages a minipsf carries, its EXE and tags, and how a set is laid when read.

#include "psf/psf_set.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "core/failure.h"
#include "core/text.h"
#include "psf/psf_builder.h"
#include "psf/psf_file.h"
#include "psf_test_support.h"
#include "support/temp_dir.h"

namespace {

using psf_testing::Inflate;
using psf_testing::MakePsf;
using psf_testing::PutWord;
using psf_testing::WordAt;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t PC0 = 0x80010100;
constexpr std::uint32_t GP0 = 0x80020000;
constexpr std::uint32_t STACK = 0x801FFF00;

// A PS-X EXE: "PS-X EXE", pc0, gp0, t_addr, t_size, s_addr, then text of size bytes, each byte fill.
Bytes Exe(std::uint32_t tAddr, std::size_t size, std::uint8_t fill, std::uint32_t pc0 = PC0) {
  Bytes exe(2048 + size, fill);
  std::fill(exe.begin(), exe.begin() + 2048, 0);
  std::copy_n("PS-X EXE", 8, exe.begin());
  PutWord(exe, 0x10, pc0);
  PutWord(exe, 0x14, GP0);
  PutWord(exe, 0x18, tAddr);
  PutWord(exe, 0x1C, static_cast<std::uint32_t>(size));
  PutWord(exe, 0x30, STACK);
  return exe;
}

// The byte of PS address in an EXE whose text starts at tAddr.
std::uint8_t& At(Bytes& exe, std::uint32_t tAddr, std::uint32_t address) { return exe[2048 + address - tAddr]; }

TEST(FindChangedPages, CoverEveryDifferenceInWholePagesFromTheLibrarysLoadAddress) {
  const Bytes library = Exe(0x80010000, 0x3000, 0x11);
  Bytes build = library;
  At(build, 0x80010000, 0x80010900) = 0x22;  // page 1: 0x80010800-0x80010FFF
  At(build, 0x80010000, 0x80011FFF) = 0x33;  // last byte of page 3
  const auto span = psf::FindChangedPages(library, build);
  ASSERT_TRUE(span);
  EXPECT_EQ(span->address, 0x80010800u);
  EXPECT_EQ(span->size, 0x1800u);

  // Nothing differs: the library's first page, which changes nothing.
  const auto same = psf::FindChangedPages(library, library);
  ASSERT_TRUE(same);
  EXPECT_EQ(same->address, 0x80010000u);
  EXPECT_EQ(same->size, 0x800u);
}

TEST(FindChangedPages, RamOutsideEitherTextReadsAsZero) {
  // The library's text ends at 0x80012000; the build's runs one page further with a non-zero byte there, and
  // a zero byte beyond its own text changes nothing.
  const Bytes library = Exe(0x80010000, 0x2000, 0x11);
  Bytes build = Exe(0x80010000, 0x2800, 0x11);
  std::fill(build.begin() + 2048 + 0x2000, build.end(), 0);
  At(build, 0x80010000, 0x80012004) = 0x44;
  auto span = psf::FindChangedPages(library, build);
  ASSERT_TRUE(span);
  EXPECT_EQ(span->address, 0x80012000u);
  EXPECT_EQ(span->size, 0x800u);

  // A library loading at 0x80010400 counts its pages from there: a build byte at 0x80010300, below the
  // library's text, falls in the page 0x8000FC00-0x800103FF.
  const Bytes shifted = Exe(0x80010400, 0x1C00, 0x11);
  build = Exe(0x80010000, 0x2000, 0x11);
  std::fill(build.begin() + 2048, build.begin() + 2048 + 0x400, 0);
  At(build, 0x80010000, 0x80010300) = 0x55;
  span = psf::FindChangedPages(shifted, build);
  ASSERT_TRUE(span);
  EXPECT_EQ(span->address, 0x8000FC00u);
  EXPECT_EQ(span->size, 0x800u);
}

TEST(MakeMiniExe, IsTheLibrarysHeaderWithTheSpanThenTheBuildsPages) {
  Bytes library = Exe(0x80010000, 0x3000, 0x11);
  library[0x4C] = 'R';  // marker text travels with the header
  Bytes build = library;
  At(build, 0x80010000, 0x80011000) = 0x22;
  const auto exe = psf::MakeMiniExe(library, build);
  ASSERT_TRUE(exe);
  ASSERT_EQ(exe->size(), 2048u + 0x800u);
  Bytes expected(library.begin(), library.begin() + 2048);
  PutWord(expected, 0x18, 0x80011000);  // t_addr: the changed page
  PutWord(expected, 0x1C, 0x800);       // t_size: one page
  expected.resize(2048 + 0x800, 0x11);
  expected[2048] = 0x22;
  EXPECT_EQ(*exe, expected);

  // Players start a set as its library says: a build whose entry point moved cannot be a minipsf of it.
  const Bytes moved = Exe(0x80010000, 0x3000, 0x11, PC0 + 4);
  core::TakeFailureReason();
  EXPECT_FALSE(psf::MakeMiniExe(library, moved));
  EXPECT_NE(core::TakeFailureReason().find("starts differently"), std::string::npos);
  EXPECT_FALSE(psf::MakeMiniExe(Bytes(100), build));
}

TEST(LibraryLinkName, IsRelativeWithSlashesOrRefused) {
  EXPECT_EQ(psf::LibraryLinkName("/m/set/songs", "/m/set/town.psflib"), "../town.psflib");
  EXPECT_EQ(psf::LibraryLinkName("/m/set", "/m/set/libs/town.psflib"), "libs/town.psflib");
  EXPECT_FALSE(psf::LibraryLinkName("/m/set", "/m/set/a\nb.psflib"));
  EXPECT_FALSE(psf::LibraryLinkName("/m/set", "/m/set/town.psflib "));
  EXPECT_EQ(psf::ResolveLibraryLink("dir/a.minipsf", "sub\\..\\libs\\t.psflib"), "dir/libs/t.psflib");
  EXPECT_EQ(psf::ResolveLibraryLink("a.minipsf", "t.psflib"), "t.psflib");
}

// Files of a set held in memory, read by name.
class SetFiles {
 public:
  void Add(const std::string& name, const Bytes& exe, const std::string& tags = "") {
    files_[name] = MakePsf(exe, tags.empty() ? "" : "[TAG]" + tags);
  }
  std::optional<psf::PsfSet> Load(const std::string& name) {
    return psf::LoadPsfSet(name, [this](const std::filesystem::path& path) -> std::optional<Bytes> {
      const auto found = files_.find(path.generic_string());
      if (found == files_.end()) {
        core::SetFailureReason("no such file");
        return std::nullopt;
      }
      return found->second;
    });
  }

 private:
  std::map<std::string, Bytes> files_;
};

std::vector<std::string> Names(const psf::PsfSet& set) {
  std::vector<std::string> names;
  for (const auto& file : set.files) names.push_back(file.generic_string());
  return names;
}

TEST(LoadPsfSet, LaysLibThenTheFileThenLib2InOrder) {
  SetFiles files;
  // The library: pages 0x80010000-0x80011FFF of 0x11, entry point and stack of its own.
  files.Add("d/libs/base.psflib", Exe(0x80010000, 0x2000, 0x11));
  // The minipsf: one page of 0x22 at 0x80010800, another entry point (players take the library's).
  files.Add("d/song.minipsf", Exe(0x80010800, 0x800, 0x22, 0x80099999),
            "_lib=libs\\base.psflib\n_lib2=extra.psflib\n_lib4=never.psflib\ntitle=T");
  // The second library, laid last: 16 bytes of 0x33 at 0x80010FF8 over the minipsf's last 8 and beyond.
  files.Add("d/extra.psflib", Exe(0x80010FF8, 0x10, 0x33));
  const auto set = files.Load("d/song.minipsf");
  ASSERT_TRUE(set) << core::TakeFailureReason();
  EXPECT_EQ(Names(*set), (std::vector<std::string>{"d/libs/base.psflib", "d/song.minipsf", "d/extra.psflib"}));
  EXPECT_EQ(set->tags.size(), 4u);  // the file's own tags, links included

  const Bytes& program = set->program;
  ASSERT_EQ(program.size(), 2048u + (0x80200000 - 0x80010000));
  EXPECT_EQ(WordAt(program, 0x10), PC0);                       // from the first file laid
  EXPECT_EQ(WordAt(program, 0x18), 0x80010000u);               // the lowest text address
  EXPECT_EQ(WordAt(program, 0x1C), 0x801FFFF0u - 0x80010000);  // up to the stack top
  const auto ram = [&](std::uint32_t address) { return program[2048 + address - 0x80010000]; };
  EXPECT_EQ(ram(0x800107FF), 0x11);
  EXPECT_EQ(ram(0x80010800), 0x22);
  EXPECT_EQ(ram(0x80010FF7), 0x22);
  EXPECT_EQ(ram(0x80010FF8), 0x33);
  EXPECT_EQ(ram(0x80011007), 0x33);
  EXPECT_EQ(ram(0x80011008), 0x11);
  EXPECT_EQ(ram(0x80012000), 0x00);
}

TEST(LoadPsfSet, RefusesMissingLoopingAndTooDeepChains) {
  SetFiles files;
  files.Add("a.minipsf", Exe(0x80010000, 0x800, 1), "_lib=gone.psflib");
  core::TakeFailureReason();
  EXPECT_FALSE(files.Load("a.minipsf"));
  EXPECT_EQ(core::TakeFailureReason(), "_lib gone.psflib (named by a.minipsf): no such file");

  files.Add("b.minipsf", Exe(0x80010000, 0x800, 1), "_lib=c.psflib");
  files.Add("c.psflib", Exe(0x80010000, 0x800, 1), "_lib=./b.minipsf");
  EXPECT_FALSE(files.Load("b.minipsf"));
  EXPECT_EQ(core::TakeFailureReason(), "_lib chain loops: b.minipsf -> c.psflib -> b.minipsf");

  // l0 names l1, which names l2, ... : ten links load, eleven are refused.
  for (int level = 0; level <= 11; ++level) {
    const std::string tags = level < 11 ? core::FormatText("_lib=l%d.psflib", level + 1) : "";
    files.Add(core::FormatText("l%d.psflib", level), Exe(0x80010000, 0x800, static_cast<std::uint8_t>(level)), tags);
  }
  const auto ten = files.Load("l1.psflib");
  ASSERT_TRUE(ten) << core::TakeFailureReason();
  EXPECT_EQ(ten->files.size(), 11u);
  EXPECT_EQ(ten->program[2048], 1);  // l1 laid last
  EXPECT_FALSE(files.Load("l0.psflib"));
  EXPECT_EQ(core::TakeFailureReason(), "_lib l11.psflib (named by l10.psflib) lies more than 10 _lib levels deep");

  // A file may name one library many times, but a set lays at most 64 files.
  std::string many = "_lib=p.psflib";
  for (int number = 2; number <= 64; ++number) many += "\n_lib" + std::to_string(number) + "=p.psflib";
  files.Add("p.psflib", Exe(0x80010000, 0x800, 1));
  files.Add("many.minipsf", Exe(0x80010000, 0x800, 1), many);
  EXPECT_FALSE(files.Load("many.minipsf"));
  EXPECT_EQ(core::TakeFailureReason(), "_lib64 p.psflib (named by many.minipsf): the set would lay more than 64 files");

  // A library whose text does not fit RAM is named.
  files.Add("e.minipsf", Exe(0x80010000, 0x800, 1), "_lib=f.psflib");
  files.Add("f.psflib", Exe(0x801FF800, 0x1000, 1));
  EXPECT_FALSE(files.Load("e.minipsf"));
  EXPECT_EQ(core::TakeFailureReason().rfind("f.psflib: program text", 0), 0u);
}

TEST(LoadPsfSet, PlainPsfGivesItsOwnProgram) {
  SetFiles files;
  const Bytes exe = Exe(0x80010000, 0x800, 7);
  files.Add("p.psf", exe, "title=x");
  const auto set = files.Load("p.psf");
  ASSERT_TRUE(set);
  EXPECT_EQ(set->program, exe);
  EXPECT_EQ(Names(*set), std::vector<std::string>{"p.psf"});
}

TEST(WriteMiniPsf, WritesPagesTagsAndLinkThatReadBackAsTheBuild) {
  testing_support::TempDir dir;
  std::filesystem::create_directories(dir / "set" / "songs");
  psf::PsfBuilder builder;
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  const auto library = psf::WritePsfLibrary(builder, dir / "set" / "town.psflib");
  ASSERT_TRUE(library) << core::TakeFailureReason();
  const Bytes libraryFile = testing_support::ReadBytes(dir / "set" / "town.psflib");
  EXPECT_EQ(psf::FindTagText(libraryFile), std::nullopt);  // a library carries no tags
  EXPECT_EQ(Inflate(libraryFile, 0x200000), library->program);

  const std::uint8_t song[] = {'p', 'Q', 'E', 'S', 1, 2, 3};
  ASSERT_EQ(psf::WriteBytesAt(builder.image, 0x800A0010, song), sizeof song);
  const psf::TagList edits = {{"title", "A"}};
  ASSERT_TRUE(psf::WriteMiniPsf(builder, *library, edits, dir / "set" / "songs" / "a.minipsf"))
      << core::TakeFailureReason();
  const Bytes mini = testing_support::ReadBytes(dir / "set" / "songs" / "a.minipsf");
  EXPECT_EQ(psf::FindTagText(mini), "_lib=../town.psflib\ntitle=A\nlength=3:00.000");
  const auto exe = Inflate(mini, 0x10000);
  ASSERT_TRUE(exe);
  ASSERT_EQ(exe->size(), 2048u + 0x800u);
  EXPECT_EQ(WordAt(*exe, 0x18), 0x800A0000u);  // the song's page, counted from 0x80010000
  EXPECT_EQ(WordAt(*exe, 0x1C), 0x800u);
  EXPECT_EQ(WordAt(*exe, 0x10), WordAt(library->program, 0x10));
  EXPECT_EQ(WordAt(*exe, 0x30), WordAt(library->program, 0x30));
  EXPECT_EQ(Bytes(exe->begin() + 2048 + 0x10, exe->begin() + 2048 + 0x17), Bytes(song, song + sizeof song));

  const auto set = psf::LoadPsfSetFile(dir / "set" / "songs" / "a.minipsf");
  ASSERT_TRUE(set) << core::TakeFailureReason();
  EXPECT_EQ(set->program, psf::BuildProgramImage(builder.image));

  // The library itself is never overwritten by a minipsf.
  EXPECT_FALSE(psf::WriteMiniPsf(builder, *library, edits, dir / "set" / "songs" / ".." / "town.psflib"));
  EXPECT_EQ(testing_support::ReadBytes(dir / "set" / "town.psflib"), libraryFile);
  psf::ReleaseDriver(builder);
}

}  // namespace
