// How well the duplicate finder finds near-duplicates of real photographs:
// each photograph given on the command line gets eleven variants (smaller,
// another JPEG quality, PNG, BMP, GIF, brighter, cropped, turned, mirrored,
// grey, captioned, a byte copy); the folder is scanned and compared at 100,
// 95 and 90 with the options off and on, and, when it is installed, by
// findimagedupes at the same thresholds. Prints, per variant kind, the share
// of variants grouped with their photograph (recall), and the precision of
// all grouped pairs. Usage: duplicates_quality PHOTO... (at least two), for
// example the photographs of Debian's mate-backgrounds.
#include <QColor>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTransform>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "duplicates/duplicate_groups.h"
#include "duplicates/signature_database.h"
#include "duplicates/signature_scanner.h"
#include "image/velvix.h"

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kKinds = {"smaller", "quality", "png", "bmp", "gif", "brighter",
                                         "cropped", "turned", "mirrored", "grey", "caption", "copy"};

QImage Brighter(QImage image)
{
    image = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] = qRgb(std::min(255, qRed(row[x]) + 30), std::min(255, qGreen(row[x]) + 30),
                          std::min(255, qBlue(row[x]) + 30));
    }
    return image;
}

QImage Captioned(QImage image)
{
    image = image.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&image);
    const int band = image.height() / 10;
    painter.fillRect(0, image.height() - band, image.width(), band, Qt::black);
    QFont font;
    font.setPixelSize(band * 2 / 3);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, image.height() - band, image.width(), band), Qt::AlignCenter,
                     QStringLiteral("Holiday 2026 - a caption"));
    return image;
}

// Writes the photograph (longest side 1024, JPEG 90) and its variants as
// p<i>-<kind>.<ext>; the file name gives the source and the kind back.
void MakeVariants(const QImage& source, int index, const fs::path& folder)
{
    const QImage photo = source.scaled(1024, 1024, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const QString base = QString::fromStdString((folder / ("p" + std::to_string(index))).string());
    photo.save(base + "-orig.jpg", "JPG", 90);
    photo.scaled(photo.width() / 2, photo.height() / 2, Qt::KeepAspectRatio, Qt::SmoothTransformation)
        .save(base + "-smaller.jpg", "JPG", 90);
    photo.save(base + "-quality.jpg", "JPG", 50);
    photo.save(base + "-png.png", "PNG");
    photo.save(base + "-bmp.bmp", "BMP");
    // Qt writes no GIF; the library does (reduced to 256 colours).
    CVelvix gif;
    if (gif.ReadImage(QFile::encodeName(base + "-png.png").constData()) == 1)
        gif.SaveImage(QFile::encodeName(base + "-gif.gif").constData());
    Brighter(photo).save(base + "-brighter.jpg", "JPG", 90);
    const int dx = photo.width() * 3 / 100, dy = photo.height() * 3 / 100;
    photo.copy(dx, dy, photo.width() - 2 * dx, photo.height() - 2 * dy).save(base + "-cropped.jpg", "JPG", 90);
    photo.transformed(QTransform().rotate(90)).save(base + "-turned.jpg", "JPG", 90);
    photo.mirrored(true, false).save(base + "-mirrored.jpg", "JPG", 90);
    photo.convertToFormat(QImage::Format_Grayscale8).save(base + "-grey.jpg", "JPG", 90);
    Captioned(photo).save(base + "-caption.jpg", "JPG", 90);
    QFile::copy(base + "-orig.jpg", base + "-copy.jpg");
}

// "p3-turned.jpg" -> {3, "turned"}.
std::pair<int, std::string> Identify(const std::string& path)
{
    const std::string name = fs::path(path).stem().string();
    const auto dash = name.find('-');
    return {std::stoi(name.substr(1, dash - 1)), name.substr(dash + 1)};
}

struct SScore {
    std::map<std::string, int> found; // variants grouped with their photograph, by kind
    long truePairs = 0, falsePairs = 0;
};

// Groups as lists of paths; all pairs within a group count.
SScore Score(const std::vector<std::vector<std::string>>& groups)
{
    SScore score;
    for (const auto& group : groups) {
        std::set<int> originals;
        for (const auto& path : group)
            if (Identify(path).second == "orig")
                originals.insert(Identify(path).first);
        for (const auto& path : group) {
            const auto [source, kind] = Identify(path);
            if (kind != "orig" && originals.count(source))
                ++score.found[kind];
        }
        for (std::size_t a = 0; a < group.size(); ++a)
            for (std::size_t b = a + 1; b < group.size(); ++b)
                (Identify(group[a]).first == Identify(group[b]).first ? score.truePairs : score.falsePairs)++;
    }
    return score;
}

std::vector<std::vector<std::string>> OurGroups(const std::string& database, int threshold, bool options)
{
    dif::CSignatureDatabase db;
    db.Open(database, false);
    dif::SGroupingOptions grouping;
    grouping.compare.rotations = grouping.compare.greyscale = options;
    std::atomic<int> stop{0};
    std::vector<std::vector<std::string>> groups;
    for (const auto& group : dif::BuildDuplicateGroups(db, threshold, grouping, stop, nullptr)) {
        groups.push_back({group.head.path});
        for (const auto& member : group.members)
            groups.back().push_back(member.path);
    }
    return groups;
}

// findimagedupes prints one group a line, the paths separated by spaces
// (the test folder's names hold none).
std::vector<std::vector<std::string>> TheirGroups(const fs::path& folder, int threshold)
{
    std::vector<std::vector<std::string>> groups;
    const std::string command = "findimagedupes -q -t " + std::to_string(threshold) + "% '" + folder.string() + "' 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return groups;
    char line[1 << 16];
    while (std::fgets(line, sizeof line, pipe)) {
        std::vector<std::string> group;
        std::string word;
        for (const char* p = line; *p; ++p) {
            if (*p == ' ' || *p == '\n') {
                if (!word.empty())
                    group.push_back(word);
                word.clear();
            } else {
                word += *p;
            }
        }
        if (group.size() > 1)
            groups.push_back(group);
    }
    ::pclose(pipe);
    return groups;
}

void PrintRow(const std::string& name, const SScore& score, int photos)
{
    std::printf("| %-26s |", name.c_str());
    for (const auto& kind : kKinds) {
        const auto found = score.found.find(kind);
        std::printf(" %3.0f |", 100.0 * (found == score.found.end() ? 0 : found->second) / photos);
    }
    const long pairs = score.truePairs + score.falsePairs;
    std::printf(" %.3f |\n", pairs ? double(score.truePairs) / double(pairs) : 1.0);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PHOTO PHOTO...\n", argv[0]);
        return 2;
    }
    const fs::path folder = fs::temp_directory_path() / "ambrel-dup-quality";
    fs::remove_all(folder);
    fs::create_directories(folder);
    int photos = 0;
    for (int i = 1; i < argc; ++i) {
        const QImage image(QString::fromLocal8Bit(argv[i]));
        if (!image.isNull())
            MakeVariants(image, photos++, folder);
    }
    const std::string database = (folder.parent_path() / "ambrel-dup-quality.dat").string();
    std::atomic<int> stop{0};
    dif::SScanOptions scan;
    scan.decodeThreads = 2;
    dif::CSignatureScanner(database, scan, nullptr, stop).Scan({folder.string()});
    const bool haveThem = std::system("command -v findimagedupes >/dev/null 2>&1") == 0;

    std::printf("%d photographs, recall in %% per variant kind, precision of all grouped pairs\n\n", photos);
    std::printf("| %-26s |", "finder, threshold");
    for (const auto& kind : kKinds)
        std::printf(" %s |", kind.c_str());
    std::printf(" precision |\n|---|");
    for (std::size_t k = 0; k <= kKinds.size(); ++k)
        std::printf("---|");
    std::printf("\n");
    for (int threshold : {100, 95, 90}) {
        PrintRow("Ambrel " + std::to_string(threshold), Score(OurGroups(database, threshold, false)), photos);
        PrintRow("Ambrel " + std::to_string(threshold) + " options", Score(OurGroups(database, threshold, true)), photos);
        if (haveThem)
            PrintRow("findimagedupes " + std::to_string(threshold), Score(TheirGroups(folder, threshold)), photos);
    }
    fs::remove_all(folder);
    fs::remove(database);
    return 0;
}
