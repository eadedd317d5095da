#include "support/splash_window.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimer>

#include "image/velvix.h"
#include "support/bitmap_resource.h"

CVxSplashDialog::CVxSplashDialog(const QImage& picture, const QRegion& shape, const QString& text, int displayTime)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_picture(picture), m_nDisplayTime(displayTime)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(text);
    setFixedSize(picture.size());
    if (!shape.isEmpty())
        setMask(shape);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

bool CVxSplashDialog::DoSplash(QWidget* parent, unsigned bitmapId, const QString& text, int displayTime,
                               unsigned long keyColor)
{
    CVelvix bitmap;
    if (!VxLoadResourceBitmap(bitmapId, bitmap))
        return false;
    QImage picture(bitmap.GetWidth(), bitmap.GetHeight(), QImage::Format_RGB32);
    {
        QPainter painter(&picture);
        bitmap.Draw(&painter);
    }
    // The key colour is given as red in the low byte (0x00BBGGRR).
    const VxPixel key = VxPixel(((keyColor & 0xFF) << 16) | (keyColor & 0xFF00) | ((keyColor >> 16) & 0xFF));
    CVxSplashDialog splash(picture, bitmap.CreateRegion(key, true), text, displayTime);
    if (parent)
        splash.move(parent->geometry().center() - splash.rect().center());
    splash.Run();
    return true;
}

void CVxSplashDialog::Run()
{
    QEventLoop loop;
    QPointer<CVxSplashDialog> self(this);
    connect(this, &CVxSplashDialog::Faded, &loop, [&loop](int step, int) {
        if (step >= kFadeSteps)
            loop.quit();
    });
    setWindowOpacity(1.0);
    show();
    raise();
    QTimer::singleShot(m_nDisplayTime, this, &CVxSplashDialog::_StartFade);
    loop.exec();
    if (self)
        close();
}

void CVxSplashDialog::_StartFade()
{
    auto* timer = new QTimer(this);
    timer->setInterval(kFadeInterval);
    connect(timer, &QTimer::timeout, this, [this, timer] {
        _FadeStep();
        if (m_nStep >= kFadeSteps)
            timer->stop();
    });
    timer->start();
}

void CVxSplashDialog::_FadeStep()
{
    ++m_nStep;
    const int alpha = FadeAlpha(m_nStep);
    setWindowOpacity(alpha / 255.0);
    emit Faded(m_nStep, alpha);
}

void CVxSplashDialog::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_picture);
}
