// The effects of the image object on pictures of any size and contents, with
// hostile arguments. Each input picks a picture (empty, 1 x 1, one row or
// column, odd sizes, the longest side), its pixels (top bytes included), one
// effect and its arguments. The effect runs twice: with the portable kernels
// on one thread, and with the automatic choice on all cores inside an undo
// ring. Both runs must agree exactly, undo and redo must give back both
// pictures, and what each effect promises about sizes and top bytes must hold.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "effects/kernels.h"
#include "image/parallel.h"
#include "image/velvix.h"
#include "image/velvix_buffer.h"

namespace {

#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s: %s failed (line %d)\n", g_effect, #condition, __LINE__);               \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

const char* g_effect = "";
constexpr long long kMaxPixels = 1 << 18;

// Picture sizes: degenerate, odd, around vector widths and the longest side.
constexpr int kSides[] = {1,  2,  3,  4,  5,  7,   8,   9,   15,  16,   17,   31,
                          32, 33, 63, 64, 65, 100, 255, 256, 257, 1023, 4096, 65535};

int Side(FuzzedDataProvider& in)
{
    if (in.ConsumeBool())
        return in.PickValueInArray(kSides);
    return in.ConsumeIntegralInRange(1, 600);
}

int HostileInt(FuzzedDataProvider& in)
{
    constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
    constexpr int kValues[] = {0,    1,   -1,  2,    3,     5,     15,   16,   90,       180,
                               -180, 256, 360, 1000, 65535, 65536, kMax, kMin, kMax - 1, kMin + 1};
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
        return in.PickValueInArray(kValues);
    case 1:
        return in.ConsumeIntegralInRange(-40, 600);
    default:
        return in.ConsumeIntegral<int>();
    }
}

double HostileDouble(FuzzedDataProvider& in)
{
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const double values[] = {0.0,
                             -0.0,
                             1.0,
                             -1.0,
                             0.5,
                             1.3,
                             4.0,
                             30.0,
                             510.0,
                             1e-300,
                             -1e300,
                             1e300,
                             kInf,
                             -kInf,
                             std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::denorm_min()};
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
        return in.PickValueInArray(values);
    case 1:
        return in.ConsumeFloatingPointInRange(-600.0, 600.0);
    default:
        return in.ConsumeFloatingPoint<double>();
    }
}

// Everything an effect may take, read once so that both runs see the same.
struct Args {
    int i[3];
    double d[3];
    bool b;
    VxRect rect;
    std::string text;
    CVelvix other;
};

// A coordinate near the edges of a picture side, or far outside it.
int Coordinate(FuzzedDataProvider& in, int side)
{
    const int values[] = {-1, 0, 1, side / 2, side - 1, side, side + 1};
    return in.ConsumeBool() ? in.PickValueInArray(values) : HostileInt(in);
}

std::uint32_t g_random = 1;

VxPixel Random()
{
    g_random = g_random * 1664525u + 1013904223u;
    return g_random ^ (g_random >> 15);
}

// Pixels from the input, one colour, noise, or a few colours in blocks (hard
// edges, red pupils); top bytes kept, all set or random.
void Fill(CVelvix& image, FuzzedDataProvider& in)
{
    if (!image.IsValidObject())
        return;
    const int n = image.GetWidth() * image.GetHeight();
    const int mode = in.ConsumeIntegralInRange(0, 3), top = in.ConsumeIntegralInRange(0, 2);
    g_random = in.ConsumeIntegral<std::uint32_t>();
    const VxPixel palette[4] = {in.ConsumeIntegral<VxPixel>(), 0xFF0000u, 0xFFFFFFu,
                                in.ConsumeIntegral<VxPixel>()};
    const int block = in.ConsumeIntegralInRange(1, 9);
    for (int i = 0; i < n; ++i) {
        VxPixel p = palette[0];
        if (mode == 1)
            p = Random();
        else if (mode == 2)
            p = palette[((i % image.GetWidth()) / block + (i / image.GetWidth()) / block) % 4];
        else if (mode == 3)
            p = in.remaining_bytes() >= 4 ? in.ConsumeIntegral<VxPixel>() : Random();
        if (top == 0)
            p &= 0xFFFFFFu;
        else if (top == 1)
            p |= 0xFF000000u;
        image.Bytes(i) = p;
    }
}

CVelvix Picture(FuzzedDataProvider& in)
{
    CVelvix image;
    if (in.ConsumeIntegralInRange(0, 15) == 0)
        return image; // no pixels at all
    const int w = Side(in);
    const int h = int(std::max<long long>(1, std::min<long long>(Side(in), kMaxPixels / w)));
    static_cast<CVelvix_PixelInterface&>(image).RawCreateImage(h, w); // private in CVelvix
    Fill(image, in);
    return image;
}

bool Same(CVelvix& a, CVelvix& b)
{
    if (a.IsValidObject() != b.IsValidObject())
        return false;
    if (!a.IsValidObject())
        return true;
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return false;
    for (int i = 0; i < a.GetWidth() * a.GetHeight(); ++i)
        if (a.Bytes(i) != b.Bytes(i))
            return false;
    return true;
}

bool SameSize(CVelvix& a, CVelvix& b)
{
    return a.IsValidObject() == b.IsValidObject() &&
           (!a.IsValidObject() || (a.GetWidth() == b.GetWidth() && a.GetHeight() == b.GetHeight()));
}

std::vector<VxPixel> Values(CVelvix& image)
{
    std::vector<VxPixel> values;
    if (image.IsValidObject())
        for (int i = 0; i < image.GetWidth() * image.GetHeight(); ++i)
            values.push_back(image.Bytes(i));
    std::sort(values.begin(), values.end());
    return values;
}

// What an effect promises besides its own checks.
enum Rule : unsigned {
    kKeepsSize = 1,
    kClean = 2,        // every pixel has a top byte of 0
    kCleanChanged = 4, // every pixel that changed has a top byte of 0
    kPermutes = 8,     // the same pixel values, moved
    kFromInput = 16,   // only values the picture had
    kUnchanged = 32,
};

// Runs the effect on image (before is the picture it started as); returns
// whatever the effect answers, so that both runs can be compared.
using Run = std::vector<long long> (*)(CVelvix& image, CVelvix& before, Args& a);

struct Effect {
    const char* name;
    unsigned rules;
    Run run;
};

using R = std::vector<long long>;

// One line per effect where it fits: an effect without arguments, or one
// called with some of the arguments a.
// clang-format off
#define PLAIN(effect, rules) {#effect, rules, [](CVelvix& m, CVelvix&, Args&) { m.effect(); return R{}; }}
#define CALL(effect, rules, call) {#effect, rules, [](CVelvix& m, CVelvix&, Args& a) { call; return R{}; }}
const Effect kEffects[] = {
    PLAIN(RedFilter, kKeepsSize | kClean),
    PLAIN(GreenFilter, kKeepsSize | kClean),
    PLAIN(BlueFilter, kKeepsSize | kClean),
    PLAIN(Negative, kKeepsSize | kClean),
    PLAIN(ConvertToGrayScale, kKeepsSize | kClean),
    CALL(Brighten, kKeepsSize | kClean, m.Brighten((unsigned char)a.i[0])),
    CALL(ChangeContrast, kKeepsSize | kClean, m.ChangeContrast(a.i[0])),
    CALL(Normalize, kKeepsSize | kClean, m.Normalize(a.d[0])),
    CALL(GammaCorrection, kKeepsSize | kClean, m.GammaCorrection(a.d[0])),
    CALL(CenterGradientGammaCorrection, kKeepsSize | kCleanChanged,
         m.CenterGradientGammaCorrection(a.d[0], a.d[1])),
    PLAIN(HistogramEqualization, kKeepsSize | kClean),
    PLAIN(HistogramEqualizationColorBalanced, kKeepsSize | kClean),
    PLAIN(HistogramEqualizationHSL, kKeepsSize | kClean),
    CALL(ShiftBlur, kKeepsSize | kFromInput, m.ShiftBlur(a.i[0])),
    PLAIN(VerticalMirror, kKeepsSize | kPermutes),
    PLAIN(HorizantalMirror, kKeepsSize | kPermutes),
    PLAIN(DivideInto2Vertical, kKeepsSize | kFromInput),
    PLAIN(DivideInto2Horizantal, kKeepsSize | kFromInput),
    PLAIN(Divide, kKeepsSize | kFromInput),

    PLAIN(Blur, kKeepsSize | kCleanChanged),
    PLAIN(GaussianBlur, kKeepsSize | kCleanChanged),
    CALL(Sharpen, kKeepsSize | kCleanChanged, m.Sharpen(a.i[0])),
    PLAIN(EdgeDetection, kKeepsSize | kCleanChanged),
    PLAIN(EnhanceEdges, kKeepsSize | kCleanChanged),
    PLAIN(EnhanceFocus, kKeepsSize | kCleanChanged),
    PLAIN(EnhanceDetail, kKeepsSize | kCleanChanged),
    PLAIN(ReduceJaggies, kKeepsSize | kCleanChanged),
    PLAIN(Emboss, kKeepsSize | kCleanChanged),
    PLAIN(RemoveNoiseFilter, kKeepsSize | kCleanChanged),
    CALL(Pixelize, kKeepsSize | kCleanChanged, m.Pixelize(a.i[0])),
    CALL(PixelizeBySegments, kKeepsSize | kCleanChanged, m.PixelizeBySegments(a.i[0])),
    {"PixelizeBySegments_DataOnly", kUnchanged,
     [](CVelvix& m, CVelvix&, Args& a) {
         // Exactly the m x m entries the grid may write, so that ASan sees one more.
         const int n = a.i[0];
         const bool writes = m.IsValidObject() && n >= 1;
         const long long side = writes ? std::min<long long>(n, std::min(m.GetWidth(), m.GetHeight())) : 1;
         constexpr unsigned long kUnwritten = 0xABCDEF12345ul;
         std::vector<unsigned long> out(std::size_t(side * side), kUnwritten);
         m.PixelizeBySegments_DataOnly(n, out.data());
         R result;
         for (unsigned long v : out) {
             FUZZ_CHECK(writes ? v <= 0xFFFFFFu || v == kUnwritten : v == kUnwritten);
             result.push_back((long long)v);
         }
         return result;
     }},
    {"DetectEdges", kKeepsSize | kCleanChanged,
     [](CVelvix& m, CVelvix&, Args& a) {
         m.SetDetectEdges_SobelThreshold(a.b ? a.i[1] : 0);
         const int method = (a.i[0] % 3 + 3) % 3;
         method == 0 ? m.DetectEdges_Sobel() : method == 1 ? m.DetectEdges_Prewitt() : m.DetectEdges_Kirsh();
         return R{};
     }},
    {"AveragingNoiseReduction", kKeepsSize | kCleanChanged,
     [](CVelvix& m, CVelvix&, Args& a) {
         switch ((unsigned(a.i[2]) >> 8) % 4) {
         case 0: m.AveragingNoiseReductionWithThreshold(a.i[0], a.i[1], a.i[2]); break;
         case 1: m.AveragingNoiseReductionWithReverseThreshold(a.i[0], a.i[1], a.i[2]); break;
         case 2: m.AveragingNoiseReductionWithThresholdExcludeEdges(a.i[0], a.i[1], a.i[2]); break;
         default: m.AveragingNoiseReductionWithReverseThresholdExcludeEdges(a.i[0], a.i[1], a.i[2]);
         }
         return R{};
     }},

    {"Resample", 0,
     [](CVelvix& m, CVelvix& before, Args& a) {
         const int h = a.i[0], w = a.i[1];
         const bool bspline = a.d[2] > 0;
         bspline ? m.Resample_BSpline(h, w) : m.Resample_Bilinear(h, w, a.b);
         if (Same(m, before))
             return R{};  // refused (or the same picture)
         // A new size only for a request of at least 1 x 1, inside the box
         // and touching it with the aspect kept, exactly the box otherwise.
         FUZZ_CHECK(m.IsValidObject() && h >= 1 && w >= 1);
         if (!bspline && a.b)
             FUZZ_CHECK(m.GetWidth() <= w && m.GetHeight() <= h && (m.GetWidth() == w || m.GetHeight() == h));
         else
             FUZZ_CHECK(m.GetWidth() == w && m.GetHeight() == h);
         for (int i = 0; i < m.GetWidth() * m.GetHeight(); ++i)
             FUZZ_CHECK(m.Bytes(i) >> 24 == 0);
         return R{};
     }},
    {"SimpleRotate", kPermutes,
     [](CVelvix& m, CVelvix& before, Args& a) {
         m.SimpleRotate(a.b);
         if (before.IsValidObject())
             FUZZ_CHECK(m.GetWidth() == before.GetHeight() && m.GetHeight() == before.GetWidth());
         return R{};
     }},
    CALL(SimpleFlip, kKeepsSize | kPermutes, m.SimpleFlip(a.b)),
    {"RotateAngle", 0,
     [](CVelvix& m, CVelvix& before, Args& a) {
         const int angle = a.i[0], method = a.i[1];
         m.RotateAngle(angle, method);
         if (!before.IsValidObject())
             return R{};
         // The canvas grows by one margin on every side (or not at all).
         FUZZ_CHECK(m.IsValidObject());
         const int grow = m.GetWidth() - before.GetWidth();
         FUZZ_CHECK(grow >= 0 && grow % 2 == 0 && m.GetHeight() - before.GetHeight() == grow);
         if (angle % 360 == 0)
             FUZZ_CHECK(grow == 0);
         // A bilinear half turn moves the pixels unchanged, like the flips;
         // every other turn samples them (or leaves them, on the same canvas).
         const bool halfTurn = angle % 360 == 180 || angle % 360 == -180;
         const std::vector<VxPixel> had = Values(before);
         for (int i = 0; i < m.GetWidth() * m.GetHeight(); ++i) {
             const VxPixel p = m.Bytes(i);
             if (halfTurn && method == 0)
                 FUZZ_CHECK(p == 0 || std::binary_search(had.begin(), had.end(), p));
             else
                 FUZZ_CHECK(p >> 24 == 0 || (grow == 0 && p == before.Bytes(i)));
         }
         const int pad = grow / 2, hw = before.GetWidth() / 2, hh = before.GetHeight() / 2;
         if (method == 0 && !halfTurn && !Same(m, before))
             FUZZ_CHECK(m.Bytes(hw + pad, hh + pad) == (before.Bytes(hw, hh) & 0xFFFFFFu));
         return R{};
     }},

    CALL(OilPaint, kKeepsSize | kFromInput, m.OilPaint(a.i[0])),
    CALL(MeltEffect, kKeepsSize | kPermutes, m.MeltEffect(unsigned(a.i[0]))),
    PLAIN(FishEyeEffect, kKeepsSize | kCleanChanged),
    CALL(SwirlEffect, kKeepsSize | kCleanChanged, m.SwirlEffect(float(a.d[0]))),
    PLAIN(ImageSolarization, kKeepsSize | kCleanChanged),
    PLAIN(ReliefMap, kKeepsSize | kCleanChanged),
    PLAIN(Caricature, kKeepsSize | kCleanChanged),
    PLAIN(CylinderMirror, kKeepsSize | kCleanChanged),
    PLAIN(BathroomWindowEffect1, kKeepsSize | kFromInput),
    PLAIN(BathroomWindowEffect2, kKeepsSize | kCleanChanged),
    CALL(UnderWater, kKeepsSize | kCleanChanged, m.UnderWater(a.i[0])),
    PLAIN(RedEyeReduce, kKeepsSize | kCleanChanged),

    {"GetHistogram", kUnchanged,
     [](CVelvix& m, CVelvix&, Args&) {
         int tables[3][256], max = -7;
         std::fill(&tables[0][0], &tables[0][0] + 3 * 256, -7);
         m.GetHistogram(tables[0], tables[1], tables[2], max);
         R result(&tables[0][0], &tables[0][0] + 3 * 256);
         result.push_back(max);
         if (!m.IsValidObject()) {
             FUZZ_CHECK(std::all_of(result.begin(), result.end(), [](long long v) { return v == -7; }));
             return result;
         }
         for (const auto& table : tables) {
             long long sum = 0;
             for (int v : table)
                 sum += v;
             FUZZ_CHECK(sum == (long long)m.GetWidth() * m.GetHeight());
             FUZZ_CHECK(*std::max_element(table, table + 256) <= max);
         }
         FUZZ_CHECK(*std::max_element(result.begin(), result.end() - 1) == max);
         return result;
     }},
    {"GetImageDiffPercentage", kUnchanged,
     [](CVelvix& m, CVelvix&, Args& a) {
         std::vector<unsigned long> first = {1}, second = {1};
         if (m.IsValidObject())
             for (int i = 0; i < m.GetWidth() * m.GetHeight(); ++i) {
                 first.push_back(m.Bytes(i));
                 second.push_back(m.Bytes(i) ^ (unsigned long)a.i[1]);
             }
         const int count = std::min<int>(a.i[0], int(first.size()));
         const int diff = m.GetImageDiffPercentage(first.data(), second.data(), count);
         FUZZ_CHECK(diff >= 0 && diff <= 100 && (count >= 1 || diff == 0));
         FUZZ_CHECK(m.GetImageDiffPercentage(second.data(), first.data(), count) == diff);
         FUZZ_CHECK(m.GetImageDiffPercentage(first.data(), first.data(), count) == 0);
         return R{diff};
     }},

    {"Crop", 0,
     [](CVelvix& m, CVelvix& before, Args& a) {
         const VxRect r = a.rect;
         const bool ok = m.Crop(r);
         if (r.IsEmpty()) {
             // No rectangle: the picture stays whole, as a copy of itself.
             FUZZ_CHECK(ok == before.IsValidObject() && Same(m, before));
             return R{ok};
         }
         if (!ok) {
             FUZZ_CHECK(Same(m, before));
             return R{0};
         }
         FUZZ_CHECK(m.GetWidth() == r.Width() && m.GetHeight() == r.Height());
         for (int row = 0; row < r.Height(); ++row)
             for (int x = 0; x < r.Width(); ++x)
                 FUZZ_CHECK(m.Bytes(x, m.GetHeight() - 1 - row) ==
                            before.Bytes(r.left + x, before.GetHeight() - 1 - (r.top + row)));
         return R{1};
     }},
    {"CopyFromRect", 0,
     [](CVelvix& m, CVelvix& before, Args& a) {
         // Source: another picture, or this one; a rectangle given or not on either side.
         CVelvix& source = a.i[0] % 2 ? a.other : m;
         CVelvix sourceBefore = source;
         VxRect target = a.rect;
         const int left = a.i[1] % 7, top = a.i[2] % 7;
         const VxRect from = {left, top, left + (a.i[0] >> 3) % 9, top + (a.i[0] >> 7) % 9};
         const bool useSource = a.i[0] & 2, useTarget = a.i[0] & 4;
         const bool ok =
             m.CopyFromRect(source, useSource ? &from : nullptr, useTarget ? &target : nullptr, a.b);
         FUZZ_CHECK(target == a.rect);
         if (!ok) {
             FUZZ_CHECK(Same(m, before));
             return R{0};
         }
         const std::vector<VxPixel> have = Values(m), old = Values(before), copied = Values(sourceBefore);
         for (VxPixel p : have)
             FUZZ_CHECK(std::binary_search(old.begin(), old.end(), p) ||
                        std::binary_search(copied.begin(), copied.end(), p));
         return R{1};
     }},
    {"Resize", 0,
     [](CVelvix& m, CVelvix& before, Args& a) {
         const int width = a.i[0], height = a.i[1];
         const bool ok = m.Resize(nullptr, width, height, a.b);
         if (!ok) {
             FUZZ_CHECK(Same(m, before));
             return R{0};
         }
         int w = width, h = height;
         if (!(before.GetWidth() == width && before.GetHeight() == height))
             CVelvix::FitIntoBox(before.GetWidth(), before.GetHeight(), width, height, a.b, w, h);
         FUZZ_CHECK(m.GetWidth() == w && m.GetHeight() == h);
         const std::vector<VxPixel> old = Values(before);
         for (VxPixel p : Values(m))
             FUZZ_CHECK(std::binary_search(old.begin(), old.end(), p));
         return R{1};
     }},
    {"EncodeText", kKeepsSize | kCleanChanged,
     [](CVelvix& m, CVelvix& before, Args& a) {
         const bool ok = m.EncodeText(a.text);
         std::string decoded = "unchanged";
         const bool found = m.DecodeText(decoded);
         if (ok)
             FUZZ_CHECK(found && decoded == a.text);
         else
             FUZZ_CHECK(Same(m, before));
         return R{ok, found};
     }},
    {"SetHSL", kKeepsSize | kCleanChanged,
     [](CVelvix& m, CVelvix&, Args& a) {
         if (m.IsValidObject())
             m.SetHSL(0, float(a.d[0]), float(a.d[1]), float(a.d[2]));
         return R{};
     }},
};
// clang-format on

void CheckRules(const Effect& effect, CVelvix& after, CVelvix& before)
{
    if (effect.rules & kUnchanged)
        FUZZ_CHECK(Same(after, before));
    if (effect.rules & kKeepsSize)
        FUZZ_CHECK(SameSize(after, before));
    if (!after.IsValidObject())
        return;
    const int n = after.GetWidth() * after.GetHeight();
    for (int i = 0; i < n; ++i) {
        const VxPixel p = after.Bytes(i);
        if (effect.rules & kClean)
            FUZZ_CHECK(p >> 24 == 0);
        if (effect.rules & kCleanChanged)
            FUZZ_CHECK(p >> 24 == 0 || p == before.Bytes(i));
    }
    if (effect.rules & (kPermutes | kFromInput)) {
        const std::vector<VxPixel> have = Values(after), had = Values(before);
        if (effect.rules & kPermutes)
            FUZZ_CHECK(have == had);
        for (VxPixel p : have)
            FUZZ_CHECK(std::binary_search(had.begin(), had.end(), p));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const Effect& effect = kEffects[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kEffects) - 1)];
    g_effect = effect.name;
    const unsigned slots = in.ConsumeIntegralInRange(2u, 5u);
    Args args;
    for (int& v : args.i)
        v = HostileInt(in);
    for (double& v : args.d)
        v = HostileDouble(in);
    args.b = in.ConsumeBool();
    args.text = in.ConsumeRandomLengthString(80);
    args.other = Picture(in);
    CVelvix before = Picture(in);
    const int w = before.IsValidObject() ? before.GetWidth() : 1,
              h = before.IsValidObject() ? before.GetHeight() : 1;
    args.rect = {Coordinate(in, w), Coordinate(in, h), Coordinate(in, w), Coordinate(in, h)};

    // Portable kernels on this thread only.
    CVelvix plain = before;
    Args plainArgs = args;
    R plainResult;
    {
        const VxThreadLimit alone(1);
        VxForceKernels(&VxPortableKernels());
        plainResult = effect.run(plain, before, plainArgs);
        VxForceKernels(nullptr);
    }
    CheckRules(effect, plain, before);

    // The automatic kernels on all cores, as the viewer runs an effect: on a
    // copy made in the undo ring.
    CVelvixBuffer ring(slots);
    *ring = before;
    ring.MakeCopy();
    const R result = effect.run(*ring, before, args);
    FUZZ_CHECK(result == plainResult);
    FUZZ_CHECK(Same(*ring, plain));
    FUZZ_CHECK(Same(args.other, plainArgs.other));
    if (before.IsValidObject()) {
        FUZZ_CHECK(ring.Undo() && Same(*ring, before));
        FUZZ_CHECK(ring.Redo() == plain.IsValidObject());
        if (plain.IsValidObject())
            FUZZ_CHECK(Same(*ring, plain));
    } else {
        FUZZ_CHECK(!ring.HasUndo() && !ring.Undo());
    }
    return 0;
}
