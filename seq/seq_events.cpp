#include "seq/seq_events.h"

namespace seq {

namespace {

constexpr std::uint8_t META_STATUS = 0xFF;
constexpr std::uint8_t META_TEMPO = 0x51;
constexpr std::uint8_t META_END_OF_TRACK = 0x2F;
constexpr int MAX_DELTA_BYTES = 4;

}  // namespace

SeqEventReader::SeqEventReader(std::span<const std::uint8_t> bytes, std::size_t start)
    : m_bytes(bytes), m_position(start < bytes.size() ? start : bytes.size()) {}

bool SeqEventReader::Fail(SeqReadState state, std::size_t at) {
  m_state = state;
  m_position = at;
  return false;
}

bool SeqEventReader::Next(SeqEvent& event) {
  if (m_state != SeqReadState::Reading) return false;
  const std::size_t start = m_position;
  std::size_t at = start;
  auto take = [&](std::uint8_t& byte) {
    if (at >= m_bytes.size()) return false;
    byte = m_bytes[at++];
    return true;
  };

  std::uint32_t delta = 0;
  for (int i = 0;; ++i) {
    if (i == MAX_DELTA_BYTES) return Fail(SeqReadState::BadDelta, start);
    std::uint8_t byte = 0;
    if (!take(byte)) return Fail(SeqReadState::Truncated, start);
    delta = (delta << 7) | (byte & 0x7Fu);
    if ((byte & 0x80) == 0) break;
  }

  const std::size_t statusOffset = at;
  std::uint8_t first = 0;
  if (!take(first)) return Fail(SeqReadState::Truncated, start);
  const bool running = first < 0x80;
  std::uint8_t status = m_status;
  if (!running) {
    status = first;
    if (!take(first)) return Fail(SeqReadState::Truncated, start);
  } else if (status == 0) {
    return Fail(SeqReadState::NoStatus, start);
  }

  SeqEvent read;
  read.offset = start;
  read.statusOffset = statusOffset;
  read.delta = delta;
  read.tick = m_tick + delta;
  read.status = status;
  read.runningStatus = running;
  read.data[0] = static_cast<std::uint8_t>(first & 0x7F);
  read.dataCount = 1;
  switch (status >> 4) {
    case 0x8:
    case 0x9:
    case 0xA:
    case 0xB:
    case 0xE: {
      std::uint8_t second = 0;
      if (!take(second)) return Fail(SeqReadState::Truncated, start);
      read.data[1] = static_cast<std::uint8_t>(second & 0x7F);
      read.dataCount = 2;
      break;
    }
    case 0xC:
    case 0xD:
      break;
    default:
      if (status == META_STATUS && read.data[0] == META_TEMPO) {
        for (std::uint8_t& byte : read.data)
          if (!take(byte)) return Fail(SeqReadState::Truncated, start);
        read.dataCount = 3;
        read.kind = SeqEventKind::Tempo;
      } else {
        read.kind = status == META_STATUS && read.data[0] == META_END_OF_TRACK ? SeqEventKind::EndOfTrack
                                                                               : SeqEventKind::TrackCut;
        m_state = SeqReadState::Ended;
      }
      break;
  }
  read.end = at;
  m_position = at;
  m_status = status;
  m_tick = read.tick;
  event = read;
  return true;
}

}  // namespace seq
