#include "duplicates/signature_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace dif {

namespace {

constexpr char kMagic[8] = {'A', 'M', 'B', 'S', 'I', 'G', 'C', '1'};

// Entry: path length (u16), path, size, inode (u64), modified, changed (i64),
// decoded (u8), then the 256 colours when decoded; all little-endian.
template <typename T> void Put(std::vector<unsigned char>& out, T value)
{
    for (std::size_t i = 0; i < sizeof(T); ++i)
        out.push_back(static_cast<unsigned char>(std::uint64_t(value) >> (8 * i)));
}

struct Reader {
    const unsigned char* p;
    const unsigned char* end;
    template <typename T> bool Get(T& value)
    {
        if (std::size_t(end - p) < sizeof(T))
            return false;
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            v |= std::uint64_t(p[i]) << (8 * i);
        value = T(v);
        p += sizeof(T);
        return true;
    }
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

bool CSignatureCache::Load(const std::string& path)
{
    m_entries.clear();
    // Only a regular file is read: a pipe of that name would hold the scan
    // for good, and a device like /dev/zero would never end.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat info {};
    std::unique_ptr<std::FILE, FileCloser> file(::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? ::fdopen(fd, "rb")
                                                                                                 : nullptr);
    if (!file) {
        ::close(fd);
        return false;
    }
    std::vector<unsigned char> data;
    unsigned char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0;)
        data.insert(data.end(), buffer, buffer + n);
    if (data.size() < sizeof kMagic || std::memcmp(data.data(), kMagic, sizeof kMagic) != 0)
        return false;
    Reader in{data.data() + sizeof kMagic, data.data() + data.size()};
    while (in.p < in.end) {
        std::uint16_t length = 0;
        Entry entry{};
        std::uint8_t decoded = 0;
        if (!in.Get(length) || std::size_t(in.end - in.p) < length) {
            m_entries.clear(); // damaged: trust none of it
            return false;
        }
        std::string name(reinterpret_cast<const char*>(in.p), length);
        in.p += length;
        if (!in.Get(entry.size) || !in.Get(entry.inode) || !in.Get(entry.modified) || !in.Get(entry.changed) ||
            !in.Get(decoded) || decoded > 1) {
            m_entries.clear();
            return false;
        }
        entry.decoded = decoded != 0;
        entry.signature.fill(0);
        for (std::size_t i = 0; entry.decoded && i < kSignatureEntries; ++i)
            if (!in.Get(entry.signature[i])) {
                m_entries.clear();
                return false;
            }
        m_entries[name] = entry;
    }
    return true;
}

bool CSignatureCache::Save(const std::string& path) const
{
    std::vector<unsigned char> out(kMagic, kMagic + sizeof kMagic);
    out.reserve(sizeof kMagic + m_entries.size() * (kSignatureEntries * 4 + 80));
    for (const auto& [name, entry] : m_entries) {
        if (name.size() > 0xFFFF)
            continue;
        Put(out, std::uint16_t(name.size()));
        out.insert(out.end(), name.begin(), name.end());
        Put(out, entry.size);
        Put(out, entry.inode);
        Put(out, entry.modified);
        Put(out, entry.changed);
        Put(out, std::uint8_t(entry.decoded ? 1 : 0));
        for (std::size_t i = 0; entry.decoded && i < kSignatureEntries; ++i)
            Put(out, entry.signature[i]);
    }
    const std::string temp = path + ".new";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::write(fd, out.data() + done, out.size() - done);
        if (n <= 0)
            break;
        done += std::size_t(n);
    }
    const bool written = done == out.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!written || std::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool CSignatureCache::_Same(const Entry& entry, const SFoundFile& file)
{
    return entry.size == file.size && entry.inode == file.inode && entry.modified == file.modified &&
           entry.changed == file.changed;
}

bool CSignatureCache::Find(const SFoundFile& file, bool& decoded, Signature& signature) const
{
    const auto found = m_entries.find(file.path);
    if (found == m_entries.end() || !_Same(found->second, file))
        return false;
    decoded = found->second.decoded;
    if (decoded)
        signature = found->second.signature;
    return true;
}

void CSignatureCache::Store(const SFoundFile& file, bool decoded, const Signature& signature)
{
    Entry& entry = m_entries[file.path];
    entry = Entry{file.size, file.inode, file.modified, file.changed, decoded, true, {}};
    if (decoded)
        entry.signature = signature;
}

void CSignatureCache::KeepOnlyStored()
{
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (it->second.stored) {
            it->second.stored = false;
            ++it;
        } else {
            it = m_entries.erase(it);
        }
    }
}

} // namespace dif
