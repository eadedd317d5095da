#pragma once

// Answers the thumbnail window's questions at once and runs the file
// operations on the real file system, recording what was asked and told.
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "browser/thumbnails/browser_actions.h"

class CTestActions : public CBrowserActions {
public:
    std::deque<bool> m_Answers;    // for Ask; Yes when empty
    QString m_strName;             // EditName's answer
    bool m_bCancelName = false;
    std::deque<QString> m_Destinations; // AskDestination's answers; cancel when empty
    std::vector<std::string> m_Failing; // paths whose operations fail
    std::string m_strCancelled;         // the path whose copy the user cancels
    std::vector<QString> m_Asked, m_Told, m_Captions;
    std::vector<std::string> m_Renamed;
    int m_nBatchDepth = 0;
    bool m_bBatchSeen = false;
    // Runs while a question or the destination dialog is open (the program's
    // dialogs run the event loop).
    std::function<void()> m_WhileAsking;

    bool Ask(const QString& text, const QString& caption, bool, bool) override
    {
        m_Asked.push_back(text);
        m_Captions.push_back(caption);
        if (m_WhileAsking)
            m_WhileAsking();
        if (m_Answers.empty())
            return true;
        const bool answer = m_Answers.front();
        m_Answers.pop_front();
        return answer;
    }
    void Tell(const QString& text) override { m_Told.push_back(text); }
    bool EditName(QString& name) override
    {
        if (m_bCancelName)
            return false;
        name = m_strName;
        return true;
    }
    QString AskDestination(const QString& caption) override
    {
        m_Captions.push_back(caption);
        if (m_WhileAsking)
            m_WhileAsking();
        if (m_Destinations.empty())
            return QString();
        const QString folder = m_Destinations.front();
        m_Destinations.pop_front();
        return folder;
    }
    std::string RenameFile(const std::string& path, bool) override
    {
        m_Renamed.push_back(path);
        return std::string();
    }
    bool DeleteFileAsk(const std::string& path) override { return DeleteFile(path); }
    int MoveFileTo(const std::string& path) override { return Transfer(path, true); }
    int CopyFileTo(const std::string& path) override { return Transfer(path, false); }
    bool MoveFileChecked(const std::string& source, const std::string& target) override
    {
        std::error_code error;
        if (Fails(source) || Cancels(source) || std::filesystem::exists(target))
            return false;
        std::filesystem::rename(source, target, error);
        return !error;
    }
    bool CopyFileChecked(const std::string& source, const std::string& target) override
    {
        std::error_code error;
        return !Fails(source) && !Cancels(source) && std::filesystem::copy_file(source, target, error) && !error;
    }
    bool DeleteFile(const std::string& path) override
    {
        std::error_code error;
        return !Fails(path) && std::filesystem::remove(path, error);
    }
    void SetBatch(bool on) override
    {
        m_nBatchDepth += on ? 1 : -1;
        m_bBatchSeen |= on;
        if (!on) {
            m_strBatchFolder.clear();
            m_bCancelled = false;
        }
    }
    bool BatchCancelled() const override { return m_bCancelled; }

private:
    bool Cancels(const std::string& path)
    {
        m_bCancelled |= m_nBatchDepth > 0 && path == m_strCancelled;
        return path == m_strCancelled;
    }
    bool Fails(const std::string& path) const
    {
        for (const std::string& failing : m_Failing)
            if (failing == path)
                return true;
        return false;
    }
    // The destination is asked once per batch, as the program's operations do.
    int Transfer(const std::string& path, bool moving)
    {
        if (m_strBatchFolder.empty() || m_nBatchDepth == 0) {
            m_strBatchFolder = AskDestination(QString::fromLatin1(moving ? "Move %1 to" : "Copy %1 to")).toStdString();
            if (m_strBatchFolder.empty())
                return -1;
        }
        const std::string target = m_strBatchFolder + "/" + std::filesystem::path(path).filename().string();
        const bool done = moving ? MoveFileChecked(path, target) : CopyFileChecked(path, target);
        return done ? 1 : m_bCancelled ? -1 : 0;
    }
    std::string m_strBatchFolder;
    bool m_bCancelled = false;
};
