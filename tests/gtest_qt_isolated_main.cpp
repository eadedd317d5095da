// GoogleTest main for tests of the program's windows: offscreen, and with a
// temporary HOME and XDG folders so that no test touches real settings.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/ambrel-home-XXXXXX"));
    if (!home.isValid())
        return 2;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/.cache")).toUtf8());
    // The program's update check knocks at a closed local port, never outside.
    qputenv("AMBREL_UPDATE_SERVER", "http://127.0.0.1:9/");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Velvix"));
    QCoreApplication::setApplicationName(QStringLiteral("Ambrel"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
