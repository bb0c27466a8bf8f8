#include "backup/disc/DiscDrive.h"

namespace backup {

DiscEvent ReadWriterEvent(const WriterEvent& e) {
    DiscEvent event;
    switch (e.id) {
        case kWriterPreparing:
            event.kind = DiscEvent::Kind::kPreparing;
            break;
        case kWriterWriting:
            event.kind = DiscEvent::Kind::kWriting;
            break;
        case kWriterClosingSession:
            event.kind = DiscEvent::Kind::kClosingSession;
            break;
        case kWriterLeadOut:
            event.kind = DiscEvent::Kind::kLeadOut;
            break;
        case kWriterVerifying:
            event.kind = DiscEvent::Kind::kVerifying;
            break;
        case kWriterPercent:
            event.kind = DiscEvent::Kind::kPercent;
            event.percent = static_cast<short>(e.a);  // the device's 16-bit figure
            break;
        case kWriterProgress:
            event.kind = DiscEvent::Kind::kProgress;
            event.done = e.b;
            event.total = e.c;
            break;
        case kWriterWriteEnded:
            event.kind = DiscEvent::Kind::kWriteEnded;
            break;
        case kWriterWriteCompleted:
            event.kind = DiscEvent::Kind::kWritten;
            break;
        case kWriterError:
            event.kind = DiscEvent::Kind::kFailed;
            event.code = e.a;
            event.detail = e.text;
            break;
        case kWriterErased:
            event.kind = DiscEvent::Kind::kErased;
            break;
        default:
            break;
    }
    return event;
}

bool DiscDrive::Start() {
    return writer_ && writer_->InitializeWriter(0);
}

std::vector<WriterDrive> DiscDrive::Drives() {
    std::vector<WriterDrive> drives;
    for (long i = 0; writer_ && i < writer_->GetDriveCount(); ++i)
        if (writer_->IsWriterDrive(i) == 1)
            drives.push_back({i, writer_->GetDriveLetter(i), writer_->GetDriveName(i)});
    return drives;
}

bool DiscDrive::Select(long index) {
    return writer_ && writer_->SelectDrive(index);
}

DiscMedium DiscDrive::Medium() {
    DiscMedium m;
    if (!writer_)
        return m;
    m.type = writer_->GetMediaType();
    m.present = m.type != kMediaNoDisc;
    m.rewritable = IsRewritableMedia(m.type);
    m.blank = IsBlankDiscStatus(writer_->GetDiscStatus());
    constexpr double kMB = 9.5367431640625e-07;  // 1 / 2^20
    m.capacityMB = writer_->SizeToBytes(writer_->GetCapacitySize(), 1) * kMB;
    m.freeMB = writer_->SizeToBytes(writer_->GetFreeSize(), 1) * kMB;
    m.usedMB = writer_->SizeToBytes(writer_->GetUsedSize(), 1) * kMB;
    m.maxWriteSpeed = writer_->GetMaxWriteSpeed();
    return m;
}

bool DiscDrive::Erasable() {
    // Blanking, quick formatting, or the two rewritable DVD kinds.
    for (long code : {7L, 37L, 10L, 39L})
        if (writer_ && writer_->CheckMediaFeature(code) == 1)
            return true;
    return false;
}

bool DiscDrive::NewImage() {
    return writer_ && writer_->ResetImage(1) != 0;
}

void DiscDrive::AddImageFolder(const std::string& folder) {
    if (writer_)
        writer_->AddFiles("\\", folder + "\\*.*");
}

void DiscDrive::SetSpeed(long kbPerSecond) {
    if (writer_)
        writer_->SetWriteSpeed(kbPerSecond);
}

bool DiscDrive::Write(IWrittenDiscCheck* check) {
    if (!writer_)
        return false;
    // The backup's options, twice, and the rest in the device's order.
    for (int i = 0; i < 2; ++i) {
        writer_->SetOption19(1);
        writer_->SetOption16(1);
        writer_->SetVolumeLabel("QORBACKUP");
    }
    writer_->GetMediaType();
    writer_->SetOption12(0);
    writer_->PrepareWrite(1);
    writer_->SetOption20(0);
    writer_->SetOption14(1);
    writer_->SetOption11(0);
    writer_->SetReadBackCheck(check);
    return writer_->WriteDisc() != 0;
}

bool DiscDrive::Erase() {
    return writer_ && writer_->EraseDisc(1);
}

void DiscDrive::Abort() {
    if (writer_)
        writer_->AbortWrite();
}

void DiscDrive::Hold(bool held) {
    if (writer_)
        writer_->SetDriveState(held ? 1 : 0);
}

void DiscDrive::Refresh() {
    if (writer_)
        writer_->RefreshMedia();
}

}  // namespace backup
