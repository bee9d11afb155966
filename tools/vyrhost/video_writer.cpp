#include "video_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <cstdio>
#include <cstring>
#include <vector>

#include "av_messages.h"
#include "host_error.h"

namespace vyrhost {

namespace {

bool usable(AVPixelFormat f) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(f);
    return d != nullptr && !(d->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL));
}

bool hasAlpha(AVPixelFormat f) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(f);
    return d != nullptr && (d->flags & AV_PIX_FMT_FLAG_ALPHA);
}

bool subsampled(AVPixelFormat f) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(f);
    return d != nullptr && (d->log2_chroma_w > 0 || d->log2_chroma_h > 0);
}

// The encoder's pixel format. With alpha wanted, the best of its formats
// that carry alpha, if any. Otherwise 4:2:0 for lossy encoders that have
// it (what players expect), a palette for GIF, and for the rest the
// closest the encoder offers (so lossless encoders stay lossless).
AVPixelFormat choosePixelFormat(const AVCodec* codec, AVPixelFormat source, bool wantAlpha) {
    const AVPixelFormat* fmts = codec->pix_fmts;
    if (fmts == nullptr) return source;
    std::vector<AVPixelFormat> candidates;
    if (wantAlpha)
        for (const AVPixelFormat* f = fmts; *f != AV_PIX_FMT_NONE; ++f)
            if (usable(*f) && hasAlpha(*f)) candidates.push_back(*f);
    if (candidates.empty()) {
        const AVCodecDescriptor* desc = avcodec_descriptor_get(codec->id);
        const bool lossy = desc != nullptr && (desc->props & AV_CODEC_PROP_LOSSY);
        for (const AVPixelFormat* f = fmts; *f != AV_PIX_FMT_NONE; ++f) {
            if (*f == AV_PIX_FMT_YUV420P && lossy) return *f;
            // pal8 needs a palette, which only the GIF graph builds.
            if (*f == AV_PIX_FMT_PAL8 && codec->id == AV_CODEC_ID_GIF) return *f;
        }
        for (const AVPixelFormat* f = fmts; *f != AV_PIX_FMT_NONE; ++f)
            if (usable(*f) && !hasAlpha(*f)) candidates.push_back(*f);
        if (candidates.empty())
            for (const AVPixelFormat* f = fmts; *f != AV_PIX_FMT_NONE; ++f)
                if (usable(*f)) candidates.push_back(*f);
    }
    if (candidates.empty()) return AV_PIX_FMT_NONE;
    candidates.push_back(AV_PIX_FMT_NONE);
    return avcodec_find_best_pix_fmt_of_list(candidates.data(), source, wantAlpha ? 1 : 0, nullptr);
}

// Constant-quality settings that keep the plug-ins' fine grain, where the
// encoder has one (x264/x265 run 0..51, VP8/VP9/AV1 0..63).
int defaultCrf(const AVCodec* codec) {
    switch (codec->id) {
        case AV_CODEC_ID_VP8:
        case AV_CODEC_ID_VP9:
        case AV_CODEC_ID_AV1:
            return 24;
        default:
            return 18;
    }
}

// The named encoder, or the container's default one.
const AVCodec* findEncoder(const AVOutputFormat* ofmt, const std::string& codecName, const std::string& formatName) {
    if (!codecName.empty()) {
        const AVCodec* codec = avcodec_find_encoder_by_name(codecName.c_str());
        if (codec == nullptr || codec->type != AVMEDIA_TYPE_VIDEO)
            throw HostError("no video encoder named \"" + codecName + "\" (see ffmpeg -encoders)");
        if (avformat_query_codec(ofmt, codec->id, FF_COMPLIANCE_NORMAL) != 1)
            throw HostError("encoder " + codecName + " cannot be stored in a ." + ofmt->name + " file");
        return codec;
    }
    if (ofmt->video_codec == AV_CODEC_ID_NONE) throw HostError("cannot write " + formatName + ": not a video format");
    const AVCodec* codec = avcodec_find_encoder(ofmt->video_codec);
    if (codec == nullptr)
        throw HostError("cannot write " + formatName + ": no encoder for " + avcodec_get_name(ofmt->video_codec) +
                        " in this FFmpeg");
    return codec;
}

struct PixelFormats {
    AVPixelFormat source;  // what the plug-in's frames are
    AVPixelFormat target;  // what the encoder takes
};

}  // namespace

struct VideoWriter::State {
    std::string path;
    AVFormatContext* oc = nullptr;
    AVCodecContext* enc = nullptr;
    AVStream* stream = nullptr;
    AVFilterGraph* graph = nullptr;
    AVFilterContext* src = nullptr;
    AVFilterContext* sink = nullptr;
    AVFrame* in = nullptr;
    AVFrame* filtered = nullptr;
    AVPacket* pkt = nullptr;
    int width = 0, height = 0, bytesPerPixel = 0;
    int outWidth = 0, outHeight = 0;
    bool alphaKept = false, alphaDropped = false;
    std::string sizeNote;
    int64_t nextPts = 0;
    bool headerWritten = false;
    bool finished = false;

    ~State() {
        av_frame_free(&in);
        av_frame_free(&filtered);
        av_packet_free(&pkt);
        avfilter_graph_free(&graph);
        avcodec_free_context(&enc);
        if (oc != nullptr) {
            if (oc->pb != nullptr) avio_closep(&oc->pb);
            avformat_free_context(oc);
        }
    }

    [[noreturn]] void fail(const std::string& what, int code) {
        throw HostError(describeAvFailure("video " + path + ": " + what, code));
    }

    // The container for `formatName`; files only, not image muxers.
    const AVOutputFormat* openContainer(const std::string& formatName) {
        const int r = avformat_alloc_output_context2(&oc, nullptr, nullptr, formatName.c_str());
        if (r < 0 || oc == nullptr)
            throw HostError("cannot write " + formatName +
                            ": unknown video format (use .png, a .png pattern such as out_%04d.png, .mp4, .mkv, .webm, "
                            ".mov, .avi or .gif)");
        // Image muxers write files of their own under the final name.
        if (oc->oformat->flags & AVFMT_NOFILE)
            throw HostError("cannot write " + formatName +
                            ": pictures are written as .png, videos as .mp4, .mkv, .webm, "
                            ".mov, .avi or .gif");
        return oc->oformat;
    }

    // The pixel formats frames arrive in and are encoded in, whether alpha
    // survives, and the encoded size (4:2:0 and 4:2:2 store colour for
    // pixel pairs: an odd side is made even).
    PixelFormats planPixels(const AVCodec* codec, const VideoSettings& vs) {
        const bool wantAlpha = bytesPerPixel == 4 && vs.keepAlpha;
        AVPixelFormat source = bytesPerPixel == 4 ? (wantAlpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR0) : AV_PIX_FMT_BGR24;
        const AVPixelFormat target = choosePixelFormat(codec, source, wantAlpha);
        if (target == AV_PIX_FMT_NONE)
            throw HostError("encoder " + std::string(codec->name) + " takes no pixel format vyrhost can convert to");
        alphaKept = wantAlpha && hasAlpha(target);
        if (bytesPerPixel == 4 && !alphaKept) source = AV_PIX_FMT_BGR0;

        outWidth = width;
        outHeight = height;
        if (subsampled(target)) {
            const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(target);
            if (d->log2_chroma_w > 0) outWidth += width % 2;
            if (d->log2_chroma_h > 0) outHeight += height % 2;
        }
        if (outWidth != width || outHeight != height)
            sizeNote = std::to_string(width) + "x" + std::to_string(height) + " is " +
                       (vs.scaleToEven ? "scaled" : "padded") + " to " + std::to_string(outWidth) + "x" +
                       std::to_string(outHeight) + " for " + av_get_pix_fmt_name(target) + ", which needs even sizes" +
                       (vs.scaleToEven ? "" : " (--even scale scales instead)");
        return {source, target};
    }

    void openEncoder(const AVCodec* codec, AVPixelFormat target, const VideoSettings& vs) {
        enc = avcodec_alloc_context3(codec);
        if (enc == nullptr) fail("out of memory", 0);
        enc->width = outWidth;
        enc->height = outHeight;
        enc->pix_fmt = target;
        enc->time_base = av_buffersink_get_time_base(sink);
        enc->framerate = AVRational{vs.rate.num, vs.rate.den};
        enc->sample_aspect_ratio = AVRational{1, 1};
        enc->thread_count = 0;
        enc->gop_size = 60;
        setQuality(codec, vs);
        if (oc->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        const int r = avcodec_open2(enc, codec, nullptr);
        if (r < 0) fail(std::string("cannot open encoder ") + codec->name, r);
    }

    // Encoders with a constant-quality setting get one that keeps the
    // plug-ins' fine grain; the others a generous bit rate.
    void setQuality(const AVCodec* codec, const VideoSettings& vs) {
        const AVOption* crfOption =
            enc->priv_data != nullptr ? av_opt_find(enc->priv_data, "crf", nullptr, 0, 0) : nullptr;
        if (crfOption != nullptr) {
            const int crf = vs.crf >= 0 ? vs.crf : defaultCrf(codec);
            // x264 and x265 announce no upper bound of their own.
            const double most = crfOption->max < 1000.0 ? crfOption->max : 51.0;
            if (crf > most)
                throw HostError("--crf " + std::to_string(crf) + ": encoder " + codec->name + " takes 0 to " +
                                std::to_string(int(most)) + " (lower is better)");
            av_opt_set_int(enc->priv_data, "crf", crf, 0);
            // libvpx runs constant quality only without a target bit rate.
            enc->bit_rate = 0;
            // libvpx's default speed is meant for offline archiving: a faster
            // one loses little at these rates.
            av_opt_set_int(enc->priv_data, "cpu-used", vs.realtime ? 8 : 4, 0);
            av_opt_set_int(enc->priv_data, "row-mt", 1, 0);
            // x264 and x265 keep up with a live window at this preset; the
            // constant-quality setting keeps the quality, at a larger file.
            if (vs.realtime) av_opt_set(enc->priv_data, "preset", "veryfast", 0);
            return;
        }
        if (vs.crf >= 0) {
            const AVCodecDescriptor* desc = avcodec_descriptor_get(codec->id);
            const bool lossless = desc != nullptr && !(desc->props & AV_CODEC_PROP_LOSSY);
            throw HostError("--crf: encoder " + std::string(codec->name) +
                            (lossless ? " is lossless and has no quality setting"
                                      : " has no constant-quality setting (libx264, libx265 and libvpx-vp9 do)"));
        }
        const double bitsPerPixel = 0.25;
        enc->bit_rate = int64_t(bitsPerPixel * outWidth * outHeight * vs.rate.num / vs.rate.den);
    }

    // The stream, the file and the container's header.
    void writeHeader(const std::string& formatName, const std::string& filePath) {
        stream = avformat_new_stream(oc, nullptr);
        if (stream == nullptr) fail("out of memory", 0);
        stream->time_base = enc->time_base;
        stream->avg_frame_rate = enc->framerate;
        int r = avcodec_parameters_from_context(stream->codecpar, enc);
        if (r < 0) fail("cannot set up the stream", r);
        r = avio_open(&oc->pb, filePath.c_str(), AVIO_FLAG_WRITE);
        if (r < 0) throw HostError(describeAvFailure("cannot write " + formatName, r));
        r = avformat_write_header(oc, nullptr);
        if (r < 0) fail("cannot write the header", r);
        headerWritten = true;
    }

    void allocateFrames(AVPixelFormat source) {
        in = av_frame_alloc();
        filtered = av_frame_alloc();
        pkt = av_packet_alloc();
        if (in == nullptr || filtered == nullptr || pkt == nullptr) fail("out of memory", 0);
        in->format = source;
        in->width = width;
        in->height = height;
        const int r = av_frame_get_buffer(in, 0);
        if (r < 0) fail("out of memory", r);
    }

    void buildGraph(AVPixelFormat source, AVPixelFormat target, Rate rate, bool gif, bool scaleToEven) {
        graph = avfilter_graph_alloc();
        if (graph == nullptr) fail("out of memory", 0);
        char args[256];
        std::snprintf(args, sizeof args,
                      "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=1/1:frame_rate=%d/%d", width, height,
                      int(source), rate.den, rate.num, rate.num, rate.den);
        int r = avfilter_graph_create_filter(&src, avfilter_get_by_name("buffer"), "in", args, nullptr, graph);
        if (r < 0) fail("cannot set up the frame source", r);
        r = avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, graph);
        if (r < 0) fail("cannot set up the frame sink", r);
        const AVPixelFormat sinkFormats[] = {target, AV_PIX_FMT_NONE};
        r = av_opt_set_int_list(sink, "pix_fmts", sinkFormats, AV_PIX_FMT_NONE, AV_OPT_SEARCH_CHILDREN);
        if (r < 0) fail("cannot set the output pixel format", r);

        // A GIF palette is built from the whole clip; other encoders get a
        // plain format conversion, after the picture is made even if the
        // format needs it.
        std::string chain =
            gif ? "split[a][b];[a]palettegen=stats_mode=full[p];[b][p]paletteuse=dither=sierra2_4a" : "null";
        if (outWidth != width || outHeight != height) {
            const std::string size = std::to_string(outWidth) + ":" + std::to_string(outHeight);
            chain = scaleToEven ? "scale=" + size + ":flags=bicubic"
                                : "pad=" + size + ":0:0:" + (alphaKept ? "black@0" : "black");
        }
        AVFilterInOut* outputs = avfilter_inout_alloc();
        AVFilterInOut* inputs = avfilter_inout_alloc();
        outputs->name = av_strdup("in");
        outputs->filter_ctx = src;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = sink;
        r = avfilter_graph_parse_ptr(graph, chain.c_str(), &inputs, &outputs, nullptr);
        avfilter_inout_free(&inputs);
        avfilter_inout_free(&outputs);
        if (r < 0) fail("cannot build the filter graph", r);
        r = avfilter_graph_config(graph, nullptr);
        if (r < 0) fail("cannot configure the filter graph", r);
    }

    void drainEncoder() {
        for (;;) {
            int r = avcodec_receive_packet(enc, pkt);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
            if (r < 0) fail("encoding failed", r);
            av_packet_rescale_ts(pkt, enc->time_base, stream->time_base);
            pkt->stream_index = stream->index;
            r = av_interleaved_write_frame(oc, pkt);
            if (r < 0) fail("cannot write", r);
        }
    }

    void drainGraph() {
        for (;;) {
            int r = av_buffersink_get_frame(sink, filtered);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
            if (r < 0) fail("filtering failed", r);
            filtered->pict_type = AV_PICTURE_TYPE_NONE;
            r = avcodec_send_frame(enc, filtered);
            av_frame_unref(filtered);
            if (r < 0) fail("encoding failed", r);
            drainEncoder();
        }
    }
};

VideoWriter::VideoWriter(const std::string& formatName, const std::string& filePath, const VideoSettings& vs)
    : s_(new State) {
    State& s = *s_;
    s.path = formatName;
    s.width = vs.width;
    s.height = vs.height;
    s.bytesPerPixel = vs.bytesPerPixel;
    captureLibraryLog();

    const AVOutputFormat* ofmt = s.openContainer(formatName);
    const AVCodec* codec = findEncoder(ofmt, vs.codec, formatName);
    const PixelFormats formats = s.planPixels(codec, vs);
    s.buildGraph(formats.source, formats.target, vs.rate, codec->id == AV_CODEC_ID_GIF, vs.scaleToEven);
    s.openEncoder(codec, formats.target, vs);
    s.writeHeader(formatName, filePath);
    s.allocateFrames(formats.source);
}

VideoWriter::~VideoWriter() = default;

std::string VideoWriter::encoderName() const { return s_->enc->codec->name; }
std::string VideoWriter::pixelFormatName() const { return av_get_pix_fmt_name(s_->enc->pix_fmt); }
std::string VideoWriter::sizeNote() const { return s_->sizeNote; }
bool VideoWriter::keepsAlpha() const { return s_->alphaKept; }
bool VideoWriter::droppedAlpha() const { return s_->alphaDropped; }

void VideoWriter::write(const uint8_t* pixels) {
    State& s = *s_;
    int r = av_frame_make_writable(s.in);
    if (r < 0) s.fail("out of memory", r);
    av_image_copy_plane(s.in->data[0], s.in->linesize[0], pixels, s.width * s.bytesPerPixel, s.width * s.bytesPerPixel,
                        s.height);
    // Whether alpha that mattered was lost, to say so at the end.
    if (s.bytesPerPixel == 4 && !s.alphaKept && !s.alphaDropped) {
        const size_t n = size_t(s.width) * size_t(s.height);
        for (size_t i = 0; i < n; ++i)
            if (pixels[i * 4 + 3] != 255) {
                s.alphaDropped = true;
                break;
            }
    }
    s.in->pts = s.nextPts++;
    r = av_buffersrc_add_frame_flags(s.src, s.in, AV_BUFFERSRC_FLAG_KEEP_REF);
    if (r < 0) s.fail("filtering failed", r);
    s.drainGraph();
}

void VideoWriter::finish() {
    State& s = *s_;
    if (s.finished) return;
    s.finished = true;
    int r = av_buffersrc_add_frame_flags(s.src, nullptr, 0);
    if (r < 0) s.fail("filtering failed", r);
    s.drainGraph();
    r = avcodec_send_frame(s.enc, nullptr);
    if (r < 0) s.fail("encoding failed", r);
    s.drainEncoder();
    r = av_write_trailer(s.oc);
    if (r < 0) s.fail("cannot write the trailer", r);
    if (s.oc->pb != nullptr) {
        r = avio_closep(&s.oc->pb);
        if (r < 0) s.fail("cannot close", r);
    }
}

}  // namespace vyrhost
