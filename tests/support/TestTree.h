#pragma once

#include <string>
#include <string_view>

namespace veltrane::test {

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes. Relative paths given to the helpers use "/" and may name missing parent folders.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder itself, without a trailing separator.
    const std::string& Root() const { return m_root; }

    // Root joined with rel by the native separator; Path("") is Root().
    std::string Path(std::string_view rel) const;

    // Writes bytes to rel (creating parent folders, replacing an existing file); returns the path.
    std::string WriteFile(std::string_view rel, std::string_view bytes = {}) const;

    // Creates the folder rel and its parents; returns its path.
    std::string MakeDir(std::string_view rel) const;

    // The whole content of a file (empty when it cannot be read).
    static std::string ReadFile(const std::string& path);

    // Index of name in the platform's raw listing of folder, "." and ".." included (the scanner polls
    // once per such entry); -1 when name is not there. Lets a test aim an Escape at a given entry.
    static int ListingPosition(const std::string& folder, const std::string& name);

private:
    std::string m_root;
};

// A file that exists in its folder's listing but that no one can open for reading while this
// object lives: a link to nothing on POSIX, a file held open without sharing on Windows.
class UnreadableFile {
public:
    explicit UnreadableFile(const std::string& path);
    ~UnreadableFile();
    UnreadableFile(const UnreadableFile&) = delete;
    UnreadableFile& operator=(const UnreadableFile&) = delete;

private:
    void* m_handle = nullptr;
};

}  // namespace veltrane::test
