#pragma once

#include <functional>
#include <string>

namespace veltrane::test {

// What a body run as an ordinary user returned, or why it could not run.
struct OrdinaryUserRun {
    bool ran = false;
    std::string output;      // what the body returned
    std::string skipReason;  // set when no ordinary user could be had: the test skips with it
};

// Runs body in a forked child for which file permissions hold: a root process drops to the user and
// group "nobody" (65534) first, since root reads folders whatever their mode; any other user keeps
// itself. The child's result comes back through a pipe. Not available on Windows.
OrdinaryUserRun RunAsOrdinaryUser(const std::function<std::string()>& body);

}  // namespace veltrane::test
