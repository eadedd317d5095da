#pragma once

#include <chrono>
#include <cstdio>
#include <string>

// A one-line progress bar on a terminal: files done, files per second and
// the time left (with a total below 0, only the files and their rate). Not
// thread-safe; the caller serialises.
class CProgressBar {
public:
    CProgressBar(std::FILE* out, long total);

    void Draw(long done);
    // Removes the bar so that a message can take its line.
    void Clear();

    // The text of the bar, without the line control characters.
    static std::string Text(long done, long total, double seconds);

private:
    std::FILE* m_pOut;
    long m_nTotal;
    std::chrono::steady_clock::time_point m_Start;
    bool m_bShown = false;
};
