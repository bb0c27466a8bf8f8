#include "backup/pass/PassPlanning.h"

#include "backup/pass/PassEnd.h"
#include "backup/remote/RemoteBackup.h"

backup::PassTexts PassTextsOf(const CQuillonApp& app) {
    backup::PassTexts texts;
    texts.copying = app.GetLanguageText("BACKUP", "M010034");
    texts.cannotRead = app.GetLanguageText("BACKUP", "M010035");
    texts.cannotWrite = app.GetLanguageText("BACKUP", "M010036");
    texts.folderFailed = app.GetLanguageText("BACKUP", "M010032");
    texts.folderFailedCaption = app.GetLanguageText("BACKUP", "M010033");
    return texts;
}

backup::PassPlan MakePassPlan(const backup::HostSettings& host, const backup::TargetChoice& target,
                              const backup::ScheduleState& schedule, const backup::RunState& run,
                              backup::PassTexts texts) {
    backup::PassPlan plan;
    plan.host = host;
    plan.target = target.kind;
    plan.targetText = target.text;
    plan.entries = schedule.table;
    plan.totalSize = schedule.totalKB;
    plan.includeViewer = run.includeViewer != 0;
    plan.mp4 = run.mp4;
    plan.caseDetails = run.caseDetails;
    plan.manifest = run.manifest;
    plan.texts = std::move(texts);
    return plan;
}
