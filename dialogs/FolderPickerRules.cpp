#include "dialogs/FolderPickerRules.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace veltrane {

namespace {

bool IsAsciiUpper(char c) {
    return c >= 'A' && c <= 'Z';
}

bool IsAsciiLower(char c) {
    return c >= 'a' && c <= 'z';
}

bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char ToLowerAscii(char c) {
    return IsAsciiUpper(c) ? static_cast<char>(c - 'A' + 'a') : c;
}

char ToUpperAscii(char c) {
    return IsAsciiLower(c) ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

const char* CreationFailureText(CreationStep step, DriveType type) {
    const bool select = step == CreationStep::Select;
    switch (type) {
        case DriveType::Removable:
            return select ? "You cannot create this folder.\nThe medium may be write-protected."
                          : "You cannot create this folder.\nThe drive may be write-protected.";
        case DriveType::Remote:
            return "You do not have permission to create\nthis folder on the network.";
        case DriveType::CdRom:
            return select ? "You cannot create this folder\nas the CD ROM medium is read-only."
                          : "You cannot create this folder,\nthe CD-ROM is read-only.";
        default:
            break;
    }
    return select ? "You do not have permission\nto create this folder."
                  : "You do not have sufficient permission\nto create this folder.";
}

std::string_view TypedPart(std::string_view text, PathStyle style) {
    for (size_t i = text.size(); i > 0; --i) {
        if (IsSeparator(text[i - 1], style)) {
            return text.substr(i);
        }
    }
    if (style == PathStyle::Windows) {
        const size_t colon = text.rfind(':');
        if (colon != std::string_view::npos) {
            return text.substr(colon + 1);
        }
    }
    return text;
}

bool StartsWithIgnoringCase(std::string_view name, std::string_view prefix) {
    if (prefix.size() > name.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (ToLowerAscii(name[i]) != ToLowerAscii(prefix[i])) {
            return false;
        }
    }
    return true;
}

std::string AdjustCompletionCase(std::string candidate, std::string_view typed) {
    // A name written in capitals only (DATA, PROGRA~1) is offered as Data, Progra~1.
    const bool plainCapitals = std::none_of(candidate.begin(), candidate.end(),
                                            [](char c) { return IsWhiteSpace(c) || IsAsciiLower(c); });
    if (plainCapitals && !candidate.empty()) {
        std::transform(candidate.begin() + 1, candidate.end(), candidate.begin() + 1, ToLowerAscii);
    }
    // The user's last typed letter decides the case when it disagrees with the name.
    if (!typed.empty() && typed.size() <= candidate.size()) {
        const char last = typed.back();
        if (candidate[typed.size() - 1] != last) {
            std::transform(candidate.begin(), candidate.end(), candidate.begin(),
                           IsAsciiUpper(last) ? ToUpperAscii : ToLowerAscii);
        }
    }
    return candidate;
}

CFolderPickerRules::CFolderPickerRules(CFolderPickerView& view, CFolderPickerFileSystem& fileSystem,
                                       PathStyle style)
    : m_view(view), m_fs(fileSystem), m_style(style) {}

size_t CFolderPickerRules::FindSeparator(std::string_view text, size_t from) const {
    for (size_t i = from; i < text.size(); ++i) {
        if (IsSep(text[i])) {
            return i;
        }
    }
    return std::string_view::npos;
}

bool CFolderPickerRules::IsSingleSeparator(std::string_view text) const {
    return text.size() == 1 && IsSep(text[0]);
}

bool CFolderPickerRules::IsTwoSeparators(std::string_view text) const {
    return IsWindows() && text.size() == 2 && IsSep(text[0]) && IsSep(text[1]);
}

bool CFolderPickerRules::IsDriveOnly(std::string_view text) const {
    return IsWindows() && text.size() == 2 && text[1] == ':';
}

bool CFolderPickerRules::IsDriveRoot(std::string_view text) const {
    return IsWindows() && text.size() == 3 && text[1] == ':' && IsSep(text[2]);
}

bool CFolderPickerRules::StartsWithTwoSeparators(std::string_view text) const {
    return IsWindows() && text.size() >= 2 && IsSep(text[0]) && IsSep(text[1]);
}

bool CFolderPickerRules::HasMissingDriveLetter(std::string_view text) const {
    return IsWindows() && text.size() > 1 && text[1] == ':' && IsMissingDrive(m_fs.DriveTypeOf(text[0]));
}

DriveType CFolderPickerRules::DriveTypeForCreation(std::string_view text) const {
    if (!IsWindows() || StartsWithTwoSeparators(text)) {
        return DriveType::Unknown;  // no drive letter: the general message
    }
    if (text.size() > 1 && text[1] == ':') {
        return m_fs.DriveTypeOf(text[0]);
    }
    // A relative or rooted text lies on the drive of the folder shown.
    const std::string shown = m_view.ShownFolder();
    if (shown.size() > 1 && shown[1] == ':') {
        return m_fs.DriveTypeOf(shown[0]);
    }
    return DriveType::Unknown;
}

void CFolderPickerRules::GoToFolder(const std::string& text) {
    // When the list goes to the folder, the box is rewritten with the folder's real path, so a
    // relative or differently spelled text never stays behind to count later from the new folder.
    // A text that names no folder stays as typed. Either way the caret goes to the end.
    m_view.ShowFolder(text);
    const size_t end = m_view.BoxText().size();
    m_view.SetSelection(end, end);
}

void CFolderPickerRules::Accept(const std::string& text) {
    GoToFolder(text);
    m_view.AcceptDialog();
}

bool CFolderPickerRules::Select() {
    std::string text = m_view.BoxText();
    if (text.empty() || IsSingleSeparator(text)) {
        Accept(text);
        return true;
    }
    if (IsTwoSeparators(text)) {
        m_view.ShowMessage(text + picker_text::kNotValidFolder);
        m_view.FocusFolderBox();
        return false;
    }
    if (IsDriveOnly(text) || IsDriveRoot(text)) {
        if (IsMissingDrive(m_fs.DriveTypeOf(text[0]))) {
            m_view.ShowMessage(text + picker_text::kDriveInvalid);
            m_view.FocusFolderBox();
            return false;
        }
        Accept(text);
        return true;
    }

    if (EndsWithSep(text)) {
        text.pop_back();
    }
    switch (m_fs.Probe(text)) {
        case CFolderPickerFileSystem::Kind::Folder:
            Accept(text);
            return true;
        case CFolderPickerFileSystem::Kind::File:
            m_view.ShowMessage(text + picker_text::kFileNotDirectory);
            m_view.FocusFolderBox();
            return false;
        case CFolderPickerFileSystem::Kind::Missing:
            break;
    }

    if (HasMissingDriveLetter(text)) {
        m_view.ShowMessage(text + picker_text::kDriveInvalid);
        m_view.FocusFolderBox();
        return false;
    }
    if (StartsWithTwoSeparators(text)) {
        // \\server\share\folder is the shortest network text that names a folder.
        const size_t afterServer = FindSeparator(text, 2);
        const bool namesFolderInShare =
            afterServer != std::string::npos && FindSeparator(text, afterServer + 1) != std::string::npos;
        if (!namesFolderInShare) {
            m_view.ShowMessage(text + picker_text::kNotValidFolder);
            m_view.FocusFolderBox();
            return false;
        }
    }
    if (!m_view.AskYesNo(text + picker_text::kCreateQuestion)) {
        m_view.FocusFolderBox();
        return false;
    }
    if (!m_fs.CreateFolders(text + NativeSep())) {
        m_view.ShowMessage(CreationFailureText(CreationStep::Select, DriveTypeForCreation(text)));
        m_view.FocusFolderBox();
        return false;
    }
    Accept(text);
    return true;
}

void CFolderPickerRules::Enter() {
    std::string text = m_view.BoxText();
    const bool keepSeparator = IsSingleSeparator(text) || IsTwoSeparators(text) || IsDriveRoot(text);
    if (!keepSeparator && EndsWithSep(text)) {
        text.pop_back();
    }

    const bool serverOnly = StartsWithTwoSeparators(text) && FindSeparator(text, 2) == std::string::npos;
    if (text.empty() || IsSingleSeparator(text) || serverOnly || IsDriveOnly(text) || IsDriveRoot(text)) {
        GoToFolder(text);
        m_view.FocusFolderBox();
        return;
    }

    if (m_fs.Probe(text) == CFolderPickerFileSystem::Kind::Missing && !HasMissingDriveLetter(text)) {
        if (!m_view.AskYesNo(text + picker_text::kCreateQuestion)) {
            m_view.FocusFolderBox();
            return;
        }
        if (!m_fs.CreateFolders(text + NativeSep())) {
            m_view.ShowMessage(CreationFailureText(CreationStep::Enter, DriveTypeForCreation(text)));
            m_view.FocusFolderBox();
            return;
        }
    }

    GoToFolder(text);
    std::string box = m_view.BoxText();
    if (!EndsWithSep(box)) {
        box.push_back(NativeSep());
        m_view.SetBoxText(box);
    }
    m_view.SetSelection(box.size(), box.size());
    m_view.FocusFolderBox();
}

bool CFolderPickerRules::GoToCompleteText(const std::string& text) {
    if (IsTwoSeparators(text)) {
        return true;  // the start of a network path: wait for the server name
    }
    if (IsSingleSeparator(text)) {
        GoToFolder(text);
        return true;
    }
    if (IsDriveRoot(text)) {
        if (!IsMissingDrive(m_fs.DriveTypeOf(text[0]))) {
            GoToFolder(text);
        }
        return true;
    }
    if (EndsWithSep(text)) {
        if (m_fs.Probe(text) == CFolderPickerFileSystem::Kind::Folder) {
            GoToFolder(text);
        }
        return true;
    }
    return false;
}

void CFolderPickerRules::AfterCharacter(bool backspace) {
    const std::string text = m_view.BoxText();
    if (GoToCompleteText(text)) {
        return;
    }
    if (!backspace && m_view.CaretPosition() == text.size()) {
        Complete();
    }
}

void CFolderPickerRules::AfterDelete() {
    GoToCompleteText(m_view.BoxText());
}

void CFolderPickerRules::Complete() {
    const std::string text = m_view.BoxText();
    const std::string_view typed = TypedPart(text, m_style);
    const std::string folderText = text.substr(0, text.size() - typed.size());

    // The last matching folder in the file system's order is offered.
    const std::vector<CFolderPickerFileSystem::Entry> entries = m_fs.List(folderText);
    const CFolderPickerFileSystem::Entry* last = nullptr;
    for (const auto& entry : entries) {
        if (entry.isFolder && StartsWithIgnoringCase(entry.name, typed)) {
            last = &entry;
        }
    }
    if (last == nullptr) {
        return;
    }
    const std::string candidate = AdjustCompletionCase(last->name, typed);
    const std::string completed = text + candidate.substr(typed.size());
    m_view.SetBoxText(completed);
    m_view.SetSelection(text.size(), completed.size());
}

}  // namespace veltrane
