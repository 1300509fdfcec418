// The keyword command line. The input is split into arguments at NUL and newline bytes ('/' becomes '_', so
// every path stays in the private working directory) and run through the batch keywords in a directory
// holding fixture files: s.seq, h.vh, b.vb, v.vab (h.vh + b.vb), p.sep and d.psf (a PSF of the built-in
// driver). Properties: the exit status is 0 or 1; no temporary file is left behind; a run that succeeded
// and ended with OUT (as a keyword, not an operand) leaves a PSF that opens again as a driver. An input runs until its
// writes would compress the 2 MiB program image more than six times (STEMS once a channel): grown inputs held up
// to 33 OUT, LIB and STEMS, and spent most of the target's time in zlib; six still reach STEMS then OUT, and OUT,
// OPEN of the result and OUT again.

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>

#include "core/text.h"
#include "fuzz/fuzz_support.h"
#include "psf/psf_builder.h"
#include "psf/psf_file.h"
#include "ui/commands/app_state.h"
#include "ui/commands/batch_mode.h"

namespace {

struct Fixture {
  std::string name;
  std::vector<std::uint8_t> bytes;
};

std::vector<Fixture>& Fixtures() {
  static std::vector<Fixture> fixtures;
  return fixtures;
}

std::FILE* Errors() {
  static std::FILE* errors = std::fopen("/dev/null", "w");
  return errors;
}

std::vector<std::uint8_t> DemoFile(const char* name) {
  auto bytes = fuzz_support::ReadFile(std::filesystem::path(LFQ_SOURCE_DIR) / "assets" / "demo" / name);
  FUZZ_CHECK(!bytes.empty());
  return bytes;
}

// A SEP of one sequence: the demo SEQ's fields and event data behind "pQES" and version 0.
std::vector<std::uint8_t> DemoSep(const std::vector<std::uint8_t>& seq) {
  std::vector<std::uint8_t> sep = {'p', 'Q', 'E', 'S', 0, 0, 0, 0};
  sep.insert(sep.end(), seq.begin() + 8, seq.begin() + 15);  // resolution, tempo, rhythm
  const std::uint32_t dataSize = static_cast<std::uint32_t>(seq.size() - 15);
  for (int shift = 24; shift >= 0; shift -= 8) sep.push_back(static_cast<std::uint8_t>(dataSize >> shift));
  sep.insert(sep.end(), seq.begin() + 15, seq.end());
  return sep;
}

std::vector<std::string> SplitArguments(std::span<const std::uint8_t> input) {
  constexpr std::size_t ARGUMENT_LIMIT = 64;
  std::vector<std::string> arguments(1);
  for (const std::uint8_t byte : input) {
    if (byte == '\0' || byte == '\n') {
      if (arguments.size() == ARGUMENT_LIMIT) break;
      arguments.emplace_back();
    } else {
      arguments.back().push_back(byte == '/' ? '_' : static_cast<char>(byte));
    }
  }
  return arguments;
}

// Whether the argument at target is tried as a keyword: the operands of TAG, LIB, MINI, STEMS and UNPACK never
// are, so "OUT TAG OUT x" writes TAG and then sets a tag named OUT, and nothing goes to x.
bool TriedAsKeyword(const std::vector<std::string>& arguments, std::size_t target) {
  std::size_t operandsEnd = 0;
  for (std::size_t index = 0; index < target; ++index) {
    if (index < operandsEnd) continue;
    const std::string word = core::ToUpperText(arguments[index]);
    const std::size_t operands = word == "TAG" || word == "UNPACK"                    ? 2
                                 : word == "LIB" || word == "MINI" || word == "STEMS" ? 1
                                                                                      : 0;
    operandsEnd = index + 1 + operands;
  }
  return target >= operandsEnd;
}

// Cuts the arguments where they would compress the 2 MiB program image more than six times: once for OUT or LIB,
// five times for STEMS (a stem a channel with notes; the fixture song has five). Keywords are matched as the batch
// matches them, in any case.
void KeepWithinCompressionBudget(std::vector<std::string>& arguments) {
  constexpr int BUDGET = 6;
  int spent = 0;
  const auto over = std::find_if(arguments.begin(), arguments.end(), [&](const std::string& argument) {
    const std::string word = core::ToUpperText(argument);
    spent += word == "OUT" || word == "LIB" ? 1 : word == "STEMS" ? 5 : 0;
    return spent > BUDGET;
  });
  arguments.erase(over, arguments.end());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const auto& dir = fuzz_support::ScratchDir();
  const std::vector<std::uint8_t> seq = DemoFile("demo.seq");
  const std::vector<std::uint8_t> vh = DemoFile("demo.vh");
  const std::vector<std::uint8_t> vb = DemoFile("demo.vb");
  std::vector<std::uint8_t> vab = vh;
  vab.insert(vab.end(), vb.begin(), vb.end());
  psf::PsfBuilder builder;
  FUZZ_CHECK(psf::LoadBuiltinDriver(builder) && psf::WritePsfFile(builder, dir / "d.psf"));
  Fixtures() = {{"s.seq", seq},
                {"h.vh", vh},
                {"b.vb", vb},
                {"v.vab", vab},
                {"p.sep", DemoSep(seq)},
                {"d.psf", fuzz_support::ReadFile(dir / "d.psf")}};
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto& dir = fuzz_support::ScratchDir();
  dir.Clear();
  for (const Fixture& fixture : Fixtures()) fuzz_support::WriteFile(dir / fixture.name, fixture.bytes);

  std::vector<std::string> arguments = SplitArguments(std::span<const std::uint8_t>(data, size));
  KeepWithinCompressionBudget(arguments);
  // The keywords run in the private directory; libFuzzer's own relative paths need the directory back.
  const int previous = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  FUZZ_CHECK(previous >= 0 && ::chdir(dir.path().c_str()) == 0);
  ui::AppState state;
  const int status = ui::RunBatchCommands(arguments, state, Errors());
  FUZZ_CHECK(::fchdir(previous) == 0);
  ::close(previous);
  FUZZ_CHECK(status == 0 || status == 1);
  // A file the arguments name is the user's, whatever it is called.
  std::vector<std::string> listing = dir.Listing();
  std::erase_if(listing, [&](const std::string& name) {
    return std::find(arguments.begin(), arguments.end(), name) != arguments.end();
  });
  FUZZ_CHECK(!fuzz_support::HoldsTemporaryFile(listing));

  const std::size_t count = arguments.size();
  if (status == 0 && count >= 2 && arguments[count - 2] == "OUT" && !arguments[count - 1].empty() &&
      TriedAsKeyword(arguments, count - 2)) {
    psf::PsfBuilder reopened;
    FUZZ_CHECK(psf::LoadDriverFromPsf(reopened, dir / arguments[count - 1]));
  }
  return 0;
}
