// The exhibit report a backup writes into its image, checked with the tools its readers use.
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "CliDay.h"

class CliExhibitTest : public UsbCliFixture {
  protected:
    // What sqlite3 itself finds in an index file: camnum|count|min(rectime)|max(rectime) lines.
    static std::string Counted(const std::string& index) {
        const RunResult r = RunProgram("/usr/bin/sqlite3",
                                       {index,
                                        "SELECT camnum, COUNT(*), MIN(rectime), MAX(rectime) FROM "
                                        "indextable GROUP BY camnum"},
                                       "");
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    }
    // One field of report.json as python's json module reads it (a path of keys and indexes).
    std::string Field(const std::string& image, const std::string& path) {
        const RunResult r = RunProgram(
            "/usr/bin/python3",
            {"-c",
             "import json,sys; r=json.load(open(sys.argv[1])); print(eval('r' + sys.argv[2]))",
             image + "/report.json", path},
            "");
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out.substr(0, r.out.find_last_not_of('\n') + 1);
    }
};

TEST_F(CliExhibitTest,
       TheReportStatesTheCaseTheCountsTheGapsAndTheDigestsAndIsListedInTheManifest) {
    mkrec::RecorderPlan plan = SmallDayPlan(605);
    plan.cameras = 3;
    plan.gapMinutes = {602};
    plan.cameraStops = {{1, 604}};  // camera 2 from 10:04 on
    plan.damagedMinutes = {{603, mkrec::Damage::kNoTable}};
    Record(plan);
    UseBuiltData();
    options = {"--cameras", "3"};
    ASSERT_EQ(Add("1000", "1005", "all", {"--memo", "Zoë, \"gate\"\t2"}).status, 0);
    const RunResult backup = Backup(
        "E:\\Case", {"--case", "CR-2026/114", "--exhibit", "JB/3", "--operator", "J. Bloggs"});
    const std::string image = usb + "/Case";
    ASSERT_TRUE(fs::exists(image + "/report.json")) << backup.out << backup.err;

    // Valid against the documented schema, by a validator of its own.
    const RunResult valid = RunProgram(
        "/usr/bin/python3",
        {"-c",
         "import json,sys,jsonschema; jsonschema.validate(json.load(open(sys.argv[1])), "
         "json.load(open(sys.argv[2])), cls=jsonschema.Draft202012Validator)",
         image + "/report.json", std::string(QUILLON_SOURCE_DIR) + "/docs/report.schema.json"},
        "");
    if (valid.err.find("No module named 'jsonschema'") != std::string::npos)
        GTEST_SKIP() << "python3-jsonschema is not installed";
    EXPECT_EQ(valid.status, 0) << valid.err;

    EXPECT_EQ(Field(image, "['case']['reference']"), "CR-2026/114");
    EXPECT_EQ(Field(image, "['case']['exhibit']"), "JB/3");
    EXPECT_EQ(Field(image, "['case']['operator']"), "J. Bloggs");
    EXPECT_EQ(Field(image, "['entries'][0]['memo']"), "Zoë, \"gate\"\t2");
    EXPECT_EQ(Field(image, "['recorder']['clock']['method']"), "kernel");

    // Counts and first and last times as sqlite3 finds them in the image's index files.
    const std::string day = image + "/" + Field(image, "['entries'][0]['folder']") + "/20100523/";
    std::map<int, long long> pictures, first, last;
    for (int m : {600, 601, 604, 605}) {
        char name[32];
        std::snprintf(name, sizeof name, "20100523%02d%02dN.idx", m / 60, m % 60);
        std::istringstream rows(Counted(day + name));
        for (std::string row; std::getline(rows, row);) {
            int cam = 0;
            long long n = 0, lo = 0, hi = 0;
            ASSERT_EQ(std::sscanf(row.c_str(), "%d|%lld|%lld|%lld", &cam, &n, &lo, &hi), 4) << row;
            pictures[cam] += n;
            first.try_emplace(cam, lo);
            last[cam] = hi;
        }
    }
    ASSERT_EQ(pictures.size(), 3u);
    for (const auto& [cam, n] : pictures) {
        const std::string at = "['entries'][0]['cameras'][" + std::to_string(cam) + "]";
        EXPECT_EQ(Field(image, at + "['number']"), std::to_string(cam + 1));
        EXPECT_EQ(Field(image, at + "['pictures']"), std::to_string(n));
        const RunResult text = RunProgram(
            "/bin/sh",
            {"-c", "date -u -d @" + std::to_string(first[cam]) + " '+%F %T'; date -u -d @" +
                       std::to_string(last[cam]) + " '+%F %T'"},
            "");
        EXPECT_EQ(Field(image, at + "['first_recorded']") + "\n" +
                      Field(image, at + "['last_recorded']") + "\n",
                  text.out);
        EXPECT_EQ(Field(image, at + "['damaged_minutes']"), "['10:03']");
    }
    EXPECT_EQ(Field(image, "['entries'][0]['cameras'][0]['missing_minutes']"), "['10:02']");
    EXPECT_EQ(Field(image, "['entries'][0]['cameras'][1]['missing_minutes']"),
              "['10:02', '10:04', '10:05']");
    EXPECT_EQ(Field(image, "['entries'][0]['cameras'][0]['audio_minutes']"), "4");

    // The manifest lists the report with the rest and every digest of the report is in it.
    const RunResult sums =
        RunProgram("/bin/sh", {"-c", "cd '" + image + "' && sha256sum -c --quiet SHA256SUMS"}, "");
    EXPECT_EQ(sums.status, 0) << sums.out << sums.err;
    const std::string manifest = ReadText(image + "/SHA256SUMS");
    EXPECT_THAT(manifest, HasSubstr("  report.json\n"));
    const std::string listed = Field(
        image,
        "['files'] and '\\n'.join(sorted(f['sha256'] + '  ' + f['path'] for f in r['files']))");
    std::istringstream lines(listed);
    int files = 0;
    for (std::string line; std::getline(lines, line); ++files)
        EXPECT_THAT(manifest, HasSubstr(line + "\n"));
    EXPECT_GT(files, 10);

    // REPORT.pdf as people read it, checked by the tools they have.
    auto tool = [](const std::string& line) { return RunProgram("/bin/sh", {"-c", line}, ""); };
    if (tool("command -v pdftotext && command -v qpdf").status != 0)
        GTEST_SKIP() << "poppler-utils or qpdf is missing";
    const std::string pdf = "'" + image + "/REPORT.pdf'";
    const std::string text = tool("pdftotext -layout " + pdf + " -").out;
    std::istringstream listedLines(manifest);
    for (std::string line; std::getline(listedLines, line);) {
        if (line.front() != '#' && line.find("  report.json") == std::string::npos &&
            line.find("  REPORT.pdf") == std::string::npos) {
            EXPECT_THAT(text, HasSubstr(line.substr(0, 64))) << line;
        }
    }
    EXPECT_THAT(text, HasSubstr("CR-2026/114"));
    EXPECT_EQ(tool("qpdf --check " + pdf).status, 0);
    EXPECT_THAT(tool("pdffonts " + pdf + " | tail -n +3 | awk '{print $(NF-4)}' | sort -u").out,
                testing::StrEq("yes\n"));
    // The first and last picture of each of the three cameras.
    EXPECT_EQ(tool("pdfimages -list " + pdf + " | grep -c ' jpeg '").out, "6\n");

    // Written again elsewhere with another exhibit number: the rest as the backup recorded it.
    const std::string again = prefix() + "/again";
    ASSERT_EQ(Cli({"report", image, "--out", again, "--exhibit", "JB/3a"}).status, 0);
    const RunResult same = tool(
        "/usr/bin/python3 -c \"import json,sys; a=json.load(open(sys.argv[1])); "
        "b=json.load(open(sys.argv[2])); a['case']['exhibit']='JB/3a'; sys.exit(a != b)\" '" +
        image + "/report.json' '" + again + "/report.json'");
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_THAT(tool("pdftotext '" + again + "/REPORT.pdf' -").out, HasSubstr("JB/3a"));
    // Never over the report the image's manifest vouches for.
    const RunResult over = Cli({"report", image, "--out", image, "--exhibit", "JB/3b"});
    EXPECT_NE(over.status, 0);
    EXPECT_THAT(over.err, HasSubstr("holds an image"));
    EXPECT_EQ(Field(image, "['case']['exhibit']"), "JB/3");

    // A second image in the folder has a report of its own, and the report written again is of
    // the image the folder's manifest is of.
    ASSERT_EQ(Add("1004", "1005", "all").status, 0);
    // The damaged entry stays in the schedule and goes again with it: the backup is incomplete.
    const RunResult secondBackup =
        Backup("E:\\Case", {"--case", "CR-2026/115", "--exhibit", "JB/4"});
    EXPECT_THAT(secondBackup.out, HasSubstr("partial manifest")) << secondBackup.err;
    EXPECT_THAT(ReadText(image + "/SHA256SUMS"), HasSubstr("  REPORT-2.pdf\n"));
    for (const char* older : {"SHA256SUMS", "SHA256SUMS-1"})
        EXPECT_EQ(tool("cd '" + image + "' && sha256sum -c --quiet " + older).status, 0) << older;
    const std::string second = prefix() + "/second";
    ASSERT_EQ(Cli({"report", image, "--out", second}).status, 0);
    EXPECT_THAT(ReadText(second + "/report.json"), HasSubstr("\"CR-2026/115\""));

    // A report changed after its backup is not stated again as what the backup recorded.
    std::string changed = ReadText(image + "/report-2.json");
    changed.replace(changed.find("CR-2026/115"), 11, "CR-2026/999");
    WriteText(image + "/report-2.json", changed);
    const std::string third = prefix() + "/third";
    ASSERT_EQ(Cli({"report", image, "--out", third}).status, 0);
    EXPECT_THAT(ReadText(third + "/report.json"), Not(HasSubstr("CR-2026/999")));
    EXPECT_THAT(ReadText(third + "/report.json"),
                HasSubstr("report-2.json does not match its digest in SHA256SUMS"));
}

// The minutes the report says a camera lacks are those its MP4 file lacks, as ffmpeg reads the
// file's per-second subtitles: no minute shown twice, none said missing that the file holds.
TEST_F(CliExhibitTest, TheGapsOfTheReportAreTheMinutesTheMp4FilesLack) {
    if (std::system("{ command -v ffmpeg; } >/dev/null") != 0)
        GTEST_SKIP() << "ffmpeg is missing";
    mkrec::RecorderPlan plan = SmallDayPlan(605);
    plan.cameras = 2;
    plan.gapMinutes = {602};
    plan.cameraStops = {{1, 604}};
    plan.damagedMinutes = {{603, mkrec::Damage::kNoTable}};
    Record(plan);
    UseBuiltData();
    options = {"--cameras", "2"};
    ASSERT_EQ(Add("1000", "1005", "all").status, 0);
    Backup("E:\\Case", {"--mp4"});
    const std::string image = usb + "/Case";
    const std::string folder = Field(image, "['entries'][0]['folder']");
    int checked = 0;
    for (const auto& file : fs::directory_iterator(image + "/" + folder + "/Video")) {
        const std::string name = file.path().filename().string();
        const int camera = std::atoi(name.substr(name.rfind("cam") + 3).c_str());
        ASSERT_GT(camera, 0) << name;
        const RunResult srt = RunProgram(
            "/bin/sh",
            {"-c", "ffmpeg -v error -i '" + file.path().string() + "' -map 0:s -f srt -"}, "");
        ASSERT_EQ(srt.status, 0) << srt.err;
        std::set<std::string> shown;
        const std::regex reading("\\d{4}-\\d\\d-\\d\\d (\\d\\d:\\d\\d):\\d\\d");
        for (std::sregex_iterator m(srt.out.begin(), srt.out.end(), reading), end; m != end; ++m)
            shown.insert((*m)[1]);
        std::string lacked;
        for (const char* minute : {"10:00", "10:01", "10:02", "10:03", "10:04", "10:05"})
            if (!shown.count(minute))
                lacked += std::string(lacked.empty() ? "" : ", ") + "'" + minute + "'";
        const std::string at = "['entries'][0]['cameras'][" + std::to_string(camera - 1) + "]";
        const std::string said =
            Field(image, "['entries'] and ', '.join(repr(m) for m in sorted(r" + at +
                             "['missing_minutes'] + r" + at + "['damaged_minutes']))");
        EXPECT_EQ(lacked, said) << name;
        ++checked;
    }
    EXPECT_EQ(checked, 2);
}
