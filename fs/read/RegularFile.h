#pragma once

#include <cstdint>
#include <string>
#include <system_error>

namespace veltrane {

// Opens path for reading when, and only when, it names a regular file (links followed). The open
// never blocks: a FIFO, a device, a socket or a folder under a Poser name is refused before any read,
// with ec = std::errc::invalid_argument, so a run never waits on a pipe nor reads a device forever.
// Returns a descriptor (>= 0, to be released with CloseRegularFile) or -1 with ec set. On Windows
// other writers are shut out while the file is open. With size, receives the file's size as the open
// found it where the platform tells it at no cost, else 0 (unknown). listedRegular: a folder's
// listing named path a regular file reached through no link, so the look before the open is skipped
// and the open does not follow a link put there since (the look after the open still decides).
int OpenRegularFile(const std::string& path, std::error_code& ec, uint64_t* size = nullptr,
                    bool listedRegular = false);

void CloseRegularFile(int fd);

}  // namespace veltrane
