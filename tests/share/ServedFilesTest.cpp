// Files served from the recordings are served only as they were hashed: a link put in a
// recording's place, or another file under its name, is refused, even with the same bytes, and
// the client ends the backup naming the file instead of taking it.
#include <httplib.h>

#include <filesystem>

#include "ShareFixture.h"
#include "share/HttpShareClient.h"
#include "share/ShareLink.h"

namespace fs = std::filesystem;

class ServedFilesTest : public ShareFixture {
  protected:
    static _BACKUPMAKEIMAGE AllCameras() {
        _BACKUPMAKEIMAGE request = ImageRequest();
        request.entry.bAllCam = 1;
        std::fill(std::begin(request.entry.bCam), std::begin(request.entry.bCam) + 4, 1u);
        return request;
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

TEST_F(ServedFilesTest, ALinkOrAnotherFileInARecordingsPlaceIsRefused) {
    Serve();
    httplib::Client http("127.0.0.1", server->port());
    const _BACKUPMAKEIMAGE request = AllCameras();
    const share::JobStatus status = BuildOnServer(http, request);
    ASSERT_EQ(status.state, share::JobState::kDone) << status.problem;
    ASSERT_FALSE(fs::exists(ServerImage()))
        << "the image was copied, not served from the recordings";
    auto get = [&](const std::string& name) {
        return http
            .Get("/v1/file?entry=" + share::QueryValue(kEntry) + "&name=" + share::QueryValue(name))
            ->status;
    };
    EXPECT_EQ(get("201005231000N.dat"), 200);
    SwapForLink("201005231000N.dat");
    Replace("201005231001N.dat");
    EXPECT_EQ(get("201005231000N.dat"), 409);
    EXPECT_EQ(get("201005231001N.dat"), 409);
    EXPECT_EQ(get("201005231002N.dat"), 200);  // as it was hashed
}

TEST_F(ServedFilesTest, TheClientEndsTheBackupNamingTheFileThatIsNoLongerTheListedOne) {
    Serve();
    RecordingReceiver receiver;  // outlives the client, which may post until it is gone
    share::HttpShareClient client;
    client.Connect("127.0.0.1", server->port(), &receiver);
    DriveChain(client, receiver);
    // Once the list holds the first file (10:00's data), and before anything is fetched, a link
    // with its bytes takes its place.
    receiver.onAnswer = [&, drive = receiver.onAnswer](const Answer& a) {
        if (a.message == share::kShareMessage && a.code == share::kCodeDownload)
            SwapForLink("201005231000N.dat");
        drive(a);
    };
    client.ReqSetAddBackupDataPath(AllCameras());
    // Ended (7), or, were the link taken for the file, fetched and deleted (6).
    for (int i = 0; i < 3000; ++i) {
        const auto codes = receiver.Codes();
        if (std::count(codes.begin(), codes.end(), share::kCodeEnded) +
                std::count(codes.begin(), codes.end(), share::kCodeDeleted) >
            0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const auto seen = receiver.Codes();
    ASSERT_EQ(std::count(seen.begin(), seen.end(), share::kCodeEnded), 1)
        << "the backup went on with a file that is not the listed one";
    const Answer ended = receiver.WaitFor(share::kCodeEnded);
    EXPECT_NE(ended.text.find("201005231000N.dat"), std::string::npos) << ended.text;
    EXPECT_NE(ended.text.find("409"), std::string::npos) << ended.text;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), share::kCodeFetched), 0);
    EXPECT_FALSE(fs::exists(Downloaded() + "/201005231000N.dat"));
}
