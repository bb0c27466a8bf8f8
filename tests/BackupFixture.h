#pragma once
// A dialog's state for core tests: the application with the built language file, a view that
// keeps what it is told, and the base folder C:\Prog\ with four cameras.
#include <filesystem>
#include <string>
#include <vector>

#include "TestEnv.h"
#include "app/CQuillonApp.h"
#include "backup/BackupContext.h"
#include "backup/RecordingOperatorView.h"
#include "backup/schedule/CameraSelection.h"
#include "mkrec/Recorder.h"

template <class View = backup::RecordingOperatorView>
class BackupFixture : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        UseBuiltLanguage(app);
        ctx.m_host.basePath = "C:\\Prog\\";
        std::filesystem::create_directories(driveC() + "/Prog");
        ctx.m_host.camCount = 4;
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

    CQuillonApp app;
    View view;
    BackupContext ctx{app, view};
};
