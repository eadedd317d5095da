#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class QWidget;

// What a version document offers: a newer version, the page to open and an
// optional description.
struct SUpdateOffer {
    QString strVersion;
    QString strLink;
    QString strInfo;
};

// The check for a newer version at start-up: once the main frame has been
// shown it fetches the version document in the background, and a reply that
// names a newer version asks whether to open the download page.
class CUpdateCheck : public QObject {
public:
    // The update server's root address, unless the environment variable
    // names another one.
    static const char* const kServer;
    static const char* const kServerVariable;
    // The product's download page, when the document names none.
    static const char* const kDownloadPage;
    // This program's version, 1.5.1, written as a decimal number.
    static constexpr double kOwnVersion = 1.51;
    static const char* const kCaption;

    static QString ServerUrl();
    // The offer of a version document, or nothing when it offers no newer
    // version.
    static std::optional<SUpdateOffer> ReadOffer(const QString& document);
    static QString Question(const SUpdateOffer& offer);

    // With the setting on, starts the download once `frame` is shown; the
    // completion comes to `frame` as `message`.
    CUpdateCheck(QWidget* frame, int message);
    // A download still running for this check is stopped.
    ~CUpdateCheck() override;

    // The frame's handling of the completion.
    void OnReply(bool succeeded);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void _Start();

    QPointer<QWidget> m_pFrame;
    int m_nMessage;
    bool m_bRunning = false;
};
