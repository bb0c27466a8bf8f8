#include "disclosure/FileStreams.h"

#include "platform/FileSystem.h"

namespace disclosure {

using platform::Error;

platform::Outcome FileSource::Open(const std::string& hostPath) {
    path_ = hostPath;
    if (!file_.OpenResolved(hostPath, platform::File::kReadNoLink))
        return Error{platform::FileExists(hostPath) ? Error::Kind::kFailed : Error::Kind::kNotFound,
                     "cannot be opened", hostPath};
    return platform::Succeeded();
}

platform::Expected<std::size_t> FileSource::Read(void* buffer, std::size_t count) {
    const long long n = file_.Read(buffer, count);
    if (n < 0)
        return Error{Error::Kind::kFailed, "cannot be read", path_};
    return static_cast<std::size_t>(n);
}

platform::Outcome AtomicFileSink::Create(const std::string& finalPath) {
    path_ = finalPath;
    if (!file_.Create(finalPath))
        return Error{Error::Kind::kFailed, "cannot be made", finalPath};
    return platform::Succeeded();
}

platform::Outcome AtomicFileSink::Write(const void* bytes, std::size_t count) {
    if (!file_.Write(bytes, count))
        return Error{Error::Kind::kFailed, "cannot be written (is the disk full?)", path_};
    hash_.Update(bytes, count);
    written_ += static_cast<long long>(count);
    return platform::Succeeded();
}

platform::Outcome AtomicFileSink::Commit() {
    // A medium sent away must hold the whole file when the command says it is written.
    if (!file_.Commit(true))
        return Error{Error::Kind::kFailed, "cannot be stored (is the disk full?)", path_};
    digest_ = hash_.HexFinal();
    return platform::Succeeded();
}

}  // namespace disclosure
