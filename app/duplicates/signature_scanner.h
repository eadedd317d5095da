#pragma once

// The scan: walks each listed folder in order and writes one record per
// decodable image in walk order into a new database, which then replaces
// the old one (a stopped scan's records too). Plain C++ (no Qt) so that a
// headless tool runs it too; progress goes through IScanProgress and a stop
// through the shared stop counter.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "duplicates/signature_record.h"

namespace dif {

class IScanProgress {
public:
    virtual ~IScanProgress() = default;
    // Called once per image candidate, in walk order, after its decode.
    virtual void OnAnalyzing(const std::string& path) = 0;
};

struct SScanOptions {
    // Decode on this many threads (0 or 1: in the walking thread). Records
    // still come out in walk order.
    unsigned decodeThreads = 0;
    // Signature cache side file; empty: no cache.
    std::string cachePath;
};

struct SScanResult {
    std::uint64_t records = 0;
    std::uint64_t undecodable = 0;
    std::uint64_t fromCache = 0;
    std::uint64_t longPaths = 0;         // skipped: the path does not fit a record
    std::uint64_t unreadableFolders = 0; // listed or met folders that could not be entered
    bool databaseUnwritable = false; // the old database, if any, is kept
    bool stopped = false;
};

class CSignatureScanner {
public:
    CSignatureScanner(std::string databasePath, SScanOptions options, IScanProgress* progress,
                      const std::atomic<int>& stopRequests);
    SScanResult Scan(const std::vector<std::string>& folders);

private:
    std::string m_strDatabasePath;
    SScanOptions m_options;
    IScanProgress* m_pProgress;
    const std::atomic<int>& m_stop;
};

} // namespace dif
