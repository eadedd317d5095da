#include "effects/encode_text.h"

#include <algorithm>

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
    return std::max(0, GetEncodeTextMaxSize() - kMarkerLength);
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
