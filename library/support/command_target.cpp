#include "support/command_target.h"

const CSCmdTarget::Range* CSCmdTarget::_Find(int id) const
{
    auto it = m_handlers.upper_bound(id);
    if (it == m_handlers.begin())
        return nullptr;
    --it;
    return id <= it->second.last ? &it->second : nullptr;
}

CSCmdTarget::Range& CSCmdTarget::_Slot(int first, int last)
{
    Range& range = m_handlers[first];
    if (range.last < last)
        range.last = last;
    return range;
}

bool CSCmdTarget::HandlesCommand(int id) const
{
    const Range* range = _Find(id);
    return range && range->handler;
}

bool CSCmdTarget::OnCmdMsg(int id)
{
    const Range* range = _Find(id);
    if (!range || !range->handler)
        return false;
    // A handler may destroy this target (closing a window): copy it first.
    Handler handler = range->handler;
    handler(id);
    return true;
}

bool CSCmdTarget::OnUpdateCmdMsg(CSCmdUI& ui)
{
    const Range* range = _Find(ui.m_nID);
    if (!range || !range->handler)
        return false;
    ui.Enable(true);
    if (range->update)
        range->update(ui);
    return true;
}

void CSCmdTarget::OnCommand(int id, Handler handler)
{
    _Slot(id, id).handler = std::move(handler);
}

void CSCmdTarget::OnCommandRange(int first, int last, Handler handler)
{
    _Slot(first, last).handler = std::move(handler);
}

void CSCmdTarget::OnUpdateCommand(int id, UpdateHandler handler)
{
    _Slot(id, id).update = std::move(handler);
}

void CSCmdTarget::OnUpdateCommandRange(int first, int last, UpdateHandler handler)
{
    _Slot(first, last).update = std::move(handler);
}
