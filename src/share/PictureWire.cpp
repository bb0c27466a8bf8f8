#include "share/PictureWire.h"

#include <limits>

namespace share {
namespace {

// Splits a reply into its lines; false when the last line has no '\n': a cut reply.
bool SplitLines(const std::string& body, std::vector<std::string>& lines, std::string& problem) {
    lines.clear();
    std::size_t start = 0;
    while (start < body.size()) {
        const std::size_t end = body.find('\n', start);
        if (end == std::string::npos) {
            problem = "the reply ends in the middle of a line";
            return false;
        }
        lines.push_back(body.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

// A reply is taken whole or not at all: what was read before the bad line goes too.
template <class Output>
bool FailAtLine(Output& output, std::string& problem, const std::string& what, std::size_t line) {
    output = {};
    problem = what + " (line " + std::to_string(line + 1) + ")";
    return false;
}

}  // namespace

bool ParseNumber(const std::string& text, long long low, long long high, long long& value) {
    // Nineteen digits would already overflow on the way; none of our numbers needs them.
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    long long v = 0;
    for (const char c : text)
        v = v * 10 + (c - '0');
    if (v < low || v > high)
        return false;
    value = v;
    return true;
}

bool IsDay(const std::string& text) {
    return text.size() == 8 && text.find_first_not_of("0123456789") == std::string::npos;
}

std::string CleanProblem(const std::string& text) {
    std::string out = text.substr(0, kMaxProblemText);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    return out;
}

std::string FormatDays(const std::vector<std::string>& days) {
    std::string out;
    for (const auto& day : days)
        out += day + "\n";
    return out;
}

std::string FormatMinutes(const std::vector<int>& minutes) {
    std::string out;
    for (const int minute : minutes)
        out += std::to_string(minute) + "\n";
    return out;
}

std::string FormatPictures(const playback::MinutePictures& pictures) {
    if (!pictures.problem.empty())
        return "problem " + CleanProblem(pictures.problem) + "\n";
    std::string out;
    for (const auto& p : pictures.pictures)
        out += std::to_string(p.rectime) + " " + std::to_string(p.pos) + " " +
               std::to_string(p.size) + "\n";
    return out;
}

bool ParseDays(const std::string& body, std::vector<std::string>& days, std::string& problem) {
    days.clear();
    std::vector<std::string> lines;
    if (!SplitLines(body, lines, problem))
        return false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!IsDay(lines[i]))
            return FailAtLine(days, problem, "a day is not YYYYMMDD", i);
        days.push_back(lines[i]);
    }
    return true;
}

bool ParseMinutes(const std::string& body, std::vector<int>& minutes, std::string& problem) {
    minutes.clear();
    std::vector<std::string> lines;
    if (!SplitLines(body, lines, problem))
        return false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        long long minute = 0;
        if (!ParseNumber(lines[i], 0, kMinutesPerDay - 1, minute))
            return FailAtLine(minutes, problem, "a minute is not 0 to 1439", i);
        // The player relies on ascending minutes; a repeat or a step back is not our server.
        if (!minutes.empty() && minute <= minutes.back())
            return FailAtLine(minutes, problem, "the minutes are not ascending", i);
        minutes.push_back(static_cast<int>(minute));
    }
    return true;
}

bool ParsePictures(const std::string& body, playback::MinutePictures& pictures,
                   std::string& problem) {
    pictures = {};
    std::vector<std::string> lines;
    if (!SplitLines(body, lines, problem))
        return false;
    if (lines.size() == 1 && lines[0].rfind("problem ", 0) == 0) {
        pictures.problem = CleanProblem(lines[0].substr(8));
        if (pictures.problem.empty())
            pictures.problem = "the recorder cannot read the minute";
        return true;
    }
    constexpr long long kMax = std::numeric_limits<long long>::max();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::size_t a = line.find(' '),
                          b = a == std::string::npos ? a : line.find(' ', a + 1);
        playback::PictureRef p;
        if (b == std::string::npos || !ParseNumber(line.substr(0, a), 0, kMax, p.rectime) ||
            !ParseNumber(line.substr(a + 1, b - a - 1), 0, kMax, p.pos) ||
            !ParseNumber(line.substr(b + 1), 0, kMaxPictureSize, p.size))
            return FailAtLine(pictures, problem, "a picture is not \"rectime pos size\"", i);
        pictures.pictures.push_back(p);
    }
    return true;
}

}  // namespace share
