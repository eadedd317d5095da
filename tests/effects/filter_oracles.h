#pragma once

// Plain versions of the effects, written straight from their definitions:
// per-pixel access, the defined visiting orders, sums recomputed wherever the
// definition recomputes them. The fast library code must equal them bit for bit.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "image/velvix.h"

namespace oracle {

inline int R(VxPixel p) { return int((p >> 16) & 0xFF); }
inline int G(VxPixel p) { return int((p >> 8) & 0xFF); }
inline int B(VxPixel p) { return int(p & 0xFF); }
inline VxPixel Pack(int r, int g, int b) { return VxPixel(r) << 16 | VxPixel(g) << 8 | VxPixel(b); }
inline int Limit(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }
inline int N(CVelvix& im) { return im.GetWidth() * im.GetHeight(); }

// ---- point and colour effects

inline void ConvertToGrayScale(CVelvix& im)
{
    for (int i = 0; i < N(im); ++i) {
        const VxPixel p = im.Bytes(i);
        const int g = int(G(p) * 0.587 + R(p) * 0.299 + B(p) * 0.114);
        im.Bytes(i) = Pack(g, g, g);
    }
}

inline void Brighten(CVelvix& im, unsigned char amount)
{
    for (int i = 0; i < N(im); ++i) {
        const VxPixel p = im.Bytes(i);
        int s = amount;  // a fresh step for every pixel
        if (R(p) + s > 255)
            s = 255 - R(p);
        if (G(p) + s > 255)
            s = 255 - G(p);
        if (B(p) + s > 255)
            s = 255 - B(p);
        im.Bytes(i) = Pack(R(p) + s, G(p) + s, B(p) + s);
    }
}

inline void ChangeContrast(CVelvix& im, int k)
{
    double sr = 0, sg = 0, sb = 0;
    for (int i = 0; i < N(im); ++i) {
        sr += R(im.Bytes(i));
        sg += G(im.Bytes(i));
        sb += B(im.Bytes(i));
    }
    const double mr = sr / N(im), mg = sg / N(im), mb = sb / N(im);
    auto change = [k](int v, double m) {
        const int d = v - int(m);
        return Limit(v + int(d * (1.0 / 255) * k));
    };
    for (int i = 0; i < N(im); ++i) {
        const VxPixel p = im.Bytes(i);
        im.Bytes(i) = Pack(change(R(p), mr), change(G(p), mg), change(B(p), mb));
    }
}

inline void Normalize(CVelvix& im, double d)
{
    auto f = [d](int v) { return std::min(int(v * (1.0 / 255) * (255 - d * 0.5) + d * 0.5), 255); };
    for (int i = 0; i < N(im); ++i) {
        const VxPixel p = im.Bytes(i);
        im.Bytes(i) = Pack(f(R(p)), f(G(p)), f(B(p)));
    }
}

inline void GammaCorrection(CVelvix& im, double gain)
{
    auto f = [gain](int v) { return Limit(int(v * gain)); };
    for (int x = 0; x < im.GetWidth(); ++x)
        for (int y = 0; y < im.GetHeight(); ++y) {
            const VxPixel p = im.Bytes(x, y);
            im.Bytes(x, y) = Pack(f(R(p)), f(G(p)), f(B(p)));
        }
}

inline float Radius(int x, int y) { return std::sqrt(float(x * x + y * y)); }

inline void CenterGradientGammaCorrection(CVelvix& im, double gain, double maximum)
{
    const int w = im.GetWidth(), h = im.GetHeight();
    const double a = gain - 1;
    const int hw = int(w * 0.5), hh = int(h * 0.5);
    const float rref = w >= h ? Radius(0, h - hh) : Radius(w - hw, 0);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) {
            const float r = Radius(x - hw, y - hh);
            if (r > rref)
                continue;
            double q = r == 0 ? 3.0 : double(rref) / double(r);
            if (q > 3.0)
                q = 3.0;
            double f = (q - 1) * a + 1;
            const double ceiling = maximum < 1 ? 1 : maximum; // a ceiling below 1 would darken
            if (f > ceiling)
                f = ceiling;
            const VxPixel p = im.Bytes(x, y);
            im.Bytes(x, y) = Pack(Limit(int(R(p) * f)), Limit(int(G(p) * f)), Limit(int(B(p) * f)));
        }
}

inline void Histograms(CVelvix& im, int count[3][256])
{
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v)
            count[c][v] = 0;
    for (int i = 0; i < N(im); ++i) {
        ++count[0][R(im.Bytes(i))];
        ++count[1][G(im.Bytes(i))];
        ++count[2][B(im.Bytes(i))];
    }
}

inline void HistogramEqualization(CVelvix& im)
{
    int count[3][256];
    Histograms(im, count);
    for (int i = 0; i < N(im); ++i) {
        const VxPixel p = im.Bytes(i);
        int out[3];
        const int in[3] = {R(p), G(p), B(p)};
        for (int c = 0; c < 3; ++c) {
            const double share = 1.0 / N(im);
            double s = 0;
            for (int k = 0; k <= in[c]; ++k)
                s += count[c][k] * share;
            double product = 255 * s;
            if (product > 255)
                product = 255;
            out[c] = int(product);
        }
        im.Bytes(i) = Pack(out[0], out[1], out[2]);
    }
}

inline void HistogramEqualizationColorBalanced(CVelvix& im)
{
    int count[3][256];
    Histograms(im, count);
    for (int i = 0; i < N(im); ++i) {
        const VxPixel p = im.Bytes(i);
        int v[3] = {R(p), G(p), B(p)}, e[3];
        for (int c = 0; c < 3; ++c) {
            double s = 0;
            for (int k = 0; k <= v[c]; ++k)
                s += double(count[c][k]) / N(im);
            e[c] = int(std::min(255 * s, 255.0));
        }
        const int dist = std::min({std::abs(e[0] - v[0]), std::abs(e[1] - v[1]), std::abs(e[2] - v[2])});
        for (int c = 0; c < 3; ++c)
            v[c] = e[c] > v[c] ? v[c] + dist : v[c] - dist;
        im.Bytes(i) = Pack(v[0], v[1], v[2]);
    }
}

// Lightness equalized in 241 bins on its 0..1 scale; hue and saturation kept.
inline void HistogramEqualizationHSL(CVelvix& im)
{
    std::vector<int> hl(241, 0);
    auto bin = [](float v) { return std::clamp(int(v * 240), 0, 240); };
    for (int i = 0; i < N(im); ++i) {
        float h, s, l;
        im.GetHSL(i, h, s, l);
        ++hl[bin(l)];
    }
    for (int i = 0; i < N(im); ++i) {
        float h, s, l;
        im.GetHSL(i, h, s, l);
        double sum = 0;
        for (int k = 0; k <= bin(l); ++k)
            sum += double(hl[k]) / N(im);
        im.SetHSL(i, h, s, float(std::min(sum, 1.0)));
    }
}

inline void ShiftBlur(CVelvix& im, int n)
{
    for (int i = 0; i < N(im); ++i) {
        const int j = i + i % n;
        if (j < N(im))
            im.Bytes(i) = im.Bytes(j);
    }
}

inline void VerticalMirror(CVelvix& im)
{
    const int w = im.GetWidth();
    for (int y = 0; y < im.GetHeight(); ++y)
        for (int x = 0; x < w / 2; ++x)
            std::swap(im.Bytes(x, y), im.Bytes(w - 1 - x, y));
}

inline void HorizantalMirror(CVelvix& im)
{
    const int h = im.GetHeight();
    for (int x = 0; x < im.GetWidth(); ++x)
        for (int y = 0; y < h / 2; ++y)
            std::swap(im.Bytes(x, y), im.Bytes(x, h - 1 - y));
}

inline void DivideInto2Horizantal(CVelvix& im)
{
    const int h = im.GetHeight();
    for (int x = 0; x < im.GetWidth(); ++x) {
        for (int y = 0; y < h / 2; ++y)
            im.Bytes(x, y) = im.Bytes(x, 2 * y);
        for (int y = h / 2; y < h; ++y)
            im.Bytes(x, y) = im.Bytes(x, y - h / 2);
    }
}

inline void DivideInto2Vertical(CVelvix& im)
{
    const int w = im.GetWidth();
    for (int y = 0; y < im.GetHeight(); ++y) {
        for (int x = 0; x < w / 2; ++x)
            im.Bytes(x, y) = im.Bytes(2 * x, y);
        for (int x = w / 2; x < w; ++x)
            im.Bytes(x, y) = im.Bytes(x - w / 2, y);
    }
}

// ---- kernel filters

struct Kernel {
    std::vector<int> weights;  // row by row, row 0 applying to the row below
    int size;
    bool emboss;
};

inline Kernel KernelOf(const std::string& name)
{
    if (name == "Blur") return {{1, 1, 1, 1, 1, 1, 1, 1, 1}, 3, false};
    if (name == "GaussianBlur") return {{1, 2, 1, 2, 4, 2, 1, 2, 1}, 3, false};
    if (name == "Sharpen0") return {{-1, -2, -1, -2, 19, -2, -1, -2, -1}, 3, false};
    if (name == "Sharpen1") return {{0, -2, 0, -2, 11, -2, 0, -2, 0}, 3, false};
    if (name == "EdgeDetection") return {{1, 1, 1, 1, -8, 1, 1, 1, 1}, 3, false};
    if (name == "EnhanceEdges") return {{-1, -1, -1, -1, 9, -1, -1, -1, -1}, 3, false};
    if (name == "EnhanceFocus") return {{-1, 0, -1, 0, 7, 0, -1, 0, -1}, 3, false};
    if (name == "EnhanceDetail") return {{0, -1, 0, -1, -10, -1, 0, -1, 0}, 3, false};
    if (name == "Emboss") return {{-1, 0, 0, 0, 0, 0, 0, 0, 1}, 3, true};
    return {{0, 0, -1, 0, 0, 0, 0, 3, 0, 0, -1, 3, 7, 3, -1, 0, 0, 3, 0, 0, 0, 0, -1, 0, 0}, 5, false};
}

// One convolution step: column offset outer, row offset inner.
inline void MatrixConvolve(const std::vector<VxPixel>& src, int w, int x, int y, const Kernel& k, int& r, int& g,
                           int& b, int& total)
{
    const int half = k.size / 2;
    for (int dx = -half; dx <= half; ++dx)
        for (int dy = -half; dy <= half; ++dy) {
            const int weight = k.weights[(dy + half) * k.size + (dx + half)];
            const VxPixel p = src[(y + dy) * w + (x + dx)];
            r += weight * R(p);
            g += weight * G(p);
            b += weight * B(p);
            total += weight;
        }
}

inline void KernelFilter(CVelvix& im, const std::string& name)
{
    const Kernel k = KernelOf(name);
    const int w = im.GetWidth(), h = im.GetHeight(), half = k.size / 2;
    std::vector<VxPixel> copy(&im.Bytes(0), &im.Bytes(0) + N(im));
    for (int y = half; y <= h - 1 - half; ++y)
        for (int x = half; x <= w - 1 - half; ++x) {
            int r = 0, g = 0, b = 0, total = 0;
            MatrixConvolve(copy, w, x, y, k, r, g, b, total);
            if (k.emboss) {
                r += 128, g += 128, b += 128;
            } else if (total != 0) {
                r = int(double(r) / total), g = int(double(g) / total), b = int(double(b) / total);
            }
            im.Bytes(x, y) = Pack(Limit(r), Limit(g), Limit(b));
        }
}

inline void RemoveNoiseFilter(CVelvix& im)
{
    const int w = im.GetWidth(), h = im.GetHeight();
    std::vector<VxPixel> copy(&im.Bytes(0), &im.Bytes(0) + N(im));
    for (int y = 1; y <= h - 2; ++y)
        for (int x = 1; x <= w - 2; ++x) {
            unsigned lo = 0xFFFFFF, hi = 0, v[9];
            int n = 0;
            for (int dx = -1; dx <= 1; ++dx)
                for (int dy = -1; dy <= 1; ++dy) {
                    v[n] = copy[(y + dy) * w + x + dx] & 0xFFFFFF;
                    lo = std::min(lo, v[n]);
                    hi = std::max(hi, v[n]);
                    ++n;
                }
            const unsigned bound = unsigned((double(lo) + double(hi)) * 0.5);
            unsigned best = 0;
            for (unsigned value : v)
                if (value <= bound && value > best)
                    best = value;
            im.Bytes(x, y) = best;
        }
}

// The rectangle [x0, x1) x [y0, y1) of a buffer, visited column by column.
inline VxPixel Average(const std::vector<VxPixel>& src, int w, int h, int x0, int y0, int x1, int y1)
{
    double r = 0, g = 0, b = 0;
    int count = 0;
    for (int x = x0; x < x1; ++x)
        for (int y = y0; y < y1; ++y) {
            if (x < 0 || x >= w || y < 0 || y >= h)
                continue;
            const VxPixel p = src[y * w + x];
            r += R(p), g += G(p), b += B(p);
            ++count;
        }
    if (count == 0)
        return 0;
    return Pack(int(r / count), int(g / count), int(b / count));
}

inline std::vector<VxPixel> Pixels(CVelvix& im)
{
    return std::vector<VxPixel>(&im.Bytes(0), &im.Bytes(0) + N(im));
}

inline void Pixelize(CVelvix& im, int n)
{
    if (n < 1)
        return;
    const int w = im.GetWidth(), h = im.GetHeight();
    const std::vector<VxPixel> saved = Pixels(im);
    for (int y = n; y < h; y += 2 * n)
        for (int x = n; x < w; x += 2 * n) {
            const VxPixel value = Average(saved, w, h, x - n, y - n, x + n + 1, y + n + 1);
            for (int yy = y - n; yy <= y + n; ++yy)
                for (int xx = x - n; xx <= x + n; ++xx)
                    if (xx >= 0 && xx < w && yy >= 0 && yy < h)
                        im.Bytes(xx, yy) = value;
        }
}

// Both segment forms: paints when out is null.
inline void Segments(CVelvix& im, int n, unsigned long* out)
{
    if (n < 1)
        return;
    const int w = im.GetWidth(), h = im.GetHeight();
    int m = n;
    if (m > w)
        m = w;
    if (m > h)
        m = h;
    const int bw = int(std::ceil(double(w) / m)), bh = int(std::ceil(double(h) / m));
    for (int j = 0; j < m; ++j) {
        const int y = j * bh;
        if (y >= h)
            break;
        for (int i = 0; i < m; ++i) {
            const int x = i * bw;
            if (x >= w)
                break;
            const VxPixel value = Average(Pixels(im), w, h, x, y, x + bw, y + bh);
            if (out) {
                out[j * m + i] = value;
                continue;
            }
            for (int yy = y; yy < y + bh; ++yy)
                for (int xx = x; xx < x + bw; ++xx)
                    if (xx < w && yy < h)
                        im.Bytes(xx, yy) = value;
        }
    }
}

// ---- edge detectors

inline const int kSobelX[3][9] = {{-1, 0, 1, -2, 0, 2, -1, 0, 1}, {1, 0, -1, 1, 0, -1, 1, 0, -1},
                                  {5, -3, -3, 5, -3, -3, 5, -3, -3}};
inline const int kSobelY[3][9] = {{-1, -2, -1, 0, 0, 0, 1, 2, 1}, {1, 1, 1, 0, 0, 0, -1, -1, -1},
                                  {5, 5, 5, -3, -3, -3, -3, -3, -3}};

inline void DetectEdges(CVelvix& im, int method, int threshold)
{
    const int w = im.GetWidth(), h = im.GetHeight();
    const std::vector<VxPixel> src = Pixels(im);
    auto convolve = [&](int x, int y, const int* kernel, int& r, int& g, int& b, int& total) {
        r = g = b = 0;
        for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -1; dy <= 1; ++dy) {
                const int weight = kernel[(dy + 1) * 3 + dx + 1];
                const VxPixel p = src[(y + dy) * w + x + dx];
                r += weight * R(p), g += weight * G(p), b += weight * B(p);
                total += weight;
            }
    };
    for (int y = 1; y <= h - 2; ++y)
        for (int x = 1; x <= w - 2; ++x) {
            int total = 0, rx, gx, bx, ry, gy, by;
            convolve(x, y, kSobelX[method], rx, gx, bx, total);
            convolve(x, y, kSobelY[method], ry, gy, by, total);
            if (std::abs(total) != 0) {
                const double t = std::abs(total);
                rx = int(rx / t), gx = int(gx / t), bx = int(bx / t);
            }
            const double mr = std::sqrt(double(ry * ry + rx * rx));
            const double mg = std::sqrt(double(gy * gy + gx * gx));
            const double mb = std::sqrt(double(by * by + bx * bx));
            if (threshold == 0) {
                double f = (mr + mg + mb) * (1.0 / 3);
                if (f > 255.0)
                    f = 255.0;
                const int v = int(f);
                im.Bytes(x, y) = Pack(v, v, v);
            } else {
                const bool edge = threshold < mr || threshold < mg || threshold < mb;
                im.Bytes(x, y) = edge ? 0 : 0xFFFFFF;
            }
        }
}

// ---- threshold noise reduction

inline void NoiseReduction(CVelvix& im, int area, int threshold, int replaceArea, bool reverse, bool excludeEdges)
{
    if (area < 1)
        return;
    const int w = im.GetWidth(), h = im.GetHeight();
    const std::vector<VxPixel> saved = Pixels(im);
    std::vector<VxPixel> edges;
    if (excludeEdges) {
        CVelvix map = im;
        DetectEdges(map, 0, 0);
        edges = Pixels(map);
    }
    const int replaceHalf = replaceArea <= 2 ? 1 : (replaceArea + 1) / 2;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (excludeEdges) {
                bool strong = false;
                for (int yy = y - area; yy <= y + area; ++yy)
                    for (int xx = x - area; xx <= x + area; ++xx)
                        if (xx >= 0 && xx < w && yy >= 0 && yy < h && edges[yy * w + xx] > 15461355u)
                            strong = true;
                if (strong)
                    continue;
            }
            const VxPixel avg = Average(saved, w, h, x - area, y - area, x + area + 1, y + area + 1);
            const VxPixel cur = im.Bytes(x, y);
            const int dr = std::abs(R(cur) - R(avg)), dg = std::abs(G(cur) - G(avg)), db = std::abs(B(cur) - B(avg));
            const bool replace = reverse ? (dr > threshold || dg > threshold || db > threshold)
                                         : (dr < threshold && dg < threshold && db < threshold);
            if (replace)
                im.Bytes(x, y) = Average(saved, w, h, x - replaceHalf, y - replaceHalf, x + replaceHalf + 1,
                                         y + replaceHalf + 1);
        }
}

// ---- image difference

inline int ImageDiffPercentage(const unsigned long* a, const unsigned long* b, int count)
{
    double d = 0;
    for (int i = 0; i < count; ++i) {
        const double deviation = (std::abs(R(VxPixel(a[i])) - R(VxPixel(b[i]))) +
                                  std::abs(G(VxPixel(a[i])) - G(VxPixel(b[i]))) +
                                  std::abs(B(VxPixel(a[i])) - B(VxPixel(b[i])))) *
                                 (1.0 / 765) * 100;
        if (deviation >= 5.0)
            d = d + 1;
    }
    return int(d * 100 / count);
}

} // namespace oracle
