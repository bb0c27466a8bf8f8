#include "backup/server/ShareServiceHasher.h"

#include <cctype>

std::string ImageFileMinute(const std::string& name) {
    const std::size_t slash = name.find_last_of('/');
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    if (base.size() < 12)
        return std::string();
    for (std::size_t i = 0; i < 12; ++i)
        if (!std::isdigit(static_cast<unsigned char>(base[i])))
            return std::string();
    return base.substr(0, 12);
}

ShareServiceHasher::ShareServiceHasher(std::string rootHost, Publish publish, Unpublish unpublish)
    : root_(std::move(rootHost)), publish_(std::move(publish)), unpublish_(std::move(unpublish)) {
    while (!root_.empty() && root_.back() == '/')
        root_.pop_back();
    batch_ = std::make_unique<integrity::ImageHasher>(root_);
}

ShareServiceHasher::~ShareServiceHasher() = default;

int ShareServiceHasher::Opened(const std::string& finalHostPath) {
    if (finalHostPath.compare(0, root_.size() + 1, root_ + "/") == 0) {
        const std::string minute = ImageFileMinute(finalHostPath.substr(root_.size() + 1));
        // The files before are closed: one thread writes the image, a file at a time.
        if (!minute.empty() && minute != minute_) {
            Rotate();
            minute_ = minute;
        }
    }
    return batch_->Opened(finalHostPath);
}

char* ShareServiceHasher::TakeBuffer() {
    return batch_->TakeBuffer();
}

void ShareServiceHasher::Hand(int handle, char* buffer, std::size_t count) {
    batch_->Hand(handle, buffer, count);
}

void ShareServiceHasher::Closed(int handle, bool committed, long long length, platform::FileId id) {
    batch_->Closed(handle, committed, length, id);
}

void ShareServiceHasher::ClosedHashed(int handle, bool committed, long long length,
                                      platform::FileId id, long long hashed,
                                      const std::string& sha256Hex) {
    batch_->ClosedHashed(handle, committed, length, id, hashed, sha256Hex);
}

void ShareServiceHasher::Withdrawn(const std::string& finalHostPath) {
    if (finalHostPath.compare(0, root_.size() + 1, root_ + "/") != 0)
        return;
    const std::string name = finalHostPath.substr(root_.size() + 1);
    batch_->Withdrawn(finalHostPath);
    if (result_.files.erase(name) > 0) {
        result_.republished.insert(name);  // of a batch given out already
        if (unpublish_)
            unpublish_(name);
    }
}

void ShareServiceHasher::Rotate() {
    const integrity::ImageHasher::Result done = batch_->Finish();
    batch_ = std::make_unique<integrity::ImageHasher>(root_);
    Give(done.files);
}

void ShareServiceHasher::Give(const std::map<std::string, integrity::FileDigest>& files) {
    for (const auto& [name, digest] : files) {
        auto [at, fresh] = result_.files.insert_or_assign(name, digest);
        (void)at;
        if (!fresh)
            result_.republished.insert(name);
        if (publish_)
            publish_(name, digest);
    }
}

ShareServiceHasher::Result ShareServiceHasher::Finish() {
    Rotate();
    return result_;
}
