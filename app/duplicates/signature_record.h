#pragma once

// The signature database's record: 261 bytes of zero-terminated path and
// 256 little-endian 32-bit colours (0x00RRGGBB), 1285 bytes, no padding.
// Free of Qt so that headless tools scan and compare too.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class CVelvix;

namespace dif {

constexpr std::size_t kPathFieldSize = 261;
constexpr std::size_t kMaxPathBytes = kPathFieldSize - 1;
constexpr std::size_t kSignatureEntries = 256;
constexpr std::size_t kSignatureOffset = kPathFieldSize;
constexpr std::size_t kRecordSize = kPathFieldSize + 4 * kSignatureEntries;
static_assert(kRecordSize == 1285);

using Signature = std::array<std::uint32_t, kSignatureEntries>;
using RecordBytes = std::array<unsigned char, kRecordSize>;

// false (and nothing written) when the path does not fit the field or holds a
// zero byte: a shortened path could name another file.
bool EncodeRecord(const std::string& path, const Signature& signature, RecordBytes& out);
// The path up to its terminator (at most 261 bytes of a hostile record).
std::string RecordPath(const unsigned char* record);
Signature RecordSignature(const unsigned char* record);
inline bool IsDeletedRecord(const unsigned char* record) { return record[0] == 0; }

// The image's signature: the segment pixelization with 16 segments; entries
// it does not write stay 0. false when the file does not decode. A scratch
// picture kept by the caller saves a new buffer (and its page faults) for
// each file of the same size.
bool ComputeSignature(const std::string& path, Signature& out, CVelvix* scratch = nullptr);

// True when the lower-cased name contains an image extension anywhere.
bool IsImageCandidate(const std::string& name);

// The program's per-user data folder ($XDG_DATA_HOME or ~/.local/share,
// then Velvix/Ambrel) and the database file in it.
std::string DataFolder();
std::string DatabasePath();
std::string CachePath();

} // namespace dif
