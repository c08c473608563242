#include "app/AboutDlg.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/AppIcon.h"

namespace veltrane {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("About Veltrane"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(32, 32));
    icon->setFixedSize(32, 32);
    auto* text = new QLabel(QStringLiteral("Veltrane Version 1.0"), this);
    text->setObjectName(QStringLiteral("aboutText"));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setHorizontalSpacing(14);
    layout->setVerticalSpacing(16);
    layout->addWidget(icon, 0, 0, Qt::AlignTop);
    layout->addWidget(text, 0, 1, Qt::AlignLeft | Qt::AlignVCenter);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addStretch(1);
    layout->addLayout(buttons, 1, 0, 1, 2);
    // As small as its contents allow, but wide enough that the title bar shows the whole title
    // (title fonts are often bold and larger) besides the frame's icon and buttons.
    QFont titleFont = font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
    const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(windowTitle()) + 120;
    const QSize contents = layout->sizeHint();
    setFixedSize(qMax(contents.width(), titleWidth), contents.height());
}

}  // namespace veltrane
