// Drives the Veltrane window through one run per tab on a copy of a package and writes a PNG of the
// window after each: the pictures of the program for people without a desktop.
//
// Usage: veltrane-screenshot-tour PACKAGE_FOLDER OUTPUT_FOLDER
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "app/AboutDlg.h"
#include "app/AppIcon.h"
#include "app/MainSheet.h"
#include "base/Notifier.h"
#include "base/ProgressWindow.h"

using namespace veltrane;

namespace {

bool CopyTree(const QString& fromFolder, const QString& to) {
    const QString from = QFileInfo(fromFolder).absoluteFilePath();
    QDir().mkpath(to);
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(source);
        if (it.fileInfo().isDir()) {
            QDir().mkpath(target);
        } else {
            QDir().mkpath(QFileInfo(target).absolutePath());
            if (!QFile::copy(source, target)) {
                std::fprintf(stderr, "cannot copy %s to %s\n", qPrintable(source), qPrintable(target));
                return false;
            }
        }
    }
    return true;
}

void Settle() {
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
        QTest::qWait(20);
    }
}

bool Save(QWidget& window, const QString& file) {
    Settle();
    const bool saved = window.grab().save(file, "PNG");
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(file));
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Veltrane"));
    app.setWindowIcon(AppIcon());
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: veltrane-screenshot-tour PACKAGE_FOLDER OUTPUT_FOLDER\n");
        return 2;
    }
    const QString out = QFileInfo(args.at(2)).absoluteFilePath();
    const QString package = out + QStringLiteral("/") + QFileInfo(args.at(1)).fileName();
    QDir(package).removeRecursively();
    if (!CopyTree(args.at(1), package)) {
        std::fprintf(stderr, "cannot copy %s to %s\n", qPrintable(args.at(1)), qPrintable(package));
        return 1;
    }
    const QString root = QDir::toNativeSeparators(package);

    // Boxes are answered and logged instead of waiting for a person: OK, or Cancel to a question.
    CNotifier::SetHandler([](QWidget*, const Notice& notice) {
        std::printf("box \"%s\": %s\n", notice.title.c_str(), notice.text.c_str());
        return notice.buttons == NoticeButtons::Ok ? NoticeAnswer::Ok : NoticeAnswer::Cancel;
    });

    CMainSheet sheet;
    sheet.show();
    (void)QTest::qWaitForWindowExposed(&sheet);
    int failures = 0;

    const auto runChecker = [&](int tab, CCheckerPage& page, bool secondMode) {
        sheet.TabWidget()->setCurrentIndex(tab);
        page.PathBox()->setText(root);
        if (secondMode) {
            page.SecondModeButton()->click();
        }
        page.CheckButton()->click();
    };

    runChecker(0, sheet.FileNamesPage(), true);
    failures += Save(sheet, out + QStringLiteral("/1-file-names.png")) ? 0 : 1;
    runChecker(1, sheet.VersionNumberPage(), true);
    failures += Save(sheet, out + QStringLiteral("/2-version-number.png")) ? 0 : 1;
    runChecker(2, sheet.CheckPathsPage(), true);
    failures += Save(sheet, out + QStringLiteral("/3-check-paths.png")) ? 0 : 1;
    sheet.TabWidget()->setCurrentIndex(3);
    sheet.ListMakerPage().PathBox()->setText(root);
    sheet.ListMakerPage().ScanButton()->click();
    failures += Save(sheet, out + QStringLiteral("/4-list-maker.png")) ? 0 : 1;

    sheet.TabWidget()->setCurrentIndex(4);
    sheet.PackageCheckPage().PathBox()->setText(root);
    sheet.PackageCheckPage().CheckButton()->click();
    failures += Save(sheet, out + QStringLiteral("/7-package-check.png")) ? 0 : 1;
    sheet.TabWidget()->setCurrentIndex(0);

    CAboutDlg about(&sheet);
    about.show();
    (void)QTest::qWaitForWindowExposed(&about);
    failures += Save(about, out + QStringLiteral("/5-about.png")) ? 0 : 1;
    about.close();

    CProgressWindow progress(&sheet);
    progress.ShowNow();
    failures += Save(progress, out + QStringLiteral("/6-progress.png")) ? 0 : 1;
    progress.CloseNow();

    sheet.reject();
    return failures == 0 ? 0 : 1;
}
