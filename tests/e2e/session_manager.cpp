// A desktop session manager for one client, speaking the X session protocol
// (XSMP) as a logout does. Prints its network ids (the value of
// SESSION_MANAGER) on the first line, then "registered" when the client has
// joined. Each line "save" on standard input asks the client to save for a
// shutdown; the answer is printed as "saved" or "failed". Ends at the end of
// its input.
#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

SmsConn g_client = nullptr;

void Say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

Status RegisterClient(SmsConn conn, SmPointer, char* previousId)
{
    std::free(previousId);
    char* id = SmsGenerateClientID(conn);
    SmsRegisterClientReply(conn, id);
    std::free(id);
    g_client = conn;
    Say("registered");
    return 1;
}

void SaveYourselfDone(SmsConn, SmPointer, Bool success)
{
    Say(success ? "saved" : "failed");
}

void InteractRequest(SmsConn conn, SmPointer, int)
{
    SmsInteract(conn);
}

void InteractDone(SmsConn, SmPointer, Bool) {}

void SaveYourselfRequest(SmsConn, SmPointer, int, Bool, int, Bool, Bool) {}

void SaveYourselfPhase2Request(SmsConn conn, SmPointer)
{
    SmsSaveYourselfPhase2(conn);
}

void CloseConnection(SmsConn conn, SmPointer, int count, char** reasons)
{
    SmFreeReasons(count, reasons);
    SmsCleanUp(conn);
    if (conn == g_client)
        g_client = nullptr;
}

void SetProperties(SmsConn, SmPointer, int count, SmProp** properties)
{
    for (int i = 0; i < count; ++i)
        SmFreeProperty(properties[i]);
    std::free(properties);
}

void DeleteProperties(SmsConn, SmPointer, int count, char** names)
{
    for (int i = 0; i < count; ++i)
        std::free(names[i]);
    std::free(names);
}

void GetProperties(SmsConn conn, SmPointer)
{
    SmsReturnProperties(conn, 0, nullptr);
}

Status NewClient(SmsConn, SmPointer, unsigned long* mask, SmsCallbacks* callbacks, char**)
{
    *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask |
            SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask | SmsSaveYourselfDoneProcMask |
            SmsCloseConnectionProcMask | SmsSetPropertiesProcMask | SmsDeletePropertiesProcMask |
            SmsGetPropertiesProcMask;
    callbacks->register_client.callback = RegisterClient;
    callbacks->interact_request.callback = InteractRequest;
    callbacks->interact_done.callback = InteractDone;
    callbacks->save_yourself_request.callback = SaveYourselfRequest;
    callbacks->save_yourself_phase2_request.callback = SaveYourselfPhase2Request;
    callbacks->save_yourself_done.callback = SaveYourselfDone;
    callbacks->close_connection.callback = CloseConnection;
    callbacks->set_properties.callback = SetProperties;
    callbacks->delete_properties.callback = DeleteProperties;
    callbacks->get_properties.callback = GetProperties;
    return 1;
}

// A client that goes away without a goodbye (it is killed) is simply dropped.
void IgnoreIOError(IceConn) {}

// Clients of the test's own session find no ICE authority file: let them in.
Bool AnyHost(char*)
{
    return True;
}

// Handles one line of input; false at its end.
bool ReadCommand(std::string& pending)
{
    char buffer[256];
    const ssize_t length = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (length <= 0)
        return false;
    pending.append(buffer, std::size_t(length));
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
        if (pending.compare(0, end, "save") != 0)
            continue;
        if (g_client)
            SmsSaveYourself(g_client, SmSaveBoth, True, SmInteractStyleNone, False);
        else
            Say("failed");
    }
    return true;
}

} // namespace

int main()
{
    IceSetIOErrorHandler(IgnoreIOError);
    char error[256] = {};
    int count = 0;
    IceListenObj* listeners = nullptr;
    if (!SmsInitialize("ambrel-test", "1", NewClient, nullptr, AnyHost, sizeof error, error) ||
        !IceListenForConnections(&count, &listeners, sizeof error, error)) {
        std::fprintf(stderr, "session manager: %s\n", error);
        return 1;
    }
    for (int i = 0; i < count; ++i)
        IceSetHostBasedAuthProc(listeners[i], AnyHost);
    char* ids = IceComposeNetworkIdList(count, listeners);
    Say(ids);
    std::free(ids);

    std::vector<IceConn> connections;
    std::string pending;
    for (;;) {
        std::vector<pollfd> fds{{STDIN_FILENO, POLLIN, 0}};
        for (int i = 0; i < count; ++i)
            fds.push_back({IceGetListenConnectionNumber(listeners[i]), POLLIN, 0});
        for (IceConn connection : connections)
            fds.push_back({IceConnectionNumber(connection), POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0)
            continue;
        if (fds[0].revents && !ReadCommand(pending))
            return 0;
        for (int i = 0; i < count; ++i)
            if (fds[1 + i].revents) {
                IceAcceptStatus status;
                if (IceConn connection = IceAcceptConnection(listeners[i], &status))
                    connections.push_back(connection);
            }
        for (std::size_t i = 0; i < connections.size(); ++i) {
            if (!fds[1 + count + i].revents)
                continue;
            if (IceProcessMessages(connections[i], nullptr, nullptr) == IceProcessMessagesIOError) {
                IceSetShutdownNegotiation(connections[i], False);
                IceCloseConnection(connections[i]);
                connections.erase(connections.begin() + std::ptrdiff_t(i));
                break; // the descriptors no longer match
            }
        }
    }
}
