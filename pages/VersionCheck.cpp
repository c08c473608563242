#include "pages/VersionCheck.h"

#include <string_view>

#include <QLineEdit>
#include <QRadioButton>

#include "checks/ToolTexts.h"
#include "checks/VersionCheck.h"
#include "fs/walk/FileRecordArray.h"
#include "pages/GuiRunContext.h"

namespace veltrane {

CVersionCheck::CVersionCheck(QWidget* parent) : CCheckerPage(CheckerPageTexts(kVersionTexts), parent) {
    setObjectName(QStringLiteral("versionNumberPage"));
}

CVersionCheck::~CVersionCheck() = default;

void CVersionCheck::OnInitDialog() {
    CCheckerPage::OnInitDialog();
    m_records = std::make_unique<CFileRecordArray>();
}

void CVersionCheck::OnBrowse() {
    BrowseFileOrFolder();
}

void CVersionCheck::OnCheck() {
    if (!m_records) {
        m_records = std::make_unique<CFileRecordArray>();
    }
    const VersionCheckMode mode =
        FirstModeButton()->isChecked() ? VersionCheckMode::File : VersionCheckMode::Folder;
    VersionRunResult run;
    {
        const auto ctx = MakeRunContext();
        run = RunVersionCheck(ToNativePath(PathBox()->text()), mode, *m_records, *ctx);
    }
    if (!run.hasReport) {
        return;  // stopped at an error box: counters and results stay as they were
    }
    m_counter1 = run.check.filesChecked;
    m_counter2 = run.check.problemsFound;
    RefreshCounters();
    // A fix that stopped at its first file would show the header with no name under it.
    const std::string_view fixedHeader = kVersionFixedHeader;
    if (run.fixRan && run.fix.filesFixed == 0 &&
        run.report.compare(0, fixedHeader.size(), fixedHeader) == 0) {
        run.report.replace(0, fixedHeader.size(), "No file was fixed.\r\n");
    }
    ShowReport(run.report);
}

}  // namespace veltrane
