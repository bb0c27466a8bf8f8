#include "backup/TargetPicker.h"

#include <cctype>
#include <cstdio>

#include "backup/BackupStart.h"
#include "backup/ScheduleCommands.h"
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
        view_.EnableWriteSpeeds(false);
        target_.discReady = 0;
        UpdateDiscSpaceBar(false);
    } else if (target_.kind == TargetKind::kDisc) {
        CDVDWriterPro2* writer = disc_.writer;
        target_.discReady = writer && writer->GetMediaType() != kMediaNoDisc ? 1 : 0;
        const auto select = [&] {
            return choice == WriterChoice::kNamedDrive ? FindNamedWriterDrive(letter)
                                                       : FindWriterDrive();
        };
        if (writer && select() && writer->GetMediaType() != kMediaNoDisc) {
            target_.discReady = 1;
            UpdateDiscSpaceBar(true);
            view_.OfferErase(IsRewritableMedia(writer->GetMediaType()));
            view_.EnableWriteSpeeds(true);
            FillWriteSpeedList();
            view_.EnableViewerOption(true);
        } else {
            target_.discReady = 0;
            UpdateDiscSpaceBar(false);
            refused = RefuseDrive("M010022", letter);
            target_.text.clear();
        }
    } else {
        target_.text = folder;
        view_.WriteSpeedsChanged({});
        view_.EnableWriteSpeeds(false);
        target_.discReady = 0;
        UpdateDiscSpaceBar(false);
        view_.EnableViewerOption(true);
    }
    view_.TargetChanged(target_.text);
    return refused;
}

void TargetPicker::ShowWriterTarget(long index) {
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
            ShowWriterTarget(i);
            return true;
        }
    }
    if (anyWriter)
        prompts_.ShowMessage(prompts_.Text("CDWRITER", "A010002"));
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
        ShowWriterTarget(i);
        return true;
    }
    return false;
}

bool TargetPicker::SelectWriterDrive(long index) {
    if (disc_.writer && disc_.writer->SelectDrive(index))
        return true;
    prompts_.ShowMessage(prompts_.Text("CDWRITER", "A010002"));
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
        prompts_.ShowMessage(prompts_.Text("CDWRITER", "A010021"));
        return false;
    }
    return disc_.writer->ResetImage(1) != 0;
}

void TargetPicker::UpdateDiscSpaceBar(bool show) {
    TextProgressState bar;
    bar.bkColor = 0xC0FFFF;
    bar.barColor = 0xFFC0FF;
    bar.lower = 0;
    bar.upper = 100;
    bar.textVisible = true;
    // The bar is drawn from the disc writer's figures; without them it stays hidden.
    if (!show || !disc_.writer) {
        view_.ShowDiscSpace(false);
        view_.OfferErase(false);
        return;
    }
    view_.ShowDiscSpace(true);
    const double capacity = GetDiscCapacityMB(*disc_.writer);
    const double freeMB = GetDiscFreeMB(*disc_.writer);
    const double used = GetDiscUsedMB(*disc_.writer);
    // A disc of no capacity is shown as full rather than divided by.
    const int usedPercent = capacity > 0 ? 100 - static_cast<int>(freeMB / capacity * 100) : 100;
    bar.pos = usedPercent;
    bar.bar2Color = 0x40C080;
    bar.lower2 = usedPercent;
    bar.upper2 = 100;
    bar.pos2 = schedule_.totalKB > 0 && capacity > 0
                   ? static_cast<int>((schedule_.totalKB / 1024 + used) / capacity * 100)
                   : usedPercent;
    char text[160];
    std::snprintf(text, sizeof text, "%s : %.fM", prompts_.Text("BACKUP", "M010023").c_str(),
                  freeMB);
    bar.text = text;
    bar.textOnBk = bar.textOnBar = 0x000000;
    view_.SetDiscSpace(bar);
    UpdateEraseButton(view_, disc_.writer);
}

}  // namespace backup
