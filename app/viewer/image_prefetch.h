#pragma once

#include <functional>
#include <string>
#include <thread>

#include "image/velvix.h"

// Decodes the file the user will most likely ask for next into a private
// image on a worker thread. The image belongs to the worker until Join()
// returns; the owner touches it only after that.
class CImagePrefetch {
public:
    // Fills `image` from `path` (decode, and the slideshow fit when wanted);
    // runs on the worker thread.
    using Reader = std::function<bool(CVelvix& image, const std::string& path, int index)>;

    CImagePrefetch() = default;
    CImagePrefetch(const CImagePrefetch&) = delete;
    CImagePrefetch& operator=(const CImagePrefetch&) = delete;
    ~CImagePrefetch() { Join(); }

    // Joins a running worker first, then starts one for entry `index`.
    bool Start(int index, const std::string& path, Reader reader);
    // Waits for the worker without a time limit.
    void Join();
    bool IsStarted() const { return m_Thread.joinable(); }

    // After Join: the entry decoded (-1 when none), its path and result.
    int GetIndex() const { return m_nIndex; }
    const std::string& GetPath() const { return m_strPath; }
    bool Succeeded() const { return m_bSucceeded; }
    // Moves the prefetched picture into `target` without copying the pixels
    // when it is the entry `index` read from `path`; false otherwise.
    bool TakeIfReady(int index, const std::string& path, CVelvix& target);
    // Drops the prefetched picture (frees its memory).
    void Forget();

private:
    std::thread m_Thread;
    CVelvix m_Image;
    int m_nIndex = -1;
    std::string m_strPath;
    bool m_bSucceeded = false;
};
