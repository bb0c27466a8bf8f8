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

std::string SelectRows(const std::string& schema, const std::string& cameraList, Rows which) {
    // pos <= ?1 - size cannot overflow: size is at most the buffer and the length is a file's.
    std::string inside = "size >= 0 AND size <= " + std::to_string(kMaxPictureBytes) +
                         " AND pos >= 0 AND pos <= ?1 - size";
    std::string q =
        "SELECT * FROM (SELECT rowid AS r, ifnull(cast(imgposition AS integer),0) AS pos,";
    q += " ifnull(cast(imgsize AS integer),0) AS size, camnum, rectime, capstatus, imgwidth,";
    q += " imgheight, frametype, codectype FROM ";
    q += schema;
    q += ".indextable WHERE ifnull(cast(camnum AS integer),0) IN(";
    q += cameraList;
    q += ")) WHERE ";
    q += which == Rows::kPictures ? inside : "NOT (" + inside + ")";
    return q;
}

}  // namespace storage
