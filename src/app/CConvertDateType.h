#pragma once
// Dates between the ten-character year-first form and the nine display forms of the date type.
#include <string>

class CConvertDateType {
  public:
    virtual ~CConvertDateType() = default;
    // "YYYY?MM?DD" to the display form of type (a type above 8 counts as 0); "" unless 10 long.
    std::string DateToDisplay(const std::string& date, unsigned type) const;
    // A display date of type to "YYYYMMDD"; "" unless 10 long or for a type above 8.
    std::string DisplayToDate(const std::string& display, unsigned type) const;
};
