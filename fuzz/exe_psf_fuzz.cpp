// EXE to PSF and PSF to EXE, in memory and through files. Properties: EXE -> PSF -> EXE gives the input back;
// for one input length in four, the converters write exactly the bytes the in-memory conversions give, the
// input taken as a PSF converts exactly when it decodes, and a refused PSF leaves nothing beside it.

#include "fuzz/fuzz_support.h"
#include "psf/exe_psf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  const auto& dir = fuzz_support::ScratchDir();

  const auto psfBytes = psf::PsfFromExe(input);
  FUZZ_CHECK(psfBytes.has_value());  // libFuzzer inputs are far below the 1,968,128-byte limit
  const auto back = psf::ExeFromPsf(*psfBytes);
  FUZZ_CHECK(back && std::equal(back->begin(), back->end(), input.begin(), input.end()));
  const auto program = psf::ExeFromPsf(input);
  // The file forms cost a dozen system calls: checked for one input length in four.
  if (size % 4 != 0) return 0;

  dir.Clear();
  fuzz_support::WriteFile(dir / "in.exe", input);
  FUZZ_CHECK(psf::ConvertExeToPsf(dir / "in.exe"));
  FUZZ_CHECK(fuzz_support::ReadFile(dir / "in.psf") == *psfBytes);
  std::filesystem::remove(dir / "in.exe");
  FUZZ_CHECK(psf::ConvertPsfToExe(dir / "in.psf"));
  FUZZ_CHECK(fuzz_support::ReadFile(dir / "in.exe") == *back);

  dir.Clear();
  fuzz_support::WriteFile(dir / "x.psf", input);
  const bool converted = psf::ConvertPsfToExe(dir / "x.psf");
  FUZZ_CHECK(converted == program.has_value());
  if (converted) {
    FUZZ_CHECK(fuzz_support::ReadFile(dir / "x.exe") == *program);
  } else {
    FUZZ_CHECK(dir.Listing() == std::vector<std::string>{"x.psf"});
  }
  return 0;
}
