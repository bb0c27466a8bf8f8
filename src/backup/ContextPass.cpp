#include "backup/ContextPass.h"

#include "backup/LocalPassEnd.h"
#include "backup/RemoteBackup.h"

backup::PassTexts PassTextsOf(const CQuillonApp& app) {
    backup::PassTexts texts;
    texts.copying = app.GetLanguageText("BACKUP", "M010034");
    texts.cannotRead = app.GetLanguageText("BACKUP", "M010035");
    texts.cannotWrite = app.GetLanguageText("BACKUP", "M010036");
    texts.folderFailed = app.GetLanguageText("BACKUP", "M010032");
    texts.folderFailedCaption = app.GetLanguageText("BACKUP", "M010033");
    return texts;
}

backup::PassPlan TakePassPlan(const BackupContext& ctx) {
    backup::PassPlan plan;
    plan.host = ctx.m_host;
    plan.target = ctx.m_target.kind;
    plan.targetText = ctx.m_target.text;
    plan.entries = ctx.m_schedule.table;
    plan.totalSize = ctx.m_schedule.totalKB;
    plan.includeViewer = ctx.m_run.includeViewer != 0;
    plan.manifest = ctx.m_run.manifest;
    plan.texts = PassTextsOf(ctx.m_app);
    return plan;
}

backup::PassJob& BeginPass(BackupContext& ctx) {
    ctx.m_run.job = std::make_shared<backup::PassJob>(TakePassPlan(ctx), ctx.m_passEvents,
                                                      ctx.m_run.report, ctx.m_run.running);
    ctx.m_run.job->shareClient = ctx.m_link.client;
    for (int i = 0; i < kScheduleSlots; ++i) {
        const ScheduleEntry& e = ctx.m_schedule.table[static_cast<std::size_t>(i)];
        ctx.m_run.job->pending[static_cast<std::size_t>(i)] = e.bUsed && e.bPending;
    }
    return *ctx.m_run.job;
}

void ContextPassEndings::LocalPassEnded() {
    EndLocalPass(ctx_);
}

void ContextPassEndings::RemoteRunEnded(const RemoteStep& step) {
    EndRemoteStep(ctx_, step);
}
