#pragma once

// The benchmarks' test photograph: a real 1800 x 1200 photograph from the
// external test suites, enlarged smoothly to 6000 x 4000 (24 megapixels) and
// saved once as a JPEG in the build tree's bench folder.
#include <QImage>
#include <QString>

#include <filesystem>
#include <string>

#include "image/velvix.h"

namespace vxbench {

inline std::string PhotoPath()
{
    const std::string path = AMBREL_BENCH_PHOTO;
    if (std::filesystem::exists(path))
        return path;
    QImage source(QString::fromStdString(std::string(AMBREL_TESTDATA_DIR) +
                                         "/jpeg/exif-orientation-examples/Landscape_1.jpg"));
    if (source.isNull())
        return {};
    source.scaled(6000, 4000, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(
        QString::fromStdString(path), "JPG", 92);
    return path;
}

// The photograph as an image object (decoded by Qt, so that the effect
// benchmarks do not depend on the library's own decoder).
inline CVelvix Photo()
{
    CVelvix image;
    image.CreateImage(nullptr, QImage(QString::fromStdString(PhotoPath())));
    return image;
}

} // namespace vxbench
