#pragma once

#include <filesystem>
#include <string>

// The operating-system calls the tests need, one implementation per platform (test_system_posix.cpp,
// test_system_win32.cpp).
namespace testing_support {

// Creates a new directory with a unique name starting with prefix in the system's temporary folder; its
// path, or an empty path when none can be made.
std::filesystem::path MakeUniqueDirectory(const std::string& prefix);

// Sets an environment variable of this process to a UTF-8 value (an empty value is kept as set).
void SetEnvironment(const char* name, const std::string& value);
// Removes an environment variable of this process.
void UnsetEnvironment(const char* name);

// Whether files carry POSIX permission bits (on Windows only the read-only attribute stands for them).
bool HasPermissionBits();
// Whether this process may make symbolic links (on Windows only with a privilege or in developer mode).
bool CanMakeSymbolicLinks();

// Whether the Linux programs that some tests hand our outputs to (python3, ffmpeg, timidity, fluidsynth) can
// run here.
bool CanRunLinuxPrograms();

// Whether a started program receives any bytes as its arguments, of any length (not on Windows, whose command
// line is UTF-16 text of at most 32,767 characters).
bool CanPassAnyArgumentBytes();

// Whether this process may write any file whatever its permissions say (root on Linux).
bool MayWriteEveryFile();

}  // namespace testing_support
