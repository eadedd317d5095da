#include "effects/encode_text.h"

#include <algorithm>
#include <utility>

namespace {

constexpr int kBlock = 256;
constexpr char kMarker[] = "TENC";
constexpr int kMarkerLength = 4;

inline bool EvenSum(VxPixel p)
{
    return (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF)) % 2 == 0;
}

} // namespace

int CVelvix_EncodeText::GetEncodeTextMaxSize()
{
    if (!IsValidObject())
        return -1;
    return int(std::size_t(GetWidth()) * std::size_t(GetHeight()) / kBlock) - kMarkerLength;
}

int CVelvix_EncodeText::GetEncodeTextCapacity()
{
    if (!IsValidObject())
        return -1;
    const int room = GetEncodeTextMaxSize() - kMarkerLength;
    return room > 1 ? room : 0;
}

bool CVelvix_EncodeText::ToLatin1(const std::string& utf8, std::string& latin1)
{
    // Latin-1 is U+0000..U+00FF: ASCII bytes, or the two-byte forms C2 and C3
    // followed by one continuation byte. Every other lead byte starts a
    // character beyond it (or is malformed).
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out.push_back(char(lead));
            continue;
        }
        if ((lead != 0xC2 && lead != 0xC3) || i + 1 == utf8.size())
            return false;
        const auto next = static_cast<unsigned char>(utf8[++i]);
        if ((next & 0xC0) != 0x80)
            return false;
        out.push_back(char(((lead & 0x03) << 6) | (next & 0x3F)));
    }
    latin1 = std::move(out);
    return true;
}

bool CVelvix_EncodeText::EncodeText(const std::string& text)
{
    if (!IsValidObject() || text.empty() || int(text.size()) > GetEncodeTextCapacity() ||
        text.find('\0') != std::string::npos)
        return false;
    const std::string payload = kMarker + text;
    const int blocks = GetEncodeTextMaxSize();
    VxPixel* pixels = GetImageData();
    for (int k = 0; k < blocks; ++k) {
        const int code = k < int(payload.size()) ? int(static_cast<unsigned char>(payload[k])) : 0;
        VxPixel* block = pixels + std::size_t(k) * kBlock;
        for (int j = 0; j < kBlock; ++j) {
            const VxPixel p = block[j];
            if (EvenSum(p) == (j == code))
                continue;
            const VxPixel red = (p >> 16) & 0xFF;
            block[j] = ((red < 255 ? red + 1 : red - 1) << 16) | (p & 0xFFFF);
        }
    }
    return true;
}

bool CVelvix_EncodeText::DecodeText(std::string& text)
{
    if (!IsValidObject())
        return false;
    const int blocks = GetEncodeTextMaxSize();
    if (blocks <= 0)
        return false;
    const VxPixel* pixels = GetImageData();
    std::string codes;
    for (int k = 0; k < blocks; ++k) {
        const VxPixel* block = pixels + std::size_t(k) * kBlock;
        int code = 0;
        while (code < kBlock && !EvenSum(block[code]))
            ++code;
        if (code < kBlock && code != 0)
            codes.push_back(char(code));
    }
    if (codes.size() < kMarkerLength || codes.compare(0, kMarkerLength, kMarker) != 0)
        return false;
    text = codes.substr(kMarkerLength);
    return true;
}
