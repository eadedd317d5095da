#include "support/command_tool_bar.h"

#include <QAction>
#include <QTimer>

CSCommandToolBar::CSCommandToolBar(const QString& title, const QString& objectName, QWidget* parent, Run run,
                                   Query query)
    : QToolBar(title, parent), m_run(std::move(run)), m_query(std::move(query))
{
    setObjectName(objectName);
}

void CSCommandToolBar::AddCommand(int id, const QIcon& icon, const QString& text)
{
    if (!id) {
        addSeparator();
        return;
    }
    QAction* action = addAction(icon, text);
    action->setData(id);
    action->setToolTip(text);
    connect(action, &QAction::triggered, this, [this, id] {
        m_run(id);
        UpdateCommands();
    });
}

void CSCommandToolBar::UpdateCommands()
{
    for (QAction* action : actions()) {
        if (!action->data().isValid())
            continue;
        const CSCmdUI ui = m_query(action->data().toInt());
        action->setEnabled(ui.m_bEnabled);
        action->setCheckable(ui.m_bCheckSet);
        if (ui.m_bCheckSet)
            action->setChecked(ui.m_nCheck != 0);
    }
}

void CSCommandToolBar::SetUpdateInterval(int milliseconds)
{
    if (!m_pTimer) {
        m_pTimer = new QTimer(this);
        connect(m_pTimer, &QTimer::timeout, this, [this] {
            if (isVisible())
                UpdateCommands();
        });
    }
    if (milliseconds > 0)
        m_pTimer->start(milliseconds);
    else
        m_pTimer->stop();
}
