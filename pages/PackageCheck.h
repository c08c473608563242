#pragma once

#include <memory>
#include <string>

#include "checks/PackageCheck.h"
#include "pages/PageFrame.h"

namespace veltrane {

struct PackageCheckRun;

// The "Package Check" page: checks that a package holds every file its Poser files refer to and
// that its paths load on every platform. Besides the package path it takes one extra runtime to
// look in (a Poser installation whose base content the package may rely on), remembered per user
// beside the last path.
class CPackageCheck : public CPageFrame {
    Q_OBJECT

public:
    explicit CPackageCheck(QWidget* parent = nullptr);
    ~CPackageCheck() override;

    QLineEdit* RuntimeBox() const { return m_runtimeBox; }
    QPushButton* RuntimeBrowseButton() const { return m_runtimeBrowse; }
    QPushButton* CheckButton() const { return m_check; }
    // "Fix References...": enabled after a check that found references a fix can rewrite.
    QPushButton* FixButton() const { return m_fix; }
    QPushButton* ActionButton() const override { return m_check; }
    // "Save &Report...": enabled once a run has shown its result.
    QPushButton* SaveReportButton() const { return m_saveReport; }

    // The settings value that holds the remembered "Also look in:" folder.
    static QString LastRuntimeValue() { return QStringLiteral("LastRuntime"); }

protected:
    // Window creation: counters 0, "&Check!" disabled, results emptied.
    void OnInitDialog() override;
    // Also loads the remembered "Also look in:" folder.
    void OnSetActive() override;
    // Also stores the "Also look in:" folder.
    void OnKillActive() override;
    // Reset, then "&Check!" enabled when the path is not empty.
    void OnPathChanged() override;
    void OnBrowse() override;
    // A dropped file gives its folder; a drop on "Also look in:" goes there.
    QString DroppedPathText(const QString& path) const override { return FolderOf(path); }
    QLineEdit* DropTarget(QObject* watched) const override;

private:
    void OnBrowseRuntime();
    void OnCheck();
    // Lists the planned changes with OK and Cancel, writes them on OK and shows what was fixed.
    void OnFix();
    // Saves the shown result as an HTML page where the user chooses, then offers to open it.
    void OnSaveReport();

    QLineEdit* m_runtimeBox;
    QPushButton* m_runtimeBrowse;
    QPushButton* m_check;
    QPushButton* m_fix;
    std::unique_ptr<PackageCheckRun> m_lastRun;  // the check the fix works from
    QString m_lastPath;
    QPushButton* m_saveReport;
    // The run the results box shows, for its report: its package path, its result, when it ran.
    std::string m_reportPath;
    PackageCheckRun m_reportRun;
    std::string m_reportTime;
};

}  // namespace veltrane
