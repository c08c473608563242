#pragma once

#include <QString>

#include "checks/ToolTexts.h"
#include "pages/PageFrame.h"

class QRadioButton;

namespace veltrane {

// The texts that tell the three checker pages apart, from their tools' texts.
struct CheckerPageTexts {
    QString caption;
    QString banner;
    QString firstMode;
    QString secondMode;
    QString firstCounterLabel;
    QString secondCounterLabel;

    explicit CheckerPageTexts(const ToolTexts& texts)
        : caption(QString::fromUtf8(texts.caption)),
          banner(QString::fromUtf8(texts.banner)),
          firstMode(QString::fromUtf8(texts.firstMode)),
          secondMode(QString::fromUtf8(texts.secondMode)),
          firstCounterLabel(QString::fromUtf8(texts.firstCounter)),
          secondCounterLabel(QString::fromUtf8(texts.secondCounter)) {}
};

// The frame of the File Names, Version Number and Check Paths pages: banner; "Path:" with the
// path box and Browse; "Verify:" with two mode radio buttons and the default button "&Check!";
// "Statistics:" with the two counters; "Results:" with the editable results box.
class CCheckerPage : public CPageFrame {
    Q_OBJECT

public:
    QRadioButton* FirstModeButton() const { return m_mode1; }
    QRadioButton* SecondModeButton() const { return m_mode2; }
    QPushButton* CheckButton() const { return m_check; }
    QPushButton* ActionButton() const override { return m_check; }

protected:
    CCheckerPage(const CheckerPageTexts& texts, QWidget* parent);

    // Window creation: counters 0, "&Check!" disabled, results emptied, first mode selected.
    void OnInitDialog() override;
    // Reset, then "&Check!" enabled when the path is not empty.
    void OnPathChanged() override;

    // A radio button was clicked (after the automatic group has selected it).
    virtual void OnModeClicked(bool firstMode);
    // An arrived folder (or archive, checked as one) selects the second mode, the folder mode; an
    // arrived file the first, the file mode ("This folder only" on File Names, which takes the
    // file's folder). Anything else leaves the mode as it is. As if the user had clicked it.
    void OnPathArrived(const QString& path) override;
    // "&Check!" was pressed.
    virtual void OnCheck() = 0;

    void EnableByPath();

    // Browse of the Check Paths and Version Number pages: with the first mode selected a Poser file
    // is chosen, otherwise a folder; on OK the path box takes it; then, chosen or cancelled, the
    // counters and results are reset.
    void BrowseFileOrFolder();

    static QStringList PoserFileFilters();

private:
    QRadioButton* m_mode1;
    QRadioButton* m_mode2;
    QPushButton* m_check;
};

}  // namespace veltrane
