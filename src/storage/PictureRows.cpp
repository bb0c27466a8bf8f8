#include "storage/PictureRows.h"

namespace storage {

std::string CameraList(const CameraSet& cameras) {
    std::string list;
    for (std::size_t c = 0; c < cameras.size(); ++c) {
        if (!cameras[c])
            continue;
        list += list.empty() ? "" : ",";
        list += std::to_string(c);
    }
    return list;
}

std::string CameraCondition(const CameraSet& cameras) {
    if (cameras.none())
        return "0";
    std::size_t first = 0, last = cameras.size() - 1;
    while (!cameras[first])
        ++first;
    while (!cameras[last])
        --last;
    if (cameras.count() == last - first + 1)
        return "camnum BETWEEN " + std::to_string(first) + " AND " + std::to_string(last);
    return "camnum IN(" + CameraList(cameras) + ")";
}

std::string PictureCondition() {
    // pos <= ?1 - size cannot overflow: size is at most the buffer and the length is a file's.
    // A NULL or a text that is no number compares as no picture.
    return "imgsize >= 0 AND imgsize <= " + std::to_string(kMaxPictureBytes) +
           " AND imgposition >= 0 AND imgposition <= ?1 - imgsize";
}

std::string SelectRows(const std::string& schema, const CameraSet& cameras, Rows which) {
    const std::string inside = PictureCondition();
    std::string q = "SELECT rowid AS r, imgposition AS pos, imgsize AS size, camnum, rectime,";
    q += " capstatus, imgwidth, imgheight, frametype, codectype FROM ";
    q += schema;
    q += ".indextable WHERE ";
    q += CameraCondition(cameras);
    q += " AND ";
    q += which == Rows::kPictures ? inside : "(" + inside + ") IS NOT 1";
    return q;
}

std::string CountRowsOutside(const std::string& schema, const CameraSet& cameras) {
    return "SELECT CAST(camnum AS INTEGER), count(*) FROM (" +
           SelectRows(schema, cameras, Rows::kNotPictures) + ") GROUP BY CAST(camnum AS INTEGER)";
}

}  // namespace storage
