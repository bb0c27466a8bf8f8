#include "backup/CopyEngine.h"

#include <vector>

#include "platform/File.h"
#include "platform/FileSystem.h"

namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

}  // namespace

BOOL CopyFilesToFolder(BackupContext& ctx, const std::string& path, const std::string& folder) {
    const std::vector<platform::FindData> found = platform::FindFiles(path);
    if (found.empty())
        return 0;
    if (!platform::CreateDirectory(folder) &&
        platform::GetLastError() == platform::ERROR_CANNOT_MAKE) {
        ctx.m_report.Fail("the destination folder " + folder + " could not be created");
        ctx.ShowMessage(ctx.GetLanguageText("BACKUP", "M010032"),
                        ctx.GetLanguageText("BACKUP", "M010033"), MB_ICONERROR);
        return 0;
    }
    const std::string from = FolderOf(path);
    std::string to = folder;
    if (!to.empty() && to.back() != '\\' && to.back() != '/')
        to += '\\';
    for (const auto& f : found) {
        ctx.m_nDoneSize += static_cast<DWORD>(f.size / 1024);
        ctx.SetStatusText("[" + f.name + "] " + ctx.GetLanguageText("BACKUP", "M010034"));
        if (f.name == "." || f.isDirectory)
            continue;
        if (!CopyFileOverlapped(ctx, from + f.name, to + f.name))
            break;
        UpdateBackupProgress(ctx);
        if (!ctx.m_bBackupRunning)
            break;
    }
    return 1;
}

BOOL CopyFileOverlapped(BackupContext& ctx, const std::string& source,
                        const std::string& destination) {
    platform::File in;
    if (!in.Open(source, platform::File::kRead)) {
        ctx.m_report.Fail(ctx.GetLanguageText("BACKUP", "M010035") + " " + source);
        return 0;
    }
    platform::File out;
    if (!out.Open(destination, platform::File::kCreateWrite)) {
        ctx.m_report.Fail(ctx.GetLanguageText("BACKUP", "M010036") + " " + destination);
        return 0;
    }
    // Read and write share one offset; a read at or past the end of the file ends the copy.
    std::vector<char> chunk(kCopyChunk);
    std::uint64_t offset = 0;
    for (;;) {
        const long long got = in.CopyChunkTo(out, chunk.size(), offset, chunk.data());
        if (got == 0)
            break;
        if (got < 0) {
            const bool full = platform::GetLastError() == platform::ERROR_DISK_FULL;
            out.Close();
            platform::DeleteFile(destination);
            ctx.m_report.Fail(destination + (full ? " could not be written: the target is full"
                                                  : " could not be copied"));
            // Nothing more fits: the rest of the pass would only fail the same way.
            if (full)
                ctx.m_bBackupRunning = 0;
            return 0;
        }
        offset += static_cast<std::uint64_t>(got);
    }
    ctx.m_report.filesCopied++;
    return 1;
}
