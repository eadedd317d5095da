#pragma once

// The signature of a decoded picture: the average colour of each of up to
// 16 x 16 blocks, laid out as the segment pixelization lays them out (n =
// 16 reduced to the picture's smaller side, entry y * n + x, block row 0 at
// the bottom, unwritten entries 0). One pass of byte additions on the
// calling thread, for the scan's decode threads.
#include "duplicates/signature_record.h"

class CVelvix;

namespace dif {

void SignatureOfPicture(CVelvix& picture, Signature& out);

} // namespace dif
