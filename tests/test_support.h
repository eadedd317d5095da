#pragma once

// Helpers shared by the library's tests: random pictures, temporary folders,
// paths into the external test suites, and whole-buffer comparison.
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

#include "image/velvix.h"

namespace vxtest {

inline VxPixel*& Data(CVelvix& image)
{
    return static_cast<CVelvix_PixelInterface&>(image).GetImageData();
}

// A w x h picture of random 24-bit pixels (top byte 0).
inline CVelvix RandomImage(int w, int h, std::uint32_t seed = 1)
{
    CVelvix image;
    static_cast<CVelvix_PixelInterface&>(image).RawCreateImage(h, w);
    std::mt19937 random(seed);
    for (int i = 0; i < w * h; ++i)
        image.Bytes(i) = random() & 0xFFFFFF;
    return image;
}

inline CVelvix FilledImage(int w, int h, VxPixel value)
{
    CVelvix image;
    static_cast<CVelvix_PixelInterface&>(image).RawCreateImage(h, w);
    for (int i = 0; i < w * h; ++i)
        image.Bytes(i) = value;
    return image;
}

// Index of the first differing pixel, or -1 when both pictures are equal.
inline long FirstDifference(CVelvix& a, CVelvix& b)
{
    if (a.IsValidObject() != b.IsValidObject())
        return 0;
    if (!a.IsValidObject())
        return -1;
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return 0;
    const long n = long(a.GetWidth()) * a.GetHeight();
    for (long i = 0; i < n; ++i)
        if (a.Bytes(int(i)) != b.Bytes(int(i)))
            return i;
    return -1;
}

inline std::string TestData(const std::string& relative)
{
    return std::string(AMBREL_TESTDATA_DIR) + "/" + relative;
}

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "ambrel-test-XXXXXX").string();
        m_path = mkdtemp(pattern.data());
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::filesystem::path& Path() const { return m_path; }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

} // namespace vxtest
