#include "integrity/MinuteIndexCheck.h"

#include <cctype>

#include "companions/CppSQLite3.h"

namespace integrity {
namespace {

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
    if (s.size() < tail.size())
        return false;
    for (std::size_t i = 0; i < tail.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) != tail[i])
            return false;
    return true;
}

}  // namespace

std::string CheckMinuteIndex(ImageFiles& image,
                             const std::map<std::string, ImageFiles::Entry>& files,
                             const std::string& path) {
    if (!EndsWithNoCase(path, "n.idx"))
        return std::string();
    const std::string data = path.substr(0, path.size() - 3) + (path.back() == 'x' ? "dat" : "DAT");
    const auto dat = files.find(data);
    if (dat == files.end())
        return "its data file " + data + " is missing";
    const platform::Expected<std::string> read = image.ReadWhole(path);
    if (!read)
        return "the index " + read.error().text;
    const std::string& bytes = *read;
    try {
        CppSQLite3DB db;
        db.openBytes(bytes);
        if (!db.tableExists("indextable"))
            return "the index holds no picture table";
        CppSQLite3Query q = db.execQuery(
            "SELECT COUNT(*), MIN(imgposition), MAX(imgposition + imgsize) FROM indextable "
            "WHERE imgposition < 0 OR imgsize <= 0 OR imgposition + imgsize > " +
            std::to_string(dat->second.size));
        const long long outside = q.getInt64Field(0);
        if (outside > 0)
            return std::to_string(outside) + " of its rows address bytes outside its data file (" +
                   std::to_string(dat->second.size) + " bytes, a row reaching " +
                   std::to_string(q.getInt64Field(2)) + ")";
    } catch (const CppSQLite3Exception& e) {
        return std::string("the index is not a readable database: ") + e.errorMessage();
    }
    return std::string();
}

}  // namespace integrity
