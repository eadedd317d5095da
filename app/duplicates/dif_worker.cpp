#include "duplicates/dif_worker.h"

#include <QCoreApplication>

#include <chrono>

CDIFWorker::~CDIFWorker()
{
    if (m_thread.joinable())
        m_thread.join();
}

bool CDIFWorker::Start(std::function<void()> body, EThreadRefusal* refused)
{
    Finish();
    m_bEnded = false;
    try {
        m_thread = std::thread([this, body = std::move(body)] {
            body();
            m_bEnded = true;
        });
    } catch (const std::system_error&) {
        if (refused)
            *refused = VxWhyThreadRefused();
        m_bEnded = true;
        return false;
    }
    return true;
}

void CDIFWorker::Stop(std::atomic<int>& stopRequests)
{
    ++stopRequests;
    while (m_thread.joinable() && !m_bEnded) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Finish();
    stopRequests = 0;
}

void CDIFWorker::Finish()
{
    if (m_thread.joinable())
        m_thread.join();
}
