#include "support/Archive.h"

#include <archive.h>
#include <archive_entry.h>

#include "fs/tree/DirectoryListing.h"
#include "support/TestTree.h"

namespace veltrane::test {

bool WriteArchive(const std::string& path, ArchiveFormat format, const std::vector<ArchiveItem>& items,
                  bool encrypt) {
    struct archive* a = archive_write_new();
    bool ok = true;
    switch (format) {
        case ArchiveFormat::Zip:
            ok = archive_write_set_format_zip(a) == ARCHIVE_OK;
            if (ok && encrypt) {
                ok = archive_write_set_options(a, "zip:encryption=zipcrypt") == ARCHIVE_OK &&
                     archive_write_set_passphrase(a, "secret") == ARCHIVE_OK;
            }
            break;
        case ArchiveFormat::SevenZip:
            ok = archive_write_set_format_7zip(a) == ARCHIVE_OK;
            break;
        case ArchiveFormat::TarGz:
            ok = archive_write_set_format_pax_restricted(a) == ARCHIVE_OK &&
                 archive_write_add_filter_gzip(a) == ARCHIVE_OK;
            break;
        case ArchiveFormat::Tar:
            ok = archive_write_set_format_pax_restricted(a) == ARCHIVE_OK;
            break;
    }
    ok = ok && archive_write_open_filename(a, path.c_str()) == ARCHIVE_OK;
    for (const ArchiveItem& item : items) {
        if (!ok) {
            break;
        }
        struct archive_entry* entry = archive_entry_new();
        const bool folder = !item.name.empty() && item.name.back() == '/';
        archive_entry_set_pathname(entry, item.name.c_str());
        const bool data = !folder && item.link.empty();
        archive_entry_set_filetype(entry, folder                           ? AE_IFDIR
                                          : item.link.empty() || item.hard ? AE_IFREG
                                                                           : AE_IFLNK);
        archive_entry_set_perm(entry, folder ? 0755 : 0644);
        archive_entry_set_size(entry, data ? static_cast<la_int64_t>(item.data.size()) : 0);
        if (!item.link.empty()) {
            (item.hard ? archive_entry_set_hardlink : archive_entry_set_symlink)(entry, item.link.c_str());
        }
        ok = archive_write_header(a, entry) == ARCHIVE_OK;
        if (ok && data && !item.data.empty()) {
            ok = archive_write_data(a, item.data.data(), item.data.size()) ==
                 static_cast<la_ssize_t>(item.data.size());
        }
        archive_entry_free(entry);
    }
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok;
}

namespace {

void Collect(const std::string& folder, const std::string& prefix, std::vector<ArchiveItem>& out) {
    std::vector<DirEntry> entries;
    ListFolder(folder + "/", entries);
    for (const DirEntry& e : entries) {
        if (e.name == "." || e.name == "..") {
            continue;
        }
        const std::string path = folder + "/" + e.name;
        if (e.isFolder) {
            out.push_back({prefix + e.name + "/", {}});
            Collect(path, prefix + e.name + "/", out);
        } else {
            out.push_back({prefix + e.name, TempDir::ReadFile(path)});
        }
    }
}

}  // namespace

std::vector<ArchiveItem> ItemsOfFolder(const std::string& folder) {
    std::vector<ArchiveItem> items;
    Collect(folder, "", items);
    return items;
}

}  // namespace veltrane::test
