#include "share/ShareLog.h"

#include <cctype>
#include <cstdio>

#include "platform/Terminal.h"

namespace share {
namespace {

// The journal reads a line's level from these; a terminal's reader from the words.
const char* LevelWord(LogLevel level) {
    switch (level) {
        case LogLevel::kError:
            return "error: ";
        case LogLevel::kWarning:
            return "warning: ";
        default:
            return "";
    }
}

bool NamesAToken(std::string_view name) {
    std::string lower(name);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find("token") != std::string::npos;
}

// The target as sent, but for the value of a parameter named like a token, and within bounds.
std::string LoggedTarget(const std::string& target) {
    constexpr std::size_t kLongest = 400;
    const std::size_t mark = target.find('?');
    std::string out = target.substr(0, mark);
    if (mark != std::string::npos) {
        std::string_view query(target);
        query.remove_prefix(mark + 1);
        char join = '?';
        while (true) {
            const std::size_t amp = query.find('&');
            const std::string_view pair = query.substr(0, amp);
            const std::size_t eq = pair.find('=');
            out += join;
            if (eq != std::string_view::npos && NamesAToken(pair.substr(0, eq))) {
                out += pair.substr(0, eq);
                out += "=(left out)";
            } else {
                out += pair;
            }
            join = '&';
            if (amp == std::string_view::npos)
                break;
            query.remove_prefix(amp + 1);
        }
    }
    if (out.size() > kLongest)
        out = out.substr(0, kLongest) + "...";
    return out;
}

}  // namespace

Log::Log(std::string program)
    : Log(std::move(program), platform::IsJournal(platform::StandardStream::kError),
          [](std::string_view line) {
              std::fwrite(line.data(), 1, line.size(), stderr);
              std::fflush(stderr);
          }) {}

Log::Log(std::string program, bool journal, Sink sink)
    : program_(std::move(program)), journal_(journal), sink_(std::move(sink)) {}

std::string Log::Line(LogLevel level, std::string_view text) const {
    std::string line;
    if (journal_)
        line = "<" + std::to_string(static_cast<int>(level)) + ">";
    else
        line = program_ + ": " + LevelWord(level);
    for (const char c : text)
        line += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    line += '\n';
    return line;
}

void Log::Write(LogLevel level, std::string_view text) const {
    if (!Shows(level) || !sink_)
        return;
    const std::string line = Line(level, text);
    std::lock_guard<std::mutex> lock(mutex_);
    sink_(line);
}

std::string OutcomeText(const HttpOutcome& o) {
    std::string text = o.remote.empty() ? std::string("?") : o.remote;
    if (!o.request) {
        // Nothing of a request was read: a refused head, or a connection turned away.
        if (o.status > 0)
            text += " refused with " + std::to_string(o.status);
        return text + (o.why.empty() ? std::string() : ": " + o.why);
    }
    text += " " + o.request->method + " " + LoggedTarget(o.request->target);
    if (o.status == 0)
        return text + " dropped" + (o.why.empty() ? std::string() : ": " + o.why);
    text += " -> " + std::to_string(o.status) + ", " + std::to_string(o.bytes) + " bytes";
    if (!o.complete)
        text += ", cut short: the client no longer took the reply";
    if (!o.why.empty())
        text += ": " + o.why;
    return text;
}

LogLevel OutcomeLevel(const HttpOutcome& o, bool routine) {
    if (o.status >= 500)
        return LogLevel::kError;
    if (o.status == 0 || o.status >= 400 || !o.complete)
        return LogLevel::kWarning;
    return routine ? LogLevel::kDebug : LogLevel::kInfo;
}

}  // namespace share
