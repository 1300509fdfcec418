#include "ui/commands/failure_line.h"

namespace ui {

void WriteFailureLine(std::FILE* stream, std::string line) {
  for (char& c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = '?';
  }
  line += '\n';
  std::fputs(line.c_str(), stream);
}

}  // namespace ui
