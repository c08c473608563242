#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "fs/read/FileSource.h"
#include "fs/run/FileErrors.h"
#include "fs/text/WriteLeftover.h"
#include "fs/write/FileWriter.h"

namespace veltrane {

// Renames from to to, never replacing an existing file: fails with file_exists when to exists.
bool RenameNoReplace(const std::string& from, const std::string& to, std::error_code& ec);

// The atomic-write core of the list save and the fix: a new file made beside a target, written
// and flushed, then put under a name in the same folder.
//
// Where the file system allows it the new file is made without a name (O_TMPFILE), so that a
// process killed while writing leaves nothing behind; it gets a name only when it is put in place.
// Elsewhere, and for the instant between getting a name and taking the target's, it has a short
// temporary name (a dot, "vt" and a random part, see IsWriteLeftover), so that any name the folder
// can hold can be replaced; RemoveWriteLeftovers clears what a killed process left under such names.
//
// The folder is opened once; every later step works on that folder's descriptor, on the new
// file's descriptor, or on names looked up inside the held folder without following links, so that
// whatever another user renames in the folder meanwhile, nothing but our own new file is written
// to, given our rights or put in place. The temporary file is removed on every way out unless it
// took its place or was abandoned. While one exists the process ignores SIGXFSZ, so that a file
// size limit ends a write with an error instead of killing the program.
class ReplacementFile {
public:
    ReplacementFile() = default;
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Opens the folder of targetPath and creates the new file in it: a file without a name where
    // the file system can make one and named is false, else a new file under a temporary name
    // (never an existing one, never through a link); with createMode less the umask either way.
    // The default lets only us read and write it.
    bool Create(const std::string& targetPath, std::error_code& ec, unsigned createMode = 0600,
                bool named = false);

    // The file name of the target inside the folder.
    const std::string& TargetName() const { return m_targetName; }

    // Gives the new file the permission bits of from, and also its owner and group when withOwner
    // is set and we may hand files to others (running as root). Works on the new file's
    // descriptor; call before TakeWriter.
    bool CopyAccess(const FileState& from, bool withOwner, std::error_code& ec);

    // The writer of the new content. The caller closes it before Place.
    std::unique_ptr<FileWriter> TakeWriter();

    // What stands under name in the folder, not following a link. False with ec set when nothing
    // is there (no_such_file_or_directory) or it cannot be looked at.
    bool Inspect(const std::string& name, FileState& state, std::error_code& ec) const;

    // Renames from to to inside the folder, replacing what is at to or never replacing anything.
    bool Rename(const std::string& from, const std::string& to, bool replace, std::error_code& ec) const;

    // Gives the file under from the second name to inside the folder (a hard link), never
    // replacing anything at to.
    bool Link(const std::string& from, const std::string& to, std::error_code& ec) const;

    // Removes name from the folder when it still holds the file known as expected.
    bool RemoveIfSame(const std::string& name, const FileState& expected) const;

    // True when the new file is still ours: it has no name yet, or its temporary name still holds
    // it. Else false with ec set: permission_denied when something else was put under the
    // temporary name, no_such_file_or_directory when the name was removed.
    bool StillOurs(std::error_code& ec) const;

    // Puts the new file under the target's name, replacing what is there or never replacing
    // anything, once the temporary name is seen to still hold the file we created.
    bool Place(bool replace, std::error_code& ec);

    // Makes the renames in the folder durable. Best effort.
    void SyncFolder() const;

    // Leaves the temporary file where it is (tests simulating a crash).
    void Abandon() { m_tracked = false; }

private:
    // Splits the target into m_folder and m_targetName; false (is_a_directory) without a name.
    bool TakeTarget(const std::string& targetPath, std::error_code& ec);
    // Creates the new file under a fresh temporary name; the descriptor, or -1 with errno set.
    int CreateNamed(unsigned createMode);
    // Gives the unnamed new file a fresh temporary name.
    bool NameUnnamed(std::error_code& ec);

    std::string m_folder;  // drive and directory of the target, "" for the current folder
    std::string m_targetName;
    std::string m_tempName;  // empty while the new file has no name
    FileState m_created;     // the new file as created
    std::unique_ptr<FileWriter> m_writer;
    int m_fd = -1;  // the new file's descriptor while m_writer holds it
    bool m_tracked = false;
#ifndef _WIN32
    int m_dir = -1;
    int m_held = -1;  // a second descriptor of the new file, locked: gives an unnamed file its name
#endif
};

// Removes from folder the temporary files that killed writes left behind (names for which
// IsWriteLeftover holds): only regular files, never through a link, only those we own (any when
// running as root), and only those no write in progress holds (ReplacementFile keeps its file
// locked until it took its place; where there is no such lock, Windows, those untouched for a
// minute). Returns how many went. Best effort.
int RemoveWriteLeftovers(const std::string& folder);

// Follows the symbolic links at path (each relative one from its own folder) and puts the name of
// the file they lead to, which need not exist, into path. False with ec set on a loop or an error.
bool FollowLinks(std::string& path, std::error_code& ec);

// Replaces the file at path with data: writes a temporary file in the same folder, flushes it to
// disk, renames it over path and flushes the folder. A symbolic link at path is followed and the
// file it leads to is replaced (the link stays); something that is not a regular file (a folder, a
// device, a FIFO, a socket) is refused and left alone. An existing file's permission bits are kept.
// On failure the file at path is as it was and no temporary file is left.
bool WriteFileAtomically(const std::string& path, std::string_view data, std::error_code& ec);

}  // namespace veltrane
