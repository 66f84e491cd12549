// Puts a finished export at its target: the target is replaced only by a
// complete file, so an existing one survives every failure. On the same
// file system that is one rename; elsewhere the bytes are copied into a
// file beside the target that takes its name when complete. Runs on any
// thread (the export runs it off the GUI thread).
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace vistamo::exporting {

struct Placement {
    std::string source;               // the finished file
    std::string target;
    std::vector<std::string> inputs;  // files the target must never be
    bool moveSource = true;           // false: copy, keeping the source
};

// progress gets 0 to 100 while bytes are copied; cancel (when set) stops
// the copy, leaving the target as it was. False with a one-line reason.
bool placeFile(const Placement& placement, const std::function<void(int)>& progress,
               const std::atomic<bool>* cancel, std::string& reason);

}  // namespace vistamo::exporting
