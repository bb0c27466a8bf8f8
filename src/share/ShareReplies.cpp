#include "share/ShareReplies.h"

#include <algorithm>

namespace share {
namespace {

// Control characters would break the line format on the way out and hide text on the way in.
std::string OneLine(std::string_view text) {
    std::string out(text.substr(0, kMaxTextBytes));
    for (char& ch : out)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F)
            ch = ' ';
    return out;
}

bool HasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char ch) { return static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F; });
}

std::optional<unsigned long long> Digits(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits)
        return std::nullopt;
    unsigned long long v = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9')
            return std::nullopt;
        v = v * 10 + static_cast<unsigned>(ch - '0');
    }
    return v;
}

std::optional<JobState> StateOf(std::string_view name) {
    for (JobState s :
         {JobState::kBuilding, JobState::kDone, JobState::kFailed, JobState::kCancelled})
        if (name == JobStateName(s))
            return s;
    return std::nullopt;
}

}  // namespace

const char* JobStateName(JobState state) {
    switch (state) {
        case JobState::kBuilding:
            return "building";
        case JobState::kDone:
            return "done";
        case JobState::kFailed:
            return "failed";
        case JobState::kCancelled:
            return "cancelled";
    }
    return "failed";
}

std::string FormatJobStatus(const JobStatus& status) {
    std::string out = std::string("state ") + JobStateName(status.state) + "\n";
    if (!status.item.empty())
        out += "item " + OneLine(status.item) + "\n";
    out += "done " + std::to_string(status.doneKB) + "\n";
    out += "total " + std::to_string(status.totalKB) + "\n";
    if (!status.entry.empty())
        out += "entry " + OneLine(status.entry) + "\n";
    if (!status.problem.empty())
        out += "problem " + OneLine(status.problem) + "\n";
    if (!status.incomplete.empty())
        out += "incomplete " + OneLine(status.incomplete) + "\n";
    for (const auto& what : status.lacks)
        out += "lacks " + OneLine(what) + "\n";
    if (status.list) {
        out += "list " + std::to_string(*status.list) + "\n";
        out += "from " + std::to_string(status.from) + "\n";
    }
    for (const auto& f : status.files)
        out += "file " + std::to_string(f.size) + " " + f.sha256 + " " + f.name + "\n";
    for (const auto& name : status.gone)
        out += "gone " + name + "\n";
    return out;
}

std::optional<JobStatus> ParseJobStatus(std::string_view text, std::string* why) {
    auto fail = [&](std::string reason) -> std::optional<JobStatus> {
        if (why)
            *why = "bad image status from the server: " + std::move(reason);
        return std::nullopt;
    };
    JobStatus st;
    bool haveState = false, haveFrom = false;
    std::size_t lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        const std::size_t nl = text.find('\n');
        if (nl == std::string_view::npos)
            return fail("line " + std::to_string(lineNo) + " is not ended");
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl + 1);
        const std::size_t sp = line.find(' ');
        if (sp == std::string_view::npos)
            return fail("line " + std::to_string(lineNo) + " has no value");
        const std::string_view key = line.substr(0, sp);
        const std::string_view value = line.substr(sp + 1);
        if (HasControl(value))
            return fail("a control character in line " + std::to_string(lineNo));
        if (key == "state") {
            auto s = StateOf(value);
            if (!s || haveState)
                return fail("state \"" + OneLine(value) + "\"");
            st.state = *s;
            haveState = true;
        } else if (key == "item" || key == "problem" || key == "incomplete") {
            if (value.size() > kMaxTextBytes)
                return fail(std::string(key) + " text too long");
            (key == "item"      ? st.item
             : key == "problem" ? st.problem
                                : st.incomplete) = std::string(value);
        } else if (key == "lacks") {
            if (value.size() > kMaxTextBytes)
                return fail("lacks text too long");
            if (st.lacks.size() >= kMaxListedFiles)
                return fail("more than " + std::to_string(kMaxListedFiles) + " lacks lines");
            st.lacks.emplace_back(value);
        } else if (key == "done" || key == "total") {
            auto v = Digits(value, 10);
            if (!v || *v > 0xFFFFFFFFull)
                return fail(std::string(key) + " \"" + OneLine(value) + "\"");
            (key == "done" ? st.doneKB : st.totalKB) = static_cast<std::uint32_t>(*v);
        } else if (key == "entry") {
            std::string p = EntryProblem(value);
            if (!p.empty())
                return fail(p);
            st.entry = std::string(value);
        } else if (key == "file") {
            const std::size_t sp2 = value.find(' ');
            if (sp2 == std::string_view::npos)
                return fail("file line " + std::to_string(lineNo) + " has no name");
            auto size = Digits(value.substr(0, sp2), 13);
            if (!size || static_cast<long long>(*size) > kMaxListedFileBytes)
                return fail("file size \"" + OneLine(value.substr(0, sp2)) + "\"");
            const std::string_view rest = value.substr(sp2 + 1);
            const std::size_t sp3 = rest.find(' ');
            const std::string_view sha256 = rest.substr(0, sp3);
            if (sp3 != 64 || sha256.find_first_not_of("0123456789abcdef") != std::string::npos)
                return fail("file line " + std::to_string(lineNo) + " has no SHA-256");
            const std::string_view name = rest.substr(sp3 + 1);
            std::string p = RemoteNameProblem(name);
            if (!p.empty())
                return fail(p);
            if (st.files.size() >= kMaxListedFiles)
                return fail("more than " + std::to_string(kMaxListedFiles) + " files");
            st.files.push_back(
                {std::string(name), static_cast<long long>(*size), std::string(sha256)});
        } else if (key == "list" || key == "from") {
            auto v = Digits(value, 19);
            if (!v || (key == "list" ? st.list.has_value() : haveFrom))
                return fail(std::string(key) + " \"" + OneLine(value) + "\"");
            if (key == "list")
                st.list = *v;
            else
                st.from = *v;
            haveFrom = haveFrom || key == "from";
        } else if (key == "gone") {
            std::string p = RemoteNameProblem(value);
            if (!p.empty())
                return fail(p);
            if (st.gone.size() >= kMaxListedFiles)
                return fail("more than " + std::to_string(kMaxListedFiles) + " files gone");
            st.gone.emplace_back(value);
        } else {
            return fail("unknown line \"" + OneLine(key) + "\"");
        }
    }
    if (!haveState)
        return fail("no state");
    if (haveFrom != st.list.has_value())
        return fail("a list number without the number its changes follow, or the other way");
    if (st.state == JobState::kDone && st.entry.empty())
        return fail("a finished image without its entry");
    if (st.state != JobState::kDone && !st.lacks.empty())
        return fail("what an image lacks, before it is finished");
    if (st.lacks.empty() != st.incomplete.empty())
        return fail("what an image lacks without its outcome, or the other way");
    return st;
}

std::string RemoteNameProblem(std::string_view name) {
    const std::string shown = "\"" + OneLine(name.substr(0, 80)) + "\"";
    if (name.empty())
        return "an empty file name";
    if (name.find('\0') != std::string_view::npos)
        return "file name " + shown + " holds a NUL";
    if (HasControl(name))
        return "file name " + shown + " holds a control character";
    if (name.front() == '/' || name.front() == '\\')
        return "file name " + shown + " is absolute";
    if (name.find('\\') != std::string_view::npos)
        return "file name " + shown + " holds a backslash";
    if (name.find(':') != std::string_view::npos)
        return "file name " + shown + " names a drive or stream";
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = name.find('/', start);
        const std::string_view part = name.substr(start, slash - start);
        if (part.empty())
            return "file name " + shown + " has an empty folder";
        if (part == "." || part == "..")
            return "file name " + shown + " climbs with \"" + std::string(part) + "\"";
        if (part.size() > kMaxComponentBytes)
            return "file name " + shown + " has a part longer than 255 bytes";
        if (slash == std::string_view::npos)
            break;
        start = slash + 1;
    }
    return "";
}

std::string EntryProblem(std::string_view entry) {
    const std::string shown = "\"" + OneLine(entry.substr(0, 80)) + "\"";
    if (entry.empty() || entry.size() > 64)
        return "entry " + shown + " has no plausible length";
    if (entry == "." || entry == ".." || HasControl(entry) ||
        entry.find_first_of("/\\:") != std::string_view::npos ||
        entry.find('\0') != std::string_view::npos)
        return "entry " + shown + " is no plain folder name";
    return "";
}

std::string RecordSizeProblem(std::string_view what, std::size_t got, std::size_t expected) {
    if (got == expected)
        return "";
    return std::string(what) + " of " + std::to_string(got) + " bytes, expected " +
           std::to_string(expected);
}

std::optional<std::uint64_t> ParseJobId(std::string_view text) {
    auto v = Digits(text, 19);
    if (!v)
        return std::nullopt;
    return static_cast<std::uint64_t>(*v);
}

}  // namespace share
