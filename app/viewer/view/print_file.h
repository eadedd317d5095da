#pragma once

#include <QString>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

// The file a PDF is printed to. Qt's PDF engine ignores write errors (and
// after one writes nothing more for as long as the printer lives), so it is
// given a pipe instead; a reader thread writes what comes through into a new
// file beside the chosen one and notes any error. The new file takes the
// chosen name only once it is complete on the disk: a full disk or a failed
// print leaves neither a cut-off file nor harms an older one of that name.
class CPrintFile {
public:
    explicit CPrintFile(const QString& path);
    // Discards the new file unless it was committed.
    ~CPrintFile();
    CPrintFile(const CPrintFile&) = delete;
    CPrintFile& operator=(const CPrintFile&) = delete;

    // False for a pipe, a device or a folder of that name: opening one would
    // wait for a reader, and no print replaces one.
    bool IsFileName() const;
    // Creates the new file and starts its reader. The name for the engine's
    // output (the pipe), or empty when the file cannot be made here or the
    // pipe has no name the engine could open.
    QString Start();
    // Start failed for want of /proc, which names the pipe.
    bool PipeUnnamed() const { return m_pipeUnnamed; }
    // Once the engine has opened the pipe: its closing then ends the reading.
    void WriterOpened();
    // Once the engine has closed the pipe: true when every byte reached the
    // disk and the file now has the chosen name.
    bool Commit();
    // The print failed, but the engine keeps the pipe open: the new file
    // goes at once, and the reader drains the pipe until the engine closes it.
    void Drop();

private:
    void _Discard();

    std::string m_target; // the chosen name, a symbolic link followed
    std::string m_temp;
    int m_file = -1;
    int m_pipe[2] = {-1, -1};
    bool m_pipeUnnamed = false;
    std::shared_ptr<std::atomic<bool>> m_failed = std::make_shared<std::atomic<bool>>(false);
    std::thread m_reader;
};
