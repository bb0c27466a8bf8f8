#include "share/HttpRange.h"

#include <charconv>

#include "share/HttpMessage.h"

namespace share {
namespace {

bool ParseDecimal(std::string_view text, unsigned long long& value) {
    if (text.empty() || text.size() > 19)
        return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

RangeAnswer AnswerRange(std::string_view header, unsigned long long size) {
    RangeAnswer whole;
    header = TrimBlanks(header);
    constexpr std::string_view kUnit = "bytes=";
    // Anything but one well-formed byte range is not ours to serve in parts: the whole file.
    if (header.substr(0, kUnit.size()) != kUnit)
        return whole;
    const std::string_view wanted = TrimBlanks(header.substr(kUnit.size()));
    const std::size_t dash = wanted.find('-');
    if (dash == std::string_view::npos || wanted.find(',') != std::string_view::npos)
        return whole;
    const std::string_view from = TrimBlanks(wanted.substr(0, dash)),
                           to = TrimBlanks(wanted.substr(dash + 1));
    unsigned long long first = 0, last = 0;
    RangeAnswer answer;
    answer.kind = RangeAnswer::kPart;
    if (from.empty()) {  // the last `to` bytes
        if (!ParseDecimal(to, last))
            return whole;
        if (last == 0 || size == 0)
            return RangeAnswer{RangeAnswer::kUnsatisfiable};
        answer.first = last >= size ? 0 : size - last;
        answer.last = size - 1;
        return answer;
    }
    if (!ParseDecimal(from, first) || (!to.empty() && (!ParseDecimal(to, last) || last < first)))
        return whole;
    if (first >= size)
        return RangeAnswer{RangeAnswer::kUnsatisfiable};
    answer.first = first;
    answer.last = to.empty() || last >= size ? size - 1 : last;
    return answer;
}

}  // namespace share
