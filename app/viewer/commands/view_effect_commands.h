#pragma once

#include <memory>

#include "effect_runner.h"
#include "support/command_target.h"

class CEffectHost;
class QMenu;

// The effect commands of one image window: every row of the effect table,
// "Repeat Last Effect", the hidden-text commands and the auto crop, with
// their enabled states and the last-command menu entry.
class CViewEffectCommands : public CSCmdTarget {
public:
    explicit CViewEffectCommands(CEffectHost& host);
    ~CViewEffectCommands() override;

    const CLastEffect& LastEffect() const { return m_Last; }
    // True from the first prompt of a command to its end: events that could
    // change or close the window must wait.
    bool IsRunning() const { return m_nRunning > 0; }
    bool IsRepeating() const { return m_bRepeating; }

    // Where the values come from; the dialogs unless a test answers.
    void SetPrompter(std::unique_ptr<CEffectPrompter> prompter);

    // A menu is about to open: its last-command entry is replaced by the
    // current one (or removed when there is none).
    void UpdateLastCommandItem(QMenu* menu) const;
    // Appends a separator and the last-command entry when there is one.
    void AppendLastCommandItem(QMenu* menu) const;

    // The data of the last-command entry, to recognise it.
    static const char* const kLastCommandMarker;
    // Shown when an effect fails ("%1": its name); nothing changed then.
    static const char* const kEffectFailed;
    static const char* const kEffectWithoutThread;
    // Shown when a repeated resample would leave a side under one pixel
    // ("%1": its name, "%2 x %3": the picture's size); nothing changed then.
    static const char* const kRepeatTooSmall;
    // Shown when Auto Crop fails for want of memory; nothing changed then.
    static const char* const kAutoCropShortOfMemory;
    static const char* const kAutoCropWithoutThread;

private:
    void _Register();
    void _RunEffect(const CEffectCommand& command);
    void _RepeatLast();
    void _EncodeText();
    void _DecodeText();
    void _AutoCrop();
    bool _HasImage() const;
    // The command's own enable rule, as its menu item would show it.
    bool _IsEnabled(int id);

    CEffectHost& m_Host;
    std::unique_ptr<CEffectPrompter> m_pPrompter;
    CLastEffect m_Last;
    bool m_bRepeating = false;
    int m_nRunning = 0;
};
