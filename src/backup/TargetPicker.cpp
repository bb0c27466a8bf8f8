#include "backup/TargetPicker.h"

#include <cctype>
#include <cstdio>

#include "backup/schedule/ScheduleCommands.h"
#include "platform/DrivePaths.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"

backup::TargetKind ClassifyTargetDrive(backup::TargetChoice& target, char driveLetter) {
    if (driveLetter < 'A' || driveLetter > 'Z')
        return backup::TargetKind::kNone;
    target.drive = driveLetter - 'A';
    const std::string root = std::string(1, driveLetter) + ":\\";
    if (platform::GetDriveTypeA(root) == platform::DRIVE_CDROM)
        return backup::TargetKind::kDisc;
    return (platform::GetLogicalDrives() >> target.drive) & 1u ? backup::TargetKind::kFolder
                                                               : backup::TargetKind::kNone;
}

std::vector<backup::WriteSpeedItem> WriteSpeedItems(long maxSpeed, long mediaType) {
    const bool dvd = IsDvdMedia(mediaType);
    const double unit = dvd ? 1380.0 : 176.0;
    std::vector<backup::WriteSpeedItem> items;
    double x = static_cast<long>(maxSpeed / unit);
    if (x <= 0) {
        items.push_back({"MAX", 0});
        return items;
    }
    long speed = maxSpeed;
    do {
        char label[32];
        std::snprintf(label, sizeof label, "%.f x", x);
        items.push_back({label, speed});
        if (x >= 8) {
            x -= 4;
            speed = static_cast<long>(speed - (dvd ? 5520.0 : 705.6));
        } else {
            x /= 2;
            speed = static_cast<long>(speed / x);
        }
    } while (x > 1);
    return items;
}

namespace backup {

// The refusal of key, with what drives.ini says is wrong with the drive's section, if anything.
CommandResult TargetPicker::RefuseDrive(const std::string& key, char letter) {
    const std::string problems = platform::CurrentDrives()->ProblemsOf(letter);
    if (problems.empty())
        return prompts_.Refuse(key);
    return prompts_.Refuse(key, prompts_.Text("BACKUP", key) + "\n" + problems);
}

CommandResult TargetPicker::ChooseStorageTarget(const std::string& folder, WriterChoice choice) {
    if (folder.empty())
        return {};
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(folder[0])));
    target_.kind = ClassifyTargetDrive(target_, letter);
    CommandResult refused;
    if (target_.kind == TargetKind::kNone) {
        refused = RefuseDrive("M010020", letter);
        target_.text.clear();
        view_.WriteSpeedsChanged({});
        target_.discReady = 0;
        TellDiscSpace(false);
    } else if (target_.kind == TargetKind::kDisc) {
        DiscDrive drive = disc_.drive();
        target_.discReady = drive.Medium().present ? 1 : 0;
        const auto select = [&] {
            return choice == WriterChoice::kNamedDrive ? FindNamedWriterDrive(letter)
                                                       : FindWriterDrive();
        };
        if (drive && select() && drive.Medium().present) {
            target_.discReady = 1;
            TellDiscSpace(true);
            TellErasable();
            FillWriteSpeedList();
            view_.ViewerOffered(true);
        } else {
            target_.discReady = 0;
            TellDiscSpace(false);
            refused = RefuseDrive("M010022", letter);
            target_.text.clear();
        }
    } else {
        target_.text = folder;
        view_.WriteSpeedsChanged({});
        target_.discReady = 0;
        TellDiscSpace(false);
        view_.ViewerOffered(true);
    }
    view_.TargetChanged(target_.text);
    return refused;
}

void TargetPicker::NameWriterTarget(const WriterDrive& writer) {
    char size[64];
    std::snprintf(size, sizeof size, "(%.f MB)", disc_.drive().Medium().capacityMB);
    target_.text = writer.letter + ":\\" + writer.name + " " + size;
}

bool TargetPicker::FindWriterDrive() {
    DiscDrive drive = disc_.drive();
    const std::vector<WriterDrive> writers = drive.Drives();
    // The last writer drive decides, as the drives are tried in the writer's order; one that
    // cannot be selected leaves the choice to the one before it, not to none.
    for (auto it = writers.rbegin(); it != writers.rend(); ++it)
        if (drive.Select(it->index)) {
            NameWriterTarget(*it);
            return true;
        }
    if (!writers.empty())
        prompts_.Tell(prompts_.Text("CDWRITER", "A010002"));
    return false;
}

bool TargetPicker::FindNamedWriterDrive(char letter) {
    const std::string wanted(1,
                             static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
    for (const WriterDrive& writer : disc_.drive().Drives()) {
        if (writer.letter != wanted)
            continue;
        if (!SelectWriterDrive(writer.index))
            return false;
        NameWriterTarget(writer);
        return true;
    }
    return false;
}

bool TargetPicker::SelectWriterDrive(long index) {
    if (disc_.drive().Select(index))
        return true;
    prompts_.Tell(prompts_.Text("CDWRITER", "A010002"));
    return false;
}

void TargetPicker::FillWriteSpeedList() {
    if (!disc_.drive())
        return;
    const DiscMedium medium = disc_.drive().Medium();
    target_.writeSpeeds = WriteSpeedItems(medium.maxWriteSpeed, medium.type);
    std::vector<std::string> labels;
    for (const auto& item : target_.writeSpeeds)
        labels.push_back(item.label);
    view_.WriteSpeedsChanged(labels);
}

bool TargetPicker::PrepareDiscImage() {
    if (!disc_.drive())
        return false;
    if (!disc_.drive().Medium().present) {
        prompts_.Tell(prompts_.Text("CDWRITER", "A010021"));
        return false;
    }
    return disc_.drive().NewImage();
}

void TargetPicker::TellDiscSpace(bool show) {
    // The space is told from the disc writer's figures; without them it is not shown.
    if (!show || !disc_.drive()) {
        view_.DiscKnown(false);
        view_.EraseOffered(false);
        return;
    }
    view_.DiscKnown(true);
    const DiscMedium medium = disc_.drive().Medium();
    const double capacity = medium.capacityMB;
    const double freeMB = medium.freeMB;
    const double used = medium.usedMB;
    // A disc of no capacity is shown as full rather than divided by.
    const int usedPercent = capacity > 0 ? 100 - static_cast<int>(freeMB / capacity * 100) : 100;
    DiscSpace space;
    space.usedPercent = usedPercent;
    space.afterBackupPercent =
        schedule_.totalKB > 0 && capacity > 0
            ? static_cast<int>((schedule_.totalKB / 1024 + used) / capacity * 100)
            : usedPercent;
    char text[160];
    std::snprintf(text, sizeof text, "%s : %.fM", prompts_.Text("BACKUP", "M010023").c_str(),
                  freeMB);
    space.text = text;
    view_.DiscSpaceChanged(space);
    view_.EraseOffered(medium.rewritable);
}

}  // namespace backup
