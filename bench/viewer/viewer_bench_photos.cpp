// The photographs of the viewer benchmark and their decode time by the
// library, as the program decodes them (ReadImage), in milliseconds.
//   viewer_bench_photos <folder> <count>: writes <count> different 24-megapixel
//     JPEGs photo1.jpg ... (the benchmark photograph mirrored and with its
//     channels swapped, so that no two are alike) and prints the median of
//     five decodes of photo1.jpg in this process;
//   viewer_bench_photos --decode <file>: prints the time of one decode in a
//     fresh process, the situation of a program started with that file.
#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/bench_photo.h"

namespace {

double DecodeMilliseconds(const std::string& path)
{
    CVelvix image;
    const auto start = std::chrono::steady_clock::now();
    if (image.ReadImage(path.c_str()) != 1) {
        std::fprintf(stderr, "cannot decode %s\n", path.c_str());
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--decode") == 0) {
        std::printf("%.1f\n", DecodeMilliseconds(argv[2]));
        return 0;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <folder> <count> | --decode <file>\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const std::string folder = argv[1];
    const int count = std::max(2, std::atoi(argv[2]));
    const QImage photo(QString::fromStdString(vxbench::PhotoPath()));
    if (photo.isNull() || photo.width() != 6000 || photo.height() != 4000) {
        std::fprintf(stderr, "no benchmark photograph\n");
        return 1;
    }
    for (int i = 0; i < count; ++i) {
        QImage variant = photo.mirrored((i & 1) != 0, (i & 2) != 0);
        if (i & 4)
            variant = variant.rgbSwapped();
        const std::string path = folder + "/photo" + std::to_string(i + 1) + ".jpg";
        if (!variant.save(QString::fromStdString(path), "JPG", 92)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    std::vector<double> times;
    for (int run = 0; run < 5; ++run)
        times.push_back(DecodeMilliseconds(folder + "/photo1.jpg"));
    std::sort(times.begin(), times.end());
    std::printf("%.1f\n", times[times.size() / 2]);
    return 0;
}
