// An encrypted copy of an image folder: our tar and age writer against `tar -c | age -e` on the
// same folder in the same run (with the file flushed to its device after, as ours is), as a
// throughput ratio, with this process's peak memory (flat: nothing holds more than a chunk and a
// read piece).
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "disclosure/FileStreams.h"
#include "disclosure/TarWriter.h"
#include "disclosure/age/AgeFile.h"
#include "disclosure/age/Keys.h"

namespace fs = std::filesystem;
namespace age = disclosure::age;

namespace {

double Seconds(const std::function<bool()>& run) {
    const auto start = std::chrono::steady_clock::now();
    if (!run()) {
        std::fprintf(stderr, "bench_encrypt: a run failed\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int megabytes = argc > 1 ? std::atoi(argv[1]) : 1024;
    if (std::system("age --version >/dev/null 2>&1") != 0) {
        std::fprintf(stderr, "bench_encrypt: needs the age program (scripts/setup)\n");
        return 1;
    }
    const fs::path work = fs::temp_directory_path() / ("bench-encrypt-" + std::to_string(getpid()));
    const fs::path image = work / "Img";
    fs::create_directories(image / "entry");
    // Files of 16 MiB, as minute data files are, of bytes that do not repeat within a chunk.
    std::string piece(16 << 20, '\0');
    for (std::size_t i = 0; i < piece.size(); ++i)
        piece[i] = static_cast<char>((i * 2654435761u) >> 13);
    for (int i = 0; i < megabytes / 16; ++i)
        std::ofstream(image / "entry" / ("m" + std::to_string(i) + ".dat"), std::ios::binary)
            .write(piece.data(), static_cast<std::streamsize>(piece.size()));
    const age::NewIdentity id = *age::MakeIdentity();
    const std::string ours = (work / "ours.tar.age").string(),
                      theirs = (work / "theirs.tar.age").string();
    // The page cache warmed by a first read for both.
    if (std::system(("cat " + (image / "entry").string() + "/* > /dev/null").c_str()) != 0)
        return 1;
    const double them = Seconds([&] {
        return std::system(("cd '" + work.string() + "' && tar -cf - Img | age -e -r " +
                            id.recipient + " > '" + theirs + "' && sync '" + theirs + "'")
                               .c_str()) == 0;
    });
    const double us = Seconds([&] {
        disclosure::AtomicFileSink sink;
        if (!sink.Create(ours).ok())
            return false;
        auto enc = age::Encryption::Start(sink, {{*age::ParseRecipient(id.recipient)}, {}});
        return enc.ok() &&
               disclosure::WriteFolderAsTar(image.string(), "Img", (*enc)->Writer()).ok() &&
               (*enc)->Finish().ok() && sink.Commit().ok();
    });
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double mb = static_cast<double>(megabytes);
    std::printf(
        "encrypt %d MiB: ours %.0f MiB/s, tar | age -e %.0f MiB/s, ratio %.2fx; "
        "sizes %lld / %lld bytes; peak memory %ld KiB (the 16 MiB fill buffer included)\n",
        megabytes, mb / us, mb / them, them / us, static_cast<long long>(fs::file_size(ours)),
        static_cast<long long>(fs::file_size(theirs)), usage.ru_maxrss);
    fs::remove_all(work);
    return 0;
}
