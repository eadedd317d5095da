#include "duplicates/signature_record.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "duplicates/signature_blocks.h"
#include "image/velvix.h"

namespace dif {

bool EncodeRecord(const std::string& path, const Signature& signature, RecordBytes& out)
{
    if (path.empty() || path.size() > kMaxPathBytes || path.find('\0') != std::string::npos)
        return false;
    out.fill(0);
    std::memcpy(out.data(), path.data(), path.size());
    for (std::size_t i = 0; i < kSignatureEntries; ++i) {
        const std::uint32_t v = signature[i];
        unsigned char* p = out.data() + kSignatureOffset + 4 * i;
        p[0] = static_cast<unsigned char>(v);
        p[1] = static_cast<unsigned char>(v >> 8);
        p[2] = static_cast<unsigned char>(v >> 16);
        p[3] = static_cast<unsigned char>(v >> 24);
    }
    return true;
}

std::string RecordPath(const unsigned char* record)
{
    const void* end = std::memchr(record, 0, kPathFieldSize);
    const std::size_t length = end ? std::size_t(static_cast<const unsigned char*>(end) - record) : kPathFieldSize;
    return std::string(reinterpret_cast<const char*>(record), length);
}

Signature RecordSignature(const unsigned char* record)
{
    Signature signature;
    for (std::size_t i = 0; i < kSignatureEntries; ++i) {
        const unsigned char* p = record + kSignatureOffset + 4 * i;
        signature[i] = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                       std::uint32_t(p[3]) << 24;
    }
    return signature;
}

bool ComputeSignature(const std::string& path, Signature& out, CVelvix* scratch)
{
    CVelvix own;
    CVelvix& image = scratch ? *scratch : own;
    if (image.ReadImage(path.c_str()) != 1 || !image.IsValidObject())
        return false;
    // Runs on the scan's workers, where an escaping exception would end the
    // program: a picture whose work buffer cannot be had is not decoded.
    try {
        SignatureOfPicture(image, out);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool IsImageCandidate(const std::string& name)
{
    std::string lower = name;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    for (const char* extension : {".jpg", ".jpeg", ".gif", ".png", ".bmp"})
        if (lower.find(extension) != std::string::npos)
            return true;
    return false;
}

std::string DataFolder()
{
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && home[0])
        base = std::string(home) + "/.local/share";
    else
        base = "/tmp";
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/Velvix/Ambrel";
}

std::string DatabasePath()
{
    return DataFolder() + "/ambrelid.dat";
}

std::string CachePath()
{
    return DataFolder() + "/ambrelid.cache";
}

} // namespace dif
