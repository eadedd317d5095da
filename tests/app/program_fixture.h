#pragma once

// The whole program offscreen for window tests: the application with its
// real main frame, menus and bars, image windows opened from files.
#include <QApplication>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "effect_runner.h"
#include "settings/general_settings.h"
#include "shell/ambrel_app.h"
#include "shell/main_frame.h"
#include "qt_test_support.h"
#include "test_support.h"
#include "viewer/ambrel_doc.h"
#include "viewer/ambrel_view.h"
#include "viewer/pixel_frame.h"

namespace vxtest {

inline void ProcessEvents()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

struct ImageWindowParts {
    CPixelFrame* frame = nullptr;
    CAmbrelView* view = nullptr;
    CAmbrelDoc* doc = nullptr;
    CVelvix& Image() const { return doc->Image(); }
};

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings().clear();
        GeneralSettings = SGeneralSettings{};
        CEffectRunner::ForgetRememberedValues();
        // Changed pictures are left unsaved without a question.
        m_askSaveChanges = CAmbrelDoc::s_pfnAskSaveChanges;
        CAmbrelDoc::s_pfnAskSaveChanges = [](const QString&) { return int(QMessageBox::No); };
        m_app = std::make_unique<CAmbrelApp>();
        m_app->m_bShowSplash = false;
        ASSERT_TRUE(m_app->InitInstance({}));
        m_main = m_app->GetMainFrame();
        m_main->resize(1000, 800);
        ProcessEvents();
    }
    void TearDown() override
    {
        m_app.reset();
        ProcessEvents();
        CAmbrelDoc::s_pfnAskSaveChanges = m_askSaveChanges;
    }

    // Saves the picture into the test's folder and opens it in a new window.
    ImageWindowParts Open(const std::string& name, const CVelvix& picture)
    {
        const std::string path = m_dir.File(name);
        EXPECT_EQ(const_cast<CVelvix&>(picture).SaveImage(path.c_str()), 1);
        EXPECT_TRUE(m_main->OpenPath(QString::fromStdString(path)));
        ProcessEvents();
        return Active();
    }

    ImageWindowParts Active() const
    {
        ImageWindowParts window;
        window.frame = qobject_cast<CPixelFrame*>(m_main->MDIGetActive());
        EXPECT_NE(window.frame, nullptr);
        if (!window.frame)
            return window;
        window.view = dynamic_cast<CAmbrelView*>(window.frame->GetActiveView());
        window.doc = window.view ? window.view->GetDocument() : nullptr;
        return window;
    }

    void Activate(const ImageWindowParts& window)
    {
        m_main->GetMDIClient()->setActiveSubWindow(window.frame->GetMDISubWindow());
        ProcessEvents();
    }

    QMenu* MenuBarMenu(const QString& title) const
    {
        for (QAction* action : m_main->menuBar()->actions())
            if (action->text() == title)
                return action->menu();
        return nullptr;
    }

    // Opens a menu of the menu bar as a click would (its contents are updated).
    QMenu* Opened(const QString& title)
    {
        QMenu* menu = MenuBarMenu(title);
        if (menu)
            emit menu->aboutToShow();
        return menu;
    }

    TempDir m_dir;
    std::unique_ptr<CAmbrelApp> m_app;
    CMainFrame* m_main = nullptr;
    std::function<int(const QString&)> m_askSaveChanges;
};

} // namespace vxtest
