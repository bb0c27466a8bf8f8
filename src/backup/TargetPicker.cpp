#include "backup/TargetPicker.h"

#include <cctype>
#include <cstdio>

#include "backup/pass/BackupStart.h"
#include "backup/schedule/ScheduleCommands.h"
#include "platform/DriveTable.h"
#include "ports/CDVDWriterPro2.h"

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
        CDVDWriterPro2* writer = disc_.writer;
        target_.discReady = writer && writer->GetMediaType() != kMediaNoDisc ? 1 : 0;
        const auto select = [&] {
            return choice == WriterChoice::kNamedDrive ? FindNamedWriterDrive(letter)
                                                       : FindWriterDrive();
        };
        if (writer && select() && writer->GetMediaType() != kMediaNoDisc) {
            target_.discReady = 1;
            TellDiscSpace(true);
            view_.EraseOffered(IsRewritableMedia(writer->GetMediaType()));
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

void TargetPicker::NameWriterTarget(long index) {
    CDVDWriterPro2& writer = *disc_.writer;
    char size[64];
    std::snprintf(size, sizeof size, "(%.f MB)", GetDiscCapacityMB(writer));
    target_.text = writer.GetDriveLetter(index) + ":\\" + writer.GetDriveName(index) + " " + size;
}

bool TargetPicker::FindWriterDrive() {
    CDVDWriterPro2* writer = disc_.writer;
    if (!writer)
        return false;
    // The last writer drive decides, as the drives are tried in the writer's order; one that
    // cannot be selected leaves the choice to the one before it, not to none.
    bool anyWriter = false;
    for (long i = writer->GetDriveCount() - 1; i >= 0; --i) {
        if (writer->IsWriterDrive(i) != 1)
            continue;
        anyWriter = true;
        if (writer->SelectDrive(i)) {
            NameWriterTarget(i);
            return true;
        }
    }
    if (anyWriter)
        prompts_.Tell(prompts_.Text("CDWRITER", "A010002"));
    return false;
}

bool TargetPicker::FindNamedWriterDrive(char letter) {
    CDVDWriterPro2* writer = disc_.writer;
    const std::string wanted(1,
                             static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
    for (long i = 0; writer && i < writer->GetDriveCount(); ++i) {
        if (writer->GetDriveLetter(i) != wanted || writer->IsWriterDrive(i) != 1)
            continue;
        if (!SelectWriterDrive(i))
            return false;
        NameWriterTarget(i);
        return true;
    }
    return false;
}

bool TargetPicker::SelectWriterDrive(long index) {
    if (disc_.writer && disc_.writer->SelectDrive(index))
        return true;
    prompts_.Tell(prompts_.Text("CDWRITER", "A010002"));
    return false;
}

void TargetPicker::FillWriteSpeedList() {
    if (!disc_.writer)
        return;
    target_.writeSpeeds =
        WriteSpeedItems(disc_.writer->GetMaxWriteSpeed(), disc_.writer->GetMediaType());
    std::vector<std::string> labels;
    for (const auto& item : target_.writeSpeeds)
        labels.push_back(item.label);
    view_.WriteSpeedsChanged(labels);
}

bool TargetPicker::PrepareDiscImage() {
    if (!disc_.writer)
        return false;
    if (disc_.writer->GetMediaType() == kMediaNoDisc) {
        prompts_.Tell(prompts_.Text("CDWRITER", "A010021"));
        return false;
    }
    return disc_.writer->ResetImage(1) != 0;
}

void TargetPicker::TellDiscSpace(bool show) {
    // The space is told from the disc writer's figures; without them it is not shown.
    if (!show || !disc_.writer) {
        view_.DiscKnown(false);
        view_.EraseOffered(false);
        return;
    }
    view_.DiscKnown(true);
    const double capacity = GetDiscCapacityMB(*disc_.writer);
    const double freeMB = GetDiscFreeMB(*disc_.writer);
    const double used = GetDiscUsedMB(*disc_.writer);
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
    TellErasable(view_, disc_.writer);
}

}  // namespace backup
