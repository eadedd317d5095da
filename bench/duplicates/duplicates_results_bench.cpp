// The results window of the duplicate finder with 10,000 groups of three
// files: how long the window's own thread is busy filling the tree, applying
// a mark rule, counting, clearing, and the longest pause of its event loop
// while "Mark all but the best" reads the picture sizes of 30,000 items.
// Usage: duplicates_results_bench   (QT_QPA_PLATFORM=offscreen or a display)
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "duplicates/dif_results.h"
#include "image/velvix.h"

namespace fs = std::filesystem;

namespace {

constexpr int kGroups = 10000;
constexpr int kFiles = 300;

// kFiles small bitmaps of different sizes that the items name in turn.
std::vector<std::string> MakeFiles(const fs::path& folder)
{
    fs::create_directories(folder);
    std::vector<std::string> files;
    for (int i = 0; i < kFiles; ++i) {
        CVelvix image;
        static_cast<CVelvix_PixelInterface&>(image).RawCreateImage(8 + i % 17, 8 + i % 23);
        const std::string path = (folder / ("f" + std::to_string(i) + ".bmp")).string();
        image.SaveImage(path.c_str());
        files.push_back(path);
    }
    return files;
}

std::vector<dif::SDuplicateGroup> MakeGroups(const std::vector<std::string>& files)
{
    std::vector<dif::SDuplicateGroup> groups(kGroups);
    std::size_t record = 0;
    for (auto& group : groups) {
        for (int k = 0; k < 3; ++k) {
            dif::SDuplicateItem item;
            item.record = record;
            item.path = files[record % files.size()];
            item.size = fs::file_size(item.path);
            item.match = 95;
            ++record;
            (k == 0 ? group.head : group.members.emplace_back()) = item;
        }
    }
    return groups;
}

template <typename Fn> double Milliseconds(Fn&& fn)
{
    QElapsedTimer timer;
    timer.start();
    fn();
    QApplication::processEvents();
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const fs::path folder = fs::temp_directory_path() / "ambrel-dup-results-bench";
    const auto groups = MakeGroups(MakeFiles(folder));
    CDIFResults::s_pfnTell = [](QWidget*, const QString&, const QString&, QMessageBox::Icon) {};
    CDIFResults results;
    results.resize(1200, 800);
    results.show();
    QApplication::processEvents();

    std::printf("results window, %d groups of 3 items (ms on the window's thread)\n", kGroups);
    std::printf("  fill the tree          %8.1f\n", Milliseconds([&] { results.SetGroups(groups); }));
    std::printf("  mark smaller size      %8.1f\n", Milliseconds([&] { results.ApplyMarkRule(dif::EMarkRule::Smaller); }));
    std::printf("  count marked           %8.1f\n", Milliseconds([&] { results.CountMarked(); }));
    std::printf("  unmark all             %8.1f\n", Milliseconds([&] { results.UnmarkAll(); }));
    std::printf("  next pair x 1000       %8.1f\n", Milliseconds([&] {
        for (int i = 0; i < 1000; ++i)
            results.SelectNextPair(true);
    }));

    // The longest gap between two turns of the event loop while the sizes
    // are read and the rule applied.
    QElapsedTimer total, sinceTurn;
    qint64 longest = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceTurn.nsecsElapsed());
        sinceTurn.restart();
    });
    ticker.start(1);
    total.start();
    sinceTurn.start();
    results.ApplyMarkRule(dif::EMarkRule::AllButBest);
    while (results.IsReadingPictureSizes())
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    longest = std::max(longest, sinceTurn.nsecsElapsed());
    ticker.stop();
    std::printf("  all but the best       %8.1f total, longest pause of the window %.1f\n", double(total.nsecsElapsed()) / 1e6,
                double(longest) / 1e6);
    std::printf("  all but the best again %8.1f (sizes known)\n",
                Milliseconds([&] { results.ApplyMarkRule(dif::EMarkRule::AllButBest); }));
    std::printf("  clear                  %8.1f\n", Milliseconds([&] { results.ClearResults(); }));
    fs::remove_all(folder);
    return 0;
}
