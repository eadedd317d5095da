/* A SANE backend named "stall" for SANE's dll backend: one device without
 * options whose page (8 x 8 grey pixels of 0x5A) comes only when the test
 * says so. Its read waits for a byte on the named pipe STALL_FIFO, as a
 * scanner that warms its lamp or stopped answering (the file
 * STALL_FIFO.waiting tells it waits); a byte sends the page, end of file (the
 * test closes its end) makes it fail with an I/O error. With STALL_NONBLOCKING
 * set it offers non-blocking reads and the pipe to wait on. */
#include <sane/sane.h>

#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { kSide = 8, kValue = 0x5A };

static const SANE_Device kDevice = {"stall", "Stalling", "scanner", "flatbed scanner"};
static const SANE_Device* kDevices[] = {&kDevice, NULL};
static const SANE_Option_Descriptor kCount = {"", "Number of options", "",
                                              SANE_TYPE_INT, SANE_UNIT_NONE, sizeof(SANE_Word), SANE_CAP_SOFT_DETECT,
                                              SANE_CONSTRAINT_NONE, {NULL}};
static int g_handle;
static int g_fifo = -1;
static int g_nonBlocking;
static int g_sent = -1; /* bytes of the page sent; -1 before the byte came */

static void CloseFifo(void)
{
    if (g_fifo >= 0)
        close(g_fifo);
    g_fifo = -1;
}

static int OpenFifo(void)
{
    const char* path = getenv("STALL_FIFO");
    char waiting[4096];
    if (g_fifo < 0 && path)
        g_fifo = open(path, O_RDONLY);
    if (g_fifo >= 0 && snprintf(waiting, sizeof waiting, "%s.waiting", path) < (int)sizeof waiting)
        close(open(waiting, O_WRONLY | O_CREAT, 0600));
    return g_fifo;
}

SANE_Status sane_stall_init(SANE_Int* version, SANE_Auth_Callback authorize)
{
    (void)authorize;
    if (version)
        *version = SANE_VERSION_CODE(1, 0, 0);
    return SANE_STATUS_GOOD;
}

void sane_stall_exit(void) {}

SANE_Status sane_stall_get_devices(const SANE_Device*** list, SANE_Bool localOnly)
{
    (void)localOnly;
    *list = kDevices;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_stall_open(SANE_String_Const name, SANE_Handle* handle)
{
    (void)name;
    *handle = &g_handle;
    return SANE_STATUS_GOOD;
}

void sane_stall_cancel(SANE_Handle handle)
{
    (void)handle;
    CloseFifo();
    g_sent = -1;
    g_nonBlocking = 0;
}

void sane_stall_close(SANE_Handle handle) { sane_stall_cancel(handle); }

const SANE_Option_Descriptor* sane_stall_get_option_descriptor(SANE_Handle handle, SANE_Int option)
{
    (void)handle;
    return option == 0 ? &kCount : NULL;
}

SANE_Status sane_stall_control_option(SANE_Handle handle, SANE_Int option, SANE_Action action, void* value,
                                      SANE_Int* info)
{
    (void)handle;
    (void)info;
    if (option != 0 || action != SANE_ACTION_GET_VALUE)
        return SANE_STATUS_INVAL;
    *(SANE_Word*)value = 1;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_stall_get_parameters(SANE_Handle handle, SANE_Parameters* parameters)
{
    (void)handle;
    parameters->format = SANE_FRAME_GRAY;
    parameters->last_frame = SANE_TRUE;
    parameters->bytes_per_line = parameters->pixels_per_line = parameters->lines = kSide;
    parameters->depth = 8;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_stall_start(SANE_Handle handle)
{
    sane_stall_cancel(handle);
    return SANE_STATUS_GOOD;
}

SANE_Status sane_stall_read(SANE_Handle handle, SANE_Byte* data, SANE_Int size, SANE_Int* length)
{
    (void)handle;
    *length = 0;
    if (g_sent < 0) {
        const int fd = OpenFifo();
        struct pollfd ready = {fd, POLLIN, 0};
        char byte;
        if (fd >= 0 && g_nonBlocking && poll(&ready, 1, 0) == 0)
            return SANE_STATUS_GOOD;
        if (fd < 0 || read(fd, &byte, 1) != 1)
            return SANE_STATUS_IO_ERROR;
        g_sent = 0;
    }
    if (g_sent == kSide * kSide)
        return SANE_STATUS_EOF;
    *length = size < kSide * kSide - g_sent ? size : kSide * kSide - g_sent;
    memset(data, kValue, (size_t)*length);
    g_sent += *length;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_stall_set_io_mode(SANE_Handle handle, SANE_Bool nonBlocking)
{
    (void)handle;
    if (nonBlocking && !getenv("STALL_NONBLOCKING"))
        return SANE_STATUS_UNSUPPORTED;
    g_nonBlocking = nonBlocking;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_stall_get_select_fd(SANE_Handle handle, SANE_Int* fd)
{
    (void)handle;
    if (!getenv("STALL_NONBLOCKING") || OpenFifo() < 0)
        return SANE_STATUS_UNSUPPORTED;
    *fd = g_fifo;
    return SANE_STATUS_GOOD;
}
