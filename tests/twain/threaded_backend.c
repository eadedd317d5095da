/* A SANE backend named "threaded" for SANE's dll backend, built as the
 * backends on SANE's reader threads are: sane_start starts a reader thread
 * that fills a pipe, and sane_cancel stops it by asynchronous cancellation.
 * As it starts, the reader holds a lock for 100 ms, as malloc holds the
 * allocator's. Its read fails at once ("no documents"). A reader cancelled
 * while it held the lock leaves it taken, where a real one would hang the
 * process: the next start then fails with "device busy".
 * With THREADED_PAGE set, the reader writes an 8 x 8 grey page and then
 * holds the lock for 100 ms as it ends (as free holds the allocator's); the
 * read that meets the page's end stops the reader as SANE's test backend
 * does, by cancelling it; THREADED_HAND withholds its height, as a hand
 * scanner does. */
#include <sane/sane.h>

#include <pthread.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

static const SANE_Device kDevice = {"threaded", "Threaded", "scanner", "flatbed scanner"};
static const SANE_Device* kDevices[] = {&kDevice, NULL};
static const SANE_Option_Descriptor kCount = {"", "Number of options", "",
                                              SANE_TYPE_INT, SANE_UNIT_NONE, sizeof(SANE_Word), SANE_CAP_SOFT_DETECT,
                                              SANE_CONSTRAINT_NONE, {NULL}};
static int g_handle;
static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_t g_reader;
static int g_running, g_pipe[2], g_delivered;

enum { kPageBytes = 64 };

static void HoldTheLock(void)
{
    pthread_mutex_lock(&g_lock);
    struct timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    do
        clock_gettime(CLOCK_MONOTONIC, &now);
    while ((now.tv_sec - start.tv_sec) * 1000000000L + (now.tv_nsec - start.tv_nsec) < 100000000L);
    pthread_mutex_unlock(&g_lock);
}

static void* Reader(void* unused)
{
    (void)unused;
    pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, NULL);
    pthread_setcanceltype(PTHREAD_CANCEL_ASYNCHRONOUS, NULL);
    if (getenv("THREADED_PAGE")) {
        static const char page[kPageBytes];
        (void)!write(g_pipe[1], page, sizeof page);
        HoldTheLock();
        return NULL;
    }
    HoldTheLock();
    static const char line[4096];
    while (write(g_pipe[1], line, sizeof line) > 0) {
    }
    return NULL;
}

SANE_Status sane_threaded_init(SANE_Int* version, SANE_Auth_Callback authorize)
{
    (void)authorize;
    if (version)
        *version = SANE_VERSION_CODE(1, 0, 0);
    return SANE_STATUS_GOOD;
}

void sane_threaded_exit(void) {}

SANE_Status sane_threaded_get_devices(const SANE_Device*** list, SANE_Bool localOnly)
{
    (void)localOnly;
    *list = kDevices;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_threaded_open(SANE_String_Const name, SANE_Handle* handle)
{
    (void)name;
    *handle = &g_handle;
    return SANE_STATUS_GOOD;
}

void sane_threaded_cancel(SANE_Handle handle)
{
    (void)handle;
    if (!g_running)
        return;
    pthread_cancel(g_reader);
    pthread_join(g_reader, NULL);
    close(g_pipe[0]);
    close(g_pipe[1]);
    g_running = 0;
}

void sane_threaded_close(SANE_Handle handle) { sane_threaded_cancel(handle); }

const SANE_Option_Descriptor* sane_threaded_get_option_descriptor(SANE_Handle handle, SANE_Int option)
{
    (void)handle;
    return option == 0 ? &kCount : NULL;
}

SANE_Status sane_threaded_control_option(SANE_Handle handle, SANE_Int option, SANE_Action action, void* value,
                                         SANE_Int* info)
{
    (void)handle;
    (void)info;
    if (option != 0 || action != SANE_ACTION_GET_VALUE)
        return SANE_STATUS_INVAL;
    *(SANE_Word*)value = 1;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_threaded_get_parameters(SANE_Handle handle, SANE_Parameters* parameters)
{
    (void)handle;
    parameters->format = SANE_FRAME_GRAY;
    parameters->last_frame = SANE_TRUE;
    parameters->bytes_per_line = parameters->pixels_per_line = parameters->lines = 8;
    if (getenv("THREADED_HAND"))
        parameters->lines = -1;
    parameters->depth = 8;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_threaded_start(SANE_Handle handle)
{
    (void)handle;
    if (g_running)
        return SANE_STATUS_DEVICE_BUSY;
    if (pthread_mutex_trylock(&g_lock) != 0)
        return SANE_STATUS_DEVICE_BUSY;
    pthread_mutex_unlock(&g_lock);
    if (pipe(g_pipe) != 0)
        return SANE_STATUS_IO_ERROR;
    if (pthread_create(&g_reader, NULL, Reader, NULL) != 0) {
        close(g_pipe[0]);
        close(g_pipe[1]);
        return SANE_STATUS_NO_MEM;
    }
    g_running = 1;
    g_delivered = 0;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_threaded_read(SANE_Handle handle, SANE_Byte* data, SANE_Int size, SANE_Int* length)
{
    *length = 0;
    if (!getenv("THREADED_PAGE"))
        return SANE_STATUS_NO_DOCS;
    if (g_delivered == kPageBytes) {
        sane_threaded_cancel(handle);
        return SANE_STATUS_EOF;
    }
    const ssize_t got = read(g_pipe[0], data, (size_t)(size < kPageBytes - g_delivered ? size : kPageBytes - g_delivered));
    if (got <= 0)
        return SANE_STATUS_IO_ERROR;
    g_delivered += (int)got;
    *length = (SANE_Int)got;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_threaded_set_io_mode(SANE_Handle handle, SANE_Bool nonBlocking)
{
    (void)handle;
    return nonBlocking ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_GOOD;
}

SANE_Status sane_threaded_get_select_fd(SANE_Handle handle, SANE_Int* fd)
{
    (void)handle;
    (void)fd;
    return SANE_STATUS_UNSUPPORTED;
}
