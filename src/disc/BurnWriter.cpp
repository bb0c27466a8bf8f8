#include "disc/BurnWriter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdint.h>
#include <cerrno>
#include <chrono>
#include <cstring>

// libisofs declares a global struct burn_source; libburn declares its own in namespace burn.
#include <libburn/libburn.h>
#include <libisofs/libisofs.h>

#include "disc/DiscImageFiles.h"
#include "disc/DiscLibraries.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"

namespace disc {
namespace {

constexpr long long kBlock = 2048;

bool Troubling(const char* severity) {
    for (const char* s : {"SORRY", "FAILURE", "FATAL", "ABORT"})
        if (std::strcmp(severity, s) == 0)
            return true;
    return false;
}

// The most severe message libburn queued since the last call, with its errno. threadEnded, when
// given, is set once libburn says its write thread ended.
std::string BurnMessages(int& osErrno, bool* threadEnded = nullptr) {
    std::string worst;
    char minimum[] = "ALL";
    int code = 0, err = 0;
    char text[BURN_MSGS_MESSAGE_LEN] = {}, severity[80] = {};
    while (burn::burn_msgs_obtain(minimum, &code, text, &err, severity) > 0) {
        if (threadEnded && std::strstr(text, "thread on drive") && std::strstr(text, "ended"))
            *threadEnded = true;
        if (!Troubling(severity))
            continue;
        if (worst.empty() || std::strcmp(severity, "FAILURE") == 0 ||
            std::strcmp(severity, "FATAL") == 0) {
            worst = text;
            osErrno = err;
        }
    }
    return worst;
}

// libisofs' messages: a source file that changed size after it was added is written padded
// with zeros while the write still reports success, so any such message is a failure.
std::string IsoMessages() {
    std::string all;
    char minimum[] = "SORRY";
    int code = 0, image = 0;
    char text[ISO_MSGS_MESSAGE_LEN] = {}, severity[80] = {};
    while (iso_obtain_msgs(minimum, &code, &image, text, severity) > 0)
        all = all.empty() ? std::string(text) : all + "; " + text;
    return all;
}

bool HoldsIso(int fd) {
    unsigned char block[8] = {};
    return fd >= 0 && ::pread(fd, block, sizeof block, 16 * kBlock) == sizeof block &&
           block[0] == 1 && std::memcmp(block + 1, "CD001", 5) == 0;
}

}  // namespace

struct BurnWriter::Drive {
    char letter = 0;
    std::string device;
    bool pseudo = false;
    std::string file;  // a pseudo-drive's file; "" is a drive without a disc
    Medium medium;
    long long capacityBytes = 0;
};

// A write or an erase under way, with what it must free.
struct BurnWriter::Job {
    bool erase = false;
    bool pseudo = false;
    int fd = -1;                            // the pseudo-drive's file
    burn::burn_drive_info* grab = nullptr;  // a pseudo-drive's grab, for this job only
    burn::burn_drive* drive = nullptr;
    burn::burn_write_opts* opts = nullptr;
    burn::burn_disc* disc = nullptr;
    IsoImage* image = nullptr;
    long sectors = 0;                    // of the image, known before writing
    std::string device;                  // what the disc is read back from
    IWrittenDiscCheck* check = nullptr;  // of the disc once written
};

BurnWriter::BurnWriter(Poster post)
    : post_(std::move(post)), sink_(std::make_shared<std::atomic<IDiscWriterEvents*>>(nullptr)) {}

BurnWriter::~BurnWriter() {
    sink_->store(nullptr);
    AbortWrite();
    WaitIdle();
    std::lock_guard<std::mutex> lock(mutex_);
    ReleaseDrive();
    if (initialised_)
        ReleaseLibraries();
}

void BurnWriter::SetEventSink(IDiscWriterEvents* sink) {
    sink_->store(sink);
}

void BurnWriter::SetVolumeLabel(const std::string& label) {
    std::lock_guard<std::mutex> lock(mutex_);
    volumeLabel_ = label;
}

void BurnWriter::Fire(WriterEvent event) {
    post_([sink = sink_, event] {
        if (IDiscWriterEvents* s = sink->load())
            s->OnWriterEvent(event);
    });
}

void BurnWriter::Fail(long code, const std::string& text) {
    aborting_ = false;  // the job is over: an abort asked for it must not stop the next one
    WriterEvent e;
    e.id = 21;
    e.a = code;
    e.text = text;
    Fire(e);
}

BOOL BurnWriter::InitializeWriter(BOOL) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialised_) {
        if (!AcquireLibraries())
            return 0;
        initialised_ = true;
    }
    drives_.clear();
    for (const auto& d : platform::CurrentDrives()->drives()) {
        if (d.type != platform::DRIVE_CDROM || d.device.empty())
            continue;
        Drive drive;
        drive.letter = d.letter;
        drive.device = d.device;
        drive.pseudo = d.device.rfind("stdio:", 0) == 0;
        if (drive.pseudo) {
            drive.file = d.device.substr(6);
            drive.medium = drive.file.empty() ? MediumByName("none") : MediumByName(d.media);
            const long mb = d.capacityMB > 0 ? d.capacityMB : drive.medium.capacityMB;
            drive.capacityBytes = static_cast<long long>(mb) * 1048576;
        }
        drives_.push_back(drive);
    }
    return 1;
}

long BurnWriter::GetDriveCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<long>(drives_.size());
}

std::string BurnWriter::GetDriveLetter(long index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || index >= static_cast<long>(drives_.size()))
        return std::string();
    return std::string(1, drives_[static_cast<std::size_t>(index)].letter);
}

std::string BurnWriter::GetDriveName(long index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || index >= static_cast<long>(drives_.size()))
        return std::string();
    const Drive& d = drives_[static_cast<std::size_t>(index)];
    if (d.pseudo)
        return std::string("Pseudo-drive ") + d.medium.name + " (" + d.file + ")";
    return "Disc writer " + d.device;
}

BOOL BurnWriter::IsWriterDrive(long index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || index >= static_cast<long>(drives_.size()))
        return 0;
    const Drive& d = drives_[static_cast<std::size_t>(index)];
    return d.pseudo || ::access(d.device.c_str(), R_OK | W_OK) == 0 ? 1 : 0;
}

void BurnWriter::ReleaseDrive() {
    if (lockFd_ >= 0)
        ::close(lockFd_);  // lets go of the lock as well
    lockFd_ = -1;
    if (grabbed_) {
        auto* infos = static_cast<burn::burn_drive_info*>(grabbed_);
        burn::burn_drive_release(infos[0].drive, 0);
        burn::burn_drive_info_free(infos);
    }
    grabbed_ = nullptr;
    selected_ = -1;
}

BOOL BurnWriter::SelectDrive(long index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (busy_ || index < 0 || index >= static_cast<long>(drives_.size()))
        return 0;
    ReleaseDrive();
    const Drive& d = drives_[static_cast<std::size_t>(index)];
    if (d.pseudo) {
        if (!d.file.empty()) {
            // The file is the disc: one writer at a time, in this process or another.
            lockFd_ = ::open(d.file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
            if (lockFd_ < 0)
                return 0;
            struct stat st {};
            if (::fstat(lockFd_, &st) != 0 || !S_ISREG(st.st_mode) ||
                ::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
                ::close(lockFd_);
                lockFd_ = -1;
                return 0;
            }
        }
    } else {
        char adr[BURN_DRIVE_ADR_LEN] = {};
        std::string device = d.device;
        burn::burn_drive_info* infos = nullptr;
        if (burn::burn_drive_convert_fs_adr(device.data(), adr) <= 0 ||
            burn::burn_drive_scan_and_grab(&infos, adr, 1) <= 0 || !infos)
            return 0;
        grabbed_ = infos;
        while (burn::burn_disc_get_status(infos[0].drive) == burn::BURN_DISC_UNREADY)
            ::usleep(100000);
    }
    selected_ = index;
    return 1;
}

BOOL BurnWriter::SetDriveState(BOOL) {
    return 1;  // the tray stays as it is
}

BurnWriter::Disc BurnWriter::ReadDisc() {
    Disc disc;
    if (selected_ < 0)
        return disc;
    const Drive& d = drives_[static_cast<std::size_t>(selected_)];
    if (d.pseudo) {
        disc.medium = d.medium;
        if (lockFd_ < 0 || d.medium.type == kMediaNoDisc) {
            disc.medium = MediumByName("none");
            return disc;
        }
        disc.capacityBytes = d.capacityBytes;
        if (HoldsIso(lockFd_)) {
            struct stat st {};
            ::fstat(lockFd_, &st);
            disc.usedBytes = std::min<long long>(st.st_size, disc.capacityBytes);
            disc.status = kStatusFull;
        }
        return disc;
    }
    if (!grabbed_ || busy_)
        return disc;
    burn::burn_drive* drive = static_cast<burn::burn_drive_info*>(grabbed_)[0].drive;
    const burn::burn_disc_status s = burn::burn_disc_get_status(drive);
    if (s != burn::BURN_DISC_BLANK && s != burn::BURN_DISC_APPENDABLE && s != burn::BURN_DISC_FULL)
        return disc;
    int profile = 0;
    char name[80] = {};
    burn::burn_disc_get_profile(drive, &profile, name);
    disc.medium = MediumByProfile(profile);
    const long long available = burn::burn_disc_available_space(drive, nullptr);
    disc.status = s == burn::BURN_DISC_BLANK        ? kStatusBlank
                  : s == burn::BURN_DISC_APPENDABLE ? kStatusAppendable
                                                    : kStatusFull;
    disc.capacityBytes = available;
    if (s == burn::BURN_DISC_BLANK && IsRewritableMedia(disc.medium.type)) {
        // Overwritable media read blank even when they hold an image: look for one.
        char block[2048] = {};
        off_t got = 0;
        if (burn::burn_read_data(drive, 16 * kBlock, block, sizeof block, &got, 1) > 0 &&
            block[0] == 1 && std::memcmp(block + 1, "CD001", 5) == 0)
            disc.status = kStatusFull;
    }
    return disc;
}

long BurnWriter::GetMediaType() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ReadDisc().medium.type;
}

long BurnWriter::GetDiscStatus() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ReadDisc().status;
}

long BurnWriter::GetCapacitySize() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<long>(ReadDisc().capacityBytes / kBlock);
}

long BurnWriter::GetUsedSize() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<long>((ReadDisc().usedBytes + kBlock - 1) / kBlock);
}

long BurnWriter::GetFreeSize() {
    std::lock_guard<std::mutex> lock(mutex_);
    const Disc disc = ReadDisc();
    return static_cast<long>(std::max<long long>(0, disc.capacityBytes - disc.usedBytes) / kBlock);
}

double BurnWriter::SizeToBytes(long size, long) {
    return static_cast<double>(size) * kBlock;
}

BOOL BurnWriter::SetWriteSpeed(long kbPerSecond) {
    std::lock_guard<std::mutex> lock(mutex_);
    speedKB_ = kbPerSecond > 0 ? kbPerSecond : 0;
    return 1;
}

long BurnWriter::GetMaxWriteSpeed() {
    std::lock_guard<std::mutex> lock(mutex_);
    const Disc disc = ReadDisc();
    if (disc.medium.type == kMediaNoDisc)
        return 0;
    if (grabbed_ && !busy_) {
        const int kB = burn::burn_drive_get_write_speed(
            static_cast<burn::burn_drive_info*>(grabbed_)[0].drive);
        if (kB > 0)
            return static_cast<long>(static_cast<long long>(kB) * 1000 / 1024);
    }
    // A pseudo-drive is as fast as the common drives of its medium: 16x DVD, 48x CD.
    return static_cast<long>(SpeedStepKB(disc.medium.type) *
                             (IsDvdMedia(disc.medium.type) ? 16 : 48));
}

BOOL BurnWriter::CheckMediaFeature(long code) {
    // 37: the medium can be erased.
    return code == 37 && IsRewritableMedia(GetMediaType()) ? 1 : 0;
}

void BurnWriter::RefreshMedia() {
    // Every question reads the medium afresh.
}

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
    job->fd = lockFd_;
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
        if (::ftruncate(lockFd_, 0) != 0) {
            source->cancel(source);
            burn::burn_source_free(source);
            iso_image_unref(job->image);
            Fail(1001, std::string("the disc file cannot be written: ") + std::strerror(errno));
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
            ::usleep(10000);
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
    job->fd = lockFd_;
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
            ok = job->fd >= 0 && ::ftruncate(job->fd, 0) == 0 && ::fsync(job->fd) == 0;
        } else if (job->drive) {
            ::usleep(200000);
            while (burn::burn_drive_get_status(job->drive, nullptr) != burn::BURN_DRIVE_IDLE)
                ::usleep(200000);
            ok = burn::burn_drive_wrote_well(job->drive) == 1;
        }
        int osErrno = 0;
        const std::string why = BurnMessages(osErrno);
        busy_ = false;
        if (ok)
            Fire(WriterEvent{11});
        else
            Fail(1036, why.empty() ? "the disc could not be erased" : why);
        return;
    }

    Fire(WriterEvent{9});  // preparing
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
            Fire(WriterEvent{10});
        }
        if (s == burn::BURN_DRIVE_CLOSING_SESSION && !closing) {
            closing = true;
            Fire(WriterEvent{14});
        }
        if (s == burn::BURN_DRIVE_WRITING_LEADOUT && !leadOut) {
            leadOut = true;
            Fire(WriterEvent{17});
        }
        if (p.sectors > 0) {  // after the write it reads 0/0 again: keep the last
            sector = p.sector;
            sectors = p.sectors;
        }
        if (sectors > 0 && Clock::now() - lastReport >= std::chrono::milliseconds(250)) {
            lastReport = Clock::now();
            Fire(WriterEvent{16, 0, sector, sectors});
            const int percent = static_cast<int>(static_cast<long long>(sector) * 100 / sectors);
            if (percent != lastPercent)
                Fire(WriterEvent{22, percent});
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
    if (wroteWell && job->pseudo && job->fd >= 0) {
        // Success is the image on the disc file, whatever libburn reported.
        struct stat st {};
        if (::fstat(job->fd, &st) != 0 ||
            st.st_size < static_cast<off_t>(job->sectors) * static_cast<off_t>(kBlock)) {
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
    if (job->pseudo && wroteWell && job->fd >= 0)
        flushed = ::fsync(job->fd) == 0;
    busy_ = false;
    if (aborting_.exchange(false)) {
        Fire(WriterEvent{12});
    } else if (wroteWell && isoTrouble.empty() && flushed) {
        Fire(WriterEvent{16, 0, sectors, sectors});
        Fire(WriterEvent{22, 100});
        const std::string readBack = ReadBack(*job);
        if (readBack.empty())
            Fire(WriterEvent{13});
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
    Fire(WriterEvent{20});  // verifying
    std::string why;
    const std::unique_ptr<integrity::ImageFiles> disc = OpenIsoImage(job.device, why);
    if (!disc)
        return why;
    auto lastReport = std::chrono::steady_clock::now();
    return job.check->Check(*disc, [&](long long done, long long total) {
        const auto now = std::chrono::steady_clock::now();
        if (total <= 0 || now - lastReport < std::chrono::milliseconds(250))
            return;
        lastReport = now;
        Fire(WriterEvent{16, 0, static_cast<long>(done >> 10), static_cast<long>(total >> 10)});
    });
}

long WriterErrorCode(const std::string& message, int osErrno) {
    auto has = [&](const char* word) { return strcasestr(message.c_str(), word) != nullptr; };
    if (osErrno == ENOSPC || osErrno == EFBIG || has("no space") || has("end of medi") ||
        has("too large") || has("larger than"))
        return 1021;
    if (has("no disc") || has("no media") || has("medium not present"))
        return 1033;
    if (has("not ready"))
        return 1002;
    if (has("underrun"))
        return 1008;
    if (has("not blank"))
        return 1028;
    if (has("erase") || has("blank"))
        return 1036;
    if (has("unsuitable") || has("not suitable"))
        return 1028;
    if (has("scsi") || has("transport") || has("command"))
        return 1003;
    if (osErrno == EIO || has("input/output"))
        return 1001;
    return 1005;
}

}  // namespace disc
