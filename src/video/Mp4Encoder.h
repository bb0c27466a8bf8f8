#pragma once
// One camera's MP4 as FFmpeg's libraries write it: the camera's JPEG pictures encoded as H.264
// at their own times, its audio channel (8 kHz, 8 bit) as AAC aligned to them by time, and a
// timed-text track of the recorded time that ordinary players show as subtitles. The tracks are
// the video, then the audio when there is one, then the text. The file is written under a temporary
// name; the caller renames it when whole.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "video/PlanarPicture.h"

namespace video {

class Mp4Encoder {
  public:
    Mp4Encoder();
    ~Mp4Encoder();
    Mp4Encoder(const Mp4Encoder&) = delete;
    Mp4Encoder& operator=(const Mp4Encoder&) = delete;

    // The file to write (a host path), the recording's start as Unix seconds (UTC) for the
    // movie's creation time, a title for its metadata, and the zone of the recorded times its
    // text shows ("Europe/London (UTC+01:00)"), which the text track and the metadata name,
    // and what the metadata says of the recorder's clock after the zone.
    // Nothing is written before the first picture, whose size the video takes.
    void Prepare(std::string hostPath, long long creationUnix, std::string title, bool withAudio,
                 std::string zone = std::string(), std::string clock = std::string());
    // A picture's JPEG bytes, shown from ms after the start; later pictures come later. False
    // with why: kUnreadable when the bytes are no picture (the file goes on without it), else
    // the file cannot be written.
    enum class Added { kAdded, kUnreadable, kFailed };
    Added AddPicture(const std::uint8_t* bytes, std::size_t size, long long ms, std::string& why);
    // Called with each picture as the encoder is about to take it, and the size of the picture
    // it was made from, to change what the file shows (none by default).
    using PictureEdit = std::function<void(PlanarPicture&, int sourceWidth, int sourceHeight)>;
    void EditPictures(PictureEdit edit);
    // Samples of the audio channel (unsigned 8 bit at 8 kHz) from ms after the start; what lies
    // before the start is left out, and silence fills the time up to ms.
    bool AddAudio(const std::uint8_t* samples, std::size_t count, long long ms, std::string& why);
    // A line of timed text shown from startMs to endMs; only after the first picture.
    bool AddText(const std::string& text, long long startMs, long long endMs, std::string& why);
    // Flushes the encoder and writes the file's index; false with why when it cannot.
    bool Finish(std::string& why);
    // Bytes in the file so far (0 before its first picture).
    long long bytesWritten() const;
    // Pictures in the file so far.
    long long pictures() const;
    // From the first picture to the end of the last one's showing, once finished.
    long long durationMs() const;
    // The file has an audio track (its second).
    bool hasAudio() const;
    int width() const;
    int height() const;

  private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace video
