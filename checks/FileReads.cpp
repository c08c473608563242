#include "checks/FileReads.h"

namespace veltrane {

void RaiseSharedWarnings(RunContext& ctx, OverflowWarnings* cap, const std::vector<std::string>& warnings) {
    for (const std::string& text : warnings) {
        if (cap == nullptr || cap->Admit()) {
            ctx.Notify(NoticeKind::Warning, "Warning !", text);
        }
    }
}

}  // namespace veltrane
