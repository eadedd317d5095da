#pragma once

#include <string>

#include "image/pixel_interface.h"

// A short text hidden in the parity of the pixels' colour sums: block k of
// 256 pixels carries one byte c as "pixel c is the first with an even sum".
// The marker "TENC" takes the first four of the GetEncodeTextMaxSize() blocks.
class VELVIX_EXPORT CVelvix_EncodeText : public virtual CVelvix_PixelInterface {
public:
    // The number of blocks that carry the marker and the text: W x H / 256 - 4
    // (negative for small images), or -1 without pixels.
    int GetEncodeTextMaxSize();
    // The longest text EncodeText accepts: the blocks left after the marker,
    // or -1 without pixels. Room for a single character counts as none, so
    // that the encode command does nothing on such a small picture.
    int GetEncodeTextCapacity();
    // The text's characters as Latin-1 bytes, one per character, from UTF-8.
    // False when a character has no Latin-1 byte or the UTF-8 is malformed:
    // such a text is refused rather than stored with '?' in their place.
    static bool ToLatin1(const std::string& utf8, std::string& latin1);
    // Hides the text's bytes; false, with the image unchanged, for an empty
    // text, a text longer than the capacity or one containing a zero byte.
    bool EncodeText(const std::string& text);
    // True with the hidden text when the image carries the marker; otherwise
    // false and text unchanged.
    bool DecodeText(std::string& text);
};
