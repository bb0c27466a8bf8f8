// The writer's job thread: a write or an erase under way, its progress, its end and the read
// back of a written disc.
#include "disc/BurnJob.h"

#include <stdint.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "disc/BurnJob.h"
#include "disc/BurnMessages.h"
#include "disc/DiscImageFiles.h"
#include "disc/DiscLibraries.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"

namespace disc {

BOOL BurnWriter::EraseDisc(BOOL quick) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (busy_ || selected_ < 0)
        return 0;
    const Disc disc = ReadDisc();
    if (!IsRewritableMedia(disc.medium.type))
        return 0;
    auto job = std::make_unique<Job>();
    job->erase = true;
    job->pseudo = drives_[static_cast<std::size_t>(selected_)].pseudo;
    job->file = discFile_.get();
    if (!job->pseudo) {
        job->drive = static_cast<burn::burn_drive_info*>(grabbed_)[0].drive;
        if (disc.status != kStatusBlank && burn::burn_disc_erasable(job->drive) != 1)
            return 0;
        if (disc.status != kStatusBlank)
            burn::burn_disc_erase(job->drive, quick ? 1 : 0);
        else
            job->drive = nullptr;  // nothing on it: erased already
    }
    if (thread_.joinable())
        thread_.join();
    busy_ = true;
    aborting_ = false;
    thread_ = std::thread([this, j = std::move(job)]() mutable { Run(std::move(j)); });
    return 1;
}

void BurnWriter::AbortWrite() {
    aborting_ = true;
}

void BurnWriter::WaitIdle() {
    std::thread finished;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished = std::move(thread_);
    }
    if (finished.joinable())
        finished.join();
}

void BurnWriter::Run(std::unique_ptr<Job> job) {
    using Clock = std::chrono::steady_clock;
    if (job->erase) {
        bool ok = true;
        if (job->pseudo) {
            // Erasing a pseudo-drive's disc leaves an empty, blank file.
            ok = job->file && job->file->Empty() && job->file->Sync();
        } else if (job->drive) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            while (burn::burn_drive_get_status(job->drive, nullptr) != burn::BURN_DRIVE_IDLE)
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
            ok = burn::burn_drive_wrote_well(job->drive) == 1;
        }
        int osErrno = 0;
        const std::string why = BurnMessages(osErrno);
        busy_ = false;
        if (ok)
            Fire(WriterEvent{kWriterErased});
        else
            Fail(1036, why.empty() ? "the disc could not be erased" : why);
        return;
    }

    Fire(WriterEvent{kWriterPreparing});  // preparing
    bool writing = false, closing = false, leadOut = false, cancelled = false, seenBusy = false;
    int sector = 0, sectors = static_cast<int>(job->sectors), lastPercent = -1;
    auto lastReport = Clock::now() - std::chrono::seconds(1);
    for (;;) {
        burn::burn_progress p{};
        // The drive is busy from the moment the write was asked for: idle is its end.
        const burn::burn_drive_status s = burn::burn_drive_get_status(job->drive, &p);
        if (s == burn::BURN_DRIVE_IDLE)
            break;
        if (s != burn::BURN_DRIVE_SPAWNING)
            seenBusy = true;
        // A cancel works only once the drive writes; asked earlier, it waits for that.
        if (aborting_ && !cancelled &&
            (s == burn::BURN_DRIVE_WRITING || s == burn::BURN_DRIVE_WRITING_PREGAP ||
             s == burn::BURN_DRIVE_WRITING_LEADIN)) {
            burn::burn_drive_cancel(job->drive);
            cancelled = true;
        }
        if (s == burn::BURN_DRIVE_WRITING && !writing) {
            writing = true;
            Fire(WriterEvent{kWriterWriting});
        }
        if (s == burn::BURN_DRIVE_CLOSING_SESSION && !closing) {
            closing = true;
            Fire(WriterEvent{kWriterClosingSession});
        }
        if (s == burn::BURN_DRIVE_WRITING_LEADOUT && !leadOut) {
            leadOut = true;
            Fire(WriterEvent{kWriterLeadOut});
        }
        if (p.sectors > 0) {  // after the write it reads 0/0 again: keep the last
            sector = p.sector;
            sectors = p.sectors;
        }
        if (sectors > 0 && Clock::now() - lastReport >= std::chrono::milliseconds(250)) {
            lastReport = Clock::now();
            Fire(WriterEvent{kWriterProgress, 0, sector, sectors});
            const int percent = static_cast<int>(static_cast<long long>(sector) * 100 / sectors);
            if (percent != lastPercent)
                Fire(WriterEvent{kWriterPercent, percent});
            lastPercent = percent;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // The drive reads idle before libburn's write thread has let go of it: releasing it, or
    // starting the next write, before that thread ends would use a drive it still holds.
    int osErrno = 0;
    bool threadEnded = false;
    std::string burnTrouble;
    const auto waitUntil = Clock::now() + std::chrono::seconds(seenBusy ? 30 : 2);
    for (;;) {
        const std::string more = BurnMessages(osErrno, &threadEnded);
        if (burnTrouble.empty())
            burnTrouble = more;
        if (threadEnded || Clock::now() > waitUntil)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // its last steps after saying so
    bool wroteWell = burn::burn_drive_wrote_well(job->drive) == 1 && burnTrouble.empty();
    if (wroteWell && job->pseudo && job->file) {
        // Success is the image on the disc file, whatever libburn reported.
        const long long length = job->file->Length();
        if (length < 0 || length < static_cast<long long>(job->sectors) * kBlock) {
            wroteWell = false;
            burnTrouble = "the disc holds less than the image";
        }
    }
    const std::string isoTrouble = IsoMessages();
    if (job->grab) {
        burn::burn_drive_release(job->drive, 0);
        burn::burn_drive_info_free(job->grab);
    }
    burn::burn_write_opts_free(job->opts);
    burn::burn_disc_free(job->disc);
    iso_image_unref(job->image);
    bool flushed = true;
    if (job->pseudo && wroteWell && job->file)
        flushed = job->file->Sync();
    busy_ = false;
    if (aborting_.exchange(false)) {
        Fire(WriterEvent{kWriterWriteEnded});
    } else if (wroteWell && isoTrouble.empty() && flushed) {
        Fire(WriterEvent{kWriterProgress, 0, sectors, sectors});
        if (lastPercent != 100)  // the loop may have seen the last sector already
            Fire(WriterEvent{kWriterPercent, 100});
        const std::string readBack = ReadBack(*job);
        if (readBack.empty())
            Fire(WriterEvent{kWriterWriteCompleted});
        else
            Fail(kReadBackFailed, readBack);
    } else {
        const std::string why = !isoTrouble.empty()    ? isoTrouble
                                : !burnTrouble.empty() ? burnTrouble
                                : !flushed             ? std::string(std::strerror(errno))
                                                       : "the write did not end well";
        Fail(WriterErrorCode(why, osErrno), why);
    }
}

std::string BurnWriter::ReadBack(const Job& job) {
    if (!job.check)
        return std::string();
    Fire(WriterEvent{kWriterVerifying});  // verifying
    const platform::Expected<std::unique_ptr<integrity::ImageFiles>> opened =
        OpenIsoImage(job.device);
    if (!opened)
        return opened.error().Said();
    integrity::ImageFiles* const disc = opened->get();
    auto lastReport = std::chrono::steady_clock::now();
    return job.check->Check(*disc, [&](long long done, long long total) {
        const auto now = std::chrono::steady_clock::now();
        if (total <= 0 || now - lastReport < std::chrono::milliseconds(250))
            return;
        lastReport = now;
        Fire(WriterEvent{kWriterProgress, 0, static_cast<long>(done >> 10),
                         static_cast<long>(total >> 10)});
    });
}

}  // namespace disc
