#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace rs {

// How an output is written, by what its path names when the run starts.
enum class OutputKind {
    kReplace,  // a regular file or none yet: written beside and renamed over, or created
    kStream,   // a device, a FIFO or a socket: written in place, never renamed over
};

// An output of the run, checked before anything is read, run or written.
struct OutputTarget {
    std::string name;            // as the user gave it, for messages
    std::filesystem::path path;  // where it is written: a link's final target
    OutputKind kind = OutputKind::kReplace;
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
};

// Checks the output at path (name for messages): its folder exists and can be written, and it
// is not a folder; a symbolic link is followed to its target, which is written instead, so
// that the link stays a link. Fills target, or returns why the output cannot be written.
std::string CheckOutput(const std::string& name, const std::filesystem::path& path,
                        OutputTarget& target);

// Two outputs that are one file, by device and inode or by their final path, would overwrite
// each other: the reason, or empty. Character devices (/dev/null) may take any number.
std::string CheckDistinct(const std::vector<OutputTarget>& targets);

// Writes text to the target as a whole: a regular file is replaced atomically (written beside,
// flushed, renamed over it), anything else is written in place. Returns an error message naming
// the output, empty on success; nothing is left beside it on failure.
std::string WriteWhole(const OutputTarget& target, const std::string& text);

// The file to write a whole output into before it goes in place: beside the target, for
// WriteWhole's rename, or for a copy into a stream.
std::filesystem::path AsidePath(const OutputTarget& target);
// Puts the file aside, written completely, in place of the target: renamed over a regular
// file, or copied into a stream and removed. An error message, empty on success.
std::string PutInPlace(const OutputTarget& target, const std::filesystem::path& aside);

}  // namespace rs
