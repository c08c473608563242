#include "pages/PathsCheck.h"

#include <QLineEdit>
#include <QPushButton>

#include "checks/PathCheck.h"
#include "checks/ToolTexts.h"
#include "pages/GuiRunContext.h"

namespace veltrane {

CPathsCheck::CPathsCheck(QWidget* parent) : CCheckerPage(CheckerPageTexts(kPathsTexts), parent) {
    setObjectName(QStringLiteral("checkPathsPage"));
}

void CPathsCheck::OnInitDialog() {
    CCheckerPage::OnInitDialog();
    m_mode = -1;
}

void CPathsCheck::OnModeClicked(bool firstMode) {
    m_mode = firstMode ? 1 : 0;
    CCheckerPage::OnModeClicked(firstMode);
}

void CPathsCheck::OnBrowse() {
    BrowseFileOrFolder();
}

void CPathsCheck::OnCheck() {
    m_counter1 = 0;
    m_counter2 = 0;
    const PathCheckMode mode = IsFileOnlyMode() ? PathCheckMode::FileOnly : PathCheckMode::AllFiles;
    PathCheckRun run;
    {
        const auto ctx = MakeRunContext();
        run = RunPathCheck(ToNativePath(PathBox()->text()), mode, *ctx);
    }
    if (run.disableCheckButton) {
        CheckButton()->setEnabled(false);
    }
    if (!run.refreshCounters) {
        return;  // stopped at an error box: results and counters stay as they were
    }
    m_counter1 = run.filesChecked;
    m_counter2 = run.problemFiles;
    ShowReport(run.report);
    RefreshCounters();
}

}  // namespace veltrane
