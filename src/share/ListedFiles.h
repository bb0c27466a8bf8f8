#pragma once
// The files an image job lists, each with the number of the change that listed it last, so
// that a status can carry only what changed after the number a client already has: the list of
// a whole day is large, and the client asks for it many times a second while the build goes on.
// A name taken out again is kept as withdrawn, with the number of that change.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "share/ShareReplies.h"

namespace share {

class ListedFiles {
  public:
    // first: the number before the first change. A job's numbers start far from another's, so
    // that a number of another job (or of a server run before) is not taken for one of these.
    explicit ListedFiles(std::uint64_t first = 0) : first_(first), last_(first) {}

    // Lists file, or lists it again with other bytes; nothing changes when it is listed as it is.
    void Put(const ListedFile& file);
    // Takes a listed name out.
    void Remove(const std::string& name);
    // Makes the list `files` (a finished image's): names not among them are taken out, and
    // only the files that differ are listed again.
    void Replace(const std::vector<ListedFile>& files);

    // The number of the last change.
    std::uint64_t last() const { return last_; }
    // Whether `since` is a number of this list (from its first to its last change).
    bool Knows(std::uint64_t since) const { return since >= first_ && since <= last_; }
    // The files listed after `since` in the order they were listed, and the names taken out
    // after it; the whole list (and no names taken out) when since is not a number of this list.
    void Since(std::uint64_t since, std::vector<ListedFile>& files,
               std::vector<std::string>& gone) const;

  private:
    struct Entry {
        ListedFile file;
        std::uint64_t change = 0;
        bool gone = false;
    };
    void Note(const std::string& name, Entry& entry);

    std::uint64_t first_, last_;
    std::map<std::string, Entry> byName_;
    std::map<std::uint64_t, std::string> byChange_;
};

}  // namespace share
