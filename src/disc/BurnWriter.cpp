// The writer's drive and medium table: the drives of the drive table, the one selected, and
// what its medium is and holds.
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
#include "platform/HostPaths.h"

namespace disc {

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
    e.id = kWriterError;
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
    return d.pseudo || platform::MayReadAndWrite(d.device) ? 1 : 0;
}

void BurnWriter::ReleaseDrive() {
    discFile_.reset();  // lets go of the lock as well
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
            discFile_ = platform::LockedFile::Take(d.file);
            if (!discFile_)
                return 0;
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
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
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
        if (!discFile_ || d.medium.type == kMediaNoDisc) {
            disc.medium = MediumByName("none");
            return disc;
        }
        disc.capacityBytes = d.capacityBytes;
        if (HoldsIso(*discFile_)) {
            disc.usedBytes = std::min(std::max(0LL, discFile_->Length()), disc.capacityBytes);
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

}  // namespace disc
