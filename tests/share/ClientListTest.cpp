// HttpShareClient following a list that changes while the server builds: a file the server
// withdraws is neither a failure when it cannot be fetched any more nor kept (or hashed into
// the image) when it was fetched already; and once the status cannot be had, the files still
// queued are not fetched: the entry ends at once with the link's reason.
#include <httplib.h>

#include <atomic>
#include <functional>
#include <thread>

#include "ShareFixture.h"
#include "integrity/ImageHasher.h"
#include "integrity/Sha256.h"

namespace {

// A server whose status and file answers a test writes; it counts what it was asked.
class ScriptedServer {
  public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
    ScriptedServer() {
        http.Post("/v1/image", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("1", "text/plain");
        });
        http.Get("/v1/image/1", [this](const httplib::Request& req, httplib::Response& res) {
            ++polls;
            status(req, res);
        });
        http.Post("/v1/image/1/cancel", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("cancelled\n", "text/plain");
        });
        http.Get("/v1/file", [this](const httplib::Request& req, httplib::Response& res) {
            ++files;
            file(req, res);
        });
        port = http.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { http.listen_after_bind(); });
        while (!http.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~ScriptedServer() {
        http.stop();
        thread.join();
    }
    httplib::Server http;
    Handler status, file;
    std::atomic<int> polls{0}, files{0};
    int port = 0;
    std::thread thread;
};

std::string Line(const std::string& name, const std::string& bytes) {
    return "file " + std::to_string(bytes.size()) + " " +
           integrity::Sha256Hex(bytes.data(), bytes.size()) + " " + name + "\n";
}

}  // namespace

class ClientListTest : public FakeServerClientTest<ScriptedServer> {
  protected:
    // Runs an image chain until it has fetched the image (code 5) or ended (code 7); which.
    unsigned long RunChain(std::string* reason) {
        const std::size_t from = receiver.Count();
        _BACKUPMAKEIMAGE request{};
        request.nSlot = 2;
        client.ReqSetAddBackupDataPath(request);
        for (int i = 0; i < 3000; ++i) {
            const auto all = receiver.All();
            for (std::size_t k = from; k < all.size(); ++k) {
                const Answer& a = all[k];
                if (a.message == share::kShareMessage &&
                    (a.code == share::kCodeFetched || a.code == share::kCodeEnded)) {
                    *reason = a.text;
                    return a.code;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ADD_FAILURE() << "the chain did not end";
        return 0;
    }
    std::string Folder() const { return prefix() + "/drive_e/Backup/entry/20100523"; }
};

TEST_F(ClientListTest, AFileWithdrawnWhileTheServerBuildsIsNeitherAFailureNorKept) {
    // Three files while building. The index is fetched and then withdrawn; the 10:01 data file
    // is withdrawn before it is fetched, so the server answers it with 404 (or 409). Both as
    // changes after a number, and as a server without numbers lists them: the whole list.
    const std::string dat = "minute ten", idx = "its index", next = "minute eleven";
    const std::string entry = "state building\nentry 2010_05_23=10,00~10,03\n";
    for (const bool numbered : {true, false}) {
        SCOPED_TRACE(numbered ? "changes after a number" : "whole lists");
        std::filesystem::remove_all(Folder());
        std::atomic<bool> idxServed{false}, nextAsked{false};
        fake.file = [&](const httplib::Request& req, httplib::Response& res) {
            const std::string name = req.get_param_value("name");
            if (name == "201005231000N.dat")
                res.set_content(dat, "application/octet-stream");
            else if (name == "201005231000N.idx")
                res.set_content(idx, "application/octet-stream");
            else
                res.status = 404;
            if (name == "201005231000N.idx")
                idxServed = true;
            if (name == "201005231001N.dat")
                nextAsked = true;
        };
        fake.status = [&](const httplib::Request& req, httplib::Response& res) {
            const std::string since = req.get_param_value("since");
            const bool changed = idxServed && nextAsked;
            std::string text;
            if (!numbered) {
                text = changed
                           ? "state done\nentry 2010_05_23=10,00~10,03\n" +
                                 Line("201005231000N.dat", dat)
                           : entry + Line("201005231000N.dat", dat) +
                                 Line("201005231000N.idx", idx) + Line("201005231001N.dat", next);
            } else if (since == "0" || since.empty()) {
                text = entry + "list 10\nfrom 0\n" + Line("201005231000N.dat", dat) +
                       Line("201005231000N.idx", idx) + Line("201005231001N.dat", next);
            } else if (!changed) {
                text = entry + "list 10\nfrom " + since + "\n";
            } else {
                text = "state done\nentry 2010_05_23=10,00~10,03\nlist 12\nfrom " + since +
                       "\ngone 201005231000N.idx\ngone 201005231001N.dat\n";
            }
            res.set_content(text, "text/plain");
        };
        // The image's hashing, as the core gives it to the link.
        auto hasher = std::make_shared<integrity::ImageHasher>(prefix() + "/drive_e/Backup");
        client.SetWriteTap(hasher);
        std::string reason;
        EXPECT_EQ(RunChain(&reason), share::kCodeFetched) << reason;
        client.SetWriteTap(nullptr);
        EXPECT_TRUE(idxServed && nextAsked);
        EXPECT_EQ(NamesBelow(Folder()), std::vector<std::string>{"201005231000N.dat"});
        const integrity::ImageHasher::Result hashed = hasher->Finish();
        ASSERT_EQ(hashed.files.size(), 1u);
        EXPECT_EQ(hashed.files.begin()->first, "entry/20100523/201005231000N.dat");
    }
}

TEST_F(ClientListTest, AStatusThatCannotBeHadEndsTheEntryWithoutFetchingWhatIsQueued) {
    // Twenty files listed; every later status fails. The files are held by the server until
    // the failure has been answered, so that all but the two being fetched are still queued.
    std::string list = "state building\nentry 2010_05_23=10,00~10,03\n";
    for (int i = 0; i < 20; ++i)
        list += Line("Audio/20100523100" + std::to_string(i / 10) + ".au" + std::to_string(i % 10),
                     "abcd");
    std::atomic<bool> release{false};
    fake.status = [&](const httplib::Request&, httplib::Response& res) {
        if (fake.polls == 1)
            res.set_content(list, "text/plain");
        else
            res.status = 500;
    };
    fake.file = [&](const httplib::Request&, httplib::Response& res) {
        for (int i = 0; i < 1000 && !release; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        res.set_content("abcd", "application/octet-stream");
    };
    // Released once the client says why it ends the entry: nothing queued may start after that.
    const std::size_t from = receiver.Count();
    std::thread releaser([&] {
        const auto said = [&] {
            const auto all = receiver.All();
            for (std::size_t k = from; k < all.size(); ++k)
                if (all[k].code == share::kCodeStatus &&
                    all[k].text.find("HTTP 500") != std::string::npos)
                    return true;
            return false;
        };
        for (int i = 0; i < 2000 && !said(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        release = true;
    });
    std::string reason;
    const unsigned long code = RunChain(&reason);
    releaser.join();
    EXPECT_EQ(code, share::kCodeEnded);
    EXPECT_NE(reason.find("HTTP 500"), std::string::npos) << reason;
    // The two being fetched when the status failed, and none of those queued behind them.
    EXPECT_LE(fake.files, 2);
}
