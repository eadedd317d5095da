#pragma once

#include <QWidget>

#include "velvix_export.h"

// A borderless window that covers the whole screen of another window, on a
// black background; a key press or a click is reported to the owner.
class VELVIX_EXPORT CVxFullScreenWnd : public QWidget {
    Q_OBJECT
public:
    explicit CVxFullScreenWnd(QWidget* parent = nullptr);

    // Covers the screen that `reference` is on (the primary one when null).
    void ShowOnScreenOf(QWidget* reference);

signals:
    void KeyPressed(int key, Qt::KeyboardModifiers modifiers);
    void MouseClicked(Qt::MouseButton button);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};
