#pragma once
// Passes run to their end in-process: the worker started, each pass's end served on the test's
// thread as on a window's, and what the tests read of a pass and of the start's checks.
#include <filesystem>
#include <functional>
#include <string>

#include "BackupFixture.h"
#include "backup/pass/BackupStart.h"
#include "backup/pass/PassEnd.h"
#include "share/Has.h"

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class PassTest : public BackupFixture {
  protected:
    void SetUp() override {
        BackupFixture::SetUp();
        OwnPassEnds();
        worker.StartMakeFileThread();
    }
    void Run(const std::string& target = "E:\\Backup") {
        Target(target);
        ASSERT_EQ(Start(), "");
        ASSERT_TRUE(ServeUntil([&] { return view.ended.load(); }));
    }
    // act runs on the worker's thread once, as it reaches minute's data file; reached says so.
    void At(const std::string& minute, std::function<void()> act) {
        reached = false;
        view.onStatus = [this, minute, act](const std::string& text) {
            if (!reached && text.find(minute + "N.dat") != std::string::npos) {
                reached = true;
                act();
            }
        };
    }
    // The Add command over the range and cameras chosen (0-based) on the day chosen before.
    backup::CommandResult AddRange(const std::string& sh, const std::string& sm,
                                   const std::string& eh, const std::string& em,
                                   const std::vector<int>& cams) {
        Choose(sh, sm, eh, em, cams);
        return ctx.m_editor.OnAdd(view.Range());
    }
    // The operator's Cancel, answered Yes, as the worker reaches minute's data file.
    void CancelAt(const std::string& minute) {
        At(minute, [this] { ctx.m_run.running = 0; });
    }
    std::string Outcome() {
        return PassOutcomeText(ctx.m_prompts, ctx.m_run.report, ctx.m_schedule,
                               ctx.m_host.dateType);
    }
    // Every failure of the pass, each after a line break, so that one can be found by its start.
    std::string Failures() const {
        std::string all;
        for (const std::string& f : ctx.m_run.report.failures())
            all += "\n" + f;
        return all;
    }
    std::string Manifest(const std::string& folder = "Backup") const {
        return ReadText(out + "/" + folder + "/SHA256SUMS");
    }
    std::string LastMessage() const {
        return view.messages.empty() ? std::string() : view.messages.back().text;
    }
    std::string Text(const char* key) { return app.GetLanguageText("BACKUP", key); }
    std::string Disc(const char* key) { return app.GetLanguageText("CDWRITER", key); }
    backup::CommandResult Check(bool mp4 = false) {
        return CheckBackupStart({ctx.m_run, ctx.m_disc}, ctx.m_host, ctx.m_schedule, ctx.m_target,
                                ctx.m_prompts, mp4);
    }
    bool reached = false;
};
