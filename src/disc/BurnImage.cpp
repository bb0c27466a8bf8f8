// The image the writer builds from the folders added to it, and the start of its write.
#include "disc/BurnWriter.h"

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

BOOL BurnWriter::ResetImage(BOOL) {
    std::lock_guard<std::mutex> lock(mutex_);
    added_.clear();
    return 1;
}

BOOL BurnWriter::PrepareWrite(BOOL) {
    return 1;
}

BOOL BurnWriter::AddFiles(const std::string& discFolder, const std::string& sourcePattern) {
    std::lock_guard<std::mutex> lock(mutex_);
    added_.emplace_back(discFolder, sourcePattern);
    return 1;
}

namespace {

// The image folder of a disc folder ("\" the root, "\a\b" below it), made as needed.
IsoDir* ImageFolder(IsoImage* image, const std::string& discFolder) {
    IsoDir* dir = iso_image_get_root(image);
    std::size_t start = 0;
    while (start < discFolder.size()) {
        std::size_t end = discFolder.find('\\', start);
        if (end == std::string::npos)
            end = discFolder.size();
        const std::string name = discFolder.substr(start, end - start);
        start = end + 1;
        if (name.empty())
            continue;
        IsoNode* node = nullptr;
        IsoDir* child = nullptr;
        if (iso_dir_get_node(dir, name.c_str(), &node) == 1 && node &&
            iso_node_get_type(node) == LIBISO_DIR)
            child = reinterpret_cast<IsoDir*>(node);
        else if (iso_tree_add_new_dir(dir, name.c_str(), &child) < 0)
            return nullptr;
        dir = child;
    }
    return dir;
}

}  // namespace

BOOL BurnWriter::WriteDisc() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (busy_ || selected_ < 0) {
        Fail(1002, "no writer drive is selected");
        return 0;
    }
    const Disc disc = ReadDisc();
    if (disc.medium.type == kMediaNoDisc) {
        Fail(1033, "no disc");
        return 0;
    }
    if (disc.medium.type == 251 || disc.medium.type == 10 || disc.status != kStatusBlank) {
        Fail(1032, "the disc is not blank");
        return 0;
    }
    IsoMessages();  // what earlier jobs left
    int osErrno = 0;
    BurnMessages(osErrno);

    auto job = std::make_unique<Job>();
    const Drive& d = drives_[static_cast<std::size_t>(selected_)];
    job->pseudo = d.pseudo;
    job->device = d.pseudo ? "stdio:" + d.file : d.device;
    job->check = check_;
    job->file = discFile_.get();
    if (iso_image_new(volumeLabel_.c_str(), &job->image) < 0) {
        Fail(1005, "the image could not be made");
        return 0;
    }
    iso_tree_set_follow_symlinks(job->image, 0);
    iso_image_set_volume_id(job->image, volumeLabel_.c_str());
    for (const auto& [discFolder, pattern] : added_) {
        IsoDir* parent = ImageFolder(job->image, discFolder);
        for (const auto& f : platform::FindFiles(pattern)) {
            int r = 0;
            if (!parent) {
                r = -1;
            } else if (f.isDirectory && !f.isLink) {
                IsoDir* dir = nullptr;
                r = iso_tree_add_new_dir(parent, f.name.c_str(), &dir);
                if (r >= 0)
                    r = iso_tree_add_dir_rec(job->image, dir, f.hostPath.c_str());
            } else {
                r = iso_tree_add_node(job->image, parent, f.hostPath.c_str(), nullptr);
            }
            if (r < 0) {
                iso_image_unref(job->image);
                Fail(1005, f.hostPath + " could not be put into the image");
                return 0;
            }
        }
    }
    IsoWriteOpts* isoOpts = nullptr;
    iso_write_opts_new(&isoOpts, 0);
    iso_write_opts_set_iso_level(isoOpts, 3);
    iso_write_opts_set_rockridge(isoOpts, 1);
    iso_write_opts_set_joliet(isoOpts, 1);
    iso_write_opts_set_joliet_longer_paths(isoOpts, 1);
    ::burn_source* iso = nullptr;
    const int made = iso_image_create_burn_source(job->image, isoOpts, &iso);
    iso_write_opts_free(isoOpts);
    if (made < 0 || !iso) {
        iso_image_unref(job->image);
        Fail(1005, "the image could not be made");
        return 0;
    }
    auto* source = reinterpret_cast<burn::burn_source*>(iso);
    const long long bytes = source->get_size(source);
    if (bytes > disc.capacityBytes - disc.usedBytes) {
        source->cancel(source);
        burn::burn_source_free(source);
        iso_image_unref(job->image);
        Fail(1021,
             "the backup (" + std::to_string(bytes / 1048576) + " MB) is larger than the disc");
        return 0;
    }

    job->sectors = static_cast<long>((bytes + kBlock - 1) / kBlock);
    if (d.pseudo) {
        // A blank medium holds nothing: what an earlier, failed write left goes first.
        if (!discFile_ || !discFile_->Empty()) {
            const std::string why = discFile_ ? std::strerror(errno) : "there is none";
            source->cancel(source);
            burn::burn_source_free(source);
            iso_image_unref(job->image);
            Fail(1001, "the disc file cannot be written: " + why);
            return 0;
        }
        std::string adr = "stdio:" + d.file;
        if (burn::burn_drive_scan_and_grab(&job->grab, adr.data(), 1) <= 0 || !job->grab) {
            source->cancel(source);
            burn::burn_source_free(source);
            iso_image_unref(job->image);
            Fail(1002, "the pseudo-drive " + d.file + " could not be opened");
            return 0;
        }
        job->drive = job->grab[0].drive;
        while (burn::burn_disc_get_status(job->drive) == burn::BURN_DISC_UNREADY)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } else {
        job->drive = static_cast<burn::burn_drive_info*>(grabbed_)[0].drive;
    }

    job->disc = burn::burn_disc_create();
    burn::burn_session* session = burn::burn_session_create();
    burn::burn_track* track = burn::burn_track_create();
    burn::burn_track_define_data(track, 0, 0, 1, BURN_MODE1);
    burn::burn_track_set_source(track, source);
    burn::burn_source_free(source);  // the track holds it now
    burn::burn_session_add_track(session, track, BURN_POS_END);
    burn::burn_track_free(track);
    burn::burn_disc_add_session(job->disc, session, BURN_POS_END);
    burn::burn_session_free(session);

    job->opts = burn::burn_write_opts_new(job->drive);
    burn::burn_write_opts_set_perform_opc(job->opts, 0);
    burn::burn_write_opts_set_multi(job->opts, 0);
    burn::burn_write_opts_set_simulate(job->opts, 0);
    burn::burn_write_opts_set_underrun_proof(job->opts, 1);
    // Progress in small steps on a pseudo-drive; its file is flushed once at the end.
    burn::burn_write_opts_set_stdio_fsync(job->opts, -1);
    char reasons[BURN_REASONS_LEN] = {};
    if (burn::burn_write_opts_auto_write_type(job->opts, job->disc, reasons, 0) ==
        burn::BURN_WRITE_NONE) {
        Fail(1028, reasons);
        job->erase = false;
        burn::burn_write_opts_free(job->opts);
        burn::burn_disc_free(job->disc);
        iso_image_unref(job->image);
        if (job->grab) {
            burn::burn_drive_release(job->drive, 0);
            burn::burn_drive_info_free(job->grab);
        }
        return 0;
    }
    // KB/s (k = 1024) as the dialog counts, kB/s (k = 1000) as libburn does; 0 is the fastest.
    burn::burn_drive_set_speed(job->drive, 0,
                               speedKB_ > 0 ? static_cast<int>(speedKB_ * 1024 / 1000) : 0);
    if (thread_.joinable())
        thread_.join();
    busy_ = true;
    // An abort asked for since the write was started (the dialog already counts it as writing)
    // is kept: the job is cancelled as soon as it writes.
    burn::burn_disc_write(job->opts, job->disc);
    thread_ = std::thread([this, j = std::move(job)]() mutable { Run(std::move(j)); });
    return 1;
}

}  // namespace disc
