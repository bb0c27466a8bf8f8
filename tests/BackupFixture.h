#pragma once
// A dialog's state for core tests: the application with the built language file, the serialised
// view, the base folder C:\Prog\ with four cameras, and a removable drive E: for the images.
#include <filesystem>
#include <string>
#include <vector>

#include "SerialOperatorView.h"
#include "TestEnv.h"
#include "app/CQuillonApp.h"
#include "backup/BackupContext.h"
#include "backup/schedule/CameraSelection.h"
#include "mkrec/Recorder.h"
#include "platform/DrivePaths.h"

template <class View = SerialOperatorView>
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
    // Recordings of 2010-05-23 in C:\QorData, small pictures, from minute first to last of the
    // day (600 is 10:00).
    static void RecordDay(int first, int last, int audioChannels = 2, int cameras = 4) {
        mkrec::RecorderPlan plan;
        plan.root = "C:\\QorData";
        plan.days = {"20100523"};
        plan.firstMinute = first;
        plan.lastMinute = last;
        plan.cameras = cameras;
        plan.width = 32;
        plan.height = 24;
        plan.audioChannels = audioChannels;
        plan.audioBytesPerMinute = 100;
        mkrec::MakeRecordings(plan);
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
    // The image folder of entry's day below E:\folder.
    std::string Day(const std::string& entry, const std::string& folder = "Backup") const {
        return out + "/" + folder + "/" + entry + "/20100523/";
    }

    CQuillonApp app;
    View view;
    BackupContext ctx{app, view};
    std::string out;
};
