#pragma once

#include "pages/CheckerPage.h"

namespace veltrane {

// The "Check Paths" page: reports texture-map paths inside Poser files that are absolute, use
// backslashes, are too long for the Mac, or hold spaces without quotes.
class CPathsCheck : public CCheckerPage {
    Q_OBJECT

public:
    explicit CPathsCheck(QWidget* parent = nullptr);

    // The mode the check runs in: file-only until "All files in this folder" is clicked.
    bool IsFileOnlyMode() const { return m_mode != 0; }

protected:
    // Also sets file-only mode.
    void OnInitDialog() override;
    void OnModeClicked(bool firstMode) override;
    void OnBrowse() override;
    void OnCheck() override;

private:
    int32_t m_mode = -1;  // 0: all files in the folder; any other value: file only
};

}  // namespace veltrane
