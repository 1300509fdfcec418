#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

// The operating-system calls of the core, kept in one place so that another platform needs only a new
// implementation of this header.
namespace core {

// Creates and opens ("w+b") a new, uniquely named file in the directory of target, with the permission bits
// mode when given (those of a file it is to replace), else those an ordinary new file would get; sets
// temporary to its path. Null (errno set) when no file can be created.
std::FILE* CreateTemporaryFileBeside(const std::filesystem::path& target, std::filesystem::path& temporary,
                                     std::optional<unsigned> mode);

// The file an output named target replaces or creates: a symbolic link is followed to its final target (also
// one that does not exist yet), so that the link stays and the file it names is written. When that file
// exists, mode gets its permission bits. False (errno set) when the existing file cannot be written by this
// user (EACCES) or the links loop (ELOOP). A directory there is left for the final rename to refuse.
bool ExamineOutputTarget(const std::filesystem::path& target, std::filesystem::path& resolved,
                         std::optional<unsigned>& mode);

// Puts the finished temporary file in the place of target in one step, replacing a file there; error is set
// when the system refuses.
void ReplaceWithTemporary(const std::filesystem::path& temporary, const std::filesystem::path& target,
                          std::error_code& error);

// Opens a C stream on the path with a mode such as "rb" (the path handed to the system unchanged, whatever
// its characters); null (errno set) when it cannot be opened.
std::FILE* OpenFileStream(const std::filesystem::path& path, const char* mode);

// The program's arguments without the program name, as UTF-8 texts (argc and argv are those of main).
std::vector<std::string> QueryCommandLineArguments(int argc, char** argv);
// Makes the console show the UTF-8 texts the program writes; restored when the program ends.
void PrepareConsoleOutput();

std::string QueryComputerName();
std::string QueryUserName();
std::string QuerySystemDirectory();
std::string QueryModulePath();
// The platform's own name for itself (on Linux PRETTY_NAME of os-release, else uname's system and release).
std::string QueryOsName();

// Loads a shared module and finds a function in it; null, with the system's reason in error, when either fails.
// The module stays loaded for the rest of the run.
void* LoadModuleFunction(const std::filesystem::path& module, const char* name, std::string& error);

}  // namespace core
