#include "backup/schedule/KeptCase.h"

#include "platform/AtomicFile.h"
#include "platform/DrivePaths.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "storage/RecorderPaths.h"

namespace backup {
namespace {

constexpr const char* kFirstLine = "quillon-case/1";
constexpr std::size_t kFieldBytes = kKeptCaseFieldBytes;

std::string CaseFile(const std::string& base) {
    return paths::WorkingFolder(base) + "\\case.txt";
}

// One line, so that the file's lines stay its fields.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    if (text.size() <= kFieldBytes)
        return text;
    std::size_t cut = kFieldBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;  // not inside a character
    return text.substr(0, cut);
}

struct Field {
    const char* key;
    std::string exhibit::CaseDetails::*member;
};
constexpr Field kFields[] = {{"case", &exhibit::CaseDetails::caseReference},
                             {"exhibit", &exhibit::CaseDetails::exhibitNumber},
                             {"operator", &exhibit::CaseDetails::operatorName}};

}  // namespace

exhibit::CaseDetails LoadKeptCase(const std::string& base) {
    exhibit::CaseDetails kept;
    std::string text;
    const std::string host = platform::ResolvePath(CaseFile(base));
    if (host.empty() || !platform::ReadWholeFile(host, text, 16 * kFieldBytes) ||
        text.compare(0, std::string(kFirstLine).size() + 1, std::string(kFirstLine) + "\n"))
        return kept;
    std::size_t from = std::string(kFirstLine).size() + 1;
    while (from < text.size()) {
        const std::size_t end = text.find('\n', from);
        if (end == std::string::npos)
            return {};  // cut short: not what was kept
        const std::string line = text.substr(from, end - from);
        from = end + 1;
        const std::size_t eq = line.find('=');
        for (const Field& f : kFields)
            if (eq != std::string::npos && line.compare(0, eq, f.key) == 0)
                kept.*f.member = line.substr(eq + 1);
    }
    return kept;
}

bool KeepCase(const std::string& base, const exhibit::CaseDetails& details) {
    std::string text = std::string(kFirstLine) + "\n";
    bool any = false;
    for (const Field& f : kFields) {
        const std::string value = OneLine(details.*f.member);
        any = any || !value.empty();
        text += std::string(f.key) + "=" + value + "\n";
    }
    if (!any) {
        platform::DeleteFile(CaseFile(base));
        return platform::FileLength(CaseFile(base)) < 0;
    }
    if (const platform::Status made = platform::CreateDirectory(paths::WorkingFolder(base));
        !made && made.code() != platform::ERROR_ALREADY_EXISTS)
        return false;
    return platform::WriteTextAtomically(CaseFile(base), text, true);
}

exhibit::CaseDetails CaseGivenOverKept(const exhibit::CaseDetails& given,
                                       const exhibit::CaseDetails& kept) {
    exhibit::CaseDetails out = kept;
    for (const Field& f : kFields)
        if (!(given.*f.member).empty())
            out.*f.member = given.*f.member;
    return out;
}

}  // namespace backup
