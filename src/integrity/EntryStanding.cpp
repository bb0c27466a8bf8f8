#include "integrity/EntryStanding.h"

#include <vector>

namespace integrity {
namespace {

// A path of the image (the manifest's, "a/b") or a drive path the pass named ("C:\x\a\b") that
// lies in the entry's folder.
bool InEntry(const std::string& path, const std::string& entry) {
    for (const char separator : {'/', '\\'}) {
        if (path.rfind(entry + separator, 0) == 0)
            return true;
        if (path.find(separator + entry + separator) != std::string::npos)
            return true;
    }
    return false;
}

std::string Findings(const std::vector<std::string>& paths, const std::string& entry,
                     const char* one, const char* many) {
    std::vector<std::string> mine;
    for (const std::string& p : paths)
        if (InEntry(p, entry))
            mine.push_back(p);
    if (mine.empty())
        return std::string();
    return std::to_string(mine.size()) + " " + (mine.size() == 1 ? one : many) + ": " + mine[0] +
           (mine.size() > 1 ? ", …" : "");
}

}  // namespace

bool OnlyPartial(const VerifyReport& r) {
    if (!r.partial)
        return false;
    VerifyReport whole = r;
    whole.partial = false;
    return whole.ok();
}

std::string WhatEntryLacks(const VerifyReport& r, const std::string& entry) {
    if (r.ok())
        return std::string();
    if (!OnlyPartial(r)) {
        std::string found;
        for (const std::string& f :
             {Findings(r.missing, entry, "file missing", "files missing"),
              Findings(r.changed, entry, "file changed", "files changed"),
              Findings(r.unlisted, entry, "file not in the manifest", "files not in the manifest"),
              Findings(r.damaged, entry, "minute index damaged", "minute indexes damaged")})
            if (!f.empty())
                found += (found.empty() ? "" : "; ") + f;
        // What the image's check found elsewhere still leaves nothing of it vouched for.
        return "the image failed its check: " + (found.empty() ? r.Verdict() : found);
    }
    const std::string incomplete = "incomplete entry: " + entry + ": ";
    for (const std::string& why : r.partialWhy) {
        if (why.rfind(incomplete, 0) == 0)
            return "incomplete: " + why.substr(incomplete.size());
        if (why.rfind("not copied: ", 0) == 0 && InEntry(why, entry))
            return "incomplete: " + why;
    }
    // A partial image that names none of its entries (an older one kept beside it did not
    // complete) says of none that it is whole.
    for (const std::string& why : r.partialWhy)
        if (why.rfind("incomplete entry: ", 0) == 0 || why.rfind("not copied: ", 0) == 0)
            return std::string();
    return "incomplete: the backup that made the image did not complete";
}

}  // namespace integrity
