#pragma once

#include <QImage>
#include <QRegion>
#include <QString>
#include <QWidget>

#include "velvix_export.h"

// A borderless window in the shape of its bitmap (the key colour cut away),
// fully opaque for the display time, then fading out step by step.
class VELVIX_EXPORT CVxSplashDialog : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFadeSteps = 30;
    static constexpr int kFadeInterval = 50; // ms between two steps
    static constexpr int kFadeDelta = 8;     // opacity lost per step, of 255

    CVxSplashDialog(const QImage& picture, const QRegion& shape, const QString& text, int displayTime);

    // Shows the splash of bitmap resource `bitmapId` and returns once it has
    // closed. false when the bitmap cannot be loaded (nothing is shown).
    static bool DoSplash(QWidget* parent, unsigned bitmapId, const QString& text, int displayTime,
                         unsigned long keyColor);

    // Opacity (0..255) after `step` fade steps.
    static int FadeAlpha(int step) { return 255 - kFadeDelta * step; }
    int GetFadeStep() const { return m_nStep; }
    // Runs until closed (the splash's own event loop).
    void Run();

signals:
    void Faded(int step, int alpha);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void _StartFade();
    void _FadeStep();

    QImage m_picture;
    int m_nDisplayTime;
    int m_nStep = 0;
};
