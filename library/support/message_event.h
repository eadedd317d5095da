#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <cstdint>

#include "velvix_export.h"

// A private window message as a Qt event: the event type is the message
// number (0x8001 and above are valid user types), with the two parameters.
class VELVIX_EXPORT CVxMessageEvent : public QEvent {
public:
    CVxMessageEvent(int message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0)
        : QEvent(QEvent::Type(message)), m_wParam(wParam), m_lParam(lParam)
    {
    }

    int Message() const { return int(type()); }

    std::uintptr_t m_wParam;
    std::intptr_t m_lParam;
    std::intptr_t m_lResult = 0;
};

// Delivers at once and gives the receiver's result.
inline std::intptr_t VxSendMessage(QObject* target, int message, std::uintptr_t wParam = 0,
                                   std::intptr_t lParam = 0)
{
    if (!target)
        return 0;
    CVxMessageEvent event(message, wParam, lParam);
    QCoreApplication::sendEvent(target, &event);
    return event.m_lResult;
}

// Queues for the receiver's thread; safe from worker threads.
inline void VxPostMessage(QObject* target, int message, std::uintptr_t wParam = 0,
                          std::intptr_t lParam = 0)
{
    if (target)
        QCoreApplication::postEvent(target, new CVxMessageEvent(message, wParam, lParam));
}

// Sends to the window and every widget below it, parents before children.
inline void VxSendMessageToDescendants(QWidget* window, int message, std::uintptr_t wParam = 0,
                                       std::intptr_t lParam = 0)
{
    if (!window)
        return;
    VxSendMessage(window, message, wParam, lParam);
    for (QWidget* child : window->findChildren<QWidget*>())
        VxSendMessage(child, message, wParam, lParam);
}
