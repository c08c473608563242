#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <QString>

#include "base/PropertyPage.h"

class QGroupBox;
class QLabel;
class QMimeData;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace veltrane {

class CFileChooser;
class CFolderChooser;
class CGuiRunContext;

// What the pages share: the banner, the path box with its Browse button, the two counter boxes,
// the results box, the page path that mirrors the path box, and the remembered path that is
// loaded when the page becomes the current tab and stored when the user leaves it. For the
// keyboard: the action button is the page's default button, the path box takes the focus, Tab
// follows the page's order. A folder or file dropped on the page goes into its path box; a
// double-click on a results line that names a file or folder shows it in the file manager.
class CPageFrame : public CPropertyPage {
    Q_OBJECT

public:
    QLineEdit* PathBox() const { return m_pathBox; }
    QPushButton* BrowseButton() const { return m_browse; }
    QLineEdit* FirstCounterBox() const { return m_counterBox1; }
    QLineEdit* SecondCounterBox() const { return m_counterBox2; }
    QPlainTextEdit* ResultsBox() const { return m_results; }

    // "&Check!" or "&Scan!": what Enter in the path box presses.
    virtual QPushButton* ActionButton() const = 0;
    QPushButton* DefaultButton() const override { return ActionButton(); }
    QWidget* InitialFocus() const override;
    QList<QWidget*> FocusOrder() const override { return m_focusOrder; }

    // The next load of the remembered path puts text in the path box instead (the program's
    // PATH argument); the store is left as it is until a tab change stores the page path.
    void SetStartPath(const QString& text) { m_startPath = text; }

    // Takes a dropped folder or file into the path box as if typed (see DroppedPathText); false
    // when data holds no local file or folder.
    bool TakeDrop(const QMimeData& data);
    // The first local file or folder of data, native separators; empty when there is none.
    static QString DroppedPath(const QMimeData& data);

    // The file or folder a line of a report names, or empty: the whole line, or the part before
    // ", line " or ": " (a finding's file), when that exists.
    static QString PathInReportLine(const QString& line);

    // The page path: always the last text seen in the path box.
    const QString& PagePath() const { return m_pagePath; }
    int32_t FirstCounter() const { return m_counter1; }
    int32_t SecondCounter() const { return m_counter2; }

    // Replaces the dialogs that Browse and Save open (the program's own by default).
    void SetFolderChooser(std::unique_ptr<CFolderChooser> chooser);
    void SetFileChooser(std::unique_ptr<CFileChooser> chooser);

    // A report as the results box shows it: "\r\n" line ends become line breaks of the box.
    static QString DisplayText(std::string_view report);

    // The page's path text as the check logic takes it.
    static std::string ToNativePath(const QString& text);

protected:
    CPageFrame(const QString& caption, QWidget* parent);
    ~CPageFrame() override;

    // Building blocks for the page layouts, created in the order the pages give them.
    QLabel* CreateBanner(const QString& text);
    QGroupBox* CreatePathGroup();
    void CreateCounterBoxes(int digitsWidth);
    QPlainTextEdit* CreateResultsBox(bool readOnly);

    void OnSetActive() override;
    void OnKillActive() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    // The page's controls in Tab order; also sets the toolkit's order to match.
    void SetFocusOrder(const QList<QWidget*>& order);

    // What a dropped path becomes in the path box: the path itself; pages that take only folders
    // make a file its folder.
    virtual QString DroppedPathText(const QString& path) const { return path; }
    // Makes a file its folder, native separators.
    static QString FolderOf(const QString& path);
    // Where a drop at watched goes: the path box unless the page has another box for it.
    virtual QLineEdit* DropTarget(QObject* watched) const;
    // A path that arrived whole, dropped on the path box or given as the program's PATH argument,
    // is in the path box now: a page with modes selects the one that fits it.
    virtual void OnPathArrived(const QString& /*path*/) {}

    // Runs after every change of the path box text, typed or set by the program, with the page
    // path already updated.
    virtual void OnPathChanged() = 0;
    virtual void OnBrowse() = 0;

    // Puts text in the path box. The change handling runs even when the text is the same.
    void SetPathText(const QString& text);

    // Counters to 0, results box emptied, counter boxes refreshed. Never touches the path box.
    void Reset();
    // Writes both counters into their boxes and paints them at once.
    void RefreshCounters();
    void ShowReport(std::string_view report);
    void ClearResults();

    // Opens the folder picker titled title at the path box text; on a choice puts the folder into
    // the path box and resets counters and results. False when the user cancelled (nothing changes).
    bool BrowseForFolder(const QString& title);
    // As BrowseForFolder, but when the path box names an archive (or a place inside one) the user
    // picks among archives instead, in a file dialog titled archiveTitle.
    bool BrowseForFolderOrArchive(const QString& title, const QString& archiveTitle);

    CFolderChooser& FolderChooser();
    CFileChooser& FileChooser();

    // Runs a button's action; anything it throws ends it with an error box instead of leaving the
    // handler (the run context it made has closed its window and cursor by then).
    void RunGuarded(const std::function<void()>& action);

    // A run context whose counter reports go straight into the counter boxes.
    std::unique_ptr<CGuiRunContext> MakeRunContext();

    int32_t m_counter1 = 0;
    int32_t m_counter2 = 0;
    QString m_pagePath;

private:
    void HandlePathEdited();
    bool TakeDropAt(QObject* watched, const QMimeData& data);
    void ShowInFileManager(const QString& line);
    void LoadLastPath();
    void StoreLastPath();

    QLineEdit* m_pathBox = nullptr;
    QPushButton* m_browse = nullptr;
    QLineEdit* m_counterBox1 = nullptr;
    QLineEdit* m_counterBox2 = nullptr;
    QPlainTextEdit* m_results = nullptr;
    std::unique_ptr<CFolderChooser> m_folderChooser;
    std::unique_ptr<CFileChooser> m_fileChooser;
    QList<QWidget*> m_focusOrder;
    std::optional<QString> m_startPath;
    bool m_dropFiltersInstalled = false;
};

}  // namespace veltrane
