#pragma once
// The link to a remote recorder, as the dialog calls it. Requests return at once; the answers
// arrive later as message 0x2F69 to the window given at connection, with a code in wParam and a
// value or a record in lParam. Records passed in are copied before the call returns; records
// passed back are read at once and not kept by the receiver.
#include <memory>
#include <string>
#include <vector>

struct _BACKUPADDTOTALSIZE;
struct _BACKUPMAKEIMAGE;
namespace platform {
class WriteTap;
}

// What an image fetched over the link lacks because the remote recording lacks it (a damaged
// minute): the image holds the rest of its entry.
struct RemoteImageLacks {
    std::string why;                    // the entry's first problem, in short
    std::vector<std::string> failures;  // each, as the recorder names it, without the entry
};

// The message number the link's answers arrive under.
constexpr unsigned kMsgShareAnswer = 0x2F69;

// The codes of the link's answers (wParam of message 0x2F69).
enum ShareAnswerCode : unsigned long {
    kAnswerIndex = 2,     // record: the index reply of a day, or null when the link failed
    kAnswerAddSize = 3,   // record: the add-size reply, or null when the link failed
    kAnswerDownload = 4,  // no record; size: the slot of the entry whose image is ready
    kAnswerFetched = 5,   // the entry's files are all in the download folder
    kAnswerDeleted = 6,   // the recorder's temporary image is gone (or could not be removed)
    kAnswerEnded = 7,     // record: the reason; the remote backup has ended before its end
    kAnswerStatus = 8,    // record: a progress or problem text
};

// Where the answers go: called with the message number, the code and the value or record.
// Thread: the receiver's own (a front end forwards them to its user-interface thread).
class IShareClientReceiver {
  public:
    virtual ~IShareClientReceiver() = default;
    virtual void PostShareMessage(unsigned message, unsigned long code, const void* record,
                                  unsigned long size) = 0;
};

class CFileShareClient {
  public:
    virtual ~CFileShareClient() = default;
    // True when the link can be used; only then is Connect called. The requests below answer
    // nothing at once: what they come to arrives as answers.
    virtual bool InitSock() = 0;
    virtual void Connect(const std::string& address, int port, IShareClientReceiver* window) = 0;
    // Answer code 2 with the index reply record of the day (8 digits YYYYMMDD).
    virtual void ReqClient_LoadIndexData(const std::string& day) = 0;
    // Answer code 3 with the add-size reply.
    virtual void GetAddTotalSize(const _BACKUPADDTOTALSIZE& request) = 0;
    // Answer codes 4, 8..., 5, 6 for the entry; 7 after the last.
    virtual void ReqSetAddBackupDataPath(const _BACKUPMAKEIMAGE& request) = 0;
    // The folder (ending in "\") the next download lands in.
    virtual void SetDownloadDir(const std::string& folder) = 0;
    // What sees the bytes of the next downloads as they are written (the image's hashing);
    // null for nothing. A download keeps its tap until it has ended.
    virtual void SetWriteTap(std::shared_ptr<platform::WriteTap> tap) = 0;
    virtual void StartDownload() = 0;
    // What the image fetched last lacks (nothing when it is whole). Read with answer code 5,
    // before the next entry is asked for.
    virtual RemoteImageLacks ImageLacks() const = 0;
    virtual void ReqTempDataDelete(const std::string& path) = 0;
    virtual void ReqClient_DownloadCancel() = 0;
};
