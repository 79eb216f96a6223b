#include "progress/compres_info_dlg.h"

#include <QEventLoop>
#include <QMetaObject>
#include <chrono>
#include <system_error>
#include <vector>

#include "app/framework/qt_text.h"
#include "filelist/package_file_list.h"

namespace zelpack {

namespace {

using framework::ToQString;
using resources::kIdCancel;
using resources::kIdStatus;

constexpr auto kSuccessPause = std::chrono::milliseconds(1000);
constexpr auto kPollInterval = std::chrono::milliseconds(1);

QString ElapsedText(int seconds) {
    return QStringLiteral("用时:%1秒").arg(seconds);
}

}  // namespace

CCompresInfoDlg::CCompresInfoDlg(QWidget* owner) : DialogWindow(resources::kProgressDialog, owner) {
    // Placed at the template position, not centred.
    move(0, 0);
}

CCompresInfoDlg::~CCompresInfoDlg() {
    cancel_ = true;
    WaitForWorker();
}

template <typename Action>
void CCompresInfoDlg::Post(Action action) {
    QMetaObject::invokeMethod(this, std::move(action), Qt::QueuedConnection);
}

void CCompresInfoDlg::ShowStatus(const QString& text) {
    SetDlgItemText(kIdStatus, text);
}

bool CCompresInfoDlg::SetJob(const std::u16string& archive_path, PackageFileList& file_list) {
    archive_path_ = archive_path;
    file_list_ = &file_list;
    return true;
}

bool CCompresInfoDlg::StartWorker() {
    worker_done_ = false;
    try {
        worker_ = std::thread([this] { WorkerMain(); });
    } catch (const std::system_error&) {
        worker_done_ = true;
    }
    return true;
}

void CCompresInfoDlg::WaitForWorker() {
    if (!worker_.joinable()) {
        return;
    }
    if (!worker_done_) {
        QEventLoop loop;
        wait_loop_ = &loop;
        // The worker's last act is a posted quit, which only this loop can run.
        if (!worker_done_) {
            loop.exec();
        }
        wait_loop_ = nullptr;
    }
    worker_.join();
}

bool CCompresInfoDlg::OnInitDialog() {
    // At the template position 0,0 (the owner's client area's corner), not centred.
    const QWidget* owner = parentWidget();
    move(owner != nullptr ? owner->mapToGlobal(QPoint(0, 0)) : QPoint(0, 0));
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
        elapsed_ = 0;
        Post([this] {
            ShowStatus(ElapsedText(0));
            SetTimer(kElapsedTimer, 1000);
        });

        // The list belongs to the dialog's thread, which answers from its modal loop.
        std::vector<std::u16string> files;
        std::u16string folder;
        QMetaObject::invokeMethod(
            this,
            [&] {
                file_list_->GetCheckedFiles(files);
                file_list_->GetFolder(folder);
            },
            Qt::BlockingQueuedConnection);

        PackOptions options;
        options.cancel = &cancel_;
        if (packager_.Pack(folder, files, archive_path_, options)) {
            const int seconds = elapsed_;
            Post([this, seconds] {
                ShowStatus(QStringLiteral("打包成功,用时:%1秒").arg(seconds));
                KillTimer(kElapsedTimer);
                SetDlgItemText(kIdCancel, QStringLiteral("确定"));
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
        } else {
            Post([this, failure = packager_.DescribeFailure()] {
                ShowStatus(ToQString(failure));
                KillTimer(kElapsedTimer);
            });
        }
    }
    worker_done_ = true;
    Post([this] {
        if (wait_loop_ != nullptr) {
            wait_loop_->quit();
        }
    });
}

}  // namespace zelpack
