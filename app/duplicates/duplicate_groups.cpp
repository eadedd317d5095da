#include "duplicates/duplicate_groups.h"

#include <sys/stat.h>

#include <algorithm>
#include <exception>
#include <thread>
#include <utility>

#include "duplicates/signature_database.h"
#include "image/parallel.h"

namespace dif {

namespace {

// Heads compared together against each later record: their first bytes stay
// in the core's cache while the later records stream past once per block.
constexpr std::size_t kBlockRows = 64;

struct SCandidate {
    std::uint32_t record;
    int match;
};

// The pairs of one block of heads: candidates[chunk][head] in record order
// within each chunk of later records; chunks follow each other in order.
class CBlockComparer {
public:
    CBlockComparer(const CSignatureDatabase& database, const std::vector<char>& grouped, int threshold,
                   const SGroupingOptions& options, const std::vector<SPreparedSignature>& prepared,
                   const std::atomic<int>& stop)
        : m_db(database), m_grouped(grouped), m_threshold(threshold), m_limit(MaxDifferentEntries(threshold)),
          m_options(options), m_prepared(prepared), m_stop(stop)
    {
    }

    // false when a stop request interrupted it.
    bool Compare(const std::vector<std::size_t>& heads, unsigned threads,
                 std::vector<std::vector<std::vector<SCandidate>>>& candidates)
    {
        const std::size_t begin = heads.front() + 1, end = m_db.GetCount();
        const std::size_t span = end > begin ? end - begin : 0;
        threads = unsigned(std::max<std::size_t>(1, std::min<std::size_t>(threads, span / 256 + 1)));
        candidates.assign(threads, std::vector<std::vector<SCandidate>>(heads.size()));
        if (_UseOptions()) {
            m_variants.resize(heads.size());
            for (std::size_t h = 0; h < heads.size(); ++h)
                PrepareHead(m_prepared[heads[h]], m_options.compare, m_variants[h]);
        }
        std::vector<std::thread> workers;
        // A candidate list short of memory fails the whole comparison, on
        // this thread once all have ended: on a thread of its own the
        // exception would end the program.
        vx_detail::CFirstFailure failure;
        auto chunk = [&](unsigned t) {
            failure.Run([&] {
                _Chunk(heads, begin + span * t / threads, begin + span * (t + 1) / threads, candidates[t]);
            });
        };
        // The chunks of threads the system refuses are compared here.
        try {
            for (unsigned t = 1; t < threads; ++t)
                workers.emplace_back(chunk, t);
        } catch (const std::exception&) {
        }
        chunk(0);
        for (unsigned t = unsigned(workers.size()) + 1; t < threads; ++t)
            chunk(t);
        for (auto& worker : workers)
            worker.join();
        failure.Rethrow();
        return m_stop.load() == 0;
    }

private:
    bool _UseOptions() const { return m_options.compare.rotations || m_options.compare.greyscale; }

    void _Chunk(const std::vector<std::size_t>& heads, std::size_t begin, std::size_t end,
                std::vector<std::vector<SCandidate>>& out)
    {
        for (std::size_t j = begin; j < end; ++j) {
            if ((j & 1023) == 0 && m_stop.load(std::memory_order_relaxed) != 0)
                return;
            const unsigned char* other = m_db.Record(j);
            if (m_grouped[j] || IsDeletedRecord(other))
                continue;
            for (std::size_t h = 0; h < heads.size() && heads[h] < j; ++h) {
                const int match = _Match(h, heads[h], j);
                if (match >= 0)
                    out[h].push_back({std::uint32_t(j), match});
            }
        }
    }

    int _Match(std::size_t h, std::size_t head, std::size_t j) const
    {
        if (_UseOptions())
            return MatchWithOptions(m_variants[h], m_prepared[j], m_options.compare, m_threshold);
        const int different = CountDifferent(m_db.Record(head) + kSignatureOffset,
                                             m_db.Record(j) + kSignatureOffset, m_limit);
        return different <= m_limit ? MatchFromDifferent(different) : -1;
    }

    const CSignatureDatabase& m_db;
    const std::vector<char>& m_grouped;
    int m_threshold, m_limit;
    const SGroupingOptions& m_options;
    const std::vector<SPreparedSignature>& m_prepared;
    const std::atomic<int>& m_stop;
    std::vector<SHeadVariants> m_variants;
};

SDuplicateItem MakeItem(const CSignatureDatabase& database, std::size_t record, int match)
{
    SDuplicateItem item;
    item.record = record;
    item.match = match;
    item.path = database.Path(record);
    struct stat info {};
    if (::stat(item.path.c_str(), &info) == 0)
        item.size = std::uint64_t(info.st_size);
    return item;
}

} // namespace

std::vector<SDuplicateGroup> BuildDuplicateGroups(const CSignatureDatabase& database, int threshold,
                                                  const SGroupingOptions& options,
                                                  const std::atomic<int>& stopRequests,
                                                  const GroupingProgress& onProgress, bool* stopped)
{
    std::vector<SDuplicateGroup> groups;
    const std::size_t count = database.GetCount();
    bool interrupted = false;
    if (count == 0 || !IsValidThreshold(threshold)) {
        if (stopped)
            *stopped = false;
        return groups;
    }
    const unsigned threads = options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());
    std::vector<SPreparedSignature> prepared;
    if (options.compare.rotations || options.compare.greyscale) {
        prepared.resize(count);
        for (std::size_t i = 0; i < count; ++i)
            prepared[i] = PrepareSignature(database.Record(i) + kSignatureOffset);
    }
    std::vector<char> grouped(count, 0);
    CBlockComparer comparer(database, grouped, threshold, options, prepared, stopRequests);
    std::vector<std::vector<std::vector<SCandidate>>> candidates;
    for (std::size_t first = 0; first < count; first += kBlockRows) {
        if (stopRequests.load() != 0) {
            interrupted = true;
            break;
        }
        const std::size_t last = std::min(count, first + kBlockRows);
        std::vector<std::size_t> heads;
        for (std::size_t i = first; i < last; ++i)
            if (!grouped[i] && !IsDeletedRecord(database.Record(i)))
                heads.push_back(i);
        if (!heads.empty() && !comparer.Compare(heads, threads, candidates)) {
            interrupted = true;
            break;
        }
        // Heads taken by an earlier head of this block drop out here, and so
        // do the records they would have taken.
        for (std::size_t h = 0; h < heads.size(); ++h) {
            const std::size_t i = heads[h];
            if (grouped[i])
                continue;
            SDuplicateGroup group;
            for (const auto& chunk : candidates)
                for (const SCandidate& candidate : chunk[h]) {
                    if (grouped[candidate.record])
                        continue;
                    grouped[candidate.record] = 1;
                    group.members.push_back(MakeItem(database, candidate.record, candidate.match));
                }
            if (group.members.empty())
                continue;
            grouped[i] = 1;
            group.head = MakeItem(database, i, group.members.front().match);
            groups.push_back(std::move(group));
        }
        if (onProgress)
            onProgress(last, count);
    }
    if (stopped)
        *stopped = interrupted;
    return groups;
}

int ParseThreshold(const std::string& text)
{
    long long value = 0;
    for (std::size_t i = 0; i < text.size() && i < 50 && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<long long>(value * 10 + (text[i] - '0'), 1000000000LL);
    return int(value);
}

} // namespace dif
