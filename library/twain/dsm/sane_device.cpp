#include "sane_device.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <new>
#include <thread>

#include <dirent.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr long long kMaxSide = 65535;
constexpr long long kMaxPixels = 1LL << 28;

bool SizeAllowed(long long width, long long height)
{
    return width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide && width * height <= kMaxPixels;
}

void Put16(std::uint8_t* at, std::uint16_t value)
{
    at[0] = std::uint8_t(value);
    at[1] = std::uint8_t(value >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = std::uint8_t(value >> (8 * i));
}

// Sample i of a row scaled to 0..255; 1-bit samples are 0 or 255.
int Sample(const std::uint8_t* row, int depth, long long i)
{
    if (depth == 1)
        return (row[i >> 3] >> (7 - (i & 7))) & 1 ? 255 : 0;
    if (depth == 16) {
        std::uint16_t value;
        std::memcpy(&value, row + 2 * i, 2);
        return value >> 8;
    }
    return row[i];
}

int ChannelOf(SANE_Frame frame)
{
    return frame == SANE_FRAME_RED ? 0 : frame == SANE_FRAME_GREEN ? 1 : 2;
}

// Backends built on SANE's reader threads stop a reader that is still running
// by asynchronous cancellation. A reader cancelled inside the C library (in
// malloc as it starts, in free as it ends) dies holding the allocator's or
// the loader's lock, and the next allocation or library load of any thread
// waits for ever. Such a reader is only stopped once it has ended or waits
// in the kernel for the frontend to take its data, or in a pause of its own.
// The threads a backend starts for a scan inherit the name of the thread
// that started it: the scanning thread takes a name of its own to find them.
constexpr char kScanThreadName[] = "vx-sane-scan";

std::string FirstLine(const std::string& path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// `syscall` is the thread's line of /proc: "running", or the number of the
// call it waits in and its arguments.
bool WaitsHoldingNoLock(const std::string& syscall)
{
    long number = -1;
    unsigned long fd = 0;
    if (std::sscanf(syscall.c_str(), "%ld %lx", &number, &fd) < 1)
        return false;
    switch (number) {
    case SYS_write:
    case SYS_writev:
        return fd > 2;  // on the standard files, stdio holds its lock
    case SYS_nanosleep:
    case SYS_clock_nanosleep:
        return true;
    default:
        return false;
    }
}

// The scan's threads that may be inside the C library; -1 when the
// process's threads cannot be looked at.
int BusyScanThreads()
{
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return -1;
    const std::string self = std::to_string(gettid());
    int busy = 0;
    while (const dirent* entry = readdir(tasks)) {
        const std::string task = std::string("/proc/self/task/") + entry->d_name;
        if (entry->d_name[0] == '.' || self == entry->d_name || FirstLine(task + "/comm") != kScanThreadName)
            continue;
        const std::string syscall = FirstLine(task + "/syscall");
        if (syscall.empty() && access(task.c_str(), F_OK) == 0)
            busy = -1;  // not readable: unknown
        else if (busy >= 0 && !syscall.empty() && !WaitsHoldingNoLock(syscall))
            ++busy;
    }
    closedir(tasks);
    return busy;
}

} // namespace

bool VxPackDib(const SSaneImage& image, double resolution, SScannedPage& page)
{
    const bool gray = image.format == SANE_FRAME_GRAY;
    const bool interleaved = image.format == SANE_FRAME_RGB;
    const int depth = image.depth;
    if ((depth != 1 && depth != 8 && depth != 16) || !SizeAllowed(image.width, image.height))
        return false;
    const int samples = interleaved ? 3 : 1;
    const long long needed = (static_cast<long long>(image.width) * samples * depth + 7) / 8;
    const int frameCount = gray || interleaved ? 1 : 3;
    for (int f = 0; f < frameCount; ++f)
        if (image.bytesPerLine < needed ||
            image.frames[f].size() < std::size_t(image.bytesPerLine) * std::size_t(image.height))
            return false;

    const int bits = gray ? (depth == 1 ? 1 : 8) : 24;
    const int colours = bits == 24 ? 0 : 1 << bits;
    const std::size_t rowBytes = (std::size_t(image.width) * bits + 31) / 32 * 4;
    const std::size_t offset = 40 + 4 * std::size_t(colours);
    std::unique_ptr<std::uint8_t, SFreeBlock> dib(
        static_cast<std::uint8_t*>(std::calloc(offset + rowBytes * image.height, 1)));
    if (!dib)
        throw std::bad_alloc();

    const auto perMetre = std::uint32_t(std::lround(std::max(0.0, resolution) / 0.0254));
    std::uint8_t* header = dib.get();
    Put32(header, 40);
    Put32(header + 4, std::uint32_t(image.width));
    Put32(header + 8, std::uint32_t(image.height));
    Put16(header + 12, 1);
    Put16(header + 14, std::uint16_t(bits));
    Put32(header + 20, std::uint32_t(rowBytes * image.height));
    Put32(header + 24, perMetre);
    Put32(header + 28, perMetre);
    for (int i = 0; i < colours; ++i) {
        // Line-art: a set bit is black. Grey: an even ramp.
        const int v = bits == 1 ? (i ? 0 : 255) : i;
        std::uint8_t* entry = dib.get() + 40 + 4 * i;
        entry[0] = entry[1] = entry[2] = std::uint8_t(v);
    }

    for (int y = 0; y < image.height; ++y) {
        std::uint8_t* out = dib.get() + offset + rowBytes * std::size_t(image.height - 1 - y);
        const std::size_t at = std::size_t(image.bytesPerLine) * y;
        if (bits == 1) {
            std::memcpy(out, image.frames[0].data() + at, std::size_t(image.width + 7) / 8);
            if (const int spare = image.width % 8)
                out[image.width / 8] &= std::uint8_t(0xFF << (8 - spare));
            continue;
        }
        for (int x = 0; x < image.width; ++x) {
            if (gray) {
                out[x] = std::uint8_t(Sample(image.frames[0].data() + at, depth, x));
                continue;
            }
            for (int c = 0; c < 3; ++c) {
                const int value = interleaved ? Sample(image.frames[0].data() + at, depth, 3LL * x + c)
                                              : Sample(image.frames[c].data() + at, depth, x);
                out[3 * x + 2 - c] = std::uint8_t(value);  // blue, green, red
            }
        }
    }
    page.dib = std::move(dib);
    page.width = image.width;
    page.height = image.height;
    page.bitsPerPixel = bits;
    page.resolution = resolution;
    return true;
}

std::vector<SSaneDeviceName> CSaneDevice::List()
{
    std::vector<SSaneDeviceName> names;
    const SANE_Device** devices = nullptr;
    if (sane_get_devices(&devices, SANE_FALSE) != SANE_STATUS_GOOD || !devices)
        return names;
    for (int i = 0; devices[i]; ++i) {
        auto text = [](const char* s) { return std::string(s ? s : ""); };
        names.push_back({text(devices[i]->name), text(devices[i]->vendor), text(devices[i]->model),
                         text(devices[i]->type)});
    }
    return names;
}

SANE_Status CSaneDevice::Open(const std::string& name)
{
    Close();
    return sane_open(name.c_str(), &m_hDevice);
}

void CSaneDevice::Close()
{
    if (m_hDevice)
        sane_close(m_hDevice);
    m_hDevice = nullptr;
}

int CSaneDevice::_Find(const char* name) const
{
    if (!m_hDevice)
        return -1;
    for (int i = 1;; ++i) {
        const SANE_Option_Descriptor* option = sane_get_option_descriptor(m_hDevice, i);
        if (!option)
            return -1;
        if (option->name && std::strcmp(option->name, name) == 0)
            return i;
    }
}

const SANE_Option_Descriptor* CSaneDevice::_Active(const char* name, int& index) const
{
    index = _Find(name);
    const SANE_Option_Descriptor* option = index > 0 ? sane_get_option_descriptor(m_hDevice, index) : nullptr;
    return option && SANE_OPTION_IS_ACTIVE(option->cap) ? option : nullptr;
}

bool CSaneDevice::HasOption(const char* name) const
{
    int index;
    return _Active(name, index) != nullptr;
}

std::vector<std::string> CSaneDevice::StringChoices(const char* name) const
{
    int index;
    const SANE_Option_Descriptor* option = _Active(name, index);
    std::vector<std::string> choices;
    if (option && option->type == SANE_TYPE_STRING && option->constraint_type == SANE_CONSTRAINT_STRING_LIST)
        for (int i = 0; option->constraint.string_list[i]; ++i)
            choices.emplace_back(option->constraint.string_list[i]);
    return choices;
}

std::string CSaneDevice::GetString(const char* name) const
{
    int index;
    const SANE_Option_Descriptor* option = _Active(name, index);
    if (!option || option->type != SANE_TYPE_STRING || option->size <= 0)
        return {};
    std::vector<char> value(std::size_t(option->size) + 1, 0);
    if (sane_control_option(m_hDevice, index, SANE_ACTION_GET_VALUE, value.data(), nullptr) != SANE_STATUS_GOOD)
        return {};
    return value.data();
}

bool CSaneDevice::SetString(const char* name, const std::string& value)
{
    int index;
    const SANE_Option_Descriptor* option = _Active(name, index);
    if (!option || option->type != SANE_TYPE_STRING || !SANE_OPTION_IS_SETTABLE(option->cap))
        return false;
    std::vector<char> buffer(std::max<std::size_t>(std::size_t(option->size), value.size() + 1), 0);
    std::memcpy(buffer.data(), value.c_str(), value.size());
    return sane_control_option(m_hDevice, index, SANE_ACTION_SET_VALUE, buffer.data(), nullptr) == SANE_STATUS_GOOD;
}

SSaneNumberChoices CSaneDevice::NumberChoices(const char* name) const
{
    int index;
    const SANE_Option_Descriptor* option = _Active(name, index);
    SSaneNumberChoices choices;
    if (!option || (option->type != SANE_TYPE_INT && option->type != SANE_TYPE_FIXED))
        return choices;
    const bool fixed = option->type == SANE_TYPE_FIXED;
    auto number = [fixed](SANE_Word w) { return fixed ? SANE_UNFIX(w) : double(w); };
    if (option->constraint_type == SANE_CONSTRAINT_WORD_LIST) {
        choices.isList = true;
        for (int i = 1; i <= option->constraint.word_list[0]; ++i)
            choices.values.push_back(number(option->constraint.word_list[i]));
    } else if (option->constraint_type == SANE_CONSTRAINT_RANGE) {
        choices.min = number(option->constraint.range->min);
        choices.max = number(option->constraint.range->max);
        choices.step = number(option->constraint.range->quant);
    } else {
        choices.min = fixed ? -32768 : -2147483647.0;
        choices.max = fixed ? 32767 : 2147483647.0;
    }
    return choices;
}

double CSaneDevice::GetNumber(const char* name) const
{
    int index;
    const SANE_Option_Descriptor* option = _Active(name, index);
    if (!option || (option->type != SANE_TYPE_INT && option->type != SANE_TYPE_FIXED) ||
        option->size < SANE_Int(sizeof(SANE_Word)))
        return 0;
    // An array option is read whole; its first value stands for it.
    std::vector<SANE_Word> value(std::size_t(option->size) / sizeof(SANE_Word));
    if (sane_control_option(m_hDevice, index, SANE_ACTION_GET_VALUE, value.data(), nullptr) != SANE_STATUS_GOOD)
        return 0;
    return option->type == SANE_TYPE_FIXED ? SANE_UNFIX(value[0]) : double(value[0]);
}

bool CSaneDevice::SetNumber(const char* name, double value)
{
    int index;
    const SANE_Option_Descriptor* option = _Active(name, index);
    if (!option || (option->type != SANE_TYPE_INT && option->type != SANE_TYPE_FIXED) ||
        !SANE_OPTION_IS_SETTABLE(option->cap) || option->size != SANE_Int(sizeof(SANE_Word)) ||
        !std::isfinite(value))
        return false;
    SANE_Word word = option->type == SANE_TYPE_FIXED ? SANE_FIX(std::clamp(value, -32768.0, 32767.0))
                                                      : SANE_Word(std::lround(std::clamp(value, -2e9, 2e9)));
    return sane_control_option(m_hDevice, index, SANE_ACTION_SET_VALUE, &word, nullptr) == SANE_STATUS_GOOD;
}

bool CSaneDevice::IsPixelUnit(const char* name) const
{
    int index;
    const SANE_Option_Descriptor* option = _Active(name, index);
    return option && option->unit == SANE_UNIT_PIXEL;
}

SANE_Status CSaneDevice::_ReadFrame(const SANE_Parameters& parameters, std::vector<std::uint8_t>& data,
                                    const std::atomic<bool>& cancel, const std::function<void(int)>& progress)
{
    const long long expected = parameters.lines > 0 ? 1LL * parameters.lines * parameters.bytes_per_line : -1;
    // The most a picture the library can hold takes: 16-bit colour. A hand
    // scanner tells its height only by the data it sends: a page longer than
    // a picture may be is refused as soon as it is.
    const long long longest = std::min(kMaxSide, kMaxPixels / parameters.pixels_per_line);
    const long long limit = expected > 0 ? kMaxPixels * 6 : longest * parameters.bytes_per_line;
    data.clear();
    if (expected > limit)
        return SANE_STATUS_NO_MEM;
    if (expected > 0)
        data.reserve(std::size_t(expected));
    std::vector<std::uint8_t> buffer(64 * 1024);
    bool shortRead = false;
    for (;;) {
        if (cancel)
            return SANE_STATUS_CANCELLED;
        // The read that meets the frame's end stops the backend's reader. A
        // frame of unknown length may end after any read that came short.
        if (expected > 0 ? (long long)(data.size()) >= expected : shortRead)
            _LetReadersRest();
        SANE_Int length = 0;
        const SANE_Status status = sane_read(m_hDevice, buffer.data(), SANE_Int(buffer.size()), &length);
        if (status == SANE_STATUS_EOF)
            return SANE_STATUS_GOOD;
        if (status != SANE_STATUS_GOOD)
            return status;
        if (length < 0 || length > SANE_Int(buffer.size()))
            return SANE_STATUS_IO_ERROR;
        shortRead = length < SANE_Int(buffer.size());
        if (length == 0) {
            _WaitForData();
            continue;
        }
        if ((long long)(data.size()) + length > limit)
            return SANE_STATUS_NO_MEM;
        data.insert(data.end(), buffer.data(), buffer.data() + length);
        if (expected > 0 && progress)
            progress(int(std::min<long long>(100, 100LL * (long long)(data.size()) / expected)));
    }
}

SANE_Status CSaneDevice::Scan(SSaneImage& image, const std::atomic<bool>& cancel,
                              const std::function<void(int)>& progress)
{
    if (!m_hDevice)
        return SANE_STATUS_INVAL;
    prctl(PR_SET_NAME, kScanThreadName);
    image = SSaneImage();
    for (;;) {
        SANE_Status status = sane_start(m_hDevice);
        if (status != SANE_STATUS_GOOD)
            return status;
        m_bFrameOpen = true;
        _ReadWithoutBlocking();
        SANE_Parameters parameters{};
        status = sane_get_parameters(m_hDevice, &parameters);
        if (status != SANE_STATUS_GOOD)
            return status;
        const bool single = parameters.format == SANE_FRAME_GRAY || parameters.format == SANE_FRAME_RGB;
        if (!single && parameters.format != SANE_FRAME_RED && parameters.format != SANE_FRAME_GREEN &&
            parameters.format != SANE_FRAME_BLUE)
            return SANE_STATUS_UNSUPPORTED;
        if (parameters.pixels_per_line <= 0 || parameters.bytes_per_line <= 0 || parameters.lines == 0)
            return SANE_STATUS_INVAL;
        // Refused before its data is read: the worker would run out of memory.
        if (!SizeAllowed(parameters.pixels_per_line, std::max(parameters.lines, 1)))
            return SANE_STATUS_NO_MEM;
        const int slot = single ? 0 : ChannelOf(parameters.format);
        status = _ReadFrame(parameters, image.frames[slot], cancel, progress);
        if (status != SANE_STATUS_GOOD)
            return status;
        // A hand scanner tells its height only by the data it sent.
        const std::size_t sent = image.frames[slot].size() / std::size_t(parameters.bytes_per_line);
        const int lines = parameters.lines > 0 ? parameters.lines : int(sent);
        if (lines == 0 || sent < std::size_t(lines))
            return SANE_STATUS_EOF;  // ended before the lines it announced, or before any
        m_bFrameOpen = false;
        if (image.width && (image.width != parameters.pixels_per_line || image.depth != parameters.depth))
            return SANE_STATUS_INVAL;  // three frames of different shapes
        image.format = single ? parameters.format : SANE_FRAME_RED;
        image.depth = parameters.depth;
        image.width = parameters.pixels_per_line;
        image.bytesPerLine = parameters.bytes_per_line;
        image.height = image.height ? std::min(image.height, lines) : lines;
        if (parameters.last_frame)
            break;
    }
    return SANE_STATUS_GOOD;
}

// A scanner may send nothing for a long time (a lamp warming up): where the
// backend allows, reads return at once and the scan waits for data itself,
// so that a cancel is seen while it waits.
void CSaneDevice::_ReadWithoutBlocking()
{
    m_nSelectFd = -1;
    m_bNonBlocking = sane_set_io_mode(m_hDevice, SANE_TRUE) == SANE_STATUS_GOOD;
    SANE_Int fd = -1;
    if (m_bNonBlocking && sane_get_select_fd(m_hDevice, &fd) == SANE_STATUS_GOOD)
        m_nSelectFd = fd;
}

void CSaneDevice::_WaitForData() const
{
    constexpr int kPollMs = 50;
    pollfd ready{m_nSelectFd, POLLIN, 0};
    if (m_nSelectFd < 0 || poll(&ready, 1, kPollMs) < 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(m_bNonBlocking ? 10 : 1));
}

// Waits (a while at most) until the backend's threads of the scan can be
// stopped safely; the count of those still busy, -1 when unknown.
int CSaneDevice::_LetReadersRest()
{
    const auto patience = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int busy;
    while ((busy = BusyScanThreads()) > 0 && std::chrono::steady_clock::now() < patience)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return busy;
}

void CSaneDevice::EndScan()
{
    if (!m_hDevice)
        return;
    // A reader that never comes to rest (a device polled in a loop) is
    // stopped after a while all the same. Where the threads cannot be looked
    // at, a reader of a frame ended early gets a moment to reach its writes.
    if (_LetReadersRest() < 0 && m_bFrameOpen)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    m_bFrameOpen = false;
    sane_cancel(m_hDevice);
}
