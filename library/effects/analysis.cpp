#include "effects/analysis.h"

#include "effects/histogram.h"

void CVelvix_Analysis::GetHistogram(int red[256], int green[256], int blue[256], int& max)
{
    if (!IsValidObject())
        return;
    VxChannelCounts counts;
    VxCountChannels(GetImageData(), std::size_t(GetWidth()) * std::size_t(GetHeight()), counts);
    // Counts only grow, so the largest count ever reached is the largest final one.
    max = 0;
    int* tables[3] = {red, green, blue};
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v) {
            tables[c][v] = int(counts.count[c][v]);
            max = tables[c][v] > max ? tables[c][v] : max;
        }
}
