// A window system for the wizard's logic that records every operation and
// keeps the state of the controls, for the native tests.
#pragma once

#include <dirent.h>
#include <string.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "install/progress.h"
#include "res/resource.h"
#include "tests/support/test_support.h"
#include "ui/texts.h"
#include "ui/window_system.h"

namespace testing_support {

struct FakeControl {
    bool visible = true;
    bool enabled = true;
    std::string text;
};

class FakeWindowSystem : public ui::CWindowSystem {
  public:
    FakeWindowSystem() {
        // The wizard's template: Back hidden, Next titled "开始安装".
        Control(ui::kWizardWindow, IDC_BACK) = {false, true, texts::kPrevious};
        Control(ui::kWizardWindow, IDC_NEXT) = {true, true, texts::kStartInstall};
        Control(ui::kWizardWindow, ui::kResultCancel) = {true, true, ""};
        Control(ui::kWizardWindow, IDC_CONFIRM_PICTURE) = {true, true, ""};
        Control(ui::kWizardWindow, IDC_CONFIRM_LABEL) = {true, true, ""};
        Control(ui::kProgressPageWindow, IDC_PROGRESS) = {false, true, ""};
    }

    // Operations in the order made, e.g. "hide wizard 1041", "text wizard 1036 <bytes>".
    std::vector<std::string> ops;
    std::map<std::pair<int, int>, FakeControl> controls;
    bool pageVisible[3] = {true, false, false};
    bool closeEnabled = true;
    std::map<int, int> timers;  // running timers: id -> period
    int postedNextClicks = 0;
    int endResult = 0;  // 0 while the wizard runs
    std::vector<std::string> messages;
    // Answers BrowseForFolder: fills the path, returns 0 for a cancel.
    std::function<int(char* path)> browse;

    FakeControl& Control(int window, int id) { return controls[std::make_pair(window, id)]; }

    std::vector<int> TakeWorkerRequests() {
        std::lock_guard<std::mutex> hold(m_lock);
        std::vector<int> taken;
        taken.swap(m_workerRequests);
        return taken;
    }

    void ShowControl(ui::WindowRole window, int id, bool show) override {
        Record((show ? "show " : "hide ") + Name(window) + " " + std::to_string(id));
        Control(window, id).visible = show;
    }
    void EnableControl(ui::WindowRole window, int id, bool enable) override {
        Record((enable ? "enable " : "disable ") + Name(window) + " " + std::to_string(id));
        Control(window, id).enabled = enable;
    }
    void SetControlText(ui::WindowRole window, int id, const char* text) override {
        Record("text " + Name(window) + " " + std::to_string(id) + " " + text);
        Control(window, id).text = text;
    }
    void GetControlText(ui::WindowRole window, int id, char* text, int cap) override {
        std::string value = Control(window, id).text.substr(0, cap - 1);
        memcpy(text, value.c_str(), value.size() + 1);
    }
    void ShowPage(ui::WindowRole page, bool show) override {
        Record((show ? "show " : "hide ") + Name(page));
        pageVisible[page] = show;
    }
    void InvalidatePage(ui::WindowRole page) override { Record("invalidate " + Name(page)); }
    void EnableCloseCommand(bool enable) override {
        Record(enable ? "enable close" : "grey close");
        closeEnabled = enable;
    }
    void StartTimer(int timerId, int milliseconds) override {
        Record("start timer " + std::to_string(timerId) + " " + std::to_string(milliseconds));
        timers[timerId] = milliseconds;
    }
    void StopTimer(int timerId) override {
        Record("stop timer " + std::to_string(timerId));
        timers.erase(timerId);
    }
    void PostNextClick() override {
        Record("post next");
        ++postedNextClicks;
    }
    void PostWorkerRequest(int request) override {
        std::lock_guard<std::mutex> hold(m_lock);
        m_workerRequests.push_back(request);
    }
    void EndWizard(int result) override {
        Record("end " + std::to_string(result));
        if (endResult == 0) endResult = result;
    }
    void ShowMessage(const char* text) override {
        Record(std::string("message ") + text);
        messages.push_back(text);
    }
    int BrowseForFolder(const char* title, char* path) override {
        Record(std::string("browse ") + title);
        return browse ? browse(path) : 0;
    }

  private:
    static std::string Name(int window) {
        static const char* const kNames[] = {"wizard", "dir-page", "progress-page"};
        return kNames[window];
    }
    void Record(const std::string& op) { ops.push_back(op); }

    std::mutex m_lock;
    std::vector<int> m_workerRequests;
};

class FakeProgressBar : public CProgressCtrl {
  public:
    void SetPos(int position) override { pos = position; }
    int GetPos() override { return pos; }
    std::atomic<int> pos{-1};
};

// The messages of the install log in a directory (host path), in order.
inline std::vector<std::string> ReadLogMessages(const std::string& hostDir) {
    std::vector<std::string> messages;
    DIR* dir = opendir(hostDir.c_str());
    if (!dir) return messages;
    std::string logName;
    while (struct dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.rfind("install", 0) == 0 && name.size() > 4 &&
            name.compare(name.size() - 4, 4, ".log") == 0)
            logName = name;
    }
    closedir(dir);
    if (logName.empty()) return messages;
    std::vector<uint8_t> bytes = ReadHostFile(hostDir + "/" + logName);
    std::string text(bytes.begin(), bytes.end());
    // "hh:mm:ss:mmmm  message\r\n"
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        size_t gap = line.find("  ");
        messages.push_back(gap == std::string::npos ? line : line.substr(gap + 2));
        start = end + 2;
    }
    return messages;
}

}  // namespace testing_support
