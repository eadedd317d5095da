// The thumbnail window in the real program, on a folder of 24-megapixel JPEG
// photographs (the benchmark photograph in eight variants, copied to N files):
//   - first screen at size 128 with an empty thumbnail cache (three runs),
//     from the moment the group's cells exist until every cell in sight
//     shows its picture, next to the floor: the decode time of those cells
//     at the scale the loader chooses, on one loader thread, divided by the
//     cores;
//   - the same with the cache the first run wrote (target: 0.2 s);
//   - peak resident memory while scrolling through the whole folder, against
//     the full-picture budget plus 200 MB;
//   - decodes per file during all of it (at most one);
//   - grouping a folder of files with different words against listing it;
//   - starting a watch of a folder tree with its subfolders: the window
//     thread's time in StartWatch against listing the tree.
// Usage: thumbnails_bench <folder> [count]   (QT_QPA_PLATFORM=offscreen or an
// X server; HOME and XDG_CACHE_HOME are pointed at a temporary folder).
#include <QApplication>
#include <QDir>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "browser/thumbnails/grouping.h"
#include "browser/thumbnails/loader_pool.h"
#include "browser/thumbnails/thumbnail_cache.h"
#include "browser/thumbnails/thumbnails_frame.h"
#include "browser/thumbnails/thumbnails_tree_view.h"
#include "browser/thumbnails/thumbnails_view.h"
#include "common/bench_photo.h"
#include "image/covering_decode.h"
#include "shell/ambrel_app.h"
#include "shell/main_frame.h"
#include "support/file_change_watcher.h"
#include "viewer/image_file_lists.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

long ResidentPeakMb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6)) / 1024;
    return -1;
}

long ResidentMb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6)) / 1024;
    return -1;
}

void ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

bool MakeFolder(const std::string& folder, int count)
{
    fs::create_directories(folder);
    const QImage photo(QString::fromStdString(vxbench::PhotoPath()));
    if (photo.isNull())
        return false;
    for (int v = 0; v < 8 && v < count; ++v) {
        const std::string path = folder + "/photo" + std::to_string(v + 1) + ".jpg";
        if (fs::exists(path))
            continue;
        QImage variant = photo.mirrored((v & 1) != 0, (v & 2) != 0);
        if (v & 4)
            variant = variant.rgbSwapped();
        if (!variant.save(QString::fromStdString(path), "JPG", 92))
            return false;
    }
    for (int i = 8; i < count; ++i) {
        const std::string path = folder + "/photo" + std::to_string(i + 1) + ".jpg";
        if (!fs::exists(path))
            fs::copy_file(folder + "/photo" + std::to_string(i % 8 + 1) + ".jpg", path);
    }
    return true;
}

// Runs the event loop as the program does: asleep until something arrives
// (a spinning loop here would take a core from the loaders). The timer only
// bounds the sleep in case the last event changed nothing visible.
template <typename Done>
void Pump(Done done)
{
    QTimer wake;
    wake.start(20);
    while (!done())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

std::vector<int> CellsInSight(CThumbnailsView* view)
{
    std::vector<int> rows;
    for (int i = 0; i < view->ItemCount(); ++i)
        if (view->visualRect(view->model()->index(i, 0)).intersects(view->viewport()->rect()))
            rows.push_back(i);
    return rows;
}

bool ScreenDone(CThumbnailsView* view)
{
    for (int row : CellsInSight(view)) {
        ThumbnailItem* item = view->Item(row);
        if (item->m_bLoadable && item->m_nLoadState != ThumbnailItem::LoadState::Done)
            return false;
    }
    return view->ItemCount() > 0;
}

struct SRun {
    CThumbnailsFrame* frame = nullptr;
    double firstScreen = 0;
    double fromOpen = 0;
    int inSight = 0;
};

SRun OpenAndWait(CAmbrelApp& app, const std::string& folder)
{
    SRun run;
    const auto open = Clock::now();
    app.GetTemplateManager().OpenNewFrame("CThumbnailsFrame", false, QString::fromStdString(folder));
    run.frame = qobject_cast<CThumbnailsFrame*>(app.GetMainFrame()->MDIGetActive());
    run.frame->GetMDISubWindow()->showMaximized();
    CThumbnailsView* view = run.frame->ThumbnailView();
    Pump([&] { return view->ItemCount() > 0; });
    const auto cells = Clock::now();
    Pump([&] { return ScreenDone(view); });
    run.firstScreen = Seconds(cells);
    run.fromOpen = Seconds(open);
    run.inSight = int(CellsInSight(view).size());
    return run;
}

// Loader threads of the loaders' own kind decoding the cells in sight as the
// loader does, one file per job: with one thread this is the floor's decode
// time; with one per core it shows what the machine gives at that moment (a
// busy machine shares its cores between sessions, whatever their priority).
double DecodeSeconds(CThumbnailsView* view, int threads)
{
    const int cover = CThumbnailCache::BucketFor(thumbs::PictureBox(view->ThumbnailSize()));
    CLoaderPool pool(threads);
    const auto start = Clock::now();
    for (int row : CellsInSight(view))
        pool.Queue(nullptr, [cover, path = view->Item(row)->m_strPath] {
            CVelvix picture;
            VxReadImageCovering(picture, path.c_str(), cover, cover);
        });
    pool.Finish();
    return Seconds(start);
}

constexpr int kColdRuns = 3;

} // namespace

// Grouping a folder of files whose names all have different first words,
// against listing the same folder (the listing is part of the grouping).
void MeasureGrouping(const std::string& folder, int count)
{
    fs::create_directories(folder);
    std::string name = "aaaa";
    for (int i = 0; i < count; ++i) {
        std::ofstream(folder + "/" + name + ".jpg");
        for (int k = 3; k >= 0 && ++name[std::size_t(k)] > 'z'; --k)
            name[std::size_t(k)] = 'a';
    }
    const Clock::time_point listed = Clock::now();
    const std::size_t files = grouping::ListImageFiles(folder).size();
    const double listing = Seconds(listed);
    const Clock::time_point grouped = Clock::now();
    const std::size_t groups = grouping::GroupFolder(folder).m_Sets[0].size();
    const double grouping = Seconds(grouped);
    std::printf("grouping %zu files of different words into %zu group: %.3f s, listing them %.3f s -> ratio %.1f "
                "(target <= 3)\n",
                files, groups, grouping, listing, grouping / listing);
}

// Starting a watch of a tree of folders with their subfolders, as the viewer
// does for its list of subfolders: the time the calling (window) thread
// spends in StartWatch, against listing the tree once; and when the watch
// reports that all its folders are watched.
void MeasureWatchStart(const std::string& root)
{
    constexpr int kWide = 26;  // 26 + 26^2 + 26^3 folders, about as many as /usr has
    for (int a = 0; a < kWide; ++a)
        for (int b = 0; b < kWide; ++b)
            for (int c = 0; c < kWide; ++c)
                fs::create_directories(root + "/" + char('a' + a) + "/" + char('a' + b) + "/" + char('a' + c));
    std::size_t folders = 0;
    const Clock::time_point listed = Clock::now();
    for (fs::recursive_directory_iterator it(root), end; it != end; ++it)
        folders += it->is_directory() ? 1 : 0;
    const double listing = Seconds(listed);

    struct Receiver : QObject {
        int reports = 0;
        bool event(QEvent* e) override
        {
            if (e->type() != QEvent::Type(0x8007))
                return QObject::event(e);
            ++reports;
            return true;
        }
    } receiver;
    std::vector<double> starts, ready;
    for (int rep = 0; rep < 3; ++rep) {
        CFileChangeWatcher watcher;
        receiver.reports = 0;
        const Clock::time_point started = Clock::now();
        watcher.StartWatch(root, &receiver, 0x8007, true);
        starts.push_back(Seconds(started));
        while (receiver.reports == 0 && Seconds(started) < 20)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        ready.push_back(receiver.reports ? Seconds(started) : -1);
    }
    std::sort(starts.begin(), starts.end());
    std::sort(ready.begin(), ready.end());
    // Stopped while its thread walks the tree.
    double stop = 0;
    {
        CFileChangeWatcher watcher;
        watcher.StartWatch(root, &receiver, 0x8007, true);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const Clock::time_point stopped = Clock::now();
        watcher.StopWatch();
        stop = Seconds(stopped);
    }
    // What that report makes the viewer do: re-list its subfolder list.
    CImageFileLists lists;
    lists.SelectFileList(CImageFileLists::kListSubFolders, root + "/");
    const Clock::time_point relisted = Clock::now();
    lists.RefreshFileList();
    const double relist = Seconds(relisted);
    std::printf("starting a watch of %zu folders with subfolders: window thread %.4f s, listing the tree %.3f s "
                "-> ratio %.3f, median of 3 (target <= 0.05); all watched (reported) after %.3f s; the viewer's "
                "re-list on that report %.3f s; stopping during the walk %.4f s\n",
                folders, starts[1], listing, starts[1] / listing, ready[1], relist, stop);
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <folder> [count]\n", argv[0]);
        return 2;
    }
    QTemporaryDir home(QDir::tempPath() + "/ambrel-bench-home-XXXXXX");
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + "/.cache").toUtf8());
    QApplication application(argc, argv);
    const std::string folder = fs::absolute(argv[1]).string();
    const int count = argc > 2 ? std::max(8, std::atoi(argv[2])) : 500;
    if (!MakeFolder(folder, count)) {
        std::fprintf(stderr, "cannot write the photographs\n");
        return 1;
    }
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    CAmbrelApp app;
    app.m_bShowSplash = false;
    if (!app.InitInstance({}))
        return 1;
    app.GetMainFrame()->resize(1280, 900);
    app.GetMainFrame()->show();
    QApplication::processEvents();
    const long baseMb = ResidentMb();

    // Cold: nothing in the cache, three times; each next to its floor: the
    // same cells decoded at the loader's scale on one loader thread (the
    // loaders' priority, so other work on the machine weighs on both alike),
    // divided by the cores.
    const QString cacheRoot = home.path() + "/.cache/thumbnails";
    std::vector<double> ratios;
    SRun cold;
    double floor = 0;
    int decodesCold = 0;
    for (int rep = 0; rep < kColdRuns; ++rep) {
        QDir(cacheRoot).removeRecursively();
        SRun run = OpenAndWait(app, folder);
        CThumbnailsView* shown = run.frame->ThumbnailView();
        const double runFloor = DecodeSeconds(shown, 1) / cores;
        const double parallel = DecodeSeconds(shown, cores);
        ratios.push_back(run.firstScreen / runFloor);
        std::printf("  cold run %d: %.3f s, floor %.3f s, ratio %.2f; the same decodes on %d loader threads "
                    "%.3f s (ratio to that %.2f)\n",
                    rep + 1, run.firstScreen, runFloor, ratios.back(), cores, parallel, run.firstScreen / parallel);
        if (rep + 1 < kColdRuns) {
            run.frame->CloseFrame();
            QApplication::processEvents();
            continue;
        }
        cold = run;
        floor = runFloor;
        decodesCold = shown->Counters().m_nDecodes;
    }
    std::sort(ratios.begin(), ratios.end());
    CThumbnailsView* view = cold.frame->ThumbnailView();

    // Scrolling through the whole folder, page by page.
    ResetPeak();
    QScrollBar* bar = view->verticalScrollBar();
    const auto scrollStart = Clock::now();
    while (true) {
        Pump([&] { return ScreenDone(view); });
        if (bar->value() >= bar->maximum())
            break;
        bar->setValue(bar->value() + view->viewport()->height());
    }
    const double scroll = Seconds(scrollStart);
    const long peakMb = ResidentPeakMb();
    const int decodesAll = view->Counters().m_nDecodes;
    const std::size_t budgetMb = view->Budget().Budget() >> 20;
    cold.frame->CloseFrame();
    QApplication::processEvents();

    // Warm: every entry is in the cache now.
    SRun warm = OpenAndWait(app, folder);
    const int decodesWarm = warm.frame->ThumbnailView()->Counters().m_nDecodes;
    warm.frame->CloseFrame();
    QApplication::processEvents();

    std::printf("thumbnail window, %d photographs of 6000 x 4000, %d cores, size 128\n", count, cores);
    std::printf("first screen, empty cache: %.3f s for %d cells (from opening: %.3f s incl. the 400 ms selection delay)\n",
                cold.firstScreen, cold.inSight, cold.fromOpen);
    std::printf("  floor (decode of those cells at the chosen scale / cores): %.3f s -> ratio %.2f, median of %d "
                "runs %.2f (target <= 1.5)\n",
                floor, cold.firstScreen / floor, kColdRuns, ratios[ratios.size() / 2]);
    std::printf("first screen, warm cache: %.3f s for %d cells, %d decodes (target <= 0.2 s)\n", warm.firstScreen,
                warm.inSight, decodesWarm);
    std::printf("scrolling all %d cells: %.2f s; peak resident %ld MB, %ld MB above the program before "
                "(target <= budget %zu MB + 200 MB)\n",
                count, scroll, peakMb, peakMb - baseMb, budgetMb);
    std::printf("decodes: %d on the first screen, %d for the whole folder of %d files (at most one each)\n", decodesCold,
                decodesAll, count);
    MeasureGrouping(home.path().toStdString() + "/words", 40000);
    MeasureWatchStart(home.path().toStdString() + "/tree");
    return app.ExitInstance(0);
}
