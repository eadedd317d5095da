#pragma once

#include <QString>

#include <functional>
#include <map>

#include "velvix_export.h"

// State of one command as its handlers see it before a menu or a tool bar
// shows it: enabled, checked and (for menu items) the text.
class VELVIX_EXPORT CSCmdUI {
public:
    explicit CSCmdUI(int id) : m_nID(id) {}

    void Enable(bool on = true) { m_bEnabled = on; m_bEnableSet = true; }
    void SetCheck(int check = 1) { m_nCheck = check; m_bCheckSet = true; }
    void SetText(const QString& text) { m_strText = text; m_bTextSet = true; }

    int m_nID;
    bool m_bEnabled = false;
    bool m_bEnableSet = false;
    int m_nCheck = 0;
    bool m_bCheckSet = false;
    QString m_strText;
    bool m_bTextSet = false;
};

// A command target: numbered commands go to handlers that a class registers
// in its constructor. A command that no target along the route handles is
// disabled, so a command of a document kind that is not there yet cannot be
// chosen.
class VELVIX_EXPORT CSCmdTarget {
public:
    using Handler = std::function<void(int id)>;
    using UpdateHandler = std::function<void(CSCmdUI& ui)>;

    virtual ~CSCmdTarget() = default;

    // Runs the handler of `id` (true) or reports that there is none (false).
    virtual bool OnCmdMsg(int id);
    // Fills `ui` when this target handles `id`; true when it does.
    virtual bool OnUpdateCmdMsg(CSCmdUI& ui);

    bool HandlesCommand(int id) const;

protected:
    void OnCommand(int id, Handler handler);
    void OnCommandRange(int first, int last, Handler handler);
    void OnUpdateCommand(int id, UpdateHandler handler);
    void OnUpdateCommandRange(int first, int last, UpdateHandler handler);

private:
    struct Range {
        int last;
        Handler handler;
        UpdateHandler update;
    };
    const Range* _Find(int id) const;
    Range& _Slot(int first, int last);

    std::map<int, Range> m_handlers; // keyed by the first id of the range
};
