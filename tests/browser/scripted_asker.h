#pragma once

// Answers the file operations' questions from queues and logs every
// question and message, so a test states what was asked.
#include <QString>
#include <QStringList>

#include <deque>
#include <optional>

#include "browser/fileops/file_op_asker.h"

namespace vxtest {

class ScriptedAsker : public CFileOpAsker {
public:
    ScriptedAsker() { SetFileOpAsker(this); }
    ~ScriptedAsker() override { SetFileOpAsker(nullptr); }

    std::deque<std::optional<QString>> names;
    std::deque<bool> yesNo;
    std::deque<int> overwrite;
    std::deque<std::optional<QString>> destinations;
    std::deque<bool> goOn; // at a failure within a batch
    QStringList log;

    std::optional<QString> AskName(const QString& name) override
    {
        log << QStringLiteral("name: ") + name;
        return Take(names, std::optional<QString>());
    }
    bool AskYesNo(const QString& text, const QString& caption) override
    {
        log << QStringLiteral("ask: %1 | %2").arg(caption, text);
        return Take(yesNo, false);
    }
    int AskOverwrite(const QString& source, const QString& target) override
    {
        log << QStringLiteral("overwrite: %1 | %2").arg(source, target);
        return Take(overwrite, 2);
    }
    std::optional<QString> AskDestination(const QString& caption) override
    {
        log << QStringLiteral("destination: ") + caption;
        return Take(destinations, std::optional<QString>());
    }
    void Tell(const QString& text, const QString& caption, bool information) override
    {
        log << QStringLiteral("%1: %2 | %3").arg(information ? "info" : "warn", caption, text);
    }
    bool TellGoOn(const QString& text, const QString& caption) override
    {
        Tell(text, caption, false);
        return Take(goOn, true);
    }

private:
    // An unexpected question gets the cautious answer.
    template <typename T>
    static T Take(std::deque<T>& queue, T otherwise)
    {
        if (queue.empty())
            return otherwise;
        T value = queue.front();
        queue.pop_front();
        return value;
    }
};

} // namespace vxtest
