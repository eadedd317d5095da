#pragma once

#include <QToolBar>

#include <functional>

#include "support/command_target.h"
#include "velvix_export.h"

class QTimer;

// A tool bar of numbered commands: a button runs its command through `run`,
// and every button follows the state that `query` reports for its command
// (enabled, checked), refreshed after each click and on a timer while shown.
class VELVIX_EXPORT CSCommandToolBar : public QToolBar {
    Q_OBJECT
public:
    using Run = std::function<void(int id)>;
    using Query = std::function<CSCmdUI(int id)>;

    CSCommandToolBar(const QString& title, const QString& objectName, QWidget* parent, Run run, Query query);

    // Adds a button for `id`, or a separator when `id` is 0.
    void AddCommand(int id, const QIcon& icon, const QString& text);
    void UpdateCommands();
    // Refreshes the buttons every `milliseconds` while the bar is shown; 0 stops.
    void SetUpdateInterval(int milliseconds);

private:
    Run m_run;
    Query m_query;
    QTimer* m_pTimer = nullptr;
};
