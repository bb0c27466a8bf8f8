#pragma once
// A file written under a temporary name beside its final one and renamed over it when whole, so
// that nobody ever finds a short file under the final name: not a reader while it is written,
// not the next run after a crash. Dropped without Commit, the temporary file is removed.
#include <string>

#include "platform/File.h"
#include "platform/Status.h"
#include "platform/WriteTap.h"

namespace platform {

class AtomicFile {
  public:
    // Temporary names end in this, so that what a killed run left can be found and removed.
    static constexpr const char* kTempSuffix = ".quillon-part";

    AtomicFile() = default;
    ~AtomicFile() { Abandon(); }
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates a new temporary file in the folder of finalPath (a drive or host path); failed
    // when the folder cannot take it.
    Status Create(const std::string& finalPath);
    // The file for what writes into it by its own means (a database, a length). Bytes written
    // through it directly are not seen by this thread's write tap: use Write and CopyFrom.
    File& file() { return file_; }
    // Writes all bytes at the file's position; failed on any error (a full disk among them).
    Status Write(const void* bytes, std::size_t count);
    // From now until the next Create, the writer hashes what it writes through Write itself and
    // gives the digest to Commit: this thread's tap takes it instead of the bytes.
    void WriterHashes() { writerHashes_ = true; }
    // Copies the rest of in to this file, by the fastest means the system has for the pair when
    // no tap looks at it, else through the tap's buffers (see File::CopyAllTo); copied, when
    // given, gets the bytes copied.
    Status CopyFrom(File& in, long long* copied = nullptr);
    // Host paths of the temporary file and of the final name.
    const std::string& tempHostPath() const { return temp_; }
    const std::string& finalHostPath() const { return final_; }
    // Closes the file and renames it over the final name (a link there is replaced, never
    // followed). durable: the data and the folder entry reach the device first, for files
    // that must survive a power cut. Failed when it could not.
    Status Commit(bool durable = false);
    // Commit of a file whose writer hashes it: sha256Hex is the digest of every byte given to
    // Write since Create.
    Status CommitHashed(const std::string& sha256Hex, bool durable = false);
    // Removes the temporary file.
    void Abandon();

  private:
    void CloseTap(bool committed, long long length, FileId id = FileId{},
                  const std::string* sha256Hex = nullptr);

    File file_;
    std::string temp_, final_;
    WriteTap* tap_ = nullptr;
    int tapHandle_ = -1;
    bool writerHashes_ = false;
    long long written_ = 0;  // through Write since Create
};

// Writes bytes as the whole content of path through a temporary file.
bool WriteFileAtomically(const std::string& path, const void* bytes, std::size_t count,
                         bool durable = false);
// The same with a string's bytes (a name of its own: a literal would take the one above).
inline bool WriteTextAtomically(const std::string& path, const std::string& bytes,
                                bool durable = false) {
    return WriteFileAtomically(path, bytes.data(), bytes.size(), durable);
}

// Removes the temporary files a killed run left in a folder; the number removed.
int RemoveLeftoverTempFiles(const std::string& folder);
// Removes only the temporary files a killed writer of path left beside it; the number removed.
// For a file whose writers take turns under a lock held by the caller, in a folder where others
// may be writing files of their own.
int RemoveLeftoverTempFilesOf(const std::string& path);

}  // namespace platform
