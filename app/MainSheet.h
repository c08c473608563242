#pragma once

#include "base/PropertySheet.h"
#include "pages/FileListMaker.h"
#include "pages/FileNameCheck.h"
#include "pages/PackageCheck.h"
#include "pages/PathsCheck.h"
#include "pages/VersionCheck.h"

class QAction;

namespace veltrane {

// The program's window: the five tools as tabs (File Names, Version Number, Check Paths, List
// Maker, Package Check), one "Quit" button, and "&About Veltrane..." in the window's system menu (elsewhere
// in its context menu).
class CMainSheet : public CPropertySheet {
    Q_OBJECT

public:
    // Command identifier of the About entry of the system menu.
    static constexpr unsigned kAboutCommand = 0x0010;

    explicit CMainSheet(QWidget* parent = nullptr);
    ~CMainSheet() override;

    CFileNameCheck& FileNamesPage() { return m_fileNames; }
    CVersionCheck& VersionNumberPage() { return m_versionNumber; }
    CPathsCheck& CheckPathsPage() { return m_checkPaths; }
    CFileListMaker& ListMakerPage() { return m_listMaker; }
    CPackageCheck& PackageCheckPage() { return m_packageCheck; }

    // The "Quit" button.
    QPushButton* QuitButton() const { return CancelButton(); }
    // The "&About Veltrane..." entry.
    QAction* AboutAction() const { return m_about; }

    // Shows the About box modally and returns when it is closed.
    void ShowAbout();

    // The first page shows path in its path box when the sheet is shown, instead of the
    // remembered path (which stays as it is until a tab change stores it).
    void SetStartPath(const QString& path);

protected:
    void OnInitDialog() override;
    // Escape never closes the window (a stray one after a run's cancel would throw the results
    // away); Quit, the close box and the platform's close shortcut do.
    void keyPressEvent(QKeyEvent* event) override;
    // A folder or file dropped anywhere on the window goes to the current page.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

private:
    // The widest a report line without spaces should show whole at first start, in characters.
    static constexpr int kReportColumns = 120;
    // Widens the sheet, within the screen, until the results box has room for kReportColumns.
    void WidenForReports();

    CPathsCheck m_checkPaths;
    CFileNameCheck m_fileNames;
    CFileListMaker m_listMaker;
    CVersionCheck m_versionNumber;
    CPackageCheck m_packageCheck;
    QAction* m_about = nullptr;
};

}  // namespace veltrane
