// veltrane-scan TREE ORDER [PATTERNS]
// Scans TREE recursively the way the pages do (folders not listed, size and times not filled)
// and prints the number of records; used by scan_bench.sh against `find`.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fs/walk/FileRecordArray.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: veltrane-scan TREE ORDER [PATTERNS]\n");
        return 2;
    }
    veltrane::CFileRecordArray records;
    records.SetFillDetails(false);
    int32_t counter = 0;
    records.ScanFolder(veltrane::WithTrailingSeparator(argv[1]),
                       {.patterns = argc > 3 ? argv[3] : "*.*",
                        .recurse = true,
                        .order = static_cast<veltrane::InsertOrder>(std::atoi(argv[2])),
                        .counter = &counter});
    // Reading the records lays out the indexed orders, as a page reading them would.
    size_t bytes = 0;
    for (const auto& r : records.Records()) {
        bytes += r.m_path.size();
    }
    std::printf("%d records, %zu path bytes\n", counter, bytes);
    return 0;
}
