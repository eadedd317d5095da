#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

#include "effect_runner.h"
#include "encode_text_dialog.h"
#include "image/velvix_buffer.h"
#include "qt_test_support.h"
#include "test_support.h"

// While set, every operator new above this many bytes on the window's thread
// fails, as in a process at the end of its memory (the bars' tests use it too).
std::atomic<std::size_t> g_newLimit{0};
std::thread::id g_limitedThread;

// From malloc, as the standard library's own: its delete frees these too.
void* operator new(std::size_t size)
{
    if (const std::size_t limit = g_newLimit.load(std::memory_order_relaxed);
        limit && size > limit && std::this_thread::get_id() == g_limitedThread)
        throw std::bad_alloc();
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

#include "operator_new_companions.h"

namespace {

using vxtest::WhenShown;

struct Shown {
    QString title, text, details;
    Qt::TextFormat format = Qt::AutoText;
    bool fits = false;
};

// Answers the encode dialog with `text`, then records the next message box.
void EncodeThroughTheDialog(CVelvixBuffer& ring, const VxRect* selection, CLastEffect& last, const QString& text)
{
    WhenShown<CEncodeTextDialog>([text](CEncodeTextDialog* dialog) {
        QTest::keyClicks(dialog->Field(), text);
        dialog->accept();
    });
    ASSERT_TRUE(EncodeTextCommand(ring, selection, last, nullptr));
}

Shown DecodeThroughTheMessageBox(CVelvixBuffer& ring, const VxRect* selection)
{
    Shown shown;
    WhenShown<QMessageBox>([&shown](QMessageBox* box) {
        const QSize screen = box->screen()->availableSize();
        shown = {box->windowTitle(), box->text(), box->detailedText(), box->textFormat(),
                 box->width() <= screen.width() && box->height() <= screen.height()};
        box->accept();
    });
    DecodeTextCommand(ring, selection, nullptr);
    return shown;
}

CVelvixBuffer LoadedRing(int w, int h)
{
    CVelvixBuffer ring(21);
    *ring = vxtest::RandomImage(w, h, 5);
    return ring;
}

} // namespace

TEST(HiddenTextCommands, EncodeThenDecodeRoundTrip)
{
    CVelvixBuffer ring = LoadedRing(128, 128);
    CLastEffect last{166, QStringLiteral("Shift Blur")};
    EncodeThroughTheDialog(ring, nullptr, last, QStringLiteral("Meet at noon"));
    EXPECT_EQ(ring.GetUndoCount(), 1) << "encoding is one undo step";
    EXPECT_FALSE(last.Exists()) << "encoding clears the last command";
    EXPECT_EQ(DecodeThroughTheMessageBox(ring, nullptr).text, QStringLiteral("Meet at noon"));
}

TEST(HiddenTextCommands, DecodedTextIsShownAsItIsAndALongOneFitsOnTheScreen)
{
    QString lines, returns;
    for (int i = 0; i < 400; ++i) {
        lines += QStringLiteral("line %1\n").arg(i);
        returns += QStringLiteral("line %1\r").arg(i);
    }
    const QString cases[] = {
        QStringLiteral("<b>not bold</b> & <img src=\"picture.png\">"),
        QStringLiteral("a\nb\r\n\u00e9"),
        lines,
        returns,
        QString(3000, QLatin1Char('w')),
    };
    CVelvixBuffer ring = LoadedRing(1000, 1000);
    for (const QString& text : cases) {
        SCOPED_TRACE(text.left(40).toStdString());
        const QByteArray bytes = text.toLatin1();
        ASSERT_TRUE(ring->EncodeText(std::string(bytes.constData(), std::size_t(bytes.size()))));
        const Shown shown = DecodeThroughTheMessageBox(ring, nullptr);
        EXPECT_EQ(shown.format, Qt::PlainText);
        EXPECT_TRUE(shown.fits);
        // The whole text is there, in the box or under its details (whose
        // field ends every line with '\n').
        auto lines = [](QString s) {
            return s.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace('\r', '\n');
        };
        if (shown.details.isEmpty())
            EXPECT_EQ(shown.text, text);
        else
            EXPECT_EQ(lines(shown.details), lines(text));
        EXPECT_TRUE(text.startsWith(shown.text.chopped(shown.details.isEmpty() ? 0 : 3)));
    }
}

TEST(HiddenTextCommands, TextInASelectionIsReadFromTheSameSelection)
{
    CVelvixBuffer ring = LoadedRing(100, 100);
    const VxRect selection{10, 10, 74, 74};  // 64 x 64: room for 8 characters
    CLastEffect last;
    EncodeThroughTheDialog(ring, &selection, last, QStringLiteral("corner"));
    EXPECT_EQ(DecodeThroughTheMessageBox(ring, &selection).text, QStringLiteral("corner"));
}

TEST(HiddenTextCommands, AnImageWithoutTextSaysSo)
{
    CVelvixBuffer ring = LoadedRing(64, 64);
    const Shown shown = DecodeThroughTheMessageBox(ring, nullptr);
    EXPECT_EQ(shown.title, QStringLiteral("Image not encoded"));
    EXPECT_EQ(shown.text, QStringLiteral("This image does not appear to contain encoded text..."));
}

TEST(HiddenTextCommands, EncodingTwiceWarnsAndGoesOn)
{
    CVelvixBuffer ring = LoadedRing(64, 64);
    CLastEffect last;
    EncodeThroughTheDialog(ring, nullptr, last, QStringLiteral("first"));
    QString warning;
    WhenShown<QMessageBox>([&warning](QMessageBox* box) {
        warning = box->windowTitle();
        box->accept();
        WhenShown<CEncodeTextDialog>([](CEncodeTextDialog* dialog) {
            QTest::keyClicks(dialog->Field(), QStringLiteral("second"));
            dialog->accept();
        });
    });
    ASSERT_TRUE(EncodeTextCommand(ring, nullptr, last, nullptr));
    EXPECT_EQ(warning, QStringLiteral("Image already encoded"));
    EXPECT_EQ(DecodeThroughTheMessageBox(ring, nullptr).text, QStringLiteral("second"));
}

TEST(HiddenTextCommands, DialogLimitsTheTextToTheCapacityAndCountsIt)
{
    CEncodeTextDialog dialog(5);
    QTest::keyClicks(dialog.Field(), QStringLiteral("abcdefgh"));
    EXPECT_EQ(dialog.Text(), QStringLiteral("abcde"));
    EXPECT_EQ(dialog.TypedLabel()->text(), QStringLiteral("5"));
}

TEST(HiddenTextCommands, TheDialogGivesTheTextAsTyped)
{
    CEncodeTextDialog dialog(50);
    for (const QString& text : {QStringLiteral("a\u00a0b"), QStringLiteral("line\nnext\ttab \u00e9")}) {
        dialog.Field()->setPlainText(text);
        EXPECT_EQ(dialog.Text(), text);
    }
}

TEST(HiddenTextCommands, TooSmallAnImageDoesNothing)
{
    // 32 x 32 leaves no room after the marker, 48 x 48 blocks for one character.
    for (int side : {32, 48}) {
        CVelvixBuffer ring = LoadedRing(side, side);
        ASSERT_LE(ring->GetEncodeTextCapacity(), 1);  // room for at most one character
        CLastEffect last;
        last.id = 144;
        bool asked = false;
        WhenShown<CEncodeTextDialog>([&asked](CEncodeTextDialog* dialog) {
            asked = true;
            dialog->reject();
        });
        EXPECT_FALSE(EncodeTextCommand(ring, nullptr, last, nullptr)) << side;
        QApplication::processEvents();
        EXPECT_FALSE(asked) << side;
        EXPECT_EQ(ring.GetUndoCount(), 0) << side;
        EXPECT_TRUE(last.Exists()) << side;
    }
}

TEST(HiddenTextCommands, CharactersBeyondLatin1AreRefusedWithAMessage)
{
    CVelvixBuffer ring = LoadedRing(120, 90);
    const CVelvix before = *ring;
    CLastEffect last;
    last.id = 144;
    Shown shown;
    WhenShown<CEncodeTextDialog>([&shown](CEncodeTextDialog* dialog) {
        dialog->Field()->setPlainText(QStringLiteral("caf\u00e9 \u03a9 \u4e2d"));
        dialog->accept();
        WhenShown<QMessageBox>([&shown](QMessageBox* box) {
            shown = {box->windowTitle(), box->text()};
            box->accept();
        });
    });
    EXPECT_FALSE(EncodeTextCommand(ring, nullptr, last, nullptr));
    EXPECT_EQ(shown.text, QString::fromLatin1(kEncodeTextLatin1Only).arg(QChar(0x03a9)));
    EXPECT_EQ(ring.GetUndoCount(), 0);
    EXPECT_EQ(vxtest::FirstDifference(*ring, const_cast<CVelvix&>(before)), -1);
    EXPECT_TRUE(last.Exists()) << "nothing was encoded";
}

// Looking for the hidden text takes memory on the window's thread (the text
// read, the selected part): without it both commands say so and change
// nothing, neither the picture nor the steps to undo and redo.
TEST(HiddenTextCommands, WantOfMemoryIsReportedAndChangesNothing)
{
    CVelvixBuffer ring = LoadedRing(2400, 2200);
    ASSERT_TRUE(ring->EncodeText(std::string(20000, 'x')));  // read into 32 KB and more
    ring.MakeCopy();
    ring->Negative();
    ring.Undo();  // a step to redo
    const CVelvix before = *ring;
    const VxRect whole{0, 0, 2400, 2200};
    g_limitedThread = std::this_thread::get_id();
    for (const bool encode : {false, true})
        for (const VxRect* selection : {static_cast<const VxRect*>(nullptr), &whole})
            for (const std::size_t limit : {std::size_t(0), std::size_t(16384)}) {
                SCOPED_TRACE(testing::Message() << (encode ? "encode" : "decode") << (selection ? " selection" : "")
                                                << " limit " << limit);
                CLastEffect last{166, QStringLiteral("Shift Blur")};
                QString shown;
                bool asked = false;
                WhenShown<QMessageBox>([&shown, &asked](QMessageBox* box) {
                    shown = box->text();
                    box->accept();
                    WhenShown<CEncodeTextDialog>([&asked](CEncodeTextDialog* dialog) {
                        asked = true;
                        dialog->reject();
                    });
                });
                g_newLimit = limit;
                if (encode)
                    EXPECT_FALSE(EncodeTextCommand(ring, selection, last, nullptr));
                else
                    DecodeTextCommand(ring, selection, nullptr);
                g_newLimit = 0;
                QApplication::processEvents();
                if (limit)
                    EXPECT_EQ(shown, QString::fromLatin1(kTextShortOfMemory));
                else
                    EXPECT_TRUE(shown.startsWith(encode ? QStringLiteral("This image already contains")
                                                        : QStringLiteral("xxxxxxxx")))
                        << shown.toStdString();
                EXPECT_EQ(asked, encode && !limit);
                EXPECT_EQ(vxtest::FirstDifference(*ring, const_cast<CVelvix&>(before)), -1);
                EXPECT_EQ(ring.GetUndoCount(), 0);
                EXPECT_EQ(ring.GetRedoCount(), 1);
                EXPECT_TRUE(last.Exists());
            }
}
