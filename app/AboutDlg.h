#pragma once

#include <QDialog>

namespace veltrane {

// "About Veltrane": the program icon, "Veltrane Version 1.0" and OK.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace veltrane
