#include "integrity/ImageHasher.h"

#include <algorithm>

#include "integrity/Manifest.h"

namespace integrity {
namespace {

// One lane beside the writer, two where the machine has a core for each: hashing costs more
// than the copy it follows.
std::size_t LaneCount() {
    return std::thread::hardware_concurrency() >= 2 ? 2 : 1;
}

}  // namespace

ImageHasher::ImageHasher(std::string rootHost) : root_(std::move(rootHost)) {
    while (!root_.empty() && root_.back() == '/')
        root_.pop_back();
    lanes_.resize(LaneCount());
    for (std::size_t i = 0; i < lanes_.size(); ++i)
        lanes_[i].thread = std::thread([this, i] { Run(i); });
}

ImageHasher::~ImageHasher() {
    Finish();
}

int ImageHasher::Opened(const std::string& finalHostPath) {
    if (finalHostPath.size() <= root_.size() + 1 ||
        finalHostPath.compare(0, root_.size(), root_) != 0 || finalHostPath[root_.size()] != '/')
        return -1;
    std::string relative = finalHostPath.substr(root_.size() + 1);
    if (IsManifestFile(relative))
        return -1;
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_)
        return -1;
    auto file = std::make_unique<Open>();
    file->path = std::move(relative);
    // The lane with the least to do; its size is not known yet.
    for (std::size_t i = 1; i < lanes_.size(); ++i)
        if (lanes_[i].queued < lanes_[file->lane].queued)
            file->lane = i;
    if (!reusable_.empty()) {
        const int handle = reusable_.back();
        reusable_.pop_back();
        open_[static_cast<std::size_t>(handle)] = std::move(file);
        return handle;
    }
    open_.push_back(std::move(file));
    return static_cast<int>(open_.size() - 1);
}

char* ImageHasher::TakeBuffer() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (free_.empty() && owned_.size() < kBuffers) {
        owned_.push_back(std::make_unique<char[]>(kBufferBytes));
        return owned_.back().get();
    }
    changed_.wait(lock, [this] { return !free_.empty(); });
    char* buffer = free_.back();
    free_.pop_back();
    return buffer;
}

// Under the lock.
void ImageHasher::Queue(Job job, long long bytes) {
    Lane& lane = lanes_[open_[static_cast<std::size_t>(job.handle)]->lane];
    lane.queued += bytes;
    lane.jobs.push_back(std::move(job));
    changed_.notify_all();
}

void ImageHasher::Hand(int handle, char* buffer, std::size_t count) {
    Job job;
    job.handle = handle;
    job.buffer = buffer;
    job.count = count;
    std::lock_guard<std::mutex> lock(mutex_);
    Queue(std::move(job), static_cast<long long>(count));
}

void ImageHasher::Closed(int handle, bool committed, long long length, platform::FileId id) {
    ClosedHashed(handle, committed, length, id, -1, std::string());
}

void ImageHasher::ClosedHashed(int handle, bool committed, long long length, platform::FileId id,
                               long long hashed, const std::string& sha256Hex) {
    Job job;
    job.handle = handle;
    job.committed = committed;
    job.length = length;
    job.id = id;
    job.hashed = hashed;
    job.writerHex = sha256Hex;
    std::lock_guard<std::mutex> lock(mutex_);
    job.turn = ++turns_;
    Queue(std::move(job), 0);
}

void ImageHasher::Withdrawn(const std::string& finalHostPath) {
    if (finalHostPath.compare(0, root_.size() + 1, root_ + "/") != 0)
        return;
    const std::string path = finalHostPath.substr(root_.size() + 1);
    std::lock_guard<std::mutex> lock(mutex_);
    const std::uint64_t turn = ++turns_;
    withdrawnAt_[path] = turn;
    if (const auto at = committedAt_.find(path); at != committedAt_.end() && at->second < turn) {
        result_.files.erase(path);
        result_.leftOut.erase(path);
    }
}

void ImageHasher::Run(std::size_t index) {
    Lane& lane = lanes_[index];
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || !lane.jobs.empty(); });
        if (lane.jobs.empty())
            return;
        Job job = std::move(lane.jobs.front());
        lane.jobs.pop_front();
        Open* file = open_[static_cast<std::size_t>(job.handle)].get();
        // Hashing is the long part: the writers go on meanwhile.
        if (job.buffer) {
            lock.unlock();
            file->hash.Update(job.buffer, job.count);
            file->bytes += static_cast<long long>(job.count);
            lock.lock();
            free_.push_back(job.buffer);
            lane.queued -= static_cast<long long>(job.count);
            changed_.notify_all();
            continue;
        }
        Take(job);
        open_[static_cast<std::size_t>(job.handle)].reset();
        reusable_.push_back(job.handle);
    }
}

// Under the lock.
void ImageHasher::Take(const Job& job) {
    Open& file = *open_[static_cast<std::size_t>(job.handle)];
    if (!job.committed)
        return;
    const bool byWriter = job.hashed >= 0;
    const long long seen = byWriter ? job.hashed : file.bytes;
    std::string problem;
    if (byWriter && (file.bytes > 0 || job.writerHex.size() != 64))
        // Part of it was handed over, or the writer has no digest: no one digest covers it.
        problem = file.path + " was hashed partly by its writer";
    else if (job.length != seen)
        // Its bytes went into the file by another way than the tap: its hash would be wrong.
        problem = file.path + " was written without being hashed (" + std::to_string(seen) +
                  " of " + std::to_string(job.length) + " bytes seen)";
    if (!problem.empty())
        result_.problems.push_back(problem);
    // A later commit of the name was taken in already: it counts.
    std::uint64_t& committed = committedAt_[file.path];
    if (committed > job.turn)
        return;
    committed = job.turn;
    const auto withdrawn = withdrawnAt_.find(file.path);
    result_.leftOut.erase(file.path);
    if (withdrawn != withdrawnAt_.end() && withdrawn->second > job.turn) {
        result_.files.erase(file.path);
    } else if (!problem.empty()) {
        result_.files.erase(file.path);
        result_.leftOut[file.path] = problem;
    } else {
        result_.files[file.path] = {byWriter ? job.writerHex : file.hash.HexFinal(), seen, job.id};
    }
}

ImageHasher::Result ImageHasher::Finish() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    for (Lane& lane : lanes_)
        if (lane.thread.joinable())
            lane.thread.join();
    std::lock_guard<std::mutex> lock(mutex_);
    return result_;
}

}  // namespace integrity
