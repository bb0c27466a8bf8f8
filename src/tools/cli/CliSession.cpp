#include "CliSession.h"

#include "backup/ScheduleCommands.h"
#include "platform/DrivePaths.h"
#include "platform/FileSystem.h"
#include "storage/WorkingFolder.h"

std::string CommandLineFolder(const std::string& text) {
    const bool drivePath = text.size() >= 2 && text[1] == ':';
    return drivePath ? text : platform::ToDrivePath(text);
}

CliSession::CliSession(const CliOptions& options) : view(options.progress) {
    const std::string program = platform::GetModulePath();
    app.m_strExePath = program;
    app.m_strLanguage = "eng";
    ctx.m_profile.SetExePath(program, program, app.m_strLanguage, 0);
    std::string base = options.base.empty() ? program : CommandLineFolder(options.base);
    if (base.back() != '\\')
        base += '\\';
    ctx.m_strExePath = base;
    ctx.m_strLanguage = app.m_strLanguage;
    ctx.m_nDateType = options.dateType;
    ctx.m_nCamCount = options.cameras;
    ctx.m_nModelCode = options.modelCode;
    // The saved schedule, as the dialog restores it at start.
    platform::CreateDirectory(ctx.WorkingFolder());
    LoadScheduleTable(ctx);
    FillScheduleList(ctx);
}
