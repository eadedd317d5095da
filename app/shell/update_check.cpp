#include "shell/update_check.h"

#include <QDesktopServices>
#include <QEvent>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <charconv>
#include <cmath>

#include "message_text.h"
#include "settings/general_settings.h"
#include "support/http_file.h"

// Placeholders until the product has its own server; the About box shows the
// same page.
const char* const CUpdateCheck::kServer = "http://update.example.org/";
const char* const CUpdateCheck::kServerVariable = "AMBREL_UPDATE_SERVER";
const char* const CUpdateCheck::kDownloadPage = "https://example.org/ambrel";
const char* const CUpdateCheck::kCaption = "Automatic Update";

namespace {

// The text between the first opening and the first closing tag; nothing when
// either is missing or the closing one comes first.
std::optional<QString> Between(const QString& text, QLatin1String open, QLatin1String close)
{
    const qsizetype start = text.indexOf(open);
    const qsizetype end = text.indexOf(close);
    if (start < 0 || end < start + open.size())
        return std::nullopt;
    return text.mid(start + open.size(), end - start - open.size());
}

// The leading decimal number, the rest ignored; 0 without one. Independent of
// the user's locale, which may write the decimal point as a comma.
double LeadingNumber(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    const char* first = bytes.constData();
    const char* last = first + bytes.size();
    while (first < last && (*first == ' ' || (*first >= '\t' && *first <= '\r')))
        ++first;
    if (first < last && *first == '+')
        ++first;
    double value = 0;
    if (std::from_chars(first, last, value).ec != std::errc() || !std::isfinite(value))
        return 0;
    return value;
}

// The browser is handed web pages only, never a local file or a program.
bool IsWebPage(const QUrl& url)
{
    return url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) &&
           !url.host().isEmpty();
}

} // namespace

QString CUpdateCheck::ServerUrl()
{
    const QString other = qEnvironmentVariable(kServerVariable);
    return other.isEmpty() ? QString::fromLatin1(kServer) : other;
}

std::optional<SUpdateOffer> CUpdateCheck::ReadOffer(const QString& document)
{
    const std::optional<QString> version =
        Between(document, QLatin1String("<version>"), QLatin1String("</version>"));
    if (!version || !(LeadingNumber(*version) > kOwnVersion))
        return std::nullopt;
    SUpdateOffer offer{*version, QString::fromLatin1(kDownloadPage), QString()};
    if (const auto link = Between(document, QLatin1String("<url>"), QLatin1String("</url>"));
        link && IsWebPage(QUrl(link->trimmed())))
        offer.strLink = link->trimmed();
    if (const auto info = Between(document, QLatin1String("<info>"), QLatin1String("</info>")))
        offer.strInfo = *info;
    return offer;
}

QString CUpdateCheck::Question(const SUpdateOffer& offer)
{
    // However long the server's texts, the box and its buttons stay on the
    // screen.
    const QString version = MessageExcerpt(offer.strVersion, 100, 3);
    const QString keep = QStringLiteral("\n(you can disable Automatic Update from the general settings)");
    if (offer.strInfo.isEmpty())
        return QStringLiteral("A newer version of Ambrel exist [") + version +
               QStringLiteral("] Would you like to go to the download page now?") + keep;
    return QStringLiteral("A newer version of Ambrel exists [") + version + QStringLiteral("] \n\n") +
           MessageExcerpt(offer.strInfo, 500, 12) + QStringLiteral("\n\nwould you like to go to the download page now?") +
           keep;
}

CUpdateCheck::CUpdateCheck(QWidget* frame, int message) : QObject(frame), m_pFrame(frame), m_nMessage(message)
{
    // Nothing reaches the network before the window is on the screen.
    if (GeneralSettings.bCheckForNewVersion && frame)
        frame->installEventFilter(this);
}

CUpdateCheck::~CUpdateCheck()
{
    if (m_bRunning)
        CGetHTTPFile::Stop();
}

bool CUpdateCheck::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pFrame && event->type() == QEvent::Show) {
        watched->removeEventFilter(this);
        // After the first paint.
        QTimer::singleShot(0, this, &CUpdateCheck::_Start);
    }
    return false;
}

void CUpdateCheck::_Start()
{
    if (m_pFrame)
        m_bRunning = CGetHTTPFile::GetFile(ServerUrl(), m_pFrame, unsigned(m_nMessage));
}

void CUpdateCheck::OnReply(bool succeeded)
{
    if (!m_bRunning)
        return;
    m_bRunning = false;
    if (!succeeded)
        return;
    const std::optional<SUpdateOffer> offer = ReadOffer(CGetHTTPFile::GetResult());
    if (!offer)
        return;
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kCaption), Question(*offer),
                    QMessageBox::Yes | QMessageBox::No, m_pFrame);
    // The server's words are shown as they are, never as markup.
    box.setTextFormat(Qt::PlainText);
    if (box.exec() == QMessageBox::Yes)
        QDesktopServices::openUrl(QUrl(offer->strLink));
}
