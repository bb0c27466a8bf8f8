#pragma once
// A disc writer the test sets up: drives, the disc in them (media type, status, sizes in blocks
// of 2048 bytes), and a record of what the dialog asked of it.
#include <string>
#include <vector>

#include "ports/CDVDWriterPro2.h"

class FakeDiscWriter : public CDVDWriterPro2 {
  public:
    struct Drive {
        std::string letter, name;
        bool writer = true;
        bool selectable = true;
    };
    std::vector<Drive> drives{{"D", "Test DVD writer"}};
    long mediaType = 3, discStatus = 0, maxSpeed = 16 * 1380;
    double capacityMB = 700, freeMB = 700;
    bool initOk = true, writeOk = true, eraseOk = true;
    std::vector<long> features{7};
    std::vector<std::string> calls;  // what was asked, in order
    long selected = -1;
    IDiscWriterEvents* sink = nullptr;

    static long Blocks(double mb) { return static_cast<long>(mb * 1048576.0 / 2048.0); }
    BOOL Call(const std::string& what, BOOL result = 1) {
        calls.push_back(what);
        return result;
    }

    void SetEventSink(IDiscWriterEvents* s) override { sink = s; }
    void SetVolumeLabel(const std::string& label) override { calls.push_back("label " + label); }
    void SetOption11(BOOL v) override { calls.push_back("11=" + std::to_string(v)); }
    void SetOption12(BOOL v) override { calls.push_back("12=" + std::to_string(v)); }
    void SetOption14(long v) override { calls.push_back("14=" + std::to_string(v)); }
    void SetOption16(long v) override { calls.push_back("16=" + std::to_string(v)); }
    void SetOption19(BOOL v) override { calls.push_back("19=" + std::to_string(v)); }
    void SetOption20(BOOL v) override { calls.push_back("20=" + std::to_string(v)); }
    long GetDriveCount() override { return static_cast<long>(drives.size()); }
    std::string GetDriveLetter(long i) override {
        return drives[static_cast<std::size_t>(i)].letter;
    }
    std::string GetDriveName(long i) override { return drives[static_cast<std::size_t>(i)].name; }
    BOOL SelectDrive(long i) override {
        calls.push_back("select " + std::to_string(i));
        if (!drives[static_cast<std::size_t>(i)].selectable)
            return 0;
        selected = i;
        return 1;
    }
    BOOL SetDriveState(BOOL v) override { return Call("drive state " + std::to_string(v)); }
    long GetMediaType() override { return mediaType; }
    BOOL WriteDisc() override { return Call("write", writeOk); }
    BOOL EraseDisc(BOOL) override { return Call("erase", eraseOk); }
    BOOL SetWriteSpeed(long kb) override { return Call("speed " + std::to_string(kb)); }
    long GetMaxWriteSpeed() override { return maxSpeed; }
    void AbortWrite() override { calls.push_back("abort"); }
    BOOL CheckMediaFeature(long code) override {
        for (long f : features)
            if (f == code)
                return 1;
        return 2;
    }
    long GetFreeSize() override { return Blocks(freeMB); }
    double SizeToBytes(long size, long) override { return size * 2048.0; }
    long GetDiscStatus() override { return discStatus; }
    void RefreshMedia() override { calls.push_back("refresh"); }
    BOOL AddFiles(const std::string& folder, const std::string& pattern) override {
        return Call("add " + folder + " " + pattern);
    }
    BOOL ResetImage(BOOL) override { return Call("reset image"); }
    BOOL PrepareWrite(BOOL) override { return Call("prepare"); }
    BOOL InitializeWriter(BOOL) override { return initOk; }
    BOOL IsWriterDrive(long i) override {
        return drives[static_cast<std::size_t>(i)].writer ? 1 : 0;
    }
    long GetCapacitySize() override { return Blocks(capacityMB); }
    long GetUsedSize() override { return Blocks(capacityMB - freeMB); }
    void SetReadBackCheck(IWrittenDiscCheck* check) override { readBackCheck = check; }
    IWrittenDiscCheck* readBackCheck = nullptr;
};
