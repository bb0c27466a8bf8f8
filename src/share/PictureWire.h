#pragma once
// What the picture server and its client say to each other: the paths, the limits that both sides
// hold to, and the text replies. Every reply is text lines ending in '\n':
//   days      one YYYYMMDD per line
//   minutes   one minute of the day per line, ascending
//   pictures  "problem TEXT" when the minute cannot be read, else "rectime pos size" per picture
// A picture's bytes are the body of its reply; when they cannot be read the reply is status 422
// with the reason as its body. The parsers take nothing on trust: they are pure functions of the
// body, so that a hostile server can be imitated by a string.
#include <cstddef>
#include <string>
#include <vector>

#include "playback/PictureSource.h"

namespace share {

constexpr const char* kDaysPath = "/pictures/days";
// With the day list: the zone the recorder's clock reads local time in ("Europe/Berlin"), for a
// client that turns its recorded times into true times.
constexpr const char* kTimeZoneHeader = "X-Quillon-Time-Zone";
constexpr const char* kMinutesPath = "/pictures/minutes";  // ?day=
constexpr const char* kPicturesPath = "/pictures/list";    // ?day=&minute=&camera=
constexpr const char* kPicturePath = "/pictures/picture";  // ?day=&minute=&pos=&size=
constexpr int kUnreadablePicture = 422;

constexpr int kCameras = 64;
constexpr int kMinutesPerDay = 1440;
constexpr long long kMaxPictureSize = 16LL * 1024 * 1024;
// A list reply larger than this is not one our server sends.
constexpr std::size_t kMaxListReply = 8 * 1024 * 1024;
constexpr std::size_t kMaxProblemText = 400;

// Strict decimal: digits only, no sign or blanks, within [low, high].
bool ParseNumber(const std::string& text, long long low, long long high, long long& value);
bool IsDay(const std::string& text);  // eight digits
// The problem text as it may be shown: control characters become blanks, cut to a sane length.
std::string CleanProblem(const std::string& text);

std::string FormatDays(const std::vector<std::string>& days);
std::string FormatMinutes(const std::vector<int>& minutes);
std::string FormatPictures(const playback::MinutePictures& pictures);

// False with the reason in problem when the body is not a reply of that kind; the output then
// holds nothing.
bool ParseDays(const std::string& body, std::vector<std::string>& days, std::string& problem);
bool ParseMinutes(const std::string& body, std::vector<int>& minutes, std::string& problem);
bool ParsePictures(const std::string& body, playback::MinutePictures& pictures,
                   std::string& problem);

}  // namespace share
