#include "video/Mp4Encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/TimeZone.h"
#include "platform/VolumePin.h"

namespace video {
namespace {

// Times in the file are kept in milliseconds; the audio counts its samples.
constexpr AVRational kMs{1, 1000};
constexpr int kSampleRate = 8000;

std::string Error(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// The libraries' own chatter (an encoder's statistics, a deprecated pixel format) is not the
// operator's business; their errors reach the operator through our own messages.
void QuietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_FATAL); });
}

// The style the timed text is written with: white text, bottom centre.
constexpr const char* kTextHeader =
    "[Script Info]\nScriptType: v4.00+\nPlayResX: 384\nPlayResY: 288\n"
    "ScaledBorderAndShadow: yes\n\n"
    "[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, "
    "OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, "
    "Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n"
    "Style: Default,Arial,16,&Hffffff,&Hffffff,&H0,&H0,0,0,0,0,100,100,0,0,1,1,0,2,10,10,10,1\n"
    "\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, "
    "Text\n";

std::string IsoTime(long long unixSeconds) {
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
    if (!platform::UtcTimeAt(t, tm))
        return std::string();
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &tm);
    return text;
}

}  // namespace

struct Mp4Encoder::State {
    std::string path, title, zone, clock;
    long long creation = 0;
    AVFormatContext* out = nullptr;
    AVCodecContext* decoder = nullptr;
    AVCodecContext* encoder = nullptr;
    AVCodecContext* text = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* textStream = nullptr;
    bool withAudio = false;
    AVCodecContext* audio = nullptr;
    AVStream* audioStream = nullptr;
    AVFrame* audioFrame = nullptr;
    std::vector<float> pending;  // samples not yet in a frame
    long long audioNext = 0;     // the sample the pending ones begin at
    SwsContext* scale = nullptr;
    AVFrame* decoded = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    std::vector<std::uint8_t> padded;
    long long pictures = 0;
    long long lastMs = -1;
    bool headerWritten = false;
    AVPacket* held = nullptr;
    long long lastDuration = 0;
    PictureEdit edit;

    ~State() {
        av_packet_free(&held);
        if (out) {
            if (out->pb)
                avio_closep(&out->pb);
            avformat_free_context(out);
        }
        avcodec_free_context(&decoder);
        avcodec_free_context(&encoder);
        avcodec_free_context(&text);
        avcodec_free_context(&audio);
        av_frame_free(&audioFrame);
        sws_freeContext(scale);
        av_frame_free(&decoded);
        av_frame_free(&frame);
        av_packet_free(&packet);
    }

    bool Decode(const std::uint8_t* bytes, std::size_t size, std::string& why) {
        if (!decoder) {
            const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
            decoder = codec ? avcodec_alloc_context3(codec) : nullptr;
            if (!decoder || avcodec_open2(decoder, codec, nullptr) < 0) {
                why = "the picture decoder cannot be started";
                return false;
            }
            decoded = av_frame_alloc();
            packet = av_packet_alloc();
        }
        // The decoder reads a little past the end of what it is given.
        padded.assign(bytes, bytes + size);
        padded.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        av_packet_unref(packet);
        packet->data = padded.data();
        packet->size = static_cast<int>(size);
        int rc = avcodec_send_packet(decoder, packet);
        if (rc >= 0)
            rc = avcodec_receive_frame(decoder, decoded);
        packet->data = nullptr;
        packet->size = 0;
        if (rc < 0) {
            why = "the picture cannot be decoded (" + Error(rc) + ")";
            avcodec_flush_buffers(decoder);
            return false;
        }
        return true;
    }

    bool OpenFile(std::string& why) {
        const int width = decoded->width & ~1, height = decoded->height & ~1;
        if (width < 2 || height < 2) {
            why = "the pictures are too small to encode";
            return false;
        }
        if (avformat_alloc_output_context2(&out, nullptr, "mp4", path.c_str()) < 0 || !out) {
            why = "the MP4 writer cannot be started";
            return false;
        }
        const AVCodec* h264 = avcodec_find_encoder_by_name("libx264");
        if (!h264) {
            why = "this machine's FFmpeg has no H.264 encoder (libx264)";
            return false;
        }
        encoder = avcodec_alloc_context3(h264);
        encoder->width = width;
        encoder->height = height;
        encoder->pix_fmt = AV_PIX_FMT_YUV420P;
        encoder->time_base = kMs;
        encoder->gop_size = 50;
        // No reordered frames: the first picture is shown at the file's own start, which is
        // where players that read the recorded time take it from.
        encoder->max_b_frames = 0;
        if (out->oformat->flags & AVFMT_GLOBALHEADER)
            encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        av_opt_set(encoder->priv_data, "preset", "veryfast", 0);
        av_opt_set(encoder->priv_data, "crf", "20", 0);
        int rc = avcodec_open2(encoder, h264, nullptr);
        if (rc < 0) {
            why = "the H.264 encoder cannot be started (" + Error(rc) + ")";
            return false;
        }
        videoStream = avformat_new_stream(out, nullptr);
        videoStream->time_base = kMs;
        avcodec_parameters_from_context(videoStream->codecpar, encoder);

        if (withAudio && !OpenAudio(why))
            return false;

        const AVCodec* movText = avcodec_find_encoder(AV_CODEC_ID_MOV_TEXT);
        text = movText ? avcodec_alloc_context3(movText) : nullptr;
        if (!text) {
            why = "this machine's FFmpeg cannot write timed text";
            return false;
        }
        text->time_base = kMs;
        text->subtitle_header = reinterpret_cast<std::uint8_t*>(av_strdup(kTextHeader));
        text->subtitle_header_size = static_cast<int>(std::strlen(kTextHeader));
        if (out->oformat->flags & AVFMT_GLOBALHEADER)
            text->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        rc = avcodec_open2(text, movText, nullptr);
        if (rc < 0) {
            why = "the timed-text encoder cannot be started (" + Error(rc) + ")";
            return false;
        }
        textStream = avformat_new_stream(out, nullptr);
        textStream->time_base = kMs;
        avcodec_parameters_from_context(textStream->codecpar, text);
        av_dict_set(&textStream->metadata, "language", "eng", 0);
        // The text is the recorder's clock, which is no time at all without its zone.
        const std::string named = zone.empty() ? "Recorded time" : "Recorded time, " + zone;
        av_dict_set(&textStream->metadata, "handler_name", named.c_str(), 0);
        std::string comment =
            zone.empty() ? "" : "Recorded times are the recorder's clock in " + zone;
        if (!clock.empty())
            comment += (comment.empty() ? "" : "; ") + clock;
        if (!comment.empty())
            av_dict_set(&out->metadata, "comment", comment.c_str(), 0);

        av_dict_set(&out->metadata, "creation_time", IsoTime(creation).c_str(), 0);
        if (!title.empty())
            av_dict_set(&out->metadata, "title", title.c_str(), 0);
        rc = avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE);
        if (rc < 0) {
            why = "the file " + path + " cannot be made (" + Error(rc) + ")";
            return false;
        }
        // A pass's image folder is held to its volume: a stick pulled before the file was made
        // would have the whole encode fill the disk beneath its mount point.
        if (platform::OffPinnedVolume(path, platform::VolumeOf(path))) {
            avio_closep(&out->pb);
            platform::DeleteFile(path);
            why = "the file " + path + " cannot be made: its target's volume was taken away";
            return false;
        }
        rc = avformat_write_header(out, nullptr);
        if (rc < 0) {
            why = "the file " + path + " cannot be written (" + Error(rc) + ")";
            return false;
        }
        headerWritten = true;
        frame = av_frame_alloc();
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = width;
        frame->height = height;
        if (av_frame_get_buffer(frame, 0) < 0) {
            why = "no memory for a picture";
            return false;
        }
        return true;
    }

    bool OpenAudio(std::string& why) {
        const AVCodec* aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
        audio = aac ? avcodec_alloc_context3(aac) : nullptr;
        if (!audio) {
            why = "this machine's FFmpeg has no AAC encoder";
            return false;
        }
        audio->sample_rate = kSampleRate;
        audio->sample_fmt = AV_SAMPLE_FMT_FLTP;
        av_channel_layout_default(&audio->ch_layout, 1);
        audio->bit_rate = 32000;
        audio->time_base = {1, kSampleRate};
        if (out->oformat->flags & AVFMT_GLOBALHEADER)
            audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        const int rc = avcodec_open2(audio, aac, nullptr);
        if (rc < 0) {
            why = "the AAC encoder cannot be started (" + Error(rc) + ")";
            return false;
        }
        audioStream = avformat_new_stream(out, nullptr);
        audioStream->time_base = audio->time_base;
        avcodec_parameters_from_context(audioStream->codecpar, audio);
        audioFrame = av_frame_alloc();
        audioFrame->format = AV_SAMPLE_FMT_FLTP;
        audioFrame->nb_samples = audio->frame_size;
        audioFrame->sample_rate = kSampleRate;
        av_channel_layout_default(&audioFrame->ch_layout, 1);
        if (av_frame_get_buffer(audioFrame, 0) < 0) {
            why = "no memory for the audio";
            return false;
        }
        return true;
    }

    // Encodes whole frames of the pending samples (and the rest, padded, at the end).
    bool EncodeAudio(bool end, std::string& why) {
        const std::size_t perFrame = static_cast<std::size_t>(audio->frame_size);
        std::size_t used = 0;
        while (pending.size() - used >= perFrame || (end && used < pending.size())) {
            if (av_frame_make_writable(audioFrame) < 0) {
                why = "no memory for the audio";
                return false;
            }
            auto* into = reinterpret_cast<float*>(audioFrame->data[0]);
            const std::size_t n = std::min(perFrame, pending.size() - used);
            std::copy(pending.begin() + static_cast<std::ptrdiff_t>(used),
                      pending.begin() + static_cast<std::ptrdiff_t>(used + n), into);
            std::fill(into + n, into + perFrame, 0.0f);
            audioFrame->pts = audioNext;
            audioNext += static_cast<long long>(perFrame);
            used += n;
            const int rc = avcodec_send_frame(audio, audioFrame);
            if (rc < 0 || !DrainAudio(why)) {
                if (why.empty())
                    why = "the AAC encoder failed (" + Error(rc) + ")";
                return false;
            }
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(used));
        return true;
    }

    bool DrainAudio(std::string& why) {
        AVPacket* p = av_packet_alloc();
        int rc;
        while ((rc = avcodec_receive_packet(audio, p)) >= 0) {
            av_packet_rescale_ts(p, audio->time_base, audioStream->time_base);
            p->stream_index = audioStream->index;
            rc = av_interleaved_write_frame(out, p);
            if (rc < 0) {
                av_packet_free(&p);
                why = "the file " + path + " cannot be written (" + Error(rc) + ")";
                return false;
            }
        }
        av_packet_free(&p);
        if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) {
            why = "the AAC encoder failed (" + Error(rc) + ")";
            return false;
        }
        return true;
    }

    // Writes a packet of the encoder's, in the encoder's time base.
    bool Write(AVPacket* p, std::string& why) {
        av_packet_rescale_ts(p, encoder->time_base, videoStream->time_base);
        p->stream_index = videoStream->index;
        const int rc = av_interleaved_write_frame(out, p);
        if (rc < 0) {
            why = "the file " + path + " cannot be written (" + Error(rc) + ")";
            return false;
        }
        return true;
    }

    // Writes what the encoder has ready. Each picture is held until the next one comes, which
    // gives it its duration: a last picture without one would fall outside the file's play time.
    bool Drain(std::string& why) {
        AVPacket* p = av_packet_alloc();
        int rc;
        while ((rc = avcodec_receive_packet(encoder, p)) >= 0) {
            if (held) {
                held->duration = p->pts - held->pts;
                lastDuration = held->duration;
                if (!Write(held, why)) {
                    av_packet_free(&p);
                    return false;
                }
                av_packet_free(&held);
            }
            held = p;
            p = av_packet_alloc();
        }
        av_packet_free(&p);
        if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) {
            why = "the H.264 encoder failed (" + Error(rc) + ")";
            return false;
        }
        return true;
    }

    // The last picture, shown as long as the one before it.
    bool WriteLast(std::string& why) {
        if (!held)
            return true;
        held->duration = lastDuration > 0 ? lastDuration : 1000;
        const bool ok = Write(held, why);
        av_packet_free(&held);
        return ok;
    }
};

Mp4Encoder::Mp4Encoder() : s_(std::make_unique<State>()) {
    QuietLibraries();
}

Mp4Encoder::~Mp4Encoder() = default;

void Mp4Encoder::Prepare(std::string hostPath, long long creationUnix, std::string title,
                         bool withAudio, std::string zone, std::string clock) {
    s_->path = std::move(hostPath);
    s_->creation = creationUnix;
    s_->title = std::move(title);
    s_->zone = std::move(zone);
    s_->clock = std::move(clock);
    s_->withAudio = withAudio;
}

void Mp4Encoder::EditPictures(PictureEdit edit) {
    s_->edit = std::move(edit);
}

bool Mp4Encoder::AddAudio(const std::uint8_t* samples, std::size_t count, long long ms,
                          std::string& why) {
    State& s = *s_;
    if (!s.headerWritten || !s.audio)
        return true;
    long long at = ms * kSampleRate / 1000;
    // Before what is already in the track (or the start): left out.
    const long long have = s.audioNext + static_cast<long long>(s.pending.size());
    if (at < have) {
        const long long skip = std::min<long long>(have - at, static_cast<long long>(count));
        samples += skip;
        count -= static_cast<std::size_t>(skip);
        at += skip;
    }
    // Silence up to ms, a slice at a time: a gap of hours costs no memory.
    for (long long gap = at - have; gap > 0;) {
        const long long n = std::min<long long>(gap, 65536);
        s.pending.resize(s.pending.size() + static_cast<std::size_t>(n), 0.0f);
        gap -= n;
        if (!s.EncodeAudio(false, why))
            return false;
    }
    for (std::size_t i = 0; i < count; ++i)
        s.pending.push_back((static_cast<float>(samples[i]) - 128.0f) / 128.0f);
    return s.EncodeAudio(false, why);
}

Mp4Encoder::Added Mp4Encoder::AddPicture(const std::uint8_t* bytes, std::size_t size, long long ms,
                                         std::string& why) {
    State& s = *s_;
    if (!s.Decode(bytes, size, why))
        return Added::kUnreadable;
    if (!s.headerWritten && !s.OpenFile(why))
        return Added::kFailed;
    s.scale = sws_getCachedContext(s.scale, s.decoded->width, s.decoded->height,
                                   static_cast<AVPixelFormat>(s.decoded->format), s.frame->width,
                                   s.frame->height, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr,
                                   nullptr, nullptr);
    if (!s.scale || av_frame_make_writable(s.frame) < 0) {
        why = "the picture cannot be converted for the encoder";
        return Added::kFailed;
    }
    sws_scale(s.scale, s.decoded->data, s.decoded->linesize, 0, s.decoded->height, s.frame->data,
              s.frame->linesize);
    if (s.edit) {
        PlanarPicture picture;
        for (int i = 0; i < 3; ++i) {
            picture.data[i] = s.frame->data[i];
            picture.stride[i] = s.frame->linesize[i];
        }
        picture.width = s.frame->width;
        picture.height = s.frame->height;
        s.edit(picture, s.decoded->width, s.decoded->height);
    }
    // Strictly later than the picture before, whatever rounding did.
    s.frame->pts = ms > s.lastMs ? ms : s.lastMs + 1;
    s.lastMs = s.frame->pts;
    const int rc = avcodec_send_frame(s.encoder, s.frame);
    if (rc < 0) {
        why = "the H.264 encoder failed (" + Error(rc) + ")";
        return Added::kFailed;
    }
    if (!s.Drain(why))
        return Added::kFailed;
    ++s.pictures;
    return Added::kAdded;
}

bool Mp4Encoder::AddText(const std::string& line, long long startMs, long long endMs,
                         std::string& why) {
    State& s = *s_;
    if (!s.headerWritten)
        return true;
    AVSubtitle sub{};
    sub.format = 1;  // text
    sub.start_display_time = 0;
    sub.end_display_time = static_cast<std::uint32_t>(endMs - startMs);
    sub.pts = av_rescale_q(startMs, kMs, AV_TIME_BASE_Q);
    AVSubtitleRect rect{};
    AVSubtitleRect* rects[1] = {&rect};
    rect.type = SUBTITLE_ASS;
    std::string ass = "0,0,Default,,0,0,0,," + line;
    rect.ass = ass.data();
    sub.num_rects = 1;
    sub.rects = rects;
    std::uint8_t buffer[1024];
    const int n = avcodec_encode_subtitle(s.text, buffer, sizeof buffer, &sub);
    if (n < 0) {
        why = "the timed text cannot be encoded (" + Error(n) + ")";
        return false;
    }
    AVPacket* p = av_packet_alloc();
    if (av_new_packet(p, n) < 0) {
        av_packet_free(&p);
        why = "no memory for the timed text";
        return false;
    }
    std::memcpy(p->data, buffer, static_cast<std::size_t>(n));
    p->pts = p->dts = startMs;
    p->duration = endMs - startMs;
    av_packet_rescale_ts(p, kMs, s.textStream->time_base);
    p->stream_index = s.textStream->index;
    const int rc = av_interleaved_write_frame(s.out, p);
    av_packet_free(&p);
    if (rc < 0) {
        why = "the file " + s.path + " cannot be written (" + Error(rc) + ")";
        return false;
    }
    return true;
}

bool Mp4Encoder::Finish(std::string& why) {
    State& s = *s_;
    if (!s.headerWritten) {
        why = "no picture could be read";
        return false;
    }
    if (s.audio && (!s.EncodeAudio(true, why) || avcodec_send_frame(s.audio, nullptr) < 0 ||
                    !s.DrainAudio(why))) {
        if (why.empty())
            why = "the AAC encoder failed";
        return false;
    }
    int rc = avcodec_send_frame(s.encoder, nullptr);
    if (rc < 0 || !s.Drain(why) || !s.WriteLast(why)) {
        if (why.empty())
            why = "the H.264 encoder failed (" + Error(rc) + ")";
        return false;
    }
    rc = av_write_trailer(s.out);
    if (rc >= 0)
        rc = avio_closep(&s.out->pb);
    if (rc < 0) {
        why = "the file " + s.path + " cannot be written (" + Error(rc) + ")";
        return false;
    }
    return true;
}

long long Mp4Encoder::bytesWritten() const {
    return s_->headerWritten && s_->out && s_->out->pb ? avio_tell(s_->out->pb) : 0;
}

long long Mp4Encoder::pictures() const {
    return s_->pictures;
}

long long Mp4Encoder::durationMs() const {
    return s_->lastMs < 0 ? 0 : s_->lastMs + (s_->lastDuration > 0 ? s_->lastDuration : 1000);
}

bool Mp4Encoder::hasAudio() const {
    return s_->audioStream != nullptr;
}

int Mp4Encoder::width() const {
    return s_->frame ? s_->frame->width : 0;
}

int Mp4Encoder::height() const {
    return s_->frame ? s_->frame->height : 0;
}

}  // namespace video
