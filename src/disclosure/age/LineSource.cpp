#include "disclosure/age/LineSource.h"

#include <algorithm>
#include <cstring>

namespace disclosure::age {

using platform::Error;

namespace {
constexpr std::size_t kFill = 4096;
}

platform::Outcome LineSource::Fill() {
    held_.erase(0, at_);
    at_ = 0;
    const std::size_t had = held_.size();
    held_.resize(had + kFill);
    platform::Expected<std::size_t> n = in_.Read(held_.data() + had, kFill);
    held_.resize(had + (n ? *n : 0));
    if (!n)
        return n.error();
    return platform::Succeeded();
}

platform::Expected<std::string> LineSource::ReadLine(std::size_t limit) {
    std::size_t searched = at_;
    for (;;) {
        const std::size_t end = held_.find('\n', searched);
        if (end != std::string::npos && end - at_ <= limit) {
            std::string line = held_.substr(at_, end - at_);
            offset_ += static_cast<long long>(end + 1 - at_);
            at_ = end + 1;
            return line;
        }
        if (held_.size() - at_ > limit)
            return Error{Error::Kind::kDamaged,
                         "has a header line longer than " + std::to_string(limit) + " bytes", ""};
        const std::size_t before = held_.size() - at_;
        if (platform::Outcome filled = Fill(); !filled)
            return filled.error();
        // Fill moved the bytes already searched to the front.
        searched = before;
        if (held_.size() == before)
            return Error{Error::Kind::kDamaged, "ends inside its header", ""};
    }
}

platform::Expected<std::size_t> LineSource::Read(void* buffer, std::size_t count) {
    if (at_ < held_.size()) {
        const std::size_t n = std::min(count, held_.size() - at_);
        std::memcpy(buffer, held_.data() + at_, n);
        at_ += n;
        offset_ += static_cast<long long>(n);
        return n;
    }
    platform::Expected<std::size_t> n = in_.Read(buffer, count);
    if (n)
        offset_ += static_cast<long long>(*n);
    return n;
}

}  // namespace disclosure::age
