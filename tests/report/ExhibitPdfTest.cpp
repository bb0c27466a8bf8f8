// The exhibit report as its readers' tools see it: a document with every kind of block, set on
// A4 and on Letter, read back by pdftotext, pdfinfo, pdfimages, pdffonts and qpdf.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <sstream>

#include "CliRunner.h"
#include "TestEnv.h"
#include "TestJpeg.h"
#include "report/CairoExhibitPdf.h"

using ports::ExhibitDocument;
using ports::IExhibitPdf;

namespace {

constexpr const char* kTitle = "Exhibit report: Øresund gate recorder";
const char* const kUtf8Names[] = {"Zoë", "Øresund", "Ελλάδα", "Москва"};

struct Row {
    std::string number, path, digest;
};

// File paths of some 60 characters, a few with letters beyond ASCII, and digests of 64 hex
// digits, as the image's file table lists them.
std::vector<Row> FileRows() {
    std::mt19937_64 random(7);
    std::vector<Row> rows;
    for (int i = 1; i <= 300; ++i) {
        char path[128];
        std::snprintf(path, sizeof path,
                      "2026_01_06=10,00~10,12/CAM%02d/%s_20260106_10%02d_%03d.dat", i % 16 + 1,
                      i % 7 == 0 ? "Москва" : "recorded", i % 60, i);
        std::string digest;
        for (int k = 0; k < 4; ++k) {
            char part[17];
            std::snprintf(part, sizeof part, "%016llx", static_cast<unsigned long long>(random()));
            digest += part;
        }
        rows.push_back({std::to_string(i), path, digest});
    }
    return rows;
}

std::string Paragraph() {
    const char* words[] = {"the",       "recorder", "kept",   "every",   "picture",
                           "of",        "camera",   "three",  "between", "ten",
                           "o'clock",   "and",      "twelve", "minutes", "past,",
                           "unchanged", "since",    "it",     "was",     "written;"};
    std::string text;
    for (int i = 0; i < 320; ++i)
        text += std::string(i ? " " : "") + words[(i * 7 + i / 20) % 20];
    return text + " Zoë Øresund Ελλάδα Москва.";
}

const std::string kLongValue =
    "the recorder's clock read 2026-01-06 10:00:01 when the operator of the depot compared it "
    "with the radio clock at the gate, eleven seconds ahead of it, and nobody set it since";

// A value of one word too long for its column at the size of the others: set smaller rather
// than broken.
const std::string kOneLongWord =
    "E:\\Backup\\2026_01_06=10,00~10,12\\CAM03\\20260106_100000_recorded_pictures_of_the_gate.dat";

ExhibitDocument Document(const std::vector<Row>& rows) {
    ExhibitDocument doc;
    doc.title = kTitle;
    doc.subtitle = "Case 2026/0113, exhibit JW/4 (Zoë Ελλάδα)";
    doc.footer = "Case 2026/0113, exhibit JW/4";
    ExhibitDocument::Section facts{"The exhibit", {}};
    facts.blocks.push_back(ExhibitDocument::Facts{{
        {"Case", "2026/0113"},
        {"Recorder clock", kLongValue},
        {"Memo", "gate\x07 open \xff at Москва"},
        {"Copied from", kOneLongWord},
    }});
    facts.blocks.push_back(ExhibitDocument::Text{Paragraph()});
    ExhibitDocument::Section pictures{"First and last pictures", {}};
    const std::string colour = MakeTestJpeg(320, 240, true);
    pictures.blocks.push_back(ExhibitDocument::Pictures{{
        {colour, "camera 3, first picture 10:00:01"},
        {MakeTestJpeg(176, 144, false), "camera 3, last picture 10:11:59"},
        {colour.substr(0, 200), "camera 5, first picture (damaged)"},
        {MakeTestJpeg(90, 200, true), "camera 7, Øresund side"},
    }});
    ExhibitDocument::Section files{"Files", {}};
    ExhibitDocument::Table table{{"#", "File", "Size", "SHA-256"}, {false, true, false, true}, {}};
    for (const Row& row : rows)
        table.rows.push_back({row.number, row.path, "1048576", row.digest});
    files.blocks.push_back(table);
    doc.sections = {facts, pictures, files};
    return doc;
}

bool Have(const std::string& tool) {
    int status = -1;
    CommandOutput("command -v " + tool + " >/dev/null 2>&1", &status);
    return status == 0;
}

std::string Collapsed(const std::string& text) {
    return std::regex_replace(text, std::regex("\\s+"), " ");
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The fonts' caches let go once every test has rendered, as a program does at its end, so that
// the leak check of the sanitized build finds what we lose, not what the font library keeps.
struct FontCaches : ::testing::Environment {
    void TearDown() override { report::ReleaseFontCaches(); }
};
::testing::Environment* const kFontCaches = ::testing::AddGlobalTestEnvironment(new FontCaches);

struct PaperCase {
    IExhibitPdf::Paper paper;
    const char* name;
    const char* pageSize;  // as pdfinfo says it
};

class ExhibitPdfTest : public TempPrefixTest, public ::testing::WithParamInterface<PaperCase> {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        for (const char* tool : {"pdftotext", "pdfinfo", "pdfimages", "pdffonts", "qpdf"})
            if (!Have(tool))
                GTEST_SKIP() << tool << " is not installed (poppler-utils, qpdf)";
        rows_ = FileRows();
        std::string pdf;
        ASSERT_EQ(report::CairoExhibitPdf().Render(Document(rows_), GetParam().paper, pdf), "");
        ASSERT_EQ(pdf.rfind("%PDF-", 0), 0u);
        path_ = prefix() + "/REPORT.pdf";
        std::ofstream(path_, std::ios::binary) << pdf;
        // Kept for a look, under a name of its own until whole: another test writes it too.
        const std::string kept =
            std::string(QUILLON_ARTEFACT_DIR) + "/exhibit-report-" + GetParam().name + ".pdf";
        std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(test.begin(), test.end(), '/', '_');
        const std::string part = kept + "." + test + ".part";
        std::filesystem::create_directories(QUILLON_ARTEFACT_DIR);
        std::ofstream(part, std::ios::binary) << pdf;
        std::filesystem::rename(part, kept);
    }
    // What a tool prints about the file (its output to stdout: after "-" for pdftotext).
    std::string Tool(const std::string& command, int* status, const std::string& after = "") {
        return CommandOutput(command + " '" + path_ + "' " + after + " 2>&1", status);
    }
    std::vector<Row> rows_;
    std::string path_;
};

TEST_P(ExhibitPdfTest, TextComesBackWholeAndRowsStayOnOneLine) {
    int status = -1;
    const std::string text = Tool("pdftotext -layout -enc UTF-8", &status, "-");
    ASSERT_EQ(status, 0) << text;
    const std::string flat = Collapsed(text);
    EXPECT_NE(flat.find(kTitle), std::string::npos);
    for (const char* name : kUtf8Names)
        EXPECT_NE(text.find(name), std::string::npos) << name;
    // Paragraphs and values are broken between words only, and lose none of them.
    EXPECT_NE(flat.find(Collapsed(Paragraph())), std::string::npos);
    EXPECT_NE(flat.find(kLongValue), std::string::npos);
    EXPECT_NE(text.find(kOneLongWord), std::string::npos);
    // A control character and a broken byte of a memo show as what they are.
    EXPECT_NE(text.find("gate\\x07 open \xef\xbf\xbd at Москва"), std::string::npos);
    EXPECT_NE(flat.find("camera 5, first picture (damaged)"), std::string::npos);
    EXPECT_NE(text.find("picture cannot be shown"), std::string::npos);

    // Each file's number, path and digest on one line: whole, and the row never split.
    const auto lines = Lines(text);
    std::size_t at = 0;
    for (const Row& row : rows_) {
        while (at < lines.size() && lines[at].find(row.digest) == std::string::npos)
            ++at;
        ASSERT_LT(at, lines.size()) << "row " << row.number << " is not whole, or out of order";
        EXPECT_NE(lines[at].find(row.path), std::string::npos) << lines[at];
        EXPECT_EQ(Collapsed(lines[at]).find(row.number + " " + row.path), 0u) << lines[at];
    }

    // Several pages, each numbered; the table's heading row on each page the table runs over.
    const auto pages = std::count(text.begin(), text.end(), '\f');
    ASSERT_GT(pages, 1);
    const std::string last = "page " + std::to_string(pages) + " of " + std::to_string(pages);
    EXPECT_NE(text.find("page 1 of " + std::to_string(pages)), std::string::npos);
    EXPECT_NE(text.find(last), std::string::npos);
    int headings = 0, tablePages = 0;
    std::istringstream byPage(text);
    for (std::string page; std::getline(byPage, page, '\f');) {
        const bool rows = std::regex_search(page, std::regex("\n *[0-9]+ +2026_01_06="));
        tablePages += rows;
        headings += rows && std::regex_search(page, std::regex("# +File +Size +SHA-256"));
    }
    EXPECT_GT(tablePages, 1);
    EXPECT_EQ(headings, tablePages);
}

TEST_P(ExhibitPdfTest, ToolsFindThePaperFontsPicturesAndAWellFormedFile) {
    int status = -1;
    const std::string info = Tool("pdfinfo", &status);
    ASSERT_EQ(status, 0) << info;
    EXPECT_NE(info.find(GetParam().pageSize), std::string::npos) << info;
    EXPECT_NE(info.find("Creator:         Quillon Backup\n"), std::string::npos) << info;
    EXPECT_NE(info.find(std::string("Title:           ") + kTitle), std::string::npos) << info;
    EXPECT_TRUE(std::regex_search(info, std::regex("CreationDate: +\\S.*20[0-9][0-9]"))) << info;
    std::smatch pages;
    ASSERT_TRUE(std::regex_search(info, pages, std::regex("Pages: +([0-9]+)"))) << info;
    EXPECT_GT(std::stoi(pages[1]), 1);

    // The three pictures that decode, as JPEG; the damaged one not at all.
    const std::string images = Tool("pdfimages -list", &status);
    ASSERT_EQ(status, 0) << images;
    const auto imageLines = Lines(images);
    std::vector<std::string> sizes;
    for (std::size_t i = 2; i < imageLines.size(); ++i) {
        std::istringstream in(imageLines[i]);
        std::string page, num, type, width, height, colour, comp, bpc, enc;
        in >> page >> num >> type >> width >> height >> colour >> comp >> bpc >> enc;
        EXPECT_EQ(enc, "jpeg") << imageLines[i];
        sizes.push_back(width + "x" + height + " " + colour);
    }
    EXPECT_EQ(sizes, (std::vector<std::string>{"320x240 rgb", "176x144 gray", "90x200 rgb"}))
        << images;

    const std::string fonts = Tool("pdffonts", &status);
    ASSERT_EQ(status, 0) << fonts;
    const auto fontLines = Lines(fonts);
    ASSERT_GT(fontLines.size(), 2u) << fonts;
    std::string names;
    for (std::size_t i = 2; i < fontLines.size(); ++i) {
        EXPECT_TRUE(std::regex_search(fontLines[i], std::regex(" yes +yes +(yes|no) +[0-9]")))
            << "not embedded as a subset: " << fontLines[i];
        names += fontLines[i].substr(0, fontLines[i].find(' ')) + " ";
    }
    for (const char* font : {"+DejaVuSans ", "+DejaVuSans-Bold ", "+DejaVuSansMono "})
        EXPECT_NE(names.find(font), std::string::npos) << font << " in " << names;

    const std::string check = Tool("qpdf --check", &status);
    EXPECT_EQ(status, 0) << check;
    EXPECT_NE(check.find("No syntax or stream encoding errors"), std::string::npos) << check;
}

INSTANTIATE_TEST_SUITE_P(Paper, ExhibitPdfTest,
                         ::testing::Values(PaperCase{IExhibitPdf::Paper::kA4, "A4",
                                                     "Page size:       595 x 842 pts (A4)"},
                                           PaperCase{IExhibitPdf::Paper::kLetter, "Letter",
                                                     "Page size:       612 x 792 pts (letter)"}),
                         [](const auto& paper) { return std::string(paper.param.name); });

}  // namespace

namespace {

// Rows of a few lines each: every row's lines on one page.
TEST(ExhibitPdfRowTest, RowsOfSeveralLinesStayOnOnePage) {
    if (!Have("pdftotext"))
        GTEST_SKIP() << "pdftotext is not installed (poppler-utils)";
    ExhibitDocument doc;
    doc.title = "Rows of several lines";
    ExhibitDocument::Table table{{"Entry", "Memo"}, {}, {}};
    for (int r = 0; r < 80; ++r) {
        std::string memo;
        for (int w = 0; w < 8 + r % 12; ++w)
            memo += "r" + std::to_string(r) + "w" + std::to_string(w) + " of the delivery ";
        table.rows.push_back({"entry " + std::to_string(r), memo});
    }
    doc.sections.push_back({"Entries", {table}});
    std::string pdf;
    ASSERT_EQ(report::CairoExhibitPdf().Render(doc, IExhibitPdf::Paper::kLetter, pdf), "");
    std::filesystem::create_directories(QUILLON_ARTEFACT_DIR);
    const std::string path = std::string(QUILLON_ARTEFACT_DIR) + "/exhibit-report-rows.pdf";
    std::ofstream(path, std::ios::binary) << pdf;
    int status = -1;
    const std::string text = CommandOutput("pdftotext '" + path + "' - 2>&1", &status);
    ASSERT_EQ(status, 0) << text;
    std::map<int, std::set<int>> pagesOfRow;
    int page = 0;
    const std::regex word("r([0-9]+)w[0-9]+|\f");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), word);
         it != std::sregex_iterator(); ++it) {
        if ((*it)[0] == "\f")
            ++page;
        else
            pagesOfRow[std::stoi((*it)[1])].insert(page);
    }
    ASSERT_EQ(pagesOfRow.size(), 80u);
    EXPECT_GT(page, 2);
    for (const auto& [row, pages] : pagesOfRow)
        EXPECT_EQ(pages.size(), 1u) << "row " << row << " is split over pages";
}

// A row taller than a page goes over pages, a line at a time, and loses nothing.
TEST(ExhibitPdfRowTest, ARowTallerThanAPageRunsOverPagesWhole) {
    if (!Have("pdftotext"))
        GTEST_SKIP() << "pdftotext is not installed (poppler-utils)";
    std::string memo;
    for (int i = 0; i < 1500; ++i)
        memo += "word" + std::to_string(i) + " ";
    ExhibitDocument doc;
    doc.title = "One tall row";
    doc.sections.push_back({"Entries", {ExhibitDocument::Table{{"Entry", "Memo"}, {}, {}}}});
    auto& table = std::get<ExhibitDocument::Table>(doc.sections[0].blocks[0]);
    table.rows = {{"2026-01-06 - 10:00 ~ 10:12", memo}, {"2026-01-07 - 08:00 ~ 08:30", "short"}};
    std::string pdf;
    ASSERT_EQ(report::CairoExhibitPdf().Render(doc, IExhibitPdf::Paper::kA4, pdf), "");
    std::filesystem::create_directories(QUILLON_ARTEFACT_DIR);
    const std::string path = std::string(QUILLON_ARTEFACT_DIR) + "/exhibit-report-tall-row.pdf";
    std::ofstream(path, std::ios::binary) << pdf;
    int status = -1;
    const std::string text = CommandOutput("pdftotext '" + path + "' - 2>&1", &status);
    ASSERT_EQ(status, 0) << text;
    EXPECT_GT(std::count(text.begin(), text.end(), '\f'), 2);
    // It starts on the first page, under its heading, not after a page left empty.
    EXPECT_NE(text.substr(0, text.find('\f')).find("word0 "), std::string::npos);
    // Every word once, in order, between the footers and headings of the pages it runs over.
    std::vector<int> words;
    const std::regex word("word([0-9]+)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), word);
         it != std::sregex_iterator(); ++it)
        words.push_back(std::stoi((*it)[1]));
    ASSERT_EQ(words.size(), 1500u);
    for (int i = 0; i < 1500; ++i)
        ASSERT_EQ(words[i], i);
    EXPECT_NE(text.find("2026-01-07 - 08:00 ~ 08:30"), std::string::npos);
}

}  // namespace
