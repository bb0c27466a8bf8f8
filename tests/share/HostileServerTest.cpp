// HttpShareClient against a server that lies: names that lead out of the download folder,
// files larger than listed, records of the wrong size. Each is refused with its reason, and
// nothing is written anywhere but the download folder.
#include <httplib.h>

#include <filesystem>
#include <set>
#include <thread>

#include "ShareFixture.h"
#include "integrity/Sha256.h"

namespace fs = std::filesystem;

namespace {

// A server speaking the routes with replies a test sets.
class FakeServer {
  public:
    FakeServer() {
        http.Post("/v1/image", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("1", "text/plain");
        });
        http.Get("/v1/image/1", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(status, "text/plain");
        });
        http.Post("/v1/image/1/cancel", [this](const httplib::Request&, httplib::Response& res) {
            ++cancels;
            res.set_content("cancelled\n", "text/plain");
        });
        http.Post("/v1/index", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(record, "application/octet-stream");
        });
        http.Post("/v1/size", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(record, "application/octet-stream");
        });
        http.Get("/v1/file", [this](const httplib::Request&, httplib::Response& res) {
            if (chunked) {
                res.set_chunked_content_provider("application/octet-stream",
                                                 [this](std::size_t, httplib::DataSink& sink) {
                                                     sink.write(fileBytes.data(), fileBytes.size());
                                                     sink.done();
                                                     return true;
                                                 });
            } else {
                // A path that changes bytes: every copy, or only the first.
                std::string bytes = fileBytes;
                if (corrupt > 0 && !bytes.empty()) {
                    --corrupt;
                    bytes[bytes.size() / 2] = '\0';
                }
                ++served;
                res.set_content(bytes, "application/octet-stream");
            }
        });
        port = http.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { http.listen_after_bind(); });
        while (!http.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~FakeServer() {
        http.stop();
        thread.join();
    }
    httplib::Server http;
    std::string status, record, fileBytes;
    bool chunked = false;
    std::atomic<int> corrupt{0}, served{0};
    std::atomic<int> cancels{0};
    int port = 0;
    std::thread thread;
};

// Every file below the prefix.
std::set<std::string> AllFiles(const std::string& root) {
    std::set<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (!e.is_directory())
            files.insert(e.path().string());
    return files;
}

}  // namespace

class HostileServerTest : public FakeServerClientTest<FakeServer> {
  protected:
    static _BACKUPMAKEIMAGE Request() {
        _BACKUPMAKEIMAGE r{};
        r.nSlot = 2;
        return r;
    }
    // Runs one image chain; the reason of its code 7.
    std::string Refusal() {
        const std::size_t from = receiver.Count();
        client.ReqSetAddBackupDataPath(Request());
        return receiver.WaitFor(share::kCodeEnded, from).text;
    }
};

TEST_F(HostileServerTest, NamesLeadingOutOfTheDownloadFolderAreRefusedBeforeAnythingIsWritten) {
    const std::set<std::string> before = AllFiles(prefix());
    const std::string head = "state done\nentry 2010_05_23=10,00~10,03\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"../../escaped", "climbs"},
        {"Audio/../../escaped", "climbs"},
        {"/tmp/escaped", "absolute"},
        {"\\escaped", "absolute"},
        {"Audio\\..\\..\\escaped", "backslash"},
        {"C:escaped", "drive"},
        {std::string("esc\0aped", 8), "control character"},
        {std::string(256, 'a'), "longer than 255"},
        {"Audio//x", "empty folder"},
    };
    fake.fileBytes = "12345";
    for (const auto& [name, why] : cases) {
        fake.status = head + "file 5 " + integrity::Sha256Hex("12345", 5) + " " + name + "\n";
        const std::string reason = Refusal();
        EXPECT_NE(reason.find(why), std::string::npos) << reason;
        EXPECT_NE(reason.find("bad image status"), std::string::npos) << reason;
    }
    // A refused listing never reaches code 4, and the server is told to drop its image.
    const auto codes = receiver.Codes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 4ul), 0);
    EXPECT_EQ(fake.cancels, static_cast<int>(cases.size()));
    EXPECT_EQ(AllFiles(prefix()), before);
}

TEST_F(HostileServerTest, AFileLargerThanListedIsRefusedAndLeavesNoPartBehind) {
    fake.status = "state done\nentry 2010_05_23=10,00~10,03\nfile 4 " + std::string(64, '0') +
                  " Audio/x.wav\n";
    fake.fileBytes = std::string(4096, 'x');
    // Its length said first ...
    std::string reason = Refusal();
    EXPECT_NE(reason.find("larger than it announced"), std::string::npos) << reason;
    // ... or only found out while it arrives.
    fake.chunked = true;
    reason = Refusal();
    EXPECT_NE(reason.find("more of Audio/x.wav than the 4 bytes"), std::string::npos) << reason;
    const std::string folder = prefix() + "/drive_e/Backup/entry/20100523";
    for (const auto& e : fs::recursive_directory_iterator(folder))
        EXPECT_TRUE(e.is_directory()) << e.path();
}

TEST_F(HostileServerTest, StatusTextsOutsideTheFormatEndTheBackupWithTheirReason) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"state done\n", "without its entry"},
        {"state done\nentry ../x\nfile 1 a\n", "no plain folder"},
        {"state done\nentry x\nfile 99999999999999 a\n", "file size"},
        {"state done\nentry x\nfile 1 a\n", "has no SHA-256"},
        {"state done\nentry x\nfile 1 " + std::string(64, 'A') + " a\n", "has no SHA-256"},
        {"state building\nbogus 1\n", "unknown line"},
        // Changes after a number the client never had: its list cannot be kept.
        {"state building\nentry x\nlist 9\nfrom 3\n", "changes after 3, not after 0"},
        {"state building\nentry x\nlist 9\n", "list number without"},
        {"state building", "not ended"},
        {"<html>busy</html>\n", "has no value"},
        {"state failed\nproblem the disk is full\n", "the disk is full"},
    };
    for (const auto& [status, why] : cases) {
        fake.status = status;
        const std::string reason = Refusal();
        EXPECT_NE(reason.find(why), std::string::npos) << status << " -> " << reason;
    }
}

TEST_F(HostileServerTest, RecordsOfTheWrongSizeAreAnsweredAsFailures) {
    fake.record = std::string(100, '\1');
    client.ReqClient_LoadIndexData("20100523");
    const Answer index = receiver.WaitFor(share::kCodeIndex);
    EXPECT_TRUE(index.null);
    _BACKUPADDTOTALSIZE request{};
    fake.record = std::string(sizeof(_ADDSIZEREPLY) + 1, '\1');
    client.GetAddTotalSize(request);
    EXPECT_TRUE(receiver.WaitFor(share::kCodeAddSize).null);
    std::vector<std::string> texts;
    for (const auto& a : receiver.All())
        if (a.code == share::kCodeStatus)
            texts.push_back(a.text);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_NE(texts[0].find("index reply of 100 bytes, expected 98284"), std::string::npos)
        << texts[0];
    EXPECT_NE(texts[1].find("longer than 56 bytes"), std::string::npos) << texts[1];
}

TEST_F(HostileServerTest, BytesChangedOnTheWayAreFetchedAgainAndNeverTakenIn) {
    const std::string head = "state done\nentry 2010_05_23=10,00~10,03\n";
    fake.fileBytes = std::string(3000, 'p');
    fake.status = head + "file 3000 " + integrity::Sha256Hex(fake.fileBytes.data(), 3000) +
                  " 201005231000N.dat\n";
    const std::string file = prefix() + "/drive_e/Backup/entry/20100523/201005231000N.dat";
    // Changed on every copy: refused, and nothing stays in the download folder.
    fake.corrupt = 100;
    const std::string reason = Refusal();
    EXPECT_NE(reason.find("arrived with other bytes than the recorder wrote"), std::string::npos)
        << reason;
    EXPECT_EQ(fake.served, 2);
    EXPECT_FALSE(fs::exists(file));
    // Changed once: the second copy is the recorder's and is taken.
    fake.corrupt = 1;
    fake.served = 0;
    const std::size_t from = receiver.Count();
    client.ReqSetAddBackupDataPath(Request());
    receiver.WaitFor(share::kCodeFetched, from);
    EXPECT_EQ(fake.served, 2);
    EXPECT_TRUE(ReadText(file) == fake.fileBytes);
}
