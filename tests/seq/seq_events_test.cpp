#include "seq/seq_events.h"

#include <gtest/gtest.h>

#include <vector>

#include "seq_test_files.h"

namespace {

using seq::SeqEvent;
using seq::SeqEventKind;
using seq::SeqEventReader;
using seq::SeqReadState;
using seq_testing::Bytes;

// Every event the reader yields, in order.
std::vector<SeqEvent> ReadAll(SeqEventReader& reader) {
  std::vector<SeqEvent> events;
  SeqEvent event;
  while (reader.Next(event)) events.push_back(event);
  return events;
}

TEST(SeqEventReaderTest, RunningStatusCarriesAcrossNotesWithOffsetsAndTicks) {
  const Bytes bytes{
      0x00, 0x90, 0x3C, 0x40,  //  0: note on C4
      0x83, 0x60, 0x3C, 0x00,  //  4: 480 ticks on, note off under running status
      0x10, 0xC1, 0x05,        //  8: program change, one data byte
      0x00, 0x07,              // 11: another program under running status
      0x00, 0xFF, 0x2F, 0x00,  // 13: end of track
      0x00, 0x90, 0x3C, 0x40,  // 17: after the end: not read
  };
  SeqEventReader reader(bytes);
  const std::vector<SeqEvent> events = ReadAll(reader);
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[1].offset, 4u);
  EXPECT_EQ(events[1].statusOffset, 6u);
  EXPECT_EQ(events[1].end, 8u);
  EXPECT_EQ(events[1].delta, 480u);
  EXPECT_EQ(events[1].tick, 480u);
  EXPECT_EQ(events[1].status, 0x90);
  EXPECT_TRUE(events[1].runningStatus);
  EXPECT_EQ(events[1].dataCount, 2);
  EXPECT_EQ(events[1].data[0], 0x3C);
  EXPECT_EQ(events[2].channel(), 1);
  EXPECT_FALSE(events[2].runningStatus);
  EXPECT_EQ(events[3].status, 0xC1);
  EXPECT_EQ(events[3].dataCount, 1);
  EXPECT_EQ(events[3].data[0], 0x07);
  EXPECT_EQ(events[3].tick, 496u);
  EXPECT_EQ(events[4].kind, SeqEventKind::EndOfTrack);
  EXPECT_EQ(events[4].end, 16u);  // the length byte after FF 2F is not read
  EXPECT_EQ(reader.state(), SeqReadState::Ended);
  EXPECT_EQ(reader.position(), 16u);
}

TEST(SeqEventReaderTest, TempoTakesThreeBytesAndRunsUnderTheMetaStatus) {
  const Bytes bytes{
      0x00, 0xFF, 0x51, 0x07, 0xA1, 0x20,  // tempo 500000, no length byte
      0x60, 0x51, 0x09, 0x27, 0xC0,        // 96 ticks on: tempo 600000 under running status FF
      0x00, 0xFF, 0xD1, 0x0F, 0x42, 0x40,  // D1 is read by its low 7 bits: tempo 1000000
      0x00, 0x3C, 0x40,                    // a bare byte under FF that is not 51: the track ends
  };
  SeqEventReader reader(bytes);
  const std::vector<SeqEvent> events = ReadAll(reader);
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].kind, SeqEventKind::Tempo);
  EXPECT_EQ(events[0].tempo(), 500000u);
  EXPECT_EQ(events[1].kind, SeqEventKind::Tempo);
  EXPECT_TRUE(events[1].runningStatus);
  EXPECT_EQ(events[1].tempo(), 600000u);
  EXPECT_EQ(events[1].tick, 96u);
  EXPECT_EQ(events[2].tempo(), 1000000u);
  EXPECT_EQ(events[3].kind, SeqEventKind::TrackCut);
  EXPECT_EQ(events[3].data[0], 0x3C);
  EXPECT_EQ(reader.state(), SeqReadState::Ended);
}

TEST(SeqEventReaderTest, OtherMetasAndSystemMessagesEndTheTrack) {
  for (const Bytes& bytes : {Bytes{0x00, 0xFF, 0x01, 0x02, 'h', 'i', 0x00, 0x90, 0x3C, 0x40},
                             Bytes{0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x00, 0x90, 0x3C, 0x40},
                             Bytes{0x00, 0xF8, 0x00, 0x90, 0x3C, 0x40}}) {
    SeqEventReader reader(bytes);
    const std::vector<SeqEvent> events = ReadAll(reader);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, SeqEventKind::TrackCut);
    EXPECT_EQ(events[0].status, bytes[1]);
    EXPECT_EQ(reader.position(), 3u);
    EXPECT_EQ(reader.state(), SeqReadState::Ended);
  }
}

TEST(SeqEventReaderTest, BadOrCutDataStopsWithItsReasonAtTheEventThatCannotBeRead) {
  struct Case {
    const char* what;
    Bytes bytes;
    std::size_t events;
    SeqReadState state;
    std::size_t position;
  };
  const Case cases[] = {
      {"no bytes", {}, 0, SeqReadState::Truncated, 0},
      {"data ends between events", {0x00, 0x90, 0x3C, 0x40}, 1, SeqReadState::Truncated, 4},
      {"data ends inside a delta time", {0x00, 0x90, 0x3C, 0x40, 0x83}, 1, SeqReadState::Truncated, 4},
      {"data ends inside an event", {0x00, 0x90, 0x3C, 0x40, 0x00, 0x3C}, 1, SeqReadState::Truncated, 4},
      {"data ends inside a tempo", {0x00, 0xFF, 0x51, 0x07, 0xA1}, 0, SeqReadState::Truncated, 0},
      {"data ends after FF", {0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF}, 1, SeqReadState::Truncated, 4},
      {"five-byte delta time",
       {0x00, 0xC0, 0x01, 0x80, 0x80, 0x80, 0x80, 0x00, 0xC0, 0x01},
       1,
       SeqReadState::BadDelta,
       3},
      {"data byte before any status", {0x00, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00}, 0, SeqReadState::NoStatus, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SeqEventReader reader(c.bytes);
    EXPECT_EQ(ReadAll(reader).size(), c.events);
    EXPECT_EQ(reader.state(), c.state);
    EXPECT_EQ(reader.position(), c.position);
    SeqEvent event;
    EXPECT_FALSE(reader.Next(event));  // it stays stopped
  }
}

TEST(SeqEventReaderTest, AWholeSeqIsReadFromItsEventsWithFileOffsets) {
  SeqEventReader reader(seq_testing::TEMPO_SEQ, 15);
  const std::vector<SeqEvent> events = ReadAll(reader);
  ASSERT_EQ(events.size(), 8u);
  EXPECT_EQ(events[0].offset, 15u);
  EXPECT_EQ(events[4].offset, 32u);
  EXPECT_EQ(events[4].kind, SeqEventKind::Tempo);
  EXPECT_TRUE(events[4].runningStatus);
  EXPECT_EQ(events[7].tick, 672u);
  EXPECT_EQ(reader.position(), 47u);  // the length byte of FF 2F 00 is left unread
  SeqEventReader past(seq_testing::TEMPO_SEQ, 1000);
  EXPECT_EQ(ReadAll(past).size(), 0u);
  EXPECT_EQ(past.state(), SeqReadState::Truncated);
}

}  // namespace
