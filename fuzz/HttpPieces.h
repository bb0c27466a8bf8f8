#pragma once
// The pieces of HTTP/1.1 that the random driver splices into requests: what both share entries
// take, before the pieces of their own.
#include <initializer_list>
#include <string>
#include <vector>

inline std::vector<std::string> HttpPieces(std::initializer_list<std::string> own) {
    std::vector<std::string> pieces = {
        "\r\n",    "\r\n\r\n", " ",    ":", "?",        "&",        "=",
        "%",       "bytes=",   ",",    "-", "99999999", "HTTP/1.1", "Content-Length: ",
        "Range: ", "GET ",     "POST "};
    pieces.insert(pieces.end(), own);
    return pieces;
}
