// Body of the row kernels; kernels_portable.cpp and kernels_avx2.cpp include it
// inside their own namespace, each compiled for its instruction set. Plain
// loops that the compiler vectorises: 16-bit sums per channel byte (every
// kernel's sum fits), constant divisors (truncating like the definitions'
// floating-point quotients, which never come near an integer they do not equal).
// Nothing here may call an out-of-line function shared with the other copy.

namespace {

using u8 = std::uint8_t;

inline u8 ClampByte(int v)
{
    return u8(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Columns 1 .. width - 2 of one output row; weights row by row (row 0 = y - 1).
template <int a, int b, int c, int d, int e, int f, int g, int h, int i, int Div, int Add>
void Convolve3Row(const VxPixel* above, const VxPixel* row, const VxPixel* below, VxPixel* out, int width)
{
    const u8* __restrict p0 = reinterpret_cast<const u8*>(above);
    const u8* __restrict p1 = reinterpret_cast<const u8*>(row);
    const u8* __restrict p2 = reinterpret_cast<const u8*>(below);
    u8* __restrict o = reinterpret_cast<u8*>(out);
    const int end = (width - 1) * 4;
    for (int k = 4; k < end; ++k) {
        short s = short(a * p0[k - 4] + b * p0[k] + c * p0[k + 4] + d * p1[k - 4] + e * p1[k] + f * p1[k + 4] +
                        g * p2[k - 4] + h * p2[k] + i * p2[k + 4]);
        if constexpr (Div != 0 && Div != 1)
            s = short(s / short(Div));
        if constexpr (Add != 0)
            s = short(s + Add);
        o[k] = s < 0 ? u8(0) : s > 255 ? u8(255) : u8(s);
    }
    VxPixel* __restrict q = out;
    for (int x = 1; x < width - 1; ++x)
        q[x] &= 0xFFFFFFu;
}

void Convolve3(VxKernel3 kind, const VxPixel* above, const VxPixel* row, const VxPixel* below, VxPixel* out,
               int width)
{
    switch (kind) {
    case VxKernel3::Blur:
        return Convolve3Row<1, 1, 1, 1, 1, 1, 1, 1, 1, 9, 0>(above, row, below, out, width);
    case VxKernel3::GaussianBlur:
        return Convolve3Row<1, 2, 1, 2, 4, 2, 1, 2, 1, 16, 0>(above, row, below, out, width);
    case VxKernel3::Sharpen:
        return Convolve3Row<-1, -2, -1, -2, 19, -2, -1, -2, -1, 7, 0>(above, row, below, out, width);
    case VxKernel3::Sharpen1:
        return Convolve3Row<0, -2, 0, -2, 11, -2, 0, -2, 0, 3, 0>(above, row, below, out, width);
    case VxKernel3::EdgeDetection:
        return Convolve3Row<1, 1, 1, 1, -8, 1, 1, 1, 1, 0, 0>(above, row, below, out, width);
    case VxKernel3::EnhanceEdges:
        return Convolve3Row<-1, -1, -1, -1, 9, -1, -1, -1, -1, 1, 0>(above, row, below, out, width);
    case VxKernel3::EnhanceFocus:
        return Convolve3Row<-1, 0, -1, 0, 7, 0, -1, 0, -1, 3, 0>(above, row, below, out, width);
    case VxKernel3::EnhanceDetail:
        return Convolve3Row<0, -1, 0, -1, -10, -1, 0, -1, 0, -14, 0>(above, row, below, out, width);
    case VxKernel3::Emboss:
        return Convolve3Row<-1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 128>(above, row, below, out, width);
    }
}

void ReduceJaggies(const VxPixel* const* rows, VxPixel* out, int width)
{
    const u8* __restrict p0 = reinterpret_cast<const u8*>(rows[0]);
    const u8* __restrict p1 = reinterpret_cast<const u8*>(rows[1]);
    const u8* __restrict p2 = reinterpret_cast<const u8*>(rows[2]);
    const u8* __restrict p3 = reinterpret_cast<const u8*>(rows[3]);
    const u8* __restrict p4 = reinterpret_cast<const u8*>(rows[4]);
    u8* __restrict o = reinterpret_cast<u8*>(out);
    const int end = (width - 2) * 4;
    for (int k = 8; k < end; ++k) {
        short s = short(-p0[k] + 3 * p1[k] - p2[k - 8] + 3 * p2[k - 4] + 7 * p2[k] + 3 * p2[k + 4] - p2[k + 8] +
                        3 * p3[k] - p4[k]);
        s = short(s / short(15));
        o[k] = s < 0 ? u8(0) : s > 255 ? u8(255) : u8(s);
    }
    VxPixel* __restrict q = out;
    for (int x = 2; x < width - 2; ++x)
        q[x] &= 0xFFFFFFu;
}

void RemoveNoise(const VxPixel* above, const VxPixel* row, const VxPixel* below, VxPixel* out, int width)
{
    const VxPixel* __restrict r0 = above;
    const VxPixel* __restrict r1 = row;
    const VxPixel* __restrict r2 = below;
    VxPixel* __restrict o = out;
    for (int x = 1; x < width - 1; ++x) {
        // Values below 2^24, so signed comparisons serve.
        int v[9] = {int(r0[x - 1] & 0xFFFFFF), int(r1[x - 1] & 0xFFFFFF), int(r2[x - 1] & 0xFFFFFF),
                    int(r0[x] & 0xFFFFFF),     int(r1[x] & 0xFFFFFF),     int(r2[x] & 0xFFFFFF),
                    int(r0[x + 1] & 0xFFFFFF), int(r1[x + 1] & 0xFFFFFF), int(r2[x + 1] & 0xFFFFFF)};
        int lo = 0xFFFFFF, hi = 0;
        for (int k = 0; k < 9; ++k) {
            lo = v[k] < lo ? v[k] : lo;
            hi = v[k] > hi ? v[k] : hi;
        }
        const int bound = (lo + hi) >> 1;
        int best = 0;
        for (int k = 0; k < 9; ++k)
            best = v[k] <= bound && v[k] > best ? v[k] : best;
        o[x] = VxPixel(best);
    }
}

constexpr int kChunk = 512;  // pixels per pass through the gradient buffers

template <int a, int b, int c, int d, int e, int f, int g, int h, int i>
inline void Gradient(const u8* __restrict p0, const u8* __restrict p1, const u8* __restrict p2, short* __restrict s,
                     int begin, int end)
{
    for (int k = begin; k < end; ++k)
        s[k - begin] = short(a * p0[k - 4] + b * p0[k] + c * p0[k + 4] + d * p1[k - 4] + e * p1[k] + f * p1[k + 4] +
                             g * p2[k - 4] + h * p2[k] + i * p2[k + 4]);
}

template <int Method>
void EdgesRow(bool useThreshold, int threshold, const VxPixel* above, const VxPixel* row, const VxPixel* below,
              VxPixel* out, int width)
{
    const u8* p0 = reinterpret_cast<const u8*>(above);
    const u8* p1 = reinterpret_cast<const u8*>(row);
    const u8* p2 = reinterpret_cast<const u8*>(below);
    alignas(32) short gx[kChunk * 4];
    alignas(32) short gy[kChunk * 4];
    alignas(32) double total[kChunk];
    for (int x0 = 1; x0 < width - 1; x0 += kChunk) {
        const int count = (width - 1 - x0) < kChunk ? width - 1 - x0 : kChunk;
        const int begin = x0 * 4, end = (x0 + count) * 4;
        if constexpr (Method == 0) {
            Gradient<-1, 0, 1, -2, 0, 2, -1, 0, 1>(p0, p1, p2, gx, begin, end);
            Gradient<-1, -2, -1, 0, 0, 0, 1, 2, 1>(p0, p1, p2, gy, begin, end);
        } else if constexpr (Method == 1) {
            Gradient<1, 0, -1, 1, 0, -1, 1, 0, -1>(p0, p1, p2, gx, begin, end);
            Gradient<1, 1, 1, 0, 0, 0, -1, -1, -1>(p0, p1, p2, gy, begin, end);
        } else {
            Gradient<5, -3, -3, 5, -3, -3, 5, -3, -3>(p0, p1, p2, gx, begin, end);
            Gradient<5, 5, 5, -3, -3, -3, -3, -3, -3>(p0, p1, p2, gy, begin, end);
            // Both kernels sum to -3: the horizontal response is divided by |-6|.
            for (int k = 0; k < count * 4; ++k)
                gx[k] = short(gx[k] / short(6));
        }
        VxPixel* __restrict o = out + x0;
        if (!useThreshold) {
            for (int x = 0; x < count; ++x) {
                const int b = gy[4 * x] * gy[4 * x] + gx[4 * x] * gx[4 * x];
                const int g = gy[4 * x + 1] * gy[4 * x + 1] + gx[4 * x + 1] * gx[4 * x + 1];
                const int r = gy[4 * x + 2] * gy[4 * x + 2] + gx[4 * x + 2] * gx[4 * x + 2];
                double t = (__builtin_sqrt(double(r)) + __builtin_sqrt(double(g)) + __builtin_sqrt(double(b))) *
                           (1.0 / 3.0);
                total[x] = t > 255.0 ? 255.0 : t;
            }
            for (int x = 0; x < count; ++x)
                o[x] = VxPixel(int(total[x])) * 0x010101u;
        } else {
            const double limit = double(threshold);
            for (int x = 0; x < count; ++x) {
                const int b = gy[4 * x] * gy[4 * x] + gx[4 * x] * gx[4 * x];
                const int g = gy[4 * x + 1] * gy[4 * x + 1] + gx[4 * x + 1] * gx[4 * x + 1];
                const int r = gy[4 * x + 2] * gy[4 * x + 2] + gx[4 * x + 2] * gx[4 * x + 2];
                const bool edge = __builtin_sqrt(double(r)) > limit || __builtin_sqrt(double(g)) > limit ||
                                  __builtin_sqrt(double(b)) > limit;
                o[x] = edge ? 0u : 0xFFFFFFu;
            }
        }
    }
}

void Edges(int method, bool useThreshold, int threshold, const VxPixel* above, const VxPixel* row,
           const VxPixel* below, VxPixel* out, int width)
{
    if (method == 0)
        EdgesRow<0>(useThreshold, threshold, above, row, below, out, width);
    else if (method == 1)
        EdgesRow<1>(useThreshold, threshold, above, row, below, out, width);
    else
        EdgesRow<2>(useThreshold, threshold, above, row, below, out, width);
}

} // namespace

const VxKernelTable kTable = {&Convolve3, &ReduceJaggies, &RemoveNoise, &Edges, VX_KERNEL_NAME, VX_KERNEL_AVX2};
