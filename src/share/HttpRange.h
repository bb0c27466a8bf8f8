#pragma once
// The Range header of a file download. One range is served (a resumed download asks for
// "bytes=N-"); a set of ranges is answered with the whole file once, as a server may, so that
// no request makes a reply larger than the file.
#include <string_view>

namespace share {

struct RangeAnswer {
    enum Kind { kWhole, kPart, kUnsatisfiable } kind = kWhole;
    unsigned long long first = 0, last = 0;  // of kPart, both included
};

// The answer to `header` ("" when none was sent) over a file of `size` bytes.
RangeAnswer AnswerRange(std::string_view header, unsigned long long size);

}  // namespace share
