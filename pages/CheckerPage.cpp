#include "pages/CheckerPage.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "fs/tree/PackageTree.h"
#include "pages/FileChooser.h"
#include "pages/FolderChooser.h"

namespace veltrane {

CCheckerPage::CCheckerPage(const CheckerPageTexts& texts, QWidget* parent)
    : CPageFrame(texts.caption, parent) {
    QLabel* banner = CreateBanner(texts.banner);
    QGroupBox* pathGroup = CreatePathGroup();

    auto* verify = new QGroupBox(QStringLiteral("Verify:"), this);
    m_mode1 = new QRadioButton(texts.firstMode, verify);
    m_mode1->setObjectName(QStringLiteral("firstMode"));
    m_mode2 = new QRadioButton(texts.secondMode, verify);
    m_mode2->setObjectName(QStringLiteral("secondMode"));
    m_check = new QPushButton(QStringLiteral("&Check!"), verify);
    m_check->setObjectName(QStringLiteral("checkButton"));
    m_check->setDefault(true);
    m_check->setEnabled(false);
    m_mode1->setChecked(true);
    auto* verifyLayout = new QVBoxLayout(verify);
    // As wide as their texts: a radio button reacts to clicks on its circle and text only.
    verifyLayout->addWidget(m_mode1, 0, Qt::AlignLeft);
    verifyLayout->addWidget(m_mode2, 0, Qt::AlignLeft);
    verifyLayout->addStretch(1);
    auto* checkRow = new QHBoxLayout;
    checkRow->addStretch(1);
    checkRow->addWidget(m_check);
    checkRow->addStretch(1);
    verifyLayout->addLayout(checkRow);

    auto* statistics = new QGroupBox(QStringLiteral("Statistics:"), this);
    auto* label1 = new QLabel(texts.firstCounterLabel, statistics);
    CreateCounterBoxes(6);
    auto* label2 = new QLabel(texts.secondCounterLabel, statistics);
    FirstCounterBox()->setParent(statistics);
    SecondCounterBox()->setParent(statistics);
    label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* grid = new QGridLayout(statistics);
    grid->setColumnStretch(0, 1);
    grid->addWidget(label1, 0, 0);
    grid->addWidget(FirstCounterBox(), 0, 1);
    grid->addWidget(label2, 1, 0);
    grid->addWidget(SecondCounterBox(), 1, 1);
    grid->setRowStretch(2, 1);

    auto* resultsGroup = new QGroupBox(QStringLiteral("Results:"), this);
    QPlainTextEdit* results = CreateResultsBox(false);
    results->setParent(resultsGroup);
    auto* resultsLayout = new QVBoxLayout(resultsGroup);
    resultsLayout->addWidget(results);

    auto* middle = new QHBoxLayout;
    middle->addWidget(verify, 1);
    middle->addWidget(statistics, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(banner);
    layout->addWidget(pathGroup);
    layout->addLayout(middle);
    layout->addWidget(resultsGroup, 1);

    SetFocusOrder({PathBox(), BrowseButton(), m_mode1, m_mode2, m_check, FirstCounterBox(),
                   SecondCounterBox(), results});

    connect(m_mode1, &QRadioButton::clicked, this, [this] { OnModeClicked(true); });
    connect(m_mode2, &QRadioButton::clicked, this, [this] { OnModeClicked(false); });
    connect(m_check, &QPushButton::clicked, this, [this] { RunGuarded([this] { OnCheck(); }); });
}

void CCheckerPage::OnInitDialog() {
    m_counter1 = 0;
    m_counter2 = 0;
    RefreshCounters();
    m_check->setEnabled(false);
    ClearResults();
    m_mode1->setChecked(true);
}

void CCheckerPage::OnPathChanged() {
    Reset();
    EnableByPath();
}

void CCheckerPage::OnModeClicked(bool /*firstMode*/) {
    Reset();
    EnableByPath();
}

void CCheckerPage::OnPathArrived(const QString& path) {
    const std::string native = ToNativePath(path);
    const CPackageTree::Kind kind = CPackageTree::Open(native)->KindOf(native);
    if (kind != CPackageTree::Kind::Folder && kind != CPackageTree::Kind::File) {
        return;
    }
    const bool fileMode = kind == CPackageTree::Kind::File;
    (fileMode ? m_mode1 : m_mode2)->setChecked(true);
    OnModeClicked(fileMode);
}

void CCheckerPage::EnableByPath() {
    m_check->setEnabled(!PathBox()->text().isEmpty());
}

void CCheckerPage::BrowseFileOrFolder() {
    const QString initial = PathBox()->text();
    const std::optional<QString> chosen =
        m_mode1->isChecked()
            ? FileChooser().OpenFile(this, QStringLiteral("Select File to vefify"), initial,
                                     PoserFileFilters())
            : FolderChooser().ChooseFolder(
                  this, QStringLiteral("Select Folder that contains files to verify"), initial);
    if (chosen) {
        SetPathText(*chosen);
    }
    Reset();
}

QStringList CCheckerPage::PoserFileFilters() {
    return {
        QStringLiteral("All Files (*.*)"),     QStringLiteral("Camera Files (*.cm2)"),
        QStringLiteral("Pose Files (*.pz2)"),  QStringLiteral("Light Files (*.lt2)"),
        QStringLiteral("Prop Files (*.pp2)"),  QStringLiteral("Character Files (*.cr2)"),
        QStringLiteral("Face Files (*.fc2)"),  QStringLiteral("Hair Files (*.hr2)"),
        QStringLiteral("Scene Files (*.pz3)"), QStringLiteral("Hand Files (*.hd2)"),
    };
}

}  // namespace veltrane
