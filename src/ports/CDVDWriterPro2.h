#pragma once
// The disc writer as the dialog drives it: drives, media, sizes, the image of the files to
// write, writing, erasing and aborting, and the events that report how it goes. Events reach
// their sink on the user-interface thread.
#include <functional>
#include <string>

#include "platform/Types.h"

namespace integrity {
class ImageFiles;
}

// Media type codes and disc status as the dialog reads them.
constexpr long kMediaNoDisc = 254;
inline bool IsRewritableMedia(long type) {
    return type == 1 || type == 3 || type == 9 || type == 253;
}
inline bool IsDvdMedia(long type) {
    return type == 0 || type == 1 || type == 2 || type == 3 || type == 9 || type == 10;
}
inline bool IsBlankDiscStatus(long status) {
    return status == 0 || status == 3;
}

// Event ids and their arguments: 16 (a, done, total), 17 (a), 18 (a, b, text, text2), 20 (text,
// a, b), 21 (code, text, a), 22 (percent); 1, 5 carry file texts; the rest none.
// The writer's events by their numbers, which the window's texts and the front ends follow.
enum WriterEventId : int {
    kWriterPreparing = 9,
    kWriterWriting = 10,
    kWriterErased = 11,
    kWriterWriteEnded = 12,  // ended without a whole disc (cancelled)
    kWriterWriteCompleted = 13,
    kWriterClosingSession = 14,
    kWriterProgress = 16,  // b of c done
    kWriterLeadOut = 17,
    kWriterVerifying = 20,
    kWriterError = 21,    // a: the error code, text: what went wrong
    kWriterPercent = 22,  // a: the percentage written
};

struct WriterEvent {
    int id = 0;  // a WriterEventId
    long a = 0, b = 0, c = 0;
    std::string text, text2;
};

class IDiscWriterEvents {
  public:
    virtual ~IDiscWriterEvents() = default;
    virtual void OnWriterEvent(const WriterEvent& event) = 0;
};

// Looks at a disc just written, read back through its file system, before the write counts as
// complete: event 13 comes only after it found nothing wrong, else event 21 with
// kReadBackFailed and what it found. Runs on the writer's thread.
class IWrittenDiscCheck {
  public:
    virtual ~IWrittenDiscCheck() = default;
    // "" when the disc holds what was meant to be written; progress(done, total) in bytes.
    virtual std::string Check(integrity::ImageFiles& disc,
                              const std::function<void(long long, long long)>& progress) = 0;
};
// Event 21's code for a disc that was written but does not read back as its image.
constexpr long kReadBackFailed = 1100;

class CDVDWriterPro2 {
  public:
    virtual ~CDVDWriterPro2() = default;
    virtual void SetEventSink(IDiscWriterEvents* sink) = 0;

    virtual void SetVolumeLabel(const std::string& label) = 0;
    virtual void SetOption11(BOOL value) = 0;
    virtual void SetOption12(BOOL value) = 0;
    virtual void SetOption14(long value) = 0;
    virtual void SetOption16(long value) = 0;
    virtual void SetOption19(BOOL value) = 0;
    virtual void SetOption20(BOOL value) = 0;

    virtual long GetDriveCount() = 0;
    virtual std::string GetDriveLetter(long index) = 0;
    virtual std::string GetDriveName(long index) = 0;
    virtual BOOL SelectDrive(long index) = 0;
    virtual BOOL SetDriveState(BOOL state) = 0;
    virtual long GetMediaType() = 0;
    virtual BOOL WriteDisc() = 0;
    virtual BOOL EraseDisc(BOOL quick) = 0;
    virtual BOOL SetWriteSpeed(long kbPerSecond) = 0;
    virtual long GetMaxWriteSpeed() = 0;
    virtual void AbortWrite() = 0;
    virtual BOOL CheckMediaFeature(long code) = 0;
    virtual long GetFreeSize() = 0;
    virtual double SizeToBytes(long size, long kind) = 0;
    virtual long GetDiscStatus() = 0;
    virtual void RefreshMedia() = 0;
    virtual BOOL AddFiles(const std::string& discFolder, const std::string& sourcePattern) = 0;
    virtual BOOL ResetImage(BOOL value) = 0;
    virtual BOOL PrepareWrite(BOOL value) = 0;
    virtual BOOL InitializeWriter(BOOL value) = 0;
    virtual BOOL IsWriterDrive(long index) = 0;
    virtual long GetCapacitySize() = 0;
    virtual long GetUsedSize() = 0;
    // The check of the next writes (null: none); it must outlive them.
    virtual void SetReadBackCheck(IWrittenDiscCheck* check) = 0;
};
