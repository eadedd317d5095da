#include "support/full_screen_window.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>

CVxFullScreenWnd::CVxFullScreenWnd(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::black);
    setPalette(colours);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
}

void CVxFullScreenWnd::ShowOnScreenOf(QWidget* reference)
{
    QScreen* screen = reference && reference->screen() ? reference->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        setGeometry(screen->geometry());
        if (windowHandle())
            windowHandle()->setScreen(screen);
    }
    showFullScreen();
    raise();
    activateWindow();
    setFocus();
}

void CVxFullScreenWnd::keyPressEvent(QKeyEvent* event)
{
    emit KeyPressed(event->key(), event->modifiers());
    event->accept();
}

void CVxFullScreenWnd::mousePressEvent(QMouseEvent* event)
{
    emit MouseClicked(event->button());
    event->accept();
}
