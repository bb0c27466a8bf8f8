// The size estimate of a whole 16-camera day, against one plain pass of the same query over the
// same index files (open read-only, aggregate, close), measured in the same run.
#include <sqlite3.h>

#include <cstdio>

#include "BenchEnv.h"
#include "backup/EntrySize.h"
#include "backup/ReservedFolder.h"
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
    plan.audioChannels = 2;
    plan.audioBytesPerMinute = 8000;
    std::printf("making a 16-camera day (1440 minutes)...\n");
    const mkrec::RecorderStats made = mkrec::MakeRecordings(plan);

    CQuillonApp app;
    RecordingDialogView view;
    BackupContext ctx(app, view);
    ctx.m_nCamCount = 16;
    ScanRecordedDay(ctx, "20260101");
    for (int c = 0; c < 16; ++c)
        ctx.m_bCamSel[c] = 1;

    const std::string where = BuildCameraWhereClause(ctx);
    long long plainBytes = 0;
    auto plain = [&] {
        plainBytes = 0;
        for (int m = 0; m < 1440; ++m) {
            const std::string idx = prefix + "/drive_c/QorData/20260101/" +
                                    paths::SegmentName("20260101", m / 60, m % 60) + "N.idx";
            sqlite3* db = nullptr;
            if (sqlite3_open_v2(idx.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
                sqlite3_stmt* st = nullptr;
                const std::string sql =
                    "select sum(imgsize),count(camnum) from indextable " + where;
                if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
                    sqlite3_step(st) == SQLITE_ROW)
                    plainBytes += sqlite3_column_int64(st, 0);
                sqlite3_finalize(st);
            }
            sqlite3_close(db);
        }
    };
    auto ours = [&] {
        ctx.m_nTotalSize = 0;
        EstimateEntrySize(ctx, "20260101", "0000", "2359");
    };
    plain();  // warm the page cache for both
    const double tPlain = bench::BestOf(5, plain);
    const double tOurs = bench::BestOf(5, ours);
    std::printf("index rows %lld, picture bytes %lld (plain pass sum %lld), entry size %u KB\n",
                made.pictures, made.pictureBytes, plainBytes, ctx.m_nLastEntrySize);
    std::printf(
        "estimate of a 16-camera day: %.3f s; plain pass: %.3f s; ratio %.2fx (target "
        "<= 1.5x)\n",
        tOurs, tPlain, tOurs / tPlain);
    bench::RemoveTree(prefix);
    return 0;
}
