#include "video_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <cmath>

#include "av_messages.h"
#include "host_error.h"

namespace vyrhost {

struct VideoReader::State {
    std::string path;
    AVFormatContext* ic = nullptr;
    AVCodecContext* dec = nullptr;
    SwsContext* sws = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* pkt = nullptr;
    int streamIndex = -1;
    int width = 0, height = 0, bytesPerPixel = 0;
    bool flushed = false;
    bool ended = false;
    long framesRead = 0;
    long damagedPackets = 0;

    ~State() {
        sws_freeContext(sws);
        av_frame_free(&frame);
        av_packet_free(&pkt);
        avcodec_free_context(&dec);
        avformat_close_input(&ic);
    }

    [[noreturn]] void fail(const std::string& what, int code) {
        throw HostError(describeAvFailure("input " + path + ": " + what, code));
    }

    void convert(uint8_t* pixels) {
        const AVPixelFormat target = bytesPerPixel == 4 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
        sws = sws_getCachedContext(sws, frame->width, frame->height, AVPixelFormat(frame->format), width, height,
                                   target, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (sws == nullptr) fail("cannot convert its pictures", 0);
        uint8_t* dst[4] = {pixels, nullptr, nullptr, nullptr};
        int dstStride[4] = {width * bytesPerPixel, 0, 0, 0};
        sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
    }
};

namespace {
bool largeInputsAllowed = false;
}

void allowLargeInputs(bool allow) { largeInputsAllowed = allow; }

VideoReader::VideoReader(const std::string& path, int width, int height, int bytesPerPixel) : s_(new State) {
    State& s = *s_;
    s.path = path;
    s.width = width;
    s.height = height;
    s.bytesPerPixel = bytesPerPixel;
    captureLibraryLog();

    // A V4L2 camera is read through libavdevice.
    const AVInputFormat* device = nullptr;
    if (path.compare(0, 10, "/dev/video") == 0) {
        avdevice_register_all();
        device = av_find_input_format("video4linux2");
    }
    int r = avformat_open_input(&s.ic, path.c_str(), device, nullptr);
    if (r < 0) throw HostError(describeAvFailure("cannot read input " + path, r));
    r = avformat_find_stream_info(s.ic, nullptr);
    if (r < 0) s.fail("cannot read its streams", r);
    const AVCodec* codec = nullptr;
    s.streamIndex = av_find_best_stream(s.ic, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (s.streamIndex < 0 || codec == nullptr) s.fail("no picture or video stream", 0);
    s.dec = avcodec_alloc_context3(codec);
    if (s.dec == nullptr) s.fail("out of memory", 0);
    r = avcodec_parameters_to_context(s.dec, s.ic->streams[s.streamIndex]->codecpar);
    if (r < 0) s.fail("cannot set up its decoder", r);
    s.dec->thread_count = 0;
    const long pixels = long(s.dec->width) * long(s.dec->height);
    if (pixels > kMaxInputPixels && !largeInputsAllowed)
        s.fail("its pictures are " + std::to_string(s.dec->width) + "x" + std::to_string(s.dec->height) + " (" +
                   std::to_string(pixels / 1000000) + " megapixels), beyond the limit of " +
                   std::to_string(kMaxInputPixels / 1000000) + " megapixels for inputs; --large-input reads it anyway",
               0);
    // Size 0x0 asks for the input's own size.
    if (s.width <= 0 || s.height <= 0) {
        s.width = s.dec->width;
        s.height = s.dec->height;
        if (s.width <= 0 || s.height <= 0) s.fail("its picture size is not known", 0);
    }
    r = avcodec_open2(s.dec, codec, nullptr);
    if (r < 0) s.fail(std::string("cannot open decoder ") + codec->name, r);
    s.frame = av_frame_alloc();
    s.pkt = av_packet_alloc();
    if (s.frame == nullptr || s.pkt == nullptr) s.fail("out of memory", 0);
}

VideoReader::~VideoReader() = default;

bool VideoReader::read(uint8_t* pixels) {
    State& s = *s_;
    while (!s.ended) {
        int r = avcodec_receive_frame(s.dec, s.frame);
        if (r == 0) {
            s.convert(pixels);
            av_frame_unref(s.frame);
            ++s.framesRead;
            return true;
        }
        if (r == AVERROR_EOF) {
            s.ended = true;
            break;
        }
        if (r != AVERROR(EAGAIN)) s.fail("cannot decode", r);
        if (s.flushed) {
            s.ended = true;
            break;
        }
        r = av_read_frame(s.ic, s.pkt);
        if (r == AVERROR_EOF) {
            s.flushed = true;
            r = avcodec_send_packet(s.dec, nullptr);
            if (r < 0 && r != AVERROR_EOF) s.fail("cannot decode", r);
            continue;
        }
        if (r < 0) s.fail("cannot read", r);
        if (s.pkt->stream_index == s.streamIndex) {
            r = avcodec_send_packet(s.dec, s.pkt);
            av_packet_unref(s.pkt);
            // A damaged packet is skipped, as players do, and counted.
            if (r == AVERROR_INVALIDDATA) ++s.damagedPackets;
            if (r < 0 && r != AVERROR_INVALIDDATA) s.fail("cannot decode", r);
        } else {
            av_packet_unref(s.pkt);
        }
    }
    return false;
}

long VideoReader::frameCountHint() const {
    const AVStream* st = s_->ic->streams[s_->streamIndex];
    if (st->nb_frames > 0) return long(st->nb_frames);
    const AVRational rate = st->avg_frame_rate;
    if (st->duration > 0 && rate.num > 0 && rate.den > 0)
        return long(std::lround(double(st->duration) * av_q2d(st->time_base) * av_q2d(rate)));
    if (s_->ic->duration > 0 && rate.num > 0 && rate.den > 0)
        return long(std::lround(double(s_->ic->duration) / AV_TIME_BASE * av_q2d(rate)));
    return -1;
}

long VideoReader::framesRead() const { return s_->framesRead; }
long VideoReader::damagedPackets() const { return s_->damagedPackets; }

bool VideoReader::isImage() const {
    // FFmpeg's demuxers of still pictures: image2 (files and sequences) and
    // the *_pipe ones that read one picture format each.
    const std::string name = s_->ic->iformat->name;
    return name == "image2" || (name.size() > 5 && name.compare(name.size() - 5, 5, "_pipe") == 0);
}

int VideoReader::width() const { return s_->width; }
int VideoReader::height() const { return s_->height; }

int VideoReader::rateNum() const { return s_->ic->streams[s_->streamIndex]->avg_frame_rate.num; }
int VideoReader::rateDen() const { return s_->ic->streams[s_->streamIndex]->avg_frame_rate.den; }

}  // namespace vyrhost
