#pragma once

#include <cstddef>
#include <string>

namespace veltrane {

// What the folder picker's rules act on: the folder box, the folder list and the user. The Qt
// dialog implements it; tests implement it with a recorder. Text positions count UTF-8 bytes.
class CFolderPickerView {
public:
    virtual ~CFolderPickerView() = default;

    // The folder box.
    virtual std::string BoxText() const = 0;
    virtual void SetBoxText(const std::string& text) = 0;
    virtual size_t SelectionStart() const = 0;
    virtual size_t SelectionEnd() const = 0;
    virtual size_t CaretPosition() const = 0;
    // Selects [start, end) with the caret at end, and scrolls the caret into view.
    virtual void SetSelection(size_t start, size_t end) = 0;

    // The folder the list shows, ending in a separator ("" when it shows none).
    virtual std::string ShownFolder() const = 0;

    // Makes the list show the folder that text names (relative texts count from the folder shown
    // now). When it does, the box is rewritten with the folder's path ending in one separator and
    // true is returned; a text that names no folder changes nothing and returns false.
    virtual bool ShowFolder(const std::string& text) = 0;

    // An OK box with the exclamation icon.
    virtual void ShowMessage(const std::string& text) = 0;
    // A Yes/No question with the exclamation icon; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;

    virtual void FocusFolderBox() = 0;
    // Closes the dialog with OK; the result is the folder shown.
    virtual void AcceptDialog() = 0;
};

}  // namespace veltrane
