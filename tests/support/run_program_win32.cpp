#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <fstream>
#include <iterator>

#include "core/text.h"
#include "support/run_program.h"
#include "support/test_system.h"

namespace testing_support {

namespace {

// A standard stream as the program meant it: Windows programs write their standard streams in text mode,
// which turns each line end into CR LF; the runner turns it back, so tests compare the same texts everywhere.
std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string text;
  text.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    text += raw[i];
  }
  return text;
}

// One argument as the C runtime's command-line parser reads it back: quoted when it holds a blank or a
// quote (or is empty), a quote escaped with a backslash, backslashes doubled only before a quote.
std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  quoted += L'"';
  return quoted;
}

// A file the child writes its stream into; inherited by the child only.
HANDLE CreateCaptureFile(const std::filesystem::path& path) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ProgramRun RunProgram(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                      const std::filesystem::path& workingDirectory) {
  // The captured streams go to a directory of their own, so the working directory holds only what the
  // program wrote.
  const std::filesystem::path captureDirectory = MakeUniqueDirectory("lfq-run-");
  if (captureDirectory.empty()) return {};
  const std::filesystem::path outPath = captureDirectory / "stdout";
  const std::filesystem::path errPath = captureDirectory / "stderr";

  std::wstring commandLine = QuoteArgument(executable.wstring());
  for (const std::string& argument : arguments) commandLine += L" " + QuoteArgument(core::Utf8ToWide(argument));

  ProgramRun run;
  const HANDLE out = CreateCaptureFile(outPath);
  const HANDLE err = CreateCaptureFile(errPath);
  if (out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    if (::CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                         workingDirectory.c_str(), &startup, &process)) {
      ::WaitForSingleObject(process.hProcess, INFINITE);
      DWORD code = 0;
      if (::GetExitCodeProcess(process.hProcess, &code)) run.status = static_cast<int>(code);
      ::CloseHandle(process.hThread);
      ::CloseHandle(process.hProcess);
    }
  }
  if (out != INVALID_HANDLE_VALUE) ::CloseHandle(out);
  if (err != INVALID_HANDLE_VALUE) ::CloseHandle(err);
  run.out = ReadText(outPath);
  run.err = ReadText(errPath);
  std::error_code ignored;
  std::filesystem::remove_all(captureDirectory, ignored);
  return run;
}

}  // namespace testing_support
