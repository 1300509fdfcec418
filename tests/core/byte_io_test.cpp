#include "core/byte_io.h"

#include <gtest/gtest.h>

namespace {

TEST(ByteIo, ReadsBothByteOrdersAndStopsAtTheEnd) {
  const std::vector<std::uint8_t> bytes{0x70, 0x51, 0x45, 0x53, 0x01, 0x02, 0x03};
  core::ByteReader reader(bytes);
  EXPECT_EQ(reader.U32Be(), 0x70514553U);  // "pQES"
  EXPECT_EQ(reader.U16Le(), 0x0201U);
  EXPECT_TRUE(reader.ok());
  EXPECT_EQ(reader.U16Le(), 0U);  // one byte left: refused
  EXPECT_FALSE(reader.ok());
  EXPECT_EQ(core::LoadU32Le(bytes, 0), 0x53455170U);
  EXPECT_EQ(core::LoadU24Be(bytes, 4), 0x010203U);
  EXPECT_EQ(core::LoadU32Le(bytes, 5), 0x0302U);  // bytes past the end read as 0
}

TEST(ByteIo, WritesAndPatches) {
  core::ByteWriter writer;
  writer.Text("MTrk");
  writer.U32Be(0);
  writer.U16Le(0x1234);
  writer.PatchU32Be(4, 0x0A0B0C0D);
  EXPECT_EQ(writer.bytes(), (std::vector<std::uint8_t>{'M', 'T', 'r', 'k', 0x0A, 0x0B, 0x0C, 0x0D, 0x34, 0x12}));
  std::vector<std::uint8_t> small(3, 0);
  core::StoreU32Le(small, 0, 0xFFFFFFFF);  // does not fit: dropped
  EXPECT_EQ(small, (std::vector<std::uint8_t>{0, 0, 0}));
}

}  // namespace
