// HttpShareClient against a server that lies or changes its mind.
#include "ShareFixture.h"
#include "integrity/ImageHasher.h"

namespace {
// A finished image's status before its files.
const std::string kReady = "state done\nentry 2010_05_23=10,00~10,03\n";
FakeHttp::Handler Text(const std::string& text) {
    return [text](const httplib::Request&, httplib::Response& res) {
        res.set_content(text, "text/plain");
    };
}

std::string Line(const std::string& name, const std::string& bytes) {
    return "file " + std::to_string(bytes.size()) + " " + Sha(bytes) + " " + name + "\n";
}
}  // namespace

// The routes of a share server with answers a test scripts; it counts what it was asked.
struct ScriptedServer {
    using Handler = FakeHttp::Handler;
    Handler status, file;
    std::string record;  // the answer to /v1/index and /v1/size
    std::atomic<int> polls{0}, files{0}, cancels{0};
    FakeHttp http{[this](httplib::Server& s) {
        s.Post("/v1/image", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("1", "text/plain");
        });
        s.Get("/v1/image/1", [this](const httplib::Request& req, httplib::Response& res) {
            ++polls;
            status(req, res);
        });
        s.Post("/v1/image/1/cancel", [this](const httplib::Request&, httplib::Response& res) {
            ++cancels;
            res.set_content("cancelled\n", "text/plain");
        });
        for (const char* path : {"/v1/index", "/v1/size"})
            s.Post(path, [this](const httplib::Request&, httplib::Response& res) {
                res.set_content(record, "application/octet-stream");
            });
        s.Get("/v1/file", [this](const httplib::Request& req, httplib::Response& res) {
            ++files;
            file(req, res);
        });
    }};
};

// A share client on a ScriptedServer, fetching into E:\Backup\entry\20100523.
class HostileServerTest : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        MapDrive('E', "removable");
        client.Connect("127.0.0.1", fake.http.port);
    }
    std::string Folder() const { return prefix() + "/drive_e/Backup/entry/20100523"; }
    // Runs one image chain, its files seen by tap, the folder looked at by prepare.
    backup::FetchResult Chain(std::shared_ptr<platform::WriteTap> tap = nullptr,
                              std::function<platform::Outcome()> prepare = {}) {
        backup::FetchRequest request;
        request.image.nSlot = 2;
        request.folder = "E:\\Backup\\entry\\20100523\\";
        request.tempData = "C:\\NetBackupTemp\\entry";
        request.cancel = std::make_shared<backup::FetchCancel>();
        request.tap = std::move(tap);
        request.prepareFolder = std::move(prepare);
        return client.FetchEntry(request, events);
    }
    // Why a chain ended without its image.
    std::string Refusal() {
        const backup::FetchResult r = Chain();
        EXPECT_FALSE(r.fetched);
        return r.why;
    }
    void Serve(const std::string& bytes) {
        fake.file = [bytes](const httplib::Request&, httplib::Response& res) {
            res.set_content(bytes, "application/octet-stream");
        };
    }
    ScriptedServer fake;
    share::HttpShareClient client;
    RecordingEvents events;
};

// Which names are refused, and why, is ShareRepliesTest's; here that nothing comes of them.
TEST_F(HostileServerTest, NamesLeadingOutOfTheDownloadFolderAreRefusedBeforeAnythingIsWritten) {
    const auto before = FilesBelow(prefix());
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Audio/../../escaped", "climbs"}, {"/tmp/escaped", "absolute"}};
    Serve("12345");
    for (const auto& [name, why] : cases) {
        fake.status = Text(kReady + Line(name, "12345"));
        const std::string reason = Refusal();
        EXPECT_HAS(reason, why);
        EXPECT_HAS(reason, "bad image status");
    }
    // A refused listing is never downloaded, and the server is told to drop its image.
    EXPECT_EQ(events.Count("status"), 0u);
    EXPECT_EQ(fake.cancels, static_cast<int>(cases.size()));
    EXPECT_EQ(FilesBelow(prefix()), before);
}

// The core looks at the folder again just before the download.
TEST_F(HostileServerTest, AFolderTheCoreRefusesGetsNothingAndTheServerDropsItsImage) {
    fake.status = Text(kReady + Line("a.dat", "12345"));
    Serve("12345");
    const backup::FetchResult r = Chain(nullptr, [] {
        return platform::Error{platform::Error::Kind::kRefused, "leads outside the target",
                               "E:\\Backup"};
    });
    EXPECT_FALSE(r.fetched);
    EXPECT_EQ(r.why, "E:\\Backup leads outside the target");
    EXPECT_EQ(fake.files, 0);
    EXPECT_EQ(fake.cancels, 1);
}

TEST_F(HostileServerTest, AFileLargerThanListedIsRefusedAndLeavesNoPartBehind) {
    fake.status = Text(kReady + "file 4 " + std::string(64, '0') + " Audio/x.wav\n");
    const std::string bytes(4096, 'x');
    // Its length said first ...
    Serve(bytes);
    EXPECT_HAS(Refusal(), "larger than it announced");
    // ... or only found out while it arrives.
    fake.file = [&](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("application/octet-stream",
                                         [&](std::size_t, httplib::DataSink& sink) {
                                             sink.write(bytes.data(), bytes.size());
                                             sink.done();
                                             return true;
                                         });
    };
    EXPECT_HAS(Refusal(), "more of Audio/x.wav than the 4 bytes");
    EXPECT_EQ(FilesBelow(Folder()), (std::map<std::string, std::string>{}));
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
        {"state failed\nproblem the disk is full\n", "could not make the image: the disk is full"},
    };
    for (const auto& [status, why] : cases) {
        fake.status = Text(status);
        EXPECT_HAS(Refusal(), why) << status;
    }
}

TEST_F(HostileServerTest, RecordsOfTheWrongSizeAreAnsweredAsFailures) {
    fake.record = std::string(100, '\1');
    const backup::DayIndexAnswer index = IndexOf(client, "20100523");
    EXPECT_FALSE(index.index);
    EXPECT_HAS(index.why, "index reply of 100 bytes, expected 98284");
    _BACKUPADDTOTALSIZE request{};
    fake.record = std::string(sizeof(_ADDSIZEREPLY) + 1, '\1');
    const backup::EntrySizeAnswer size = SizeOf(client, request);
    EXPECT_FALSE(size.size);
    EXPECT_HAS(size.why, "longer than 56 bytes");
}

TEST_F(HostileServerTest, BytesChangedOnTheWayAreFetchedAgainAndNeverTakenIn) {
    const std::string bytes(3000, 'p');
    fake.status = Text(kReady + Line("201005231000N.dat", bytes));
    // A path that changes bytes: every copy, or only the first.
    std::atomic<int> corrupt{100};
    fake.file = [&](const httplib::Request&, httplib::Response& res) {
        std::string sent = bytes;
        if (corrupt > 0 && corrupt--)
            sent[sent.size() / 2] = '\0';
        res.set_content(sent, "application/octet-stream");
    };
    const std::string file = Folder() + "/201005231000N.dat";
    // Changed on every copy: refused, and nothing stays in the download folder.
    EXPECT_HAS(Refusal(), "arrived with other bytes than the recorder wrote");
    EXPECT_EQ(fake.files, 2);
    EXPECT_FALSE(fs::exists(file));
    // Changed once: the second copy is the recorder's and is taken.
    corrupt = 1;
    fake.files = 0;
    EXPECT_TRUE(Chain().fetched);
    EXPECT_EQ(fake.files, 2);
    EXPECT_TRUE(ReadText(file) == bytes);
}

TEST_F(HostileServerTest, AFileWithdrawnWhileTheServerBuildsIsNeitherAFailureNorKept) {
    // Three files while building. The index is fetched and then withdrawn; the 10:01 data file
    // is withdrawn before it is fetched, so the server answers it with 404 (or 409). Both as
    // changes after a number, and as a server without numbers lists them: the whole list.
    const std::string dat = "minute ten", idx = "its index", next = "minute eleven";
    const std::string entry = "state building\nentry 2010_05_23=10,00~10,03\n";
    const std::string& done = kReady;
    const std::string three = Line("201005231000N.dat", dat) + Line("201005231000N.idx", idx) +
                              Line("201005231001N.dat", next);
    for (const bool numbered : {true, false}) {
        SCOPED_TRACE(numbered ? "changes after a number" : "whole lists");
        fs::remove_all(Folder());
        std::atomic<bool> idxServed{false}, nextAsked{false};
        fake.file = [&](const httplib::Request& req, httplib::Response& res) {
            const std::string name = req.get_param_value("name");
            if (name == "201005231000N.dat")
                res.set_content(dat, "application/octet-stream");
            else if (name == "201005231000N.idx")
                res.set_content(idx, "application/octet-stream");
            else
                res.status = 404;
            idxServed = idxServed || name == "201005231000N.idx";
            nextAsked = nextAsked || name == "201005231001N.dat";
        };
        fake.status = [&](const httplib::Request& req, httplib::Response& res) {
            const std::string since = req.get_param_value("since");
            const bool changed = idxServed && nextAsked;
            std::string text;
            if (!numbered)
                text = changed ? done + Line("201005231000N.dat", dat) : entry + three;
            else if (since == "0" || since.empty())
                text = entry + "list 10\nfrom 0\n" + three;
            else if (!changed)
                text = entry + "list 10\nfrom " + since + "\n";
            else
                text = done + "list 12\nfrom " + since +
                       "\ngone 201005231000N.idx\ngone 201005231001N.dat\n";
            res.set_content(text, "text/plain");
        };
        // The image's hashing, as the core gives it to the link.
        auto hasher = std::make_shared<integrity::ImageHasher>(prefix() + "/drive_e/Backup");
        const backup::FetchResult a = Chain(hasher);
        EXPECT_TRUE(a.fetched) << a.why;
        EXPECT_TRUE(idxServed && nextAsked);
        EXPECT_EQ(NamesBelow(Folder()), std::vector<std::string>{"201005231000N.dat"});
        const integrity::ImageHasher::Result hashed = hasher->Finish();
        ASSERT_EQ(hashed.files.size(), 1u);
        EXPECT_EQ(hashed.files.begin()->first, "entry/20100523/201005231000N.dat");
    }
}

TEST_F(HostileServerTest, AStatusThatCannotBeHadEndsTheEntryWithoutFetchingWhatIsQueued) {
    // Twenty files listed; every later status fails. The files are held by the server until
    // the client has said why it ends the entry, so that all but the two being fetched are
    // still queued: none of those may start after that.
    std::string list = "state building\nentry 2010_05_23=10,00~10,03\n";
    for (int i = 0; i < 20; ++i)
        list += Line("Audio/20100523100" + std::to_string(i / 10) + ".au" + std::to_string(i % 10),
                     "abcd");
    fake.status = [&](const httplib::Request&, httplib::Response& res) {
        if (fake.polls == 1)
            res.set_content(list, "text/plain");
        else
            res.status = 500;
    };
    // Shared with the client's thread, which may answer after the test's end.
    struct Release {
        std::promise<void> said;
        std::shared_future<void> heard = said.get_future().share();
        std::atomic<bool> done{false};
    };
    const auto release = std::make_shared<Release>();
    fake.file = [heard = release->heard](const httplib::Request&, httplib::Response& res) {
        heard.wait_for(std::chrono::seconds(5));
        res.set_content("abcd", "application/octet-stream");
    };
    events.onEvent = [release](const Told& t) {
        if (t.kind == "status" && t.text.find("HTTP 500") != std::string::npos &&
            !release->done.exchange(true))
            release->said.set_value();
    };
    const backup::FetchResult a = Chain();
    EXPECT_FALSE(a.fetched);
    EXPECT_HAS(a.why, "HTTP 500");
    // The two being fetched when the status failed, and none of those queued behind them.
    EXPECT_LE(fake.files, 2);
}
