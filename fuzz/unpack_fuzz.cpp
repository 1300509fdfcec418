// Taking apart a program image of the built-in driver with arbitrary song, bank, parameters, tags and name.
// Input: byte 0 the length of a path whose base name names the parts, then the path; two parameter block
// patches (an offset byte, a little-endian word); a 2-byte little-endian song length, the song bytes (laid
// at 0x800A0000) and the bank bytes (laid at 0x800E0000 and again at 0x80160000); after a "[TAG]", tag text.
// Properties: every part is a bare file name NAME.ext in its directory (no separator, no "." or ".."), each
// once; NAME.cmd is one shell line whose words, read back as a shell reads them, are the command; and the
// files the command's SEQ, VAG, VH and VB name are exactly the parts written beside it.

#include <algorithm>
#include <set>
#include <string>
#include <string_view>

#include "core/path_names.h"
#include "fuzz/fuzz_support.h"
#include "psf/psf_builder.h"
#include "psf/psf_file.h"
#include "psf/psf_tags.h"
#include "psf/ram_image.h"
#include "psf/unpack.h"

namespace {

constexpr std::uint32_t PARAMETER_BLOCK = 0x800228A8;

// The words of one shell line as a POSIX shell splits it: blanks between words, single quotes around literal
// text, nothing else special (the writer quotes everything else). Nothing when the line does not parse.
std::optional<std::vector<std::string>> ReadShellWords(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\'') {
      const std::size_t close = line.find('\'', i + 1);
      if (close == std::string_view::npos) return std::nullopt;
      word.append(line.substr(i + 1, close - i - 1));
      i = close;
      inWord = true;
    } else if (c == ' ') {
      if (inWord) words.push_back(std::exchange(word, {}));
      inWord = false;
    } else if (c == '\\' && i + 1 < line.size()) {
      word += line[++i];
      inWord = true;
    } else if (c == '\n' || c == '"' || c == '$' || c == '`' || c == '*' || c == '?' || c == '[' || c == '~' ||
               c == '#' || c == ';' || c == '&' || c == '|' || c == '<' || c == '>' || c == '(' || c == ')' ||
               c == '\t') {
      return std::nullopt;  // would mean something to a shell outside quotes
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

std::string FileOperand(const std::string& operand) { return operand.starts_with("./") ? operand.substr(2) : operand; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static psf::PsfBuilder builtin = [] {
    psf::PsfBuilder builder;
    FUZZ_CHECK(psf::LoadBuiltinDriver(builder));
    return builder;
  }();
  if (size < 1) return 0;
  std::span<const std::uint8_t> input(data, size);
  const std::size_t pathSize = std::min<std::size_t>(input[0], input.size() - 1);
  // A path given on a command line holds no NUL byte.
  std::string path(reinterpret_cast<const char*>(data + 1), pathSize);
  std::replace(path.begin(), path.end(), '\0', '_');
  const std::string name = core::GetBaseName(path);
  input = input.subspan(1 + pathSize);

  psf::RamImage image = builtin.image;
  for (int patch = 0; patch < 2 && input.size() >= 5; ++patch) {
    const std::uint32_t offset = input[0] % 193;
    psf::WriteBytesAt(image, PARAMETER_BLOCK + offset, input.subspan(1, 4));
    input = input.subspan(5);
  }
  const std::string_view rest(reinterpret_cast<const char*>(input.data()), input.size());
  const std::size_t tagAt = std::min(rest.find("[TAG]"), rest.size());
  const psf::TagList tags = psf::ParseTagText(rest.substr(std::min(rest.size(), tagAt + 5)));
  std::span<const std::uint8_t> bytes = input.first(tagAt);
  if (bytes.size() >= 2) {
    const std::size_t songSize = std::min<std::size_t>(bytes[0] | bytes[1] << 8, bytes.size() - 2);
    psf::WriteBytesAt(image, 0x800A0000, bytes.subspan(2, songSize));
    psf::WriteBytesAt(image, 0x800E0000, bytes.subspan(2 + songSize));
    psf::WriteBytesAt(image, 0x80160000, bytes.subspan(2 + songSize));
  }

  std::string reason;
  const auto unpacked = psf::UnpackPsfProgram(psf::BuildProgramImage(image), tags, name, reason);
  FUZZ_CHECK(unpacked);  // the built-in driver's block is always there

  std::set<std::string> parts;
  for (const psf::UnpackedFile& file : unpacked->files) {
    FUZZ_CHECK(file.name.find('/') == std::string::npos && file.name.find('\0') == std::string::npos);
    FUZZ_CHECK(file.name != "." && file.name != ".." && file.name.starts_with(name + "."));
    const std::string extension = file.name.substr(name.size() + 1);
    FUZZ_CHECK(extension == "seq" || extension == "sep" || extension == "vag" || extension == "vh" ||
               extension == "vb" || extension == "cmd");
    FUZZ_CHECK(parts.insert(file.name).second);
  }
  FUZZ_CHECK(!unpacked->files.empty() && unpacked->files.back().name == name + ".cmd");

  const std::vector<std::uint8_t>& cmd = unpacked->files.back().bytes;
  FUZZ_CHECK(!cmd.empty() && cmd.back() == '\n');
  const auto words = ReadShellWords(std::string_view(reinterpret_cast<const char*>(cmd.data()), cmd.size() - 1));
  FUZZ_CHECK(words && *words == unpacked->command);
  FUZZ_CHECK(words->size() >= 4 && (*words)[0] == "lfqutil" && (*words)[1] == "MAKE");
  FUZZ_CHECK((*words)[words->size() - 2] == "OUT" && FileOperand(words->back()) == name + ".psf");

  // The placing keywords follow the tags and parameters; each names a part.
  std::set<std::string> named;
  std::size_t at = words->size() - 2;
  while (at >= 2 && (FileOperand((*words)[at - 1]).starts_with(name + ".") &&
                     ((*words)[at - 2] == "SEQ" || (*words)[at - 2] == "VAG" || (*words)[at - 2] == "VH" ||
                      (*words)[at - 2] == "VB"))) {
    FUZZ_CHECK(named.insert(FileOperand((*words)[at - 1])).second);
    at -= 2;
  }
  parts.erase(name + ".cmd");
  FUZZ_CHECK(named == parts);
  return 0;
}
