// The size estimate of a whole 16-camera day with audio on four of the cameras, against a plain
// pass over the same files in the same run: for every minute the data file's length, one
// read-only open of the index with the plain sum and count of the cameras' rows, and the length
// of each camera's audio file (missing ones included).
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdio>

#include "BenchEnv.h"
#include "backup/BackupContext.h"
#include "backup/RecordingOperatorView.h"
#include "backup/schedule/EntrySize.h"
#include "backup/schedule/ReservedFolder.h"
#include "mkrec/Recorder.h"
#include "storage/RecorderPaths.h"

int main() {
    const std::string prefix = bench::MakePrefix("quillon-bench-estimate");
    mkrec::RecorderPlan plan;
    plan.root = "C:\\QorData";
    plan.days = {"20260101"};
    plan.firstMinute = 0;
    plan.lastMinute = 1439;
    plan.cameras = 16;
    plan.width = plan.height = 16;  // the estimate reads only the index files
    plan.audioChannels = 4;         // audio on some cameras only
    plan.audioBytesPerMinute = 8000;
    std::printf("making a 16-camera day (1440 minutes, audio on 4 cameras)...\n");
    const mkrec::RecorderStats made = mkrec::MakeRecordings(plan);

    CQuillonApp app;
    backup::RecordingOperatorView view;
    BackupContext ctx(app, view);
    ctx.m_host.camCount = 16;
    ScanRecordedDay(ctx.m_host, ctx.m_day, "20260101");
    // Every camera, and every other one (a list the query cannot take as a range).
    for (int step : {1, 2}) {
        for (int c = 0; c < 16; ++c)
            ctx.m_day.camSel[c] = c % step == 0;

        const std::string where =
            storage::BuildCameraWhereClause(SelectedCameras(ctx.m_host, ctx.m_day));
        const std::string day = prefix + "/drive_c/QorData/20260101/";
        long long plainBytes = 0;
        auto plain = [&] {
            plainBytes = 0;
            for (int m = 0; m < 1440; ++m) {
                const std::string name = paths::SegmentName("20260101", m / 60, m % 60);
                struct stat st {};
                ::stat((day + name + "N.dat").c_str(), &st);
                sqlite3* db = nullptr;
                if (sqlite3_open_v2((day + name + "N.idx").c_str(), &db, SQLITE_OPEN_READONLY,
                                    nullptr) == SQLITE_OK) {
                    sqlite3_stmt* q = nullptr;
                    const std::string sql =
                        "select sum(imgsize),count(camnum) from indextable " + where;
                    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr) == SQLITE_OK &&
                        sqlite3_step(q) == SQLITE_ROW)
                        plainBytes += sqlite3_column_int64(q, 0) / 1024;
                    sqlite3_finalize(q);
                }
                sqlite3_close(db);
                for (int c = 0; c < 16; c += step)
                    if (::stat((day + "Audio/" + name + ".au" + std::to_string(c)).c_str(), &st) ==
                        0)
                        plainBytes += st.st_size / 1024;
            }
        };
        auto ours = [&] {
            ctx.m_schedule.totalKB = 0;
            EstimateEntrySize(ctx.m_host, ctx.m_day, ctx.m_schedule, "20260101", "0000", "2359");
        };
        plain();  // warm the page cache for both
        // Processor time of the process too: the estimate asks its indexes on several threads.
        auto cpuSeconds = [] {
            rusage u{};
            getrusage(RUSAGE_SELF, &u);
            return u.ru_utime.tv_sec + u.ru_stime.tv_sec +
                   (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
        };
        double tPlain = 1e300, tOurs = 1e300, cpuPlain = 1e300, cpuOurs = 1e300;
        for (int i = 0; i < 5; ++i) {
            double cpu0 = cpuSeconds();
            tPlain = std::min(tPlain, bench::Seconds(plain));
            cpuPlain = std::min(cpuPlain, cpuSeconds() - cpu0);
            cpu0 = cpuSeconds();
            tOurs = std::min(tOurs, bench::Seconds(ours));
            cpuOurs = std::min(cpuOurs, cpuSeconds() - cpu0);
        }
        std::printf("%d of 16 cameras: index rows %lld; plain pass %lld KB, entry size %u KB\n",
                    16 / step, made.pictures, plainBytes, ctx.m_schedule.lastEntryKB);
        std::printf(
            "estimate of a 16-camera day, %d cameras: %.3f s; plain pass: %.3f s; ratio %.2fx "
            "(goal "
            "1.2x, floor 1.5x: at most); processor time %.3f s against %.3f s\n",
            16 / step, tOurs, tPlain, tOurs / tPlain, cpuOurs, cpuPlain);
    }
    bench::RemoveTree(prefix);
    return 0;
}
