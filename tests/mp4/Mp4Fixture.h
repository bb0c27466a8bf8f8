#pragma once
// Files made by the ffmpeg program, as the export's encoder leaves them, and the tools that read
// them back independently of our own reader.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "TestEnv.h"
#include "integrity/ExportSigning.h"
#include "mp4/BoxReader.h"

class Mp4Fixture : public TempPrefixTest {
  protected:
    // The exit status of a shell command, its output kept in the test's log when it fails.
    static int Shell(const std::string& command) {
        const std::string log = "/tmp/mp4-test-shell." + std::to_string(getpid());
        const int status = std::system(("(" + command + ") >" + log + " 2>&1").c_str());
        if (status != 0)
            std::fprintf(stderr, "%s\n%s", command.c_str(), ReadText(log).c_str());
        std::remove(log.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // What a command prints on its standard output.
    static std::string Output(const std::string& command) {
        std::string out;
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe)
            return out;
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        pclose(pipe);
        return out;
    }

    // Two seconds of 64x48 pictures at 5 per second in H.264, with AAC sound and a timed-text
    // track, 'moov' after the media as the export's encoder writes it (or before it with
    // faststart); the path.
    std::string Encode(const std::string& name, bool faststart = false) {
        const std::string path = prefix() + "/" + name;
        WriteText(prefix() + "/cues.srt",
                  "1\n00:00:00,000 --> 00:00:01,000\n2026-01-06 10:00:00\n\n"
                  "2\n00:00:01,000 --> 00:00:02,000\n2026-01-06 10:00:01\n\n");
        const int status = Shell(
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=64x48:rate=5 -f lavfi -i "
            "sine=frequency=440:sample_rate=8000 -i '" +
            prefix() +
            "/cues.srt' -map 0:v -map 1:a -map 2:s -t 2 -c:v libx264 -pix_fmt yuv420p -c:a aac "
            "-c:s mov_text -metadata creation_time=2026-01-06T10:00:00Z " +
            (faststart ? "-movflags +faststart " : "") + "'" + path + "'");
        EXPECT_EQ(status, 0) << "ffmpeg could not make " << path;
        return path;
    }

    // An export key made once per test in the test's prefix.
    const integrity::ExportKey& Key() {
        if (key_.privatePem.empty()) {
            const std::string folder = prefix() + "/keys";
            EXPECT_EQ(integrity::CreateExportKey(folder, "Unit 7 of the test"), "");
            EXPECT_EQ(integrity::LoadExportKey(folder, key_), "");
        }
        return key_;
    }

    static std::string Read(const std::string& path) { return ReadText(path); }

  private:
    integrity::ExportKey key_;
};
