#include "share/HttpShareClient.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "integrity/Sha256.h"
#include "platform/File.h"
#include "platform/WriteTap.h"
#include "records/RemoteRecords.h"
#include "share/DownloadFolder.h"
#include "share/DownloadLanes.h"
#include "share/FileDownload.h"
#include "share/LinkClock.h"
#include "share/ShareLink.h"
#include "share/ShareProtocol.h"

namespace share {
namespace {

// The answer to a request whose reply is one record: the record, or why there is none (what
// names the request, record the reply).
template <class Answer, class Record>
Answer RecordAnswer(const ShareLink::Reply& got, const char* record, const char* what,
                    std::optional<Record> Answer::*field) {
    Answer answer;
    answer.why =
        got.ok() ? RecordSizeProblem(record, got.body.size(), sizeof(Record)) : got.Problem(what);
    if (answer.why.empty()) {
        (answer.*field).emplace();
        std::memcpy(&*(answer.*field), got.body.data(), sizeof(Record));
    }
    return answer;
}

constexpr int kPollMs = 200;
// While the client waits for the image's first files, and for more while it has fetched all
// that are listed: short, as the build goes on meanwhile and a poll costs little.
constexpr int kFirstFilesPollMs = 20;
constexpr int kFilesPollMs = 20;
// Files fetched side by side.
constexpr int kLanes = 2;
constexpr auto kProgressEvery = std::chrono::milliseconds(250);
// Status polls that may fail in a row before the build is given up.
constexpr int kPollRetries = 5;

std::uint32_t Clamp32(long long v) {
    return static_cast<std::uint32_t>(std::clamp<long long>(v, 0, 0xFFFFFFFFLL));
}

std::string Shown(std::string name) {
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

}  // namespace

HttpShareClient::HttpShareClient(std::string token, TlsTrust tls, std::string clientId)
    : token_(std::move(token)), tls_(std::move(tls)), clientId_(std::move(clientId)) {
    worker_ = std::thread([this] { Run(); });
}

HttpShareClient::~HttpShareClient() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
        queue_.clear();
    }
    cancel_ = true;
    wake_.notify_all();
    worker_.join();
}

void HttpShareClient::Connect(const std::string& address, int port) {
    std::lock_guard<std::mutex> lock(mutex_);
    address_ = address;
    port_ = port;
}

backup::ClockMeasure HttpShareClient::MeasureClock() {
    std::string address;
    int port = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        address = address_;
        port = port_;
    }
    ShareLink link(address, port, token_, tls_);
    return MeasureLinkClock(link);
}

void HttpShareClient::Enqueue(std::function<void(ShareLink&)> run) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(run));
    }
    wake_.notify_all();
}

void HttpShareClient::Run() {
    for (;;) {
        std::function<void(ShareLink&)> task;
        std::string address;
        int port = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            running_ = false;
            wake_.wait(lock, [&] { return quit_ || !queue_.empty(); });
            if (quit_)
                return;
            task = std::move(queue_.front());
            queue_.pop_front();
            running_ = true;
            address = address_;
            port = port_;
        }
        ShareLink link(address, port, token_, tls_);
        task(link);
    }
}

void HttpShareClient::ForgetReplies() {
    std::lock_guard<std::mutex> replying(replyMutex_);
    ++epoch_;
}

template <class Answer>
void HttpShareClient::Reply(std::uint64_t epoch, const std::function<void(const Answer&)>& reply,
                            const Answer& answer) {
    std::lock_guard<std::mutex> replying(replyMutex_);
    if (epoch == epoch_ && reply)
        reply(answer);
}

void HttpShareClient::DayIndex(const std::string& day,
                               std::function<void(const backup::DayIndexAnswer&)> reply) {
    std::uint64_t epoch;
    {
        std::lock_guard<std::mutex> replying(replyMutex_);
        epoch = epoch_;
    }
    Enqueue([this, day, epoch, reply = std::move(reply)](ShareLink& link) {
        DoIndex(link, day,
                [this, epoch, &reply](const backup::DayIndexAnswer& a) { Reply(epoch, reply, a); });
    });
}

void HttpShareClient::EntrySize(const _BACKUPADDTOTALSIZE& request,
                                std::function<void(const backup::EntrySizeAnswer&)> reply) {
    std::uint64_t epoch;
    {
        std::lock_guard<std::mutex> replying(replyMutex_);
        epoch = epoch_;
    }
    Enqueue([this, request, epoch, reply = std::move(reply)](ShareLink& link) {
        DoAddSize(link, request, [this, epoch, &reply](const backup::EntrySizeAnswer& a) {
            Reply(epoch, reply, a);
        });
    });
}

backup::FetchResult HttpShareClient::FetchEntry(const backup::FetchRequest& request,
                                                backup::IFetchEvents& events) {
    cancel_ = false;
    request.cancel->OnCancel([this] {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            cancel_ = true;
        }
        wake_.notify_all();
    });
    auto done = std::make_shared<std::promise<backup::FetchResult>>();
    std::future<backup::FetchResult> result = done->get_future();
    Enqueue([this, &request, &events, done](ShareLink& link) {
        events_ = &events;
        done->set_value(DoFetch(link, request));
        events_ = nullptr;
    });
    backup::FetchResult fetched;
    try {
        fetched = result.get();
    } catch (const std::future_error&) {
        fetched.why = "the link to the recorder was closed";
    }
    request.cancel->OnCancel(nullptr);
    cancel_ = false;
    return fetched;
}

backup::FetchResult HttpShareClient::DoFetch(ShareLink& link, const backup::FetchRequest& request) {
    why_.clear();
    backup::FetchResult result;
    bool fetched = DoImage(link, request.image);
    if (fetched) {
        // The image's hashing sees what the download writes, also on its lanes.
        platform::ScopedWriteTap scope(request.tap.get());
        fetched = DoDownload(link, request);
    }
    fetched = fetched && DoDelete(link, request.tempData);
    if (cancel_) {
        // Whatever the chain came to, the server drops what it holds of it.
        DropServerImage(link);
        NoteError(kCancelled);
        result.why = kCancelled;
        return result;
    }
    if (!fetched) {
        result.why = why_;
        return result;
    }
    result.fetched = true;
    std::lock_guard<std::mutex> lock(mutex_);
    result.lacks = lacks_;
    return result;
}

bool HttpShareClient::Busy() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return running_ || !queue_.empty();
}

std::string HttpShareClient::LastError() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastError_;
}

void HttpShareClient::NoteError(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    lastError_ = text;
}

void HttpShareClient::Status(const std::string& text) {
    if (events_)
        events_->Status(text);
}

void HttpShareClient::Nap(int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return quit_ || cancel_.load(); });
}

void HttpShareClient::DoIndex(ShareLink& link, const std::string& day,
                              const std::function<void(const backup::DayIndexAnswer&)>& reply) {
    const backup::DayIndexAnswer answer =
        RecordAnswer(link.Post(kRouteIndex, day, sizeof(_INDEXREPLY)), "an index reply",
                     "the day's index", &backup::DayIndexAnswer::index);
    NoteError(answer.why);
    reply(answer);
}

void HttpShareClient::DoAddSize(ShareLink& link, const _BACKUPADDTOTALSIZE& request,
                                const std::function<void(const backup::EntrySizeAnswer&)>& reply) {
    const backup::EntrySizeAnswer answer = RecordAnswer(
        link.Post(kRouteSize, std::string(reinterpret_cast<const char*>(&request), sizeof request),
                  sizeof(_ADDSIZEREPLY)),
        "an add-size reply", "the entry's size", &backup::EntrySizeAnswer::size);
    NoteError(answer.why);
    reply(answer);
}

bool HttpShareClient::DoImage(ShareLink& link, const _BACKUPMAKEIMAGE& request) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lacks_ = {};
    }
    jobId_ = 0;
    entry_.clear();
    ForgetList();
    building_ = false;
    const std::string route =
        std::string(kRouteImage) + (clientId_.empty() ? "" : "?client=" + clientId_);
    const auto started =
        link.Post(route, std::string(reinterpret_cast<const char*>(&request), sizeof request), 64);
    if (!started.ok())
        return FailChain(link, started.Problem("the image request"));
    const auto id = ParseJobId(started.body);
    if (!id)
        return FailChain(link, "the server answered the image request with no job id");
    jobId_ = *id;
    lastProgress_.clear();
    progressSince_ = std::chrono::steady_clock::now();
    std::string shown;
    for (;;) {
        std::string why;
        auto status = PollStatus(link, &why);
        if (!status)
            return cancel_ ? false : FailChain(link, why);
        if (const std::string problem = TakeStatus(*status); !problem.empty())
            return FailChain(link, problem);
        if (const std::string problem = StallProblem(*status); !problem.empty())
            return FailChain(link, problem);
        if (!building_ || (!listed_.empty() && !entry_.empty())) {
            NoteError("");
            return true;
        }
        // While the server builds, its progress goes out as progress events (in KB), not as
        // status texts.
        const std::string text = status->item + " " + std::to_string(status->doneKB);
        if (!status->item.empty() && text != shown) {
            shown = text;
            Progress(status->item, status->totalKB, status->doneKB);
        }
        Nap(kFirstFilesPollMs);
    }
}

std::optional<JobStatus> HttpShareClient::PollStatus(ShareLink& link, std::string* why) {
    // Only what changed after the part of the list the client has.
    const std::string path = std::string(kRouteImage) + "/" + std::to_string(jobId_) +
                             "?since=" + std::to_string(listNumber_);
    for (int failures = 0;;) {
        if (cancel_) {
            why->clear();
            return std::nullopt;
        }
        const auto reply = link.Get(path, kMaxStatusBytes);
        if (!reply.linkError.empty() && ++failures <= kPollRetries) {
            Nap(kPollMs << failures);
            continue;
        }
        if (!reply.ok()) {
            *why = reply.Problem("the image's progress");
            return std::nullopt;
        }
        return ParseJobStatus(reply.body, why);
    }
}

namespace {

// The SHA-256 of a file in the download folder as it is now; "" when it cannot be read.
std::string HostFileSha256(const std::string& hostPath) {
    platform::File file;
    if (!file.OpenResolved(hostPath, platform::File::Mode::kRead))
        return std::string();
    integrity::Sha256 hash;
    std::vector<char> buffer(std::size_t{1} << 20);
    for (std::uint64_t at = 0;;) {
        const long long n = file.ReadAt(buffer.data(), buffer.size(), at);
        if (n < 0)
            return std::string();
        if (n == 0)
            return hash.HexFinal();
        hash.Update(buffer.data(), static_cast<std::size_t>(n));
        at += static_cast<std::uint64_t>(n);
    }
}

}  // namespace

std::string HttpShareClient::TakeStatus(JobStatus& status) {
    switch (status.state) {
        case JobState::kBuilding:
        case JobState::kDone:
            building_ = status.state == JobState::kBuilding;
            // An image keeps its entry; the download's lanes read it meanwhile.
            if (entry_.empty())
                entry_ = status.entry;
            if (status.list && status.from != 0 && status.from != listNumber_)
                return "bad image status from the server: it lists the changes after " +
                       std::to_string(status.from) + ", not after " + std::to_string(listNumber_);
            if (!status.list || status.from == 0) {
                // The whole list (also from a server that keeps no numbers): a file not in it
                // any more is no part of the image.
                std::set<std::string> now;
                for (const ListedFile& f : status.files)
                    now.insert(f.name);
                std::erase_if(listed_, [&](const auto& l) { return !now.count(l.first); });
            }
            for (const std::string& name : status.gone)
                listed_.erase(name);
            for (ListedFile& f : status.files) {
                auto [at, added] = listed_.try_emplace(f.name, f);
                if (!added && at->second.size == f.size && at->second.sha256 == f.sha256)
                    continue;
                at->second = f;
                fresh_.push_back(std::move(f));
            }
            listNumber_ = status.list.value_or(0);
            if (status.state == JobState::kDone) {
                std::lock_guard<std::mutex> lock(mutex_);
                lacks_ = {status.incomplete, status.lacks};
            }
            return std::string();
        case JobState::kFailed:
            return "the server could not make the image: " +
                   (status.problem.empty() ? std::string("no reason given") : status.problem);
        case JobState::kCancelled:
            return "the server cancelled the image";
    }
    return "the server's image is in no known state";
}

std::string HttpShareClient::StallProblem(const JobStatus& status) {
    if (!building_)
        return std::string();
    const auto now = std::chrono::steady_clock::now();
    const std::string progress = status.item + " " + std::to_string(status.doneKB) + " " +
                                 std::to_string(status.totalKB) + " " +
                                 std::to_string(listNumber_) + " " + std::to_string(listed_.size());
    if (progress != lastProgress_) {
        lastProgress_ = progress;
        progressSince_ = now;
        return std::string();
    }
    const long long limit = buildStall_;
    if (now - progressSince_ < std::chrono::seconds(limit))
        return std::string();
    const std::string span =
        limit % 60 == 0 ? std::to_string(limit / 60) + " min" : std::to_string(limit) + " s";
    return "the recorder has been building the image for " + span +
           " without progress; it is given up";
}

void HttpShareClient::ForgetList() {
    listed_.clear();
    fresh_.clear();
    listNumber_ = 0;
}

void HttpShareClient::Progress(const std::string& name, long long total, long long done) {
    if (events_)
        events_->Progress(name, Clamp32(total), Clamp32(done));
}

bool HttpShareClient::DoDownload(ShareLink& link, const backup::FetchRequest& request) {
    if (cancel_)
        return false;
    if (entry_.empty())
        return FailChain(link, "there is no image to download");
    // The folder may have been changed since the core made it: it says whether it may be
    // written before anything is.
    if (request.prepareFolder)
        if (const platform::Outcome may = request.prepareFolder(); !may)
            return FailChain(link, may.error().Said());
    if (events_)
        events_->DownloadBegins(request.image.nSlot);
    const std::string& folder = request.folder;
    const std::string root = folder.empty() || folder.back() == '\\' ? folder : folder + "\\";
    std::string problem;
    // What is in the folder (or on its way), as it was listed when it was asked for, and the
    // names asked for more than once (two lanes may then have fetched them side by side).
    std::map<std::string, std::pair<long long, std::string>> fetched;
    std::set<std::string> refetched;
    // Names listed while the server built the image, and those of them the server did not have
    // as listed when they were fetched: the list may have changed meanwhile (a file written
    // again or withdrawn). The finished list tells whether such a file is needed after all.
    std::mutex unsureMutex;
    std::set<std::string> provisional, unsure;
    {
        DownloadLanes lanes(
            kLanes, link, platform::CurrentWriteTap(),
            [&](ShareLink& own, const ListedFile& file, std::size_t number, std::size_t count) {
                bool notAsListed = false;
                std::string why = FetchOne(own, root, file, number, count, &notAsListed);
                std::lock_guard<std::mutex> lock(unsureMutex);
                if (!why.empty() && notAsListed && provisional.count(file.name)) {
                    unsure.insert(file.name);
                    why.clear();
                }
                return why;
            });
        for (;;) {
            // What is newly listed; while the server builds, the list grows.
            const bool last = !building_;
            for (const ListedFile& file : fresh_) {
                const auto asked = std::make_pair(file.size, file.sha256);
                auto [at, added] = fetched.try_emplace(file.name, asked);
                if (!added && at->second == asked)
                    continue;  // back as it was asked for
                if (!added)
                    refetched.insert(file.name);
                at->second = asked;
                if (building_) {
                    std::lock_guard<std::mutex> lock(unsureMutex);
                    provisional.insert(file.name);
                }
                lanes.Add(file, fetched.size(), std::max(listed_.size(), fetched.size()));
            }
            fresh_.clear();
            if (last || !(problem = lanes.Problem()).empty())
                break;
            const std::size_t listed = listed_.size();
            auto status = PollStatus(link, &problem);
            if (!status || !(problem = TakeStatus(*status)).empty() ||
                !(problem = StallProblem(*status)).empty())
                break;
            if (building_ && fresh_.empty() && listed_.size() == listed)
                Nap(kFilesPollMs);
        }
        // Once the server cannot be followed any more, what is queued is not fetched: the
        // entry ends now, with the link's reason.
        // The operator learns why at once: a file being fetched may take a while yet.
        const std::string lost =
            problem.empty() ? lanes.Wait() : lanes.Abandon([&] { Status(problem); });
        if (problem.empty())
            problem = lost;
    }
    if (cancel_)
        return false;
    if (!problem.empty())
        return FailChain(link, problem);
    // A name fetched twice may have been saved last by the older fetch, and one the server did
    // not have as listed while it built may be needed after all: what is in the folder must be
    // what the finished list says, or it is fetched once more, alone.
    for (const auto& [name, file] : listed_) {
        if (!refetched.count(name) && !unsure.count(name))
            continue;
        std::string why;
        const std::string host = PrepareDownloadPath(root, name, &why);
        if (host.empty())
            return FailChain(link, why);
        if (HostFileSha256(host) == file.sha256)
            continue;
        if (const std::string again = FetchOne(link, root, file, listed_.size(), listed_.size());
            !again.empty())
            return FailChain(link, again);
    }
    // A file fetched early that the finished image no longer holds (withdrawn, or not listed
    // again) is taken out again, and out of the image's hashing.
    for (const auto& [name, asked] : fetched) {
        if (listed_.count(name))
            continue;
        std::string why;
        const std::string host = PrepareDownloadPath(root, name, &why);
        long long length = 0;
        platform::FileId id;
        if (host.empty() || !platform::StatFile(host, length, id))
            continue;  // its fetch did not end well: nothing of it is in the folder
        if (!platform::WithdrawWrittenFile(root + Shown(name)))
            return FailChain(link, name + " is no part of the image and cannot be removed");
    }
    NoteError("");
    if (events_)
        events_->Downloaded();
    return true;
}

std::string HttpShareClient::FetchOne(ShareLink& link, const std::string& root,
                                      const ListedFile& file, std::size_t number, std::size_t count,
                                      bool* notAsListed) {
    std::string why;
    const std::string host = PrepareDownloadPath(root, file.name, &why);
    if (host.empty())
        return why;
    const std::string shown = Shown(file.name);
    Status(shown + " " + std::to_string(number) + "/" + std::to_string(count));
    Progress(shown, file.size, 0);
    auto last = std::chrono::steady_clock::now();
    const std::string problem = DownloadFile(
        link, entry_, file, host, cancel_,
        [&](long long held) {
            const auto now = std::chrono::steady_clock::now();
            if (now - last >= kProgressEvery) {
                last = now;
                Progress(shown, file.size, held);
            }
        },
        notAsListed);
    if (problem.empty())
        Progress(shown, file.size, file.size);
    return problem;
}

bool HttpShareClient::DoDelete(ShareLink& link, const std::string& path) {
    if (cancel_)
        return false;
    const auto reply = link.Post(kRouteDelete, path, 4096);
    if (!reply.linkError.empty())
        return FailChain(link, reply.Problem("removing the server's temporary image"));
    jobId_ = 0;
    entry_.clear();
    ForgetList();
    if (!reply.ok()) {
        // The entry is safely here; a leftover on the server does not end the backup.
        const std::string problem = reply.Problem("removing the server's temporary image");
        NoteError(problem);
        Status(problem);
    }
    return true;
}

bool HttpShareClient::FailChain(ShareLink& link, const std::string& reason) {
    DropServerImage(link);
    NoteError(reason);
    why_ = reason;
    return false;
}

void HttpShareClient::DropServerImage(ShareLink& link) {
    if (jobId_ != 0) {
        // Best effort: a server that cannot be reached keeps its image until it is asked again.
        link.Post(std::string(kRouteImage) + "/" + std::to_string(jobId_) + "/cancel", "", 4096);
    }
    jobId_ = 0;
    entry_.clear();
    ForgetList();
}

}  // namespace share
