// The wizard's step machine, its control tables and log lines, and the
// directory page, driven through a recording window system.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "install/install_log.h"
#include "payload/setup_info.h"
#include "platform/platform.h"
#include "tests/support/fake_window_system.h"
#include "tests/support/test_support.h"
#include "ui/dir_page.h"
#include "ui/setup_dlg.h"

using testing_support::Ansi;
using testing_support::FakeProgressBar;
using testing_support::FakeWindowSystem;
using testing_support::ReadLogMessages;
using testing_support::TempDir;
using Lines = std::vector<std::string>;

namespace {

const uint64_t kPlentyOfSpace = 500ull * 1024 * 1024;

int g_threadStarts = 0;
// Starts nothing: the installation stays running for as long as a test wants.
int HoldingStarter(plat::ThreadProc, void*) {
    ++g_threadStarts;
    return 1;
}
// Runs the worker at once on the calling thread.
int InlineStarter(plat::ThreadProc proc, void* arg) {
    ++g_threadStarts;
    proc(arg);
    return 1;
}
int SucceedingRun(CSetupInfo*, CFileStream&) { return 1; }

// A wizard over a recording window system, its log in a temporary directory.
class Wizard {
  public:
    Wizard() {
        m_installHost = m_temp.Join("App");
        EXPECT_EQ(0, mkdir(m_installHost.c_str(), 0755));
        snprintf(m_info.m_szInstallDir, kFieldSize, "%s", Ansi(m_installHost).c_str());
        SetLogOwner(&m_info);
        plat::SetFakeDrive(plat::kDriveFixed, kPlentyOfSpace);
        g_threadStarts = 0;
        m_dlg.m_pageProgress.SetThreadStarter(HoldingStarter);
        m_dlg.m_pageProgress.SetInstallRun(SucceedingRun);
        // The window's creation, as the Win32 layer does it.
        m_dlg.m_pageProgress.OnCreate();
        m_dlg.m_pageProgress.OnInitDialog(&m_bar);
        m_dlg.m_pageDir.OnInitDialog();
        m_ws.ops.clear();
    }
    ~Wizard() {
        plat::ClearFakeDrive();
        SetLogOwner(nullptr);
        g_pProgressCtrl = nullptr;
    }

    Lines Log() { return ReadLogMessages(m_installHost); }
    // The log lines an action writes.
    template <typename Action>
    Lines LinesOf(Action action) {
        size_t before = Log().size();
        action();
        Lines all = Log();
        return Lines(all.begin() + static_cast<long>(before), all.end());
    }

    void GoToStep2() {
        m_dlg.OnNext();
        m_dlg.OnNext();
    }
    void GoToInstalling() {
        GoToStep2();
        m_dlg.OnNext();
    }
    // A run that ends with success, shown by the next poll.
    void GoToFinished() {
        m_dlg.m_pageProgress.SetThreadStarter(InlineStarter);
        GoToInstalling();
        m_dlg.m_pageProgress.OnTimer(ui::kProgressTimer);
    }

    TempDir m_temp;
    std::string m_installHost;
    CSetupInfo m_info;
    FakeWindowSystem m_ws;
    FakeProgressBar m_bar;
    CSetupDlg m_dlg{&m_info, &m_ws};
};

class WizardTest : public ::testing::Test, public Wizard {};

TEST_F(WizardTest, NextWalksThroughTheStepsWithTheirLogLines) {
    EXPECT_EQ((Lines{"Instal Btn", "Install Step 1"}), LinesOf([&] { m_dlg.OnNext(); }));
    EXPECT_EQ(ui::kStepDirectory, m_dlg.m_nStep);

    EXPECT_EQ((Lines{"Instal Btn", "Install Step 2"}), LinesOf([&] { m_dlg.OnNext(); }));
    EXPECT_EQ(ui::kStepProgress, m_dlg.m_nStep);
    EXPECT_EQ(1u, m_ws.timers.count(ui::kAdvanceTimer));

    EXPECT_EQ((Lines{"Instal Btn", "Install Step 3", "Prop3 Next begin", "Prop3 Next end"}),
              LinesOf([&] { m_dlg.OnNext(); }));
    EXPECT_EQ(1, g_threadStarts);
    EXPECT_TRUE(m_dlg.m_pageProgress.IsInstalling());
}

TEST_F(WizardTest, FailedCheckEndsTheWizardWithOk) {
    plat::SetFakeDrive(plat::kDriveFixed, 0);
    GoToStep2();
    EXPECT_EQ((Lines{"Instal Btn", "Install Step 3", "Prop3 Next begin"}),
              LinesOf([&] { m_dlg.OnNext(); }));
    EXPECT_EQ(ui::kResultOk, m_ws.endResult);
    EXPECT_EQ(Lines{texts::kLowDiskSpace}, m_ws.messages);
    EXPECT_EQ(0, g_threadStarts);
    // The buttons stay disabled while the wizard goes away.
    EXPECT_FALSE(m_ws.Control(ui::kWizardWindow, IDC_NEXT).enabled);
    EXPECT_FALSE(m_ws.Control(ui::kWizardWindow, ui::kResultCancel).enabled);
}

TEST_F(WizardTest, FinishEndsTheWizardWithOk) {
    GoToFinished();
    EXPECT_EQ(0, m_ws.endResult);
    EXPECT_EQ((Lines{"Instal Btn", "Finish Install"}), LinesOf([&] { m_dlg.OnNext(); }));
    EXPECT_EQ(ui::kResultOk, m_ws.endResult);
}

TEST_F(WizardTest, BackReturnsOneStepWithItsLogLine) {
    GoToStep2();
    EXPECT_EQ(Lines{"Back to Step 2"}, LinesOf([&] { m_dlg.OnBack(); }));
    EXPECT_EQ(ui::kStepDirectory, m_dlg.m_nStep);
    EXPECT_EQ(Lines{"Back to Step 1"}, LinesOf([&] { m_dlg.OnBack(); }));
    EXPECT_EQ(ui::kStepConfirm, m_dlg.m_nStep);
    EXPECT_EQ(Lines{}, LinesOf([&] { m_dlg.OnBack(); }));
    EXPECT_EQ(ui::kStepConfirm, m_dlg.m_nStep);
}

TEST_F(WizardTest, NextAtAnUnknownStepOnlyLogsThePress) {
    m_dlg.m_nStep = 7;
    EXPECT_EQ(Lines{"Instal Btn"}, LinesOf([&] { m_dlg.OnNext(); }));
    EXPECT_EQ(7, m_dlg.m_nStep);
    EXPECT_TRUE(m_ws.ops.empty());
}

TEST(WizardExit, ExitEndsWithCancelInEveryStateButInstalling) {
    struct Case {
        const char* state;
        void (*reach)(Wizard&);
    };
    const Case cases[] = {
        {"step 0", [](Wizard&) {}},
        {"step 1", [](Wizard& w) { w.m_dlg.OnNext(); }},
        {"step 2, not started", [](Wizard& w) { w.GoToStep2(); }},
        {"finished", [](Wizard& w) { w.GoToFinished(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        Wizard w;
        c.reach(w);
        EXPECT_EQ(Lines{}, w.LinesOf([&] { w.m_dlg.OnCancel(); }));
        EXPECT_EQ(ui::kResultCancel, w.m_ws.endResult);
    }
}

TEST_F(WizardTest, EscapeAndCloseCannotEndTheWizardWhileInstalling) {
    GoToInstalling();
    m_dlg.OnCancel();  // Exit (disabled), Escape, Alt+F4 and Close all arrive here
    m_dlg.OnOK();      // Enter on a dialog whose default button is disabled
    EXPECT_EQ(0, m_ws.endResult);
    // Back is refused too, whatever sends it.
    m_dlg.OnBack();
    EXPECT_EQ(ui::kStepProgress, m_dlg.m_nStep);
}

TEST_F(WizardTest, ThePostedClickNeverStartsTheInstallationTwice) {
    GoToStep2();
    m_dlg.OnNext();  // a quick manual click
    ASSERT_EQ(1, g_threadStarts);
    // The timer's click arrives 100 ms after entering the step.
    m_dlg.m_pageProgress.OnTimer(ui::kAdvanceTimer);
    ASSERT_EQ(1, m_ws.postedNextClicks);
    EXPECT_EQ(Lines{"Instal Btn"}, LinesOf([&] { m_dlg.OnNext(); }));
    EXPECT_EQ(1, g_threadStarts);
}

TEST_F(WizardTest, BackBeforeThePostedClickReentersStep2) {
    GoToStep2();
    m_dlg.OnBack();
    // The pending click then counts as Next on step 1.
    EXPECT_EQ((Lines{"Instal Btn", "Install Step 2"}), LinesOf([&] { m_dlg.OnNext(); }));
    EXPECT_EQ(ui::kStepProgress, m_dlg.m_nStep);
    EXPECT_EQ(1u, m_ws.timers.count(ui::kAdvanceTimer));
    EXPECT_EQ(0, g_threadStarts);
}

// The operations of each step, in their order.
TEST_F(WizardTest, UpdateStepControlsAppliesEachStepsTableInOrder) {
    const std::string back = std::to_string(IDC_BACK), next = std::to_string(IDC_NEXT);
    const std::string picture = std::to_string(IDC_CONFIRM_PICTURE);
    const std::string label = std::to_string(IDC_CONFIRM_LABEL);
    const std::string previous = texts::kPrevious;

    m_dlg.m_nStep = ui::kStepConfirm;
    m_dlg.UpdateStepControls();
    EXPECT_EQ((Lines{"hide dir-page", "hide progress-page", "text wizard " + back + " " + previous,
                     "text wizard " + next + " " + texts::kStartInstall, "hide wizard " + back,
                     "show wizard " + next, "show wizard " + picture, "show wizard " + label}),
              m_ws.ops);

    m_ws.ops.clear();
    m_dlg.m_nStep = ui::kStepDirectory;
    m_dlg.UpdateStepControls();
    EXPECT_EQ((Lines{"show dir-page", "hide progress-page", "disable wizard " + back,
                     "enable wizard " + next, "text wizard " + back + " " + previous,
                     "text wizard " + next + " " + texts::kNext, "show wizard " + back,
                     "show wizard " + next, "enable wizard " + back, "enable wizard " + next,
                     "hide wizard " + picture, "hide wizard " + label}),
              m_ws.ops);

    m_ws.ops.clear();
    m_dlg.m_nStep = ui::kStepProgress;
    m_dlg.UpdateStepControls();
    EXPECT_EQ((Lines{"hide dir-page", "show progress-page", "text wizard " + back + " " + previous,
                     "text wizard " + next + " " + texts::kNext, "enable wizard " + back,
                     "enable wizard " + next, "start timer 2 100", "hide wizard " + picture,
                     "hide wizard " + label}),
              m_ws.ops);

    m_ws.ops.clear();
    m_dlg.m_pageProgress.m_bFinished = true;
    m_dlg.UpdateStepControls();
    EXPECT_EQ((Lines{"hide dir-page", "show progress-page", "text wizard " + back + " " + previous,
                     "text wizard " + next + " " + texts::kFinish, "hide wizard 2",
                     "disable wizard " + back, "enable wizard " + next, "enable close",
                     "enable wizard 2", "hide wizard " + picture, "hide wizard " + label}),
              m_ws.ops);

    m_ws.ops.clear();
    m_dlg.m_nStep = -1;
    m_dlg.UpdateStepControls();
    EXPECT_TRUE(m_ws.ops.empty());
}

struct ControlState {
    bool dirPage, progressPage;
    bool backVisible, backEnabled;
    bool nextEnabled;
    const char* nextText;
    bool exitVisible, exitEnabled;
    bool confirmShown;
    bool closeEnabled;
};

void ExpectState(FakeWindowSystem& ws, const ControlState& s) {
    EXPECT_EQ(s.dirPage, ws.pageVisible[ui::kDirPageWindow]);
    EXPECT_EQ(s.progressPage, ws.pageVisible[ui::kProgressPageWindow]);
    EXPECT_EQ(s.backVisible, ws.Control(ui::kWizardWindow, IDC_BACK).visible);
    EXPECT_EQ(s.backEnabled, ws.Control(ui::kWizardWindow, IDC_BACK).enabled);
    EXPECT_TRUE(ws.Control(ui::kWizardWindow, IDC_NEXT).visible);
    EXPECT_EQ(s.nextEnabled, ws.Control(ui::kWizardWindow, IDC_NEXT).enabled);
    EXPECT_EQ(std::string(s.nextText), ws.Control(ui::kWizardWindow, IDC_NEXT).text);
    EXPECT_EQ(s.exitVisible, ws.Control(ui::kWizardWindow, ui::kResultCancel).visible);
    EXPECT_EQ(s.exitEnabled, ws.Control(ui::kWizardWindow, ui::kResultCancel).enabled);
    EXPECT_EQ(s.confirmShown, ws.Control(ui::kWizardWindow, IDC_CONFIRM_PICTURE).visible);
    EXPECT_EQ(s.confirmShown, ws.Control(ui::kWizardWindow, IDC_CONFIRM_LABEL).visible);
    EXPECT_EQ(s.closeEnabled, ws.closeEnabled);
}

TEST_F(WizardTest, EachStateShowsItsControls) {
    {
        SCOPED_TRACE("step 1");
        m_dlg.OnNext();
        ExpectState(m_ws, {true, false, true, true, true, texts::kNext, true, true, false, true});
    }
    {
        SCOPED_TRACE("step 0 again");
        m_dlg.OnBack();
        ExpectState(
            m_ws, {false, false, false, true, true, texts::kStartInstall, true, true, true, true});
    }
    {
        SCOPED_TRACE("step 2, not started");
        GoToStep2();
        ExpectState(m_ws, {false, true, true, true, true, texts::kNext, true, true, false, true});
    }
    {
        SCOPED_TRACE("installing");
        m_dlg.OnNext();
        ExpectState(m_ws,
                    {false, true, true, false, false, texts::kNext, true, false, false, false});
    }
}

TEST_F(WizardTest, FinishedStateShowsFinishWithExitHiddenButEnabled) {
    GoToFinished();
    ExpectState(m_ws, {false, true, true, false, true, texts::kFinish, false, true, false, true});
}

TEST(WizardHelpers, AboutCommandIgnoresTheLowFourBits) {
    EXPECT_TRUE(ui::IsAboutCommand(0x10));
    EXPECT_TRUE(ui::IsAboutCommand(0x1F));
    EXPECT_FALSE(ui::IsAboutCommand(0x20));
    EXPECT_FALSE(ui::IsAboutCommand(0xF060));  // SC_CLOSE
}

TEST(WizardHelpers, TitleIsNameVersionAndATrailingBlank) {
    CSetupInfo info;
    snprintf(info.m_szProductName, kFieldSize, "%s", "\xB2\xE2\xCA\xD4");  // 测试
    snprintf(info.m_szVersion, kFieldSize, "%s", "1.2");
    char title[2 * kFieldSize + 2];
    ui::FormatWizardTitle(info, title, sizeof title);
    EXPECT_STREQ("\xB2\xE2\xCA\xD4 1.2 ", title);
    info.m_szVersion[0] = '\0';
    ui::FormatWizardTitle(info, title, sizeof title);
    EXPECT_STREQ("\xB2\xE2\xCA\xD4  ", title);
}

// --- Directory page ---------------------------------------------------------

TEST(DirPage, BrowsedFolderGetsTheDefaultsLastComponent) {
    struct Case {
        const char* defaultDir;
        const char* chosen;
        const char* expected;
    };
    const Case cases[] = {
        {"D:\\Apps\\Product", "E:\\Tools", "E:\\Tools\\Product"},
        {"D:\\Apps\\Product", "E:\\", "E:\\Product"},  // a drive root gets no second backslash
        {"D:\\Apps\\Product", "", "\\Product"},        // an item that is no folder
        {"Product", "E:\\Tools", "E:\\Tools\\"},       // a default without backslash
        {"D:\\Apps\\", "E:\\Tools", "E:\\Tools\\"},
        // The backslash is found by its byte value.
        {"D:\\Apps\\\xB2\xE2\xCA\xD4", "E:\\\xB1\xED", "E:\\\xB1\xED\\\xB2\xE2\xCA\xD4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        char out[plat::kMaxPath];
        ASSERT_EQ(1, ui::ComposeBrowsedPath(c.chosen, c.defaultDir, out));
        EXPECT_STREQ(c.expected, out);
    }
}

TEST(DirPage, ACompositionLongerThanAPathIsRefused) {
    std::string chosen = "E:\\" + std::string(248, 'a');  // 251 bytes
    char out[plat::kMaxPath];
    EXPECT_EQ(1, ui::ComposeBrowsedPath(chosen.c_str(), "D:\\1234567", out));  // 259 bytes
    EXPECT_EQ(259u, strlen(out));
    EXPECT_EQ(0, ui::ComposeBrowsedPath(chosen.c_str(), "D:\\12345678", out));
    EXPECT_STREQ("", out);
}

class DirPageTest : public WizardTest {};

TEST_F(DirPageTest, InitShowsTheDirectoryAndBrowseReplacesIt) {
    const std::string dir = m_info.m_szInstallDir;
    EXPECT_EQ(dir, m_ws.Control(ui::kDirPageWindow, IDC_DIR_EDIT).text);

    const char* folders[] = {"E:\\Tools", "F:\\Work"};
    int call = 0;
    m_ws.browse = [&](char* path) {
        strcpy(path, folders[call++]);
        return 1;
    };
    EXPECT_EQ((Lines{"Prop2 PreView begin", "Prop2 PreView end"}),
              LinesOf([&] { m_dlg.m_pageDir.OnBrowse(); }));
    EXPECT_EQ("E:\\Tools\\App", m_ws.Control(ui::kDirPageWindow, IDC_DIR_EDIT).text);
    EXPECT_EQ(std::string("browse ") + texts::kBrowseTitle, m_ws.ops[m_ws.ops.size() - 2]);
    // Browsing again starts from the directory in force, not the edit box.
    m_dlg.m_pageDir.OnBrowse();
    EXPECT_EQ("F:\\Work\\App", m_ws.Control(ui::kDirPageWindow, IDC_DIR_EDIT).text);
    EXPECT_EQ(dir, m_info.m_szInstallDir);
}

TEST_F(DirPageTest, CancelledBrowseLeavesTheTextAndLogsBothLines) {
    m_ws.Control(ui::kDirPageWindow, IDC_DIR_EDIT).text = "typed";
    m_ws.browse = [](char*) { return 0; };
    EXPECT_EQ((Lines{"Prop2 PreView begin", "Prop2 PreView end"}),
              LinesOf([&] { m_dlg.m_pageDir.OnBrowse(); }));
    EXPECT_EQ("typed", m_ws.Control(ui::kDirPageWindow, IDC_DIR_EDIT).text);
}

}  // namespace
