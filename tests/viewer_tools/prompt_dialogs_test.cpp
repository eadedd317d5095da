#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include "choice_dialog.h"
#include "enter_value_dialog.h"
#include "resample_dialog.h"


TEST(EnterValue, IntegerInsideTheRangeIsAccepted)
{
    CEnterValueDialog dialog(QStringLiteral("Enter the value of pixels to be shifted"), 15, 1, 1000);
    EXPECT_FALSE(dialog.IsDouble());
    EXPECT_EQ(dialog.Field()->text(), QStringLiteral("15"));
    dialog.Field()->setText(QStringLiteral("1000"));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.IntValue(), 1000);
}

namespace {

// Presses OK with the text typed; returns the warning shown (accepting it).
QString AcceptTyped(CEnterValueDialog& dialog, const char* typed)
{
    dialog.show();
    dialog.Field()->setText(QString::fromLatin1(typed));
    QString shown;
    QTimer::singleShot(0, [&shown] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                shown = box->text();
                box->accept();
            }
    });
    dialog.accept();
    return shown;
}

} // namespace

TEST(EnterValue, OutOfRangeOrGarbageKeepsTheDialogOpen)
{
    for (const char* typed : {"0", "1001", "abc", "", "-", "2147483648", "1e3", "1,000", "nan"}) {
        CEnterValueDialog dialog(QStringLiteral("prompt"), 15, 1, 1000);
        const QString shown = AcceptTyped(dialog, typed);
        EXPECT_TRUE(dialog.isVisible()) << typed;
        EXPECT_NE(dialog.result(), QDialog::Accepted) << typed;
        EXPECT_FALSE(shown.isEmpty()) << typed;
        EXPECT_EQ(dialog.IntValue(), 15) << "the value is unchanged";
    }
    // Not a number lies in no range.
    for (const char* typed : {"nan", "NaN", "-nan", "inf", "-inf", "1,3", "-", "", "0.0999", "30.0001", "1e400"}) {
        CEnterValueDialog dialog(QStringLiteral("prompt"), 1.3, 0.1, 30.0);
        const QString shown = AcceptTyped(dialog, typed);
        EXPECT_TRUE(dialog.isVisible()) << typed;
        EXPECT_FALSE(shown.isEmpty()) << typed;
        EXPECT_EQ(dialog.DoubleValue(), 1.3) << typed << ": the value is unchanged";
    }
}

TEST(EnterValue, DoubleFormIsChosenByANonZeroInitialValue)
{
    CEnterValueDialog gamma(QStringLiteral("Enter the value of the gamma correction"), 1.3, 0.1, 30.0);
    EXPECT_TRUE(gamma.IsDouble());
    EXPECT_EQ(gamma.Field()->text(), QStringLiteral("1.3"));
    gamma.Field()->setText(QStringLiteral("0.1"));
    gamma.accept();
    EXPECT_EQ(gamma.result(), QDialog::Accepted);
    EXPECT_DOUBLE_EQ(gamma.DoubleValue(), 0.1);

    CEnterValueDialog zero(QStringLiteral("p"), 0.0, 0.0, 10.0);
    EXPECT_FALSE(zero.IsDouble()) << "a zero double falls back to the integer form";
}

TEST(EnterValue, EqualBoundsMeanNoRange)
{
    CEnterValueDialog dialog(QStringLiteral("p"), 5, 0, 0);
    dialog.Field()->setText(QStringLiteral("-77"));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.IntValue(), -77);
}

TEST(ChoiceDialog, OffersTheEntriesAndStartsOnTheFirst)
{
    CChoiceDialog dialog(QStringLiteral("Enter the Interpolation method to be used"),
                         {QStringLiteral("Bilinear"), QStringLiteral("B-Spline")});
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Choose"));
    EXPECT_EQ(dialog.Choice(), 0);
    dialog.List()->setCurrentIndex(1);
    EXPECT_EQ(dialog.Choice(), 1);
}

TEST(ResampleDialog, LockedWidthDrivesTheHeight)
{
    CResampleDialog dialog(200, 100);
    EXPECT_TRUE(dialog.LockBox()->isChecked());
    EXPECT_EQ(dialog.FilterList()->currentIndex(), 0);
    dialog.NewWidthField()->clear();
    QTest::keyClicks(dialog.NewWidthField(), QStringLiteral("50"));
    EXPECT_DOUBLE_EQ(dialog.WidthRatio(), 0.25);
    EXPECT_DOUBLE_EQ(dialog.HeightRatio(), 0.25);
    EXPECT_EQ(dialog.NewHeightField()->text(), QStringLiteral("25"));
    EXPECT_EQ(dialog.NewWidthField()->text(), QStringLiteral("50")) << "the typed field is not rewritten";
    dialog.FilterList()->setCurrentIndex(1);
    dialog.accept();
    EXPECT_EQ(dialog.NewWidth(), 50);
    EXPECT_EQ(dialog.NewHeight(), 25);
    EXPECT_EQ(dialog.Filter(), 1);
}

TEST(ResampleDialog, RatiosAndUnlockedEditing)
{
    CResampleDialog dialog(300, 201);
    dialog.HeightRatioField()->clear();
    QTest::keyClicks(dialog.HeightRatioField(), QStringLiteral("0.5"));
    EXPECT_EQ(dialog.NewHeightField()->text(), QStringLiteral("100")) << "201 x 0.5 truncates";
    EXPECT_EQ(dialog.NewWidthField()->text(), QStringLiteral("150"));

    dialog.LockBox()->setChecked(false);
    dialog.NewWidthField()->clear();
    QTest::keyClicks(dialog.NewWidthField(), QStringLiteral("600"));
    EXPECT_DOUBLE_EQ(dialog.WidthRatio(), 2.0);
    EXPECT_EQ(dialog.NewHeightField()->text(), QStringLiteral("100")) << "unlocked: the height stays";
}

TEST(ResampleDialog, ComputedSidesBeyondAnIntStopAtItsEnds)
{
    // Typed into the field, on a 1 x 40000 picture with the lock on: what the other fields then show.
    struct Case {
        const char* typed;
        bool ratio;  // into the width ratio, else into the new width
        const char *width, *height;
    };
    for (const Case& c : {Case{"1e300", true, "2.14748e+09", "2.14748e+09"}, Case{"inf", true, "2.14748e+09", "2.14748e+09"},
                          Case{"-1e300", true, "-2.14748e+09", "-2.14748e+09"}, Case{"nan", true, "0", "0"},
                          Case{"65535", false, "65535", "2.14748e+09"}}) {
        CResampleDialog dialog(1, 40000);
        QLineEdit* field = c.ratio ? dialog.WidthRatioField() : dialog.NewWidthField();
        field->clear();
        QTest::keyClicks(field, QString::fromLatin1(c.typed));
        EXPECT_EQ(dialog.NewWidthField()->text(), QString::fromLatin1(c.width)) << c.typed;
        EXPECT_EQ(dialog.NewHeightField()->text(), QString::fromLatin1(c.height)) << c.typed;
    }
}

TEST(ResampleDialog, RefusesAnEmptyPicture)
{
    CResampleDialog dialog(200, 100);
    dialog.show();
    dialog.NewWidthField()->setText(QStringLiteral("0"));
    QTimer::singleShot(0, [] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
                box->accept();
    });
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.NewWidth(), 200);
}

TEST(ResampleDialog, RefusesSizesTheLibraryRefuses)
{
    struct Case {
        const char *width, *height;
        bool accepted;
    };
    for (const Case& c : {Case{"16384", "16384", true}, Case{"16385", "16384", false}, Case{"65535", "4096", true},
                          Case{"65535", "4097", false}, Case{"65536", "1", false}, Case{"40000", "40000", false}}) {
        CResampleDialog dialog(200, 100);
        dialog.LockBox()->setChecked(false);
        dialog.NewWidthField()->setText(QString::fromLatin1(c.width));
        dialog.NewHeightField()->setText(QString::fromLatin1(c.height));
        bool warned = false;
        QTimer::singleShot(0, [&warned] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                    warned = true;
                    box->accept();
                }
        });
        dialog.accept();
        QApplication::processEvents();
        EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted) << c.width << " x " << c.height;
        EXPECT_EQ(warned, !c.accepted) << c.width << " x " << c.height;
        EXPECT_EQ(dialog.NewWidth(), c.accepted ? QString::fromLatin1(c.width).toInt() : 200);
    }
}
