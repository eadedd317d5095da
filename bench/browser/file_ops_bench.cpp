// The destination dialog with 50 sets, the overwrite question with two
// 24-megapixel photographs until both previews show (against Qt's own
// decode of the same two files, one after the other, as the peer), and a
// move within one file system against a copy of the same file.
#include <QApplication>
#include <QEventLoop>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "browser/fileops/confirm_overwrite_dialog.h"
#include "browser/fileops/folder_sets.h"
#include "browser/fileops/move_copy_dialog.h"
#include "browser/fileops/safe_file_io.h"
#include "browser/fileops/thumbnail_static.h"
#include "common/bench_photo.h"

namespace {

QString Folder()
{
    static QTemporaryDir dir;
    return dir.path();
}

void BM_DestinationDialog50Sets(benchmark::State& state)
{
    const QString file = Folder() + QStringLiteral("/folsdata.dat");
    CFolderSets sets;
    for (int i = 0; i < 50; ++i) {
        SFolderSet set;
        set.name = QStringLiteral("Set %1").arg(i);
        for (QString& folder : set.folders)
            folder = QStringLiteral("/home/user/Pictures/sorted/%1/some folder").arg(i);
        sets.m_sets.push_back(set);
    }
    sets.Save(file);
    for (auto _ : state) {
        CMoveCopyDialog dialog(QStringLiteral("Move photo to"), nullptr, file);
        dialog.show();
        QApplication::processEvents();
        dialog.reject();
    }
}

QString SecondPhoto()
{
    const QString copy = Folder() + QStringLiteral("/second.jpg");
    if (!QFile::exists(copy))
        QFile::copy(QString::fromStdString(vxbench::PhotoPath()), copy);
    return copy;
}

void BM_OverwritePreviews24MP(benchmark::State& state)
{
    const QString first = QString::fromStdString(vxbench::PhotoPath()), second = SecondPhoto();
    for (auto _ : state) {
        CConfirmOverwriteDialog dialog(first, second);
        dialog.show();
        QEventLoop wait;
        const auto check = [&] {
            if (!dialog.SourceBox()->IsDecoding() && !dialog.TargetBox()->IsDecoding())
                wait.quit();
        };
        QObject::connect(dialog.SourceBox(), &CThumbnailStatic::Decoded, &wait, check);
        QObject::connect(dialog.TargetBox(), &CThumbnailStatic::Decoded, &wait, check);
        wait.exec();
        QApplication::processEvents();
    }
}

void BM_PeerQtDecodeTwo24MP(benchmark::State& state)
{
    const QString first = QString::fromStdString(vxbench::PhotoPath()), second = SecondPhoto();
    for (auto _ : state)
        for (const QString& path : {first, second}) {
            QImageReader reader(path);
            benchmark::DoNotOptimize(reader.read());
        }
}

std::string BigFile()
{
    const std::string path = Folder().toStdString() + "/big.bin";
    if (!std::filesystem::exists(path))
        std::ofstream(path, std::ios::binary) << std::string(64 << 20, 'x');
    return path;
}

void BM_MoveWithinFileSystem(benchmark::State& state)
{
    const std::string a = BigFile(), b = a + ".moved";
    for (auto _ : state) {
        vxfile::MoveFile(a, b, false, true);
        vxfile::MoveFile(b, a, false, true);
    }
}

void BM_CopySameFile(benchmark::State& state)
{
    const std::string a = BigFile(), b = a + ".copy";
    for (auto _ : state) {
        vxfile::CopyFile(a, b, true);
        vxfile::RemoveFile(b);
    }
}

} // namespace

BENCHMARK(BM_DestinationDialog50Sets)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OverwritePreviews24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PeerQtDecodeTwo24MP)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MoveWithinFileSystem)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopySameFile)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Velvix"));
    QCoreApplication::setApplicationName(QStringLiteral("AmbrelBench"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
