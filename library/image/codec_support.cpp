// The codec path: it decodes by content (a PNG named .jpg opens) and saves
// in the format it is asked for.
#include "image/codec_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "image/bitmap_reader.h"
#include "image/codec_internal.h"

std::size_t VxCodecInput::Read(void* out, std::size_t count)
{
    if (file)
        return std::fread(out, 1, count, file);
    const std::size_t left = size - position;
    if (count > left)
        count = left;
    std::memcpy(out, data + position, count);
    position += count;
    return count;
}

namespace {

enum class Kind { Unknown, Jpeg, Png, Gif, Bitmap };

Kind Sniff(const unsigned char* head, std::size_t size)
{
    static const unsigned char png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (size >= 2 && head[0] == 0xFF && head[1] == 0xD8)
        return Kind::Jpeg;
    if (size >= 8 && std::memcmp(head, png, 8) == 0)
        return Kind::Png;
    if (size >= 6 && std::memcmp(head, "GIF8", 4) == 0 && (head[4] == '7' || head[4] == '9') && head[5] == 'a')
        return Kind::Gif;
    if (size >= 2 && head[0] == 'B' && head[1] == 'M')
        return Kind::Bitmap;
    return Kind::Unknown;
}

bool Decode(CVelvix_PixelInterface& image, Kind kind, VxCodecInput& input)
{
    switch (kind) {
    case Kind::Jpeg:
        return VxDecodeJpeg(image, input);
    case Kind::Png:
        return VxDecodePng(image, input);
    case Kind::Gif:
        return VxDecodeGif(image, input);
    default:
        return false;
    }
}

} // namespace

bool CVelvix_JPEGAndOthersSupport::ReadCodecMemory(const unsigned char* data, std::size_t size)
{
    if (!data)
        return false;
    const Kind kind = Sniff(data, size);
    if (kind == Kind::Bitmap) {
        // The platform's codec layer reads bitmap files too.
        auto* reader = dynamic_cast<CVelvix_CBitmapReader*>(static_cast<CVelvix_PixelInterface*>(this));
        return reader && reader->ReadBitmapMemory(data, size) == 1;
    }
    VxCodecInput input;
    input.data = data;
    input.size = size;
    return Decode(*this, kind, input);
}

bool CVelvix_JPEGAndOthersSupport::ReadCodecImage(QPainter* /*dc*/, const char* path)
{
    return VxReadCodecFile(*this, path, 0, 0, nullptr, nullptr);
}

bool VxReadCodecFile(CVelvix_PixelInterface& image, const char* path, int coverWidth, int coverHeight, int* fullWidth,
                     int* fullHeight)
{
    if (!path)
        return false;
    // Only regular files: opening a FIFO or a device must not block.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat info {};
    std::FILE* file = nullptr;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || !(file = fdopen(fd, "rb"))) {
        close(fd);
        return false;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, std::fclose);
    unsigned char head[8];
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    const Kind kind = Sniff(head, got);
    if (kind == Kind::Unknown || std::fseek(file, 0, SEEK_SET) != 0)
        return false;
    VxCodecInput input;
    if (kind == Kind::Bitmap) {
        auto* reader = dynamic_cast<CVelvix_CBitmapReader*>(&image);
        closer.reset();
        if (!reader || reader->ReadBitmapImage(nullptr, path) != 1)
            return false;
    } else {
        input.file = file;
        input.coverWidth = coverWidth;
        input.coverHeight = coverHeight;
        if (!Decode(image, kind, input))
            return false;
    }
    // A decode at full scale leaves the size unset: it is the picture's own.
    if (fullWidth)
        *fullWidth = input.fullWidth > 0 ? input.fullWidth : image.GetWidth();
    if (fullHeight)
        *fullHeight = input.fullHeight > 0 ? input.fullHeight : image.GetHeight();
    return true;
}

bool CVelvix_JPEGAndOthersSupport::SaveCodecImage(const char* path, VxCodecFormat format)
{
    if (!path || !IsValidObject())
        return false;
    std::FILE* file = std::fopen(path, "wbe");
    if (!file)
        return false;
    bool written = WriteCodecFile(file, format);
    written = std::fflush(file) == 0 && !std::ferror(file) && written;
    return std::fclose(file) == 0 && written;
}

bool CVelvix_JPEGAndOthersSupport::WriteCodecFile(std::FILE* file, VxCodecFormat format)
{
    if (!file || !IsValidObject())
        return false;
    switch (format) {
    case VxCodecFormat::Jpeg:
        return VxEncodeJpeg(*this, file);
    case VxCodecFormat::Png:
        return VxEncodePng(*this, file);
    case VxCodecFormat::Gif:
        return VxEncodeGif(*this, file);
    }
    return false;
}
