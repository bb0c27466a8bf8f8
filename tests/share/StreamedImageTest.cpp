// An image fetched while the server builds it, and one served from the recordings uncopied.
#include "LoopbackProxy.h"
#include "ShareFixture.h"
#include "backup/server/ShareServiceHasher.h"
#include "platform/AtomicFile.h"
#include "platform/WriteTap.h"

class StreamedImageTest : public ShareFixture {
  protected:
    // The listed file fetched whole through link, its digest the listed one: its bytes.
    static std::string Listed(share::ShareLink& link, const share::JobStatus& status,
                              const share::ListedFile& f) {
        std::string bytes;
        const auto r = link.Fetch(
            FilePath(status, f.name), 0, [](const auto& h) { return h.status == 200; },
            [&](const char* data, std::size_t n) { return bytes.append(data, n), true; });
        EXPECT_TRUE(r.complete && r.linkError.empty()) << f.name;
        EXPECT_EQ(Sha(bytes), f.sha256) << f.name;
        return bytes;
    }
    std::string Recording(const std::string& name) const {
        return driveC() + "/QorData/" + kDay + "/" + name;
    }
    // The recording's name now leads to a link to a copy of it elsewhere: the same bytes.
    void SwapForLink(const std::string& name) {
        const std::string copy = prefix() + "/elsewhere-" + name;
        fs::copy_file(Recording(name), copy);
        fs::rename(Recording(name), Recording(name) + ".kept");
        fs::create_symlink(copy, Recording(name));
    }
    // Another file with the same bytes takes the recording's name.
    void Replace(const std::string& name) {
        fs::copy_file(Recording(name), Recording(name) + ".new");
        fs::rename(Recording(name) + ".new", Recording(name));
    }
};

TEST_F(StreamedImageTest, FilesOfAFinishedMinuteAreServedWhileTheBuildGoesOn) {
    // The build waits at its third minute until the test has fetched what is listed by then.
    // Shared with the build, which goes on after the test's end until the server stops.
    const auto release = std::make_shared<Flag>();
    Serve("", [release](const std::string& item, const std::atomic<bool>& cancel) {
        if (item.find(std::string(kDay) + "1002") != std::string::npos)
            release->Wait(&cancel);
    });
    httplib::Client http("127.0.0.1", server->port());
    const std::string statusPath = StartImage(http, ImageRequest());
    std::optional<share::JobStatus> early;
    WaitUntil([&] {
        const share::JobStatus status = Status(http, statusPath);
        if (!status.files.empty() || status.state != share::JobState::kBuilding)
            early = status;
        return early.has_value();
    });
    ASSERT_TRUE(early) << "nothing was listed while the build went on";
    ASSERT_EQ(early->state, share::JobState::kBuilding) << "the build did not wait";
    EXPECT_EQ(early->entry, kEntry);
    share::ShareLink link("127.0.0.1", server->port(), "");
    for (const auto& f : early->files) {
        // Only minutes that are over: the build stands at 10:02.
        EXPECT_LT(ImageFileMinute(f.name), std::string(kDay) + "1002") << f.name;
        EXPECT_EQ(static_cast<long long>(Listed(link, *early, f).size()), f.size) << f.name;
    }
    release->Raise();
    const share::JobStatus done = WaitBuilt(http, statusPath);
    ASSERT_EQ(done.state, share::JobState::kDone) << done.problem;
    EXPECT_GT(done.files.size(), early->files.size());
    for (const auto& f : early->files) {
        const auto same = std::find_if(done.files.begin(), done.files.end(), [&](const auto& d) {
            return d.name == f.name && d.size == f.size && d.sha256 == f.sha256;
        });
        EXPECT_NE(same, done.files.end()) << f.name << " changed after it was listed";
    }
}

TEST_F(StreamedImageTest, AMinuteIsGivenOutWhenTheNextBeginsAndAFileWrittenAgainIsNamed) {
    const std::string root = driveC() + "/hashed";
    fs::create_directories(root + "/Audio");
    std::vector<std::pair<std::string, std::string>> given;
    ShareServiceHasher hasher(root, [&](const std::string& name, const integrity::FileDigest& d) {
        given.emplace_back(name, d.hex);
    });
    platform::ScopedWriteTap tap(&hasher);
    auto write = [&](const std::string& name, const std::string& bytes) {
        platform::AtomicFile f;
        ASSERT_TRUE(f.Create(root + "/" + name));
        ASSERT_TRUE(f.Write(bytes.data(), bytes.size()));
        ASSERT_TRUE(f.Commit());
    };
    const std::string a = "minute ten", b = "its audio", c = "minute eleven";
    write("201005231000N.dat", a);
    write("Audio/201005231000.au0", b);
    EXPECT_TRUE(given.empty());  // 10:00 may still be written again
    write("201005231001N.dat", c);
    ASSERT_EQ(given.size(), 2u);
    EXPECT_EQ(given[0], std::make_pair(std::string("201005231000N.dat"), Sha(a)));
    EXPECT_EQ(given[1], std::make_pair(std::string("Audio/201005231000.au0"), Sha(b)));
    // A file given out and then written again, or withdrawn: the finished list tells.
    write("201005231000N.dat", "minute ten again");
    ASSERT_TRUE(platform::WithdrawWrittenFile(root + "/Audio/201005231000.au0"));
    write("BackupInfo.dat", "no minute");  // as the entry's last file
    const ShareServiceHasher::Result result = hasher.Finish();
    EXPECT_EQ(result.republished,
              (std::set<std::string>{"201005231000N.dat", "Audio/201005231000.au0"}));
    EXPECT_EQ(result.files.count("Audio/201005231000.au0"), 0u);
    EXPECT_EQ(result.files.at("201005231000N.dat").hex, Sha("minute ten again"));
    EXPECT_EQ(result.files.at("201005231001N.dat").hex, Sha(c));
    EXPECT_EQ(result.files.count("BackupInfo.dat"), 1u);
    EXPECT_EQ(given.back().first, "BackupInfo.dat");  // given at the end
    EXPECT_EQ(ImageFileMinute("Audio/201005231000.au3"), "201005231000");
    EXPECT_EQ(ImageFileMinute("20100523.DAT"), "");
}

TEST_F(StreamedImageTest, TheFileConnectionOutlivesTheServerClosingItWhileIdle) {
    ServeWith({.limits = {.headTime = std::chrono::milliseconds(300)}});  // idle goes soon
    httplib::Client http("127.0.0.1", server->port());
    const share::JobStatus status = BuildImage(http);
    ASSERT_EQ(status.state, share::JobState::kDone) << status.problem;
    ASSERT_GE(status.files.size(), 2u);
    FaultProxy watch(server->port());
    share::ShareLink link("127.0.0.1", watch.port(), "");
    for (int round = 0; round < 2; ++round) {
        for (const auto& f : status.files)
            Listed(link, status, f);
        // Once the server has closed the idle connection, the next file needs a new one.
        ASSERT_TRUE(watch.WaitClosed(round + 1)) << "the server kept the idle connection";
    }
}

TEST_F(StreamedImageTest, AnAllCameraImageOfPastMinutesIsServedFromTheRecordingsUncopied) {
    Serve();
    const std::string day = driveC() + "/QorData/" + kDay;
    std::map<std::string, std::string> recorder;  // every file of the day with its digest
    for (const auto& name : NamesBelow(day))
        recorder[name] = Sha(ReadText(day + "/" + name));
    httplib::Client http("127.0.0.1", server->port());
    const share::JobStatus status = BuildImage(http, AllCameras());
    ASSERT_EQ(status.state, share::JobState::kDone) << status.problem;
    // Minutes 10:00 to 10:03: each its data and index file and the audio of its cameras, the
    // recorder's own bytes; no copy of them on the server.
    ASSERT_GE(status.files.size(), 8u);
    EXPECT_FALSE(fs::exists(ServerImage()));
    share::ShareLink link("127.0.0.1", server->port(), "");
    for (const auto& f : status.files) {
        ASSERT_TRUE(recorder.count(f.name)) << f.name << " is no file of the recorder";
        EXPECT_EQ(f.sha256, recorder[f.name]) << f.name;
        EXPECT_LE(ImageFileMinute(f.name), std::string(kDay) + "1003") << f.name;
        Listed(link, status, f);
    }
    // Only as they were hashed: a link put in a recording's place, or another file under its
    // name, is refused, even with the same bytes (names outside the list are ShareServerTest's).
    SwapForLink("201005231000N.dat");
    Replace("201005231001N.dat");
    EXPECT_EQ(http.Get(FilePath(status, "201005231000N.dat"))->status, 409);
    EXPECT_EQ(http.Get(FilePath(status, "201005231001N.dat"))->status, 409);
    EXPECT_EQ(http.Get(FilePath(status, "201005231002N.dat"))->status, 200);
    // The delete that ends the chain leaves the recordings (and the one kept aside) as they were.
    EXPECT_EQ(
        http.Post("/v1/delete", std::string("C:\\NetBackupTemp\\") + kEntry, "text/plain")->status,
        200);
    EXPECT_EQ(http.Get(FilePath(status, status.files[0].name))->status, 404);
    EXPECT_EQ(NamesBelow(day).size(), recorder.size() + 1);
}

// The recordings' digests are remembered between listings, but never over a change: a file
// written again in place, with its length, is hashed again.
TEST_F(StreamedImageTest, ARecordingChangedInPlaceBetweenTwoListingsIsListedWithItsNewDigest) {
    Serve();
    httplib::Client http("127.0.0.1", server->port());
    const std::string name = "201005231001N.dat";
    auto listedDigest = [&] {
        const share::JobStatus status = BuildImage(http, AllCameras());
        EXPECT_EQ(status.state, share::JobState::kDone) << status.problem;
        EXPECT_EQ(http.Post("/v1/delete", std::string("C:\\NetBackupTemp\\") + kEntry, "text/plain")
                      ->status,
                  200);
        for (const auto& f : status.files)
            if (f.name == name)
                return f.sha256;
        return std::string();
    };
    const std::string before = Sha(ReadText(Recording(name)));
    EXPECT_EQ(listedDigest(), before);
    {
        std::fstream same(Recording(name), std::ios::binary | std::ios::in | std::ios::out);
        same.put('\x5a');
    }
    const std::string after = Sha(ReadText(Recording(name)));
    ASSERT_NE(after, before);
    EXPECT_EQ(listedDigest(), after);
}

TEST_F(StreamedImageTest, TheClientEndsTheBackupNamingTheFileThatIsNoLongerTheListedOne) {
    Serve();
    share::HttpShareClient client;
    client.Connect("127.0.0.1", server->port());
    RecordingEvents events;
    // Once the list holds the first file (10:00's data), and before anything is fetched, a link
    // with its bytes takes its place.
    backup::FetchRequest request = Fetch(AllCameras());
    request.prepareFolder = [&] {
        SwapForLink("201005231000N.dat");
        return platform::Succeeded();
    };
    const backup::FetchResult ended = client.FetchEntry(request, events);
    ASSERT_FALSE(ended.fetched) << "the backup went on with a file that is not the listed one";
    EXPECT_HAS(ended.why, "201005231000N.dat");
    EXPECT_HAS(ended.why, "409");
    EXPECT_EQ(events.Count("downloaded"), 0u);
    EXPECT_FALSE(fs::exists(Downloaded() + "/201005231000N.dat"));
}

TEST_F(StreamedImageTest, FilesAnnouncedBeforeADirectListingGivesUpStayServedUntilTheCopyHasThem) {
    ShareService service(serveSettings);
    const _BACKUPMAKEIMAGE request = AllCameras();
    const std::string day = driveC() + "/QorData/" + kDay;
    std::string first;  // the first file the listing from the recordings announced
    int unserved = 0;   // times it could not be served while the build went on
    const std::atomic<bool> cancel{false};
    auto ready = [&](const std::string& entry, const ShareService::ImageFile& f) {
        if (!first.empty())
            return;
        first = f.name;
        // Every other file of the day grows by a byte: the listing finds its next file not as
        // it found it first, and the entry goes to the copy.
        for (const auto& name : NamesBelow(day))
            if (name != first)
                std::ofstream(day + "/" + name, std::ios::binary | std::ios::app).put('\0');
        EXPECT_NE(service.ImageFilePath(entry, f.name), "");
    };
    auto progress = [&](const std::string&, std::uint32_t, std::uint32_t) {
        if (!first.empty() && service.ImageFilePath(kEntry, first).empty())
            ++unserved;
    };
    const ShareService::Image image = service.MakeImage(request, progress, cancel, ready);
    ASSERT_FALSE(first.empty()) << "no file was announced from the recordings";
    EXPECT_EQ(image.problem, "");
    EXPECT_EQ(unserved, 0) << first << " went unserved after it was announced";
    // The copy's own file is served in the end, not the recording that changed.
    EXPECT_LACKS(service.ImageFilePath(kEntry, first), "QorData");
}
