#pragma once
// Which recorded days the day list shows and in which order, and the way back from a shown label
// to the day key the playback component loads. Kept free of Qt so that the rules are tested
// without a window.
#include <ctime>
#include <string>
#include <vector>

// The day key YYYY-MM-DD of a day list label of the date type; "" for a label shorter than 8.
std::string LabelToDayKey(const std::string& label, int dateType);
// The day key YYYY-MM-DD of a recorder's day folder name YYYYMMDD.
std::string StoredDayToKey(const std::string& stored);
// The local day of t as YYYYMMDD; "" when it has none.
std::string LocalDayDigits(std::time_t t);
// The day keys to list, newest first, without those before oldest (YYYYMMDD; "" keeps all).
std::vector<std::string> DaysToList(std::vector<std::string> days, const std::string& oldest);
