#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "dialogs/FolderPickerFileSystem.h"
#include "dialogs/FolderPickerView.h"

namespace veltrane::test {

// A folder picker view that records what the rules do to it. Navigation is decided by m_navigate:
// given a text it returns the folder to show (without a trailing separator) or nothing.
class RecordingView : public CFolderPickerView {
public:
    std::string m_text;
    size_t m_selStart = 0;
    size_t m_selEnd = 0;
    std::string m_shown;  // ends in the separator
    char m_separator = '/';
    std::function<std::optional<std::string>(const std::string&)> m_navigate;
    std::deque<bool> m_answers;      // Yes/No answers in order; No when empty
    std::vector<std::string> m_log;  // "message: ...", "ask: ...", "accept", "focus box", ...
    bool m_accepted = false;

    // Puts text in the box with the caret at its end, as typing would.
    void Type(const std::string& text) {
        m_text = text;
        m_selStart = m_selEnd = text.size();
    }

    std::vector<std::string> Boxes() const {
        std::vector<std::string> boxes;
        for (const auto& line : m_log) {
            if (line.rfind("message: ", 0) == 0 || line.rfind("ask: ", 0) == 0) {
                boxes.push_back(line);
            }
        }
        return boxes;
    }

    std::string BoxText() const override { return m_text; }
    void SetBoxText(const std::string& text) override {
        m_text = text;
        m_selStart = m_selEnd = 0;
    }
    size_t SelectionStart() const override { return m_selStart; }
    size_t SelectionEnd() const override { return m_selEnd; }
    size_t CaretPosition() const override { return m_selEnd; }
    void SetSelection(size_t start, size_t end) override {
        m_selStart = start;
        m_selEnd = end;
    }
    std::string ShownFolder() const override { return m_shown; }
    bool ShowFolder(const std::string& text) override {
        m_log.push_back("show: " + text);
        const std::optional<std::string> folder = m_navigate ? m_navigate(text) : std::nullopt;
        if (!folder) {
            return false;
        }
        m_shown = *folder;
        if (m_shown.empty() || m_shown.back() != m_separator) {
            m_shown.push_back(m_separator);
        }
        SetBoxText(m_shown);
        m_selStart = m_selEnd = m_shown.size();
        return true;
    }
    void ShowMessage(const std::string& text) override { m_log.push_back("message: " + text); }
    bool AskYesNo(const std::string& text) override {
        m_log.push_back("ask: " + text);
        if (m_answers.empty()) {
            return false;
        }
        const bool yes = m_answers.front();
        m_answers.pop_front();
        return yes;
    }
    void FocusFolderBox() override { m_log.push_back("focus box"); }
    void AcceptDialog() override {
        m_log.push_back("accept");
        m_accepted = true;
    }
};

// An in-memory file system in the Windows grammar: absolute paths only, "\" separators, letter
// case ignored only where the tests do not depend on it.
class FakeFileSystem : public CFolderPickerFileSystem {
public:
    std::map<std::string, Kind> m_entries;                 // path without trailing separator
    std::map<std::string, std::vector<Entry>> m_listings;  // folder text as listed -> entries
    std::map<char, DriveType> m_drives;                    // missing letters: NoRootDir
    std::set<char> m_readOnly;                             // drives where creating fails
    std::vector<std::string> m_created;                    // CreateFolders calls that succeeded

    // The text without trailing separators, roots ("/", "C:\\") kept whole.
    static std::string Trim(std::string text) {
        while (text.size() > 1 && (text.back() == '\\' || text.back() == '/') &&
               !(text.size() == 3 && text[1] == ':')) {
            text.pop_back();
        }
        return text;
    }

    Kind Probe(const std::string& text) const override {
        const auto it = m_entries.find(Trim(text));
        return it == m_entries.end() ? Kind::Missing : it->second;
    }
    bool CreateFolders(const std::string& text) override {
        if (text.size() < 2 || text[1] != ':' || m_readOnly.count(text[0]) != 0 ||
            IsMissingDrive(DriveTypeOf(text[0]))) {
            return false;
        }
        m_created.push_back(text);
        for (size_t i = 3; i <= text.size(); ++i) {
            if (i == text.size() || text[i] == '\\') {
                m_entries[Trim(text.substr(0, i))] = Kind::Folder;
            }
        }
        return true;
    }
    std::vector<Entry> List(const std::string& folderText) const override {
        const auto it = m_listings.find(folderText);
        return it == m_listings.end() ? std::vector<Entry>{} : it->second;
    }
    DriveType DriveTypeOf(char letter) const override {
        const auto it = m_drives.find(letter);
        return it == m_drives.end() ? DriveType::NoRootDir : it->second;
    }
};

}  // namespace veltrane::test
