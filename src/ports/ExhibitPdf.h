#pragma once
// The exhibit report as pages for people to read: a document of plain parts that the core fills
// from the report's facts, set as a PDF by an adapter beside the core (cairo's PDF surface).
// The core decides what is said; the adapter only how it looks on a page.
#include <string>
#include <variant>
#include <vector>

namespace ports {

struct ExhibitDocument {
    // A paragraph of running text, wrapped to the page.
    struct Text {
        std::string text;
    };
    // Name and value pairs, one pair a line (the value wrapped beside its name).
    struct Facts {
        std::vector<std::pair<std::string, std::string>> rows;
    };
    // A table with a heading row. A column marked fixed is set in a fixed-width font and never
    // broken inside a word: digests and file names must come out of the page whole.
    struct Table {
        std::vector<std::string> header;
        std::vector<bool> fixed;  // by column; missing columns are not fixed
        std::vector<std::vector<std::string>> rows;
    };
    // Pictures side by side, each the JPEG bytes of a recorded picture with its caption; the
    // JPEG goes into the PDF as it is.
    struct Pictures {
        struct Picture {
            std::string jpeg;
            std::string caption;
        };
        std::vector<Picture> pictures;
    };
    using Block = std::variant<Text, Facts, Table, Pictures>;
    struct Section {
        std::string title;
        std::vector<Block> blocks;
    };

    std::string title;     // on the first page, and the PDF's title
    std::string subtitle;  // under it (the case and exhibit)
    std::string footer;    // on every page, beside the page number
    std::vector<Section> sections;
};

class IExhibitPdf {
  public:
    virtual ~IExhibitPdf() = default;
    enum class Paper { kA4, kLetter };
    // The document as the bytes of a PDF on paper of that size, its fonts embedded and its text
    // selectable; "" in why, or why it could not be made (then pdf is empty).
    virtual std::string Render(const ExhibitDocument& document, Paper paper, std::string& pdf) = 0;
};

}  // namespace ports
