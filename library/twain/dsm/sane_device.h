#pragma once

#include <sane/sane.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct SSaneDeviceName {
    std::string name, vendor, model, type;
};

// What SANE delivered for one page: one frame, or three single-colour frames
// of a three-pass scanner. Rows top first, as the device sends them.
struct SSaneImage {
    SANE_Frame format = SANE_FRAME_GRAY;
    int depth = 0, width = 0, height = 0, bytesPerLine = 0;
    std::vector<std::uint8_t> frames[3];
};

struct SFreeBlock {
    void operator()(std::uint8_t* block) const { std::free(block); }
};

// One page ready for transfer: a packed device-independent bitmap (40-byte
// header, colour table, rows bottom-up padded to 4 bytes). The block comes
// from malloc: the transfer hands it to the application, which frees it, so
// that handing a page over needs no memory of its own.
struct SScannedPage {
    std::unique_ptr<std::uint8_t, SFreeBlock> dib;
    int width = 0, height = 0, bitsPerPixel = 0;
    double resolution = 0;
};

// Line-art stays 1 bit per pixel, grey becomes 8 and colour 24; 16-bit
// samples keep their high byte. False for a shape no bitmap can hold;
// std::bad_alloc without the memory for the bitmap.
bool VxPackDib(const SSaneImage& image, double resolution, SScannedPage& page);

// A numeric option's choices: a list of values, or a range (step 0 = any).
struct SSaneNumberChoices {
    std::vector<double> values;
    double min = 0, max = 0, step = 0;
    bool isList = false;
};

// An open SANE device. Options are read and set on the user-interface
// thread; Scan runs on a worker while nothing else touches the device.
class CSaneDevice {
public:
    ~CSaneDevice() { Close(); }

    static std::vector<SSaneDeviceName> List();

    SANE_Status Open(const std::string& name);
    void Close();
    bool IsOpen() const { return m_hDevice != nullptr; }

    bool HasOption(const char* name) const;
    std::vector<std::string> StringChoices(const char* name) const;
    std::string GetString(const char* name) const;
    bool SetString(const char* name, const std::string& value);
    SSaneNumberChoices NumberChoices(const char* name) const;
    double GetNumber(const char* name) const;
    bool SetNumber(const char* name, double value);
    bool IsPixelUnit(const char* name) const;

    // One page; SANE_STATUS_CANCELLED when cancel became true, SANE_STATUS_EOF
    // when a frame ended before the lines it announced. Names the calling
    // thread: the backend's threads of the scan are known by that name.
    SANE_Status Scan(SSaneImage& image, const std::atomic<bool>& cancel,
                     const std::function<void(int percent)>& progress);
    // Ends a run of pages (after the last one, an error or a cancel), once
    // the backend's threads of the scan can be stopped safely.
    void EndScan();

private:
    int _Find(const char* name) const;
    const SANE_Option_Descriptor* _Active(const char* name, int& index) const;
    SANE_Status _ReadFrame(const SANE_Parameters& parameters, std::vector<std::uint8_t>& data,
                           const std::atomic<bool>& cancel, const std::function<void(int)>& progress);
    void _ReadWithoutBlocking();
    void _WaitForData() const;
    static int _LetReadersRest();

    SANE_Handle m_hDevice = nullptr;
    bool m_bFrameOpen = false; // a frame was started and not read to its end
    bool m_bNonBlocking = false;
    int m_nSelectFd = -1;      // the backend's descriptor that tells of data
};
