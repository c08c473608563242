#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <system_error>

namespace veltrane {

// Where a rewritten file's bytes go. The safe-replace code writes through this interface, so a
// test can put a writer in between that fails midway.
class FileWriter {
public:
    virtual ~FileWriter() = default;

    // Appends data. False, with ec set, when not every byte was written.
    virtual bool Write(std::string_view data, std::error_code& ec) = 0;

    // Forces what was written so far to the storage device.
    virtual bool Sync(std::error_code& ec) = 0;

    // Releases the file. Later calls do nothing and succeed.
    virtual bool Close(std::error_code& ec) = 0;
};

// Creates path as a new, empty file for writing; fails with file_exists when something is already
// there (never opens an existing file, never follows a link).
std::unique_ptr<FileWriter> CreateNewFileWriter(const std::string& path, std::error_code& ec);

// A writer on a descriptor of the C runtime that is open for writing; the writer owns it and closes it.
std::unique_ptr<FileWriter> WriterForDescriptor(int fd);

}  // namespace veltrane
