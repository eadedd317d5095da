#pragma once

// Groups of similar images from the signature database. Pairing: for each
// record i in index order that no group holds yet, every later record j
// that no group holds and whose match with i itself reaches the threshold
// joins i's group (members are not compared with each other; a member never
// heads a group; records with an empty path never pair). Plain C++ so that
// a headless tool compares too.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "duplicates/signature_compare.h"

namespace dif {

class CSignatureDatabase;

struct SDuplicateItem {
    std::size_t record = 0;
    int match = 0;          // a member: its match with the head; the head: its first member's
    std::uint64_t size = 0; // bytes when grouped, 0 for a missing file
    std::string path;
};

struct SDuplicateGroup {
    SDuplicateItem head;
    std::vector<SDuplicateItem> members;
};

struct SGroupingOptions {
    SCompareOptions compare;
    unsigned threads = 0; // 0: every core
};

// onProgress(records handled, count) is called from the comparing thread.
using GroupingProgress = std::function<void(std::size_t done, std::size_t count)>;

// The groups of the database at threshold (1 .. 100). A stop request ends
// the comparison early; the groups found up to then are returned, each
// complete. stopped tells whether it ended early. Throws std::bad_alloc
// when memory for the comparison cannot be had.
std::vector<SDuplicateGroup> BuildDuplicateGroups(const CSignatureDatabase& database, int threshold,
                                                  const SGroupingOptions& options,
                                                  const std::atomic<int>& stopRequests,
                                                  const GroupingProgress& onProgress, bool* stopped = nullptr);

// The threshold typed by the user: the value of the leading decimal digits
// (0 when there are none; large values saturate); at most 50 characters
// are read. Valid thresholds are 1 .. 100.
int ParseThreshold(const std::string& text);
inline bool IsValidThreshold(int value) { return value >= 1 && value <= 100; }

} // namespace dif
