#include "report/PageLayout.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "report/PageText.h"

namespace report {
namespace {

// DejaVu's ascent and descent, as parts of the font size.
constexpr double kAscent = 0.93;
constexpr double kDescent = 0.24;
constexpr double kLeading = 1.25;

constexpr double kMarginX = 42;
constexpr double kMarginTop = 48;
constexpr double kTitle = 18;
constexpr double kSubtitle = 11;
constexpr double kHeading = 12.5;
constexpr double kBody = 9.5;
constexpr double kCell = 8;
constexpr double kCaption = 8;
constexpr double kFooter = 7.5;
// The smallest sizes a value or a fixed column is shrunk to before its words are broken.
constexpr double kSmallestValue = 6;
constexpr double kSmallestFixed = 4.5;
constexpr double kBlockGap = 9;
constexpr double kCellPad = 3;
constexpr double kThumbnail = 160;
constexpr double kPictureGap = 12;

double LineHeight(double size) {
    return size * kLeading;
}

double Top(const Mark& mark) {
    return std::visit(
        [](const auto& m) -> double {
            using T = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<T, TextMark>)
                return m.y - kAscent * m.size;
            else if constexpr (std::is_same_v<T, RuleMark>)
                return std::min(m.y1, m.y2);
            else
                return m.y;
        },
        mark);
}

double Bottom(const Mark& mark) {
    return std::visit(
        [](const auto& m) -> double {
            using T = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<T, TextMark>)
                return m.y + kDescent * m.size;
            else if constexpr (std::is_same_v<T, RuleMark>)
                return std::max(m.y1, m.y2);
            else
                return m.y + m.h;
        },
        mark);
}

void Shift(Mark& mark, double dy) {
    std::visit(
        [dy](auto& m) {
            using T = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<T, RuleMark>) {
                m.y1 += dy;
                m.y2 += dy;
            } else {
                m.y += dy;
            }
        },
        mark);
}

// The room of a table's columns that are not fixed, shared out among them: all of it by their
// widest lines when they fit; else a column that fits an even share gets its widest line, and
// the others what is left by theirs, none less than its widest word unless even those do not fit.
void ShareWidths(const std::vector<double>& natural, const std::vector<double>& least,
                 std::vector<std::size_t> open, double room, std::vector<double>& widths) {
    double naturals = 0;
    for (std::size_t c : open)
        naturals += natural[c];
    if (open.empty())
        return;
    if (room >= naturals) {
        for (std::size_t c : open)
            widths[c] = natural[c] + (room - naturals) * natural[c] / naturals;
        return;
    }
    // Each pass settles at least one column: by its widest line, or by its widest word.
    while (!open.empty()) {
        naturals = 0;
        double leasts = 0;
        for (std::size_t c : open)
            naturals += natural[c], leasts += least[c];
        if (leasts > room + 1e-6) {
            for (std::size_t c : open)
                widths[c] = std::max(least[c] * std::max(room, 0.0) / leasts, 2 * kCellPad + 4);
            return;
        }
        const double share = room / static_cast<double>(open.size());
        auto settled = std::find_if(open.begin(), open.end(),
                                    [&](std::size_t c) { return natural[c] <= share; });
        if (settled == open.end())
            settled = std::find_if(open.begin(), open.end(), [&](std::size_t c) {
                return room * natural[c] / naturals < least[c];
            });
        if (settled == open.end()) {
            for (std::size_t c : open)
                widths[c] = room * natural[c] / naturals;
            return;
        }
        widths[*settled] = natural[*settled] <= share ? natural[*settled] : least[*settled];
        room -= widths[*settled];
        open.erase(settled);
    }
}

// Marks that go onto a page together, placed from their top (y 0); never split across pages
// unless taller than a page.
struct Row {
    double height = 0;
    std::vector<Mark> marks;
};

class Setter {
  public:
    Setter(PageSize page, ITextMeasure& measure, const std::vector<PictureSize>& pictures)
        : page_(page), measure_(measure), pictures_(pictures) {}

    SetPages Run(const ports::ExhibitDocument& document) {
        Footer(PrintableText(document.footer));
        left_ = kMarginX;
        width_ = page_.width - 2 * kMarginX;
        pages_.emplace_back();
        y_ = pageTop_ = kMarginTop;
        Title(PrintableText(document.title), PrintableText(document.subtitle));
        for (const auto& section : document.sections) {
            Heading(PrintableText(section.title));
            for (const auto& block : section.blocks) {
                std::visit([this](const auto& b) { Set(b); }, block);
                y_ += kBlockGap;
            }
        }
        SetPages set;
        set.pages = std::move(pages_);
        set.footer = std::move(footer_);
        set.footerRule = footerRule_;
        set.pageNumberRight = page_.width - kMarginX;
        set.pageNumberBaseline = footerBaseline_;
        set.pageNumberSize = kFooter;
        return set;
    }

  private:
    double Width(Face face, double size, std::string_view text) {
        return measure_.Width(face, size, text);
    }
    std::function<double(std::string_view)> Measure(Face face, double size) {
        return [this, face, size](std::string_view text) { return Width(face, size, text); };
    }
    std::vector<std::string> Wrap(const std::string& text, Face face, double size, double width) {
        return WrapText(text, width, Measure(face, size));
    }
    // The widest line of the text as it stands, unbroken.
    double Natural(const std::string& text, Face face, double size) {
        double widest = 0;
        std::size_t at = 0;
        while (at <= text.size()) {
            std::size_t end = text.find('\n', at);
            if (end == std::string::npos)
                end = text.size();
            widest =
                std::max(widest, Width(face, size, std::string_view(text).substr(at, end - at)));
            at = end + 1;
        }
        return widest;
    }
    // The size at which the text's widest word fits the width, no smaller than smallest.
    double FitSize(const std::string& text, Face face, double size, double width, double smallest) {
        const double widest = WidestWord(text, Measure(face, size));
        if (widest <= width)
            return size;
        return std::max(smallest, size * width / widest * 0.99);
    }

    void Footer(const std::string& text) {
        const double numberWidth = Width(Face::kSans, kFooter, PageNumberText(9999, 9999));
        std::vector<std::string> lines =
            Wrap(text, Face::kSans, kFooter, page_.width - 2 * kMarginX - numberWidth - 16);
        // A footer is a line or two; a longer one is cut rather than let into the page's text.
        constexpr std::size_t kMostLines = 3;
        if (lines.size() > kMostLines) {
            lines.resize(kMostLines);
            lines.back() += " …";
        }
        const double count = static_cast<double>(std::max<std::size_t>(lines.size(), 1));
        const double rule = page_.height - 40 - (count - 1) * LineHeight(kFooter);
        footerRule_ = RuleMark{kMarginX, rule, page_.width - kMarginX, rule, 0.4, 0.5};
        footerBaseline_ = rule + 11;
        for (std::size_t i = 0; i < lines.size(); ++i)
            footer_.push_back(TextMark{kMarginX, footerBaseline_ + i * LineHeight(kFooter),
                                       Face::kSans, kFooter, 0.35, lines[i]});
        bottom_ = rule - 10;
    }

    void NewPage() {
        pages_.emplace_back();
        y_ = pageTop_ = kMarginTop;
        if (onNewPage_)
            onNewPage_();
        pageTop_ = y_;
    }
    // Starts a new page unless h fits below what this page holds (or it holds nothing yet).
    void Room(double h) {
        if (y_ + h > bottom_ && y_ > pageTop_)
            NewPage();
    }
    void Emit(Mark mark, double dy) {
        Shift(mark, dy);
        pages_.back().push_back(std::move(mark));
    }
    void PlaceRow(Row row) {
        // One taller than a page starts where it is, rather than after a page left empty.
        const bool tall = row.height > bottom_ - kMarginTop - repeated_;
        if (!tall)
            Room(row.height);
        if (y_ + row.height <= bottom_) {
            for (auto& mark : row.marks)
                Emit(std::move(mark), y_);
            y_ += row.height;
            return;
        }
        // Taller than a page: its marks from the top, a new page where one would run off.
        std::stable_sort(row.marks.begin(), row.marks.end(),
                         [](const Mark& a, const Mark& b) { return Top(a) < Top(b); });
        double shift = y_;
        for (auto& mark : row.marks) {
            if (shift + Bottom(mark) > bottom_ && shift + Top(mark) > pageTop_) {
                NewPage();
                shift = y_ - Top(mark);
            }
            Emit(std::move(mark), shift);
        }
        y_ = shift + row.height;
    }
    // Lines set one under another, each a row of its own.
    void Lines(const std::vector<std::string>& lines, Face face, double size, double grey,
               double leading) {
        for (const auto& line : lines) {
            Row row{size * leading, {TextMark{left_, kAscent * size, face, size, grey, line}}};
            PlaceRow(std::move(row));
        }
    }

    void Title(const std::string& title, const std::string& subtitle) {
        Lines(Wrap(title, Face::kSansBold, kTitle, width_), Face::kSansBold, kTitle, 0, 1.2);
        if (!subtitle.empty()) {
            y_ += 3;
            Lines(Wrap(subtitle, Face::kSans, kSubtitle, width_), Face::kSans, kSubtitle, 0.3,
                  kLeading);
        }
        if (!title.empty() || !subtitle.empty()) {
            y_ += 6;
            pages_.back().push_back(RuleMark{left_, y_, left_ + width_, y_, 0.8, 0.2});
            y_ += 14;
        }
    }

    void Heading(const std::string& title) {
        if (title.empty())
            return;
        // A heading stays with the start of what it heads.
        Room(LineHeight(kHeading) + 4 * LineHeight(kBody));
        if (y_ > pageTop_)
            y_ += 8;
        Lines(Wrap(title, Face::kSansBold, kHeading, width_), Face::kSansBold, kHeading, 0,
              kLeading);
        y_ += 4;
    }

    void Set(const ports::ExhibitDocument::Text& block) {
        Lines(Wrap(PrintableText(block.text), Face::kSans, kBody, width_), Face::kSans, kBody, 0,
              kLeading);
    }

    void Set(const ports::ExhibitDocument::Facts& block) {
        std::vector<std::pair<std::string, std::string>> rows;
        double names = 0;
        for (const auto& [name, value] : block.rows) {
            rows.emplace_back(PrintableText(name), PrintableText(value));
            names = std::max(names, Natural(rows.back().first, Face::kSansBold, kBody));
        }
        constexpr double kGap = 12;
        const double nameWidth = std::min(names, width_ * 0.36);
        const double valueX = left_ + nameWidth + kGap;
        const double valueWidth = width_ - nameWidth - kGap;
        for (const auto& [name, value] : rows) {
            const auto nameLines = Wrap(name, Face::kSansBold, kBody, nameWidth);
            const double size = FitSize(value, Face::kSans, kBody, valueWidth, kSmallestValue);
            const auto valueLines = Wrap(value, Face::kSans, size, valueWidth);
            Row row;
            const double baseline = kAscent * kBody;
            for (std::size_t i = 0; i < nameLines.size(); ++i)
                row.marks.push_back(TextMark{left_, baseline + i * LineHeight(kBody),
                                             Face::kSansBold, kBody, 0.2, nameLines[i]});
            for (std::size_t i = 0; i < valueLines.size(); ++i)
                row.marks.push_back(TextMark{valueX, baseline + i * LineHeight(size), Face::kSans,
                                             size, 0, valueLines[i]});
            const double nameHeight = static_cast<double>(nameLines.size()) * LineHeight(kBody);
            const double valueHeight = static_cast<double>(valueLines.size()) * LineHeight(size);
            row.height = std::max({nameHeight, valueHeight, LineHeight(kBody)}) + 2;
            PlaceRow(std::move(row));
        }
    }

    void Set(const ports::ExhibitDocument::Table& block) {
        std::size_t columns = block.header.size();
        for (const auto& cells : block.rows)
            columns = std::max(columns, cells.size());
        if (columns == 0)
            return;
        const auto fixed = [&](std::size_t c) { return c < block.fixed.size() && block.fixed[c]; };
        const auto cell = [](const std::vector<std::string>& cells, std::size_t c) {
            return c < cells.size() ? PrintableText(cells[c]) : std::string();
        };
        std::vector<std::string> header(columns);
        std::vector<std::vector<std::string>> rows(block.rows.size(),
                                                   std::vector<std::string>(columns));
        for (std::size_t c = 0; c < columns; ++c) {
            header[c] = cell(block.header, c);
            for (std::size_t r = 0; r < rows.size(); ++r)
                rows[r][c] = cell(block.rows[r], c);
        }

        // Widths: a fixed column as wide as its widest cell in the fixed font (measured at 1 pt,
        // widths grow with the size), the others between their widest word and their widest
        // line; what is left over goes to the others.
        std::vector<double> natural(columns), least(columns), em(columns);
        double fixedEm = 0, fixedLeast = 0, naturals = 0, leasts = 0;
        for (std::size_t c = 0; c < columns; ++c) {
            const double headerWord = WidestWord(header[c], Measure(Face::kSansBold, kCell));
            if (fixed(c)) {
                for (const auto& cells : rows)
                    em[c] = std::max(em[c], Natural(cells[c], Face::kMono, 10) / 10);
                least[c] = headerWord;
                fixedEm += em[c];
                fixedLeast += 2 * kCellPad;
                continue;
            }
            natural[c] = Natural(header[c], Face::kSansBold, kCell);
            least[c] = headerWord;
            for (const auto& cells : rows) {
                natural[c] = std::max(natural[c], Natural(cells[c], Face::kSans, kCell));
                least[c] = std::max(least[c], WidestWord(cells[c], Measure(Face::kSans, kCell)));
            }
            least[c] = std::min(least[c], width_ * 0.25) + 2 * kCellPad;
            natural[c] = std::max(natural[c] + 2 * kCellPad, least[c]);
            naturals += natural[c];
            leasts += least[c];
        }
        double mono = kCell;
        if (fixedEm > 0 && fixedEm * mono * 1.01 + fixedLeast + naturals > width_)
            // A point to spare, so that rounding leaves the others their widest words.
            mono = std::clamp((width_ - fixedLeast - leasts - 1) / (fixedEm * 1.01), kSmallestFixed,
                              kCell);
        std::vector<double> widths(columns);
        double left = width_;
        for (std::size_t c = 0; c < columns; ++c)
            if (fixed(c)) {
                widths[c] = std::max(em[c] * mono * 1.01, least[c]) + 2 * kCellPad;
                left -= widths[c];
            }
        std::vector<std::size_t> others;
        for (std::size_t c = 0; c < columns; ++c)
            if (!fixed(c))
                others.push_back(c);
        ShareWidths(natural, least, others, left, widths);
        double tableWidth = 0;
        for (double w : widths)
            tableWidth += w;

        const auto makeRow = [&](const std::vector<std::string>& cells, bool heading) {
            Row row;
            double rowSize = kCell;
            for (std::size_t c = 0; c < columns; ++c)
                if (fixed(c) && !heading)
                    rowSize = std::max(rowSize, mono);
            const double baseline = kCellPad + kAscent * rowSize;
            double x = left_;
            double bottom = baseline + kDescent * rowSize;
            for (std::size_t c = 0; c < columns; ++c) {
                const bool set = fixed(c) && !heading;
                const Face face = heading ? Face::kSansBold : set ? Face::kMono : Face::kSans;
                const double size = set ? mono : kCell;
                const double inner = widths[c] - 2 * kCellPad;
                std::vector<std::string> lines;
                if (set && Natural(cells[c], face, size) <= inner) {
                    // As it stands, spaces and all: a file name is shown as it is named.
                    std::size_t at = 0;
                    while (!cells[c].empty() && at <= cells[c].size()) {
                        std::size_t end = cells[c].find('\n', at);
                        if (end == std::string::npos)
                            end = cells[c].size();
                        lines.push_back(cells[c].substr(at, end - at));
                        at = end + 1;
                    }
                } else {
                    lines = Wrap(cells[c], face, size, inner);
                }
                for (std::size_t i = 0; i < lines.size(); ++i) {
                    const double y = baseline + i * LineHeight(size);
                    row.marks.push_back(TextMark{x + kCellPad, y, face, size, 0, lines[i]});
                    bottom = std::max(bottom, y + kDescent * size);
                }
                x += widths[c];
            }
            row.height = bottom + kCellPad;
            if (heading) {
                row.marks.insert(row.marks.begin(),
                                 BoxMark{left_, 0, tableWidth, row.height, 0.9, -1, 0});
                row.marks.push_back(
                    RuleMark{left_, row.height, left_ + tableWidth, row.height, 0.6, 0.2});
            } else {
                row.marks.push_back(
                    RuleMark{left_, row.height, left_ + tableWidth, row.height, 0.25, 0.7});
            }
            return row;
        };

        const Row heading = makeRow(header, true);
        std::vector<Row> set;
        set.reserve(rows.size());
        for (const auto& cells : rows)
            set.push_back(makeRow(cells, false));
        const double first = set.empty() ? 0 : set.front().height;
        Room(heading.height + std::min(first, 4 * LineHeight(kCell)));
        PlaceRow(heading);
        onNewPage_ = [this, &heading] { PlaceRow(heading); };
        repeated_ = heading.height;
        for (auto& row : set)
            PlaceRow(std::move(row));
        onNewPage_ = nullptr;
        repeated_ = 0;
    }

    void Set(const ports::ExhibitDocument::Pictures& block) {
        const double thumbnail = std::min(kThumbnail, width_);
        const std::size_t perRow = std::max<std::size_t>(
            1, static_cast<std::size_t>((width_ + kPictureGap) / (thumbnail + kPictureGap)));
        for (std::size_t first = 0; first < block.pictures.size(); first += perRow) {
            const std::size_t last = std::min(block.pictures.size(), first + perRow);
            Row row;
            double pictureHeight = 0;
            struct Placed {
                double w, h;
                std::size_t index;
                bool shown;
            };
            std::vector<Placed> placed;
            for (std::size_t i = first; i < last; ++i) {
                const std::size_t index = nextPicture_++;
                const PictureSize size =
                    index < pictures_.size() ? pictures_[index] : PictureSize{};
                Placed p{thumbnail, thumbnail * 0.75, index, size.width > 0 && size.height > 0};
                if (p.shown) {
                    p.h = thumbnail * size.height / size.width;
                    // A tall picture keeps its shape within one and a half of the width.
                    if (p.h > thumbnail * 1.5) {
                        p.h = thumbnail * 1.5;
                        p.w = p.h * size.width / size.height;
                    }
                }
                pictureHeight = std::max(pictureHeight, p.h);
                placed.push_back(p);
            }
            double height = pictureHeight;
            for (std::size_t i = 0; i < placed.size(); ++i) {
                const Placed& p = placed[i];
                const double slot = left_ + static_cast<double>(i) * (thumbnail + kPictureGap);
                const double x = slot + (thumbnail - p.w) / 2;
                if (p.shown) {
                    row.marks.push_back(PictureMark{x, 0, p.w, p.h, p.index});
                    row.marks.push_back(BoxMark{x, 0, p.w, p.h, -1, 0.6, 0.5});
                } else {
                    row.marks.push_back(BoxMark{x, 0, p.w, p.h, 0.95, 0.4, 0.8});
                    const auto words =
                        Wrap("picture cannot be shown", Face::kSans, kCaption, p.w - 2 * kCellPad);
                    double y = (p.h - words.size() * LineHeight(kCaption)) / 2 + kAscent * kCaption;
                    for (const auto& line : words) {
                        const double w = Width(Face::kSans, kCaption, line);
                        row.marks.push_back(
                            TextMark{x + (p.w - w) / 2, y, Face::kSans, kCaption, 0.3, line});
                        y += LineHeight(kCaption);
                    }
                }
                const auto caption = Wrap(PrintableText(block.pictures[first + i].caption),
                                          Face::kSans, kCaption, thumbnail);
                double y = pictureHeight + 4 + kAscent * kCaption;
                for (const auto& line : caption) {
                    const double w = Width(Face::kSans, kCaption, line);
                    row.marks.push_back(
                        TextMark{slot + (thumbnail - w) / 2, y, Face::kSans, kCaption, 0.2, line});
                    y += LineHeight(kCaption);
                }
                height = std::max(height, y - kAscent * kCaption + 2);
            }
            row.height = height + 6;
            PlaceRow(std::move(row));
        }
    }

    PageSize page_;
    ITextMeasure& measure_;
    const std::vector<PictureSize>& pictures_;
    double left_ = 0, width_ = 0, bottom_ = 0, y_ = 0, pageTop_ = 0, footerBaseline_ = 0;
    std::vector<std::vector<Mark>> pages_;
    std::vector<TextMark> footer_;
    RuleMark footerRule_;
    std::function<void()> onNewPage_;
    double repeated_ = 0;  // the height of what onNewPage_ places
    std::size_t nextPicture_ = 0;
};

}  // namespace

PageSize SizeOf(ports::IExhibitPdf::Paper paper) {
    if (paper == ports::IExhibitPdf::Paper::kLetter)
        return {612, 792};
    return {595, 842};
}

std::string PageNumberText(std::size_t page, std::size_t pages) {
    return "page " + std::to_string(page) + " of " + std::to_string(pages);
}

SetPages SetDocument(const ports::ExhibitDocument& document, PageSize page,
                     const std::vector<PictureSize>& pictures, ITextMeasure& measure) {
    return Setter(page, measure, pictures).Run(document);
}

}  // namespace report
