// libFuzzer entry over the manifest reader and the check built on it: any bytes as SHA256SUMS
// of a small image. A manifest that parses formats and parses back to the same lines, and the
// check calls the image verified only when the manifest lists exactly its file with its hash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "integrity/ImageFiles.h"
#include "integrity/Manifest.h"
#include "integrity/Sha256.h"
#include "integrity/Verify.h"

namespace {

void Require(bool ok) {
    if (!ok)
        std::abort();
}

constexpr const char* kFile = "2010_05_23=10,00~10,01/20100523/201005231000N.dat";
constexpr const char* kBytes = "pictures of a minute";

// An image held in memory: one minute file and the manifest under test.
class MemoryImage : public integrity::ImageFiles {
  public:
    explicit MemoryImage(std::string manifest) {
        files_[kFile] = kBytes;
        files_[integrity::kManifestName] = std::move(manifest);
    }
    std::string Where() const override { return "memory"; }
    platform::Expected<std::vector<Entry>> List() override {
        std::vector<Entry> out;
        for (const auto& [path, bytes] : files_)
            out.push_back({path, static_cast<long long>(bytes.size()), true});
        return out;
    }
    platform::Outcome Read(const std::string& path, const Sink& sink) override {
        const auto it = files_.find(path);
        if (it == files_.end())
            return platform::Error{platform::Error::Kind::kNotFound, "is missing", path};
        sink(it->second.data(), it->second.size());
        return platform::Succeeded();
    }

  private:
    std::map<std::string, std::string> files_;
};

}  // namespace

const std::vector<std::string>& FuzzSeeds() {
    static const std::vector<std::string> seeds = {
        integrity::Sha256Hex(kBytes, std::string(kBytes).size()) + "  " + kFile + "\n",
        "# PARTIAL IMAGE: the backup was stopped before it was complete.\n# incomplete entry: "
        "x: y\n" +
            integrity::Sha256Hex(kBytes, std::string(kBytes).size()) + "  " + kFile + "\n",
        "\\" + std::string(64, 'a') + "  a\\\\b\\nc\n",
        std::string(64, 'A') + " *../../etc/passwd\r\n",
        "",
        "#\n",
    };
    return seeds;
}

const std::vector<std::string>& FuzzPieces() {
    static const std::vector<std::string> pieces = {"\n",
                                                    "\r\n",
                                                    "  ",
                                                    " *",
                                                    "\\",
                                                    "#",
                                                    "# PARTIAL IMAGE",
                                                    "../",
                                                    "/",
                                                    std::string(64, 'f'),
                                                    std::string(1, '\0')};
    return pieces;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    integrity::Manifest parsed;
    if (integrity::ParseManifest(text, parsed).empty()) {
        std::map<std::string, integrity::FileDigest> files;
        for (const auto& line : parsed.lines)
            files[line.path] = {line.hex, 0, {}};
        integrity::Manifest again;
        Require(integrity::ParseManifest(integrity::FormatManifest(files, {}), again).empty());
        Require(again.lines.size() == files.size());
        for (const auto& line : again.lines)
            Require(files.count(line.path) && files.at(line.path).hex == line.hex);
    }
    MemoryImage image(text);
    const integrity::VerifyReport report = integrity::VerifyImage(image, {});
    if (report.ok()) {
        Require(report.listed == 1);
        Require(parsed.lines.size() >= 1);
        for (const auto& line : parsed.lines)
            Require(line.path == kFile &&
                    line.hex == integrity::Sha256Hex(kBytes, std::string(kBytes).size()));
    }
    return 0;
}
