#pragma once

#include <string>
#include <string_view>

#include "dialogs/FolderPickerFileSystem.h"
#include "dialogs/FolderPickerView.h"
#include "fs/text/PathParts.h"

namespace veltrane {

// The texts of the folder picker's boxes.
namespace picker_text {
inline constexpr const char* kNotValidFolder = "\nThis is not a valid folder.";
inline constexpr const char* kDriveInvalid = "\nThe drive is invalid.";
inline constexpr const char* kFileNotDirectory = "\nThis is a file not a directory.";
inline constexpr const char* kCreateQuestion = "\nThis folder does not exist.\n\nDo you want to create it?";
}  // namespace picker_text

// Which of the picker's actions failed to create a folder: the texts differ.
enum class CreationStep { Select, Enter };

// The message shown when creating a folder failed, by the step and the drive's type.
const char* CreationFailureText(CreationStep step, DriveType type);

// The part of a folder-box text that names an entry of a folder: what follows the last separator
// (Windows: or, without one, the drive's colon). Completion matches it against entry names.
std::string_view TypedPart(std::string_view text, PathStyle style);

// The name completion offers for typed, with its letter case adjusted: an all-capital name
// without white space becomes "Data"-like, and when the last typed character differs from the
// name's character at that position the whole name takes that character's case.
std::string AdjustCompletionCase(std::string candidate, std::string_view typed);

// True when name begins with prefix, ASCII letters compared without regard to case.
bool StartsWithIgnoringCase(std::string_view name, std::string_view prefix);

// The rules of the folder picker: what Select, Enter, a typed character and Delete do with the
// folder box text. They act only through the view and the file system, so they run without a
// window.
class CFolderPickerRules {
public:
    CFolderPickerRules(CFolderPickerView& view, CFolderPickerFileSystem& fileSystem,
                       PathStyle style = kNativeStyle);

    // Select (or the default button): accepts the folder the box names, offering to create a
    // missing one, or explains why not and keeps the dialog open. True when it closed the dialog.
    bool Select();

    // Enter in the folder box: goes to the typed folder (offering to create it) without closing.
    void Enter();

    // After the box has processed a typed character (backspace tells Backspace apart): goes to a
    // complete folder text at once, or completes a partial folder name.
    void AfterCharacter(bool backspace);

    // After the box has processed the Delete key: as AfterCharacter, without completion.
    void AfterDelete();

    // Brings the list to the folder text names and leaves the box showing a sensible text.
    void GoToFolder(const std::string& text);

    // Completes the box text with the last folder whose name begins with the typed part.
    void Complete();

private:
    bool IsWindows() const { return m_style == PathStyle::Windows; }
    bool IsSep(char c) const { return IsSeparator(c, m_style); }
    bool EndsWithSep(std::string_view text) const { return EndsWithSeparator(text, m_style); }
    char NativeSep() const { return IsWindows() ? '\\' : '/'; }

    size_t FindSeparator(std::string_view text, size_t from) const;
    bool IsSingleSeparator(std::string_view text) const;
    bool IsTwoSeparators(std::string_view text) const;
    bool IsDriveOnly(std::string_view text) const;  // "C:"
    bool IsDriveRoot(std::string_view text) const;  // "C:\"
    bool StartsWithTwoSeparators(std::string_view text) const;
    bool HasMissingDriveLetter(std::string_view text) const;
    DriveType DriveTypeForCreation(std::string_view text) const;

    // Steps shared by a typed character and Delete; true when they decided what happens.
    bool GoToCompleteText(const std::string& text);

    void Accept(const std::string& text);

    CFolderPickerView& m_view;
    CFolderPickerFileSystem& m_fs;
    PathStyle m_style;
};

}  // namespace veltrane
