#include "pages/FileNameCheck.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "checks/FileNameLengthCheck.h"
#include "checks/ToolTexts.h"
#include "pages/FolderChooser.h"
#include "pages/GuiRunContext.h"

namespace veltrane {

CFileNameCheck::CFileNameCheck(QWidget* parent) : CCheckerPage(CheckerPageTexts(kFileNamesTexts), parent) {
    setObjectName(QStringLiteral("fileNamesPage"));
}

void CFileNameCheck::OnBrowse() {
    if (BrowseForFolder(QStringLiteral("Select Folder to scan"))) {
        CheckButton()->setEnabled(true);
    }
}

void CFileNameCheck::OnCheck() {
    m_counter1 = 0;
    m_counter2 = 0;
    ClearResults();
    const NameCheckMode mode =
        FirstModeButton()->isChecked() ? NameCheckMode::ThisFolderOnly : NameCheckMode::EntireDirectory;

    FileNameCheckResult result;
    {
        const auto ctx = MakeRunContext();
        result = RunFileNameCheck(ToNativePath(PathBox()->text()), mode, *ctx);
    }
    if (result.disableCheckButton) {
        CheckButton()->setEnabled(false);
        return;
    }
    m_counter1 = result.itemsChecked;
    m_counter2 = result.problemsFound;
    if (result.refreshCounters) {
        RefreshCounters();
    }
    ShowReport(result.report);
}

}  // namespace veltrane
