#include "viewer/view_status_bar.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QStyle>
#include <QTextStream>
#include <QToolButton>

#include "shell/messages.h"
#include "support/message_event.h"

namespace {

// The sample texts that size the panes.
const char* const kSamples[CAmbrelViewStatusBar::kPaneCount] = {
    "100000/100000 :GroupName", "10000%", "1000.1000", "999:9999 ms", "1000.1000 | 1000.1000"};

// With AMBREL_STATUS_LOG set, every pane change is appended to that file, so
// that tests driving the real program can read what the status bar shows.
void LogPane(int pane, const QString& text)
{
    static const QString path = qEnvironmentVariable("AMBREL_STATUS_LOG");
    if (path.isEmpty())
        return;
    QFile file(path);
    if (file.open(QIODevice::Append | QIODevice::Text))
        QTextStream(&file) << pane << '\t' << text << '\n';
}

QToolButton* MakeButton(QWidget* parent, const QString& tip, QStyle::StandardPixmap icon)
{
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setToolTip(tip);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setIconSize(QSize(14, 14));
    button->setFixedSize(18, 16);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

CAmbrelViewStatusBar::CAmbrelViewStatusBar(QWidget* parent) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    for (int i = 0; i < kPaneCount; ++i) {
        auto* label = new QLabel(this);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QString::fromLatin1(kSamples[i])) + 4);
        label->setObjectName(QStringLiteral("pane%1").arg(i));
        m_Panes[i] = label;
        addWidget(label);
        if (i == kPosition) {
            m_pGroupButton = MakeButton(this, QStringLiteral("Group Selection"), QStyle::SP_ArrowDown);
            m_pGroupButton->setFixedSize(17, 14);
            addWidget(m_pGroupButton);
        }
    }
    m_pInfoButton = MakeButton(this, QStringLiteral("Image Information"), QStyle::SP_MessageBoxInformation);
    m_pQuickOpenButton = MakeButton(this, QStringLiteral("Quick Open"), QStyle::SP_DirOpenIcon);
    addWidget(m_pInfoButton);
    addWidget(m_pQuickOpenButton);

    m_pSlider = new QSlider(Qt::Horizontal, this);
    m_pSlider->setObjectName(QStringLiteral("positionSlider"));
    m_pSlider->setTickPosition(QSlider::NoTicks);
    m_pSlider->setFixedWidth(200);
    m_pSlider->setFocusPolicy(Qt::NoFocus);
    m_pSlider->setRange(1, 1);
    addWidget(m_pSlider);

    connect(m_pGroupButton, &QToolButton::clicked, this, [this] { emit ButtonCommand(kGroupButtonId); });
    connect(m_pInfoButton, &QToolButton::clicked, this, [this] { emit ButtonCommand(kInfoButtonId); });
    connect(m_pQuickOpenButton, &QToolButton::clicked, this, [this] { emit ButtonCommand(kQuickOpenButtonId); });
    connect(m_pSlider, &QSlider::sliderMoved, this,
            [this](int value) { m_pSlider->setToolTip(QString::number(value)); });
    // The end of tracking goes to every window of the frame, and so does
    // any other move of the thumb (a click on the groove, the wheel): the
    // thumb never rests on an entry that is not shown.
    auto tellFrame = [this] {
        VxSendMessageToDescendants(parentWidget(), msg::WM_SLIDER_RELEASED, std::uintptr_t(m_pSlider->value()));
    };
    connect(m_pSlider, &QSlider::sliderReleased, this, tellFrame);
    connect(m_pSlider, &QSlider::valueChanged, this, [this, tellFrame] {
        if (!m_pSlider->isSliderDown())
            tellFrame();
    });
}

void CAmbrelViewStatusBar::SetPaneText(int pane, const QString& text)
{
    if (pane < 0 || pane >= kPaneCount || m_Panes[pane]->text() == text)
        return;
    m_Panes[pane]->setText(text);
    LogPane(pane, text);
}

QString CAmbrelViewStatusBar::GetPaneText(int pane) const
{
    return pane >= 0 && pane < kPaneCount ? m_Panes[pane]->text() : QString();
}

QToolButton* CAmbrelViewStatusBar::GetButton(int id) const
{
    switch (id) {
    case kGroupButtonId:
        return m_pGroupButton;
    case kInfoButtonId:
        return m_pInfoButton;
    case kQuickOpenButtonId:
        return m_pQuickOpenButton;
    }
    return nullptr;
}
