// Shows the folder picker over an owner window on a small sample tree, types the start of a
// folder name so the completion shows, and saves pictures of the screen.
// Usage: veltrane-picker-screenshot OUTPUT-FOLDER
#include <cstdio>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "dialogs/FolderDialog.h"
#include "dialogs/FolderEdit.h"

using namespace veltrane;

namespace {

bool SaveScreen(const QString& path) {
    QTest::qWait(600);  // the folder list fills in the background
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    if (!shot.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: veltrane-picker-screenshot OUTPUT-FOLDER\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    QTemporaryDir tree;
    const QStringList folders = {QStringLiteral("Runtime/libraries/Character"),
                                 QStringLiteral("Runtime/textures"),
                                 QStringLiteral("Projects"),
                                 QStringLiteral("Program Files"),
                                 QStringLiteral("DATA"),
                                 QStringLiteral("Backups")};
    for (const QString& folder : folders) {
        QDir(tree.path()).mkpath(folder);
    }
    for (const QString& file :
         {QStringLiteral("ReadMe.txt"), QStringLiteral("Figure.cr2"), QStringLiteral("Pose.pz2")}) {
        QFile(tree.path() + QStringLiteral("/Runtime/") + file).open(QIODevice::WriteOnly);
    }

    QWidget owner;
    owner.setWindowTitle(QStringLiteral("Veltrane"));
    owner.setAutoFillBackground(true);
    QPalette shade = owner.palette();
    shade.setColor(QPalette::Window, QColor(0x9a, 0xa4, 0xb0));
    owner.setPalette(shade);
    auto* layout = new QVBoxLayout(&owner);
    layout->addWidget(new QLabel(QStringLiteral("The window that pressed Browse"), &owner), 0,
                      Qt::AlignCenter);
    owner.setGeometry(40, 40, 860, 640);
    owner.show();

    CFolderDialog picker(tree.path(), QString(), &owner);
    picker.SetTitle(QStringLiteral("Select Folder to scan"));
    picker.show();
    auto* box = picker.findChild<CFolderEdit*>(QStringLiteral("folderBox"));
    QTest::keyClicks(box, QStringLiteral("pro"));
    bool ok = SaveScreen(out + QStringLiteral("/picker.png"));

    picker.findChild<QComboBox*>(QStringLiteral("filterBox"))->setCurrentIndex(1);
    box->setText(QDir::toNativeSeparators(tree.path() + QStringLiteral("/Runtime")));
    box->end(false);
    QTest::keyClick(box, QDir::separator().toLatin1());
    ok = SaveScreen(out + QStringLiteral("/picker-all-files.png")) && ok;
    return ok ? 0 : 1;
}
