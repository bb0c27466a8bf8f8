#include "backup/server/RecordingDigests.h"

std::optional<std::string> RecordingDigests::Find(const std::string& hostPath,
                                                  const platform::FileStamp& stamp) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto at = known_.find(hostPath);
    if (at == known_.end() || stamp.length < 0 || !(at->second.stamp == stamp))
        return std::nullopt;
    return at->second.sha256;
}

void RecordingDigests::Remember(const std::string& hostPath, const platform::FileStamp& before,
                                const platform::FileStamp& after, const std::string& sha256Hex) {
    if (keep_ == 0 || before.length < 0 || !(before == after))
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    auto [at, fresh] = known_.insert_or_assign(hostPath, Known{before, sha256Hex});
    (void)at;
    if (!fresh)
        return;
    order_.push_back(hostPath);
    while (order_.size() > keep_) {
        known_.erase(order_.front());
        order_.pop_front();
    }
}
