#include "pages/FileListMaker.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "checks/FileListBuilder.h"
#include "checks/ToolTexts.h"
#include "pages/FileChooser.h"
#include "pages/FolderChooser.h"
#include "pages/GuiRunContext.h"

namespace veltrane {

CFileListMaker::CFileListMaker(QWidget* parent) : CPageFrame(QString::fromUtf8(kListTexts.caption), parent) {
    setObjectName(QStringLiteral("listMakerPage"));
    QGroupBox* pathGroup = CreatePathGroup();
    QLabel* banner = CreateBanner(QString::fromUtf8(kListTexts.banner));

    auto* listGroup = new QGroupBox(QStringLiteral("Files && Folders List:"), this);
    m_scan = new QPushButton(QStringLiteral("&Scan!"), listGroup);
    m_scan->setObjectName(QStringLiteral("scanButton"));
    m_scan->setDefault(true);
    m_scan->setEnabled(false);
    QPlainTextEdit* list = CreateResultsBox(true);
    list->setParent(listGroup);
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The read-only list is drawn black on white like an ordinary text box, not in the grey of a
    // read-only control.
    QPalette colours = list->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colours.setColor(group, QPalette::Base, Qt::white);
        colours.setColor(group, QPalette::Text, Qt::black);
    }
    list->setPalette(colours);
    m_save = new QPushButton(QStringLiteral("Save &List"), listGroup);
    m_save->setObjectName(QStringLiteral("saveListButton"));
    m_save->setAutoDefault(false);
    m_save->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(2);
    buttons->addWidget(m_scan);
    buttons->addStretch(3);
    buttons->addWidget(m_save);
    buttons->addStretch(2);
    auto* listLayout = new QVBoxLayout(listGroup);
    listLayout->addWidget(list, 1);
    listLayout->addLayout(buttons);

    auto* statistics = new QGroupBox(QStringLiteral("Statistics:"), this);
    auto* foldersLabel = new QLabel(QString::fromUtf8(kListTexts.firstCounter), statistics);
    CreateCounterBoxes(6);
    auto* filesLabel = new QLabel(QString::fromUtf8(kListTexts.secondCounter), statistics);
    FirstCounterBox()->setParent(statistics);
    SecondCounterBox()->setParent(statistics);
    auto* counters = new QHBoxLayout(statistics);
    counters->addStretch(1);
    counters->addWidget(foldersLabel);
    counters->addWidget(FirstCounterBox());
    counters->addStretch(2);
    counters->addWidget(filesLabel);
    counters->addWidget(SecondCounterBox());
    counters->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(banner);
    layout->addWidget(pathGroup);
    layout->addWidget(listGroup, 1);
    layout->addWidget(statistics);

    SetFocusOrder({PathBox(), BrowseButton(), m_scan, FirstCounterBox(), list, SecondCounterBox(), m_save});

    connect(m_scan, &QPushButton::clicked, this, [this] { RunGuarded([this] { OnScan(); }); });
    connect(m_save, &QPushButton::clicked, this, [this] { RunGuarded([this] { OnSaveList(); }); });
}

void CFileListMaker::OnInitDialog() {
    m_counter1 = 0;
    m_counter2 = 0;
    RefreshCounters();
    m_scan->setEnabled(false);
    m_save->setEnabled(false);
}

void CFileListMaker::OnPathChanged() {
    m_scan->setEnabled(!m_pagePath.isEmpty());
    Reset();
    m_save->setEnabled(false);
}

void CFileListMaker::OnBrowse() {
    if (BrowseForFolderOrArchive(QStringLiteral("Select Folder to scan"),
                                 QStringLiteral("Select Archive to scan"))) {
        m_save->setEnabled(false);
    }
}

void CFileListMaker::OnScan() {
    m_counter1 = 0;
    m_counter2 = 0;
    RefreshCounters();

    FileListResult result;
    {
        const auto ctx = MakeRunContext();
        result = RunFileListCheck(ToNativePath(PathBox()->text()), *ctx);
    }
    m_counter1 = result.foldersScanned;
    m_counter2 = result.filesListed;
    RefreshCounters();
    m_listText = std::move(result.listText);
    ShowReport(m_listText);
    m_save->setEnabled(result.saveEnabled);
    m_scan->setEnabled(false);
}

void CFileListMaker::OnSaveList() {
    const auto ctx = MakeRunContext();
    if (m_listText.empty()) {
        SaveFileListWithNotices(std::string(), m_listText, *ctx);
        m_save->setEnabled(false);
        return;
    }
    const auto chosen = FileChooser().SaveFile(this, PathBox()->text(), QStringLiteral("Text files (*.txt)"),
                                               QStringLiteral("txt"));
    if (!chosen) {
        return;  // cancelled: Save List stays enabled
    }
    const FileListSaveResult saved = SaveFileListWithNotices(ToNativePath(*chosen), m_listText, *ctx);
    m_save->setEnabled(saved.saveEnabled);
}

}  // namespace veltrane
