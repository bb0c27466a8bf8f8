// How long the operator's window takes to start (construction and its initialisation up to the
// window shown, on Qt's offscreen platform), with an empty schedule and with all 50 entries.
#include <QApplication>
#include <cstdio>

#include "BenchEnv.h"
#include "backup/BackupContext.h"
#include "backup/RecordingOperatorView.h"
#include "backup/schedule/CameraSelection.h"
#include "backup/schedule/ScheduleCommands.h"
#include "dialog/CQuillonDlg.h"
#include "mkrec/Recorder.h"
#include "platform/DrivePaths.h"

namespace {

class SilentBoxes : public IMessageBoxes {
  public:
    int Show(QWidget*, const std::string&, const std::string&, unsigned type) override {
        return (type & MB_YESNO) ? IDYES : IDOK;
    }
};

double StartOnce(CQuillonApp& app) {
    SilentBoxes boxes;
    double seconds = 0;
    {
        std::unique_ptr<CQuillonDlg> dlg;
        seconds = bench::Seconds([&] {
            dlg = std::make_unique<CQuillonDlg>(app, boxes);
            dlg->SetBaseFolder("C:\\base");
            dlg->OnInitDialog();
            QApplication::processEvents();
        });
    }
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication qapp(argc, argv);
    const std::string prefix = bench::MakePrefix("quillon-bench-start");
    std::filesystem::create_directories(prefix + "/drive_c/base");
    mkrec::RecorderPlan plan;
    plan.root = "C:\\QorData";
    plan.days = {"20260101"};
    plan.firstMinute = 600;
    plan.lastMinute = 649;
    plan.cameras = 16;
    plan.width = plan.height = 16;
    mkrec::MakeRecordings(plan);

    CQuillonApp app;
    app.m_strExePath = platform::GetModulePath();
    app.m_strLanguage = "eng";
    const double empty = bench::BestOf(5, [&] { StartOnce(app); });

    // Fifty one-minute entries of every camera.
    backup::RecordingOperatorView view;
    BackupContext ctx(app, view);
    ctx.m_host.basePath = "C:\\base\\";
    ctx.m_chooser.SelectBackupDay("20260101");
    for (int m = 0; m < 50; ++m) {
        char minute[8];
        std::snprintf(minute, sizeof minute, "%02d", m);
        ctx.m_chooser.SetTimeRange({"10", minute, "10", minute});
        ctx.m_chooser.OnSelectAllCameras();
        if (ctx.m_editor.OnAdd(view.range).refused()) {
            std::fprintf(stderr, "entry %d could not be added\n", m);
            return 1;
        }
    }
    const double full = bench::BestOf(5, [&] { StartOnce(app); });
    std::printf(
        "dialog start: %.0f ms with an empty schedule, %.0f ms with 50 entries (goal: well under "
        "a second)\n",
        empty * 1000, full * 1000);
    bench::RemoveTree(prefix);
    return 0;
}
