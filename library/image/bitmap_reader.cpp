#include "image/bitmap_reader.h"

// Placeholder until the bitmap decoder lands: every file is refused.
int CVelvix_CBitmapReader::ReadBitmapImage(QPainter*, const char*)
{
    return 0;
}

int CVelvix_CBitmapReader::ReadBitmapMemory(const unsigned char*, std::size_t)
{
    return 0;
}
