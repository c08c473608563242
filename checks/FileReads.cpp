#include "checks/FileReads.h"

namespace veltrane {

void RaiseSharedWarnings(RunContext& ctx, OverflowWarnings* cap, const std::vector<std::string>& warnings) {
    for (const std::string& text : warnings) {
        if (cap == nullptr || cap->Admit()) {
            ctx.Notify(NoticeKind::Warning, "Warning !", text);
        }
    }
}

namespace {

size_t WarningBytes(const std::vector<std::string>& warnings) {
    size_t bytes = 0;
    for (const std::string& warning : warnings) {
        bytes += sizeof warning + warning.size();
    }
    return bytes;
}

}  // namespace

size_t PathReadBytes(const PathFileRead& read) {
    size_t bytes = sizeof read + WarningBytes(read.warnings);
    for (const PathFileRead::Line& line : read.lines) {
        bytes += sizeof line + line.value.size();
    }
    return bytes;
}

size_t VersionReadBytes(const VersionFileRead& read) {
    return sizeof read + read.text.size() + WarningBytes(read.warnings);
}

size_t PackageReadBytes(const PackageFileRead& read) {
    size_t bytes = sizeof read + WarningBytes(read.warnings);
    for (const auto& [number, reference] : read.references) {
        bytes += sizeof number + sizeof reference + reference.value.size();
    }
    return bytes;
}

}  // namespace veltrane
