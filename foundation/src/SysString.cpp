#include <foundation/SysString.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

// Block layout: [0, 4) the length in bytes (without the terminator), then the characters, then a 0
// character. malloc aligns the block for any type, so the characters at offset 4 keep wchar_t's alignment.
namespace {

constexpr std::size_t PREFIX = sizeof(std::uint32_t);
static_assert(PREFIX % alignof(wchar_t) == 0, "the characters must stay aligned behind the length");

unsigned char* BlockOf(const wchar_t* string) {
  return reinterpret_cast<unsigned char*>(const_cast<wchar_t*>(string)) - PREFIX;
}

wchar_t* Allocate(const wchar_t* text, unsigned int length) {
  const std::size_t bytes = static_cast<std::size_t>(length) * sizeof(wchar_t);
  if (bytes > std::numeric_limits<std::uint32_t>::max()) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(PREFIX + bytes + sizeof(wchar_t)));
  if (block == nullptr) return nullptr;
  const auto stored = static_cast<std::uint32_t>(bytes);
  std::memcpy(block, &stored, PREFIX);
  auto* characters = reinterpret_cast<wchar_t*>(block + PREFIX);
  if (text != nullptr) {
    std::memcpy(characters, text, bytes);
  } else {
    std::memset(characters, 0, bytes);
  }
  characters[length] = 0;
  return characters;
}

}  // namespace

wchar_t* SysAllocStringLen(const wchar_t* text, unsigned int length) { return Allocate(text, length); }

int SysReAllocStringLen(wchar_t** string, const wchar_t* text, unsigned int length) {
  if (string == nullptr) return 0;
  // The new block is filled before the old one is freed, so text may point into the old string.
  wchar_t* fresh = Allocate(text, length);
  if (fresh == nullptr) return 0;
  SysFreeString(*string);
  *string = fresh;
  return 1;
}

void SysFreeString(wchar_t* string) {
  if (string != nullptr) std::free(BlockOf(string));
}

unsigned int SysStringLen(const wchar_t* string) {
  if (string == nullptr) return 0;
  std::uint32_t bytes;
  std::memcpy(&bytes, BlockOf(string), PREFIX);
  return static_cast<unsigned int>(bytes / sizeof(wchar_t));
}
