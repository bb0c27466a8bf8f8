#include "integrity/ImageHasher.h"

#include "integrity/Manifest.h"

namespace integrity {

ImageHasher::ImageHasher(std::string rootHost) : root_(std::move(rootHost)) {
    while (!root_.empty() && root_.back() == '/')
        root_.pop_back();
    thread_ = std::thread([this] { Run(); });
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

void ImageHasher::Hand(int handle, char* buffer, std::size_t count) {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back({handle, buffer, count, false, 0, {}, {}});
    changed_.notify_all();
}

void ImageHasher::Closed(int handle, bool committed, long long length, platform::FileId id) {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back({handle, nullptr, 0, committed, length, id, {}});
    changed_.notify_all();
}

void ImageHasher::Withdrawn(const std::string& finalHostPath) {
    if (finalHostPath.compare(0, root_.size() + 1, root_ + "/") != 0)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back({-1, nullptr, 0, false, 0, {}, finalHostPath.substr(root_.size() + 1)});
    changed_.notify_all();
}

void ImageHasher::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty())
            return;
        const Job job = jobs_.front();
        jobs_.pop_front();
        if (job.handle < 0) {
            // After the close of the file it names: jobs are taken in order.
            result_.files.erase(job.withdrawn);
            continue;
        }
        Open* file = open_[static_cast<std::size_t>(job.handle)].get();
        if (job.buffer) {
            // Hashing is the long part: the writers go on meanwhile.
            lock.unlock();
            file->hash.Update(job.buffer, job.count);
            file->bytes += static_cast<long long>(job.count);
            lock.lock();
            free_.push_back(job.buffer);
            changed_.notify_all();
            continue;
        }
        Take(job);
        open_[static_cast<std::size_t>(job.handle)].reset();
        reusable_.push_back(job.handle);
    }
}

void ImageHasher::Take(const Job& job) {
    Open& file = *open_[static_cast<std::size_t>(job.handle)];
    if (!job.committed)
        return;
    if (job.length != file.bytes) {
        // Its bytes went into the file by another way than the tap: its hash would be wrong.
        result_.problems.push_back(file.path + " was written without being hashed (" +
                                   std::to_string(file.bytes) + " of " +
                                   std::to_string(job.length) + " bytes seen)");
        result_.files.erase(file.path);
        return;
    }
    result_.files[file.path] = {file.hash.HexFinal(), file.bytes, job.id};
}

ImageHasher::Result ImageHasher::Finish() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    if (thread_.joinable())
        thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    return result_;
}

}  // namespace integrity
