#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "checks/Finding.h"
#include "checks/KeptFindings.h"

namespace veltrane {

// The report text of a run's findings, sections in rule order; cancelled marks a partial result.
std::string PackageReport(const Findings& findings, bool cancelled);
std::string PackageReport(const KeptFindings& findings, bool cancelled);

// The same text handed to put piece by piece, never whole, until put returns false; false then. No
// piece ends inside a line end, and none splits a name.
bool PutPackageReport(const KeptFindings& findings, bool cancelled,
                      const std::function<bool(std::string_view)>& put);

}  // namespace veltrane
