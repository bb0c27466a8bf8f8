#pragma once
// The exhibit report of an image: report.json for programs (the viewer among them; its schema
// is docs/report.schema.json) and REPORT.pdf for people, both at the image root (numbered in a
// folder of several images, ReportNames.h), written before the manifest and listed in it.
#include <map>
#include <string>
#include <vector>

#include "backup/exhibit/ExhibitFacts.h"
#include "backup/exhibit/ReportNames.h"
#include "ports/ExhibitPdf.h"

namespace exhibit {

constexpr const char* kReportJson = "report.json";
constexpr const char* kReportPdf = "REPORT.pdf";
constexpr const char* kSchemaName = "quillon-exhibit-report/1";

// The facts as report.json holds them.
std::string ReportJson(const Facts& facts);
// The facts as the pages of REPORT.pdf say them.
ports::ExhibitDocument ReportPages(const Facts& facts);

// "2026-01-06 10:00:00" of a reading of the recorder's clock; "2026-01-06T09:00:00Z" of the
// instant it stands for (the earlier one in an hour the clock showed twice).
std::string ReadingText(long long reading);
std::string ReadingUtc(long long reading);
// How to check the image without this program, in plain words and commands.
std::vector<std::string> VerifySteps(bool signedImage);
// "10:05" of a minute of the day.
std::string MinuteText(int minute);

// Writes report.json, and REPORT.pdf when pdf is given, into the folder rootHost under the
// names given (through temporary names); files gets their digests. "" or why one could not be
// written (then neither is listed).
std::string WriteReport(const Facts& facts, ports::IExhibitPdf* pdf,
                        ports::IExhibitPdf::Paper paper, const std::string& rootHost,
                        const ReportNames& names,
                        std::map<std::string, integrity::FileDigest>& files);

}  // namespace exhibit
