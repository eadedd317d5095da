#pragma once

// Signatures of earlier scans, keyed by path, size, modification and status
// change times and inode, so that a new scan re-uses those of unchanged
// files instead of decoding them again. Files that did not decode are kept
// too. The side file is private to this program and may be deleted at any
// time: a missing, foreign or damaged file is an empty cache.
#include <cstdint>
#include <string>
#include <unordered_map>

#include "duplicates/folder_walk.h"
#include "duplicates/signature_record.h"

namespace dif {

class CSignatureCache {
public:
    bool Load(const std::string& path);
    // Writes the entries through a temporary file renamed over the old one.
    bool Save(const std::string& path) const;

    // true when the file is known unchanged; decoded tells whether it
    // decoded, signature is set when it did.
    bool Find(const SFoundFile& file, bool& decoded, Signature& signature) const;
    void Store(const SFoundFile& file, bool decoded, const Signature& signature);
    // Keeps only the entries stored since the last call (files met by a
    // complete scan), so that deleted files drop out.
    void KeepOnlyStored();
    std::size_t Size() const { return m_entries.size(); }

private:
    struct Entry {
        std::uint64_t size, inode;
        std::int64_t modified, changed;
        bool decoded;
        bool stored; // stored during this run
        Signature signature;
    };
    static bool _Same(const Entry& entry, const SFoundFile& file);
    std::unordered_map<std::string, Entry> m_entries;
};

} // namespace dif
