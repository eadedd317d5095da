#include "progress_bar.h"

#include <cmath>
#include <cstdio>

namespace {

std::string Duration(double seconds)
{
    const long whole = long(std::ceil(seconds));
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

} // namespace

CProgressBar::CProgressBar(std::FILE* out, long total)
    : m_pOut(out), m_nTotal(total), m_Start(std::chrono::steady_clock::now())
{
}

std::string CProgressBar::Text(long done, long total, double seconds)
{
    if (total < 0) {  // a walk that does not know its end
        char text[64];
        std::snprintf(text, sizeof text, "%ld files, %.1f files/s", done, seconds > 0 ? double(done) / seconds : 0.0);
        return text;
    }
    constexpr int kWidth = 30;
    const int filled = total > 0 ? int(double(kWidth) * double(done) / double(total)) : kWidth;
    std::string text = "[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "] ";
    text += std::to_string(done) + "/" + std::to_string(total) + " files";
    if (done > 0 && seconds > 0) {
        const double rate = double(done) / seconds;
        char speed[48];
        std::snprintf(speed, sizeof speed, ", %.1f files/s", rate);
        text += speed;
        text += ", " + Duration(double(total - done) / rate) + " left";
    }
    return text;
}

void CProgressBar::Draw(long done)
{
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_Start).count();
    std::fprintf(m_pOut, "\r%s\033[K", Text(done, m_nTotal, seconds).c_str());
    std::fflush(m_pOut);
    m_bShown = true;
}

void CProgressBar::Clear()
{
    if (!m_bShown)
        return;
    std::fputs("\r\033[K", m_pOut);
    std::fflush(m_pOut);
    m_bShown = false;
}
