#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace seq {

// Controller 99 is the driver's loop mark: value 20 marks a loop start, and the data entry (controller 6)
// that follows gives the count (0 or 127: endless); value 30 marks the loop end. The reader yields them as
// ordinary controller events; playing the loop is up to the consumer.
inline constexpr std::uint8_t LOOP_MARK_CONTROLLER = 99;
inline constexpr std::uint8_t LOOP_COUNT_CONTROLLER = 6;
inline constexpr std::uint8_t LOOP_START_MARK = 20;
inline constexpr std::uint8_t LOOP_END_MARK = 30;

enum class SeqEventKind : std::uint8_t {
  Channel,     // status 80-EF with one data byte (C0-DF) or two
  Tempo,       // FF 51 t1 t2 t3: microseconds per quarter note, with no length byte
  EndOfTrack,  // FF 2F: the track ends (no length byte is read)
  TrackCut,    // any other meta FF xx, or a system status F0-FE: nothing says how long it is, so the track ends
};

// One event of SEQ event data, as the driver reads it. Offsets count in the bytes given to the reader.
struct SeqEvent {
  std::size_t offset = 0;        // of its delta time
  std::size_t statusOffset = 0;  // of its status byte, or of its first data byte under running status
  std::size_t end = 0;           // just past its last byte
  std::uint32_t delta = 0;       // ticks after the previous event
  std::uint64_t tick = 0;        // ticks from the start of the data
  SeqEventKind kind = SeqEventKind::Channel;
  std::uint8_t status = 0;     // the status in effect, whether written or running
  bool runningStatus = false;  // the status byte was not written: the previous event's status holds
  std::uint8_t dataCount = 0;  // bytes used in data
  // Channel: the data bytes as the driver uses them (low 7 bits). Tempo: t1 t2 t3. EndOfTrack and TrackCut
  // under status FF: the meta type (low 7 bits); under F0-FE: the byte after the status (low 7 bits).
  std::array<std::uint8_t, 3> data{};

  std::uint8_t channel() const { return status & 0x0F; }
  // Microseconds per quarter note of a Tempo event.
  std::uint32_t tempo() const { return (std::uint32_t{data[0]} << 16) | (std::uint32_t{data[1]} << 8) | data[2]; }
  // True when the track ends with this event.
  bool endsTrack() const { return kind == SeqEventKind::EndOfTrack || kind == SeqEventKind::TrackCut; }
};

enum class SeqReadState : std::uint8_t {
  Reading,    // more events may follow
  Ended,      // an event that ends the track was read; nothing after it belongs to the sequence
  Truncated,  // the bytes ran out before an end of track (between events, inside a delta time or an event)
  BadDelta,   // a delta time longer than four bytes
  NoStatus,   // a data byte where no status has been given yet
};

// Reads SEQ event data one event at a time, exactly as the driver does: a delta time (7 bits a byte, at
// most four bytes), then an event under running status. Reads only inside the span it is given and
// allocates nothing, so any consumer of sequence data (MIDI writer, song length, summaries) can walk it.
//
// Where the driver's reading differs from a Standard MIDI File:
// - Running status covers the meta status FF as well. After FF 51 t1 t2 t3 a bare data byte 51 starts
//   another tempo event (three bytes follow); any other bare byte there is read as a meta type other than
//   tempo and ends the track. So a channel event after a meta always carries its status byte.
// - The byte after a written status byte is always taken as the first data byte, high bit or not, and used
//   by its low 7 bits (FF D1 is a tempo event, 90 BC 40 plays note 3C); second data bytes likewise.
// - Metas carry no length: FF 51 takes exactly three bytes, FF 2F ends the track at its type byte, and any
//   other meta or system status (F0-FE) ends the track, as nothing says how to step over it.
// - The driver reads a SEQ on into the zero-filled memory behind it; this reader stops at the end of its
//   bytes (Truncated). An event cut by the end of the data is still acted on by the driver with the missing
//   bytes read as zero before it stops; this reader yields no event for it.
// - Loop marks do not move the reader: it yields the data once, in order (see LOOP_MARK_CONTROLLER).
class SeqEventReader {
 public:
  // Reads the events of bytes from offset start (15 for a whole SEQ file, 0 for bare event data).
  explicit SeqEventReader(std::span<const std::uint8_t> bytes, std::size_t start = 0);

  // Reads the next event into event; false when there is none, and state() says why.
  bool Next(SeqEvent& event);

  SeqReadState state() const { return m_state; }
  // Offset of the next byte to read: just past the last event read, or, once reading failed, the offset of
  // the event that could not be read (its delta time).
  std::size_t position() const { return m_position; }
  // Ticks from the start of the data to the last event read.
  std::uint64_t tick() const { return m_tick; }

 private:
  bool Fail(SeqReadState state, std::size_t at);

  std::span<const std::uint8_t> m_bytes;
  std::size_t m_position;
  std::uint64_t m_tick = 0;
  std::uint8_t m_status = 0;  // running status; 0 until the first status byte
  SeqReadState m_state = SeqReadState::Reading;
};

}  // namespace seq
