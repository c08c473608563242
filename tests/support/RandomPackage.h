#pragma once

#include <vector>

#include "fs/run/RunContext.h"
#include "support/TestTree.h"

namespace veltrane::test {

// A random package in dir: files Poser files of every kind with texture, version and reference lines,
// line ends of all three sorts, lines past the reader's limit, compressed files, long names, textures
// and other files, several levels deep. The same seed gives the same tree.
void Generate(const TempDir& dir, unsigned seed, int files = 14);

// The same boxes with the same answers, in the same order.
void ExpectSameNotices(const std::vector<Notice>& a, const std::vector<Notice>& b);

}  // namespace veltrane::test
