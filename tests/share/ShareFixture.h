#pragma once
// What the share tests have in common: a recorder on C: with a share server over it and a
// download drive E:, sites of the test's own, and what a share client's fetch tells.
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Has.h"
#include "RawClient.h"
#include "ScopedEnv.h"
#include "TestEnv.h"
#include "TlsFiles.h"
#include "Wait.h"
#include "backup/remote/RemoteRecorder.h"
#include "backup/server/ShareService.h"
#include "integrity/Sha256.h"
#include "mkrec/Recorder.h"
#include "platform/File.h"
#include "platform/Signals.h"
#include "records/RemoteRecords.h"
#include "share/HttpPictureSource.h"
#include "share/HttpShareClient.h"
#include "share/MhdServer.h"
#include "share/ShareLink.h"
#include "share/ShareProtocol.h"
#include "share/ShareReplies.h"
#include "share/ShareServer.h"
#include "share/TlsServer.h"
#include "share/TlsTrust.h"

namespace fs = std::filesystem;

// As every program of ours does at its start: the in-process server writing to a client that
// went away (a dropped connection, a cancel) fails that write instead of ending the test program.
inline const bool kBrokenPipesIgnored = (platform::IgnoreBrokenPipes(), true);

// Raised by one thread, waited for by another: a step of a build the test holds. A wait also
// ends when `cancel` (the server's, which notifies nobody) holds.
struct Flag {
    std::atomic<bool> up{false};
    void Raise() { up = true; }
    bool Wait(const std::atomic<bool>* cancel = nullptr) {
        WaitUntil([&] { return up || (cancel && *cancel); });
        return up;
    }
};

// One event of a fetch: a status text, an item's progress, or "downloaded".
struct Told {
    std::string kind;  // "status", "progress", "download", "downloaded"
    std::string text;  // the status text, or the progress's item
    std::uint32_t total = 0, done = 0;
};

inline std::string Sha(const std::string& bytes) {
    return integrity::Sha256Hex(bytes.data(), bytes.size());
}

// Files below a host folder, relative and with '/' between folders, in order.
inline std::vector<std::string> NamesBelow(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : FilesBelow(folder))
        names.push_back(name);
    return names;
}

// Keeps what a fetch tells, on the client's threads.
class RecordingEvents : public backup::IFetchEvents {
  public:
    void Status(const std::string& text) override { Keep({"status", text}); }
    void Progress(const std::string& item, std::uint32_t total, std::uint32_t done) override {
        Keep({"progress", item, total, done});
    }
    void DownloadBegins(int) override { Keep({"download"}); }
    void Downloaded() override { Keep({"downloaded"}); }
    std::vector<Told> All() {
        std::lock_guard<std::mutex> lock(m_);
        return told_;
    }
    std::size_t Count(const std::string& kind) {
        std::lock_guard<std::mutex> lock(m_);
        return static_cast<std::size_t>(std::count_if(
            told_.begin(), told_.end(), [&](const Told& t) { return t.kind == kind; }));
    }
    // Called on the client's thread before the event is kept.
    std::function<void(const Told&)> onEvent;

  private:
    void Keep(const Told& t) {
        if (onEvent)
            onEvent(t);
        std::lock_guard<std::mutex> lock(m_);
        told_.push_back(t);
    }
    std::mutex m_;
    std::vector<Told> told_;
};

// The answer a request's reply gets, waited for; a guard of two minutes keeps a broken link from
// hanging the run.
template <class Answer, class Ask>
Answer Answered(Ask ask) {
    auto got = std::make_shared<std::promise<Answer>>();
    std::future<Answer> answer = got->get_future();
    ask([got](const Answer& a) { got->set_value(a); });
    EXPECT_EQ(answer.wait_for(std::chrono::minutes(2)), std::future_status::ready) << "no answer";
    return answer.valid() ? answer.get() : Answer{};
}
inline backup::DayIndexAnswer IndexOf(backup::RemoteRecorder& client, const std::string& day) {
    return Answered<backup::DayIndexAnswer>([&](auto reply) { client.DayIndex(day, reply); });
}
inline backup::EntrySizeAnswer SizeOf(backup::RemoteRecorder& client,
                                      const _BACKUPADDTOTALSIZE& request) {
    return Answered<backup::EntrySizeAnswer>([&](auto reply) { client.EntrySize(request, reply); });
}

// A server of the test's own on the HTTP library, serving its routes on a loopback port.
class FakeHttp {
  public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
    explicit FakeHttp(const std::function<void(httplib::Server&)>& routes) {
        routes(http);
        port = http.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { http.listen_after_bind(); });
        // Bound and listening already; stop() only takes once the accepting loop runs.
        WaitUntil([this] { return http.is_running(); });
    }
    ~FakeHttp() {
        http.stop();
        thread.join();
    }
    httplib::Server http;
    int port = 0;
    std::thread thread;
};

inline share::TlsTrust Trust(const std::string& pin, const std::string& caFile = "") {
    return {.on = true, .caFile = caFile, .pin = pin};
}

inline std::shared_ptr<share::ServerTls> LoadTls(const std::string& cert, const std::string& key) {
    auto tls = share::ServerTls::Load(cert, key);
    EXPECT_TRUE(tls) << tls.error().Said();
    return tls ? *tls : nullptr;
}

inline char FileByte(unsigned long long at) {
    return static_cast<char>((at * 7 + at / 4093) % 251);
}

// A site of the test's own on our HTTP server: "quick" (a POST's body echoed) at any path but
// /file, which is `fileBytes` bytes that tell where they were, far more than the sockets' buffers
// hold; `handled` counts the requests that reached it.
class SiteFixture : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        site.handle = [this](const share::HttpRequest& req, share::HttpResponse& res) {
            ++handled;
            if (req.path != "/file")
                return res.Text(200, req.method == "POST" ? "got " + req.body : "quick");
            res.contentType = "application/octet-stream";
            res.fileLength = fileBytes;
            res.file = TheFile();
        };
    }
    void TearDown() override {
        if (server)
            server->Stop();
        TempPrefixTest::TearDown();
    }
    void Serve(share::MhdServer::Limits limits = {},
               std::shared_ptr<share::ServerTls> tls = nullptr) {
        if (server)
            server->Stop();
        server = std::make_unique<share::MhdServer>(site, limits, std::move(tls));
        const platform::Outcome started = server->Start("127.0.0.1", 0);
        ASSERT_TRUE(started) << started.error().Said();
    }
    share::HttpSite site;
    std::atomic<int> handled{0};
    long long fileBytes = 3 * 1024 * 1024 + 123;
    // The file of /file, made at its first request: its first bytes tell where they are, and
    // what is beyond them is a hole (a reply far larger than a socket holds costs no disk).
    std::shared_ptr<platform::File> TheFile() {
        std::lock_guard<std::mutex> lock(fileMutex);
        if (!file) {
            const std::string path = prefix() + "/served";
            std::string head(static_cast<std::size_t>(std::min(fileBytes, 8LL << 20)), '\0');
            for (std::size_t i = 0; i < head.size(); ++i)
                head[i] = FileByte(i);
            WriteText(path, head);
            if (fileBytes > static_cast<long long>(head.size()))
                std::filesystem::resize_file(path, static_cast<std::uintmax_t>(fileBytes));
            file = std::make_shared<platform::File>();
            EXPECT_TRUE(file->OpenResolved(path, platform::File::kRead));
        }
        return file;
    }
    std::mutex fileMutex;
    std::shared_ptr<platform::File> file;
    std::unique_ptr<share::MhdServer> server;
};

class ShareFixture : public TempPrefixTest {
  protected:
    static constexpr const char* kDay = "20100523";
    static constexpr const char* kEntry = "2010_05_23=10,00~10,03";
    static constexpr const char* kFolder = "E:\\Backup\\2010_05_23=10,00~10,03\\20100523\\";
    void SetUp() override {
        TempPrefixTest::SetUp();
        MapDrive('E', "removable");
        mkrec::RecorderPlan plan{.root = "C:\\QorData", .days = {kDay}, .lastMinute = 605};
        plan.fps = 2;
        plan.width = 64;
        plan.height = 48;
        plan.audioChannels = 1;
        plan.audioBytesPerMinute = 3000;
        mkrec::MakeRecordings(plan);
    }
    void TearDown() override {
        if (server)
            server->Stop();
        server.reset();
        TempPrefixTest::TearDown();
    }
    void Serve(const std::string& token = "",
               std::function<void(const std::string&, const std::atomic<bool>&)> onBuild = {}) {
        ServeWith({.token = token, .onBuildItem = std::move(onBuild)});
    }
    void ServeWith(share::ShareServer::Options options) {
        if (server)
            server->Stop();
        server = std::make_unique<share::ShareServer>(serveSettings, std::move(options));
        const platform::Outcome started = server->Start("127.0.0.1", 0);
        ASSERT_TRUE(started) << started.error().Said();
    }
    // The image request the worker sends for slot 5: 10:00 to 10:03 of cameras 1 and 3.
    static _BACKUPMAKEIMAGE ImageRequest(const std::string& endHhmm = "1003") {
        _BACKUPMAKEIMAGE r{};
        r.nTargetType = 3;
        r.nSlot = 5;
        r.entry.bUsed = r.entry.bPending = 1;
        SetKeys(r.entry, std::string(kDay) + "1000", std::string(kDay) + endHhmm);
        r.entry.bCam[0] = r.entry.bCam[2] = 1;
        return r;
    }
    // The same of every camera: an image served from the recordings themselves.
    static _BACKUPMAKEIMAGE AllCameras() {
        _BACKUPMAKEIMAGE request = ImageRequest();
        request.entry.bAllCam = 1;
        std::fill(std::begin(request.entry.bCam), std::begin(request.entry.bCam) + 4, 1u);
        return request;
    }
    static _BACKUPADDTOTALSIZE SizeRequest(const _INDEXREPLY& index) {
        _BACKUPADDTOTALSIZE r{};
        std::strcpy(r.szDay, kDay);
        std::strcpy(r.szStart, "1000");
        std::strcpy(r.szEnd, "1003");
        std::strcpy(r.szEntry, kEntry);
        std::memcpy(r.bHourHasRec, index.bHourHasRec, sizeof r.bHourHasRec);
        std::memcpy(r.bMinuteHasRec, index.bMinuteHasRec, sizeof r.bMinuteHasRec);
        r.bCamSel[0] = r.bCamSel[2] = 1;
        r.nCamCount = 4;
        return r;
    }
    // The fetch of image into folder as the core asks for it: the recorder's copy removed at
    // the end, the folder taken as it is, a cancel of its own.
    static backup::FetchRequest Fetch(const _BACKUPMAKEIMAGE& image,
                                      const std::string& folder = kFolder) {
        backup::FetchRequest r;
        r.image = image;
        r.folder = folder;
        r.tempData = std::string(kNetTempRoot) + "\\" + kEntry;
        r.prepareFolder = [] { return platform::Succeeded(); };
        r.cancel = std::make_shared<backup::FetchCancel>();
        return r;
    }
    // Starts the image of request, for client when one is named; the path of its status.
    static std::string StartImage(httplib::Client& http, const _BACKUPMAKEIMAGE& request,
                                  const std::string& client = "") {
        auto started =
            http.Post(client.empty() ? std::string("/v1/image") : "/v1/image?client=" + client,
                      std::string(reinterpret_cast<const char*>(&request), sizeof request),
                      share::kBinaryType);
        EXPECT_TRUE(started && started->status == 200);
        return "/v1/image/" + (started ? started->body : std::string("0"));
    }
    static share::JobStatus Status(httplib::Client& http, const std::string& path) {
        auto res = http.Get(path);
        std::string why;
        auto status = res ? share::ParseJobStatus(res->body, &why) : std::nullopt;
        EXPECT_TRUE(status) << why;
        return status.value_or(share::JobStatus{});
    }
    // Polls the status of path (nothing else tells) until the build is over; the last status.
    static share::JobStatus WaitBuilt(httplib::Client& http, const std::string& path) {
        share::JobStatus status;
        EXPECT_TRUE(WaitUntil([&] {
            status = Status(http, path);
            return status.state != share::JobState::kBuilding;
        })) << "the build did not end";
        return status;
    }
    static share::JobStatus BuildImage(httplib::Client& http,
                                       const _BACKUPMAKEIMAGE& request = ImageRequest(),
                                       const std::string& client = "") {
        return WaitBuilt(http, StartImage(http, request, client));
    }
    static std::string FilePath(const share::JobStatus& status, const std::string& name) {
        return "/v1/file?entry=" + share::QueryValue(status.entry) +
               "&name=" + share::QueryValue(name);
    }
    std::string ServerImage() const { return driveC() + "/NetBackupTemp/" + kEntry; }
    std::string Downloaded() const { return prefix() + "/drive_e/Backup/" + kEntry + "/" + kDay; }
    std::unique_ptr<share::ShareServer> server;
    ShareService::Settings serveSettings{{}, "C:\\QorData", 4};  // what Serve starts with
};
