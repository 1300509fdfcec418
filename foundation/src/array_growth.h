#pragma once

#include <cstddef>

namespace foundation_detail {

// The reserve of an array after an insertion that needs room for `needed` elements in total: unchanged
// when it suffices, else 1.5 times the old reserve, or exactly what is needed when that is more.
constexpr std::size_t GrownReserve(std::size_t reserved, std::size_t needed) {
  if (needed <= reserved) return reserved;
  const std::size_t grown = reserved + reserved / 2;
  return grown > needed ? grown : needed;
}

}  // namespace foundation_detail
