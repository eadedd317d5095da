/* A SANE backend named "stall" for SANE's dll backend: one device without
 * options whose page never comes. Its read waits for a byte on the named
 * pipe STALL_FIFO, as a scanner that stopped answering (the file
 * STALL_FIFO.waiting tells it waits); end of file (the test closes its end)
 * makes it fail with an I/O error. */
#include <sane/sane.h>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static const SANE_Device kDevice = {"stall", "Stalling", "scanner", "flatbed scanner"};
static const SANE_Device* kDevices[] = {&kDevice, NULL};
static const SANE_Option_Descriptor kCount = {"", "Number of options", "",
                                              SANE_TYPE_INT, SANE_UNIT_NONE, sizeof(SANE_Word), SANE_CAP_SOFT_DETECT,
                                              SANE_CONSTRAINT_NONE, {NULL}};
static int g_handle;

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

void sane_stall_close(SANE_Handle handle) { (void)handle; }

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
    parameters->bytes_per_line = parameters->pixels_per_line = parameters->lines = 8;
    parameters->depth = 8;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_stall_start(SANE_Handle handle)
{
    (void)handle;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_stall_read(SANE_Handle handle, SANE_Byte* data, SANE_Int size, SANE_Int* length)
{
    (void)handle;
    (void)data;
    (void)size;
    *length = 0;
    const char* path = getenv("STALL_FIFO");
    const int fd = path ? open(path, O_RDONLY) : -1;
    char byte, waiting[4096];
    if (fd >= 0 && snprintf(waiting, sizeof waiting, "%s.waiting", path) < (int)sizeof waiting)
        close(open(waiting, O_WRONLY | O_CREAT, 0600));
    if (fd >= 0) {
        (void)!read(fd, &byte, 1);
        close(fd);
    }
    return SANE_STATUS_IO_ERROR;
}

void sane_stall_cancel(SANE_Handle handle) { (void)handle; }

SANE_Status sane_stall_set_io_mode(SANE_Handle handle, SANE_Bool nonBlocking)
{
    (void)handle;
    return nonBlocking ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_GOOD;
}

SANE_Status sane_stall_get_select_fd(SANE_Handle handle, SANE_Int* fd)
{
    (void)handle;
    (void)fd;
    return SANE_STATUS_UNSUPPORTED;
}
