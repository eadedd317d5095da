#include "duplicates/signature_scanner.h"

#include <fcntl.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "duplicates/folder_walk.h"
#include "duplicates/signature_cache.h"
#include "duplicates/signature_database.h"
#include "image/parallel.h"
#include "image/velvix.h"

namespace dif {

namespace {

// Asks the system to read a queued file while the decoders work on earlier
// ones (a disk or a network share then delivers it in the background). The
// walk reports regular files only.
void ReadAhead(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
    ::close(fd);
}

struct SDecoded {
    SFoundFile file;
    bool decoded = false;
    bool dropped = false; // not decoded because of a stop
    Signature signature{};
};

// Decodes files on worker threads and hands the results back in the order
// the files were submitted.
class COrderedDecoder {
public:
    explicit COrderedDecoder(unsigned threads)
    {
        // One picture per worker: the library's loops stay on the worker's thread.
        // Threads the system refuses (too many, no memory for a stack) are
        // done without: Threads() tells how many run.
        try {
            for (unsigned i = 0; i < threads; ++i)
                m_workers.emplace_back([this] {
                    const VxThreadLimit alone(1);
                    _Run();
                });
        } catch (const std::exception&) {
        }
    }
    ~COrderedDecoder()
    {
        {
            std::lock_guard lock(m_mutex);
            m_bQuit = true;
            m_queue.clear();
        }
        m_wake.notify_all();
        for (auto& worker : m_workers)
            worker.join();
    }
    unsigned Threads() const { return unsigned(m_workers.size()); }
    std::size_t InFlight()
    {
        std::lock_guard lock(m_mutex);
        return m_nSubmitted - m_nNextOut;
    }
    void Submit(SDecoded item, bool ready)
    {
        std::lock_guard lock(m_mutex);
        const std::size_t index = m_nSubmitted++;
        if (ready)
            m_done.emplace(index, std::move(item));
        else
            m_queue.emplace_back(index, std::move(item));
        m_wake.notify_one();
    }
    // The next result in submission order; waits when it is not ready and
    // wait is set. Empty when nothing (more) is ready.
    std::optional<SDecoded> Next(bool wait)
    {
        std::unique_lock lock(m_mutex);
        if (m_nNextOut == m_nSubmitted)
            return std::nullopt;
        if (wait)
            m_finished.wait(lock, [this] { return m_done.count(m_nNextOut) != 0; });
        const auto found = m_done.find(m_nNextOut);
        if (found == m_done.end())
            return std::nullopt;
        SDecoded item = std::move(found->second);
        m_done.erase(found);
        ++m_nNextOut;
        return item;
    }
    // Forgets the files not started yet (a stop) and waits for the others.
    void DropPending()
    {
        std::unique_lock lock(m_mutex);
        for (auto& [index, item] : m_queue) {
            item.dropped = true;
            m_done.emplace(index, std::move(item));
        }
        m_queue.clear();
        m_finished.wait(lock, [this] { return m_done.size() == m_nSubmitted - m_nNextOut; });
    }

private:
    void _Run()
    {
        CVelvix scratch;
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_bQuit || !m_queue.empty(); });
            if (m_bQuit)
                return;
            auto [index, item] = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            item.decoded = ComputeSignature(item.file.path, item.signature, &scratch);
            lock.lock();
            m_done.emplace(index, std::move(item));
            m_finished.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake, m_finished;
    std::deque<std::pair<std::size_t, SDecoded>> m_queue;
    std::map<std::size_t, SDecoded> m_done;
    std::size_t m_nSubmitted = 0, m_nNextOut = 0;
    bool m_bQuit = false;
    std::vector<std::thread> m_workers;
};

} // namespace

CSignatureScanner::CSignatureScanner(std::string databasePath, SScanOptions options, IScanProgress* progress,
                                     const std::atomic<int>& stopRequests)
    : m_strDatabasePath(std::move(databasePath)), m_options(std::move(options)), m_pProgress(progress),
      m_stop(stopRequests)
{
}

SScanResult CSignatureScanner::Scan(const std::vector<std::string>& folders)
{
    SScanResult result;
    // The new database replaces the old one only once it is complete (or
    // stopped): a scan that cannot write keeps the old one.
    CSignatureWriter writer;
    if (!writer.Begin(m_strDatabasePath)) {
        result.databaseUnwritable = true;
        return result;
    }
    CSignatureCache cache;
    const bool useCache = !m_options.cachePath.empty();
    if (useCache)
        cache.Load(m_options.cachePath);

    auto finish = [&](SDecoded& item) {
        if (item.dropped)
            return;
        if (useCache)
            cache.Store(item.file, item.decoded, item.signature);
        RecordBytes record;
        if (item.decoded && EncodeRecord(item.file.path, item.signature, record)) {
            if (writer.Append(record))
                ++result.records;
            else
                result.databaseUnwritable = true;
        } else if (!item.decoded) {
            ++result.undecodable;
        }
        if (m_pProgress)
            m_pProgress->OnAnalyzing(item.file.path);
    };

    COrderedDecoder decoder(m_options.decodeThreads > 1 ? m_options.decodeThreads : 0);
    const unsigned threads = decoder.Threads();
    CVelvix scratch;
    // Enough files ahead to keep every decoder busy while the writes wait
    // for the oldest one.
    const std::size_t ahead = 4 * std::size_t(threads);
    CFolderWalk walk(m_stop, [&](const SFoundFile& file) {
        SDecoded item{file};
        const bool known = useCache && cache.Find(file, item.decoded, item.signature);
        if (known)
            ++result.fromCache;
        if (threads == 0) {
            if (!known)
                item.decoded = ComputeSignature(file.path, item.signature, &scratch);
            finish(item);
            return;
        }
        if (!known)
            ReadAhead(file.path);
        decoder.Submit(std::move(item), known);
        while (auto done = decoder.Next(decoder.InFlight() > ahead))
            finish(*done);
    });

    for (const std::string& folder : folders) {
        if (m_stop.load() != 0)
            break;
        walk.Walk(folder);
        if (m_stop.load() != 0)
            decoder.DropPending();
        while (auto done = decoder.Next(true))
            finish(*done);
    }
    if (!writer.Commit()) {
        result.databaseUnwritable = true;
        result.records = 0;
    }
    result.stopped = m_stop.load() != 0;
    result.longPaths = walk.Counts().longPaths;
    result.unreadableFolders = walk.Counts().unreadableFolders;
    if (useCache) {
        if (!result.stopped)
            cache.KeepOnlyStored();
        cache.Save(m_options.cachePath);
    }
    return result;
}

} // namespace dif
