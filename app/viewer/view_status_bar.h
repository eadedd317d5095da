#pragma once

#include <QStatusBar>
#include <QString>

class QLabel;
class QSlider;
class QToolButton;

// The status bar of an image window: position, zoom, cursor, time and
// selection panes, the information and quick-open buttons, the group menu
// button and the position slider.
class CAmbrelViewStatusBar : public QStatusBar {
    Q_OBJECT
public:
    enum Pane { kPosition = 0, kZoom, kCursor, kTime, kSelection, kPaneCount };
    enum : int {
        kSliderId = 102,
        kGroupButtonId = 105,
        kInfoButtonId = 109,
        kQuickOpenButtonId = 110,
    };

    explicit CAmbrelViewStatusBar(QWidget* parent = nullptr);

    void SetPaneText(int pane, const QString& text);
    QString GetPaneText(int pane) const;
    QSlider* GetSlider() const { return m_pSlider; }
    QToolButton* GetButton(int id) const;

signals:
    // One of the buttons was pressed (its command id).
    void ButtonCommand(int id);

private:
    QLabel* m_Panes[kPaneCount];
    QSlider* m_pSlider;
    QToolButton* m_pGroupButton;
    QToolButton* m_pInfoButton;
    QToolButton* m_pQuickOpenButton;
};
