#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>

#include "velvix_export.h"

// Fetches one small document over HTTP or HTTPS on a worker thread, so that
// no window waits for the network, and then posts `message` to the window
// (a CVxMessageEvent): first parameter 1 on success and 0 on failure, the
// second the caller's parameter. One download runs at a time; its state is
// class-wide.
class VELVIX_EXPORT CGetHTTPFile {
public:
    // A larger document, or one that takes longer as a whole, is a failure.
    static constexpr qint64 kMaxDocumentSize = 64 * 1024;
    static constexpr int kTimeLimitMs = 10000;

    // Starts the download and returns at once; call it on the window's
    // thread. false when a download is still running, or when the window or
    // message cannot receive the completion: then nothing is posted.
    static bool GetFile(const QString& url, QObject* window, unsigned message, std::intptr_t parameter = 0);
    // The last document fetched successfully (a failure leaves it as it was).
    static QString GetResult();
    // From GetFile until its completion has been posted.
    static bool IsBusy();
    // Ends a running download without a completion and waits for its thread.
    static void Stop();

private:
    static void ClientUrlThreadProc(std::intptr_t parameter, quint64 download);
    static void _Complete(bool succeeded, std::intptr_t parameter, quint64 download);

    static QString m_strURL;
    static QPointer<QObject> m_hWnd;
    static unsigned m_nMessage;
    static QString m_strResult;
};
