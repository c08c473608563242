#include "checks/FileReads.h"

namespace veltrane {

void RaiseSharedWarnings(RunContext& ctx, OverflowWarnings* cap, const std::vector<std::string>& warnings) {
    for (const std::string& text : warnings) {
        if (cap == nullptr || cap->Admit()) {
            ctx.Notify(NoticeKind::Warning, "Warning !", text);
        }
    }
}

size_t PackageReadBytes(const PackageFileRead& read) {
    size_t bytes = sizeof read;
    for (const auto& [number, reference] : read.references) {
        bytes += sizeof number + sizeof reference + reference.value.size();
    }
    for (const std::string& warning : read.warnings) {
        bytes += sizeof warning + warning.size();
    }
    return bytes;
}

}  // namespace veltrane
