#pragma once

#include <string>

#include "pages/PageFrame.h"

namespace veltrane {

// The "List Maker" page: lists every file below a folder, grouped by folder, and saves the list
// as a text file.
class CFileListMaker : public CPageFrame {
    Q_OBJECT

public:
    explicit CFileListMaker(QWidget* parent = nullptr);

    QPushButton* ScanButton() const { return m_scan; }
    QPushButton* SaveButton() const { return m_save; }
    QPushButton* ActionButton() const override { return m_scan; }
    // The list of the last scan, as Save List writes it.
    const std::string& ListText() const { return m_listText; }

protected:
    // Window creation: counters 0, Scan and Save List disabled.
    void OnInitDialog() override;
    // Scan enabled by the path, counters 0, list box emptied, Save List disabled.
    void OnPathChanged() override;
    void OnBrowse() override;
    // A dropped file gives its folder.
    QString DroppedPathText(const QString& path) const override { return FolderOf(path); }

private:
    void OnScan();
    void OnSaveList();

    QPushButton* m_scan;
    QPushButton* m_save;
    std::string m_listText;
};

}  // namespace veltrane
