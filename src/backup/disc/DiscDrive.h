#pragma once
// The disc writer as the core works with it: its writer drives, the medium in the chosen one, and
// what is done to it (an image written, the disc erased, the write stopped), with its events read
// as what they say. The device's own calls, their options and their order live here alone; the
// rest of the core never calls the device.
#include <memory>
#include <string>
#include <vector>

#include "ports/CDVDWriterPro2.h"

namespace backup {

struct WriterDrive {
    long index = 0;  // the device's number for it
    std::string letter, name;
};

// The disc in the chosen drive, in the figures the window shows (megabytes).
struct DiscMedium {
    bool present = false;
    bool rewritable = false;
    bool blank = false;
    long type = kMediaNoDisc;  // the write speeds' steps differ for CD and DVD
    double capacityMB = 0, freeMB = 0, usedMB = 0;
    long maxWriteSpeed = 0;  // kB/s
};

// A writer's event by what it says.
struct DiscEvent {
    enum class Kind {
        kPreparing,
        kWriting,
        kClosingSession,
        kLeadOut,
        kVerifying,
        kPercent,     // percent written
        kProgress,    // done of total (percent when total is not 0)
        kWriteEnded,  // ended without a whole disc (stopped)
        kWritten,     // whole, and read back as its image
        kFailed,      // code and detail say what went wrong
        kErased,
        kOther,  // nothing the operator is shown
    };
    Kind kind = Kind::kOther;
    int percent = 0;
    long done = 0, total = 0;
    long code = 0;
    std::string detail;
};
DiscEvent ReadWriterEvent(const WriterEvent& event);

class DiscDrive {
  public:
    explicit DiscDrive(CDVDWriterPro2* writer) : writer_(writer) {}
    // Whether this front end has a writer at all.
    explicit operator bool() const { return writer_ != nullptr; }

    // The writer ready for use (its drives can be listed then); false when it cannot start.
    bool Start();
    // Its writer drives, in the device's order.
    std::vector<WriterDrive> Drives();
    bool Select(long index);
    DiscMedium Medium();
    // Whether the disc in the drive can be erased (it offers one of the erase features).
    bool Erasable();

    // The next image begins empty; the disc image folder's files are its files.
    bool NewImage();
    void AddImageFolder(const std::string& folder);
    void SetSpeed(long kbPerSecond);
    // Writes the image with the backup's options, checked by check once written (it must
    // outlive the write); false when the write did not start. Its end comes as an event.
    bool Write(IWrittenDiscCheck* check);
    // A quick erase; false when it did not start. Its end comes as an event.
    bool Erase();
    void Abort();
    // The drive held for the program, or let go while a box is up.
    void Hold(bool held);
    // The medium read afresh after an erase.
    void Refresh();

  private:
    CDVDWriterPro2* writer_;
};

}  // namespace backup
