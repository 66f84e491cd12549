// Checks that every tool and library of ours makes before it touches a file
// named by a user: inputs must be regular files, outputs regular files or
// absent and never one of the inputs. Plain POSIX, no Qt: Lensmeta, Loomfold,
// the Converter, the player and the tools all link it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vistamo::files {

// Why path cannot be read as a regular file; empty when it can. Looks at the
// file's type with stat() before anything opens it, so a FIFO, a device or a
// folder is refused at once instead of blocking or misreading.
std::string inputProblem(const std::string& path);

// Opens path for reading, refusing anything but a regular file without
// blocking (the type is checked before and after the open). Returns the
// descriptor (close-on-exec), or -1 with the reason in reason.
int openInput(const std::string& path, std::string& reason);

// Reads the whole regular file at path into bytes (through openInput);
// false with the reason. *opened (when given) says whether the failure came
// after the file was opened (a read error, or not enough memory).
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason, bool* opened = nullptr);

// Why output cannot be written as the result of a job that reads inputs;
// empty when it can. An output must be absent or a regular file (a symbolic
// link counts as its target), must not be any input (device and inode are
// compared, so links and other names of the input are caught), and its
// folder must exist.
std::string outputProblem(const std::string& output, const std::vector<std::string>& inputs);

// The file an output path really names: the target of a symbolic link (so a
// link the user made is kept and its target replaced), else the path itself.
std::string resolveOutput(const std::string& output);

// The text of errno value error, in lower case as our one-line messages use
// it ("no space left on device").
std::string reasonText(int error);

}  // namespace vistamo::files
