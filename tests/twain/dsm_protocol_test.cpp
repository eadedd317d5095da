#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <deque>

#include <gtest/gtest.h>

#include "sane_test_device.h"
#include "twain/twain_protocol.h"

using vxtest::WaitFor;

namespace {

// Keeps what the source posts to the application's window.
class CEventTrap : public QWidget {
public:
    std::deque<QEvent*> m_Events;
    ~CEventTrap() override
    {
        for (QEvent* e : m_Events)
            delete e;
    }

protected:
    bool event(QEvent* event) override
    {
        if (event->type() >= QEvent::User && event->type() <= QEvent::MaxUser && int(event->type()) != 0x804D) {
            // Posted events are deleted after delivery: keep a copy of ours.
            m_Events.push_back(event->clone());
            return true;
        }
        return QWidget::event(event);
    }
};

// The source manager spoken to directly, as any application would.
class SourceManager : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_hLibrary = dlopen(CVelvix_Twain::SourceManagerPath().c_str(), RTLD_NOW | RTLD_NODELETE);
        ASSERT_NE(m_hLibrary, nullptr);
        m_pEntry = reinterpret_cast<DSMENTRYPROC>(dlsym(m_hLibrary, "DSM_Entry"));
        ASSERT_NE(m_pEntry, nullptr);
    }
    void TearDown() override
    {
        // Back to a closed manager whatever the test left.
        TW_PENDINGXFERS pending{};
        Call(&m_Source, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
        Call(&m_Source, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
        TW_USERINTERFACE ui{0, 0, &m_Window};
        Call(&m_Source, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
        Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &m_Source);
        QWidget* parent = &m_Window;
        Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent);
        QApplication::processEvents();
    }

    TW_UINT16 Call(TW_IDENTITY* destination, TW_UINT32 group, TW_UINT16 argument, TW_UINT16 message, void* data)
    {
        return m_pEntry(&m_App, destination, group, argument, message, data);
    }
    TW_UINT16 Condition()
    {
        TW_STATUS status{};
        EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
        return status.ConditionCode;
    }
    // Brings the manager to state 3, 4 or 5 (5 with the dialog shown).
    void Reach(int state)
    {
        QWidget* parent = &m_Window;
        ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent), TWRC_SUCCESS);
        EXPECT_EQ(m_App.Id, 1u);
        if (state >= 4) {
            ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &m_Source), TWRC_SUCCESS);
        }
        if (state >= 5) {
            TW_USERINTERFACE ui{1, 0, &m_Window};
            ASSERT_EQ(Call(&m_Source, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
        }
    }
    // Offers the window's next trapped event to the source.
    TW_UINT16 NextNotice(TW_EVENT& event)
    {
        EXPECT_TRUE(WaitFor([this] { return !m_Window.m_Events.empty(); }));
        if (m_Window.m_Events.empty())
            return TWRC_FAILURE;
        QEvent* posted = m_Window.m_Events.front();
        m_Window.m_Events.pop_front();
        event = {posted, MSG_NULL};
        const TW_UINT16 result = Call(&m_Source, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
        delete posted;
        return result;
    }

    vxtest::CSaneTestConfig m_Config{2, "Grid"};
    void* m_hLibrary = nullptr;
    DSMENTRYPROC m_pEntry = nullptr;
    TW_IDENTITY m_App{};
    TW_IDENTITY m_Source{};
    CEventTrap m_Window;
};

} // namespace

TEST_F(SourceManager, RefusesWrongTripletsAndWrongStates)
{
    struct Case {
        int state;
        TW_UINT32 group;
        TW_UINT16 argument, message;
        bool toSource;
        TW_UINT16 result, condition;
    } cases[] = {
        {2, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, false, TWRC_FAILURE, TWCC_SEQERROR},
        {2, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, false, TWRC_FAILURE, TWCC_SEQERROR},
        {2, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, true, TWRC_FAILURE, TWCC_SEQERROR},
        {3, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, false, TWRC_FAILURE, TWCC_SEQERROR},
        {3, DG_CONTROL, DAT_PARENT, MSG_GET, false, TWRC_FAILURE, TWCC_BADPROTOCOL},
        {3, DG_CONTROL, DAT_CAPABILITY, MSG_GET, true, TWRC_FAILURE, TWCC_BADPROTOCOL},
        {3, 0x0004, DAT_NULL, MSG_GET, true, TWRC_FAILURE, TWCC_BADPROTOCOL},
        {3, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, true, TWRC_FAILURE, TWCC_SEQERROR},
        {3, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, false, TWRC_FAILURE, TWCC_SEQERROR},
        {3, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, false, TWRC_SUCCESS, TWCC_SUCCESS},
        {4, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, false, TWRC_FAILURE, TWCC_SEQERROR},
        {4, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, false, TWRC_FAILURE, TWCC_MAXCONNECTIONS},
        {4, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, false, TWRC_FAILURE, TWCC_BADDEST},
        {4, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, true, TWRC_FAILURE, TWCC_SEQERROR},
        {4, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, true, TWRC_FAILURE, TWCC_BADPROTOCOL},
        {4, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, true, TWRC_FAILURE, TWCC_SEQERROR},
        {4, DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, true, TWRC_SUCCESS, TWCC_SUCCESS},
        {4, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, true, TWRC_FAILURE, TWCC_SEQERROR},
        {4, DG_IMAGE, DAT_IMAGEINFO, MSG_SET, true, TWRC_FAILURE, TWCC_BADPROTOCOL},
        {5, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, true, TWRC_FAILURE, TWCC_SEQERROR},
        {5, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, false, TWRC_FAILURE, TWCC_SEQERROR},
        {5, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, true, TWRC_FAILURE, TWCC_SEQERROR},
        {5, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, true, TWRC_FAILURE, TWCC_SEQERROR},
        {5, DG_CONTROL, DAT_EVENT, MSG_GET, true, TWRC_FAILURE, TWCC_BADPROTOCOL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "state " << c.state << " DAT " << c.argument << " MSG " << c.message);
        if (c.state > 2)
            Reach(c.state);
        // Data big enough for any of these calls.
        alignas(8) unsigned char data[512] = {};
        QWidget* parent = &m_Window;
        std::memcpy(data, &parent, sizeof parent);
        if (c.argument == DAT_IDENTITY || c.argument == DAT_USERINTERFACE)
            std::memcpy(data, &m_Source, sizeof m_Source);
        if (c.argument == DAT_USERINTERFACE)
            std::memcpy(data + 4, &parent, sizeof parent);
        EXPECT_EQ(Call(c.toSource ? &m_Source : nullptr, c.group, c.argument, c.message, data), c.result);
        EXPECT_EQ(Condition(), c.condition);
        EXPECT_EQ(Condition(), TWCC_SUCCESS);  // reading the status clears it
        TearDown();
        m_Source = TW_IDENTITY{};
    }
    // Calls with nothing to read from.
    EXPECT_EQ(m_pEntry(nullptr, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr), TWRC_FAILURE);
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr), TWRC_FAILURE);
    EXPECT_EQ(Condition(), TWCC_BADVALUE);
}

TEST_F(SourceManager, ListsTheDevicesAndOpensOneByName)
{
    Reach(3);
    TW_IDENTITY found{};
    QStringList names;
    for (TW_UINT16 msg = MSG_GETFIRST; Call(nullptr, DG_CONTROL, DAT_IDENTITY, msg, &found) == TWRC_SUCCESS;
         msg = MSG_GETNEXT)
        names << QString::fromLatin1(found.ProductName);
    EXPECT_EQ(names, QStringList({QStringLiteral("test:0"), QStringLiteral("test:1")}));
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &found), TWRC_ENDOFLIST);

    std::strcpy(m_Source.ProductName, "test:9");
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &m_Source), TWRC_FAILURE);
    EXPECT_EQ(Condition(), TWCC_NODS);
    std::strcpy(m_Source.ProductName, "test:1");
    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &m_Source), TWRC_SUCCESS);
    EXPECT_STREQ(m_Source.ProductName, "test:1");
    EXPECT_NE(m_Source.Id, 0u);
    TW_IDENTITY other = m_Source;
    ++other.Id;
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &other), TWRC_FAILURE);
    EXPECT_EQ(Condition(), TWCC_BADDEST);
}

// Without its dialog the source scans at once with the device's settings:
// one page, then it asks to be closed.
TEST_F(SourceManager, TransfersANativeBitmapAndAsksToClose)
{
    Reach(4);
    TW_USERINTERFACE ui{0, 0, &m_Window};
    ASSERT_EQ(Call(&m_Source, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    // Another window's event is not the source's.
    QEvent foreign(QEvent::User);
    TW_EVENT event{&foreign, MSG_XFERREADY};
    EXPECT_EQ(Call(&m_Source, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
    EXPECT_EQ(event.TWMessage, MSG_NULL);

    ASSERT_EQ(NextNotice(event), TWRC_DSEVENT);
    ASSERT_EQ(event.TWMessage, MSG_XFERREADY);
    TW_IMAGEINFO info{};
    ASSERT_EQ(Call(&m_Source, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    // The configuration: grey, 8 bits, 25 dpi, 10 x 10 mm.
    EXPECT_EQ(info.ImageWidth, 9);
    EXPECT_EQ(info.ImageLength, 9);
    EXPECT_EQ(info.BitsPerPixel, 8);
    EXPECT_EQ(info.PixelType, TWPT_GRAY);
    EXPECT_EQ(info.XResolution.Whole, 25);
    TW_HANDLE handle = nullptr;
    ASSERT_EQ(Call(&m_Source, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle), TWRC_XFERDONE);
    ASSERT_NE(handle, nullptr);
    std::int32_t header[10];
    std::memcpy(header, handle, sizeof header);
    EXPECT_EQ(header[0], 40);
    EXPECT_EQ(header[1], 9);
    EXPECT_EQ(header[2], 9);  // positive: rows bottom-up
    EXPECT_EQ(header[3] & 0xFFFF, 1);
    EXPECT_EQ(header[3] >> 16, 8);
    EXPECT_EQ(header[4], 0);
    EXPECT_EQ(header[5], 12 * 9);  // rows padded to 4 bytes
    std::free(handle);
    EXPECT_EQ(Call(&m_Source, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle), TWRC_FAILURE);
    EXPECT_EQ(Condition(), TWCC_SEQERROR);

    TW_PENDINGXFERS pending{99, 0};
    ASSERT_EQ(Call(&m_Source, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    EXPECT_EQ(pending.Count, 0);
    EXPECT_EQ(Call(&m_Source, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_FAILURE);
    ASSERT_EQ(NextNotice(event), TWRC_DSEVENT);
    EXPECT_EQ(event.TWMessage, MSG_CLOSEDSREQ);
    EXPECT_EQ(Call(&m_Source, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &m_Source), TWRC_SUCCESS);
}

// A notice posted before the source was disabled means nothing afterwards.
TEST_F(SourceManager, ANoticeOfAnEarlierEnablingIsStale)
{
    Reach(4);
    TW_USERINTERFACE ui{0, 0, &m_Window};
    ASSERT_EQ(Call(&m_Source, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    ASSERT_TRUE(WaitFor([this] { return !m_Window.m_Events.empty(); }));
    TW_PENDINGXFERS pending{};
    ASSERT_EQ(Call(&m_Source, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS);
    ASSERT_EQ(Call(&m_Source, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
    ASSERT_EQ(Call(&m_Source, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    TW_EVENT event{};
    EXPECT_EQ(NextNotice(event), TWRC_DSEVENT);
    EXPECT_EQ(event.TWMessage, MSG_NULL);
}
