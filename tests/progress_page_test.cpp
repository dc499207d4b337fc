// The progress page: the banner by position, the launch with its directory
// commit, and the hand-over between the worker thread and the poll.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "install/install_log.h"
#include "payload/setup_info.h"
#include "platform/platform.h"
#include "tests/support/fake_window_system.h"
#include "tests/support/test_support.h"
#include "ui/setup_dlg.h"

using testing_support::Ansi;
using testing_support::FakeProgressBar;
using testing_support::FakeWindowSystem;
using testing_support::ReadLogMessages;
using testing_support::TempDir;
using Lines = std::vector<std::string>;

namespace {

const uint64_t kPlentyOfSpace = 500ull * 1024 * 1024;

// What the worker's run does: move the bar, optionally stop at a gate until
// the test opens it, then return its result.
struct RunScript {
    std::vector<int> positions;
    int result = 1;
    bool holdAtGate = false;

    std::mutex lock;
    std::condition_variable changed;
    bool atGate = false;
    bool gateOpen = false;

    void OpenGate() {
        std::lock_guard<std::mutex> hold(lock);
        gateOpen = true;
        changed.notify_all();
    }
    void WaitAtGate() {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [this] { return atGate; });
    }
};
RunScript* g_script = nullptr;

int ScriptedRun(CSetupInfo*, CFileStream&) {
    for (int position : g_script->positions) g_pProgressCtrl->SetPos(position);
    if (g_script->holdAtGate) {
        std::unique_lock<std::mutex> hold(g_script->lock);
        g_script->atGate = true;
        g_script->changed.notify_all();
        g_script->changed.wait(hold, [] { return g_script->gateOpen; });
    }
    return g_script->result;
}

int FailingStarter(plat::ThreadProc, void*) { return 0; }

class ProgressPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_installHost = m_temp.Join("App");
        ASSERT_EQ(0, mkdir(m_installHost.c_str(), 0755));
        snprintf(m_info.m_szInstallDir, kFieldSize, "%s", Ansi(m_installHost).c_str());
        SetLogOwner(&m_info);
        plat::SetFakeDrive(plat::kDriveFixed, kPlentyOfSpace);
        g_script = &m_script;
        Page().SetInstallRun(ScriptedRun);
        Page().OnCreate();
        Page().OnInitDialog(&m_bar);
        m_dlg.m_pageDir.OnInitDialog();
    }
    void TearDown() override {
        // The worker touches nothing once the flag is set; wait for it.
        if (Page().HasLaunched()) WaitUntilFinished();
        plat::ClearFakeDrive();
        SetLogOwner(nullptr);
        g_pProgressCtrl = nullptr;
        g_script = nullptr;
    }

    CSetupProp3& Page() { return m_dlg.m_pageProgress; }
    Lines Log() { return ReadLogMessages(m_installHost); }

    void StartInstallation() {
        m_dlg.OnNext();
        m_dlg.OnNext();
        m_dlg.OnNext();
        ASSERT_TRUE(Page().HasLaunched());
    }
    void WaitUntilFinished() {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!Page().m_bFinished && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(Page().m_bFinished);
    }
    // What the user-interface thread does between polls.
    void DeliverWorkerRequests() {
        for (int request : m_ws.TakeWorkerRequests()) Page().OnWorkerRequest(request);
    }
    void Poll() { Page().OnTimer(ui::kProgressTimer); }
    // The operations from the last one equal to first.
    Lines OpsFrom(const std::string& first) {
        auto found = std::find(m_ws.ops.rbegin(), m_ws.ops.rend(), first);
        return found == m_ws.ops.rend() ? Lines{} : Lines(std::prev(found.base()), m_ws.ops.end());
    }
    void ExpectFinishedStateNeverShown() {
        for (const std::string& op : m_ws.ops)
            EXPECT_NE(op, "text wizard " + std::to_string(IDC_NEXT) + " " + texts::kFinish);
    }

    TempDir m_temp;
    std::string m_installHost;
    RunScript m_script;
    CSetupInfo m_info;
    FakeWindowSystem m_ws;
    FakeProgressBar m_bar;
    CSetupDlg m_dlg{&m_info, &m_ws};
};

TEST_F(ProgressPageTest, BannerFollowsThePositionAndRepaintsOnChange) {
    EXPECT_EQ(0, m_bar.pos);  // set by the page's initialisation
    struct Step {
        int position;
        int32_t image;
        bool repaint;
    };
    const Step steps[] = {
        {0, 2, false},   {49, 2, false},  {50, 3, true},
        {100, 3, false}, {101, 3, false},  // outside the bar's range: unchanged
        {-1, 3, false},  {10, 2, true},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.position);
        m_ws.ops.clear();
        m_bar.pos = s.position;
        Poll();
        EXPECT_EQ(s.image, Page().m_nImage);
        EXPECT_EQ(s.repaint ? Lines{"invalidate progress-page"} : Lines{}, m_ws.ops);
    }
}

TEST_F(ProgressPageTest, SuccessfulRunHandsOverToTheFinishedState) {
    m_script.positions = {30, 60, 100};
    StartInstallation();
    WaitUntilFinished();
    DeliverWorkerRequests();
    EXPECT_TRUE(m_ws.Control(ui::kProgressPageWindow, IDC_PROGRESS).visible);

    m_ws.ops.clear();
    Poll();
    const std::string bar = std::to_string(IDC_PROGRESS);
    const std::string label = std::to_string(IDC_PROGRESS_LABEL);
    Lines expected = {"invalidate progress-page", "stop timer 1", "hide progress-page " + bar,
                      "text progress-page " + label + " " + texts::kInstallSucceeded};
    EXPECT_EQ(expected, Lines(m_ws.ops.begin(), m_ws.ops.begin() + 4));
    EXPECT_EQ(3, Page().m_nImage);
    EXPECT_EQ(std::string(texts::kFinish), m_ws.Control(ui::kWizardWindow, IDC_NEXT).text);
    EXPECT_TRUE(m_ws.closeEnabled);
    EXPECT_TRUE(m_ws.messages.empty());

    m_dlg.OnNext();
    EXPECT_EQ(ui::kResultOk, m_ws.endResult);
    EXPECT_EQ((Lines{"Instal Btn", "Install Step 1", "Instal Btn", "Install Step 2", "Instal Btn",
                     "Install Step 3", "Prop3 Next begin", "Prop3 Next end", "Instal Btn",
                     "Finish Install"}),
              Log());
}

TEST_F(ProgressPageTest, FailedRunIsReportedAndEndsTheWizardWithoutFinishing) {
    m_script.positions = {30};
    m_script.result = 0;
    StartInstallation();
    WaitUntilFinished();
    DeliverWorkerRequests();
    // The worker's line may come before or after the launch's last one.
    Lines log = Log();
    EXPECT_NE(log.end(), std::find(log.end() - 2, log.end(), "Thread ExtraFileFromInfo Error"));

    m_ws.ops.clear();
    Poll();
    const std::string bar = std::to_string(IDC_PROGRESS);
    const std::string label = std::to_string(IDC_PROGRESS_LABEL);
    EXPECT_EQ((Lines{"stop timer 1", "hide progress-page " + bar,
                     "text progress-page " + label + " " + texts::kInstallFailedLabel,
                     std::string("message ") + texts::kInstallFailedBox, "start timer 2 100"}),
              m_ws.ops);
    EXPECT_EQ("ExitDialog_Install failed", Log().back());
    EXPECT_EQ(2, Page().m_nImage);  // failed before half way

    Poll();  // the poll has ended: nothing happens twice
    EXPECT_EQ(1u, m_ws.messages.size());
    Page().OnTimer(ui::kAdvanceTimer);
    EXPECT_EQ((Lines{"stop timer 2", "post next"}), Lines(m_ws.ops.end() - 2, m_ws.ops.end()));
    m_dlg.OnNext();  // the posted click
    EXPECT_EQ(ui::kResultOk, m_ws.endResult);
    log = Log();
    EXPECT_EQ((Lines{"Instal Btn", "Finish Install"}), Lines(log.end() - 2, log.end()));
    ExpectFinishedStateNeverShown();
}

// The bar reaches 100 before the run's last steps (shortcuts, uninstaller)
// and the run then fails: no poll may take that for a success.
TEST_F(ProgressPageTest, FailureAfterPosition100IsNeverTakenForSuccess) {
    m_script.positions = {50, 100};
    m_script.holdAtGate = true;
    m_script.result = 0;
    StartInstallation();
    m_script.WaitAtGate();
    DeliverWorkerRequests();
    for (int i = 0; i < 3; ++i) Poll();
    EXPECT_EQ(3, Page().m_nImage);
    EXPECT_EQ(1u, m_ws.timers.count(ui::kProgressTimer));  // still polling
    EXPECT_FALSE(m_ws.Control(ui::kWizardWindow, IDC_NEXT).enabled);

    m_script.OpenGate();
    WaitUntilFinished();
    Poll();
    EXPECT_EQ(Lines{texts::kInstallFailedBox}, m_ws.messages);
    EXPECT_EQ(std::string(texts::kInstallFailedLabel),
              m_ws.Control(ui::kProgressPageWindow, IDC_PROGRESS_LABEL).text);
    ExpectFinishedStateNeverShown();
}

// A quick manual Next started the run; the run ends before the click that
// entering step 2 posted arrives, and before any poll. That click, and
// Escape, must not end the wizard before the result has been shown.
TEST_F(ProgressPageTest, RunEndedBeforeThePollCannotEndTheWizardUntold) {
    m_script.result = 0;
    StartInstallation();
    WaitUntilFinished();
    Page().OnTimer(ui::kAdvanceTimer);
    m_dlg.OnNext();  // the posted click
    m_dlg.OnCancel();
    EXPECT_EQ(0, m_ws.endResult);

    Poll();
    EXPECT_EQ(Lines{texts::kInstallFailedBox}, m_ws.messages);
    Page().OnTimer(ui::kAdvanceTimer);
    m_dlg.OnNext();
    EXPECT_EQ(ui::kResultOk, m_ws.endResult);
}

TEST_F(ProgressPageTest, SuccessWaitsForTheRunToEndAfterPosition100) {
    m_script.positions = {100};
    m_script.holdAtGate = true;
    StartInstallation();
    m_script.WaitAtGate();
    Poll();
    EXPECT_NE(std::string(texts::kFinish), m_ws.Control(ui::kWizardWindow, IDC_NEXT).text);
    m_script.OpenGate();
    WaitUntilFinished();
    Poll();
    EXPECT_EQ(std::string(texts::kFinish), m_ws.Control(ui::kWizardWindow, IDC_NEXT).text);
}

TEST_F(ProgressPageTest, SuccessfulRunThatUnpackedNothingFinishes) {
    StartInstallation();  // the run never moves the bar
    WaitUntilFinished();
    Poll();
    EXPECT_EQ(100, m_bar.pos);
    EXPECT_EQ(3, Page().m_nImage);
    EXPECT_EQ(std::string(texts::kInstallSucceeded),
              m_ws.Control(ui::kProgressPageWindow, IDC_PROGRESS_LABEL).text);
    EXPECT_EQ(std::string(texts::kFinish), m_ws.Control(ui::kWizardWindow, IDC_NEXT).text);
    // The worker's request to show the bar, handled only now, is stale.
    DeliverWorkerRequests();
    EXPECT_FALSE(m_ws.Control(ui::kProgressPageWindow, IDC_PROGRESS).visible);
}

TEST_F(ProgressPageTest, ThreadThatCannotStartIsAFailedInstallation) {
    Page().SetThreadStarter(FailingStarter);
    m_dlg.OnNext();
    m_dlg.OnNext();
    EXPECT_EQ(0, Page().StartInstall());
    EXPECT_TRUE(Page().m_bFinished);
    Lines log = Log();
    EXPECT_EQ((Lines{"Prop3 Next begin", "CreateThread failed"}), Lines(log.end() - 2, log.end()));
    Poll();
    EXPECT_EQ(Lines{texts::kInstallFailedBox}, m_ws.messages);
    Page().OnTimer(ui::kAdvanceTimer);
    m_dlg.OnNext();
    EXPECT_EQ(ui::kResultOk, m_ws.endResult);
    ExpectFinishedStateNeverShown();
}

TEST_F(ProgressPageTest, UnchangedDirectoryIsNotTouched) {
    StartInstallation();
    WaitUntilFinished();
    Lines log = Log();
    EXPECT_EQ((Lines{"Prop3 Next begin", "Prop3 Next end"}), Lines(log.begin() + 6, log.end()));
    // The launch disables the three buttons in this order, then greys Close.
    EXPECT_EQ(
        (Lines{"disable wizard 1041", "disable wizard 1036", "disable wizard 2", "grey close"}),
        OpsFrom("disable wizard 1041"));
}

TEST_F(ProgressPageTest, ChangedDirectoryTakesTheLogAlong) {
    // A new directory under an existing parent; it differs from the old one
    // only in letter case, which counts as a change.
    const std::string newHost = m_temp.Join("APP");
    m_dlg.OnNext();
    m_dlg.OnNext();
    m_ws.Control(ui::kDirPageWindow, IDC_DIR_EDIT).text = Ansi(newHost);
    m_dlg.OnNext();
    WaitUntilFinished();

    EXPECT_EQ(Ansi(newHost), m_info.m_szInstallDir);
    struct stat st;
    EXPECT_NE(0, stat(m_installHost.c_str(), &st));  // the old directory, now empty, is gone
    Lines log = ReadLogMessages(newHost);
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ((Lines{"Instal Btn", "Install Step 3", "Prop3 Next begin", "MoveLogFile",
                     "Remove old Folder Path", "Prop3 Next end"}),
              Lines(log.end() - 6, log.end()));
}

}  // namespace
