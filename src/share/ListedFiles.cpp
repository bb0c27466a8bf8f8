#include "share/ListedFiles.h"

#include <set>

namespace share {

void ListedFiles::Note(const std::string& name, Entry& entry) {
    if (entry.change != 0)
        byChange_.erase(entry.change);
    entry.change = ++last_;
    byChange_[entry.change] = name;
}

void ListedFiles::Put(const ListedFile& file) {
    Entry& entry = byName_[file.name];
    if (entry.change != 0 && !entry.gone && entry.file.size == file.size &&
        entry.file.sha256 == file.sha256)
        return;
    entry.file = file;
    entry.gone = false;
    Note(file.name, entry);
}

void ListedFiles::Remove(const std::string& name) {
    const auto it = byName_.find(name);
    if (it == byName_.end() || it->second.gone)
        return;
    it->second.gone = true;
    Note(name, it->second);
}

void ListedFiles::Replace(const std::vector<ListedFile>& files) {
    std::set<std::string> kept;
    for (const ListedFile& f : files)
        kept.insert(f.name);
    std::vector<std::string> out;
    for (const auto& [name, entry] : byName_)
        if (!entry.gone && !kept.count(name))
            out.push_back(name);
    for (const std::string& name : out)
        Remove(name);
    for (const ListedFile& f : files)
        Put(f);
}

void ListedFiles::Since(std::uint64_t since, std::vector<ListedFile>& files,
                        std::vector<std::string>& gone) const {
    const bool whole = !Knows(since);
    for (auto it = whole ? byChange_.begin() : byChange_.upper_bound(since); it != byChange_.end();
         ++it) {
        const Entry& entry = byName_.at(it->second);
        if (!entry.gone)
            files.push_back(entry.file);
        else if (!whole)
            gone.push_back(it->second);
    }
}

}  // namespace share
