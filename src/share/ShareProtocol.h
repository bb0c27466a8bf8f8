#pragma once
// The routes between HttpShareClient and quillon-share. Bodies of the record routes are the
// records byte for byte; the image status is the text of ShareReplies.h.
//
//   POST /v1/index             8 digits YYYYMMDD        -> _INDEXREPLY
//   POST /v1/size              _BACKUPADDTOTALSIZE      -> _ADDSIZEREPLY
//   POST /v1/image[?client=ID] _BACKUPMAKEIMAGE         -> job id (decimal text); ID: the
//                                                          client's id (ClientId.h), which
//                                                          takes its own left image over
//   GET  /v1/image/{id}                                 -> job status text (while building,
//                                                          it lists the files ready so far)
//   GET  /v1/image/{id}?since=N                         -> the same, with only what the list
//                                                          changed after its number N
//   POST /v1/image/{id}/cancel                          -> stops the build, removes its data
//   GET  /v1/file?entry=E&name=N  (Range: bytes=N-)     -> one file of a built image
//   POST /v1/delete            "C:\NetBackupTemp\{entry}" -> removes a temporary image
//   GET  /v1/clock                                      -> the server's clock as it answers:
//                                                          microseconds since 1970 UTC
//   GET  /pictures/days                                 -> the recorded days, as the preview's
//                                                          port lists them (PictureWire.h)
//
// Every request carries "Authorization: Bearer TOKEN" when the server has a token.
#include <cstddef>

namespace share {

constexpr const char* kRouteIndex = "/v1/index";
constexpr const char* kRouteSize = "/v1/size";
constexpr const char* kRouteImage = "/v1/image";
constexpr const char* kRouteFile = "/v1/file";
constexpr const char* kRouteDelete = "/v1/delete";
constexpr const char* kRouteClock = "/v1/clock";
constexpr const char* kBinaryType = "application/octet-stream";
constexpr const char* kTextType = "text/plain; charset=utf-8";

constexpr int kDefaultPort = 7004;

// Largest status text a client reads; a list of every minute of a day stays far below it.
constexpr std::size_t kMaxStatusBytes = 8u << 20;

}  // namespace share
