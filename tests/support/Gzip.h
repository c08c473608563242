#pragma once

#include <string>

namespace veltrane::test {

// bytes as one gzip member, as Poser writes its compressed library files.
std::string Gzip(const std::string& bytes);

}  // namespace veltrane::test
