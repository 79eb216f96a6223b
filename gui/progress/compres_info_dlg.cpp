#include "gui/progress/compres_info_dlg.h"

#include <chrono>
#include <string>
#include <system_error>
#include <vector>

#include "gui/filelist/package_file_list.h"
#include "packager/pack_run.h"

namespace zelpack {

namespace {

using resources::kIdCancel;
using resources::kIdStatus;

constexpr auto kSuccessPause = std::chrono::milliseconds(1000);
constexpr auto kPollInterval = std::chrono::milliseconds(1);

// A plain signed decimal.
std::u16string Number(int value) {
    const std::string digits = std::to_string(value);
    return {digits.begin(), digits.end()};
}

std::u16string ElapsedText(int seconds) {
    return u"用时:" + Number(seconds) + u"秒";
}

// The line under the status: the first warning, and how many there are when more than one.
std::u16string WarningLine(const std::vector<Notice>& warnings) {
    if (warnings.empty()) {
        return {};
    }
    std::u16string line = warnings.front().text;
    if (warnings.size() > 1) {
        line += u"（共 " + Number(static_cast<int>(warnings.size())) + u" 条警告）";
    }
    return line;
}

}  // namespace

CCompresInfoDlg::CCompresInfoDlg(framework::DialogWindow* owner)
    : DialogWindow(resources::kProgressDialog, owner) {}

CCompresInfoDlg::~CCompresInfoDlg() {
    cancel_ = true;
    WaitForWorker();
}

void CCompresInfoDlg::ShowStatus(const std::u16string& text) {
    SetDlgItemText(kIdStatus, warning_line_.empty() ? text : text + u"\n" + warning_line_);
}

void CCompresInfoDlg::SetJob(const std::u16string& archive_path, PackageFileList& file_list) {
    archive_path_ = archive_path;
    file_list_ = &file_list;
}

void CCompresInfoDlg::StartWorker() {
    worker_done_ = false;
    try {
        worker_ = std::thread([this] { WorkerMain(); });
    } catch (const std::system_error&) {
        worker_done_ = true;
    }
}

void CCompresInfoDlg::WaitForWorker() {
    if (!worker_.joinable()) {
        return;
    }
    // The worker's last act is a post, which wakes this loop.
    ServeUntil([this] { return worker_done_.load(); });
    worker_.join();
}

bool CCompresInfoDlg::OnInitDialog() {
    window_ready_ = true;
    return false;
}

void CCompresInfoDlg::OnCommand(int id, int /*notification*/) {
    if (id == kIdCancel) {
        OnCancel();
    }
}

void CCompresInfoDlg::OnTimer(int id) {
    if (id == kElapsedTimer) {
        ShowStatus(ElapsedText(++elapsed_));
    }
}

void CCompresInfoDlg::OnCancel() {
    packager_.DeleteDescriptorFile();
    cancel_ = true;
    closed_ = true;
    EndDialog(0);
}

void CCompresInfoDlg::WorkerMain() {
    while (!window_ready_ && !cancel_) {
        std::this_thread::sleep_for(kPollInterval);
    }
    if (!cancel_) {
        PackTicked();
    }
    worker_done_ = true;
    Post([] {});
}

void CCompresInfoDlg::PackTicked() {
    // The list belongs to the dialog's thread, which answers from its modal loop.
    PackRequest request;
    std::vector<std::u16string> files;
    Send([&] {
        file_list_->GetCheckedFiles(files);
        file_list_->GetFolder(request.folder);
    });
    request.ticked = std::move(files);
    request.archive = archive_path_;
    // The save dialog has asked whether an archive there may be replaced.
    request.replace = true;
    const PackPlan plan = MakePlan(request);
    // What the user should know about the files shows before packing starts, and stays.
    elapsed_ = 0;
    Post([this, warning_line = WarningLine(plan.warnings)] {
        warning_line_ = warning_line;
        ShowStatus(ElapsedText(0));
        SetTimer(kElapsedTimer, 1000);
    });
    const std::optional<PackError> error =
        plan.error ? plan.error : ExecutePlan(plan, packager_, &cancel_).error;
    if (error) {
        Post([this, failure = error->text] {
            ShowStatus(failure);
            KillTimer(kElapsedTimer);
        });
        return;
    }
    const int seconds = elapsed_;
    Post([this, seconds] {
        ShowStatus(u"打包成功,用时:" + Number(seconds) + u"秒");
        KillTimer(kElapsedTimer);
        SetDlgItemText(kIdCancel, u"确定");
    });
    const auto until = std::chrono::steady_clock::now() + kSuccessPause;
    while (!cancel_ && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Post([this] {
        if (!closed_) {
            closed_ = true;
            EndDialog(1);
        }
    });
}

}  // namespace zelpack
