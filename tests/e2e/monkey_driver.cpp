// A careless, fast user: the whole program with a seeded random hand on its
// menus, keys, mouse and dialogs. After every step it checks that no file
// changed that the user did not save, and that a refused save said why; a
// watchdog takes every thread's stack when the window stops answering.
// Usage: ambrel_monkey <seed> <steps> <pictures folder> [picture to open]
// The folder may hold protected/ (files and a folder the user may not write)
// and full/ (a full file system). Exit status 0: no fault; 1: a fault.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDialog>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "common/effect_table.h"
#include "image/velvix.h"
#include "shell/command_ids.h"
#include "shell/ambrel_app.h"
#include "shell/main_frame.h"
#include "viewer/ambrel_doc.h"
#include "viewer/ambrel_view.h"
#include "viewer/pixel_frame.h"

namespace {

std::atomic<long> g_heartbeat{0};

void TakeStacks()
{
    const std::string gdb = "gdb -batch -p " + std::to_string(getpid()) + " -ex 'thread apply all bt' 2>&1";
    std::fflush(stdout);
    std::system(gdb.c_str());
}

// Takes every thread's stack and ends the run when the window's thread has
// not answered for `seconds`.
void StartWatchdog(int seconds)
{
    prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY);
    std::thread([seconds] {
        long seen = -1;
        for (;;) {
            std::this_thread::sleep_for(std::chrono::seconds(seconds));
            const long now = g_heartbeat.load();
            if (now != seen) {
                seen = now;
                continue;
            }
            std::printf("FAULT: the window's thread did not answer for %d s\n", seconds);
            TakeStacks();
            std::_Exit(3);
        }
    }).detach();
}

using Snapshot = std::map<QString, QByteArray>;

Snapshot TakeSnapshot(const QString& folder)
{
    Snapshot files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        struct stat status {};
        ::stat(QFile::encodeName(path).constData(), &status);
        // A save rewrites the file even with the same bytes: the inode and
        // the time change.
        files[path] = QByteArray::number(qulonglong(status.st_ino)) + ' ' +
                      QByteArray::number(qlonglong(status.st_mtim.tv_nsec + status.st_mtim.tv_sec * 1000000000LL)) + ' ' +
                      (file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5)
                                                      : QByteArrayLiteral("unreadable"));
    }
    return files;
}

class Monkey : public QObject {
public:
    Monkey(CMainFrame& main, unsigned seed, int steps, const QString& folder)
        : m_main(main), m_random(seed), m_nStepsLeft(steps), m_strFolder(folder)
    {
        for (const auto& [path, hash] : TakeSnapshot(folder))
            m_paths.push_back(path);
        m_paths.push_back(folder + QStringLiteral("/saved.jpg"));
        m_paths.push_back(folder + QStringLiteral("/protected"));
        qApp->installEventFilter(this);
        QTimer::singleShot(15, this, [this] { Tick(); });
    }

    int Faults() const { return m_nFaults; }

private:
    // --- the hand ---------------------------------------------------------------------
    void Tick()
    {
        ++g_heartbeat;
        // A new timer each time: Qt does not fire one timer inside its own
        // slot, and the steps run nested event loops.
        if (!m_bFinished)
            QTimer::singleShot(15, this, [this] { Tick(); });
        if (m_nDepth > 0 && m_stepClock.elapsed() > 60000) {
            Fault("a step did not end within 60 s");
            TakeStacks();
            std::_Exit(3);
        }
        if (QWidget* popup = QApplication::activePopupWidget())
            AnswerPopup(popup);
        else if (QWidget* modal = QApplication::activeModalWidget())
            AnswerDialog(modal);
        else if (m_nDepth > 0)
            MeddleMidWork();
        else
            Step();
    }

    void Step()
    {
        if (m_nStepsLeft-- <= 0) {
            Finish();
            return;
        }
        ++m_nStep;
        m_step = {};
        m_step.before = TakeSnapshot(m_strFolder);
        m_step.doc = ActiveDoc();
        m_step.pathBefore = m_step.doc ? m_step.doc->GetPathName() : QString();
        m_step.windowsBefore = m_main.GetMDIChildCount();
        m_step.pictureBefore = PictureOf(m_step.doc);
        m_stepClock.start();
        ++m_nDepth;
        // After an effect the user often takes it back, or back and again.
        const int choice = m_edit.doc && Pick(2) == 0 ? -1 : Pick(10);
        switch (choice) {
        case -1: TriggerMenuCommand(Pick(2) ? cmd::ID_EDIT_UNDO : cmd::ID_EDIT_REDO); break;
        case 0: case 1: case 2: case 3: TriggerMenuCommand(); break;
        case 4: case 5: PressKey(); break;
        case 6: case 7: DragInView(); break;
        case 8: Wheel(); break;
        default: ResizeOrActivate(); break;
        }
        --m_nDepth;
        CheckStep();
        CheckUndo();
        CheckFailedOpen();
    }

    // A file that could not be read opens no window and leaves the active one as it was.
    void CheckFailedOpen()
    {
        if (!m_step.messages.filter(QStringLiteral("Could not read the image file")).isEmpty() &&
            (m_main.GetMDIChildCount() > m_step.windowsBefore ||
             (m_step.doc && m_step.doc == ActiveDoc() && m_step.doc->GetPathName() != m_step.pathBefore)))
            Fault("a failed open changed the windows");
    }

    // A random enabled command, or the given one when it is enabled.
    void TriggerMenuCommand(int only = 0)
    {
        std::vector<QAction*> actions;
        for (QAction* top : m_main.menuBar()->actions())
            if (top->menu())
                Collect(top->menu(), actions);
        if (only)
            std::erase_if(actions, [only](QAction* action) { return action->data().toInt() != only; });
        if (actions.empty())
            return;
        QAction* action = actions[Pick(int(actions.size()))];
        const QString text = action->text();
        Log("menu " + text + (ActiveDoc() ? " on " + ActiveDoc()->GetPathName() : QString()));
        if (IsFileOperation(text) || !ActiveDoc())
            m_step.anyFileMayChange = true;
        if (text.startsWith(QStringLiteral("&Save\t")) && ActiveDoc() && ActiveDoc()->IsEditMode() &&
            !ActiveDoc()->GetPathName().isEmpty()) {
            m_step.licensed.insert(ActiveDoc()->ShownFilePath());
            m_step.saved.insert(ActiveDoc()->ShownFilePath());
        }
        m_step.command = action->data().toInt();
        action->trigger();
    }

    void Collect(QMenu* menu, std::vector<QAction*>& actions)
    {
        emit menu->aboutToShow();
        for (QAction* action : menu->actions()) {
            if (action->menu())
                Collect(action->menu(), actions);
            else if (action->isEnabled() && !action->isSeparator() && !IsOutOfBounds(action->text()))
                actions.push_back(action);
        }
    }

    // Printers, the scanner, mail, the desktop's wallpaper and the end of the
    // program are outside this run.
    static bool IsOutOfBounds(const QString& text)
    {
        static const char* const kWords[] = {"Print", "Source", "Acquire", "email", "wallpaper", "Exit", "Scan"};
        const QString plain = QString(text).remove(QLatin1Char('&'));
        for (const char* word : kWords)
            if (plain.contains(QLatin1String(word), Qt::CaseInsensitive))
                return true;
        return false;
    }

    static bool IsFileOperation(const QString& text)
    {
        static const char* const kWords[] = {"Rename", "Move File", "Copy File", "Delete", "Undo File", "Paste"};
        for (const char* word : kWords)
            if (text.contains(QLatin1String(word)))
                return true;
        return false;
    }

    void PressKey()
    {
        static const std::pair<int, Qt::KeyboardModifiers> kKeys[] = {
            {Qt::Key_Space, {}}, {Qt::Key_Backspace, {}}, {Qt::Key_F, {}}, {Qt::Key_L, {}},
            {Qt::Key_Home, {}}, {Qt::Key_End, {}}, {Qt::Key_PageUp, {}}, {Qt::Key_PageDown, {}},
            {Qt::Key_Left, {}}, {Qt::Key_Right, {}}, {Qt::Key_Up, {}}, {Qt::Key_Down, {}},
            {Qt::Key_Plus, {}}, {Qt::Key_Minus, {}}, {Qt::Key_Escape, {}}, {Qt::Key_AsciiTilde, {}},
            {Qt::Key_Z, Qt::ControlModifier}, {Qt::Key_Y, Qt::ControlModifier}, {Qt::Key_C, Qt::ControlModifier},
            {Qt::Key_V, Qt::ControlModifier}, {Qt::Key_X, Qt::ControlModifier}, {Qt::Key_A, Qt::ControlModifier},
            {Qt::Key_Q, {}}, {Qt::Key_S, {}}, {Qt::Key_R, {}}, {Qt::Key_Space, Qt::ShiftModifier},
            {Qt::Key_Backspace, Qt::ShiftModifier}, {Qt::Key_Return, {}}, {Qt::Key_Delete, {}}, {Qt::Key_F2, {}}};
        const auto& [key, modifiers] = kKeys[Pick(int(std::size(kKeys)))];
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &m_main;
        Log(QStringLiteral("key %1 %2 on %3").arg(key, 0, 16).arg(int(modifiers)).arg(target->metaObject()->className()));
        if (key == Qt::Key_Delete || key == Qt::Key_F2 || (key == Qt::Key_V && modifiers) || !ActiveDoc())
            m_step.anyFileMayChange = true;
        QTest::keyClick(target, Qt::Key(key), modifiers);
    }

    QWidget* ActiveViewport()
    {
        CSMDIChildWnd* child = m_main.MDIGetActive();
        auto* view = child ? dynamic_cast<QAbstractScrollArea*>(child->GetActiveView()) : nullptr;
        return view ? view->viewport() : nullptr;
    }

    QPoint AnyPointNear(QWidget* widget)
    {
        return {Pick(widget->width() + 40) - 20, Pick(widget->height() + 40) - 20};
    }

    void DragInView()
    {
        QWidget* viewport = ActiveViewport();
        if (!viewport)
            return;
        if (!ActiveDoc())
            m_step.anyFileMayChange = true; // drags among thumbnails move files
        const QPoint from = AnyPointNear(viewport), to = AnyPointNear(viewport);
        const Qt::MouseButton button = Pick(6) == 0 ? Qt::RightButton : Qt::LeftButton;
        Log(QStringLiteral("drag %1,%2 -> %3,%4 button %5").arg(from.x()).arg(from.y()).arg(to.x()).arg(to.y()).arg(int(button)));
        QPointer<QWidget> guard(viewport);
        QTest::mousePress(viewport, button, {}, from);
        if (guard)
            QTest::mouseMove(viewport, (from + to) / 2);
        if (guard)
            QTest::mouseMove(viewport, to);
        if (guard)
            QTest::mouseRelease(viewport, button, {}, to);
        if (guard && Pick(4) == 0)
            QTest::mouseDClick(viewport, Qt::LeftButton, {}, to);
    }

    void Wheel()
    {
        QWidget* viewport = ActiveViewport();
        if (!viewport)
            return;
        const QPoint at = AnyPointNear(viewport);
        const int delta = (Pick(2) ? 120 : -120) * (1 + Pick(3));
        const Qt::KeyboardModifiers modifiers = Pick(3) == 0 ? Qt::ControlModifier : Qt::NoModifier;
        Log(QStringLiteral("wheel %1 at %2,%3").arg(delta).arg(at.x()).arg(at.y()));
        QWheelEvent event(at, viewport->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, modifiers, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(viewport, &event);
    }

    void ResizeOrActivate()
    {
        const auto windows = m_main.GetMDIClient()->subWindowList();
        const int choice = Pick(3);
        if (choice == 0 && !windows.isEmpty()) {
            Log("activate a window");
            m_main.GetMDIClient()->setActiveSubWindow(windows[Pick(int(windows.size()))]);
        } else if (choice == 1 && !windows.isEmpty()) {
            Log("close the active window");
            m_step.anyFileMayChange |= !ActiveDoc();
            m_main.GetMDIClient()->closeActiveSubWindow();
        } else {
            const QSize size(200 + Pick(1200), 150 + Pick(900));
            Log(QStringLiteral("resize main %1x%2").arg(size.width()).arg(size.height()));
            m_main.resize(size);
        }
    }

    // While a command waits (an effect on its thread, a load), the user
    // closes or resizes windows.
    void MeddleMidWork()
    {
        if (Pick(10) != 0)
            return;
        auto* window = m_main.GetMDIClient()->activeSubWindow();
        if (window && Pick(3) == 0) {
            Log("close the window mid-work");
            m_step.anyFileMayChange |= !ActiveDoc();
            window->close();
        } else {
            Log("resize mid-work");
            m_main.resize(200 + Pick(1200), 150 + Pick(900));
        }
    }

    // --- dialogs --------------------------------------------------------------------------
    void AnswerPopup(QWidget* popup)
    {
        auto* menu = qobject_cast<QMenu*>(popup);
        std::vector<QAction*> actions;
        if (menu)
            for (QAction* action : menu->actions())
                if (action->isEnabled() && !action->isSeparator() && !action->menu() && !IsOutOfBounds(action->text()))
                    actions.push_back(action);
        if (menu && !actions.empty() && Pick(2) == 0) {
            QAction* action = actions[Pick(int(actions.size()))];
            Log("popup " + action->text());
            m_step.anyFileMayChange = true;
            menu->close();
            action->trigger();
        } else {
            popup->close();
        }
    }

    void AnswerDialog(QWidget* modal)
    {
        if (Pick(3) != 0)
            return; // a moment's thought
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            AnswerMessage(box);
        else if (auto* files = qobject_cast<QFileDialog*>(modal))
            AnswerFileDialog(files);
        else if (auto* dialog = qobject_cast<QDialog*>(modal))
            FillAndClose(dialog);
        else
            modal->close();
    }

    void AnswerMessage(QMessageBox* box)
    {
        const auto buttons = box->buttons();
        if (buttons.isEmpty()) {
            box->reject();
            return;
        }
        QAbstractButton* button = buttons[Pick(int(buttons.size()))];
        const auto role = box->buttonRole(button);
        Log("message '" + box->text().left(160).replace(QLatin1Char('\n'), QLatin1Char(' ')) + "' -> " + button->text());
        if (box->text().contains(QLatin1String("Save changes")) && role == QMessageBox::YesRole)
            LicenseModifiedDocuments();
        if (box->text().contains(QLatin1String("already exists")) && role != QMessageBox::YesRole &&
            role != QMessageBox::AcceptRole) {
            m_step.saved.erase(m_step.savedAs);
            m_step.savedAs.clear();
        }
        if (role == QMessageBox::YesRole || role == QMessageBox::AcceptRole)
            m_step.anyFileMayChange |= !box->text().contains(QLatin1String("Save changes"));
        button->click();
    }

    void AnswerFileDialog(QFileDialog* dialog)
    {
        if (Pick(3) == 0) {
            Log("file dialog cancelled");
            dialog->reject();
            return;
        }
        const bool save = dialog->acceptMode() == QFileDialog::AcceptSave;
        static const char* const kSaveTargets[] = {"/full/new.png", "/full/onfull.png", "/protected/readonly.png",
                                                   "/protected/locked/new.png", "/saved [copy] 100% é.png"};
        const QString chosen = save && Pick(2) ? m_strFolder + QString::fromUtf8(kSaveTargets[Pick(5)])
                                               : m_paths[Pick(int(m_paths.size()))];
        dialog->setDirectory(QFileInfo(chosen).absolutePath());
        dialog->selectFile(QFileInfo(chosen).fileName());
        const QString path = dialog->selectedFiles().value(0);
        Log("file dialog -> " + path);
        if (save) {
            m_step.licensed.insert(path);
            m_step.savedAs = path;
        }
        QPointer<QFileDialog> guard(dialog);
        static_cast<QDialog*>(dialog)->accept();
        if (save && guard && !guard->isVisible() && guard->result() == QDialog::Accepted)
            m_step.saved.insert(path);
    }

    void FillAndClose(QDialog* dialog)
    {
        for (auto* edit : dialog->findChildren<QLineEdit*>())
            if (edit->isVisible() && edit->isEnabled() && !edit->isReadOnly() && Pick(2) == 0)
                edit->setText(AnyText());
        for (auto* spin : dialog->findChildren<QSpinBox*>())
            if (spin->isEnabled() && Pick(2) == 0)
                spin->setValue(spin->minimum() + Pick(std::max(1, std::min(spin->maximum() - spin->minimum(), 1 << 30))));
        for (auto* spin : dialog->findChildren<QDoubleSpinBox*>())
            if (spin->isEnabled() && Pick(2) == 0)
                spin->setValue(spin->minimum() + (spin->maximum() - spin->minimum()) * Pick(1001) / 1000.0);
        for (auto* combo : dialog->findChildren<QComboBox*>())
            if (combo->isEnabled() && combo->count() > 0 && Pick(2) == 0)
                combo->setCurrentIndex(Pick(combo->count()));
        for (auto* check : dialog->findChildren<QCheckBox*>())
            if (check->isEnabled() && Pick(4) == 0)
                check->click();
        std::vector<QAbstractButton*> buttons;
        for (auto* button : dialog->findChildren<QAbstractButton*>())
            if (button->isVisible() && button->isEnabled() && !qobject_cast<QCheckBox*>(button))
                buttons.push_back(button);
        const int choice = Pick(int(buttons.size()) + 2);
        Log(QStringLiteral("dialog '%1' -> %2").arg(dialog->windowTitle(),
                                                     choice < int(buttons.size()) ? buttons[choice]->text()
                                                     : choice == int(buttons.size()) ? QStringLiteral("(accept)")
                                                                                     : QStringLiteral("(reject)")));
        m_step.anyFileMayChange |= !ActiveDoc() || dialog->windowTitle().contains(QLatin1String("File"));
        if (choice < int(buttons.size()))
            buttons[choice]->click();
        else if (choice == int(buttons.size()))
            dialog->accept();
        else
            dialog->reject();
    }

    QString AnyText()
    {
        switch (Pick(8)) {
        case 0: return m_paths[Pick(int(m_paths.size()))];
        case 1: return QString::number(Pick(2000) - 200);
        case 2: return QString::number(std::uniform_real_distribution<double>(-10, 1000)(m_random));
        case 3: return QString();
        case 4: return QStringLiteral("%1 [*]? é 字 %s %n");
        case 5: return QString(5000, QLatin1Char('9'));
        case 6: return QStringLiteral("99999999999999999999");
        default: return QStringLiteral("  ");
        }
    }

    void LicenseModifiedDocuments()
    {
        for (CSMDIChildWnd* child : m_main.GetMDIChildren())
            if (auto* doc = dynamic_cast<CAmbrelDoc*>(child->GetActiveDocument()))
                m_step.licensed.insert(doc->ShownFilePath());
    }

    void Finish()
    {
        m_bFinished = true;
        Log("close the program");
        // The last save questions are answered No.
        CAmbrelDoc::s_pfnAskSaveChanges = [](const QString&) { return int(QMessageBox::No); };
        m_main.close();
        QApplication::quit();
    }

    // --- checks ----------------------------------------------------------------------------
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            if (auto* box = qobject_cast<QMessageBox*>(object))
                if (!box->text().contains(QLatin1String("already exists")))
                    m_step.messages.push_back(box->text());
        return false;
    }

    void CheckStep()
    {
        const Snapshot after = TakeSnapshot(m_strFolder);
        if (m_step.anyFileMayChange) {
            m_paths.clear();
            for (const auto& [path, hash] : after)
                m_paths.push_back(path);
            return;
        }
        std::set<QString> changed;
        for (const auto& [path, hash] : after) {
            auto old = m_step.before.find(path);
            if (old == m_step.before.end() || old->second != hash)
                changed.insert(path);
        }
        for (const auto& [path, hash] : m_step.before)
            if (!after.count(path))
                changed.insert(path);
        for (const QString& path : changed) {
            if (!m_step.licensed.count(path))
                Fault("a file changed that the user did not save: " + path);
            else if (IsProtected(path))
                Fault("a protected file was replaced: " + path);
        }
        for (const QString& path : m_step.saved)
            if (!changed.count(path) && m_step.messages.empty())
                Fault("a save wrote nothing and said nothing: " + path);
        for (const QString& path : changed) {
            CVelvix picture;
            if (after.count(path) && picture.ReadImage(nullptr, QFile::encodeName(path).constData()) != 1)
                Fault("a saved file does not read back: " + path);
            if (!m_paths.contains(path) && after.count(path))
                m_paths.push_back(path);
        }
    }

    // An effect undone gives back the picture before it; redone, the one after.
    void CheckUndo()
    {
        const bool sameDoc = m_step.doc && m_step.doc == ActiveDoc() && !IsBusy(m_step.doc);
        const QByteArray now = sameDoc ? PictureOf(m_step.doc) : QByteArray();
        const bool undo = m_step.command == cmd::ID_EDIT_UNDO, redo = m_step.command == cmd::ID_EDIT_REDO;
        // Undo, redo, undo...: each gives back the picture before or after the effect.
        if (sameDoc && m_edit.doc == m_step.doc && undo != m_edit.undone && (undo || redo)) {
            if (now != (undo ? m_edit.before : m_edit.after))
                Fault(QStringLiteral("%1 did not give back the picture").arg(undo ? "Undo" : "Redo"));
            m_edit.undone = undo;
            return;
        }
        m_edit = {};
        if (sameDoc && IsEffect(m_step.command) && now != m_step.pictureBefore)
            m_edit = {m_step.doc, m_step.pictureBefore, now, false};
    }

    static bool IsEffect(int command) { return FindEffectCommand(command) != nullptr; }

    static bool IsBusy(CAmbrelDoc* doc)
    {
        for (CSView* view : doc->GetViews())
            if (auto* image = dynamic_cast<CAmbrelView*>(view); image && image->EffectCommands().IsRunning())
                return true;
        return false;
    }

    static QByteArray PictureOf(CAmbrelDoc* doc)
    {
        if (!doc || !doc->Image().IsValidObject())
            return {};
        CVelvix& image = doc->Image();
        const qsizetype bytes = qsizetype(image.GetWidth()) * image.GetHeight() * qsizetype(sizeof(VxPixel));
        return QByteArray::number(image.GetWidth()) + 'x' + QByteArray::number(image.GetHeight()) +
               QCryptographicHash::hash(QByteArrayView(reinterpret_cast<const char*>(&image.Bytes(0)), bytes),
                                        QCryptographicHash::Md5);
    }

    static bool IsProtected(const QString& path)
    {
        return path.contains(QLatin1String("/protected/locked/")) || path.endsWith(QLatin1String("/readonly.png"));
    }

    void Fault(const QString& what)
    {
        ++m_nFaults;
        std::printf("FAULT at step %d: %s\n", m_nStep, qPrintable(what));
        std::fflush(stdout);
    }

    void Log(const QString& what)
    {
        std::printf("%d: %s\n", m_nStep, qPrintable(what));
        std::fflush(stdout);
    }

    CAmbrelDoc* ActiveDoc()
    {
        CSMDIChildWnd* child = m_main.MDIGetActive();
        return child ? dynamic_cast<CAmbrelDoc*>(child->GetActiveDocument()) : nullptr;
    }

    int Pick(int n) { return n <= 1 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(m_random); }

    struct StepRecord {
        Snapshot before;
        std::set<QString> licensed;
        bool anyFileMayChange = false;
        QString savedAs;
        std::set<QString> saved;  // saves the user asked for, to be written or refused aloud
        QStringList messages;
        QPointer<CAmbrelDoc> doc;  // the active picture as the step began
        QString pathBefore;
        int windowsBefore = 0;
        QByteArray pictureBefore;
        int command = 0;  // the menu command run, if any
    };
    struct EffectRecord {
        QPointer<CAmbrelDoc> doc;
        QByteArray before, after;
        bool undone = false;
    };

    CMainFrame& m_main;
    std::mt19937 m_random;
    int m_nStepsLeft;
    int m_nStep = 0;
    QString m_strFolder;
    QStringList m_paths;
    bool m_bFinished = false;
    StepRecord m_step;
    EffectRecord m_edit;  // the last effect, for the undo and redo after it
    int m_nDepth = 0;
    QElapsedTimer m_stepClock;
    int m_nFaults = 0;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <seed> <steps> <pictures folder> [picture]\n", argv[0]);
        return 2;
    }
    StartWatchdog(20);
    QApplication application(argc, argv);
    CAmbrelApp app;
    app.m_bShowSplash = false;
    QStringList arguments;
    if (argc > 4)
        arguments << QString::fromLocal8Bit(argv[4]);
    if (!app.InitInstance(arguments))
        return app.ExitInstance(1);
    Monkey monkey(*app.GetMainFrame(), unsigned(std::stoul(argv[1])), std::stoi(argv[2]), QString::fromLocal8Bit(argv[3]));
    app.Run();
    std::printf("%s\n", monkey.Faults() ? "FAULTS" : "CLEAN");
    return monkey.Faults() ? 1 : 0;
}
