#pragma once
// A dialog's state for core tests: the application with the built language file, the serialised
// view, the base folder C:\Prog\ with four cameras, a removable drive E: for the images, the
// worker, and on demand the recorder behind an in-process link. The fixture serves the link's
// inbox on the test's thread, as a window's loop does.
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "LoopbackShareClient.h"
#include "OwnerThread.h"
#include "SerialOperatorView.h"
#include "TestEnv.h"
#include "app/CQuillonApp.h"
#include "backup/BackupContext.h"
#include "backup/pass/BackupWorker.h"
#include "backup/pass/PassPlanning.h"
#include "backup/remote/RemoteBackup.h"
#include "backup/schedule/CameraSelection.h"
#include "mkrec/Recorder.h"
#include "platform/DrivePaths.h"

class BackupFixture : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        UseBuiltLanguage(app);
        ctx.m_host.basePath = "C:\\Prog\\";
        std::filesystem::create_directories(driveC() + "/Prog");
        ctx.m_host.camCount = 4;
        out = MapDrive('E', "removable");
    }
    void TearDown() override {
        worker.StopMakeFileThread();
        TempPrefixTest::TearDown();
    }
    // The recorder of C:\QorData behind the link, and the worker started; remote puts the
    // context in the host's remote mode at once.
    void UseLink(bool remote) {
        ShareService::Settings settings;
        settings.storageRoot = "C:\\QorData";
        settings.cameras = 4;
        service = std::make_unique<ShareService>(settings);
        client = std::make_unique<LoopbackShareClient>(*service);
        ctx.m_link.client = client.get();
        worker.StartMakeFileThread();
        if (remote)
            GoRemote();
    }
    void GoRemote() {
        ctx.m_host.localMode = 0;
        ctx.m_host.serverAddress = "127.0.0.1";
        ctx.m_host.port = 7004;
    }
    // From now on the end of each pass runs on the thread that serves, as on a window's.
    void OwnPassEnds() {
        worker.SetOwnerThread([this](const std::function<void()>& call) { owner.Run(call); });
    }
    // The one wait of the tests that serve: the link's answers and the worker's calls are served
    // on this thread until done holds, bounded only against a hang. between, when given, runs
    // before each round, the first before anything is served, and each round then serves only
    // what has come.
    bool ServeUntil(const std::function<bool()>& done,
                    const std::function<void()>& between = nullptr) {
        const auto hang =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kHangGuardMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > hang)
                return false;
            if (between)
                between();
            if (client)
                client->Pump([] { return true; }, 0);
            ctx.Inbox().Serve(0);
            owner.Serve(between ? 0 : 5);
        }
        return true;
    }
    // The link's answers to what was asked, handled as the window handles them.
    bool PumpLink() {
        const bool pumped = client->Pump([] { return true; });
        ctx.Inbox().Serve(0);
        return pumped;
    }
    // Recordings of 2010-05-23 in C:\QorData, small pictures, from minute first to last of the
    // day (600 is 10:00).
    static void RecordDay(int first, int last, int audioChannels = 2, int cameras = 4) {
        mkrec::MakeRecordings({.root = "C:\\QorData",
                               .days = {"20100523"},
                               .firstMinute = first,
                               .lastMinute = last,
                               .cameras = cameras,
                               .width = 32,
                               .height = 24,
                               .audioChannels = audioChannels,
                               .audioBytesPerMinute = 100});
    }
    // The four time fields, the cameras of that range and the selection (0-based cameras).
    void Choose(const std::string& sh, const std::string& sm, const std::string& eh,
                const std::string& em, const std::vector<int>& cams) {
        ctx.m_chooser.SetTimeRange({sh, sm, eh, em});
        for (int c : cams)
            ctx.m_day.camSel[c] = 1;
    }
    // An entry of 2010-05-23 through the Add command's rules; cams are 0-based, none for all.
    void Add(const std::string& sh, const std::string& sm, const std::string& eh,
             const std::string& em, const std::vector<int>& cams = {}) {
        ASSERT_TRUE(ctx.m_chooser.SelectBackupDay("20100523"));
        Choose(sh, sm, eh, em, cams);
        if (cams.empty())
            ctx.m_chooser.OnSelectAllCameras();
        ASSERT_EQ(ctx.m_editor.OnAdd(view.Range()), "");
    }
    // A folder chosen as the target (a drive path), made first: the browser offers what is there.
    void Target(const std::string& folder = "E:\\Backup") {
        std::filesystem::create_directories(platform::ResolvePath(folder));
        ASSERT_EQ(ctx.m_targets.ChooseStorageTarget(folder), "");
    }
    // The OK command: its checks, then the pass handed to the worker.
    backup::CommandResult Start() {
        const backup::CommandResult started = ctx.m_starter.OnOK();
        if (started.done())
            worker.Start(ctx.m_run.job);
        return started;
    }
    // A pass of the context as it is set now, as the OK command would begin it.
    backup::PassJob& BeginPass() {
        return ctx.m_run.Begin(MakePassPlan(ctx.m_host, ctx.m_target, ctx.m_schedule, ctx.m_run,
                                            PassTextsOf(ctx.m_app)),
                               ctx.m_passEvents, ctx.m_link);
    }
    // The image folder of entry's day below E:\folder.
    std::string Day(const std::string& entry, const std::string& folder = "Backup") const {
        return out + "/" + folder + "/" + entry + "/20100523/";
    }

    CQuillonApp app;
    SerialOperatorView view;
    BackupContext ctx{app, view};
    std::string out;
    OwnerThread owner;
    BackupWorker worker{ctx.m_run, ctx.m_passEnd};
    std::unique_ptr<ShareService> service;
    std::unique_ptr<LoopbackShareClient> client;
};
