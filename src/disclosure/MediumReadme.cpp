#include "disclosure/MediumReadme.h"

#include <vector>

#include "disclosure/age/Keys.h"

namespace disclosure {

namespace {

using platform::Error;

constexpr const char* kArchiveSuffix = ".tar.age";
// A section begins with its heading line, "==== NAME.tar.age ====", and runs to the next.
constexpr const char* kHeadingStart = "==== ";
constexpr const char* kHeadingEnd = " ====";

const char kHead[] =
    "This medium holds encrypted backup images, one file NAME.tar.age each, described below.\n"
    "Each is a tar archive of an image's folder, encrypted in the age format\n"
    "(age-encryption.org/v1). Without its key it cannot be read.\n"
    "\n"
    "To open one in a browser: open BackupViewer/index.html of this medium, choose the\n"
    ".tar.age file and type its passphrase; for a file encrypted to public keys, paste the\n"
    "identity instead (the AGE-SECRET-KEY-1... line of the identity file).\n"
    "\n"
    "To open one with the age tool (apt install age) and tar, in the folder that is to hold\n"
    "the image: as its section below says.\n"
    "\n"
    "Then check the image against its manifest, inside the folder it made:\n"
    "\n"
    "    cd NAME && sha256sum -c SHA256SUMS\n";

std::string Heading(const std::string& fileName) {
    return kHeadingStart + fileName + kHeadingEnd;
}

// The file a heading line names; "" when line is no heading.
std::string HeadingName(const std::string& line) {
    const std::string start = kHeadingStart, end = kHeadingEnd;
    if (line.size() <= start.size() + end.size() || line.compare(0, start.size(), start) != 0 ||
        line.compare(line.size() - end.size(), end.size(), end) != 0)
        return std::string();
    return line.substr(start.size(), line.size() - start.size() - end.size());
}

std::string Section(const std::string& fileName, long long bytes, const age::Recipients& to) {
    std::string text =
        "\n" + Heading(fileName) + "\n" + fileName + ": " + std::to_string(bytes) + " bytes.\n";
    if (to.passphrase)
        return text +
               "It opens with a passphrase, which is not on this medium. With age (it asks for\n"
               "the passphrase):\n\n    age -d " +
               fileName + " | tar -x\n";
    text += "It opens with the private key (identity file) of one of these public keys:\n\n";
    for (const std::string& key : to.publicKeys)
        text += "    " + age::RecipientText(key) + "\n";
    return text + "\nWith age, KEY being the identity file:\n\n    age -d -i KEY " + fileName +
           " | tar -x\n";
}

struct Parsed {
    std::vector<std::string> names, texts;  // each section's file, and its text as it stands
};

// The README's sections, or why it is none of these READMEs. Each section is a blank line, its
// heading and what follows up to the next blank line before a heading.
platform::Expected<Parsed> Parse(const std::string& readme) {
    Parsed parsed;
    if (readme.empty())
        return parsed;
    const std::string rest =
        readme.compare(0, sizeof kHead - 1, kHead) == 0 ? readme.substr(sizeof kHead - 1) : "-";
    const std::string opening = std::string("\n") + kHeadingStart;
    if (!rest.empty() && rest.compare(0, opening.size(), opening) != 0)
        return Error{Error::Kind::kRefused,
                     "is not a README of encrypted images as this program writes them: it is "
                     "left as it is (move it away first)",
                     ""};
    std::vector<std::size_t> starts;
    for (std::size_t at = rest.find(opening); at != std::string::npos;
         at = rest.find(opening, at + 1))
        if (at == 0 || rest[at - 1] == '\n')
            starts.push_back(at);
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : rest.size();
        const std::size_t lineEnd = rest.find('\n', starts[i] + 1);
        const std::string name = HeadingName(rest.substr(starts[i] + 1, lineEnd - starts[i] - 1));
        if (name.empty())
            return Error{Error::Kind::kRefused,
                         "has a heading that names no image: it is left as it is (move it away "
                         "first)",
                         ""};
        parsed.names.push_back(name);
        parsed.texts.push_back(rest.substr(starts[i], end - starts[i]));
    }
    return parsed;
}

}  // namespace

std::vector<std::string> ReadmeImages(const std::string& readme) {
    platform::Expected<Parsed> parsed = Parse(readme);
    return parsed ? parsed->names : std::vector<std::string>();
}

platform::Expected<std::string> ReadmeWithImage(const std::string& existing,
                                                const std::string& fileName, long long bytes,
                                                const age::Recipients& to) {
    const std::string suffix = kArchiveSuffix;
    bool plain = fileName.size() > suffix.size() &&
                 fileName.compare(fileName.size() - suffix.size(), suffix.size(), suffix) == 0;
    for (const char c : fileName)
        plain = plain && static_cast<unsigned char>(c) >= 0x20 && c != 0x7f;
    if (!plain)
        return Error{Error::Kind::kRefused,
                     "cannot be named in README.txt (its name must end in .tar.age and hold no "
                     "control character)",
                     fileName};
    platform::Expected<Parsed> parsed = Parse(existing);
    if (!parsed)
        return parsed.error();
    bool placed = false;
    std::string text = kHead;
    for (std::size_t i = 0; i < parsed->names.size(); ++i) {
        if (parsed->names[i] != fileName) {
            text += parsed->texts[i];
        } else if (!placed) {
            text += Section(fileName, bytes, to);
            placed = true;
        }
    }
    return placed ? text : text + Section(fileName, bytes, to);
}

}  // namespace disclosure
