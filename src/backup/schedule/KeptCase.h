#pragma once
// The case, exhibit and operator of the schedule's backups, kept in the working folder beside
// reserve.dat (case.txt), so that the window opened again and the command line back the schedule
// up under the case the operator gave. It goes with the working folder when the schedule is
// done.
#include <cstddef>
#include <string>

#include "backup/exhibit/ExhibitFacts.h"

namespace backup {

// A field is one line of an edit box; more than this is no case reference, and is cut.
constexpr std::size_t kKeptCaseFieldBytes = 1024;

// What is kept for the schedule of base; empty fields when nothing is (or the file is damaged:
// a case is retyped, never guessed).
exhibit::CaseDetails LoadKeptCase(const std::string& base);
// Keeps details for the schedule of base (nothing kept when every field is empty); false when
// the working folder cannot take it.
bool KeepCase(const std::string& base, const exhibit::CaseDetails& details);

// Each field given in given (not empty) over the one kept.
exhibit::CaseDetails CaseGivenOverKept(const exhibit::CaseDetails& given,
                                       const exhibit::CaseDetails& kept);

}  // namespace backup
