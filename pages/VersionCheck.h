#pragma once

#include <memory>

#include "pages/CheckerPage.h"

namespace veltrane {

class CFileRecordArray;

// The "Version Number" page: finds Poser library files that declare a version above 4.0 and,
// when the user confirms, rewrites their version lines as 4.0, keeping ".old" backups.
class CVersionCheck : public CCheckerPage {
    Q_OBJECT

public:
    explicit CVersionCheck(QWidget* parent = nullptr);
    ~CVersionCheck() override;

protected:
    // Also creates the record list of the files to fix.
    void OnInitDialog() override;
    void OnBrowse() override;
    void OnCheck() override;

private:
    std::unique_ptr<CFileRecordArray> m_records;
};

}  // namespace veltrane
